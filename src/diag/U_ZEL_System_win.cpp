// TZELWindows on Windows: names from the system, the user's data folder from
// the shell folders key, and the end of the session from WM_ENDSESSION.
#include "diag/U_ZEL_System.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QSettings>

#include <windows.h>

namespace {

QString LastErrorText()
{
    const DWORD error = GetLastError();
    if (error == 0)
        return TZELWindows::ApiFailureText();
    wchar_t *buffer = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   error, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    const QString text = buffer ? QString::fromWCharArray(buffer).trimmed() : TZELWindows::ApiFailureText();
    LocalFree(buffer);
    return text;
}

} // namespace

// Every message of the program's windows passes here first; none is marked
// as handled. The end of the session ends the event loop at once.
class TZELWindows::SessionEnd : public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType == "windows_generic_MSG") {
            const MSG *msg = static_cast<const MSG *>(message);
            if (msg->message == WM_ENDSESSION && msg->wParam) {
                ZelSetSessionEnded(true);
                QCoreApplication::exit(0);
            }
        }
        return false;
    }
};

TZELWindows::TZELWindows(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("ZELWindows"));
    installSessionEndHook();

    wchar_t buffer[260];
    DWORD size = 260;
    ComputerName = GetComputerNameW(buffer, &size) ? QString::fromWCharArray(buffer, int(size)) : LastErrorText();
    size = 260;
    UserName = GetUserNameW(buffer, &size) ? QString::fromWCharArray(buffer) : LastErrorText();

    QSettings folders(QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                                     "Shell Folders"),
                      QSettings::NativeFormat);
    AppData = folders.value(QStringLiteral("AppData")).toString();
}

void TZELWindows::installSessionEndHook()
{
    if (!m_sessionEnd) {
        m_sessionEnd = new SessionEnd;
        QCoreApplication::instance()->installNativeEventFilter(m_sessionEnd);
    }
}

void TZELWindows::removeSessionEndHook()
{
    if (m_sessionEnd) {
        QCoreApplication::instance()->removeNativeEventFilter(m_sessionEnd);
        delete m_sessionEnd;
        m_sessionEnd = nullptr;
    }
}
