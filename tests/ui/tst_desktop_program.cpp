// The program on a real desktop with a tray: it starts into the tray, its
// icon shows and hides the main window, the right button opens the menu,
// Shutdown asks and ends the program with the data file written, and a
// second copy ends at once. The end of the session keeps an option changed on
// the open options page, and ends the program while a message of its start is
// open. An unreadable data file is kept at start.
#include "diag/ZelException.h"
#include "store/D_KA_Alarms.h"
#include "support/BaseSupport.h"
#include "support/Desktop.h"
#include "ui/F_KA_Main.h"

#include <QCheckBox>
#include <QDir>
#include <QSettings>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QScopeGuard>
#include <QTest>

#include <csignal>

#include <sys/mount.h>
#include <sys/stat.h>

using namespace desktop;

namespace {

QString StoredSetting(const QString &name)
{
    QSettings s(QStringLiteral("Morvane"), QStringLiteral("Almarik"));
    return s.value(QStringLiteral("KA2/MainForm/") + name).toString();
}

// Where a box of the options page sits in the main window: the same window
// built here and laid out as the program lays it out.
QPoint OptionsBoxOffset()
{
    testsupport::InitProgramUnits();
    TdmKaAlarms dm;
    QPoint offset;
    {
        TfmKaMain window(&dm);
        window.show();
        if (QTest::qWaitForWindowExposed(&window)) {
            window.btnMenuClick(window.btnMenuOptions);
            QCheckBox *box = window.cbxOptionsConfirmEdit;
            offset = box->mapTo(&window, QPoint(8, box->height() / 2));
        }
        window.hide();
    }
    return offset;
}

// Waits for a condition of the desktop, up to timeoutMs.
template <typename Condition>
bool WaitFor(Condition condition, int timeoutMs = 10000)
{
    QElapsedTimer waited;
    waited.start();
    while (!condition()) {
        if (waited.elapsed() > timeoutMs)
            return false;
        QTest::qWait(50);
    }
    return true;
}

// Starts the program; its tray icon, or an empty rectangle.
QRect StartProgram(QProcess &program)
{
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
    if (!program.waitForStarted() || !WaitFor([] { return TrayIcon().isValid(); }, 15000))
        return {};
    return TrayIcon();
}

// Clicks at a place and waits for the menu it opens; the menu, or an empty
// rectangle.
QRect OpenMenu(const QRect &place, int button)
{
    const QList<QRect> before = VisibleWindows();
    if (!Click(place, button))
        return {};
    QRect menu;
    WaitFor([&] { return !(menu = NewWindow(before)).isEmpty(); });
    return menu;
}

// Closes an open menu with Escape and waits until it is gone.
bool CloseMenu(const QRect &menu)
{
    return Key({QStringLiteral("Escape")}) && WaitFor([&menu] { return !VisibleWindows().contains(menu); });
}

// Shutdown from the tray menu, answered Yes: the program ends.
void ShutDown(QProcess &program, const QRect &icon)
{
    const QRect menu = OpenMenu(icon, 3);
    QVERIFY(!menu.isEmpty());
    QVERIFY(Click(QRect(menu.left(), menu.bottom() - 12, menu.width(), 4), 1));
    QTRY_VERIFY_WITH_TIMEOUT(ActiveWindowName().startsWith(QStringLiteral("Confirm")), 10000);
    QVERIFY(Key({QStringLiteral("Return")}));
    QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 15000);
    QCOMPARE(program.exitCode(), 0);
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

        // A click shows the window, another hides it (the second click waits
        // out the double-click time, or it would be a double click).
        // The icon is deaf while the start's check runs: a click then is
        // lost, and the user clicks again.
        QVERIFY(Click(icon, 1));
        for (int tries = 1; !WaitUntil([&window] { return HasWindow(window); }, 5000) && tries < 3; ++tries)
            QVERIFY(Click(icon, 1));
        QVERIFY(HasWindow(window));
        QTest::qWait(DoubleClickGapMs());
        QVERIFY(Click(icon, 1));
        QTRY_VERIFY_WITH_TIMEOUT(!HasWindow(window), 10000);
        QTest::qWait(DoubleClickGapMs());

        // The right button opens the menu; its last entry is Shutdown.
        const QList<QRect> before = VisibleWindows();
        QVERIFY(Click(icon, 3));
        QRect menu;
        QTRY_VERIFY_WITH_TIMEOUT(!(menu = NewWindow(before)).isEmpty(), 10000);
        QVERIFY(Click(QRect(menu.left(), menu.bottom() - 12, menu.width(), 4), 1));
        // "Do you want to close Almarik 2": Yes is the default button. (The
        // desktop shows the caption followed by the program's name.)
        QTRY_VERIFY_WITH_TIMEOUT(ActiveWindowName().startsWith(QStringLiteral("Confirm")), 10000);
        QVERIFY(Key({QStringLiteral("Return")}));

