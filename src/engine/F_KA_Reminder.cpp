#include "engine/F_KA_Reminder.h"

#include "base/U_KA_Var.h"
#include "diag/ZelException.h"
#include "store/D_KA_Alarms.h"
#include "ui/F_KA_Main.h"
#include "ui/F_KA_Main_Parts.h"
#include "ui/Widgets.h"

#include <QClipboard>
#include <QFrame>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <cmath>

using namespace store;
using KaVar::Tr;

TfmKaReminder *fmKaReminder = nullptr;

TfmKaReminder::TfmKaReminder(QWidget *parent) : QDialog(parent)
{
    if (!dmKaAlarms)
        throw Exception(QStringLiteral("The reminder box needs the alarms"));
    setObjectName(QStringLiteral("fmKaReminder"));
    fmKaReminder = this;
    // A fixed dialog with the system menu only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(KaVar::AppTitle());
    QVBoxLayout *layout = FixedWindowLayout(this, QSize(DesignWidth, DesignHeight));

    // 1. The heading: bold green text in a raised and lowered bevel.
    pnTitle = new QLabel(this);
    pnTitle->setObjectName(QStringLiteral("pnTitle"));
    pnTitle->setFixedHeight(25);
    pnTitle->setFrameShape(QFrame::Box);
    pnTitle->setFrameShadow(QFrame::Raised);
    pnTitle->setAlignment(Qt::AlignCenter);
    pnTitle->setTextFormat(Qt::PlainText);
    QFont bold = font();
    bold.setBold(true);
    pnTitle->setFont(bold);
    SetTextColor(pnTitle, QColor(0, 128, 0));
    layout->addWidget(pnTitle);

    // 2. A spacer.
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(11);
    layout->addWidget(Panel1);

    // 3. The alarms, read-only, on the light yellow of the grids.
    grdReminder = new TDataGrid(&dmKaAlarms->dsReminder, AlarmGridColumns(), QColor(255, 255, 224), this);
    grdReminder->setObjectName(QStringLiteral("grdReminder"));
    grdReminder->verticalHeader()->hide();
    grdReminder->setShowGrid(true);
    grdReminder->installEventFilter(this);
    layout->addWidget(grdReminder, 1);

    // 4. Close, on the right.
    pnBottom = new QFrame(this);
    pnBottom->setObjectName(QStringLiteral("pnBottom"));
    pnBottom->setFixedHeight(32);
    auto *bottom = new QHBoxLayout(pnBottom);
    bottom->setContentsMargins(4, 4, 8, 4);
    bottom->addStretch(1);
    btnClose = new QPushButton(QStringLiteral("Close"), pnBottom);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setDefault(true);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    bottom->addWidget(btnClose);
    layout->addWidget(pnBottom);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(DesignWidth / 2, DesignHeight / 2));
    // The check waits while the box is shown.
    if (fmKaMain)
        fmKaMain->SetReminderBox(this);
}

TfmKaReminder::~TfmKaReminder()
{
    if (fmKaReminder == this)
        fmKaReminder = nullptr;
}

QString TfmKaReminder::ReminderFilter(TDateTime now, int days)
{
    // The midnight after day N: its text is the short date alone.
    const TDateTime limit = std::floor(now) + days + 1;
    return QStringLiteral("Deleted = 0 and Date <= ") + zel::QuotedStr(zel::DateTimeToStr(limit));
}

QString TfmKaReminder::Heading(int days)
{
    QString pattern =
        Tr(QStringLiteral("Alarms for the next %d days"), QStringLiteral("Alarmes pour les %d prochains jours"));
    return pattern.replace(QStringLiteral("%d"), QString::number(days));
}

void TfmKaReminder::ShowReminder()
{
    // Already shown (asked again from the tray): it comes to the front.
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    try {
        TdmKaAlarms *dm = dmKaAlarms;
        const TfmKaMain *main = fmKaMain;
        if (!dm || !main)
            throw EAbort();
        Table &view = dm->cdsReminder;
        // 1. The main window's controls do not follow the view's work; they
        // follow again when this scope ends, however it ends (6).
        const DisplaySuspension suspended(dm->cdsAlarms);
        try {
            // 2, 3. Focus, caption and heading.
            btnClose->setFocus();
            setWindowTitle(KaVar::AppTitle());
            const int days = main->edtOptionsReminderValue->position();
            pnTitle->setText(Heading(days));
            // 4. The alarms up to the end of day N.
            view.close();
            view.setFilter(ReminderFilter(zel::Now(), days));
            view.open();
            view.refresh();
            // 5. Shown only when there is something to show.
            if (!view.isEmpty())
                exec();
        } catch (...) {
            // 6. The view is closed on the way out of a failure too.
            try {
                view.close();
            } catch (...) {
            }
            throw;
        }
        view.close();
    } catch (const EAbort &) {
    } catch (const Exception &e) {
        ShowErrorText(e.message());
    } catch (const std::exception &e) {
        ShowErrorText(QString::fromLocal8Bit(e.what()));
    }
}

void TfmKaReminder::CopyAlarm()
{
    const QModelIndex current = grdReminder->currentIndex();
    if (!current.isValid())
        return;
    const QAbstractItemModel *model = grdReminder->model();
    QStringList cells;
    for (int column = 0; column < model->columnCount(); ++column)
        cells << model->index(current.row(), column).data().toString();
    QGuiApplication::clipboard()->setText(cells.join(QLatin1Char('\t')));
}

bool TfmKaReminder::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == grdReminder && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        CopyAlarm();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
