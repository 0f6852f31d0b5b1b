// The list page of the main window: its tool bar, the grid on the list view,
// the alarm editor bound to the master table, and the page's commands (new,
// edit, duplicate, delete, confirm, cancel, the grid's keys and title clicks,
// the editor's keys and the application picker).
#include "ui/F_KA_Main.h"
#include "ui/F_KA_Main_Parts.h"

#include "base/U_KA_Var.h"
#include "diag/U_ZEL_Utilities.h"
#include "store/D_KA_Alarms.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QKeyEvent>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QSettings>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

using namespace store;
using KaVar::Tr;

namespace {

// The grids' light yellow background.
const QColor GridYellow(255, 255, 224);

constexpr qint64 MsPerDay = 86400000;

const QDate &Epoch()
{
    static const QDate epoch(1899, 12, 30);
    return epoch;
}

// The date and the time of day of a stored date-time, counted as the stored
// format counts them (before the epoch the days count backwards while the
// time of day still counts forwards), without passing through a local
// QDateTime that a daylight-saving gap would shift.
QDate DatePart(TDateTime value)
{
    return Epoch().addDays(std::llround(value * double(MsPerDay)) / MsPerDay);
}

QTime TimePart(TDateTime value)
{
    const qint64 ms = std::llround(value * double(MsPerDay)) % MsPerDay;
    return QTime::fromMSecsSinceStartOfDay(int(ms < 0 ? -ms : ms));
}

TDateTime Combine(const QDate &date, const QTime &time)
{
    const double days = double(Epoch().daysTo(date));
    const double fraction = double(time.msecsSinceStartOfDay()) / double(MsPerDay);
    return zel::RoundToMs(days < 0 ? days - fraction : days + fraction);
}

// The time a user sets in a time box that shows hours and minutes: whole
// minutes, so the alarm is due at the minute shown and not at the next one
// (the seconds the box still held from the record would otherwise stay).
QTime WholeMinutes(const QTime &time)
{
    return QTime(time.hour(), time.minute());
}

TDateTime ValueOf(const Field &field)
{
    return field.isNull() ? 0 : field.asDateTime();
}

// Hands the key presses of a control to a handler; a handler that answers
// true swallows the key.
class KeyHook : public QObject
{
public:
    KeyHook(QObject *control, std::function<bool(QKeyEvent *)> onKey) : QObject(control), m_onKey(std::move(onKey))
    {
        control->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        return event->type() == QEvent::KeyPress && m_onKey(static_cast<QKeyEvent *>(event));
    }

private:
    std::function<bool(QKeyEvent *)> m_onKey;
};

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
    edtEditDate = new TDateBox;
    edtEditDate->setObjectName(QStringLiteral("edtEditDate"));
    edtEditDate->setDisplayFormat(zel::Formats().shortDateFormat);
    edtEditTime = new TTimeBox;
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
    edtEditDateEnd = new TDateBox;
    edtEditDateEnd->setObjectName(QStringLiteral("edtEditDateEnd"));
    edtEditDateEnd->setDisplayFormat(zel::Formats().shortDateFormat);
    edtEditTimeEnd = new TTimeBox;
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

    // The caption of a box, named after it: lbEditDate for edtEditDate,
    // lbEditPeriodicity for cbEditPeriodicity.
    const auto label = [](const QString &text, QWidget *buddy) {
        auto *l = new QLabel(text);
        const QString name = buddy->objectName();
        l->setObjectName(QStringLiteral("lb") + name.mid(name.indexOf(QStringLiteral("Edit"))));
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
    // Tab goes on to the next control; Enter starts a new line.
    moEditMemo->setTabChangesFocus(true);
    m->addWidget(moEditMemo);
    editorLayout->addWidget(memo, 0, 2, 2, 1);
    editorLayout->setColumnStretch(0, 3);
    editorLayout->setColumnStretch(2, 2);
    layout->addWidget(editor);

    // The keyboard goes through the editor in reading order.
    const QList<QWidget *> order = {edtEditDate,        edtEditTime,    edtEditTitle,     cbEditPeriodicity,
                                    edtEditDateEndUsed, edtEditDateEnd, edtEditTimeEnd,   edtEditApp,
                                    edtEditAppButton,   cbxEditSound,   cbxEditAppSilent, cbxEditAlarmEnabled,
                                    rgpEditPriority,    moEditMemo};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);

