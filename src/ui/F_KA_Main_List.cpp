// The list page of the main window: its tool bar, the grid on the list view
// and the alarm editor bound to the master table.
#include "ui/F_KA_Main.h"
#include "ui/F_KA_Main_Parts.h"

#include "base/U_KA_Var.h"
#include "diag/U_ZEL_Utilities.h"
#include "store/D_KA_Alarms.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <QScopedValueRollback>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <exception>

using namespace store;
using KaVar::Tr;

namespace {

// The grids' light yellow background.
const QColor GridYellow(255, 255, 224);

} // namespace

QLabel *CountCaption(const QString &name)
{
    auto *label = new QLabel;
    label->setObjectName(name);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 128));
    label->setPalette(pal);
    return label;
}

// The six columns of the list and calendar grids.
QList<TDataGrid::Column> AlarmGridColumns()
{
    return {
        {AlarmField::Date, 115, Qt::AlignHCenter, Qt::AlignHCenter},
        {AlarmField::Title, 175, Qt::AlignLeft, Qt::AlignHCenter},
        {AlarmField::Period, 150, Qt::AlignLeft, Qt::AlignHCenter},
        {AlarmField::Priority, -1, Qt::AlignHCenter, Qt::AlignHCenter},
        {AlarmField::IsThereApp, -1, Qt::AlignHCenter, Qt::AlignHCenter},
        {AlarmField::Enabled, 25, Qt::AlignHCenter, Qt::AlignHCenter},
    };
}

// A tool bar of flat buttons with the count caption between the commands and
// the navigation buttons.
QWidget *ToolBar(const QString &name, const QList<QToolButton *> &commands, QLabel *count,
                 const QList<QToolButton *> &navigation)
{
    auto *bar = new QFrame;
    bar->setObjectName(name);
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(1);
    for (QToolButton *b : commands)
        layout->addWidget(b);
    layout->addWidget(count, 1);
    layout->addSpacing(6);
    for (QToolButton *b : navigation)
        layout->addWidget(b);
    return bar;
}

