#include "app/F_KA_About.h"

#include "base/U_KA_Var.h"
#include "diag/U_ZEL_Utilities.h"
#include "ui/Widgets.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <QThread>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

TfmKaAbout *fmKaAbout = nullptr;

const QColor TfmKaAbout::CopyrightColor(0, 128, 128); // teal
const QColor TfmKaAbout::SiteColor(128, 128, 0);      // olive
const QColor TfmKaAbout::HoverColor(128, 0, 0);       // maroon

namespace {

const QColor Navy(0, 0, 128);

QFrame *Panel(QWidget *parent, const QString &name)
{
    auto *f = new QFrame(parent);
    f->setObjectName(name);
    f->setFrameShape(QFrame::NoFrame);
    return f;
}

QFrame *Line(QWidget *parent, QFrame::Shape shape, QFrame::Shadow shadow)
{
    auto *f = new QFrame(parent);
    f->setFrameShape(shape);
    f->setFrameShadow(shadow);
    return f;
}

QLabel *Text(QWidget *parent, const QString &name, const QFont &font, const QColor &color)
{
    auto *l = new QLabel(parent);
    l->setObjectName(name);
    l->setFont(font);
    l->setTextFormat(Qt::PlainText);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    SetTextColor(l, color);
    return l;
}

// A label that acts as a link: hand cursor and a hint.
QLabel *Link(QWidget *parent, const QString &name, const QFont &font, const QColor &color, const QString &hint)
{
    QLabel *l = Text(parent, name, font, color);
    l->setCursor(Qt::PointingHandCursor);
    l->setToolTip(hint);
    return l;
}

} // namespace

TfmKaAbout::TfmKaAbout(QWidget *parent) : QDialog(parent)
{
    Q_INIT_RESOURCE(about);
    setObjectName(QStringLiteral("fmKaAbout"));
    if (!fmKaAbout)
        fmKaAbout = this;
    // A stay-on-top tool window without border icons.
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("About..."));
    QVBoxLayout *layout = FixedWindowLayout(this, QSize(DesignWidth, DesignHeight));
    const QFont base = font();

    // 1. The name, version and links on the left, the picture on the right.
    pnApp = Panel(this, QStringLiteral("pnApp"));
    pnApp->setFixedHeight(159);
    auto *app = new QHBoxLayout(pnApp);
    app->setContentsMargins(6, 0, 0, 0);
    app->setSpacing(4);

    pnInfos = Panel(pnApp, QStringLiteral("pnInfos"));
    pnInfos->setFixedWidth(205);
    auto *infos = new QVBoxLayout(pnInfos);
    infos->setContentsMargins(4, 14, 8, 4);
    infos->setSpacing(2);
    QFont titleFont = base;
    titleFont.setPointSize(18);
    titleFont.setItalic(true);
    lbTitle = Text(pnInfos, QStringLiteral("lbTitle"), titleFont, Navy);
    lbTitle->setText(QStringLiteral("Almarik "));
    auto *shadow = new QGraphicsDropShadowEffect(lbTitle);
    shadow->setOffset(2, 2);
    shadow->setBlurRadius(0);
    shadow->setColor(QColor(160, 160, 160));
    lbTitle->setGraphicsEffect(shadow);
    QFont verFont = base;
    verFont.setPointSize(10);
    verFont.setBold(true);
    lbVer = Text(pnInfos, QStringLiteral("lbVer"), verFont, Navy);
    // The version can be selected and copied (for a mail to the maker).
    lbVer->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    lbCopyright = Link(pnInfos, QStringLiteral("lbCopyright"), base, CopyrightColor, QStringLiteral("Send Mail"));
    lbCopyright->setText(QStringLiteral("\u00a9 Morvane, all rights reserved"));
    lbSite = Link(pnInfos, QStringLiteral("lbSite"), base, SiteColor, QStringLiteral("Go to Web Site"));
    // The site's name: the host of its address.
    const QString host = QUrl(KaVar::SiteAddress()).host();
    lbSite->setText(host.isEmpty() ? KaVar::SiteAddress() : host);
    // No site set: nothing to offer a click on.
    lbSite->setVisible(!KaVar::SiteAddress().isEmpty());
    infos->addWidget(lbTitle);
    infos->addWidget(lbVer);
    infos->addWidget(Line(pnInfos, QFrame::HLine, QFrame::Sunken));
    infos->addSpacing(9);
    infos->addWidget(lbCopyright);
    infos->addWidget(lbSite);
    infos->addStretch(1);
    for (QLabel *link : {lbCopyright, lbSite})
        link->installEventFilter(this);

    pnImage = Panel(pnApp, QStringLiteral("pnImage"));
    pnImage->setFixedWidth(200);
    auto *image = new QVBoxLayout(pnImage);
    image->setContentsMargins(0, 0, 0, 0);
    Image = new QLabel(pnImage);
    Image->setObjectName(QStringLiteral("Image"));
    Image->setScaledContents(true);
    Image->setPixmap(QPixmap(QStringLiteral(":/about/picture.png")));
    image->addWidget(Image);

    app->addWidget(pnInfos);
    app->addWidget(Line(pnApp, QFrame::VLine, QFrame::Sunken));
    app->addWidget(pnImage);
    layout->addWidget(pnApp);

    // 2. The step line and the progress bar (shown by the splash only).
    layout->addWidget(Line(this, QFrame::HLine, QFrame::Raised));
    pnStep = Panel(this, QStringLiteral("pnStep"));
    pnStep->setFixedHeight(43);
    auto *step = new QVBoxLayout(pnStep);
    step->setContentsMargins(8, 6, 8, 6);
    pn1 = Panel(pnStep, QStringLiteral("pn1"));
    auto *lines = new QVBoxLayout(pn1);
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(3);
    lbStep = new QLabel(pn1);
    lbStep->setObjectName(QStringLiteral("lbStep"));
    lbStep->setFixedHeight(12);
    lbStep->setTextFormat(Qt::PlainText);
    pgbr = new QProgressBar(pn1);
    pgbr->setObjectName(QStringLiteral("pgbr"));
    pgbr->setFixedHeight(12);
    pgbr->setTextVisible(false);
    pgbr->setRange(0, 100);
    pgbr->setValue(0);
    lines->addWidget(lbStep);
    lines->addWidget(pgbr);
    step->addWidget(pn1);
    pn1->hide();
    layout->addWidget(pnStep);

    // 3. The Close button.
    pnButton = Panel(this, QStringLiteral("pnButton"));
    pnButton->setFixedHeight(35);
    auto *buttons = new QHBoxLayout(pnButton);
    buttons->setContentsMargins(6, 4, 8, 6);
    buttons->addStretch(1);
    spbClose = new QToolButton(pnButton);
    spbClose->setObjectName(QStringLiteral("spbClose"));
    spbClose->setText(QStringLiteral("Close"));
    spbClose->setFixedSize(75, 25);
    connect(spbClose, &QToolButton::clicked, this, [this] { spbCloseClick(); });
    buttons->addWidget(spbClose);
    layout->addWidget(pnButton);
    layout->addStretch(1);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(DesignWidth / 2, DesignHeight / 2));
    FormCreate();
}

