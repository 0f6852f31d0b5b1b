// The program on a real desktop with a tray: it starts into the tray, its
// icon shows and hides the main window, the right button opens the menu,
// Shutdown asks and ends the program with the data file written, and a
// second copy ends at once.
#include "diag/ZelException.h"
#include "support/BaseSupport.h"

#include <QFile>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QTest>

namespace {

QString Run(const QStringList &command)
{
    QProcess p;
    p.start(command.first(), command.mid(1));
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

QRect Geometry(const QString &window)
{
    const QStringList lines =
        Run({QStringLiteral("xdotool"), QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window})
            .split(QLatin1Char('\n'));
    QRect r;
    for (const QString &line : lines) {
        const QString key = line.section(QLatin1Char('='), 0, 0);
        const int value = line.section(QLatin1Char('='), 1).toInt();
        if (key == QLatin1String("X"))
            r.moveLeft(value);
        else if (key == QLatin1String("Y"))
            r.moveTop(value);
        else if (key == QLatin1String("WIDTH"))
            r.setWidth(value);
        else if (key == QLatin1String("HEIGHT"))
            r.setHeight(value);
    }
    return r;
}

// The program's visible windows and their geometries.
QList<QRect> VisibleWindows()
{
    QList<QRect> result;
    const QStringList ids = Run({QStringLiteral("xdotool"), QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                 QStringLiteral("--class"), QStringLiteral("almarik")})
                                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
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

void Click(const QRect &r, int button)
{
    Run({QStringLiteral("xdotool"), QStringLiteral("mousemove"), QString::number(r.center().x()),
         QString::number(r.center().y()), QStringLiteral("click"), QString::number(button)});
}

} // namespace

class TestDesktopProgram : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void livesInTheTray()
    {
        const QString dataFile = testsupport::DataFile();
        QFile::remove(dataFile);
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(program.waitForStarted());

        // Started into the tray: an icon, no window.
        QTRY_VERIFY_WITH_TIMEOUT(TrayIcon().isValid(), 15000);
        const QRect icon = TrayIcon();
        const QSize window(760, 496);
        QVERIFY(!HasWindow(window));

        // A second copy ends at once, silently.
        QProcess second;
        second.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(program.state(), QProcess::Running);

        // A click shows the window, another hides it.
        Click(icon, 1);
        QTRY_VERIFY_WITH_TIMEOUT(HasWindow(window), 10000);
        QTest::qWait(800);
        Click(icon, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!HasWindow(window), 10000);
        QTest::qWait(800);

        // The right button opens the menu; its last entry is Shutdown.
        const int before = int(VisibleWindows().size());
        Click(icon, 3);
        QTRY_VERIFY_WITH_TIMEOUT(VisibleWindows().size() > before, 10000);
        QTest::qWait(300);
        Run({QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("Up")});
        QTest::qWait(200);
        Run({QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("Return")});
        // "Do you want to close Almarik 2": Yes is the default button.
        QTRY_VERIFY_WITH_TIMEOUT(
            !Run({QStringLiteral("xdotool"), QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                  QStringLiteral("--name"), QStringLiteral("^Confirm$")})
                 .isEmpty(),
            10000);
        QTest::qWait(300);
        Run({QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("Return")});

        QVERIFY(program.waitForFinished(15000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(QFile::exists(dataFile));
    }
};

QTEST_GUILESS_MAIN(TestDesktopProgram)
#include "tst_desktop_program.moc"
