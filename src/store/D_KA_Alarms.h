#pragma once

#include "store/KaAlarmsHost.h"
#include "store/TableEngine.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <atomic>
#include <functional>

class TProgressWindow;

// Fields of AlarmRecord, in order (also the order of the values of a record
// appended in one call).
namespace AlarmField {
inline const QString Number = QStringLiteral("Number");
inline const QString Date = QStringLiteral("Date");
inline const QString DateEnd = QStringLiteral("DateEnd");
inline const QString DateEndUsed = QStringLiteral("DateEndUsed");
inline const QString Title = QStringLiteral("Title");
inline const QString Enabled = QStringLiteral("Enabled");
inline const QString Priority = QStringLiteral("Priority");
inline const QString Comments = QStringLiteral("Comments");
inline const QString Sound = QStringLiteral("Sound");
inline const QString Period = QStringLiteral("Period");
inline const QString Application = QStringLiteral("Application");
inline const QString AppSilent = QStringLiteral("AppSilent");
inline const QString Deleted = QStringLiteral("Deleted");
inline const QString IsThereApp = QStringLiteral("IsThereApp");
} // namespace AlarmField

// Display texts of the coded fields, index 0 English, 1 French.
extern const char *const PeriodicityNames[2][11];
extern const char *const PriorityNames[2][3];
extern const char *const BooleanTexts[2][2];
extern const char *const SwitchTexts[2];

// The data module: the master alarm table, its five views and their data
// sources, the record rules, the data file with its backups and the imports.
class TdmKaAlarms : public QObject
{
    Q_OBJECT

public:
    // Creates the tables and loads the data file (dmKaAlarmsCreate).
    explicit TdmKaAlarms(QObject *parent = nullptr);
    // Saves the data file and closes the tables (dmKaAlarmsDestroy).
    ~TdmKaAlarms() override;

    static QList<store::FieldDef> AlarmRecordFields();

    // Test seams of the data file's writing: every file write fails after the
    // given number of bytes, as on a full disk (-1, the default: never); the
    // backup is made as a second name of the data file where it can be (the
    // default) or always as a byte copy.
    static void SetWriteFailsAfter(qint64 bytes);
    static void SetBackupLinks(bool allowed);

    // The main window, or null when there is none.
    void SetHost(TKaAlarmsHost *host) { m_host = host; }
    TKaAlarmsHost *Host() const { return m_host; }
    // The alarm box, or null when there is none.
    void SetAlarmBox(TKaAlarmBox *box) { m_alarmBox = box; }
    TKaAlarmBox *AlarmBox() const { return m_alarmBox; }

    // Operations.
    int NextNumber();
    void LocateNumber(store::Table &table, int number, bool mustExist);
    void RefreshSource(store::DataSource &source);
    void RefreshCurrentView();
    void SaveDataFile();
    void ImportDataFile(const QString &fileName, bool silent);

    // The due-alarm check: every enabled alarm outside the trash whose date
    // has come, earliest first, is shown in the alarm box, its application is
    // launched, a periodic alarm goes on as a new record and the fired record
    // is postponed or moved to the trash. Which periodicities it handles
    // depends on the application's phase (the start-up run also fires the
    // start periodicities). Main thread only.
    void CheckAlarms();
    // The last check before the program closes: only the exit periodicities.
    void CheckExitAlarms();
    // Whether a check of the timer may find an alarm to fire at this moment.
    // False only while the master is as the last timer check left it, that
    // check fired nothing, and the moment lies before the next alarm it saw
    // ahead: the timer's thread then skips the hand-over to the main thread,
    // so an idle program wakes once a second and no more. Any thread.
    bool TimerCheckNeeded(TDateTime now) const noexcept;

    // Which due alarms a check handles.
    enum class CheckKind { Startup, Timer, Exit };
    static bool PeriodHandled(int period, CheckKind kind);
    // One step of a periodicity from a date (the date itself for periodicities
    // without a step), to the millisecond.
    static TDateTime PeriodStep(int period, TDateTime date);
    // The first step of a periodicity from a date that is not earlier than
    // now: missed occurrences are skipped.
    static TDateTime NextOccurrence(int period, TDateTime date, TDateTime now);

    // Hands an alarm's application to the desktop; returns the shell's result
    // (32 or less on failure). Tests replace it.
    std::function<int(const QString &application)> LaunchApplication;

    // Handlers of the data sources' notifications.
    void DataChange(store::DataSource *sender, store::Field *field);
    void StateChange(store::DataSource *sender);

    // State.
    bool Loading = false;
    bool SaveEnabled = false;
    int NewNumber = 1;
    bool Inserting = false;
    // Whether an import runs: its progress window lets other events run
    // meanwhile, and any other append or post of the master is refused until
    // it ends, so that the numbers it gives stay unique.
    bool ImportRunning() const { return m_importRunning; }
    // Whether the last load at start read the data file (false after a failure).
    bool LoadGood() const { return m_loadGood; }
    QString DataFileName() const { return cdsAlarms.fileName; }

    // The master table and the views, with their data sources.
    store::Table cdsAlarms;
    store::Table cdsList;
    store::Table cdsCalendar;
    store::Table cdsTrash;
    store::Table cdsThread;
    store::Table cdsReminder;
    store::DataSource dsAlarms;
    store::DataSource dsList;
    store::DataSource dsCalendar;
    store::DataSource dsTrash;
    store::DataSource dsThread;
    store::DataSource dsReminder;

    // The progress window of the imports and of the trash commands.
    TProgressWindow *ProgressDialog() const;

private:
    void dmKaAlarmsCreate();
    void dmKaAlarmsDestroy();
    void SetupView(store::Table &view, store::DataSource &source, const QString &filter);
    void SetupDisplayRules();
    void RunCheck(CheckKind kind);
    // After a timer check that fired nothing: the next alarm ahead of the
    // due filter's moment, with the master's change count.
    void NoteQuietUntilNextAlarm(TDateTime filterMoment);
    std::atomic<double> m_quietUntil{0};
    std::atomic<quint64> m_quietChanges{~quint64(0)};
    void FireAlarm(int number, int period, CheckKind kind);

    // Record rules attached to the master table.
    void cdsListBeforeInsert(store::Table &table);
    void cdsListAfterInsert(store::Table &table);
    void cdsListBeforePost(store::Table &table);
    void cdsListAfterPost(store::Table &table);
    void cdsListAfterCancel(store::Table &table);
    void cdsAlarmsCalcFields(store::Table &table);
    // Refuses a change of the master from outside a running import.
    void CheckNoImport() const;

    // Display texts.
    QString DateGetText(const store::Field &field, bool display) const;
    QString PeriodicityGetText(const store::Field &field, bool display) const;
    QString PriorityGetText(const store::Field &field, bool display) const;
    QString BooleanGetText(const store::Field &field, bool display) const;
    QString SwitchGetText(const store::Field &field, bool display) const;

    TKaAlarmsHost *m_host = nullptr;
    TKaAlarmBox *m_alarmBox = nullptr;
    store::Field *m_application = nullptr;
    store::Field *m_isThereApp = nullptr;
    bool m_loadGood = false;
    bool m_importRunning = false;
    // The import's own append and post are running.
    bool m_importPosting = false;
    mutable QPointer<TProgressWindow> m_progress;
};

// The data module of the running program (null before it is created and after
// it is destroyed).
extern TdmKaAlarms *dmKaAlarms;