    BindEditor();
    ClearEditor();
    return page;
}

void TfmKaMain::BindEditor()
{
    const auto command = [this](QAbstractButton *button, std::function<void()> handler) {
        connect(button, &QAbstractButton::clicked, this, [handler = std::move(handler)] { RunCommand(handler); });
    };
    command(btnListAdd, [this] { btnListAddClick(btnListAdd); });
    command(btnListEdit, [this] { btnListEditClick(); });
    command(btnListCopy, [this] { btnListCopyClick(btnListCopy); });
    command(btnListDel, [this] { btnListDelClick(); });
    command(btnListPost, [this] { btnListPostClick(); });
    command(btnListCancel, [this] { btnListCancelClick(); });
    command(edtEditAppButton, [this] { edtEditAppButtonClick(); });
    connect(grdList, &QAbstractItemView::doubleClicked, this, [this] { RunCommand([this] { grdListDblClick(); }); });
    new KeyHook(grdList, [this](QKeyEvent *event) { return grdListKeyDown(event->key()); });

    // The editor shows the master's record: when the record changes, and
    // when one of its fields changes other than through the editor itself.
    connect(&m_alarms->dsAlarms, &DataSource::stateChange, this, [this] { LoadEditor(); });
    connect(&m_alarms->dsAlarms, &DataSource::dataChange, this, [this] { LoadEditor(); });

    // Every change of a control goes into its field of the record edited.
    connect(edtEditDate, &QDateEdit::dateChanged, this, [this](QDate date) {
        WriteEditor([date](Table &t) {
            Field &f = t.fieldByName(AlarmField::Date);
            f.setAsDateTime(Combine(date, TimePart(ValueOf(f))));
        });
    });
    connect(edtEditTime, &QTimeEdit::timeChanged, this, [this](QTime time) {
        WriteEditor([time](Table &t) {
            Field &f = t.fieldByName(AlarmField::Date);
            f.setAsDateTime(Combine(DatePart(ValueOf(f)), WholeMinutes(time)));
        });
    });
    connect(edtEditDateEnd, &QDateEdit::dateChanged, this, [this] {
        // The empty box is the zero date.
        const QDate date = edtEditDateEnd->isEmpty() ? Epoch() : edtEditDateEnd->date();
        WriteEditor([date](Table &t) {
            Field &f = t.fieldByName(AlarmField::DateEnd);
            f.setAsDateTime(Combine(date, TimePart(ValueOf(f))));
        });
    });
    connect(edtEditTimeEnd, &QTimeEdit::timeChanged, this, [this](QTime time) {
        WriteEditor([time](Table &t) {
            Field &f = t.fieldByName(AlarmField::DateEnd);
            f.setAsDateTime(Combine(DatePart(ValueOf(f)), WholeMinutes(time)));
        });
    });
    connect(edtEditTitle, &QLineEdit::textChanged, this, [this](const QString &text) {
        WriteEditor([&text](Table &t) { t.fieldByName(AlarmField::Title).setAsString(text); });
    });
    connect(edtEditApp, &QLineEdit::textChanged, this, [this](const QString &text) {
        WriteEditor([&text](Table &t) { t.fieldByName(AlarmField::Application).setAsString(text); });
    });
    connect(cbEditPeriodicity, &QComboBox::currentIndexChanged, this, [this](int index) {
        WriteEditor([index](Table &t) {
            if (index >= 0)
                t.fieldByName(AlarmField::Period).setAsInteger(index);
        });
    });
    connect(rgpEditPriority, &TRadioGroup::changed, this, [this](int index) {
        WriteEditor([index](Table &t) {
            if (index >= 0)
                t.fieldByName(AlarmField::Priority).setAsInteger(index);
        });
    });
    const QList<std::pair<QCheckBox *, QString>> flags = {{edtEditDateEndUsed, AlarmField::DateEndUsed},
                                                          {cbxEditSound, AlarmField::Sound},
                                                          {cbxEditAppSilent, AlarmField::AppSilent},
                                                          {cbxEditAlarmEnabled, AlarmField::Enabled}};
    for (const auto &[box, name] : flags) {
        connect(box, &QCheckBox::toggled, this, [this, name = name](bool checked) {
            WriteEditor([&name, checked](Table &t) { t.fieldByName(name).setAsInteger(checked ? 1 : 0); });
        });
    }
    connect(moEditMemo, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = moEditMemo->toPlainText();
        WriteEditor([&text](Table &t) { t.fieldByName(AlarmField::Comments).setAsString(text); });
    });

    // An empty end date opens its calendar at the alarm's month.
    edtEditDateEnd->emptyPageDate = [this] { return edtEditDate->isEmpty() ? QDate() : edtEditDate->date(); };

    // The editor's keys: Escape cancels, Alt+Enter confirms. The priority
    // group hears the keys its buttons leave.
    const QList<QWidget *> keyed = {edtEditDate,      edtEditTime,         edtEditDateEnd,     edtEditTimeEnd,
                                    edtEditTitle,     cbEditPeriodicity,   edtEditApp,         cbxEditSound,
                                    cbxEditAppSilent, cbxEditAlarmEnabled, edtEditDateEndUsed, rgpEditPriority,
                                    moEditMemo};
    for (QWidget *w : keyed)
        new KeyHook(w, [this](QKeyEvent *event) { return DoKeyDown(event->key(), event->modifiers()); });
}