QWidget *TfmKaMain::BuildListPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("pgList"));
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->setSpacing(3);

    btnListDel = ToolButton(QStringLiteral("btnListDel"), QStringLiteral("Delete"), QStringLiteral("delete"));
    btnListCopy = ToolButton(QStringLiteral("btnListCopy"), QStringLiteral("Duplicate"), QStringLiteral("duplicate"));
    btnListAdd = ToolButton(QStringLiteral("btnListAdd"), QStringLiteral("New"), QStringLiteral("new"));
    btnListEdit = ToolButton(QStringLiteral("btnListEdit"), QStringLiteral("Edit"), QStringLiteral("edit"));
    btnListPost = ToolButton(QStringLiteral("btnListPost"), QStringLiteral("Confirm"), QStringLiteral("confirm"));
    btnListCancel = ToolButton(QStringLiteral("btnListCancel"), QStringLiteral("Cancel"), QStringLiteral("cancel"));
    pnListCount = CountCaption(QStringLiteral("pnListCount"));
    NavigationButtons(QStringLiteral("List"), m_alarms->cdsList, btnListFirst, btnListPrior, btnListNext, btnListLast);
    layout->addWidget(ToolBar(QStringLiteral("barList"),
                              {btnListDel, btnListCopy, btnListAdd, btnListEdit, btnListPost, btnListCancel},
                              pnListCount, {btnListFirst, btnListPrior, btnListNext, btnListLast}));

    grdList = new TDataGrid(&m_alarms->dsList, AlarmGridColumns(), GridYellow);
    grdList->setObjectName(QStringLiteral("grdList"));
    layout->addWidget(grdList, 1);

    // The editor, in its group boxes.
    auto *editor = new QWidget;
    auto *editorLayout = new QGridLayout(editor);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    editorLayout->setHorizontalSpacing(4);
    editorLayout->setVerticalSpacing(2);

    auto *general = new QGroupBox(QStringLiteral("General"));
    general->setObjectName(QStringLiteral("gbxEditGeneral"));
    auto *g = new QGridLayout(general);
    g->setContentsMargins(6, 4, 6, 4);
    g->setVerticalSpacing(3);
    edtEditDate = new QDateEdit;
    edtEditDate->setObjectName(QStringLiteral("edtEditDate"));
    edtEditDate->setCalendarPopup(true);
    edtEditDate->setDisplayFormat(zel::Formats().shortDateFormat);
    // At its minimum a date box shows nothing: the editor without an alarm.
    edtEditDate->setSpecialValueText(QStringLiteral(" "));
    edtEditTime = new QTimeEdit;
    edtEditTime->setObjectName(QStringLiteral("edtEditTime"));
    edtEditTime->setDisplayFormat(QLatin1String(KaVar::TimeFormat));
    edtEditTitle = new QLineEdit;
    edtEditTitle->setObjectName(QStringLiteral("edtEditTitle"));
    edtEditTitle->setMaxLength(25);
    QFont bold = edtEditTitle->font();
    bold.setBold(true);
    edtEditTitle->setFont(bold);
    edtEditDateEndUsed = new QCheckBox(QStringLiteral("Arr\u00eater apr\u00e8s la date"));
    edtEditDateEndUsed->setObjectName(QStringLiteral("edtEditDateEndUsed"));
    edtEditDateEnd = new QDateEdit;
    edtEditDateEnd->setObjectName(QStringLiteral("edtEditDateEnd"));
    edtEditDateEnd->setCalendarPopup(true);
    edtEditDateEnd->setDisplayFormat(zel::Formats().shortDateFormat);
    edtEditDateEnd->setSpecialValueText(QStringLiteral(" "));
    edtEditTimeEnd = new QTimeEdit;
    edtEditTimeEnd->setObjectName(QStringLiteral("edtEditTimeEnd"));
    edtEditTimeEnd->setDisplayFormat(QLatin1String(KaVar::TimeFormat));
    cbEditPeriodicity = new QComboBox;
    cbEditPeriodicity->setObjectName(QStringLiteral("cbEditPeriodicity"));
    cbEditPeriodicity->setMaxVisibleItems(11);
    edtEditApp = new QLineEdit;
    edtEditApp->setObjectName(QStringLiteral("edtEditApp"));
    edtEditApp->setMaxLength(255);
    edtEditAppButton = new QToolButton;
    edtEditAppButton->setObjectName(QStringLiteral("edtEditAppButton"));
    edtEditAppButton->setText(QStringLiteral("..."));
    auto *app = new QHBoxLayout;
    app->setSpacing(1);
    app->addWidget(edtEditApp, 1);
    app->addWidget(edtEditAppButton);

    const auto label = [](const QString &text, QWidget *buddy) {
        auto *l = new QLabel(text);
        l->setBuddy(buddy);
        return l;
    };
    g->addWidget(label(QStringLiteral("Date"), edtEditDate), 0, 0);
    g->addWidget(edtEditDate, 0, 1);
    g->addWidget(label(QStringLiteral("Time"), edtEditTime), 0, 2);
    g->addWidget(edtEditTime, 0, 3);
    g->addWidget(label(QStringLiteral("Title"), edtEditTitle), 1, 0);
    g->addWidget(edtEditTitle, 1, 1, 1, 3);
    g->addWidget(label(QStringLiteral("Periodicity"), cbEditPeriodicity), 2, 0);
    g->addWidget(cbEditPeriodicity, 2, 1, 1, 3);
    g->addWidget(edtEditDateEndUsed, 3, 0, 1, 2);
    g->addWidget(edtEditDateEnd, 3, 2);
    g->addWidget(edtEditTimeEnd, 3, 3);
    g->addWidget(label(QStringLiteral("Application"), edtEditApp), 4, 0);
    g->addLayout(app, 4, 1, 1, 3);
    editorLayout->addWidget(general, 0, 0, 2, 1);

    auto *options = new QGroupBox(QStringLiteral("Options"));
    options->setObjectName(QStringLiteral("gbxEditOptions"));
    auto *o = new QVBoxLayout(options);
    o->setContentsMargins(6, 4, 6, 4);
    cbxEditSound = new QCheckBox(QStringLiteral("Sound"));
    cbxEditSound->setObjectName(QStringLiteral("cbxEditSound"));
    cbxEditAppSilent = new QCheckBox(QStringLiteral("Silent mode (App Launcher)"));
    cbxEditAppSilent->setObjectName(QStringLiteral("cbxEditAppSilent"));
    cbxEditAlarmEnabled = new QCheckBox(QStringLiteral("Enabled"));
    cbxEditAlarmEnabled->setObjectName(QStringLiteral("cbxEditAlarmEnabled"));
    o->addWidget(cbxEditSound);
    o->addWidget(cbxEditAppSilent);
    o->addWidget(cbxEditAlarmEnabled);
    editorLayout->addWidget(options, 0, 1);

    rgpEditPriority = new TRadioGroup(QStringLiteral("Priority"));
    rgpEditPriority->setObjectName(QStringLiteral("rgpEditPriority"));
    editorLayout->addWidget(rgpEditPriority, 1, 1);

    auto *memo = new QGroupBox(QStringLiteral("Memo"));
    memo->setObjectName(QStringLiteral("gbxEditMemo"));
    auto *m = new QVBoxLayout(memo);
    m->setContentsMargins(6, 4, 6, 4);
    moEditMemo = new QPlainTextEdit;
    moEditMemo->setObjectName(QStringLiteral("moEditMemo"));
    moEditMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->addWidget(moEditMemo);
    editorLayout->addWidget(memo, 0, 2, 2, 1);
    editorLayout->setColumnStretch(0, 3);
    editorLayout->setColumnStretch(2, 2);
    layout->addWidget(editor);

    // The editor follows the master's record while it is browsed; while it is
    // edited the controls keep what the user types.
    connect(&m_alarms->dsAlarms, &DataSource::stateChange, this, [this] { LoadEditor(); });
    connect(cbEditPeriodicity, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_loadingEditor)
            RefreshForm();
    });
    ClearEditor();
    return page;
}

