// The program on a desktop without a notification area (a window manager
// without a tray): the main window shows after the wait for a tray, closing
// it minimises it, a second copy brings it back to the front, and the Menu
// button's Shutdown ends the program with the data file written.
#include "store/D_KA_Alarms.h"
#include "support/BaseSupport.h"
#include "support/Desktop.h"

#include <QFile>
#include <QProcess>
#include <QRect>
#include <QScopeGuard>
#include <QTest>

using namespace desktop;

namespace {

const QSize MainSize(760, 496);

// The window's state as the window manager keeps it: "Normal", "Iconic",
// or "" once it is withdrawn (hidden).
QString WmState(const QString &window)
{
    const Result r = Run({QStringLiteral("xprop"), QStringLiteral("-id"), window, QStringLiteral("WM_STATE")});
    const int at = r.output.indexOf(QStringLiteral("window state: "));
    return at < 0 ? QString() : r.output.mid(at + 14).section(QLatin1Char('\n'), 0, 0).trimmed();
}

// The main window's id once it shows (waits for it), or "".
QString ShownMainWindow()
{
    QString id;
    return QTest::qWaitFor([&id] { return !(id = WindowOfSize(MainSize)).isEmpty(); }, 30000) ? id : QString();
}

// Starts a second copy and waits for its end; its exit code.
int RunSecondCopy()
{
    QProcess second;
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
    if (!second.waitForFinished(20000)) {
        second.kill();
        second.waitForFinished();
        return -1;
    }
    return second.exitCode();
}

// Closes the active window as its close button does (the window manager's
// close key sends the close request).
bool CloseActiveWindow()
{
    return Key({QStringLiteral("alt+F4")});
}

// Opens the menu with the window's Menu button (at the top of its navigation
// bar) and chooses its last entry, Shutdown; answers Yes: the program ends.
void ShutDownFromTheMenuButton(QProcess &program, const QString &window)
{
    const QList<QRect> before = VisibleWindows();
    QVERIFY(Click(QRect(Geometry(window).topLeft() + QPoint(40, 10), QSize(24, 12)), 1));
    QRect menu;
    QTRY_VERIFY_WITH_TIMEOUT(!(menu = NewWindow(before)).isEmpty(), 10000);
    QVERIFY(Click(QRect(menu.left(), menu.bottom() - 12, menu.width(), 4), 1));
    QTRY_VERIFY_WITH_TIMEOUT(ActiveWindowName().startsWith(QStringLiteral("Confirm")), 10000);
    QVERIFY(Key({QStringLiteral("Return")}));
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

} // namespace

class TestDesktopNoTray : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(!TrayIcon().isValid(), "this desktop must have no tray"); }

    void reachableWithoutATray()
    {
        const QString dataFile = testsupport::DataFile();
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(program.waitForStarted());
        const auto end = qScopeGuard([&program] {
            if (program.state() != QProcess::NotRunning) {
                program.kill();
                program.waitForFinished();
            }
        });

        // No tray comes: after the wait, the main window as an ordinary one.
        const QString window = ShownMainWindow();
        QVERIFY2(!window.isEmpty(), "the main window did not show");
        QCOMPARE(WmState(window), QStringLiteral("Normal"));
        QVERIFY(!TrayIcon().isValid());

        // Closing it minimises it; the program goes on.
        QTRY_COMPARE_WITH_TIMEOUT(ActiveWindowName(), QStringLiteral("Almarik 2"), 10000);
        QVERIFY(CloseActiveWindow());
        QTRY_COMPARE_WITH_TIMEOUT(WmState(window), QStringLiteral("Iconic"), 10000);
        QVERIFY(!HasWindow(MainSize));
        QCOMPARE(program.state(), QProcess::Running);

        // A second copy brings it back to the front, and ends.
        QCOMPARE(RunSecondCopy(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(WmState(window), QStringLiteral("Normal"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(HasWindow(MainSize), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(ActiveWindowName(), QStringLiteral("Almarik 2"), 10000);
        QCOMPARE(program.state(), QProcess::Running);

        // The Menu button's Shutdown ends the program, which writes its data
        // file as it ends.
        QVERIFY(QFile::remove(dataFile));
        ShutDownFromTheMenuButton(program, window);
        store::Table saved(QStringLiteral("saved"));
        saved.loadFromFile(dataFile);
        QVERIFY(saved.active());
    }
};

QTEST_MAIN(TestDesktopNoTray)
#include "tst_desktop_notray.moc"
