#pragma once

#include "base/Translator.h"
#include "store/KaAlarmsHost.h"
#include "ui/Widgets.h"

#include <QIcon>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QRadioButton;
class QSessionManager;
class QSlider;
class QSplitter;
class QStackedWidget;
class QSystemTrayIcon;
class QTimeEdit;
class QToolButton;
class TdmKaAlarms;
namespace store {
class Table;
}
class TFormStorage;
class TLoginDialog;
class TProgressWindow;
class TThreadTimer;
class TYearPlanner;

// The main window: the navigation bar and its four pages (calendar, list with
// the alarm editor, trash, options), the tray icon and its menu. Created
// hidden; closing it only hides it; it ends through Shutdown.
class TfmKaMain : public QWidget, public TKaAlarmsHost, public TTranslatedWindow
{
    Q_OBJECT

public:
    explicit TfmKaMain(TdmKaAlarms *alarms, QWidget *parent = nullptr);
    ~TfmKaMain() override;

    // TKaAlarmsHost: what the store calls up.
    void RefreshForm() override;
    int CurrentPageTag() const override;
    QString PeriodicityItem(int index) const override;
    QString PriorityItem(int index) const override;
    store::Field *PeriodicityListField() const override;
    void SetPeriodicityListIndex(int index) override;
    bool MainWindowVisible() const override { return ShownToUser(); }

    // Flags (read by the check timer's thread where noted).
    std::atomic<bool> Busy{false};     // import, export, Shutdown running
    std::atomic<bool> Checking{false}; // the due-alarm check runs
    std::atomic<bool> Closing{false};  // the window really closes
    bool Modified = false;
    bool BackToCalendar = false;

    // Whether the tray icon answers the mouse (not while editing, Busy or
    // Checking).
    bool TrayResponds() const { return m_trayResponds && !Busy && !Checking; }
    // The page button of the page in front (null before the first switch).
    QToolButton *CurrentPageButton() const { return m_currentPageButton; }
    // True while the master table is being edited (edit or insert state).
    bool Editing() const;
    // The alarm box, once it exists; Shutdown and the log-off query look at
    // whether it is shown.
    void SetAlarmBox(QWidget *box) { m_alarmBox = box; }
    bool AlarmBoxVisible() const;
    // The reminder box, once it exists: the check waits while it is shown.
    void SetReminderBox(QWidget *box);

    // The check timer: its own worker thread calls TimerTimer every second
    // while enabled. Disabled at creation.
    TThreadTimer *Timer;
    // The check timer's handler: runs the due-alarm check on the main thread
    // unless the program is busy or the main window or the reminder box is
    // shown. Called by the timer's thread, and directly at start-up.
    void TimerTimer();
    // The tray icon blinks (interval in milliseconds) while the alarm box is
    // open.
    void SetTrayAnimation(bool on, int interval);
    bool TrayAnimating() const;
    int TrayAnimationInterval() const;

    // Handlers.
    void btnMenuClick(QToolButton *sender);
    void btnMenuMainClick();
    void miActiveOrInactiveClick(QAction *sender);
    void miExitClick();
    void miShowRemenderClick();
    void miAboutClick();
    void ppmTrayPopup(bool fromTray);
    void ppmTrayDrawMargin(QPainter &painter, const QRect &strip);
    void SysTrayClick();
    void SysTrayDblClick();
    // Fills the periodicity list and the priority group, the month names and
    // day letters of date texts, in the current language.
    void ApplyLanguageLists();
    // Calendar page handlers.
    void SelectToday();
    void YearPlannerClick();
    void YearPlannerYearChanged();
    void btnCalendarAddClick();
    void btnCalendarEditClick();
    void btnCalendarDelClick();
    // A key pressed in the calendar grid; true when it was used (swallowed).
    bool grdCalendarKeyDown(int key);
    // Options page handlers.
    void cbxOptionsAutoStartClick();
    void rbSoundClick();
    QString edtOptionsWaveBeforeDialog() const;
    void edtOptionsWaveButtonClick();
    void btnOptionsWavePlayClick();
    void cbxOptionsUseLoginClick();
    bool dlgLoginCheckUser(const QString &user, const QString &password);
    // Asks the login while it is active: true when it was allowed (the
    // caption then shows the user), false when it failed.
    bool RunLogin();
    // The language list's handler: ApplyLanguage with the selected entry.
    void lstOptionsLangChange();
    // Brings a language into force (entry: its position in the language list;
    // -1 keeps LanguageIndex, as the start-up does once): the lists filled
    // from the built-in pairs, then the language file applied to this window,
    // the alarm box and the reminder box; the thread priority's selection and
    // the editor's periodicity are kept. Nothing while the start-up builds
    // the windows.
    void ApplyLanguage(int entry = -1);
    void cbOptionsPriorityChange();
    void CheckSoundDevice();
    // The machine's audio outputs changed (hasOutput: at least one now). An
    // output that appears gives Wave back, with the user's own choice.
    void SoundOutputsChanged(bool hasOutput);
    // The settings: restored at creation, saved at the points the window knows.
    void SaveSettings();
    void RestoreSettings();
    // The thread priority chosen for the check timer (0 idle, 1 low, 2 normal).
    int ThreadPriority() const { return m_threadPriority; }
    // The commit-data request of the session manager (the log-off query):
    // refused while the alarm box is shown.
    // The session asks whether it may end; allowsInteraction is asked before
    // anything is shown (no function: showing is allowed).
    bool WMQueryEndSession(const std::function<bool()> &allowsInteraction = {});
    // Brings the program's shown windows to the front.
    void BringToFront();
    // The program runs without a tray (the desktop has none): closing the
    // window then minimises it, a minimised window counts as hidden, and the
    // State menu stays reachable from the Menu button. Switched off when a
    // tray appears: a minimised window is then hidden, as with a tray.
    void SetWithoutTray(bool on);
    bool WithoutTray() const { return m_withoutTray; }
    // Shows the window (also when minimised) and brings it to the front.
    void ShowInFront();
    // Whether the user has the window before them: shown, and not minimised
    // while the program runs without a tray.
    bool ShownToUser() const;

