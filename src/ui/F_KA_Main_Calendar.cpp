// The calendar page of the main window: its tool bar, the grid on the
// calendar view and the place of the year planner.
#include "ui/F_KA_Main.h"
#include "ui/F_KA_Main_Parts.h"

#include "diag/U_ZEL_Utilities.h"
#include "store/D_KA_Alarms.h"

#include <QFrame>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

using namespace store;

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

    // The year planner stands here (196 pixels high).
    pnYearPlanner = new QFrame;
    pnYearPlanner->setObjectName(QStringLiteral("pnYearPlanner"));
    pnYearPlanner->setFixedHeight(196);
    pnYearPlanner->setFrameShape(QFrame::StyledPanel);
    layout->addWidget(pnYearPlanner);

    return page;
}
