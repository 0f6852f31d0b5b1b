// The trash page of the main window: its tool bar, the grid on the trash view
// and the memo with the selected alarm's comments; restoring and erasing
// trash alarms one by one or all at once, and the purge of old trash alarms
// at start.
#include "ui/F_KA_Main.h"
#include "ui/F_KA_Main_Parts.h"

#include "base/ProgressWindow.h"
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_Utilities.h"
#include "diag/ZelDateTime.h"
#include "diag/ZelException.h"
#include "store/D_KA_Alarms.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

using namespace store;
using KaVar::Tr;

namespace {

// Hands the key presses of the grid to its handler, which tells whether it
// used (swallowed) the key.
class TrashKeys : public QObject
{
public:
    TrashKeys(QObject *parent, std::function<bool(int)> handler) : QObject(parent), m_handler(std::move(handler)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (!(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
                return m_handler(key->key());
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool(int)> m_handler;
};

// The question of a command on the selected trash alarm.
QString AlarmQuestion(const QString &english, const QString &french, const Table &trash)
{
    return Tr(english, french) + QStringLiteral(" ( ") + trash.fieldByName(AlarmField::Title).asString() +
           QStringLiteral(" ) ?");
}

// Asks a question as a confirmation with Yes and No: true on Yes.
bool Confirmed(const QString &text)
{
    return ShowMessageDialog(text, mtConfirmation, mbYes | mbNo) == mrYes;
}

// Erases (or restores) every alarm of the trash view, first row after first
// row, with the progress window: each step takes the trash view's first row,
// finds its alarm in the master, removes it (or clears its Deleted flag and
// posts it, which saves the data file) and re-reads the trash view, which
// drops the row. Closing the progress window stops the run after the current
// alarm; the alarms already handled stay handled.
void RunOverTrash(TdmKaAlarms &dm, TProgressWindow &progress, bool erase)
{
    Table &trash = dm.cdsTrash;
    Table &master = dm.cdsAlarms;
    const int total = trash.recordCount();
    if (erase) {
        progress.setCaption(Tr(QStringLiteral("Erasing..."), QStringLiteral("Purge...")));
        progress.setAnimation(TProgressWindow::AnimationKind::EmptyRecycleBin);
        progress.setTempo(40);
    } else {
        progress.setCaption(Tr(QStringLiteral("Recovering..."), QStringLiteral("Restoration...")));
        progress.setAnimation(TProgressWindow::AnimationKind::FileCopy);
        progress.setTempo(20);
    }
    progress.setMaximum(total);
    progress.start();
    trash.first();

    std::exception_ptr failure;
    trash.disableControls();
    try {
        int i = 0;
        while (!trash.eof()) {
            trash.first();
            const int number = trash.fieldByName(AlarmField::Number).asInteger();
            dm.LocateNumber(master, number, true);
            if (erase) {
                master.deleteRecord();
            } else {
                master.edit();
                try {
                    master.fieldByName(AlarmField::Deleted).setAsInteger(0);
                    master.post();
                } catch (...) {
                    // The alarm that could not be restored stays in the trash.
                    if (master.state() == DataSetState::Edit)
                        master.cancel();
                    throw;
                }
            }
            // The trash view itself is re-read, whatever page is in front:
            // a row left in it would be handled again.
            dm.RefreshSource(dm.dsTrash);
            ++i;
            if (!progress.update(i,
                                 Tr(QStringLiteral("Parsing record "), QStringLiteral("Parcours enregistrement ")) +
                                     QString::number(i),
                                 QString()))
                break;
        }
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        trash.enableControls();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    // The bar goes to its end, which closes the window (already closed when
    // the run ended or the user closed it).
    if (progress.isVisible())
        progress.update(progress.maximum(), progress.statusLine1(), progress.statusLine2());
    try {
        dm.RefreshCurrentView();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace

QWidget *TfmKaMain::BuildTrashPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("pgTrash"));
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->setSpacing(3);

    btnTrashErase =
        ToolButton(QStringLiteral("btnTrashErase"), QStringLiteral("Purge selected"), QStringLiteral("purge"));
    btnTrashEraseAll =
        ToolButton(QStringLiteral("btnTrashEraseAll"), QStringLiteral("Purge all"), QStringLiteral("purge_all"));
    btnTrashRecover =
        ToolButton(QStringLiteral("btnTrashRecover"), QStringLiteral("Restore selected"), QStringLiteral("restore"));
    btnTrashRecoverAll =
        ToolButton(QStringLiteral("btnTrashRecoverAll"), QStringLiteral("Restore all"), QStringLiteral("restore_all"));
    pnTrashCount = CountCaption(QStringLiteral("pnTrashCount"));
    NavigationButtons(QStringLiteral("Trash"), m_alarms->cdsTrash, btnTrashFirst, btnTrashPrior, btnTrashNext,
                      btnTrashLast);
    layout->addWidget(ToolBar(QStringLiteral("barTrash"),
                              {btnTrashErase, btnTrashEraseAll, btnTrashRecover, btnTrashRecoverAll}, pnTrashCount,
                              {btnTrashFirst, btnTrashPrior, btnTrashNext, btnTrashLast}));

    const QColor grey(245, 245, 245);
    grdTrash = new TDataGrid(&m_alarms->dsTrash,
                             {{AlarmField::Date, 115, Qt::AlignHCenter, Qt::AlignHCenter},
                              {AlarmField::Title, 175, Qt::AlignHCenter, Qt::AlignHCenter},
                              {AlarmField::Period, 140, Qt::AlignHCenter, Qt::AlignHCenter},
                              {AlarmField::Application, 145, Qt::AlignRight, Qt::AlignHCenter}},
                             grey);
    grdTrash->setObjectName(QStringLiteral("grdTrash"));

    moTrash = new QPlainTextEdit;
    moTrash->setObjectName(QStringLiteral("moTrash"));
    moTrash->setReadOnly(true);
    moTrash->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    moTrash->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    moTrash->setLineWrapMode(QPlainTextEdit::NoWrap);
    QPalette pal = moTrash->palette();
    pal.setColor(QPalette::Base, grey);
    moTrash->setPalette(pal);

    splTrash = new QSplitter(Qt::Vertical);
    splTrash->setObjectName(QStringLiteral("splTrash"));
    splTrash->addWidget(grdTrash);
    splTrash->addWidget(moTrash);
    splTrash->setStretchFactor(0, 1);
    splTrash->setSizes({340, 100});
    layout->addWidget(splTrash, 1);

    // The memo shows the comments of the selected trash alarm.
    connect(&m_alarms->dsTrash, &DataSource::dataChange, this, [this] { UpdateTrashMemo(); });

    dlgProgress = new TProgressWindow(this);
    dlgProgress->setObjectName(QStringLiteral("dlgProgress"));
    // The trash stays as it is while a run goes on: only the progress window
    // answers the user.
    dlgProgress->setWindowModality(Qt::ApplicationModal);

    connect(btnTrashErase, &QToolButton::clicked, this, [this] { RunCommand([this] { btnTrashEraseClick(); }); });
    connect(btnTrashEraseAll, &QToolButton::clicked, this,
            [this] { RunCommand([this] { btnTrashEraseAllClick(btnTrashEraseAll); }); });
    connect(btnTrashRecover, &QToolButton::clicked, this, [this] { RunCommand([this] { btnTrashRecoverClick(); }); });
    connect(btnTrashRecoverAll, &QToolButton::clicked, this,
            [this] { RunCommand([this] { btnTrashRecoverAllClick(); }); });
    grdTrash->installEventFilter(new TrashKeys(grdTrash, [this](int key) {
        bool used = false;
        RunCommand([this, key, &used] { used = grdTrashKeyDown(key); });
        return used;
    }));
    return page;
}

bool TfmKaMain::LocateTrashAlarm(const QString &english, const QString &french)
{
    Table &trash = m_alarms->cdsTrash;
    if (!trash.active() || trash.isEmpty())
        return false;
    if (cbxOptionsManage->isChecked() && !Confirmed(AlarmQuestion(english, french, trash)))
        return false;
    m_alarms->LocateNumber(m_alarms->cdsAlarms, trash.fieldByName(AlarmField::Number).asInteger(), true);
    return true;
}

void TfmKaMain::btnTrashEraseClick()
{
    if (!LocateTrashAlarm(QStringLiteral("Delete alarm "), QStringLiteral("Effacer l'alarme ")))
        return;
    Table &master = m_alarms->cdsAlarms;
    // Not a post: the data file loses the alarm at its next save.
    master.deleteRecord();
    m_alarms->RefreshCurrentView();
}

void TfmKaMain::btnTrashRecoverClick()
{
    if (!LocateTrashAlarm(QStringLiteral("Restore alarm "), QStringLiteral("Restaurer l'alarme ")))
        return;
    Table &master = m_alarms->cdsAlarms;
    master.edit();
    try {
        master.fieldByName(AlarmField::Deleted).setAsInteger(0);
        // The post saves the data file.
        master.post();
    } catch (...) {
        if (master.state() == DataSetState::Edit)
            master.cancel();
        throw;
    }
    m_alarms->RefreshCurrentView();
}

void TfmKaMain::btnTrashEraseAllClick(QObject *sender)
{
    if (sender && cbxOptionsManage->isChecked() &&
        !Confirmed(Tr(QStringLiteral("Purge all alarms ?"), QStringLiteral("Purger toutes les alarmes ?"))))
        return;
    const Table &trash = m_alarms->cdsTrash;
    if (!trash.active() || trash.isEmpty())
        return;
    RunOverTrash(*m_alarms, *dlgProgress, true);
}

void TfmKaMain::btnTrashRecoverAllClick()
{
    if (cbxOptionsManage->isChecked() &&
        !Confirmed(Tr(QStringLiteral("Recover all alarms ?"), QStringLiteral("Restorer toutes les alarmes ?"))))
        return;
    const Table &trash = m_alarms->cdsTrash;
    if (!trash.active() || trash.isEmpty())
        return;
    RunOverTrash(*m_alarms, *dlgProgress, false);
}

bool TfmKaMain::grdTrashKeyDown(int key)
{
    switch (key) {
    case Qt::Key_Insert:
        return true;
    case Qt::Key_Delete:
        if (btnTrashErase->isEnabled())
            btnTrashEraseClick();
        return true;
    default:
        return false;
    }
}

void TfmKaMain::PurgeOldAlarms()
{
    const int days = edtOptionsPurgeValue->position();
    if (days <= 0)
        return;
    Table &trash = m_alarms->cdsTrash;
    QToolButton *before = m_currentPageButton;
    try {
        btnMenuClick(btnMenuTrash);
        const QString normal = trash.filter();
        std::exception_ptr failure;
        trash.disableControls();
        try {
            // The age of a trash alarm is measured from its own date-time.
            trash.setFilter(QStringLiteral("Deleted = 1 and Date < ") +
                            zel::QuotedStr(zel::DateTimeToStr(zel::Now() - days)));
            m_alarms->RefreshSource(m_alarms->dsTrash);
            repaint();
            btnTrashEraseAllClick(nullptr);
        } catch (...) {
            failure = std::current_exception();
        }
        // The trash view gets its normal filter back whatever happened.
        try {
            trash.setFilter(normal);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
        try {
            trash.enableControls();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
        try {
            m_alarms->RefreshSource(m_alarms->dsTrash);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
        // The page that was in front comes back.
        if (before && before != btnMenuTrash)
            btnMenuClick(before);
        if (failure)
            std::rethrow_exception(failure);
    } catch (const EAbort &) {
        // Stopped without a message.
    } catch (const Exception &e) {
        ShowErrorText(QStringLiteral("Purge Error : ") + e.message());
    } catch (const std::exception &e) {
        ShowErrorText(QStringLiteral("Purge Error : ") + QString::fromLocal8Bit(e.what()));
    }
}

void TfmKaMain::UpdateTrashMemo()
{
    const Table &trash = m_alarms->cdsTrash;
    moTrash->setPlainText(trash.active() && !trash.isEmpty() ? trash.fieldByName(AlarmField::Comments).asString()
                                                             : QString());
}