void TfmKaMain::BindPageGrids()
{
    for (TDataGrid *grid : {grdCalendar, grdList, grdTrash}) {
        connect(grid, &TDataGrid::titleClicked, this, [this, grid](const QString &field) {
            RunCommand([this, grid, &field] { GridTitleClick(grid, field); });
        });
    }
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
    // A change the editor itself writes is already on screen.
    if (m_writingEditor)
        return;
    const Table &t = m_alarms->cdsAlarms;
    // Browsing an empty list, the editor shows nothing (RefreshForm empties it).
    if (!t.active() || (!Editing() && (t.isEmpty() || m_alarms->cdsList.isEmpty())))
        return;
    const QScopedValueRollback<bool> loading(m_loadingEditor, true);
    const TDateTime date = ValueOf(t.fieldByName(AlarmField::Date));
    edtEditDate->setDate(DatePart(date));
    edtEditTime->setTime(TimePart(date));
    edtEditTitle->setText(t.fieldByName(AlarmField::Title).asString());
    edtEditDateEndUsed->setChecked(t.fieldByName(AlarmField::DateEndUsed).asInteger() == 1);
    // A missing or zero end date leaves the box empty.
    const TDateTime end = ValueOf(t.fieldByName(AlarmField::DateEnd));
    if (DatePart(end) == Epoch())
        edtEditDateEnd->setEmpty();
    else
        edtEditDateEnd->setDate(DatePart(end));
    edtEditTimeEnd->setTime(TimePart(end));
    const int period = t.fieldByName(AlarmField::Period).asInteger();
    cbEditPeriodicity->setCurrentIndex(period >= 0 && period < cbEditPeriodicity->count() ? period : -1);
    edtEditApp->setText(t.fieldByName(AlarmField::Application).asString());
    cbxEditSound->setChecked(t.fieldByName(AlarmField::Sound).asInteger() == 1);
    cbxEditAppSilent->setChecked(t.fieldByName(AlarmField::AppSilent).asInteger() == 1);
    cbxEditAlarmEnabled->setChecked(t.fieldByName(AlarmField::Enabled).asInteger() == 1);
    rgpEditPriority->setItemIndex(t.fieldByName(AlarmField::Priority).asInteger());
    const QString comments = t.fieldByName(AlarmField::Comments).asString();
    if (moEditMemo->toPlainText() != comments)
        moEditMemo->setPlainText(comments);
}

