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
};
