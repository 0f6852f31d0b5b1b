// Entry point of Almarik 2.
#include "app/F_KA_About.h"
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "diag/U_ZEL_Utilities.h"
#include "diag/ZelException.h"
#include "store/D_KA_Alarms.h"
#include "engine/F_KA_Reminder.h"
#include "engine/F_KA_Show.h"
#include "ui/F_KA_Main.h"
#include "ui/ThreadTimer.h"

#include "diag/ZelApplication.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>

namespace {

// A lock named after the single-instance mutex in a folder; null when it
// cannot be taken, with the reason.
std::unique_ptr<QLockFile> TakeLockIn(const QString &folder, QLockFile::LockError &error)
{
    auto lock = std::make_unique<QLockFile>(folder + QStringLiteral("KA Mutex For Only One Instance.lock"));
    // A lock left by a copy that crashed is taken over.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0))
        return lock;
    error = lock->error();
    return nullptr;
}

// The single-instance lock. It lives beside the data it guards, so one copy
// runs per data folder whatever the runtime folder of each (after su, or
// without XDG_RUNTIME_DIR). Where the data folder takes no new file (read-only,
// or a full disk) the runtime folder holds it, so the program still runs and
// its alarms fire. Null when another copy holds it.
std::unique_ptr<QLockFile> TakeInstanceLock()
{
    const QString folder = KaVar::UserDataDir();
    QDir().mkpath(folder);
    QLockFile::LockError error = QLockFile::NoError;
    if (std::unique_ptr<QLockFile> lock = TakeLockIn(folder, error))
        return lock;
    if (error == QLockFile::LockFailedError)
        return nullptr;
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        runtime = QDir::tempPath();
    return TakeLockIn(runtime + QLatin1Char('/'), error);
}

} // namespace

int main(int argc, char *argv[])
{
    // The program places its own windows and keeps them on top: on Wayland
    // sessions it runs through XWayland unless the user chose a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    TZELGuiApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // The support library first (system and application facts, the end of
    // the session), then the shared unit.
    ZelSystemInitialize();
    KaVar::Initialize();

    int result = 0;
    // A second copy ends silently.
    if (const std::unique_ptr<QLockFile> lock = TakeInstanceLock()) {
        try {
            // The session may end while a message of the start is shown, or
            // before the loop runs: the program then ends as at any other
            // time, its windows and data module saving as they go.
            TdmKaAlarms alarms;
            if (!ZelSessionEnded()) {
                TfmKaMain window(&alarms);
                TfmKaReminder reminder;
                TfmKaShow box;
                window.SetAlarmBox(&box);
                alarms.SetAlarmBox(&box);
                TfmKaAbout about;
                ZELApplication()->AppPhase = apRunning;
                if (!ZelSessionEnded()) {
                    window.SysTray->show();
                    // When active: the one check that fires the start
                    // periodicities, then the check timer. It runs as the
                    // event loop's first work, so a session that ends while
                    // its alarm box is open ends the program too.
                    QTimer::singleShot(0, &window, [&window] {
                        if (!window.miActive->isChecked())
                            return;
                        ZELApplication()->AppPhase = apStartupCheck;
                        window.TimerTimer();
                        ZELApplication()->AppPhase = apRunning;
                        window.Timer->setEnabled(true);
                    });
                    result = QApplication::exec();
                }
                window.Timer->stop();
            }
            // The windows are gone; the data module writes the file as it ends.
        } catch (const EAbort &) {
        } catch (const Exception &e) {
            ShowExceptionMessage(e.message());
            result = 1;
        }
    }
    KaVar::Finalize();
    ZelSystemFinalize();
    return result;
}