QString TfmKaMain::PeriodicityItem(int index) const
{
    return index >= 0 && index < cbEditPeriodicity->count() ? cbEditPeriodicity->itemText(index) : QString();
}

QString TfmKaMain::PriorityItem(int index) const
{
    const QStringList items = rgpEditPriority->items();
    return index >= 0 && index < items.size() ? items[index] : QString();
}

store::Field *TfmKaMain::PeriodicityListField() const
{
    return m_editorBound ? &m_alarms->cdsAlarms.fieldByName(AlarmField::Period) : nullptr;
}

void TfmKaMain::SetPeriodicityListIndex(int index)
{
    const QScopedValueRollback<bool> loading(m_loadingEditor, true);
    cbEditPeriodicity->setCurrentIndex(index >= 0 && index < cbEditPeriodicity->count() ? index : -1);
}

void TfmKaMain::LoadEditor()
{
    const Table &t = m_alarms->cdsAlarms;
    if (!t.active() || (t.isEmpty() && !Editing()))
        return;
    const QScopedValueRollback<bool> loading(m_loadingEditor, true);
    const QDateTime date = zel::ToQDateTime(t.fieldByName(AlarmField::Date).asDateTime());
    edtEditDate->setDate(date.date());
    edtEditTime->setTime(date.time());
    edtEditTitle->setText(t.fieldByName(AlarmField::Title).asString());
    edtEditDateEndUsed->setChecked(t.fieldByName(AlarmField::DateEndUsed).asInteger() == 1);
    const Field &end = t.fieldByName(AlarmField::DateEnd);
    const QDateTime dateEnd = zel::ToQDateTime(end.isNull() ? 0 : end.asDateTime());
    edtEditDateEnd->setDate(dateEnd.date());
    edtEditTimeEnd->setTime(dateEnd.time());
    const int period = t.fieldByName(AlarmField::Period).asInteger();
    cbEditPeriodicity->setCurrentIndex(period >= 0 && period < cbEditPeriodicity->count() ? period : -1);
    edtEditApp->setText(t.fieldByName(AlarmField::Application).asString());
    cbxEditSound->setChecked(t.fieldByName(AlarmField::Sound).asInteger() == 1);
    cbxEditAppSilent->setChecked(t.fieldByName(AlarmField::AppSilent).asInteger() == 1);
    cbxEditAlarmEnabled->setChecked(t.fieldByName(AlarmField::Enabled).asInteger() == 1);
    rgpEditPriority->setItemIndex(t.fieldByName(AlarmField::Priority).asInteger());
    moEditMemo->setPlainText(t.fieldByName(AlarmField::Comments).asString());
}

