#include "diag/U_ZEL_System.h"

#include "diag/U_ZEL_FileVersion.h"
#include "diag/U_ZEL_Utilities.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

namespace {

TZELApplication *g_application = nullptr;
TZELWindows *g_windows = nullptr;
std::atomic<bool> g_sessionEnded{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

} // namespace

TZELApplication::TZELApplication()
{
    QStringList arguments = QCoreApplication::arguments();
    if (!arguments.isEmpty())
        arguments.removeFirst();
    init(QCoreApplication::applicationFilePath(), arguments);
}

TZELApplication::TZELApplication(const QString &exeName, const QStringList &arguments)
{
    init(exeName, arguments);
}

void TZELApplication::init(const QString &exeName, const QStringList &arguments)
{
    DevEnvRunning = DetectDevEnv();
    ExeName = LongFileName(QDir::toNativeSeparators(exeName));
    ExePath = AddTrailingBackslash(QDir::toNativeSeparators(QFileInfo(QDir::fromNativeSeparators(ExeName)).path()));
    const QString exeFolder = QDir::fromNativeSeparators(RemoveTrailingBackslash(ExePath));
    RootPath = AddTrailingBackslash(QDir::toNativeSeparators(QFileInfo(exeFolder).path()));
    Version = TZELFileVersion(ExeName).VersionText();
    Title = DefaultTitle(ExeName);
    AppPhase = apInitializing;
    for (const QString &argument : arguments)
        Parameters << argument.toUpper();
}

QString TZELApplication::DefaultTitle(const QString &exeName)
{
    const QString file = QFileInfo(QDir::fromNativeSeparators(exeName)).fileName();
    const QString stem = file.section(QLatin1Char('.'), 0, 0);
    return stem.left(1) + stem.mid(1).toLower();
}

bool TZELApplication::DetectDevEnv()
{
    const QByteArray forced = qgetenv("ZEL_DEV_ENV");
    if (!forced.isEmpty())
        return forced != "0";
#ifdef Q_OS_LINUX
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = status.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (line.startsWith("TracerPid:"))
                return line.mid(10).trimmed() != "0";
        }
    }
#endif
    return false;
}

void TZELApplication::ShowError(const QString &text) const
{
    // At the end of the session nobody is there to answer.
    if (ZelSessionEnded())
        return;
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok);
    box.exec();
}

QString TZELWindows::ApiFailureText()
{
    return QStringLiteral("Une fonction de l'API Win32 a \u00e9chou\u00e9");
}

TZELWindows::~TZELWindows()
{
    removeSessionEndHook();
}

bool ZelSessionEnded()
{
    return g_sessionEnded.load();
}

void ZelSetSessionEnded(bool ended)
{
    g_sessionEnded.store(ended);
}

TZELApplication *ZELApplication()
{
    return g_application;
}

TZELWindows *ZELWindows()
{
    return g_windows;
}

void ZelSystemInitialize()
{
    if (!g_application)
        g_application = new TZELApplication();
    if (!g_windows)
        g_windows = new TZELWindows();
}

void ZelSystemFinalize()
{
    delete g_windows;
    g_windows = nullptr;
    delete g_application;
    g_application = nullptr;
}
