#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class QLocalServer;
class TfmKaMain;

// Keeps the program reachable on a desktop without a notification area.
//
// Where the desktop offers a tray, nothing happens: the program lives in it.
// Where it offers none at start, the program waits a short while for one (a
// tray that starts later at login is common) and, when none comes, shows the
// main window as an ordinary window: closing it then minimises it, and a
// second copy of the program brings it to the front. When a tray appears
// later, its icon shows and the window behaves as with a tray again.
class TTrayPresence : public QObject
{
    Q_OBJECT

public:
    // How long the start waits for a tray, and how often it looks (a tray
    // that appears is seen within one look).
    static constexpr int DefaultWaitMs = 5000;
    static constexpr int WaitLookMs = 200;
    // How often a tray is looked for once the program shows its window.
    static constexpr int LaterLookMs = 1000;

    explicit TTrayPresence(TfmKaMain *window, QObject *parent = nullptr);
    ~TTrayPresence() override;

    // Whether the desktop offers a tray now; the system's answer unless a
    // test replaces it.
    std::function<bool()> TrayAvailable;

    // Looks for a tray: with one, nothing more; without, waits up to waitMs
    // for one, then shows the window without a tray.
    void Start(int waitMs = DefaultWaitMs);
    // True while the program runs without a tray (after the wait).
    bool WithoutTray() const { return m_withoutTray; }
    // True while the start still waits for a tray.
    bool Waiting() const { return m_waiting; }

Q_SIGNALS:
    // The program showed its window for want of a tray.
    void trayMissing();
    // A tray appeared; its icon shows.
    void trayAppeared();

private:
    void Look();
    void EnterWithoutTray();
    void LeaveWithoutTray();

    QPointer<TfmKaMain> m_window;
    QTimer m_look;
    QTimer m_waitEnd;
    bool m_waiting = false;
    bool m_withoutTray = false;
    QLocalServer *m_server = nullptr;
};

// The local socket through which a second copy of the program reaches the
// running one: in the runtime folder (the temporary folder without one),
// named after the data folder, since one copy runs per data folder.
QString InstanceSocketName();

// In a second copy: asks the running copy to bring its window to the front.
// True when it did; false when no copy listens (a running copy with a tray
// does not listen: the second copy then ends silently).
bool BringRunningCopyToFront(int timeoutMs = 3000);