TfmKaAbout::~TfmKaAbout()
{
    if (fmKaAbout == this)
        fmKaAbout = nullptr;
}

void TfmKaAbout::FormCreate()
{
    setWindowTitle(windowTitle() + QLatin1Char(' ') + KaVar::AppTitle());
    lbVer->setText(QStringLiteral("2.2.2 "));
}

// ---------------------------------------------------------------------------
// Splash

void TfmKaAbout::PrepareSplash(int steps)
{
    // A splash is never the window the About item shows.
    if (fmKaAbout == this)
        fmKaAbout = nullptr;
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    pnButton->hide();
    pn1->show();
    setFixedSize(DesignWidth, pnApp->height() + pnStep->height() + 10);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    pgbr->setRange(0, qMax(steps, 1));
    pgbr->setValue(0);
}

void TfmKaAbout::SplashStep(const QString &text)
{
    raise();
    activateWindow();
    lbStep->setText(text);
    repaint();
    // The window system maps and exposes the window through events: without
    // them a splash shown during the start would stay blank.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QThread::msleep(20);
    // A line beyond the announced steps keeps the bar full rather than
    // starting it over.
    const int next = pgbr->value() + 1;
    if (next > pgbr->maximum())
        pgbr->setMaximum(next);
    pgbr->setValue(next);
}

// ---------------------------------------------------------------------------
// Links and Close

void TfmKaAbout::lbCopyrightClick()
{
    SendMail(QString(), QString());
}

void TfmKaAbout::lbSiteClick()
{
    OpenWebSite();
}

void TfmKaAbout::lbCopyrightMouseEnter(bool mouseOver)
{
    SetTextColor(lbCopyright, mouseOver ? HoverColor : CopyrightColor);
}

void TfmKaAbout::lbSiteMouseEnter(bool mouseOver)
{
    SetTextColor(lbSite, mouseOver ? HoverColor : SiteColor);
}

void TfmKaAbout::spbCloseClick()
{
    close();
}

bool TfmKaAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lbCopyright || watched == lbSite) {
        const bool copyright = watched == lbCopyright;
        switch (event->type()) {
        case QEvent::Enter:
        case QEvent::Leave: {
            const bool over = event->type() == QEvent::Enter;
            copyright ? lbCopyrightMouseEnter(over) : lbSiteMouseEnter(over);
            break;
        }
        case QEvent::MouseButtonRelease: {
            // A click: the left button released over the label.
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::LeftButton &&
                static_cast<QWidget *>(watched)->rect().contains(mouse->position().toPoint()))
                RunCommand([this, copyright] { copyright ? lbCopyrightClick() : lbSiteClick(); });
            break;
        }
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}
