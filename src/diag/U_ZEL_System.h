#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>

// Application phases kept by TZELApplication.
enum TAppPhase : quint8 { apRunning = 0, apInitializing = 1, apStartupCheck = 2 };

// Facts about the running program, fixed at creation except AppPhase.
class TZELApplication
{
public:
    // For the running program: its executable and command line.
    TZELApplication();
    // For a given executable and parameters (without the program name).
    TZELApplication(const QString &exeName, const QStringList &arguments);

    QString ExeName;
    QString ExePath;
    QString RootPath;
    QString Title;
    QString Version;
    QStringList Parameters;
    bool DevEnvRunning = false;
    std::atomic<quint8> AppPhase{apInitializing};

    // A plain message box: no icon, an OK button, the application's title.
    void ShowError(const QString &text) const;

    // The framework's default title of an executable: its file name up to the
    // first ".", every character after the first in lower case.
    static QString DefaultTitle(const QString &exeName);
    // True when a development tool watches the program (a debugger traces
    // it); ZEL_DEV_ENV=1 forces it on, =0 off.
    static bool DetectDevEnv();

private:
    void init(const QString &exeName, const QStringList &arguments);
};

// Facts about the machine and the user, and the end of the user's session:
// when the session ends (SIGTERM, SIGHUP or SIGINT here, the end-session
// message on Windows) the program leaves its event loops at once without
// asking any window; the normal destruction then still runs. A SIGHUP or
// SIGINT the program was started to ignore (nohup, a background job) stays
// ignored.
class TZELWindows : public QObject
{
    Q_OBJECT

public:
    explicit TZELWindows(QObject *parent = nullptr);
    ~TZELWindows() override;

    QString ComputerName;
    QString UserName;
    QString AppData;

    // The fallback text when a name cannot be read and no error is known.
    static QString ApiFailureText();

private:
    void installSessionEndHook();
    void removeSessionEndHook();
    class SessionEnd;
    SessionEnd *m_sessionEnd = nullptr;
};

// The process-wide instances (null before ZelSystemInitialize and after
// ZelSystemFinalize).
TZELApplication *ZELApplication();
TZELWindows *ZELWindows();

// True once the user's session has ended (set by the session-end hook, safe
// from a signal handler): the program is leaving. Modal loops are ended, no
// command may act on a dialog's answer, and no new dialog waits for one.
bool ZelSessionEnded();
void ZelSetSessionEnded(bool ended);

// Creates both objects (before any window of the program) / frees them,
// TZELWindows first. Needs the application object.
void ZelSystemInitialize();
void ZelSystemFinalize();
