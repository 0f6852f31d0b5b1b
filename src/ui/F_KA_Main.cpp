// The main window's frame: creation, navigation between the pages, the state
// routine RefreshForm, showing, hiding and closing, the log-off query and
// Shutdown. The pages are built in F_KA_Main_<page>.cpp, the tray in
// F_KA_Main_Tray.cpp.
#include "ui/F_KA_Main.h"

#include "base/U_KA_Var.h"
#include "diag/U_ZEL_Utilities.h"
#include "base/TPlayer.h"
#include "ui/FormStorage.h"
#include "ui/LoginDialog.h"
#include "store/D_KA_Alarms.h"
#include "ui/ThreadTimer.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QPlainTextEdit>
#include <QTimeEdit>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSessionManager>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

using namespace store;
using KaVar::Tr;

TfmKaMain *fmKaMain = nullptr;

// The pictures live in the program library's resources.
static void InitPictures()
{
    Q_INIT_RESOURCE(icons);
}

TfmKaMain::TfmKaMain(TdmKaAlarms *alarms, QWidget *parent) : QWidget(parent), m_alarms(alarms)
{
    InitPictures();
    setObjectName(QStringLiteral("fmKaMain"));
    fmKaMain = this;
    // The check timer: 1000 ms, disabled until the start-up sequence enables it.
    Timer = new TThreadTimer(this, this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(1000);
    Timer->OnTimer = [this] { TimerTimer(); };
    BuildFrame();
    BuildTray();
    FormStorage = new TFormStorage;
    dlgLogin = new TLoginDialog(this);
    dlgLogin->onCheckUser = [this](const QString &user, const QString &password) {
        return dlgLoginCheckUser(user, password);
    };
    SetupFormStorage();
    connect(&m_trayAnimation, &QTimer::timeout, this, [this] {
        m_trayBlink = !m_trayBlink;
        SetTrayIcon(m_trayBlink ? TrayInactiveImage : TrayActiveImage);
    });
    m_alarms->SetHost(this);
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
        if (!WMQueryEndSession([&manager] { return manager.allowsInteraction(); }))
            manager.cancel();
    });
    FormCreate();
}

TfmKaMain::~TfmKaMain()
{
    FormDestroy();
    delete FormStorage;
    m_alarms->SetHost(nullptr);
    if (fmKaMain == this)
        fmKaMain = nullptr;
}

QToolButton *TfmKaMain::NavButton(const QString &name, const QString &caption, const QString &icon, int tag)
{
    auto *b = new QToolButton(pnMenu);
    b->setObjectName(name);
    b->setText(caption);
    b->setIcon(QIcon(QStringLiteral(":/icons/") + icon + QStringLiteral(".png")));
    b->setIconSize(QSize(32, 32));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setCheckable(true);
    b->setAutoRaise(true);
    b->setFixedSize(95, 64);
    b->setProperty("tag", tag);
    return b;
}

QToolButton *TfmKaMain::ToolButton(const QString &name, const QString &hint, const QString &icon)
{
    auto *b = new QToolButton;
    b->setObjectName(name);
    b->setToolTip(hint);
    b->setIcon(QIcon(QStringLiteral(":/icons/") + icon + QStringLiteral(".png")));
    b->setIconSize(QSize(16, 16));
    b->setAutoRaise(true);
    b->setFixedSize(25, 23);
    return b;
}

void TfmKaMain::NavigationButtons(const QString &page, Table &view, QToolButton *&first, QToolButton *&prior,
                                  QToolButton *&next, QToolButton *&last)
{
    const QString prefix = QStringLiteral("btn") + page;
    first = ToolButton(prefix + QStringLiteral("First"), QStringLiteral("First"), QStringLiteral("first"));
    prior = ToolButton(prefix + QStringLiteral("Prior"), QStringLiteral("Prior"), QStringLiteral("prior"));
    next = ToolButton(prefix + QStringLiteral("Next"), QStringLiteral("Next"), QStringLiteral("next"));
    last = ToolButton(prefix + QStringLiteral("Last"), QStringLiteral("Last"), QStringLiteral("last"));
    connect(first, &QToolButton::clicked, this, [&view] { RunCommand([&view] { view.first(); }); });
    connect(prior, &QToolButton::clicked, this, [&view] { RunCommand([&view] { view.prior(); }); });
    connect(next, &QToolButton::clicked, this, [&view] { RunCommand([&view] { view.next(); }); });
    connect(last, &QToolButton::clicked, this, [&view] { RunCommand([&view] { view.last(); }); });
}