        QVERIFY(program.waitForFinished(15000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(QFile::exists(dataFile));
    }

    // The session ends while the options page is open: the option changed
    // there is kept, at this start and the next.
    void optionKeptAtSessionEnd()
    {
        const QPoint offset = OptionsBoxOffset();
        QVERIFY(!offset.isNull());
        testsupport::ClearSettings();
        QFile::remove(testsupport::DataFile());

        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(TrayIcon().isValid(), 15000);
        QCOMPARE(StoredSetting(QStringLiteral("cbxOptionsConfirmEdit_Checked")), QStringLiteral("True"));
        // Tray menu, "Options" (below New alarm, Calendar, List and Trash).
        const QList<QRect> before = VisibleWindows();
        QVERIFY(Click(TrayIcon(), 3));
        QTRY_VERIFY_WITH_TIMEOUT(!NewWindow(before).isEmpty(), 10000);
        QVERIFY(Key({QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Down"),
                     QStringLiteral("Down"), QStringLiteral("Return")}));
        const QSize size(760, 496);
        QTRY_VERIFY_WITH_TIMEOUT(HasWindow(size), 10000);
        QStringList windows;
        QTRY_VERIFY_WITH_TIMEOUT(!(windows = WindowsNamed(QStringLiteral("^Almarik 2$"))).isEmpty(), 10000);
        const QRect frame = Geometry(windows.first());
        QCOMPARE(frame.size(), size);
        QVERIFY(Click(QRect(frame.topLeft() + offset, QSize(1, 1)), 1));
        // Nothing saved the change yet: the settings file still says "True".
        // (A short pause lets the click reach the program before the signal.)
        QTest::qWait(DoubleClickGapMs());
        QCOMPARE(StoredSetting(QStringLiteral("cbxOptionsConfirmEdit_Checked")), QStringLiteral("True"));

        ::kill(pid_t(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(15000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(StoredSetting(QStringLiteral("cbxOptionsConfirmEdit_Checked")), QStringLiteral("False"));

        // The next start restores it (and saves it again as it starts).
        program.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(TrayIcon().isValid(), 15000);
        ::kill(pid_t(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(15000));
        QCOMPARE(StoredSetting(QStringLiteral("cbxOptionsConfirmEdit_Checked")), QStringLiteral("False"));
    }

    // The session ends while the message about a damaged data file is open,
    // before the program's loop runs: the program ends, it does not go on
    // into the tray.
    void sessionEndDuringTheStartMessage()
    {
        const QString dataFile = testsupport::DataFile();
        {
            QFile damaged(dataFile);
            QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
            damaged.write("not a data file");
        }
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!WindowsNamed(QStringLiteral("^Almarik 2$")).isEmpty(), 15000);
        ::kill(pid_t(program.processId()), SIGTERM);
        const bool ended = program.waitForFinished(10000);
        if (!ended) {
            program.kill();
            program.waitForFinished();
        }
        QVERIFY2(ended, "the program went on after the end of the session");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QFile::remove(dataFile);
    }

    // The disk is full when the program starts: the save at start fails, the
    // program shows why and goes on into the tray, so its alarms still fire.
    void fullDiskAtStart()
    {
        testsupport::InitProgramUnits();
        const QString folder = testsupport::DataDir();
        QVERIFY(QDir().mkpath(folder));
        if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=256k") != 0)
            QSKIP("no tmpfs can be mounted here; the store's tests cover a failed save at start");
        const auto unmount = qScopeGuard([&folder] { ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH); });
        {
            TdmKaAlarms dm;
        }
        const QString dataFile = testsupport::DataFile();
        QVERIFY(QFile::exists(dataFile));
        {
            QFile filler(folder + QStringLiteral("filler"));
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            const QByteArray block(4096, 'x');
            while (filler.write(block) == block.size()) {
            }
            while (filler.write("x", 1) == 1) {
            }
        }
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(program.waitForStarted());
        // The save's error, then the program goes on into the tray.
        QTRY_VERIFY_WITH_TIMEOUT(ActiveWindowName() == QStringLiteral("Almarik 2"), 15000);
        QVERIFY(Key({QStringLiteral("Return")}));
        QTRY_VERIFY_WITH_TIMEOUT(TrayIcon().isValid(), 15000);
        QCOMPARE(program.state(), QProcess::Running);
        ::kill(pid_t(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(15000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        // The data file is as it was.
        store::Table t(QStringLiteral("check"));
        t.loadFromFile(dataFile);
        QVERIFY(t.active());
    }

    // Enter presses the button that has the focus: Tab to No, Enter, and the
    // program goes on (its tray menu opens again, and Shutdown with Yes ends
    // it).
    void enterPressesTheFocusedButton()
    {
        QProcess program;
        const QRect icon = StartProgram(program);
        QVERIFY(icon.isValid());
        const QRect menu = OpenMenu(icon, 3);
        QVERIFY(!menu.isEmpty());
        QVERIFY(Click(QRect(menu.left(), menu.bottom() - 12, menu.width(), 4), 1));
        QTRY_VERIFY_WITH_TIMEOUT(ActiveWindowName().startsWith(QStringLiteral("Confirm")), 10000);
        QVERIFY(Key({QStringLiteral("Tab"), QStringLiteral("Return")}));
        QTRY_VERIFY_WITH_TIMEOUT(WindowsNamed(QStringLiteral("^Confirm")).isEmpty(), 10000);
        QCOMPARE(program.state(), QProcess::Running);
        ShutDown(program, icon);
    }

    // The tray menu has its margin strip from the tray icon and none from the
    // Menu button, at every opening and in both orders.
    void trayMenuWidthFollowsItsMargin()
    {
        QProcess program;
        const QRect icon = StartProgram(program);
        QVERIFY(icon.isValid());
        const QSize size(760, 496);
        QList<int> fromTray;
        QList<int> fromButton;
        const auto openFromTray = [&] {
            const QRect menu = OpenMenu(icon, 3);
            fromTray << menu.width();
            return !menu.isEmpty() && CloseMenu(menu);
        };
        const auto openFromButton = [&] {
            QRect window;
            for (const QRect &r : VisibleWindows()) {
                if (r.size() == size)
                    window = r;
            }
            // The Menu button is at the top of the navigation bar.
            const QRect menu = OpenMenu(QRect(window.topLeft() + QPoint(40, 10), QSize(24, 12)), 1);
            fromButton << menu.width();
            return !menu.isEmpty() && CloseMenu(menu);
        };
        QVERIFY(openFromTray());
        QVERIFY(Click(icon, 1));
        QTRY_VERIFY_WITH_TIMEOUT(HasWindow(size), 10000);
        QVERIFY(openFromButton());
        QVERIFY(openFromTray());
        QVERIFY(openFromButton());
        QVERIFY(openFromTray());
        QCOMPARE(fromTray[0] - fromButton[0], 24);
        QCOMPARE(fromTray[1], fromTray[0]);
        QCOMPARE(fromTray[2], fromTray[0]);
        QCOMPARE(fromButton[1], fromButton[0]);
        // Two clicks on the icon closer together would be a double click.
        QTest::qWait(DoubleClickGapMs());
        ShutDown(program, icon);
    }

    // A data file that cannot be read at start, damaged or a FIFO: the program
    // starts at once, says so in a message box, keeps a copy of the backup
    // and of the damaged file itself, and still has them after its end.
    void unreadableDataFileIsKept_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("damaged file") << false;
        QTest::newRow("FIFO") << true;
    }

    void unreadableDataFileIsKept()
    {
        QFETCH(bool, fifo);
        testsupport::ClearDataDir();
        const QString dataFile = testsupport::DataFile();
        const QString dir = testsupport::DataDir();
        const QByteArray damaged("\xd9\xd9\xf7 half a data file");
        const QByteArray previous("the previous state");
        const auto write = [](const QString &name, const QByteArray &bytes) {
            QFile f(name);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
        };
        if (fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(dataFile).constData(), 0600), 0);
        else
            write(dataFile, damaged);
        write(dataFile + QStringLiteral(".bak"), previous);

        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(program.waitForStarted());
        // The message box of the failed load, captioned with the title (the
        // desktop may add the program's name), active: Return closes it.
        QTRY_VERIFY_WITH_TIMEOUT(ActiveWindowName().startsWith(QStringLiteral("Almarik 2")), 15000);
        QVERIFY(Key({QStringLiteral("Return")}));
        QTRY_VERIFY_WITH_TIMEOUT(TrayIcon().isValid(), 15000);
        QCOMPARE(testsupport::FileBytes(dir + QStringLiteral("Alarms backup 1.ka2")), previous);
        if (fifo)
            QVERIFY(!QFile::exists(dir + QStringLiteral("Alarms damaged 1.ka2")));
        else
            QCOMPARE(testsupport::FileBytes(dir + QStringLiteral("Alarms damaged 1.ka2")), damaged);

        // The session ends the program: the data file is written (empty),
        // the copies stay.
        program.terminate();
        QVERIFY(program.waitForFinished(15000));
        QVERIFY(QFileInfo(dataFile).isFile());
        QCOMPARE(testsupport::FileBytes(dir + QStringLiteral("Alarms backup 1.ka2")), previous);
        if (!fifo)
            QCOMPARE(testsupport::FileBytes(dir + QStringLiteral("Alarms damaged 1.ka2")), damaged);
    }
};

QTEST_MAIN(TestDesktopProgram)
#include "tst_desktop_program.moc"