    // Controls, named as they are everywhere (objectName is the same).
    QFrame *pnMenu;
    QToolButton *btnMenuMain;
    QToolButton *btnMenuCalendar;
    QToolButton *btnMenuList;
    QToolButton *btnMenuTrash;
    QToolButton *btnMenuOptions;
    QToolButton *btnMenuTrashFull;
    QToolButton *btnMenuTrashEmpty;
    QStackedWidget *Notebook;

    // Calendar page.
    QToolButton *btnCalendarDel, *btnCalendarCopy, *btnCalendarAdd, *btnCalendarEdit;
    QLabel *pnCalendarCount;
    QToolButton *btnCalendarFirst, *btnCalendarPrior, *btnCalendarNext, *btnCalendarLast;
    TDataGrid *grdCalendar;
    TYearPlanner *YearPlanner;

    // List page and editor.
    QToolButton *btnListDel, *btnListCopy, *btnListAdd, *btnListEdit, *btnListPost, *btnListCancel;
    QLabel *pnListCount;
    QToolButton *btnListFirst, *btnListPrior, *btnListNext, *btnListLast;
    TDataGrid *grdList;
    TDateBox *edtEditDate;
    TTimeBox *edtEditTime;
    QLineEdit *edtEditTitle;
    QCheckBox *edtEditDateEndUsed;
    TDateBox *edtEditDateEnd;
    TTimeBox *edtEditTimeEnd;
    QComboBox *cbEditPeriodicity;
    QLineEdit *edtEditApp;
    QToolButton *edtEditAppButton;
    QCheckBox *cbxEditSound, *cbxEditAppSilent, *cbxEditAlarmEnabled;
    TRadioGroup *rgpEditPriority;
    QPlainTextEdit *moEditMemo;

    // List page handlers. A sender of btnListAddClick other than null is a
    // user's command (the date box's calendar then opens); null is a call from
    // another command. btnListCopyClick copies from the list view for
    // btnListCopy and from the calendar view for btnCalendarCopy.
    void btnListAddClick(QObject *sender);
    void btnListEditClick();
    void btnListCopyClick(QToolButton *sender);
    void btnListDelClick();
    void btnListPostClick();
    void btnListCancelClick();
    void grdListDblClick();
    // The grid's and the editor's keys: true when the key was swallowed.
    bool grdListKeyDown(int key);
    bool DoKeyDown(int key, Qt::KeyboardModifiers modifiers);
    // A title click of one of the three page grids: its view is ordered by
    // the column's stored value until the next click.
    void GridTitleClick(TDataGrid *grid, const QString &field);
    void DataModified();
    void edtEditAppButtonClick();
    // Where the application picker starts when the current value's folder
    // does not exist: the platform's program folder.
    static QString ProgramFilesDir();

    // Trash page.
    QToolButton *btnTrashErase, *btnTrashEraseAll, *btnTrashRecover, *btnTrashRecoverAll;
    QLabel *pnTrashCount;
    QToolButton *btnTrashFirst, *btnTrashPrior, *btnTrashNext, *btnTrashLast;
    TDataGrid *grdTrash;
    QSplitter *splTrash;
    QPlainTextEdit *moTrash;
    // The progress window of Purge all and Restore all.
    TProgressWindow *dlgProgress;

    // Trash page handlers. A sender of btnTrashEraseAllClick other than null
    // is the user's click (the question may be asked); null is the purge.
    void btnTrashEraseClick();
    void btnTrashEraseAllClick(QObject *sender);
    void btnTrashRecoverClick();
    void btnTrashRecoverAllClick();
    // A key pressed in the trash grid; true when it was used (swallowed).
    bool grdTrashKeyDown(int key);
    // Erases the trash alarms older than the purge option (days; 0: never).
    // Called once at creation; a failure is shown and the start goes on.
    void PurgeOldAlarms();

