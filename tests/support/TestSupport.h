#pragma once

#include "diag/ZelDateTime.h"
#include "store/D_KA_Alarms.h"
#include "support/BaseSupport.h"

// Seams and helpers for tests of the alarm store (no window is linked).
namespace testsupport {

// A main window stand-in for the store: English or French name tables, a page
// tag, a periodicity list that may be bound, and a count of repaints.
class FakeHost : public TKaAlarmsHost
{
public:
    void RefreshForm() override { ++repaints; }
    int CurrentPageTag() const override { return pageTag; }
    QString PeriodicityItem(int index) const override;
    QString PriorityItem(int index) const override;
    store::Field *PeriodicityListField() const override { return boundField; }
    void SetPeriodicityListIndex(int index) override { periodicityIndex = index; }
    bool MainWindowVisible() const override { return visible; }

    int repaints = 0;
    int pageTag = 1;
    int language = 0;
    store::Field *boundField = nullptr;
    int periodicityIndex = -1;
    bool visible = false;
};

// The state every store test starts from: an empty data folder, English.
void FreshStore();

// Appends and posts an alarm to the master through the record rules.
void AddAlarm(TdmKaAlarms &dm, TDateTime date, const QString &title = QStringLiteral("Alarm"), int deleted = 0,
              int enabled = 1, int period = 0, const QString &application = QString());

// Writes a data file from a field list and rows (for import fixtures); a null
// QVariant is a null value.
void WritePacket(const QString &fileName, const QList<store::FieldDef> &fields, const QList<QVariantList> &rows);

// An alarm's record in the data file as it is on disk now (exists false
// when the file holds no record of that number).
struct StoredAlarm
{
    bool exists = false;
    TDateTime date = 0;
    int deleted = -1;
    int period = -1;
};
StoredAlarm ReadStoredAlarm(int number);

} // namespace testsupport
