#pragma once

#include "diag/ZelDateTime.h"

#include <QString>

#include <functional>

class TfmKaMain;
class QWidget;

// The program's start and end. Run builds the application in a fixed order
// behind the splash (single instance, data module, main window, reminder box,
// alarm box, about window), brings the language into force, moves the legacy
// data folder, runs the web update check when it is due and the login when
// it is on, saves the settings, shows the tray icon, starts the due-alarm
// check when the program is active, shows the reminder box, runs the event
// loop, and ends by destroying what it built in the reverse order, the data
// module (which writes the data file) last. Each step below is a function of
// its own so that it can be run alone.
namespace startup {

// The lines of the splash, in their order.
QStringList SplashLines();

// Whether the silent web update check is due at now: an interval above 0
// days, and a last check that is missing, unreadable in the short date
// format (taken as missing), or whose day at midnight plus the interval lies
// before now.
bool WebCheckDue(int days, const QString &lastCheck, TDateTime now);

// The interface language of the stored settings, applied once.
void ApplyLanguageAtStart(TfmKaMain &window);

// Moves the legacy data folder into the user's data folder; a failure is
// shown in the plain message box and the start goes on.
void MigrateLegacyDataAtStart();

// The silent web update check, when a site is set and the check is due;
// today's date is then stored as "LastWebCheck", whatever the outcome. True
// when the check ran.
bool RunWebCheckWhenDue(TfmKaMain &window);

// When the program is active: the start-up run of the due-alarm check (the
// only run that fires the start periodicities), then the check timer. The
// phase is apStartupCheck during the run and apRunning after it, also when
// it fails. Nothing runs when the program is inactive.
void StartAlarmCheck(TfmKaMain &window);

// The reminder box of the coming days, when its option is above 0 days.
// True when the reminder was asked for.
bool ShowReminderAtStart(TfmKaMain &window);

// The whole start, the event loop and the end. singleInstance is the
// single-instance check: it takes what guards the single instance (the
// caller keeps it for the program's whole life) and says whether this copy
// may run; when not, the program ends silently. Returns the exit code.
int Run(const std::function<bool()> &singleInstance);

} // namespace startup