void TfmKaMain::ClearEditor()
{
    const QScopedValueRollback<bool> loading(m_loadingEditor, true);
    edtEditDate->setDate(edtEditDate->minimumDate());
    edtEditTime->setTime(QTime(0, 0));
    edtEditTitle->clear();
    edtEditDateEndUsed->setChecked(false);
    edtEditDateEnd->setDate(edtEditDateEnd->minimumDate());
    edtEditTimeEnd->setTime(QTime(0, 0));
    cbEditPeriodicity->setCurrentIndex(-1);
    edtEditApp->clear();
    cbxEditSound->setChecked(false);
    cbxEditAppSilent->setChecked(false);
    cbxEditAlarmEnabled->setChecked(false);
    rgpEditPriority->setItemIndex(-1);
    moEditMemo->clear();
}

// ---------------------------------------------------------------------------
// List commands used by the calendar page: New, Edit, Duplicate, Confirm and
// Cancel of the editor.

void TfmKaMain::DropDownCalendar(QDateEdit *box)
{
    if (!box || !box->calendarPopup() || !box->isEnabled())
        return;
    // The date box opens its calendar when its arrow is pressed.
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.editable = true;
    option.frame = true;
    option.subControls = QStyle::SC_All;
    const QRect arrow = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, box);
    if (!arrow.isValid())
        return;
    const QPointF at = arrow.center();
    QMouseEvent press(QEvent::MouseButtonPress, at, box->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(box, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, box->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(box, &release);
}

void TfmKaMain::btnListAddClick(QObject *sender)
{
    // The store fills the new record's defaults and sets Inserting.
    m_alarms->cdsAlarms.append();
    LoadEditor();
    Modified = false;
    RefreshForm();
    edtEditDate->setFocus();
    if (sender)
        DropDownCalendar(edtEditDate);
}

void TfmKaMain::btnListEditClick()
{
    m_alarms->cdsAlarms.edit();
    Modified = false;
    RefreshForm();
    edtEditTitle->setFocus();
}

void TfmKaMain::btnListCopyClick(QToolButton *sender)
{
    Table &source = sender == btnCalendarCopy ? m_alarms->cdsCalendar : m_alarms->cdsList;
    if (!source.active() || source.isEmpty())
        return;
    Table &master = m_alarms->cdsAlarms;
    std::exception_ptr failure;
    master.disableControls();
    {
        try {
            master.append();
            try {
                const auto copy = [&](const QString &name) {
                    master.fieldByName(name).setValue(source.fieldByName(name).value());
                };
                master.fieldByName(AlarmField::Date).setAsDateTime(source.fieldByName(AlarmField::Date).asDateTime());
                const Field &end = source.fieldByName(AlarmField::DateEnd);
                master.fieldByName(AlarmField::DateEnd).setAsDateTime(end.isNull() ? 0 : end.asDateTime());
                for (const QString &name : {AlarmField::DateEndUsed, AlarmField::Title, AlarmField::Enabled,
                                            AlarmField::Comments, AlarmField::Sound, AlarmField::Priority,
                                            AlarmField::Period, AlarmField::Application, AlarmField::AppSilent})
                    copy(name);
                master.post();
            } catch (...) {
                if (master.state() == DataSetState::Insert)
                    master.cancel();
                throw;
            }
            m_alarms->RefreshCurrentView();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // The notifications let through here may fail too: the first failure
    // goes on to the caller.
    try {
        master.enableControls();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TfmKaMain::btnListPostClick()
{
    if (!m_alarms->Inserting && !Modified) {
        // Nothing to keep.
        btnListCancelClick();
        return;
    }
    if (cbxOptionsConfirmEdit->isChecked() &&
        ShowMessageDialog(Tr(QStringLiteral("Post changes ?"), QStringLiteral("Valider les modifications ?")),
                          mtConfirmation, mbYes | mbNo) != mrYes)
        return;
    m_alarms->cdsAlarms.post();
    m_alarms->RefreshCurrentView();
    if (BackToCalendar) {
        BackToCalendar = false;
        btnMenuClick(btnMenuCalendar);
    }
}

void TfmKaMain::btnListCancelClick()
{
    if (Modified && cbxOptionsConfirmCancel->isChecked() &&
        ShowMessageDialog(Tr(QStringLiteral("Cancel changes ?"), QStringLiteral("Annuler les modifications ?")),
                          mtConfirmation, mbYes | mbNo) != mrYes)
        return;
    m_alarms->cdsAlarms.cancel();
    m_alarms->RefreshCurrentView();
    if (BackToCalendar) {
        BackToCalendar = false;
        btnMenuClick(btnMenuCalendar);
    }
}