void TfmKaMain::ClearEditor()
{
    const QScopedValueRollback<bool> loading(m_loadingEditor, true);
    edtEditDate->setEmpty();
    edtEditTime->setTime(QTime(0, 0));
    edtEditTitle->clear();
    edtEditDateEndUsed->setChecked(false);
    edtEditDateEnd->setEmpty();
    edtEditTimeEnd->setTime(QTime(0, 0));
    cbEditPeriodicity->setCurrentIndex(-1);
    edtEditApp->clear();
    cbxEditSound->setChecked(false);
    cbxEditAppSilent->setChecked(false);
    cbxEditAlarmEnabled->setChecked(false);
    rgpEditPriority->setItemIndex(-1);
    moEditMemo->clear();
}

void TfmKaMain::WriteEditor(const std::function<void(Table &)> &write)
{
    // Values shown by the program itself are not changes of the user; nor is
    // anything shown while no record is edited.
    if (m_loadingEditor || !Editing())
        return;
    {
        const QScopedValueRollback<bool> writing(m_writingEditor, true);
        RunCommand([this, &write] { write(m_alarms->cdsAlarms); });
    }
    DataModified();
}

// ---------------------------------------------------------------------------
// Commands

void TfmKaMain::DataModified()
{
    Modified = true;
    // The end of a series only means something for a periodic alarm.
    const bool endDate = Editing() && cbEditPeriodicity->currentIndex() > 0;
    for (QWidget *w : std::initializer_list<QWidget *>{edtEditDateEnd, edtEditTimeEnd, edtEditDateEndUsed})
        w->setEnabled(endDate);
}

void TfmKaMain::btnListAddClick(QObject *sender)
{
    // The store numbers the record, fills its defaults and sets Inserting;
    // the editor shows them, then nothing is modified yet.
    m_alarms->cdsAlarms.append();
    Modified = false;
    RefreshForm();
    edtEditDate->setFocus();
    if (sender)
        edtEditDate->showCalendar();
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
    const Table &source = sender == btnCalendarCopy ? m_alarms->cdsCalendar : m_alarms->cdsList;
    if (!source.active() || source.isEmpty())
        return;
    Table &master = m_alarms->cdsAlarms;
    const DisplaySuspension quiet(master);
    try {
        // A new record (new Number, Deleted 0) with the source's values; a
        // missing end date becomes the zero date-time.
        master.append();
        master.fieldByName(AlarmField::Date).setAsDateTime(source.fieldByName(AlarmField::Date).asDateTime());
        master.fieldByName(AlarmField::DateEnd).setAsDateTime(ValueOf(source.fieldByName(AlarmField::DateEnd)));
        for (const QString &name :
             {AlarmField::DateEndUsed, AlarmField::Title, AlarmField::Enabled, AlarmField::Comments, AlarmField::Sound,
              AlarmField::Priority, AlarmField::Period, AlarmField::Application, AlarmField::AppSilent})
            master.fieldByName(name).setValue(source.fieldByName(name).value());
        // Saved at once (the title rule and the save apply), not left open.
        master.post();
        m_alarms->RefreshCurrentView();
    } catch (...) {
        // A copy that could not be kept is not left half made in the editor.
        if (Editing())
            master.cancel();
        throw;
    }
}