    // Options page.
    QCheckBox *cbxOptionsAutoStart, *cbxOptionsEnabled;
    QListWidget *lstOptionsLang;
    QCheckBox *cbxOptionsConfirmEdit, *cbxOptionsConfirmCancel, *cbxOptionsManage;
    QRadioButton *rbOptionsBeep, *rbOptionsWave;
    QLineEdit *edtOptionsWave;
    QToolButton *edtOptionsWaveButton;
    QSlider *edtOptionsWaveVol;
    QToolButton *btnOptionsWavePlay;
    QCheckBox *cbxOptionsUseLogin;
    QLineEdit *edtOptionsUser, *edtOptionsPwd;
    QComboBox *cbOptionsPriority;
    TUpDown *edtOptionsCheckValue, *edtOptionsPurgeValue, *edtOptionsRememberValue, *edtOptionsAutoRememberValue,
        *edtOptionsMaginValue, *edtOptionsReminderValue, *edtOptionsWebUpdateValue;
    QLineEdit *edtOptionsCheckShow, *edtOptionsPurgeShow, *edtOptionsRememberShow, *edtOptionsAutoRememberShow,
        *edtOptionsMaginShow, *edtOptionsReminderShow, *edtOptionsWebUpdateShow;
    QCheckBox *cbxOptionsNoRememberOnPeriodic, *cbxOptionsStayOnTop;
    TRadioGroup *rgpOptionsBoxPos;
    QLabel *lbOptionsFootnote;
    QLabel *lbOptionsWaveVol;

    // The settings store and the login dialog.
    TFormStorage *FormStorage;
    TLoginDialog *dlgLogin;

    // Tray icon, its pictures and menu.
    QSystemTrayIcon *SysTray;
    QList<QIcon> imlTray;
    TTrayMenu *ppmTray;
    QAction *miNew, *miCal, *miList, *miTrash, *miOptions, *miManage, *miShowRemender, *miPrint, *miImport, *miExport,
        *miState, *miActive, *miInactive, *miSupport, *miHelp, *miLicenseFile, *miReadmeFile, *miWebSite, *miSendMail,
        *miCheckUpdate, *miAbout, *miExit;

    // Where the import and export file dialogs start.
    QString FileDialogFolder;

    // Index of the tray pictures in imlTray.
    static constexpr int TrayActiveImage = 17;
    static constexpr int TrayInactiveImage = 18;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Asks the trash question (when "On trash operations" is ticked) about the
    // trash's current alarm and puts the master on it; false when there is
    // none or the user said No.
    bool LocateTrashAlarm(const QString &english, const QString &french);
    void FormCreate();
    void FormShow();
    void FormHide();
    void FormDestroy();
    bool FormCloseQuery();

    // Building the window, one part per page.
    void BuildFrame();
    QWidget *BuildCalendarPage();
    QWidget *BuildListPage();
    QWidget *BuildTrashPage();
    QWidget *BuildOptionsPage();
    void BuildTray();
    QToolButton *NavButton(const QString &name, const QString &caption, const QString &icon, int tag);
    QToolButton *ToolButton(const QString &name, const QString &hint, const QString &icon);
    // The First, Prior, Next and Last buttons of a page ("btn" + page +
    // "First", ...), moving the cursor of the page's view.
    void NavigationButtons(const QString &page, store::Table &view, QToolButton *&first, QToolButton *&prior,
                           QToolButton *&next, QToolButton *&last);

    // Page state.
    void CheckLeaveOptions();
    void SetupFormStorage();
    void LoadEditor();
    void ClearEditor();
    void BindEditor();
    void BindPageGrids();
    // Writes an editor control's value into the master's record being edited,
    // then marks the record modified.
    void WriteEditor(const std::function<void(store::Table &)> &write);
    void UpdateTrashMemo();
    void SetTrayIcon(int image);
    void ShowAndSwitch(QToolButton *page);

    TdmKaAlarms *m_alarms;
    QToolButton *m_currentPageButton = nullptr;
    QPointer<QWidget> m_alarmBox;
    std::atomic<bool> m_trayResponds{true};
    // Visibility of the main window and of the reminder box, as the check
    // timer's thread reads it.
    std::atomic<bool> m_shown{false};
    std::atomic<bool> m_reminderShown{false};
    QPointer<QWidget> m_reminderBox;
    QTimer m_trayAnimation;
    bool m_trayBlink = false;
    bool m_inCheck = false;
    bool m_editorBound = false;
    bool m_loadingEditor = false;
    bool m_writingEditor = false;
    bool m_menuFromButton = false;
    bool m_withoutTray = false;
    QTimer m_clickTimer;
    int m_threadPriority = 1;
    // Beep chosen for this run only, for want of an audio output; the user's
    // own choice (Wave or not) is what the settings keep meanwhile.
    bool m_beepForced = false;
    bool m_userChoseWave = true;
};

// The main window of the running program (null when there is none).
extern TfmKaMain *fmKaMain;

// Where a window whose frame would stand at frame goes so that it lies inside
// the available area of a screen (the one that holds most of it).
QPoint PlaceOnScreen(const QRect &frame);
