// Entry point of Almarik 2.
#include "app/Startup.h"
#include "app/TrayPresence.h"
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "diag/ZelApplication.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

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
    // The support library first (system and application facts, the end of
    // the session), then the shared unit.
    ZelSystemInitialize();
    KaVar::Initialize();

    // The lock is held for the program's whole life. A second copy ends:
    // silently, or, where the running copy shows its window for want of a
    // tray, after bringing that window to the front.
    std::unique_ptr<QLockFile> lock;
    const int result = startup::Run([&lock] {
        lock = TakeInstanceLock();
        if (!lock)
            BringRunningCopyToFront();
        return lock != nullptr;
    });
    KaVar::Finalize();
    ZelSystemFinalize();
    return result;
}
