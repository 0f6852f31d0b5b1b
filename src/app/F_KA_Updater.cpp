#include "app/F_KA_Updater.h"

#include "base/MessageForm.h"
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_Utilities.h"
#include "diag/ZelDateTime.h"
#include "diag/ZelException.h"
#include "ui/Widgets.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QThread>
#include <QToolButton>

namespace {

QPointer<TfmKAUpdater> g_updater;
int g_stepPause = 50;

// The site's address and a fixed path, with one slash between them.
QString SitePath(const char *path)
{
    QString site = KaVar::SiteAddress();
    if (site.isEmpty())
        return {};
    while (site.endsWith(QLatin1Char('/')))
        site.chop(1);
    return site + QLatin1String(path);
}

void Pause()
{
    if (g_stepPause > 0)
        QThread::msleep(static_cast<unsigned long>(g_stepPause));
}

// The picture of the left column: a shaded strip with the update sign.
QPixmap SidePicture(const QSize &size)
{
    QPixmap picture(size);
    QPainter p(&picture);
    QLinearGradient shade(0, 0, 0, size.height());
    shade.setColorAt(0, QColor(0x55, 0x6b, 0x2f));
    shade.setColorAt(1, QColor(0xee, 0xf0, 0xe0));
    p.fillRect(picture.rect(), shade);
    const QPixmap sign = QIcon(QStringLiteral(":/icons/update.png")).pixmap(16, 16);
    const int side = size.width() / 2;
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawPixmap(QRect((size.width() - side) / 2, size.height() / 3 - side / 2, side, side), sign);
    return picture;
}

QLabel *Label(QWidget *parent, const char *name, const QRect &geometry, bool bold = false)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setTextFormat(Qt::PlainText);
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

QFrame *Panel(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *panel = new QFrame(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setGeometry(geometry);
    return panel;
}

} // namespace

namespace updater {

QString UpdateAddress()
{
    return SitePath("/soft_update.php?referer=AlmarikSH_Update&prodver=2");
}

QString HistoryAddress()
{
    return SitePath("/soft_history.php?prodver=2");
}

QString DownloadAddress()
{
    return SitePath("/soft_download.php?referer=AlmarikSH_Download&prodver=2");
}

QString FilterReply(const QString &reply)
{
    QString kept;
    for (const QChar c : reply) {
        if (c == QLatin1Char('.') || c == QLatin1Char('/') || c == QLatin1Char('@') ||
            (c >= QLatin1Char('0') && c <= QLatin1Char('9')))
            kept += c;
    }
    return kept;
}

UpdateInfo ParseUpdateReply(const QString &filtered)
{
    const qsizetype marker = filtered.indexOf(QStringLiteral("@@"));
    UpdateInfo info;
    if (marker < 0) {
        info.version = filtered.mid(1, 5);
        info.date = filtered.left(10);
        return info;
    }
    info.version = filtered.mid(marker + 2, 5);
    info.date = marker >= 10 ? filtered.mid(marker - 10, 10) : filtered.left(10);
    return info;
}

QString HistoryFileAddress(const QString &reply)
{
    const qsizetype first = reply.indexOf(QStringLiteral("@@"));
    const QString rest = first < 0 ? reply.mid(1) : reply.mid(first + 2);
    const qsizetype next = rest.indexOf(QStringLiteral("@@"));
    return next < 0 ? QString() : rest.left(next);
}

bool IsNewer(const QString &dateText)
{
    bool dayOk = false;
    bool monthOk = false;
    bool yearOk = false;
    const int day = dateText.mid(0, 2).toInt(&dayOk, 10);
    const int month = dateText.mid(3, 2).toInt(&monthOk, 10);
    const QString yearText = dateText.mid(6, 4);
    int year = yearText.toInt(&yearOk, 10);
    if (yearText == QLatin1String("4002"))
        year = 2002;
    if (!dayOk || !monthOk || !yearOk)
        return false;
    const QDate date(year, month, day);
    return date.isValid() && date > zel::ToQDate(KaVar::BuildDate());
}

} // namespace updater

TfmKAUpdater *fmKAUpdater()
{
    return g_updater.data();
}

void SetUpdaterStepPause(int milliseconds)
{
    g_stepPause = milliseconds < 0 ? 50 : milliseconds;
}

bool WebUpdateSiteSet()
{
    return !KaVar::SiteAddress().isEmpty();
}

TfmKAUpdater::TfmKAUpdater(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("fmKAUpdater"));
    // A dialog without border icons (no close box).
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(WindowFont());
    setFixedSize(383, 269);

