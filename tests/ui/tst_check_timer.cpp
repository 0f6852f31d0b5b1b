// The check timer: its worker thread and the hand-over to the main thread,
// TimerTimer's skips and flags, the state switch and the timer, the
// last check of Shutdown for the exit alarms.
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "store/D_KA_Alarms.h"
#include "support/ProgramFixture.h"
#include "support/TestSupport.h"
#include "ui/F_KA_Main.h"
#include "ui/ThreadTimer.h"

#include <QCheckBox>
#include <QSystemTrayIcon>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

using namespace store;
using namespace testsupport;

namespace {

// An alarm box that answers Delete and notes what the window's flags were.
class FlagBox : public TKaAlarmBox
{
public:
    int DisplayAlarm(int &) override
    {
        ++shown;
        checking = fmKaMain->Checking;
        trayResponds = fmKaMain->TrayResponds();
        mainThread = QThread::currentThread() == qApp->thread();
        titles << dmKaAlarms->cdsThread.fieldByName(AlarmField::Title).asString();
        return abrDelete;
    }
    int shown = 0;
    bool checking = false;
    bool trayResponds = true;
    bool mainThread = false;
    QStringList titles;
};

void AddDue(TdmKaAlarms &dm, const QString &title, int period = 0)
{
    AddAlarm(dm, zel::Now() - zel::OneHour, title, 0, 1, period);
}

// Answers every message dialog with one button.
struct Answers
{
    explicit Answers(int answer)
    {
        SetMessageDialogHook([answer](const MessageDialogRequest &) { return answer; });
    }
    ~Answers() { SetMessageDialogHook({}); }
};

} // namespace

class TestCheckTimer : public QObject
{
    Q_OBJECT

    ProgramFixture program;
    FlagBox box;

private Q_SLOTS:
    void initTestCase() { InitProgramUnits(); }

    void init()
    {
        program.start();
        box = FlagBox();
        program.dm->SetAlarmBox(&box);
        ZELApplication()->AppPhase = apRunning;
    }

    void cleanup()
    {
        ZELApplication()->AppPhase = apInitializing;
        program.stop();
    }

    // The worker thread ticks, hands work to the main thread and waits for
    // it; ticks never overlap.
    void threadHandsOver()
    {
        QObject context;
        TThreadTimer timer(&context);
        timer.setInterval(5);
        std::atomic<int> ticks{0};
        std::atomic<int> inside{0};
        std::atomic<bool> overlap{false};
        std::atomic<bool> offMain{false};
        timer.OnTimer = [&] {
            if (inside.fetch_add(1) != 0)
                overlap = true;
            timer.RunOnMain([&] {
                if (QThread::currentThread() != qApp->thread())
                    offMain = true;
                QTest::qWait(10); // the main thread keeps serving events
            });
            ++ticks;
            inside.fetch_sub(1);
        };
        QVERIFY(!timer.enabled());
        timer.setEnabled(true);
        QTRY_VERIFY(ticks >= 5);
        timer.setEnabled(false);
        // A tick under way finishes; no other follows.
        QTRY_COMPARE(int(inside), 0);
        const int stopped = ticks;
        QTest::qWait(50);
        QCOMPARE(int(ticks), stopped);
        QVERIFY(!overlap);
        QVERIFY(!offMain);
        // On the main thread RunOnMain is a direct call.
        bool ran = false;
        QVERIFY(timer.RunOnMain([&] { ran = true; }));
        QVERIFY(ran);
    }

    // Stopping while a tick waits for the main thread (which is the one
    // stopping) ends without a deadlock; the work never runs.
    void stopWhileWaiting()
    {
        auto context = std::make_unique<QObject>();
        TThreadTimer timer(context.get());
        timer.setInterval(1);
        std::atomic<bool> waiting{false};
        std::atomic<int> ran{0};
        std::atomic<int> handedOver{-1};
        timer.OnTimer = [&] {
            waiting = true;
            handedOver = timer.RunOnMain([&] { ++ran; }) ? 1 : 0;
        };
        timer.setEnabled(true);
        while (!waiting)
            std::this_thread::yield();
        timer.stop();
        QCOMPARE(int(handedOver), 0);
        // The queued work dies with its context.
        context.reset();
        QCoreApplication::processEvents();
        QCOMPARE(int(ran), 0);
    }