void TfmKaMain::btnListDelClick()
{
    Table &master = m_alarms->cdsAlarms;
    if (!master.active() || master.isEmpty())
        return;
    // Always asked, whatever the options say.
    const QString text = Tr(QStringLiteral("Delete alarm "), QStringLiteral("Effacer l'alarme ")) +
                         QStringLiteral(" ( ") + master.fieldByName(AlarmField::Title).asString() +
                         QStringLiteral(" ) ?");
    if (ShowMessageDialog(text, mtConfirmation, mbYes | mbNo) != mrYes)
        return;
    std::exception_ptr failure;
    {
        const DisplaySuspension quiet(master);
        try {
            master.edit();
            master.fieldByName(AlarmField::Deleted).setAsInteger(1);
            master.post();
            m_alarms->RefreshSource(m_alarms->dsTrash);
        } catch (...) {
            failure = std::current_exception();
            // An alarm that could not be moved stays as it was.
            if (Editing())
                master.cancel();
        }
    }
    try {
        m_alarms->RefreshCurrentView();
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
    } else {
        if (cbxOptionsConfirmEdit->isChecked() &&
            ShowMessageDialog(Tr(QStringLiteral("Post changes ?"), QStringLiteral("Valider les modifications ?")),
                              mtConfirmation, mbYes | mbNo) != mrYes)
            return;
        // An empty title fails here ("Enter a Title !"): the record stays open.
        m_alarms->cdsAlarms.post();
        m_alarms->RefreshCurrentView();
    }
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
    // A new record is dropped (the store clears Inserting).
    m_alarms->cdsAlarms.cancel();
    m_alarms->RefreshCurrentView();
    if (BackToCalendar) {
        BackToCalendar = false;
        btnMenuClick(btnMenuCalendar);
    }
}

void TfmKaMain::grdListDblClick()
{
    if (btnListEdit->isEnabled())
        btnListEdit->click();
}

bool TfmKaMain::grdListKeyDown(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        grdListDblClick();
        return true;
    case Qt::Key_Insert:
        if (btnListAdd->isEnabled())
            btnListAdd->click();
        return true;
    case Qt::Key_Delete:
        if (btnListDel->isEnabled())
            btnListDel->click();
        return true;
    default:
        return false;
    }
}

bool TfmKaMain::DoKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    // Only while an alarm is edited; Enter alone keeps its meaning.
    if (!btnListCancel->isEnabled())
        return false;
    if (key == Qt::Key_Escape) {
        btnListCancel->click();
        return true;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && (modifiers & Qt::AltModifier)) {
        btnListPost->click();
        return true;
    }
    return false;
}

void TfmKaMain::GridTitleClick(TDataGrid *grid, const QString &field)
{
    Table &view = grid == grdCalendar ? m_alarms->cdsCalendar
                  : grid == grdTrash  ? m_alarms->cdsTrash
                                      : m_alarms->cdsList;
    // Ordered by the stored value (numbers as numbers), until the next click.
    if (!field.isEmpty() && view.findField(field))
        view.setIndexFieldName(field);
}

QString TfmKaMain::ProgramFilesDir()
{
#ifdef Q_OS_WIN
    const QSettings key(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion"),
                        QSettings::NativeFormat);
    return key.value(QStringLiteral("ProgramFilesDir")).toString();
#else
    return QStringLiteral("/usr/bin");
#endif
}

void TfmKaMain::edtEditAppButtonClick()
{
    if (!Editing())
        return;
    // The folder of the current value when it exists, else the programs'.
    const QString value = m_alarms->cdsAlarms.fieldByName(AlarmField::Application).asString();
    qsizetype cut = value.lastIndexOf(QLatin1Char('/'));
#ifdef Q_OS_WIN
    cut = std::max(cut, value.lastIndexOf(QLatin1Char('\\')));
#endif
    QString folder = cut >= 0 ? value.left(cut + 1) : QString();
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = ProgramFilesDir();
    FileDialogRequest request;
    request.title = QStringLiteral("Select Application File...");
    request.filter = QStringLiteral("Program Files|*.exe;*.com;*.bat|All Files|*.*");
    request.defaultExtension = QStringLiteral("exe");
    request.folder = folder;
    request.programs = true;
    const QString chosen = ShowFileDialog(request);
    // The chosen path becomes the value, which marks the record modified.
    if (!chosen.isEmpty())
        edtEditApp->setText(chosen);
}
