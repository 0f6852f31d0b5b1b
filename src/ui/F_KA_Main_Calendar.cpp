// The calendar page of the main window: its tool bar, the grid on the
// calendar view with the alarms of the days selected in the year planner, and
// the year planner with the year's days that hold alarms filled in light
// yellow. Adding and editing are handed to the list page's editor, which
// brings the user back here afterwards.
#include "ui/F_KA_Main.h"
#include "ui/F_KA_Main_Parts.h"

#include "base/U_KA_Var.h"
#include "diag/U_ZEL_Utilities.h"
#include "store/D_KA_Alarms.h"
#include "ui/YearPlanner.h"

#include <QKeyEvent>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <exception>

using namespace store;
using KaVar::Tr;

namespace {

// The colour of a day that holds at least one alarm.
const QColor MarkedDay(255, 255, 128);

// Hands the key presses of a widget to a handler, which tells whether it used
// (swallowed) the key.
class KeyDownFilter : public QObject
{
public:
    KeyDownFilter(QObject *parent, std::function<bool(int)> handler) : QObject(parent), m_handler(std::move(handler)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
                return QObject::eventFilter(watched, event);
            return m_handler(key->key());
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool(int)> m_handler;
};

// Ends a display suspension begun with disableControls. The notifications it
// lets through may fail: the first failure is kept for the caller.
void Resume(Table &table, std::exception_ptr &failure)
{
    try {
        table.enableControls();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
}

} // namespace

QWidget *TfmKaMain::BuildCalendarPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("pgCalendar"));
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->setSpacing(3);

    btnCalendarDel = ToolButton(QStringLiteral("btnCalendarDel"), QStringLiteral("Delete"), QStringLiteral("delete"));
    btnCalendarCopy =
        ToolButton(QStringLiteral("btnCalendarCopy"), QStringLiteral("Duplicate"), QStringLiteral("duplicate"));
    btnCalendarAdd = ToolButton(QStringLiteral("btnCalendarAdd"), QStringLiteral("New"), QStringLiteral("new"));
    btnCalendarEdit = ToolButton(QStringLiteral("btnCalendarEdit"), QStringLiteral("Edit"), QStringLiteral("edit"));
    pnCalendarCount = CountCaption(QStringLiteral("pnCalendarCount"));
    NavigationButtons(QStringLiteral("Calendar"), m_alarms->cdsCalendar, btnCalendarFirst, btnCalendarPrior,
                      btnCalendarNext, btnCalendarLast);
    layout->addWidget(ToolBar(QStringLiteral("barCalendar"),
                              {btnCalendarDel, btnCalendarCopy, btnCalendarAdd, btnCalendarEdit}, pnCalendarCount,
                              {btnCalendarFirst, btnCalendarPrior, btnCalendarNext, btnCalendarLast}));

    grdCalendar = new TDataGrid(&m_alarms->dsCalendar, AlarmGridColumns(), QColor(255, 255, 224));
    grdCalendar->setObjectName(QStringLiteral("grdCalendar"));
    layout->addWidget(grdCalendar, 1);

    YearPlanner = new TYearPlanner;
    YearPlanner->setFixedHeight(196);
    layout->addWidget(YearPlanner);

    connect(btnCalendarAdd, &QToolButton::clicked, this, [this] { RunCommand([this] { btnCalendarAddClick(); }); });
    connect(btnCalendarEdit, &QToolButton::clicked, this, [this] { RunCommand([this] { btnCalendarEditClick(); }); });
    connect(btnCalendarDel, &QToolButton::clicked, this, [this] { RunCommand([this] { btnCalendarDelClick(); }); });
    connect(btnCalendarCopy, &QToolButton::clicked, this,
            [this] { RunCommand([this] { btnListCopyClick(btnCalendarCopy); }); });
    connect(grdCalendar, &QAbstractItemView::doubleClicked, this,
            [this] { RunCommand([this] { btnCalendarEditClick(); }); });
    grdCalendar->installEventFilter(new KeyDownFilter(grdCalendar, [this](int key) {
        bool used = false;
        RunCommand([this, key, &used] { used = grdCalendarKeyDown(key); });
        return used;
    }));
    connect(YearPlanner, &TYearPlanner::selectionMade, this, [this] { RunCommand([this] { YearPlannerClick(); }); });
    connect(YearPlanner, &TYearPlanner::yearChanged, this,
            [this] { RunCommand([this] { YearPlannerYearChanged(); }); });

    return page;
}

void TfmKaMain::SelectToday()
{
    const TDateTime today = std::floor(zel::Now());
    YearPlanner->setYear(zel::ToQDate(today).year());
    YearPlanner->setSelection(today, today);
    btnMenuClick(btnMenuCalendar);
}

void TfmKaMain::YearPlannerClick()
{
    // The alarms of the selected days: from the midnight that begins the
    // first day to the last value plus one day.
    const TDateTime first = YearPlanner->selectionStart();
    const TDateTime last = YearPlanner->selectionEnd();
    m_alarms->cdsCalendar.setFilter(QStringLiteral("Deleted = 0 and Date >= ") + zel::QuotedStr(zel::DateToStr(first)) +
                                    QStringLiteral(" and Date < ") +
                                    zel::QuotedStr(zel::DateTimeToStr(zel::RoundToMs(last + 1))));
    m_alarms->RefreshSource(m_alarms->dsCalendar);
    YearPlannerYearChanged();
}

