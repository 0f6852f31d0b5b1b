#pragma once

#include "diag/ZelDateTime.h"
#include "store/D_KA_Alarms.h"

#include <QDateTime>
#include <QStringList>

class TfmKaMain;

namespace testsupport {

// Initialises the program's shared unit as the program does at start (time
// formats, data folder). Tests run in a temporary HOME (run-isolated).
void InitProgramUnits();

// The per-user data folder and the data file of this test run.
QString DataDir();
QString DataFile();
// Removes every file of the data folder.
void ClearDataDir();
// Removes every stored setting of the program.
void ClearSettings();

// Captures the texts shown by ShowErrorText while alive.
class ErrorTexts
{
public:
    ErrorTexts();
    ~ErrorTexts();
    QStringList texts;
};

// Sets the program's clock to a fixed local time while alive.
class FixedClock
{
public:
    explicit FixedClock(const QDateTime &now);
    ~FixedClock();
    void set(const QDateTime &now);

private:
    QDateTime m_now;
};

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

    int repaints = 0;
    int pageTag = 1;
    int language = 0;
    store::Field *boundField = nullptr;
    int periodicityIndex = -1;
};

// A fresh start of the program's data module and main window, with an empty
// data folder and no stored settings, in English.
struct ProgramFixture
{
    TdmKaAlarms *dm = nullptr;
    TfmKaMain *window = nullptr;

    void start();
    // A new main window, as at the next run (it restores the settings).
    void restartWindow();
    void stop();
};

// Appends and posts an alarm to the master through the record rules.
void AddAlarm(TdmKaAlarms &dm, TDateTime date, const QString &title = QStringLiteral("Alarm"), int deleted = 0,
              int enabled = 1, int period = 0, const QString &application = QString());

// Writes a data file from a field list and rows (for import fixtures); a null
// QVariant is a null value.
void WritePacket(const QString &fileName, const QList<store::FieldDef> &fields, const QList<QVariantList> &rows);

} // namespace testsupport
