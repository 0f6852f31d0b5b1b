#pragma once

#include <QString>

namespace store {
class Field;
}

// What the alarm store needs of the main window: the store calls up through
// this interface (the window implements it), so the store and the due check
// run and are tested without any window. With no host the store behaves as it
// does with no main window.
class TKaAlarmsHost
{
public:
    virtual ~TKaAlarmsHost() = default;

    // Repaints the window's controls (its RefreshForm).
    virtual void RefreshForm() = 0;
    // The tag of the current page button: 0 calendar, 1 list, 2 trash, 3
    // options; -1 when there is no current page button.
    virtual int CurrentPageTag() const = 0;
    // Entry of the editor's periodicity list / priority group at an index;
    // empty when the index is out of range.
    virtual QString PeriodicityItem(int index) const = 0;
    virtual QString PriorityItem(int index) const = 0;
    // The field the editor's periodicity list is bound to, or null.
    virtual store::Field *PeriodicityListField() const = 0;
    virtual void SetPeriodicityListIndex(int index) = 0;
    // Whether the window is shown: due alarms wait while it is.
    virtual bool MainWindowVisible() const = 0;
};

// Answers of the alarm box (its modal results).
enum AlarmBoxResult : int {
    abrNone = 0,     // the display failed before the box was answered
    abrClose = 1,    // closed: a periodic alarm goes on with its next occurrence
    abrDelete = 2,   // deleted (also when the box was closed any other way)
    abrRemember = 4, // postponed by the minutes handed back
    abrNoLaunch = 5, // closed without launching the alarm's application
};

// What the due check needs of the alarm box: it shows the alarm at the current
// row of the check view and answers. The box implements it; tests answer from
// a table.
class TKaAlarmBox
{
public:
    virtual ~TKaAlarmBox() = default;
    // Shows the alarm and returns an AlarmBoxResult; when the box was shown,
    // minutes receives its remember minutes (0..360), otherwise it is left
    // as it was. Raises EAbort when there is no main window.
    virtual int DisplayAlarm(int &minutes) = 0;
};