    Image1 = Label(this, "Image1", QRect(0, 0, 124, 269));
    Image1->setPixmap(SidePicture(Image1->size()));
    Image1->setScaledContents(true);

    // The head: title, current step, progress.
    lbTitle = Label(this, "lbTitle", QRect(132, 8, 243, 16), true);
    lbStep = Label(this, "lbStep", QRect(132, 28, 243, 14));
    pgbr = new QProgressBar(this);
    pgbr->setObjectName(QStringLiteral("pgbr"));
    pgbr->setGeometry(132, 46, 243, 14);
    pgbr->setRange(0, 3);
    pgbr->setValue(0);
    pgbr->setTextVisible(false);

    // The result area, with the new version's panel over it.
    pnResult = Panel(this, "pnResult", QRect(128, 66, 251, 164));
    pnResult->setFrameShape(QFrame::StyledPanel);
    pnResult->setFrameShadow(QFrame::Sunken);
    lbResult = Label(pnResult, "lbResult", QRect(8, 8, 235, 148), true);
    lbResult->setWordWrap(true);
    lbResult->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pnInfos = Panel(pnResult, "pnInfos", QRect(2, 2, 247, 160));
    pnInfos->setAutoFillBackground(true);
    pnInfos->hide();
    lbInfosVer = Label(pnInfos, "lbInfosVer", QRect(8, 6, 231, 16), true);
    lbActualVer = Label(pnInfos, "lbActualVer", QRect(8, 28, 150, 14));
    lbVer1 = Label(pnInfos, "lbVer1", QRect(160, 28, 79, 14));
    lbVer1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lbNewVer = Label(pnInfos, "lbNewVer", QRect(8, 46, 150, 14));
    lbVer2 = Label(pnInfos, "lbVer2", QRect(160, 46, 79, 14));
    lbVer2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lbAction = Label(pnInfos, "lbAction", QRect(8, 70, 231, 16), true);
    rbUpdate = new QRadioButton(pnInfos);
    rbUpdate->setObjectName(QStringLiteral("rbUpdate"));
    rbUpdate->setGeometry(16, 90, 100, 18);
    rbUpdate->setChecked(true);
    rbNoUpdate = new QRadioButton(pnInfos);
    rbNoUpdate->setObjectName(QStringLiteral("rbNoUpdate"));
    rbNoUpdate->setGeometry(124, 90, 100, 18);
    btnHisto = new QToolButton(pnInfos);
    btnHisto->setObjectName(QStringLiteral("btnHisto"));
    btnHisto->setGeometry(8, 128, 110, 24);
    btnHisto->setAutoRaise(true);
    btnHisto->setIcon(QIcon(QStringLiteral(":/icons/help.png")));
    btnHisto->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

    // The bottom: OK, hidden until the check has ended.
    pnButton = Panel(this, "pnButton", QRect(124, 234, 259, 35));
    btnOk = new QPushButton(QStringLiteral("OK"), pnButton);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setGeometry(176, 4, 75, 25);
    btnOk->setDefault(true);
    btnOk->hide();

    connect(btnOk, &QPushButton::clicked, this, [this] { RunCommand([this] { btnOkClick(); }); });
    connect(btnHisto, &QToolButton::clicked, this, [this] { RunCommand([this] { btnHistoClick(); }); });
    g_updater = this;
}

TfmKAUpdater::~TfmKAUpdater()
{
    if (g_updater == this)
        g_updater = nullptr;
}

void TfmKAUpdater::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfmKAUpdater::closeEvent(QCloseEvent *event)
{
    // FormClose: the window is freed (WA_DeleteOnClose).
    event->accept();
}

