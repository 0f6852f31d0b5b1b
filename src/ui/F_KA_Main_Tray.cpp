// The tray icon of the main window, its menu with the drawn margin strip, and
// the menu's commands.
#include "ui/F_KA_Main.h"

#include "app/F_KA_About.h"
#include "app/F_KA_Updater.h"
#include "base/U_KA_Var.h"
#include "engine/F_KA_Reminder.h"
#include "diag/U_ZEL_Utilities.h"
#include "store/D_KA_Alarms.h"
#include "diag/U_ZEL_System.h"
#include "ui/ThreadTimer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QPainter>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QToolButton>

namespace {

QIcon Picture(const QString &name)
{
    return QIcon(QStringLiteral(":/icons/") + name + QStringLiteral(".png"));
}

} // namespace

void TfmKaMain::BuildTray()
{
    // imlTray: the menu's pictures, then 17 (active) and 18 (inactive).
    const QStringList pictures = {QStringLiteral("new_alarm"), QStringLiteral("calendar"), QStringLiteral("list"),
                                  QStringLiteral("trash"),     QStringLiteral("options"),  QStringLiteral("manage"),
                                  QStringLiteral("reminder"),  QStringLiteral("print"),    QStringLiteral("import"),
                                  QStringLiteral("export"),    QStringLiteral("state"),    QStringLiteral("support"),
                                  QStringLiteral("help"),      QStringLiteral("document"), QStringLiteral("web"),
                                  QStringLiteral("mail"),      QStringLiteral("update")};
    for (const QString &name : pictures)
        imlTray << Picture(name);
    QIcon active(QStringLiteral(":/icons/tray_active.png"));
    active.addFile(QStringLiteral(":/icons/tray_active@2x.png"));
    QIcon inactive(QStringLiteral(":/icons/tray_inactive.png"));
    inactive.addFile(QStringLiteral(":/icons/tray_inactive@2x.png"));
    imlTray << active << inactive;
    // Every window of the program carries its icon (dialogs, message boxes).
    QApplication::setWindowIcon(active);
    setWindowIcon(active);

    ppmTray = new TTrayMenu(this);
    ppmTray->setObjectName(QStringLiteral("ppmTray"));
    ppmTray->onDrawMargin = [this](QPainter &p, const QRect &strip) { ppmTrayDrawMargin(p, strip); };
    const auto item = [](QMenu *menu, const QString &name, const QString &caption, const QString &picture) {
        QAction *a = menu->addAction(Picture(picture), caption);
        a->setObjectName(name);
        return a;
    };
    miNew = item(ppmTray, QStringLiteral("miNew"), QStringLiteral("New alarm"), QStringLiteral("new_alarm"));
    ppmTray->addSeparator();
    miCal = item(ppmTray, QStringLiteral("miCal"), QStringLiteral("Calendar"), QStringLiteral("calendar"));
    miList = item(ppmTray, QStringLiteral("miList"), QStringLiteral("List"), QStringLiteral("list"));
    miTrash = item(ppmTray, QStringLiteral("miTrash"), QStringLiteral("Trash"), QStringLiteral("trash"));
    miOptions = item(ppmTray, QStringLiteral("miOptions"), QStringLiteral("Options"), QStringLiteral("options"));
    ppmTray->addSeparator();

    auto *manage = new QMenu(QStringLiteral("Manage"), ppmTray);
    manage->setObjectName(QStringLiteral("ppmManage"));
    miManage = ppmTray->addMenu(manage);
    miManage->setObjectName(QStringLiteral("miManage"));
    miManage->setIcon(Picture(QStringLiteral("manage")));
    miShowRemender =
        item(manage, QStringLiteral("miShowRemender"), QStringLiteral("Show Reminder"), QStringLiteral("reminder"));
    miPrint = item(manage, QStringLiteral("miPrint"), QStringLiteral("Print alarms"), QStringLiteral("print"));
    manage->addSeparator();
    miImport = item(manage, QStringLiteral("miImport"), QStringLiteral("Import..."), QStringLiteral("import"));
    miExport = item(manage, QStringLiteral("miExport"), QStringLiteral("Export..."), QStringLiteral("export"));

    auto *state = new QMenu(QStringLiteral("State"), ppmTray);
    state->setObjectName(QStringLiteral("ppmState"));
    miState = ppmTray->addMenu(state);
    miState->setObjectName(QStringLiteral("miState"));
    miState->setIcon(Picture(QStringLiteral("state")));
    miActive = item(state, QStringLiteral("miActive"), QStringLiteral("Active"), QStringLiteral("active"));
    miInactive = item(state, QStringLiteral("miInactive"), QStringLiteral("Inactive"), QStringLiteral("inactive"));
    miActive->setCheckable(true);
    miInactive->setCheckable(true);
    miActive->setChecked(true);
    ppmTray->addSeparator();

    auto *support = new QMenu(QStringLiteral("Support"), ppmTray);
    support->setObjectName(QStringLiteral("ppmSupport"));
    miSupport = ppmTray->addMenu(support);
    miSupport->setObjectName(QStringLiteral("miSupport"));
    miSupport->setIcon(Picture(QStringLiteral("support")));
    miHelp = item(support, QStringLiteral("miHelp"), QStringLiteral("Help"), QStringLiteral("help"));
    support->addSeparator();
    miLicenseFile =
        item(support, QStringLiteral("miLicenseFile"), QStringLiteral("License File"), QStringLiteral("document"));
    miReadmeFile =
        item(support, QStringLiteral("miReadmeFile"), QStringLiteral("Readme File"), QStringLiteral("document"));
    support->addSeparator();
    miWebSite = item(support, QStringLiteral("miWebSite"), QStringLiteral("Web Site"), QStringLiteral("web"));
    miSendMail = item(support, QStringLiteral("miSendMail"), QStringLiteral("Send Mail"), QStringLiteral("mail"));
    support->addSeparator();
    miCheckUpdate =
        item(support, QStringLiteral("miCheckUpdate"), QStringLiteral("Check Update"), QStringLiteral("update"));
    miAbout = item(ppmTray, QStringLiteral("miAbout"), QStringLiteral("About..."), QStringLiteral("about"));
    ppmTray->addSeparator();
    miExit = item(ppmTray, QStringLiteral("miExit"), QStringLiteral("Shutdown"), QStringLiteral("exit"));

    // Commands whose windows and engines come with later parts of the
    // program stay disabled until then.
    for (QAction *a : {miPrint, miImport, miExport})
        a->setEnabled(false);

    const auto on = [this](QAction *a, std::function<void()> command) {
        connect(a, &QAction::triggered, this, [command = std::move(command)] { RunCommand(command); });
    };
    on(miNew, [this] {
        ShowAndSwitch(btnMenuList);
        btnListAddClick(miNew);
    });
    on(miCal, [this] { ShowAndSwitch(btnMenuCalendar); });
    on(miList, [this] { ShowAndSwitch(btnMenuList); });
    on(miTrash, [this] { ShowAndSwitch(btnMenuTrash); });
    on(miOptions, [this] { ShowAndSwitch(btnMenuOptions); });
    on(miActive, [this] { miActiveOrInactiveClick(miActive); });
    on(miInactive, [this] { miActiveOrInactiveClick(miInactive); });
    on(miHelp, [] { ExecuteFile(KaVar::HelpFile(), 0, QString(), SW_SHOW, QString()); });
    on(miLicenseFile, [] { ExecuteFile(KaVar::LicenseFile(), 0, QString(), SW_SHOW, QString()); });
    on(miReadmeFile, [] { ExecuteFile(KaVar::ReadmeFile(), 0, QString(), SW_SHOW, QString()); });
    on(miWebSite, [] { OpenWebSite(); });
    on(miSendMail, [] { SendMail(QString(), QString()); });
    // miCheckUpdateClick: the check from the menu keeps its window open.
    on(miCheckUpdate, [] { CheckWebUpdate(false); });
    on(miShowRemender, [this] { miShowRemenderClick(); });
    on(miAbout, [this] { miAboutClick(); });
    on(miExit, [this] { miExitClick(); });
    connect(ppmTray, &QMenu::aboutToShow, this, [this] {
        ppmTrayPopup(!m_menuFromButton);
        m_menuFromButton = false;
    });

    SysTray = new QSystemTrayIcon(imlTray[TrayInactiveImage], this);
    SysTray->setObjectName(QStringLiteral("SysTray"));
    SysTray->setToolTip(KaVar::AppTitle());
    // A click waits for the double-click interval: a double click then gives
    // one toggle, not a toggle back and forth.
    m_clickTimer.setSingleShot(true);
    connect(&m_clickTimer, &QTimer::timeout, this, [this] { SysTrayClick(); });
    connect(SysTray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (!TrayResponds())
            return;
        switch (reason) {
        case QSystemTrayIcon::Trigger:
            m_clickTimer.start(QApplication::doubleClickInterval());
            break;
        case QSystemTrayIcon::DoubleClick:
            SysTrayDblClick();
            break;
        case QSystemTrayIcon::Context:
            m_menuFromButton = false;
            ppmTray->popup(QCursor::pos());
            break;
        default:
            break;
        }
    });
}