    // TimerTimer waits while the program is busy or a window is in front;
    // otherwise the check runs with Checking set and the tray deaf.
    void skipsAndFlags()
    {
        TfmKaMain &w = *program.window;
        AddDue(*program.dm, QStringLiteral("due"));
        w.Busy = true;
        w.TimerTimer();
        QCOMPARE(box.shown, 0);
        w.Busy = false;

        w.show();
        w.TimerTimer();
        QCOMPARE(box.shown, 0);
        w.hide();

        QWidget reminder;
        w.SetReminderBox(&reminder);
        reminder.show();
        w.TimerTimer();
        QCOMPARE(box.shown, 0);
        reminder.hide();

        w.TimerTimer();
        QCOMPARE(box.shown, 1);
        QVERIFY(box.checking);
        QVERIFY(!box.trayResponds);
        QVERIFY(!w.Checking);
        QVERIFY(w.TrayResponds());
        w.SetReminderBox(nullptr);
    }

    // The running timer fires a due alarm on the main thread; while the
    // main window is shown nothing fires, and the first tick after it is
    // hidden does.
    void timerFires()
    {
        TfmKaMain &w = *program.window;
        AddDue(*program.dm, QStringLiteral("first"));
        w.show();
        w.Timer->setInterval(10);
        w.Timer->setEnabled(true);
        QTest::qWait(100);
        QCOMPARE(box.shown, 0);
        w.hide();
        QTRY_COMPARE(box.shown, 1);
        QVERIFY(box.mainThread);
        QVERIFY(box.checking);
        w.Timer->setEnabled(false);
        QTRY_VERIFY(!w.Checking);
        QVERIFY(w.TrayResponds());
    }

    // After start-up the state switch starts and stops the timer; while the
    // window is built, and once Shutdown began, it leaves it alone.
    void stateSwitchDrivesTheTimer()
    {
        TfmKaMain &w = *program.window;
        QVERIFY(!w.Timer->enabled());
        w.miActiveOrInactiveClick(w.miActive);
        QVERIFY(w.Timer->enabled());
        w.miActiveOrInactiveClick(w.miInactive);
        QVERIFY(!w.Timer->enabled());
        QVERIFY(!w.cbxOptionsEnabled->isChecked());
        // Hiding the window re-applies the stored state.
        w.show();
        w.cbxOptionsEnabled->setChecked(true);
        w.hide();
        QVERIFY(w.Timer->enabled());
        QVERIFY(w.miActive->isChecked());

        ZELApplication()->AppPhase = apInitializing;
        w.miActiveOrInactiveClick(w.miInactive);
        QVERIFY(w.Timer->enabled());
        ZELApplication()->AppPhase = apRunning;

        w.Closing = true;
        w.miActiveOrInactiveClick(w.miActive);
        w.Timer->setEnabled(false);
        w.miActiveOrInactiveClick(w.miActive);
        QVERIFY(!w.Timer->enabled());
        w.Closing = false;
    }

    // A window created by a later run starts with its timer disabled.
    void createdDisabled()
    {
        program.window->miActiveOrInactiveClick(program.window->miActive);
        ZELApplication()->AppPhase = apInitializing;
        program.restartWindow();
        program.dm->SetAlarmBox(&box);
        QVERIFY(!program.window->Timer->enabled());
        QCOMPARE(program.window->Timer->interval(), 1000);
    }

    // Shutdown disables the timer and, when active, fires the exit alarms
    // (and only those) before the program closes. Last: closing the window
    // ends the application's event loops.
    void shutdownFiresExitAlarms()
    {
        TfmKaMain &w = *program.window;
        w.miActiveOrInactiveClick(w.miActive);
        AddDue(*program.dm, QStringLiteral("on exit"), 8);
        AddDue(*program.dm, QStringLiteral("on every exit"), 10);
        AddDue(*program.dm, QStringLiteral("on start"), 7);
        Answers yes(mrYes);
        w.miExitClick();
        QVERIFY(!w.Timer->enabled());
        QCOMPARE(box.titles, (QStringList{QStringLiteral("on exit"), QStringLiteral("on every exit")}));
        QVERIFY(w.Closing);
    }
};

QTEST_MAIN(TestCheckTimer)
#include "tst_check_timer.moc"
