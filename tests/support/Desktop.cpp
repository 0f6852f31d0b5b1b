#include "support/Desktop.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace desktop {

Result Run(const QStringList &command)
{
    QProcess p;
    p.start(command.first(), command.mid(1));
    Result r;
    // A loaded machine may take a while to start a helper; one killed
    // between a key's press and its release would leave the key held.
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished(1000);
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.output = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    return r;
}

Result Xdo(const QStringList &arguments)
{
    return Run(QStringList{QStringLiteral("xdotool")} + arguments);
}

QRect Geometry(const QString &window)
{
    const Result r = Xdo({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window});
    QRect rect;
    if (!r.ok())
        return rect;
    const QStringList lines = r.output.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString key = line.section(QLatin1Char('='), 0, 0);
        const int value = line.section(QLatin1Char('='), 1).toInt();
        if (key == QLatin1String("X"))
            rect.moveLeft(value);
        else if (key == QLatin1String("Y"))
            rect.moveTop(value);
        else if (key == QLatin1String("WIDTH"))
            rect.setWidth(value);
        else if (key == QLatin1String("HEIGHT"))
            rect.setHeight(value);
    }
    return rect;
}

QStringList VisibleWindowIds()
{
    // xdotool search exits 1 when nothing matches: that is an empty list.
    return Xdo({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"),
                QStringLiteral("almarik")})
        .output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QList<QRect> VisibleWindows()
{
    QList<QRect> result;
    const QStringList ids = VisibleWindowIds();
    for (const QString &id : ids)
        result << Geometry(id);
    return result;
}

bool HasWindow(const QSize &size)
{
    const QList<QRect> windows = VisibleWindows();
    for (const QRect &r : windows) {
        if (r.size() == size)
            return true;
    }
    return false;
}

QRect TrayIcon()
{
    const QList<QRect> windows = VisibleWindows();
    for (const QRect &r : windows) {
        if (r.width() > 0 && r.width() <= 64 && r.height() <= 64)
            return r;
    }
    return {};
}

QStringList WindowsNamed(const QString &pattern)
{
    return Xdo({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), pattern})
        .output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString ActiveWindowName()
{
    const Result r = Xdo({QStringLiteral("getactivewindow"), QStringLiteral("getwindowname")});
    return r.ok() ? r.output : QString();
}

QRect NewWindow(const QList<QRect> &before)
{
    const QList<QRect> now = VisibleWindows();
    for (const QRect &r : now) {
        if (!before.contains(r) && r.height() > 100)
            return r;
    }
    return {};
}

QString WindowOfSize(const QSize &size)
{
    const QStringList ids = VisibleWindowIds();
    for (const QString &id : ids) {
        if (Geometry(id).size() == size)
            return id;
    }
    return {};
}

namespace {

// Moves the pointer and clicks; a button left down by a failed click is
// released.
bool MoveAndClick(const QStringList &move, int button)
{
    const QString b = QString::number(button);
    if (Xdo(move + QStringList{QStringLiteral("click"), b}).ok())
        return true;
    Xdo({QStringLiteral("mouseup"), b});
    return false;
}

} // namespace

bool ClickIn(const QString &window, const QPoint &at)
{
    return MoveAndClick({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(at.x()),
                         QString::number(at.y())},
                        1);
}

bool Click(const QRect &r, int button)
{
    return MoveAndClick({QStringLiteral("mousemove"), QString::number(r.center().x()), QString::number(r.center().y())},
                        button);
}

bool Key(const QStringList &keys)
{
    if (Xdo(QStringList{QStringLiteral("key")} + keys).ok())
        return true;
    // A press whose release never came would repeat into every window that
    // gets the focus later (an alarm box would be answered by it).
    Xdo(QStringList{QStringLiteral("keyup")} + keys);
    return false;
}

bool Type(const QString &text)
{
    return Xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text}).ok();
}

bool WaitUntil(const std::function<bool()> &condition, int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

namespace {

QImage Import(const QStringList &arguments)
{
    const QString file = QDir::temp().filePath(QStringLiteral("screenshot.png"));
    QFile::remove(file);
    if (!Run(QStringList{QStringLiteral("import")} + arguments + QStringList{file}).ok())
        return {};
    return QImage(file).convertToFormat(QImage::Format_RGB32);
}

} // namespace

QImage Screenshot(const QString &window)
{
    return Import({QStringLiteral("-window"), window});
}

QImage ScreenshotOf(const QRect &area)
{
    return Import({QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("-crop"),
                   QStringLiteral("%1x%2+%3+%4").arg(area.width()).arg(area.height()).arg(area.left()).arg(area.top()),
                   QStringLiteral("+repage")});
}

int DoubleClickGapMs()
{
    // Qt's default on X11 without a settings daemon is 400 ms.
    return 400 + 200;
}

} // namespace desktop
