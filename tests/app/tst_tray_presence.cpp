// The program on a desktop without a tray: the wait for one at start, the
// window shown when none comes, closing that minimises it, the State menu
// reachable from the Menu button, a tray that appears later, and the local
// socket through which a second copy brings the window to the front.
#include "app/TrayPresence.h"
#include "support/ProgramFixture.h"
#include "ui/F_KA_Main.h"

#include <QAction>
#include <QCheckBox>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>

#include <future>

using namespace testsupport;

namespace {

// Asks for the window to come to the front from another thread, as a second
// copy does from its own process, while this thread's loop serves the socket.
bool AskFromSecondCopy()
{
    std::future<bool> answer = std::async(std::launch::async, [] { return BringRunningCopyToFront(5000); });
    while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QTest::qWait(20);
    return answer.get();
}

} // namespace

class TestTrayPresence : public QObject
{
    Q_OBJECT

    ProgramFixture m_program;
    TfmKaMain *m_window = nullptr;
    bool m_tray = false;
    // The wait at start, short here: the tests wait on state, not on it.
    static constexpr int WaitMs = 150;

    // A presence whose tray is the test's m_tray.
    std::unique_ptr<TTrayPresence> NewPresence()
    {
        auto presence = std::make_unique<TTrayPresence>(m_window);
        presence->TrayAvailable = [this] { return m_tray; };
        return presence;
    }

    // Starts without a tray and waits until the window shows.
    std::unique_ptr<TTrayPresence> StartWithoutTray()
    {
        auto presence = NewPresence();
        presence->Start(WaitMs);
        if (!QTest::qWaitFor([&] { return presence->WithoutTray(); }, 10000))
            return nullptr;
        return presence;
    }

private Q_SLOTS:
    void initTestCase() { InitProgramUnits(); }

    void init()
    {
        m_tray = false;
        m_program.start();
        m_window = m_program.window;
    }

    void cleanup() { m_program.stop(); }

    // With a tray at start nothing changes: no wait, no window, closing
    // hides, and nobody listens for a second copy.
    void withATrayNothingChanges()
    {
        m_tray = true;
        const auto presence = NewPresence();
        QSignalSpy missing(presence.get(), &TTrayPresence::trayMissing);
        presence->Start(WaitMs);
        QVERIFY(!presence->Waiting());
        QVERIFY(!presence->WithoutTray());
        QVERIFY(!m_window->isVisible());
        QTest::qWait(3 * WaitMs);
        QCOMPARE(missing.count(), 0);
        QVERIFY(!m_window->isVisible());
        QVERIFY(!BringRunningCopyToFront(1000));

        m_window->show();
        QVERIFY(m_window->close() == false);
        QVERIFY(!m_window->isVisible());
        QVERIFY(!m_window->isMinimized());
    }

    // No tray comes: the window shows after the wait, as an ordinary window.
    void withoutATrayTheWindowShows()
    {
        const auto presence = NewPresence();
        QSignalSpy missing(presence.get(), &TTrayPresence::trayMissing);
        presence->Start(WaitMs);
        QVERIFY(presence->Waiting());
        QVERIFY(!m_window->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(missing.count(), 1, 10000);
        QVERIFY(!presence->Waiting());
        QVERIFY(presence->WithoutTray());
        QVERIFY(m_window->WithoutTray());
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_window->isMinimized());
        QVERIFY(m_window->MainWindowVisible());
    }

    // A tray that starts during the wait: its icon shows, the window does not.
    void aTrayDuringTheWait()
    {
        const auto presence = NewPresence();
        QSignalSpy appeared(presence.get(), &TTrayPresence::trayAppeared);
        QSignalSpy missing(presence.get(), &TTrayPresence::trayMissing);
        presence->Start(10 * WaitMs);
        QVERIFY(presence->Waiting());
        m_tray = true;
        QTRY_COMPARE_WITH_TIMEOUT(appeared.count(), 1, 10000);
        QVERIFY(!presence->Waiting());
        QTest::qWait(12 * WaitMs);
        QCOMPARE(missing.count(), 0);
        QCOMPARE(appeared.count(), 1);
        QVERIFY(!presence->WithoutTray());
        QVERIFY(!m_window->isVisible());
    }

