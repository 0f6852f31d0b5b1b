#pragma once

#include "base/Translator.h"
#include "store/KaAlarmsHost.h"

#include <QDialog>
#include <QIcon>
#include <QList>
#include <QTimer>

#include <functional>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QToolButton;
class TUpDown;

// The alarm box: shows one due alarm (date, title, comments, priority,
// periodicity, application), plays its sound, and lets the user close it,
// delete it, postpone it by some minutes or close it without launching its
// application. Created once and reused for every alarm; a top-level window of
// its own that does not follow the program's other windows.
class TfmKaShow : public QDialog, public TKaAlarmBox, public TTranslatedWindow
{
    Q_OBJECT

public:
    explicit TfmKaShow(QWidget *parent = nullptr);
    ~TfmKaShow() override;

    // Shows the alarm at the current row of the check view modally and
    // returns the answer (AlarmBoxResult); minutes receives the remember
    // minutes when the box was shown. Raises EAbort when there is no main
    // window, or when the program ends while the box is open (the alarm is
    // then left as it is).
    int DisplayAlarm(int &minutes) override;

    // Handlers.
    void btnOkClick();
    void btnRememberClick();
    void UpdateButton(QAction *sender);
    void TimerTimer();
    // True when the key was the Enter key (swallowed).
    bool edtRememberShowKeyDown(int key);

    // Controls, named as everywhere (objectName is the same).
    QFrame *pnDateTime;
    QLabel *lbDateTime;
    QLabel *imgPriority1, *imgPriority2;
    QLabel *pnPeriodicity;
    QLabel *pnLaunch;
    QFrame *pnFrame;
    QLabel *pnTitle;
    QFrame *pnComments;
    QPlainTextEdit *moComments;
    QFrame *pnBottom;
    QLabel *lbTimer;
    QLineEdit *edtRememberShow;
    TUpDown *edtRememberValue;
    QToolButton *btnRemember;
    QToolButton *btnOk;
    QMenu *ppmBtn;
    QAction *miClose, *miDelete, *miNoLaunch;
    // The box's pictures: 0 delete, 1 close, 2 close of a periodic alarm,
    // 3 remember, 4 no launch, 5 to 7 the priorities Low, Normal, High.
    QList<QIcon> imlShow;
    // The one-minute countdown timer.
    QTimer Timer;

    // The picture btnOk shows now (decides what it does).
    int OkImage() const { return m_okImage; }
    // Minutes left before the automatic Remember.
    int Countdown() const { return m_countdown; }
    bool StayOnTop() const { return m_stayOnTop; }

    // The designed client size.
    static constexpr int DesignWidth = 288;
    static constexpr int DesignHeight = 255;

    // Seams: the countdown's minute (milliseconds), the sound calls.
    static void SetMinuteInterval(int milliseconds);
    std::function<bool(const QString &path, int volume)> PlayWave;
    std::function<void()> Beep;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void reject() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormShow();
    void FormHide();
    void Answer(int result);
    void ShowCountdown();
    void PlaceWindow(int position, int margin);
    void ApplyStayOnTop();
    // Places the window again once the window manager's frame is known.
    void FollowFrame();
    QMargins FrameMargins() const;

    int m_okImage = 0;
    int m_countdown = 0;
    bool m_stayOnTop = true;
    bool m_answered = false;
    QString m_periodicityCaption;
    QString m_launchCaption;
    // Size of the window frame around the client area, known once shown.
    QMargins m_frame;
    int m_placement = 4;
    int m_margin = 0;
    bool m_placing = false;
    bool m_followed = false;
};

// The alarm box of the running program (null when there is none).
extern TfmKaShow *fmKaShow;