void TfmKaMain::BuildFrame()
{
    setWindowTitle(KaVar::AppTitle());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    const QFont font = WindowFont();
    setFont(font);
    setFixedSize(760, 496);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(760 / 2, 496 / 2));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    pnMenu = new QFrame(this);
    pnMenu->setObjectName(QStringLiteral("pnMenu"));
    pnMenu->setFixedWidth(105);
    pnMenu->setFrameShape(QFrame::StyledPanel);
    auto *menu = new QVBoxLayout(pnMenu);
    menu->setContentsMargins(5, 5, 5, 5);
    menu->setSpacing(6);
    btnMenuMain = new QToolButton(pnMenu);
    btnMenuMain->setObjectName(QStringLiteral("btnMenuMain"));
    btnMenuMain->setText(QStringLiteral("Menu"));
    QFont bold = font;
    bold.setBold(true);
    btnMenuMain->setFont(bold);
    btnMenuMain->setAutoRaise(true);
    btnMenuMain->setFixedSize(95, 24);
    btnMenuCalendar =
        NavButton(QStringLiteral("btnMenuCalendar"), QStringLiteral("Calendar"), QStringLiteral("nav_calendar"), 0);
    btnMenuList = NavButton(QStringLiteral("btnMenuList"), QStringLiteral("List"), QStringLiteral("nav_list"), 1);
    btnMenuTrash =
        NavButton(QStringLiteral("btnMenuTrash"), QStringLiteral("Trash"), QStringLiteral("nav_trash_empty"), 2);
    btnMenuOptions =
        NavButton(QStringLiteral("btnMenuOptions"), QStringLiteral("Options"), QStringLiteral("nav_options"), 4);
    btnMenuTrashFull =
        NavButton(QStringLiteral("btnMenuTrashFull"), QStringLiteral("Trash"), QStringLiteral("nav_trash_full"), 2);
    btnMenuTrashEmpty =
        NavButton(QStringLiteral("btnMenuTrashEmpty"), QStringLiteral("Trash"), QStringLiteral("nav_trash_empty"), 2);
    btnMenuTrashFull->hide();
    btnMenuTrashEmpty->hide();
    menu->addWidget(btnMenuMain);
    for (QToolButton *b : {btnMenuCalendar, btnMenuList, btnMenuTrash, btnMenuOptions}) {
        menu->addWidget(b);
        connect(b, &QToolButton::clicked, this, [this, b] { RunCommand([this, b] { btnMenuClick(b); }); });
    }
    menu->addStretch();
    connect(btnMenuMain, &QToolButton::clicked, this, [this] { RunCommand([this] { btnMenuMainClick(); }); });
    layout->addWidget(pnMenu);

    Notebook = new QStackedWidget(this);
    Notebook->setObjectName(QStringLiteral("Notebook"));
    Notebook->addWidget(BuildCalendarPage()); // 0
    Notebook->addWidget(BuildListPage());     // 1
    Notebook->addWidget(BuildTrashPage());    // 2
    auto *unused = new QWidget;               // 3: no page of its own
    unused->setObjectName(QStringLiteral("pgUnused"));
    Notebook->addWidget(unused);
    Notebook->addWidget(BuildOptionsPage()); // 4
    layout->addWidget(Notebook, 1);
    BindPageGrids();
}

// ---------------------------------------------------------------------------
// Creation and the window's life

void TfmKaMain::FormCreate()
{
    // 1. Caption, tray hint, the import and export dialogs' folder.
    setWindowTitle(KaVar::AppTitle());
    SysTray->setToolTip(KaVar::AppTitle());
    FileDialogFolder = KaVar::UserDataDir();
    // 2. The language lists.
    ApplyLanguageLists();
    // 3. The autostart box: ticked when the entry starts exactly this program.
    cbxOptionsAutoStart->setChecked(AutoStartIsSet());
    // 4. The stored settings, and the login option they hold.
    dlgLogin->StorageName = QStringLiteral("KA2");
    RestoreSettings();
    cbxOptionsUseLoginClick();
    // 5. The page button to show: the last one whose down state is set.
    QToolButton *noted = nullptr;
    for (QToolButton *b : {btnMenuCalendar, btnMenuList, btnMenuTrash, btnMenuOptions}) {
        if (b->property("DownButton").toBool())
            noted = b;
    }
    // 6. Stop sound, save the settings, re-apply the active state.
    FormHide();
    // 7. The planner on today, the calendar page in front.
    SelectToday();
    // 8. Without a sound output, the beep; the old trash alarms go.
    CheckSoundDevice();
    PurgeOldAlarms();
    // 9. The page noted in step 5.
    if (noted && noted != btnMenuCalendar) {
        try {
            btnMenuClick(noted);
        } catch (const Exception &) {
        }
    }
}