void TfmKaMain::YearPlannerYearChanged()
{
    Table &view = m_alarms->cdsCalendar;
    const QString filter = view.filter();
    const QString order = view.indexFieldName();
    const bool hadRow = view.active() && !view.isEmpty();
    const int number = hadRow ? view.fieldByName(AlarmField::Number).asInteger() : 0;

    std::exception_ptr failure;
    view.disableControls();
    {
        try {
            // Every alarm of the planner's year that is not in the trash.
            const int year = YearPlanner->year();
            view.setFilter(QStringLiteral("Deleted = 0 and Date >= ") +
                           zel::QuotedStr(zel::DateToStr(zel::EncodeDate(year, 1, 1))) +
                           QStringLiteral(" and Date < ") +
                           zel::QuotedStr(zel::DateToStr(zel::EncodeDate(year + 1, 1, 1))));
            view.setIndexFieldName(AlarmField::Number);
            view.refresh();
            YearPlanner->clearCells();
            const Field &date = view.fieldByName(AlarmField::Date);
            for (int i = 0; i < view.recordCount(); ++i) {
                const QDate day = zel::ToQDate(view.withRow(i, [&date] { return date.asDateTime(); }));
                YearPlanner->setCellColor(day.month(), day.day(), MarkedDay);
                YearPlanner->setUseCellColor(day.month(), day.day(), true);
            }
        } catch (...) {
            failure = std::current_exception();
        }
        // The day filter, its order and its current alarm come back, whatever
        // happened above.
        try {
            view.setFilter(filter);
            view.setIndexFieldName(order);
            view.refresh();
            view.first();
            // Already on the first row, the view stays at its beginning.
            if (hadRow && (view.isEmpty() || view.fieldByName(AlarmField::Number).asInteger() != number))
                m_alarms->LocateNumber(view, number, false);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    Resume(view, failure);
    YearPlanner->update();
    if (failure)
        std::rethrow_exception(failure);
}

void TfmKaMain::btnCalendarAddClick()
{
    BackToCalendar = true;
    try {
        btnMenuClick(btnMenuList);
        btnListAddClick(nullptr);
    } catch (...) {
        // No alarm was started: nothing to come back from.
        if (!Editing())
            BackToCalendar = false;
        throw;
    }
    // The day of the planner's selection, at the new alarm's time of day.
    Field &date = m_alarms->cdsAlarms.fieldByName(AlarmField::Date);
    const TDateTime proposed = date.asDateTime();
    const TDateTime day = std::floor(YearPlanner->selectionStart());
    date.setAsDateTime(zel::RoundToMs(day + (proposed - std::floor(proposed))));
    LoadEditor();
    edtEditDate->showCalendar();
}

void TfmKaMain::btnCalendarEditClick()
{
    if (!btnCalendarEdit->isEnabled())
        return;
    const Table &view = m_alarms->cdsCalendar;
    if (!view.active() || view.isEmpty())
        return;
    const int number = view.fieldByName(AlarmField::Number).asInteger();
    btnMenuClick(btnMenuList);
    m_alarms->LocateNumber(m_alarms->cdsList, number, true);
    BackToCalendar = true;
    btnListEditClick();
}

void TfmKaMain::btnCalendarDelClick()
{
    const Table &view = m_alarms->cdsCalendar;
    if (!view.active() || view.isEmpty())
        return;
    const int number = view.fieldByName(AlarmField::Number).asInteger();
    const QString title = view.fieldByName(AlarmField::Title).asString();
    if (ShowMessageDialog(Tr(QStringLiteral("Delete alarm "), QStringLiteral("Effacer l'alarme ")) +
                              QStringLiteral(" ( ") + title + QStringLiteral(" ) ?"),
                          mtConfirmation, mbYes | mbNo) != mrYes)
        return;

    std::exception_ptr failure;
    Table &master = m_alarms->cdsAlarms;
    master.disableControls();
    {
        try {
            // The alarm asked about, whatever record the master was left on.
            m_alarms->LocateNumber(master, number, true);
            master.edit();
            try {
                master.fieldByName(AlarmField::Deleted).setAsInteger(1);
                master.post();
            } catch (...) {
                if (master.state() == DataSetState::Edit)
                    master.cancel();
                throw;
            }
            m_alarms->RefreshSource(m_alarms->dsTrash);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    Resume(master, failure);
    try {
        m_alarms->RefreshCurrentView();
        YearPlannerClick();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    if (failure)
        std::rethrow_exception(failure);
}

bool TfmKaMain::grdCalendarKeyDown(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (!btnCalendarEdit->isEnabled())
            return false;
        btnCalendarEditClick();
        return true;
    case Qt::Key_Insert:
        if (btnCalendarAdd->isEnabled())
            btnCalendarAddClick();
        return true;
    case Qt::Key_Delete:
        if (btnCalendarDel->isEnabled())
            btnCalendarDelClick();
        return true;
    default:
        return false;
    }
}