void TfmKAUpdater::FormShow()
{
    using KaVar::Tr;
    lbTitle->setText(Tr(QStringLiteral("Check update"), QStringLiteral("Vérification mise à jour")));
    lbInfosVer->setText(
        Tr(QStringLiteral("New version is available"), QStringLiteral("Une nouvelle version est disponible")));
    lbActualVer->setText(Tr(QStringLiteral("Installed version :"), QStringLiteral("Version installée :")));
    lbNewVer->setText(Tr(QStringLiteral("New version :"), QStringLiteral("Nouvelle version :")));
    lbAction->setText(
        Tr(QStringLiteral("Do you want to update now ?"), QStringLiteral("Voulez-vous mettre à jour maintenant ?")));
    btnHisto->setText(Tr(QStringLiteral("&History"), QStringLiteral("&Historique")));
    rbUpdate->setText(TMessageForm::ButtonCaption(mbYes));
    rbNoUpdate->setText(TMessageForm::ButtonCaption(mbNo));
}

void TfmKAUpdater::ShowStep(const QString &text, bool advance)
{
    if (!text.isEmpty())
        lbStep->setText(text);
    if (advance)
        pgbr->setValue(std::min(pgbr->value() + 1, pgbr->maximum()));
    repaint();
    Pause();
}

bool TfmKAUpdater::RunCheck(bool silent)
{
    using KaVar::Tr;
    try {
        updater::UpdateInfo info;
        try {
            // a. Getting the update information.
            ShowStep(Tr(QStringLiteral("Getting update informations"),
                        QStringLiteral("Récupération des informations de mise à jour")),
                     false);
            // b.
            KaVar::RequiredSiteAddress();
            const QString reply = ReadWebResource(updater::UpdateAddress());
            // c. Analysing it.
            ShowStep(Tr(QStringLiteral("Analyzing informations"), QStringLiteral("Analyse des informations")), true);
            // d, e.
            info = updater::ParseUpdateReply(updater::FilterReply(reply));
            // f, g. The history: when it cannot be read (or names no
            // address), History is only disabled.
            btnHisto->setEnabled(true);
            try {
                HistoryFile = updater::HistoryFileAddress(ReadWebResource(updater::HistoryAddress()));
            } catch (...) {
                HistoryFile.clear();
            }
            btnHisto->setEnabled(!HistoryFile.isEmpty());
            // h.
            ShowStep(QString(), true);
        } catch (...) {
            ShowStep(Tr(QStringLiteral("Finished"), QStringLiteral("Terminé")), true);
            throw;
        }
        // 4.
        ShowStep(Tr(QStringLiteral("Finished"), QStringLiteral("Terminé")), true);
        // 5, 6.
        const bool newer = updater::IsNewer(info.date);
        if (newer) {
            lbVer1->setText(QStringLiteral("2.2.2"));
            lbVer2->setText(info.version);
            pnInfos->show();
        } else {
            lbResult->setText(
                Tr(QStringLiteral("You have the last version"), QStringLiteral("Vous possédez la dernière version")));
            pnInfos->hide();
        }
        // 7.
        if (!newer && silent) {
            delete this;
            return false;
        }
    } catch (const std::exception &e) {
        // 8. The error stays shown, in silent mode too.
        const auto *own = dynamic_cast<const Exception *>(&e);
        lbResult->setText(QStringLiteral("Error : \r\n\r\n") + (own ? own->message() : QString::fromUtf8(e.what())));
        pnInfos->hide();
    }
    btnOk->show();
    btnOk->setFocus();
    return true;
}

void TfmKAUpdater::btnOkClick()
{
    if (!pnInfos->isHidden() && !rbNoUpdate->isChecked())
        ExecuteFile(updater::DownloadAddress(), 1, QString(), SW_SHOW, QString());
    close();
}

void TfmKAUpdater::btnHistoClick()
{
    ExecuteFile(HistoryFile, 1, QString(), SW_SHOW, QString());
}

void CheckWebUpdate(bool silent)
{
    // 1. One window at a time.
    if (TfmKAUpdater *open = fmKAUpdater()) {
        open->show();
        open->raise();
        open->activateWindow();
        return;
    }
    // 2. A window of its own, centred, shown while the check runs.
    auto *window = new TfmKAUpdater;
    window->setWindowTitle(KaVar::AppTitle());
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
    window->show();
    window->repaint();
    window->RunCheck(silent);
}