void TfmKaMain::FormShow()
{
    SetTrayIcon(TrayInactiveImage);
    m_alarms->RefreshSource(m_alarms->dsTrash);
    RunCommand([this] { btnMenuClick(nullptr); });
    raise();
    activateWindow();
    m_alarms->RefreshCurrentView();
}

void TfmKaMain::FormHide()
{
    if (TPlayer *player = KaVar::Player())
        player->Stop();
    SaveSettings();
    miActiveOrInactiveClick(cbxOptionsEnabled->isChecked() ? miActive : miInactive);
}

void TfmKaMain::FormDestroy()
{
    // The check timer's thread ends first: it reads this window.
    Timer->stop();
    m_trayAnimation.stop();
    // Also at the end of a session, where the window is never hidden: an
    // option changed on the open options page is kept.
    if (TPlayer *player = KaVar::Player())
        player->Stop();
    SaveSettings();
}

bool TfmKaMain::FormCloseQuery()
{
    if (Editing())
        return false;
    try {
        btnMenuClick(nullptr);
    } catch (const EAbort &) {
        return false;
    } catch (const Exception &e) {
        ShowExceptionMessage(e.message());
        return false;
    }
    return true;
}

void TfmKaMain::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_shown = ShownToUser();
    if (!event->spontaneous())
        FormShow();
}

void TfmKaMain::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_shown = ShownToUser();
    if (!event->spontaneous())
        FormHide();
}

void TfmKaMain::closeEvent(QCloseEvent *event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    // FormClose: unless Shutdown runs, closing only hides the window; without
    // a tray to open it again, it minimises it.
    if (!Closing) {
        event->ignore();
        if (m_withoutTray)
            showMinimized();
        else
            hide();
        return;
    }
    event->accept();
    QCoreApplication::exit(0);
}

void TfmKaMain::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    m_shown = ShownToUser();
    // Without a tray, minimising is what hiding is with one: the settings
    // are saved, the state applies again and the check runs; restoring is
    // showing.
    const bool wasMinimized = static_cast<QWindowStateChangeEvent *>(event)->oldState().testFlag(Qt::WindowMinimized);
    if (!m_withoutTray || !isVisible() || wasMinimized == isMinimized())
        return;
    if (isMinimized())
        FormHide();
    else
        FormShow();
}

bool TfmKaMain::ShownToUser() const
{
    return isVisible() && !(m_withoutTray && isMinimized());
}

void TfmKaMain::SetWithoutTray(bool on)
{
    if (m_withoutTray == on)
        return;
    m_withoutTray = on;
    if (!on && isVisible() && isMinimized()) {
        // The tray's icon opens the window from now on: a minimised window
        // is hidden, and comes back as an ordinary one.
        hide();
        setWindowState(windowState() & ~Qt::WindowMinimized);
    }
    // Without a tray the window can be minimised (window managers refuse to
    // minimise a window that does not offer it); a new frame hides the
    // window, so a shown one shows again.
    const bool shown = isVisible();
    setWindowFlag(Qt::WindowMinimizeButtonHint, on);
    if (shown && !isVisible())
        show();
    m_shown = ShownToUser();
}

