// TZELWindows on Unix: names from the system, the user's data folder from the
// XDG base directories, and the end of the session from SIGTERM, SIGHUP and
// SIGINT.
#include "diag/U_ZEL_System.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

// Async-signal-safe: the flag, and one byte into the pipe; the event loop
// does the rest. The flag is read at once by code that runs outside an event
// loop (the start-up sequence).
extern "C" void OnSessionEndSignal(int signalNumber)
{
    const int saved = errno;
    ZelSetSessionEnded(true);
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

QString LastErrorText(int error)
{
    return error ? QString::fromLocal8Bit(std::strerror(error)) : TZELWindows::ApiFailureText();
}

} // namespace

class TZELWindows::SessionEnd
{
public:
    SessionEnd(QObject *owner)
    {
        ZelSetSessionEnded(false);
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
            return;
        for (int fd : g_signalPipe) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
        notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, owner);
        QObject::connect(notifier, &QSocketNotifier::activated, owner, [] {
            char byte = 0;
            while (::read(g_signalPipe[0], &byte, 1) > 0) {
            }
            // The session ends: leave every event loop now (the main one and
            // those of modal dialogs), asking no window.
            ZelSetSessionEnded(true);
            QCoreApplication::exit(0);
        });
        struct sigaction action;
        std::memset(&action, 0, sizeof(action));
        action.sa_handler = OnSessionEndSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (Handled &h : handled) {
            ::sigaction(h.signal, nullptr, &h.old);
            // A hang-up or interrupt the program was started to ignore
            // (nohup, a background job) stays ignored.
            if (h.signal != SIGTERM && h.old.sa_handler == SIG_IGN)
                continue;
            h.installed = ::sigaction(h.signal, &action, nullptr) == 0;
        }
    }

    ~SessionEnd()
    {
        for (Handled &h : handled) {
            if (h.installed)
                ::sigaction(h.signal, &h.old, nullptr);
        }
        delete notifier;
        for (int &fd : g_signalPipe) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    }

    struct Handled
    {
        int signal;
        struct sigaction old;
        bool installed;
    };
    Handled handled[3] = {{SIGTERM, {}, false}, {SIGHUP, {}, false}, {SIGINT, {}, false}};
    QSocketNotifier *notifier = nullptr;
};

TZELWindows::TZELWindows(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("ZELWindows"));
    installSessionEndHook();

    errno = 0;
    ComputerName = QSysInfo::machineHostName();
    if (ComputerName.isEmpty())
        ComputerName = LastErrorText(errno);

    errno = 0;
    const passwd *user = ::getpwuid(::geteuid());
    if (user && user->pw_name && *user->pw_name)
        UserName = QString::fromLocal8Bit(user->pw_name);
    else if (!qEnvironmentVariableIsEmpty("USER"))
        UserName = qEnvironmentVariable("USER");
    else
        UserName = LastErrorText(errno);

    AppData = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

void TZELWindows::installSessionEndHook()
{
    if (!m_sessionEnd)
        m_sessionEnd = new SessionEnd(this);
}

void TZELWindows::removeSessionEndHook()
{
    delete m_sessionEnd;
    m_sessionEnd = nullptr;
}
