// The check timer of the main window: its worker thread's handler hands the
// due-alarm check to the main thread; the tray icon's animation while the
// alarm box is open.
#include "ui/F_KA_Main.h"

#include "store/D_KA_Alarms.h"
#include "ui/ThreadTimer.h"

#include <QEvent>
#include <QSystemTrayIcon>

void TfmKaMain::TimerTimer()
{
    // Due alarms wait while the program is busy or the user has the main
    // window or the reminder box open.
    if (Busy || m_shown || m_reminderShown)
        return;
    // Nothing can have come due since the last check: the main thread sleeps
    // on.
    const bool fromTimer = Timer->onWorkerThread();
    if (fromTimer && !m_alarms->TimerCheckNeeded(zel::Now()))
        return;
    Checking = true;
    m_trayResponds = false;
    struct Clear
    {
        TfmKaMain *w;
        ~Clear()
        {
            w->Checking = false;
            w->m_trayResponds = true;
        }
    } clear{this};
    Timer->RunOnMain([this, fromTimer] {
        // Things may have changed while the hand-over was queued: the timer
        // stopped, Shutdown began, or a check already runs (a message box of
        // the check keeps the event loop going).
        if (m_inCheck || Busy || (fromTimer && !Timer->enabled()))
            return;
        m_inCheck = true;
        try {
            m_alarms->CheckAlarms();
        } catch (...) {
            m_inCheck = false;
            throw;
        }
        m_inCheck = false;
    });
}

void TfmKaMain::SetReminderBox(QWidget *box)
{
    if (m_reminderBox)
        m_reminderBox->removeEventFilter(this);
    m_reminderBox = box;
    m_reminderShown = box && box->isVisible();
    if (box)
        box->installEventFilter(this);
}

bool TfmKaMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_reminderBox && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        m_reminderShown = event->type() == QEvent::Show;
    return QWidget::eventFilter(watched, event);
}

void TfmKaMain::SetTrayAnimation(bool on, int interval)
{
    if (!on) {
        m_trayAnimation.stop();
        m_trayBlink = false;
        SetTrayIcon(miActive->isChecked() ? TrayActiveImage : TrayInactiveImage);
        return;
    }
    m_trayAnimation.setInterval(interval);
    m_trayAnimation.start();
}

bool TfmKaMain::TrayAnimating() const
{
    return m_trayAnimation.isActive();
}

int TfmKaMain::TrayAnimationInterval() const
{
    return m_trayAnimation.interval();
}