void TfmKaMain::ShowInFront()
{
    if (isMinimized())
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

// ---------------------------------------------------------------------------
// Navigation

int TfmKaMain::CurrentPageTag() const
{
    return m_currentPageButton ? m_currentPageButton->property("tag").toInt() : -1;
}

bool TfmKaMain::Editing() const
{
    const DataSetState state = m_alarms->cdsAlarms.state();
    return state == DataSetState::Edit || state == DataSetState::Insert;
}

void TfmKaMain::CheckLeaveOptions()
{
    if (rbOptionsWave->isChecked() && !QFileInfo(edtOptionsWave->text()).isFile())
        throw Exception(Tr(QStringLiteral("You must enter a valid Wave file !"),
                           QStringLiteral("Vous devez entrer un fichier son existant !")));
    if (cbxOptionsUseLogin->isChecked() && edtOptionsUser->text().isEmpty() && edtOptionsPwd->text().isEmpty())
        throw Exception(Tr(QStringLiteral("You must enter a complete Login !"),
                           QStringLiteral("Vous devez entrer un login complet !")));
}

void TfmKaMain::btnMenuClick(QToolButton *sender)
{
    std::exception_ptr failure;
    bool stopped = false;
    {
        // The master's display waits until the page is set and refreshed,
        // whatever way this block is left.
        const DisplaySuspension quiet(m_alarms->cdsAlarms);
        try {
            // Leaving the options page: check them, then stop sound and save.
            if (sender != btnMenuOptions && CurrentPageTag() == 4) {
                CheckLeaveOptions();
                if (TPlayer *player = KaVar::Player())
                    player->Stop();
                SaveSettings();
            }
            // No switch away from an alarm being edited.
            if (CurrentPageTag() == 1 && Editing()) {
                stopped = true;
            } else if (sender) {
                m_currentPageButton = sender;
                Notebook->setProperty("tag", QVariant::fromValue<QObject *>(sender));
                Notebook->setCurrentIndex(sender->property("tag").toInt());
                // The table of the list and trash pages takes the keys, so
                // the page is used from the keyboard at once.
                if (sender == btnMenuList)
                    grdList->setFocus();
                else if (sender == btnMenuTrash)
                    grdTrash->setFocus();
            }
        } catch (...) {
            failure = std::current_exception();
        }
        // Exactly one page button is down: the one of the page in front.
        for (QToolButton *b : {btnMenuCalendar, btnMenuList, btnMenuTrash, btnMenuOptions}) {
            b->setChecked(b == m_currentPageButton);
            b->setProperty("DownButton", b == m_currentPageButton);
        }
        try {
            // The calendar's day filter and year marks first, then the view
            // of the page in front, whose current alarm the master follows.
            // Nothing is re-read under an alarm being edited: moving the
            // master would post it.
            if ((!sender || sender == btnMenuCalendar) && !Editing())
                YearPlannerClick();
            m_alarms->RefreshCurrentView();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
        RefreshForm();
    }
    if (failure)
        std::rethrow_exception(failure);
    if (stopped)
        throw EAbort();
}

void TfmKaMain::btnMenuMainClick()
{
    SaveSettings();
    m_menuFromButton = true;
    ppmTray->popup(btnMenuMain->mapToGlobal(QPoint(0, btnMenuMain->height())));
}

void TfmKaMain::ShowAndSwitch(QToolButton *page)
{
    ShowInFront();
    btnMenuClick(page);
}

// ---------------------------------------------------------------------------
// State routine

void TfmKaMain::RefreshForm()
{
    // Nothing to show while a long command or the check runs. The tray icon
    // is deaf meanwhile: its handlers look at both flags themselves, so it
    // answers again as soon as they clear, refreshed or not.
    if (Busy || Checking)
        return;
    try {
        const bool editing = Editing();
        const auto count = [](const Table &t) -> QString {
            return QString::number(t.active() ? t.recordCount() : 0) +
                   Tr(QStringLiteral(" Alarms  "), QStringLiteral(" Alarmes  "));
        };
        const Table &trash = m_alarms->cdsTrash;
        const Table &calendar = m_alarms->cdsCalendar;
        const Table &list = m_alarms->cdsList;

        pnTrashCount->setText(count(trash));
        const bool trashBrowse =
            !trash.isEmpty() && trash.state() != DataSetState::Edit && trash.state() != DataSetState::Insert;
        btnTrashFirst->setEnabled(trashBrowse && !trash.bof());
        btnTrashPrior->setEnabled(trashBrowse && !trash.bof());
        btnTrashNext->setEnabled(trashBrowse && !trash.eof());
        btnTrashLast->setEnabled(trashBrowse && !trash.eof());
        for (QToolButton *b : {btnTrashErase, btnTrashEraseAll, btnTrashRecover, btnTrashRecoverAll})
            b->setEnabled(!trash.isEmpty());
        btnMenuTrash->setIcon(trash.isEmpty() ? btnMenuTrashEmpty->icon() : btnMenuTrashFull->icon());
        btnMenuTrash->update();

        pnCalendarCount->setText(count(calendar));
        btnCalendarFirst->setEnabled(!editing && !calendar.isEmpty() && !calendar.bof());
        btnCalendarPrior->setEnabled(!editing && !calendar.isEmpty() && !calendar.bof());
        btnCalendarNext->setEnabled(!editing && !calendar.isEmpty() && !calendar.eof());
        btnCalendarLast->setEnabled(!editing && !calendar.isEmpty() && !calendar.eof());
        for (QToolButton *b : {btnCalendarDel, btnCalendarEdit, btnCalendarCopy})
            b->setEnabled(!editing && !calendar.isEmpty());

        pnListCount->setText(count(list));
        m_trayResponds = !editing && !Busy && !Checking;
        for (QToolButton *b : {btnMenuMain, btnMenuList, btnMenuTrash, btnMenuOptions, btnMenuCalendar})
            b->setEnabled(!editing);
        btnListFirst->setEnabled(!list.isEmpty() && !editing && !list.bof());
        btnListPrior->setEnabled(!list.isEmpty() && !editing && !list.bof());
        btnListNext->setEnabled(!list.isEmpty() && !editing && !list.eof());
        btnListLast->setEnabled(!list.isEmpty() && !editing && !list.eof());
        for (QToolButton *b : {btnListDel, btnListEdit, btnListCopy})
            b->setEnabled(!editing && !list.isEmpty());
        btnListAdd->setEnabled(!editing);
        grdList->setEnabled(!editing);
        btnListPost->setEnabled(editing);
        btnListCancel->setEnabled(editing);
        const QList<QWidget *> editorControls = {edtEditDate,      edtEditTime,     cbEditPeriodicity,   edtEditApp,
                                                 edtEditAppButton, edtEditTitle,    cbxEditAlarmEnabled, cbxEditSound,
                                                 cbxEditAppSilent, rgpEditPriority, moEditMemo};
        for (QWidget *w : editorControls)
            w->setEnabled(editing);
        const bool endDate = editing && cbEditPeriodicity->currentIndex() > 0;
        const QList<QWidget *> endControls = {edtEditDateEnd, edtEditTimeEnd, edtEditDateEndUsed};
        for (QWidget *w : endControls)
            w->setEnabled(endDate);

        // The editor shows the master's record, or nothing when the list is
        // empty and nothing is being edited.
        const bool bound = !(list.isEmpty() && !editing);
        if (bound && !editing)
            LoadEditor();
        else if (!bound && m_editorBound)
            ClearEditor();
        m_editorBound = bound;
    } catch (const std::exception &e) {
        // The controls keep their previous states; the failure is only logged.
        qWarning("RefreshForm: %s", e.what());
    } catch (...) {
        qWarning("RefreshForm: unknown failure");
    }
}

bool TfmKaMain::AlarmBoxVisible() const
{
    return m_alarmBox && m_alarmBox->isVisible();
}

// ---------------------------------------------------------------------------
// Log-off query and Shutdown

void TfmKaMain::BringToFront()
{
    // A hidden window cannot come to the front; the program's shown windows
    // do, the alarm box last so that it ends above the main window.
    for (QWidget *w : {static_cast<QWidget *>(this), m_alarmBox.data()}) {
        if (w && w->isVisible()) {
            w->raise();
            w->activateWindow();
        }
    }
}

bool TfmKaMain::WMQueryEndSession(const std::function<bool()> &allowsInteraction)
{
    if (AlarmBoxVisible()) {
        // The session decides whether the program may show anything now.
        if (!allowsInteraction || allowsInteraction()) {
            BringToFront();
            ShowMessageDialog(Tr(QStringLiteral("Close alarm box !"), QStringLiteral("Fermer la boite d'alarme !")),
                              mtError, mbOK);
        }
        return false;
    }
    close();
    return true;
}

void TfmKaMain::miExitClick()
{
    BringToFront();
    btnMenuClick(nullptr);
    if (Editing())
        throw Exception(Tr(QStringLiteral("You must finish current alarm edition !"),
                           QStringLiteral("Terminez la saisie en cours !")));
    if (ShowMessageDialog(Tr(QStringLiteral("Do you want to close "), QStringLiteral("Voulez-vous fermer ")) +
                              KaVar::AppTitle(),
                          mtConfirmation, mbYes | mbNo) != mrYes)
        return;
    if (AlarmBoxVisible())
        throw Exception(Tr(QStringLiteral("Close alarm box !"), QStringLiteral("Fermer la boite d'alarme !")));
    Timer->setEnabled(false);
    Busy = true;
    Closing = true;
    hide();
    // The last check, for the alarms set to fire on exit (when active).
    if (miActive->isChecked()) {
        Checking = true;
        m_trayResponds = false;
        try {
            m_alarms->CheckExitAlarms();
        } catch (...) {
        }
        Checking = false;
    }
    SysTray->hide();
    close();
}
