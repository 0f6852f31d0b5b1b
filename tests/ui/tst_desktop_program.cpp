// The program on a real desktop with a tray: it starts into the tray, its
// icon shows and hides the main window, the right button opens the menu,
// Shutdown asks and ends the program with the data file written, and a
// second copy ends at once.
#include "diag/ZelException.h"
#include "support/BaseSupport.h"
#include "support/Desktop.h"

#include <QFile>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QTest>

using namespace desktop;

namespace {

// A visible window of the program that was not there before (a menu).
QRect NewWindow(const QList<QRect> &before)
{
    const QList<QRect> now = VisibleWindows();
    for (const QRect &r : now) {
        if (!before.contains(r) && r.height() > 100)
            return r;
    }
    return {};
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
        QVERIFY(Click(icon, 1));
        QTRY_VERIFY_WITH_TIMEOUT(HasWindow(window), 10000);
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
};

QTEST_GUILESS_MAIN(TestDesktopProgram)
#include "tst_desktop_program.moc"