    // Without a tray, closing minimises the window; minimised, it counts as
    // hidden (the due alarms fire, the settings are saved); restored, as shown.
    void closingMinimises()
    {
        const auto presence = StartWithoutTray();
        QVERIFY(presence);
        m_window->btnMenuClick(m_window->btnMenuOptions);
        m_window->cbxOptionsConfirmEdit->setChecked(!m_window->cbxOptionsConfirmEdit->isChecked());
        const bool changed = m_window->cbxOptionsConfirmEdit->isChecked();

        QVERIFY(!m_window->close());
        QVERIFY(m_window->isVisible());
        QVERIFY(m_window->isMinimized());
        QVERIFY(!m_window->MainWindowVisible());
        m_program.restartWindow();
        QCOMPARE(m_program.window->cbxOptionsConfirmEdit->isChecked(), changed);
    }

    // A command that shows a page restores a minimised window.
    void restoringShows()
    {
        const auto presence = StartWithoutTray();
        QVERIFY(presence);
        m_window->close();
        QVERIFY(m_window->isMinimized());
        m_window->miList->trigger();
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_window->isMinimized());
        QVERIFY(m_window->MainWindowVisible());
        QCOMPARE(m_window->CurrentPageTag(), 1);
    }

    // The Menu button's menu offers State too: it is the only way to it.
    void stateReachableFromTheMenuButton()
    {
        m_window->show();
        m_window->ppmTrayPopup(false);
        QVERIFY(!m_window->miState->isEnabled());
        m_window->hide();
        const auto presence = StartWithoutTray();
        QVERIFY(presence);
        m_window->ppmTrayPopup(false);
        QVERIFY(m_window->miState->isEnabled());
    }

    // A second copy brings the minimised window to the front, and only the
    // one short request does anything.
    void secondCopyBringsTheWindowToTheFront()
    {
        const auto presence = StartWithoutTray();
        QVERIFY(presence);
        m_window->close();
        QVERIFY(m_window->isMinimized());
        QVERIFY(AskFromSecondCopy());
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_window->isMinimized());

        m_window->close();
        QLocalSocket junk;
        junk.connectToServer(InstanceSocketName());
        QVERIFY(junk.waitForConnected(5000));
        junk.write(QByteArray(4096, 'x'));
        QTRY_COMPARE_WITH_TIMEOUT(junk.state(), QLocalSocket::UnconnectedState, 10000);
        QVERIFY(m_window->isMinimized());
        QVERIFY(junk.readAll().isEmpty());
    }

    // A tray that appears later: its icon shows, a minimised window is hidden
    // instead, closing hides again, and a second copy ends silently.
    void aTrayLater()
    {
        const auto presence = StartWithoutTray();
        QVERIFY(presence);
        QSignalSpy appeared(presence.get(), &TTrayPresence::trayAppeared);
        m_window->close();
        QVERIFY(m_window->isMinimized());
        m_tray = true;
        QTRY_COMPARE_WITH_TIMEOUT(appeared.count(), 1, 10000);
        QVERIFY(!presence->WithoutTray());
        QVERIFY(!m_window->WithoutTray());
        QVERIFY(!m_window->isVisible());
        QVERIFY(!m_window->isMinimized());
        QVERIFY(!AskFromSecondCopy());
        QVERIFY(!m_window->isVisible());

        // The tray icon opens it as an ordinary window; closing hides it.
        m_window->SysTrayClick();
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_window->isMinimized());
        m_window->close();
        QVERIFY(!m_window->isVisible());
    }
};

QTEST_MAIN(TestTrayPresence)
#include "tst_tray_presence.moc"