void TfmKaMain::SetTrayIcon(int image)
{
    SysTray->setIcon(imlTray.value(image));
}

void TfmKaMain::SysTrayClick()
{
    if (!TrayResponds())
        return;
    if (isVisible()) {
        hide();
    } else {
        show();
        raise();
        activateWindow();
    }
}

void TfmKaMain::SysTrayDblClick()
{
    // The click that began the double click has not toggled yet: one toggle.
    m_clickTimer.stop();
    SysTrayClick();
}

void TfmKaMain::ppmTrayPopup(bool fromTray)
{
    // Without a tray the menu opens only from the shown window: the state
    // stays reachable there.
    miState->setEnabled(!isVisible() || m_withoutTray);
    ppmTray->setMarginWidth(fromTray ? 24 : 0);
}

void TfmKaMain::ppmTrayDrawMargin(QPainter &painter, const QRect &strip)
{
    painter.save();
    painter.setClipRect(strip);
    // 32 bands from olive (128, 128, 0) to a quarter of it (32, 32, 0).
    const int fillWidth = strip.width() - 3;
    const QColor from(128, 128, 0);
    const QColor to(from.red() >> 2, from.green() >> 2, from.blue() >> 2);
    for (int band = 0; band < 32; ++band) {
        const int top = strip.top() + strip.height() * band / 32;
        const int bottom = strip.top() + strip.height() * (band + 1) / 32;
        const QColor c(from.red() + (to.red() - from.red()) * band / 31,
                       from.green() + (to.green() - from.green()) * band / 31,
                       from.blue() + (to.blue() - from.blue()) * band / 31);
        painter.fillRect(QRect(strip.left(), top, fillWidth, bottom - top), c);
    }
    const QPalette pal = QApplication::palette();
    painter.setPen(pal.color(QPalette::Dark));
    painter.drawLine(strip.right() - 1, strip.top(), strip.right() - 1, strip.bottom());
    painter.setPen(pal.color(QPalette::Light));
    painter.drawLine(strip.right(), strip.top(), strip.right(), strip.bottom());

    // The name, bottom to top, 5 pixels above the bottom.
    QFont font(QStringLiteral("Courier New"), 12);
    font.setStyleHint(QFont::TypeWriter);
    font.setBold(true);
    font.setItalic(true);
    painter.setFont(font);
    painter.setPen(Qt::yellow);
    painter.translate(strip.left(), strip.bottom() - 5);
    painter.rotate(-90);
    painter.drawText(QRect(0, 0, strip.height(), strip.width()), Qt::AlignLeft | Qt::AlignVCenter, KaVar::AppTitle());
    painter.restore();
}

void TfmKaMain::miActiveOrInactiveClick(QAction *sender)
{
    if (sender) {
        miActive->setChecked(sender == miActive);
        miInactive->setChecked(sender == miInactive);
        cbxOptionsEnabled->setChecked(miActive->isChecked());
    }
    SetTrayIcon(miActive->isChecked() ? TrayActiveImage : TrayInactiveImage);
    // Once the program runs, the state switches the check timer too (not
    // while the window is being created, nor once Shutdown began).
    const TZELApplication *app = ZELApplication();
    if (app && app->AppPhase != apInitializing && !Closing)
        Timer->setEnabled(miActive->isChecked());
    SaveSettings();
}

void TfmKaMain::miShowRemenderClick()
{
    // Whatever the number of days, even 0 (today and the overdue alarms).
    if (fmKaReminder)
        fmKaReminder->ShowReminder();
}

void TfmKaMain::miAboutClick()
{
    if (!fmKaAbout)
        return;
    if (!fmKaAbout->isVisible())
        fmKaAbout->show();
    fmKaAbout->raise();
    fmKaAbout->activateWindow();
}
