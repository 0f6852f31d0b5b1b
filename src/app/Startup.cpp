#include "app/Startup.h"

#include "app/F_KA_About.h"
#include "app/F_KA_Updater.h"
#include "app/TrayPresence.h"
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "diag/U_ZEL_Utilities.h"
#include "diag/ZelException.h"
#include "engine/F_KA_Reminder.h"
#include "engine/F_KA_Show.h"
#include "store/D_KA_Alarms.h"
#include "ui/F_KA_Main.h"
#include "ui/FormStorage.h"
#include "ui/ThreadTimer.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QScopeGuard>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>

#include <cmath>
#include <memory>

// The start's steps, for whoever wants to follow them (off unless asked for
// with QT_LOGGING_RULES="almarik.start.info=true").
Q_LOGGING_CATEGORY(lcStart, "almarik.start", QtWarningMsg)

namespace {

const QString LastWebCheck = QStringLiteral("LastWebCheck");

// The splash of the start: an about window of its own made a splash (no
// border, no buttons, a bar of the steps), one line per stage, also written
// to the start's log. It is freed when it goes out of scope, after the last
// line or on the way out of a failed step.
class StartSplash
{
public:
    explicit StartSplash(int steps)
    {
        m_splash.PrepareSplash(steps);
        m_splash.show();
    }

    void Step(const QString &text)
    {
        qCInfo(lcStart).noquote() << "splash:" << text;
        m_splash.SplashStep(text);
    }

private:
    TfmKaAbout m_splash;
};

// The reminder box of the coming days.
void ShowReminder(int days)
{
    qCInfo(lcStart) << "reminder:" << days;
    if (fmKaReminder)
        fmKaReminder->ShowReminder();
}

} // namespace

namespace startup {

QStringList SplashLines()
{
    return {QStringLiteral("Initialization..."),
            QStringLiteral("Initialize and load alarms..."),
            QStringLiteral("Initialize Configuration Form..."),
            QStringLiteral("Initialize Reminder Box..."),
            QStringLiteral("Initialize Alarm Box..."),
            QStringLiteral("Initialize About Form..."),
            QStringLiteral("Finalization...")};
}

bool WebCheckDue(int days, const QString &lastCheck, TDateTime now)
{
    if (days <= 0)
        return false;
    TDateTime last = 0;
    // A date the current date format cannot read counts as no date: the
    // check runs and stores a readable one.
    if (lastCheck.trimmed().isEmpty() || !zel::TryStrToDateTime(lastCheck.trimmed(), last))
        return true;
    return now > std::floor(last) + days;
}

void ApplyLanguageAtStart(TfmKaMain &window)
{
    window.ApplyLanguage();
}

void MigrateLegacyDataAtStart()
{
    try {
        MigrateLegacyData();
    } catch (const EAbort &) {
    } catch (const Exception &e) {
        ShowErrorText(e.message());
    }
}

bool RunWebCheckWhenDue(TfmKaMain &window)
{
    const int days = window.edtOptionsWebUpdateValue->position();
    // Without a site there is nobody to ask: the check never runs at start.
    if (!WebUpdateSiteSet() || !WebCheckDue(days, window.FormStorage->ReadValue(LastWebCheck), zel::Now()))
        return false;
    CheckWebUpdate(true);
    window.FormStorage->WriteValue(LastWebCheck, zel::DateToStr(std::floor(zel::Now())));
    return true;
}

void StartAlarmCheck(TfmKaMain &window)
{
    if (!window.miActive->isChecked())
        return;
    TZELApplication *app = ZELApplication();
    if (app)
        app->AppPhase = apStartupCheck;
    const auto running = qScopeGuard([app] {
        if (app)
            app->AppPhase = apRunning;
    });
    window.TimerTimer();
    window.Timer->setEnabled(true);
}

bool ShowReminderAtStart(TfmKaMain &window)
{
    const int days = window.edtOptionsReminderValue->position();
    if (days <= 0)
        return false;
    ShowReminder(days);
    return true;
}

int Run(const std::function<bool()> &singleInstance)
{
    // 1, 2. The main window is never shown by the start; the modules and
    // windows are created in the initialising phase.
    QApplication::setQuitOnLastWindowClosed(false);
    TZELApplication *app = ZELApplication();
    app->AppPhase = apInitializing;
    int result = 0;
    try {
        // Declared in the order of creation: they are destroyed in the
        // reverse order, the data module (which writes the data file) last.
        std::unique_ptr<TdmKaAlarms> alarms;
        std::unique_ptr<TfmKaMain> window;
        std::unique_ptr<TfmKaReminder> reminder;
        std::unique_ptr<TfmKaShow> alarmBox;
        std::unique_ptr<TfmKaAbout> about;
        {
            // 3. The splash, one line per stage.
            const QStringList lines = SplashLines();
            StartSplash splash(6);
            splash.Step(lines[0]);
            QThread::msleep(100);
            // A second copy ends silently.
            if (!singleInstance())
                return 0;
            splash.Step(lines[1]);
            alarms = std::make_unique<TdmKaAlarms>();
            // The session may end while a message of the start is shown, or
            // before the loop runs: the program then ends as at any other
            // time, its windows and data module saving as they go.
            if (ZelSessionEnded())
                return 0;
            splash.Step(lines[2]);
            window = std::make_unique<TfmKaMain>(alarms.get());
            splash.Step(lines[3]);
            reminder = std::make_unique<TfmKaReminder>();
            splash.Step(lines[4]);
            alarmBox = std::make_unique<TfmKaShow>();
            window->SetAlarmBox(alarmBox.get());
            alarms->SetAlarmBox(alarmBox.get());
            splash.Step(lines[5]);
            about = std::make_unique<TfmKaAbout>();
            splash.Step(lines[6]);
            QThread::msleep(60);
        }
        // 4.
        app->AppPhase = apRunning;
        if (ZelSessionEnded())
            return 0;
        // 5 to 7.
        ApplyLanguageAtStart(*window);
        MigrateLegacyDataAtStart();
        RunWebCheckWhenDue(*window);
        // 8. A failed login ends the program at once.
        if (!window->RunLogin() || ZelSessionEnded())
            return 0;
        // 9, 10.
        window->SaveSettings();
        window->SysTray->show();
        // Without a tray, the window shows once none came.
        TTrayPresence presence(window.get());
        presence.Start();
        // 11, 12: the event loop's first work, so that a session ending while
        // an alarm box or the reminder is open ends the program too.
        QTimer::singleShot(0, window.get(), [w = window.get()] {
            StartAlarmCheck(*w);
            ShowReminderAtStart(*w);
        });
        // 13.
        result = QApplication::exec();
        window->Timer->stop();
    } catch (const EAbort &) {
    } catch (const Exception &e) {
        ShowExceptionMessage(e.message());
        result = 1;
    }
    // 14.
    return result;
}

} // namespace startup
