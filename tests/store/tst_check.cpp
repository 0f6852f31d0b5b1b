// The due-alarm check of the data module, without windows: a stand-in alarm
// box answers from a list, the clock is fixed, launches are recorded. Covers
// the periodicity steps (month ends, leap years, working days, skipped
// occurrences, end dates), what each answer does to the records, the phases
// of the start-up, timer and exit checks, the order and the stops.
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "store/D_KA_Alarms.h"
#include "support/TestSupport.h"

#include <QTest>

using namespace store;
using namespace testsupport;

namespace {

using Kind = TdmKaAlarms::CheckKind;

QDateTime At(int y, int mo, int d, int h, int mi, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

TDateTime T(const QDateTime &dt)
{
    return zel::ToDateTime(dt);
}

// An alarm box that answers from a list and notes what it was shown.
class FakeBox : public TKaAlarmBox
{
public:
    explicit FakeBox(TdmKaAlarms &dm) : m_dm(dm) {}

    int DisplayAlarm(int &m) override
    {
        const Table &v = m_dm.cdsThread;
        shown << v.fieldByName(AlarmField::Title).asString();
        shownNumbers << v.fieldByName(AlarmField::Number).asInteger();
        if (onDisplay)
            onDisplay();
        const int answer = answers.isEmpty() ? abrDelete : answers.takeFirst();
        if (answer != abrNone)
            m = minutes;
        return answer;
    }

    QList<int> answers;
    int minutes = 10;
    QStringList shown;
    QList<int> shownNumbers;
    std::function<void()> onDisplay;

private:
    TdmKaAlarms &m_dm;
};

struct Alarm
{
    QString title = QStringLiteral("Alarm");
    TDateTime date = 0;
    int period = 0;
    QString application;
    int enabled = 1;
    int deleted = 0;
    int dateEndUsed = 0;
    TDateTime dateEnd = 0;
};

// Appends a whole record in field order (through the record rules).
int Add(TdmKaAlarms &dm, const Alarm &a)
{
    const int number = dm.NextNumber();
    dm.cdsAlarms.appendRecord({number, a.date, a.dateEndUsed ? QVariant(a.dateEnd) : QVariant(), a.dateEndUsed, a.title,
                               a.enabled, 2, QStringLiteral("Some words"), 1, a.period, a.application, 0, a.deleted});
    return number;
}

// The master's values of a record.
struct Record
{
    bool exists = false;
    TDateTime date = 0;
    int period = -1;
    int deleted = -1;
    QString title;
};

Record Get(TdmKaAlarms &dm, int number)
{
    Record r;
    Table &t = dm.cdsAlarms;
    if (!t.locate(AlarmField::Number, number))
        return r;
    r.exists = true;
    r.date = t.fieldByName(AlarmField::Date).asDateTime();
    r.period = t.fieldByName(AlarmField::Period).asInteger();
    r.deleted = t.fieldByName(AlarmField::Deleted).asInteger();
    r.title = t.fieldByName(AlarmField::Title).asString();
    return r;
}

// A data module with a host, a box and a launch recorder, in the timer phase.
struct Check
{
    Check()
    {
        ClearDataDir();
        dm = std::make_unique<TdmKaAlarms>();
        box = std::make_unique<FakeBox>(*dm);
        dm->SetHost(&host);
        dm->SetAlarmBox(box.get());
        dm->LaunchApplication = [this](const QString &app) {
            launched << app;
            return launchResult;
        };
        ZELApplication()->AppPhase = apRunning;
    }
    ~Check()
    {
        ZELApplication()->AppPhase = apRunning;
        dm->SetHost(nullptr);
    }
    void run(Kind kind)
    {
        if (kind == Kind::Exit) {
            dm->CheckExitAlarms();
            return;
        }
        ZELApplication()->AppPhase = kind == Kind::Startup ? apStartupCheck : apRunning;
        dm->CheckAlarms();
        ZELApplication()->AppPhase = apRunning;
    }

    FakeHost host;
    std::unique_ptr<TdmKaAlarms> dm;
    std::unique_ptr<FakeBox> box;
    QStringList launched;
    int launchResult = 42;
};

} // namespace

class TestCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { InitProgramUnits(); }

    // Each periodicity from a date, closed at a given time: the next
    // occurrence that is appended (none when invalid).
    void nextOccurrence_data()
    {
        QTest::addColumn<int>("period");
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QDateTime>("closedAt");
        QTest::addColumn<QDateTime>("dateEnd"); // invalid: no end date
        QTest::addColumn<QDateTime>("next");    // invalid: no next occurrence

        const QDateTime none;
        QTest::newRow("daily, two days off")
            << 2 << At(2024, 3, 10, 8, 0) << At(2024, 3, 12, 9, 15) << none << At(2024, 3, 13, 8, 0);
        QTest::newRow("daily, closed before the next")
            << 2 << At(2024, 3, 10, 8, 0) << At(2024, 3, 10, 8, 1) << none << At(2024, 3, 11, 8, 0);
        QTest::newRow("monthly, 31 Jan 2023")
            << 5 << At(2023, 1, 31, 10, 0) << At(2023, 1, 31, 10, 0) << none << At(2023, 3, 3, 10, 0);
        QTest::newRow("monthly, 31 Jan 2024 (leap)")
            << 5 << At(2024, 1, 31, 10, 0) << At(2024, 1, 31, 10, 0) << none << At(2024, 3, 2, 10, 0);
        QTest::newRow("monthly, 15 Feb 2024")
            << 5 << At(2024, 2, 15, 10, 0) << At(2024, 2, 15, 10, 0) << none << At(2024, 3, 15, 10, 0);
        QTest::newRow("monthly, 30 Apr") << 5 << At(2024, 4, 30, 7, 30) << At(2024, 4, 30, 7, 30) << none
                                         << At(2024, 5, 30, 7, 30);
        QTest::newRow("yearly, 1 Mar 2023")
            << 6 << At(2023, 3, 1, 9, 0) << At(2023, 3, 1, 9, 0) << none << At(2024, 2, 29, 9, 0);
        QTest::newRow("yearly, 1 Mar 2024")
            << 6 << At(2024, 3, 1, 9, 0) << At(2024, 3, 1, 9, 0) << none << At(2025, 3, 1, 9, 0);
        QTest::newRow("open day, Friday")
            << 3 << At(2024, 3, 8, 9, 0) << At(2024, 3, 8, 9, 0) << none << At(2024, 3, 11, 9, 0);
        QTest::newRow("open day, Saturday")
            << 3 << At(2024, 3, 9, 9, 0) << At(2024, 3, 9, 9, 0) << none << At(2024, 3, 10, 9, 0);
        QTest::newRow("open day, Friday missed")
            << 3 << At(2024, 3, 8, 9, 0) << At(2024, 3, 11, 10, 0) << none << At(2024, 3, 12, 9, 0);
        QTest::newRow("hourly, closed at 12:20")
            << 1 << At(2024, 3, 8, 10, 0) << At(2024, 3, 8, 12, 20) << none << At(2024, 3, 8, 13, 0);
        QTest::newRow("hourly, across midnight")
            << 1 << At(2024, 12, 31, 23, 0) << At(2024, 12, 31, 23, 5) << none << At(2025, 1, 1, 0, 0);
        QTest::newRow("weekly") << 4 << At(2024, 2, 26, 18, 45) << At(2024, 2, 26, 18, 50) << none
                                << At(2024, 3, 4, 18, 45);
        QTest::newRow("weekly, a month off")
            << 4 << At(2024, 2, 26, 18, 45) << At(2024, 3, 27, 8, 0) << none << At(2024, 4, 1, 18, 45);
        QTest::newRow("end date after the next")
            << 2 << At(2024, 3, 30, 8, 0) << At(2024, 3, 30, 8, 0) << At(2024, 3, 31, 23, 59) << At(2024, 3, 31, 8, 0);
        QTest::newRow("end date before the next")
            << 2 << At(2024, 3, 31, 8, 0) << At(2024, 3, 31, 8, 0) << At(2024, 3, 31, 23, 59) << none;
        QTest::newRow("end date equal to the next")
            << 4 << At(2024, 3, 1, 8, 0) << At(2024, 3, 1, 8, 0) << At(2024, 3, 8, 8, 0) << At(2024, 3, 8, 8, 0);
        QTest::newRow("end date passed while off")
            << 2 << At(2024, 3, 1, 8, 0) << At(2024, 3, 5, 8, 0) << At(2024, 3, 3, 8, 0) << none;
    }

    void nextOccurrence()
    {
        QFETCH(int, period);
        QFETCH(QDateTime, date);
        QFETCH(QDateTime, closedAt);
        QFETCH(QDateTime, dateEnd);
        QFETCH(QDateTime, next);

        FixedClock clock(closedAt);
        Check c;
        Alarm a;
        a.title = QStringLiteral("Series");
        a.date = T(date);
        a.period = period;
        a.application = QStringLiteral("/bin/true");
        a.dateEndUsed = dateEnd.isValid() ? 1 : 0;
        a.dateEnd = dateEnd.isValid() ? T(dateEnd) : 0;
        const int fired = Add(*c.dm, a);
        c.box->answers = {abrClose};
        c.run(Kind::Timer);

        QCOMPARE(c.box->shown, QStringList{QStringLiteral("Series")});
        QCOMPARE(c.launched, QStringList{QStringLiteral("/bin/true")});
        const Record old = Get(*c.dm, fired);
        QCOMPARE(old.deleted, 1);
        QCOMPARE(old.period, 0);
        QCOMPARE(old.date, T(date));
        const Record created = Get(*c.dm, fired + 1);
        QCOMPARE(created.exists, next.isValid());
        QCOMPARE(c.dm->cdsAlarms.recordCount(), next.isValid() ? 2 : 1);
        if (!next.isValid())
            return;
        QCOMPARE(zel::ToQDateTime(created.date), next);
        QCOMPARE(created.period, period);
        QCOMPARE(created.deleted, 0);
        // Every other field is carried over, in its place.
        Table &t = c.dm->cdsAlarms;
        QCOMPARE(t.fieldByName(AlarmField::Title).asString(), QStringLiteral("Series"));
        QCOMPARE(t.fieldByName(AlarmField::Priority).asInteger(), 2);
        QCOMPARE(t.fieldByName(AlarmField::Comments).asString(), QStringLiteral("Some words"));
        QCOMPARE(t.fieldByName(AlarmField::Sound).asInteger(), 1);
        QCOMPARE(t.fieldByName(AlarmField::Application).asString(), QStringLiteral("/bin/true"));
        QCOMPARE(t.fieldByName(AlarmField::Enabled).asInteger(), 1);
        QCOMPARE(t.fieldByName(AlarmField::DateEndUsed).asInteger(), a.dateEndUsed);
        QCOMPARE(t.fieldByName(AlarmField::DateEnd).isNull(), !dateEnd.isValid());
        // The data file holds the result.
        TdmKaAlarms reread;
        QCOMPARE(reread.cdsAlarms.recordCount(), 2);
    }

    // Many steps in a row stay on the minute (no drift from the arithmetic).
    void stepsKeepTheTime()
    {
        TDateTime p = T(At(2024, 1, 1, 10, 0));
        for (int i = 0; i < 24 * 400; ++i)
            p = TdmKaAlarms::PeriodStep(1, p);
        QCOMPARE(zel::ToQDateTime(p), At(2025, 2, 4, 10, 0));
        const TDateTime d = T(At(2024, 1, 31, 10, 0));
        for (int period : {7, 8, 9, 10, 0, 11})
            QCOMPARE(TdmKaAlarms::NextOccurrence(period, d, d + 100), d);
    }

    // What each answer does: launch, next occurrence, fired record.
    void answers_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("period");
        QTest::addColumn<bool>("launch");
        QTest::addColumn<bool>("next");
        QTest::addColumn<bool>("postponed");

        QTest::newRow("display failed, weekly") << int(abrNone) << 4 << true << false << false;
        QTest::newRow("close, weekly") << int(abrClose) << 4 << true << true << false;
        QTest::newRow("delete, daily") << int(abrDelete) << 2 << true << false << false;
        QTest::newRow("remember, weekly") << int(abrRemember) << 4 << false << true << true;
        QTest::newRow("no launch, weekly") << int(abrNoLaunch) << 4 << false << true << false;
        QTest::newRow("close, one-time") << int(abrClose) << 0 << true << false << false;
        QTest::newRow("remember, one-time") << int(abrRemember) << 0 << false << false << true;
    }

    void answers()
    {
        QFETCH(int, answer);
        QFETCH(int, period);
        QFETCH(bool, launch);
        QFETCH(bool, next);
        QFETCH(bool, postponed);

        const QDateTime now = At(2024, 3, 12, 9, 15, 20);
        FixedClock clock(now);
        Check c;
        Alarm a;
        a.date = T(At(2024, 3, 12, 9, 0));
        a.period = period;
        a.application = QStringLiteral("/opt/app");
        const int fired = Add(*c.dm, a);
        c.box->answers = {answer};
        c.box->minutes = 10;
        c.run(Kind::Timer);

        QCOMPARE(c.launched.size(), launch ? 1 : 0);
        QCOMPARE(Get(*c.dm, fired + 1).exists, next);
        // Step on: the fired record became a one-time record; otherwise it
        // keeps its periodicity (restoring it from the trash goes on with it).
        const Record old = Get(*c.dm, fired);
        QCOMPARE(old.period, next ? 0 : period);
        if (postponed) {
            QCOMPARE(old.deleted, 0);
            QCOMPARE(zel::ToQDateTime(old.date), now.addSecs(600));
        } else {
            QCOMPARE(old.deleted, 1);
            QCOMPARE(old.date, a.date);
        }
    }

    // Remember with 0 minutes: the alarm keeps the seconds of now, so the
    // same check does not show it again, and the next one after the start of
    // the next minute does.
    void rememberZeroMinutes()
    {
        FixedClock clock(At(2024, 3, 12, 9, 15, 0));
        Check c;
        Alarm a;
        a.date = T(At(2024, 3, 12, 9, 15));
        const int n = Add(*c.dm, a);
        c.box->answers = {abrRemember};
        c.box->minutes = 0;
        c.run(Kind::Timer);
        QCOMPARE(c.box->shown.size(), 1);
        QCOMPARE(zel::ToQDateTime(Get(*c.dm, n).date), At(2024, 3, 12, 9, 15, 0));
        c.box->answers = {abrRemember};
        c.run(Kind::Timer);
        QCOMPARE(c.box->shown.size(), 2);
    }

    // The due condition compares with now cut to the minute.
    void dueToTheMinute()
    {
        FixedClock clock(At(2024, 3, 12, 10, 29, 59));
        Check c;
        Alarm a;
        a.date = T(At(2024, 3, 12, 10, 30));
        const int n = Add(*c.dm, a);
        c.run(Kind::Timer);
        QVERIFY(c.box->shown.isEmpty());
        clock.set(At(2024, 3, 12, 10, 30, 0));
        c.box->answers = {abrRemember};
        c.box->minutes = 5;
        c.box->onDisplay = [&] { clock.set(At(2024, 3, 12, 10, 30, 20)); };
        c.run(Kind::Timer);
        QCOMPARE(c.box->shown.size(), 1);
        c.box->onDisplay = nullptr;
        QCOMPARE(zel::ToQDateTime(Get(*c.dm, n).date), At(2024, 3, 12, 10, 35, 20));
        clock.set(At(2024, 3, 12, 10, 35, 59));
        c.run(Kind::Timer);
        QCOMPARE(c.box->shown.size(), 1);
        clock.set(At(2024, 3, 12, 10, 36, 0));
        c.run(Kind::Timer);
        QCOMPARE(c.box->shown.size(), 2);
    }

    // Only enabled alarms outside the trash come up, earliest first, all in
    // one check.
    void selectionAndOrder()
    {
        FixedClock clock(At(2024, 3, 12, 12, 0));
        Check c;
        const auto add = [&](const QString &title, const QDateTime &date, int enabled, int deleted) {
            Alarm a;
            a.title = title;
            a.date = T(date);
            a.enabled = enabled;
            a.deleted = deleted;
            return Add(*c.dm, a);
        };
        add(QStringLiteral("later"), At(2024, 3, 12, 11, 0), 1, 0);
        add(QStringLiteral("off"), At(2001, 1, 1, 0, 0), 0, 0);
        add(QStringLiteral("trash"), At(2024, 3, 1, 0, 0), 1, 1);
        add(QStringLiteral("future"), At(2024, 3, 12, 12, 1), 1, 0);
        add(QStringLiteral("earlier"), At(2024, 3, 10, 8, 0), 1, 0);
        add(QStringLiteral("same time"), At(2024, 3, 12, 11, 0), 1, 0);
        c.run(Kind::Timer);
        QCOMPARE(c.box->shown,
                 (QStringList{QStringLiteral("earlier"), QStringLiteral("later"), QStringLiteral("same time")}));
        c.run(Kind::Timer);
        QCOMPARE(c.box->shown.size(), 3);
    }

    // Which periodicities each kind of check fires, and what becomes of them.
    void phases()
    {
        FixedClock clock(At(2024, 3, 12, 12, 0));
        Check c;
        QMap<int, int> number; // period -> record
        for (int period : {7, 8, 9, 10, 12}) {
            Alarm a;
            a.title = QStringLiteral("p%1").arg(period);
            a.date = T(At(2024, 3, 12, 8, period));
            a.period = period;
            number[period] = Add(*c.dm, a);
        }
        Alarm plain;
        plain.title = QStringLiteral("plain");
        plain.date = T(At(2024, 3, 12, 9, 0));
        Add(*c.dm, plain);

        // The timer passes the start and exit ones over and goes on.
        c.box->answers = {abrClose, abrClose};
        c.run(Kind::Timer);
        QCOMPARE(c.box->shown, (QStringList{QStringLiteral("p12"), QStringLiteral("plain")}));
        const Record unknown = Get(*c.dm, number[12]);
        QCOMPARE(unknown.deleted, 1);
        QCOMPARE(c.dm->cdsAlarms.recordCount(), 6); // no next occurrence for 12

        // The start-up run fires 7 and 9 (9 again with its own date).
        c.box->shown.clear();
        c.box->answers = {abrClose, abrClose};
        c.run(Kind::Startup);
        QCOMPARE(c.box->shown, (QStringList{QStringLiteral("p7"), QStringLiteral("p9")}));
        QCOMPARE(Get(*c.dm, number[7]).deleted, 1);
        QCOMPARE(Get(*c.dm, number[9]).deleted, 1);
        QCOMPARE(c.dm->cdsAlarms.recordCount(), 7);
        const int again = c.dm->NextNumber() - 1;
        const Record nine = Get(*c.dm, again);
        QCOMPARE(nine.title, QStringLiteral("p9"));
        QCOMPARE(nine.period, 9);
        QCOMPARE(nine.date, T(At(2024, 3, 12, 8, 9)));

        // The exit check fires 8 and 10 only.
        c.box->shown.clear();
        c.box->answers = {abrClose, abrClose};
        c.run(Kind::Exit);
        QCOMPARE(c.box->shown, (QStringList{QStringLiteral("p8"), QStringLiteral("p10")}));
        QCOMPARE(Get(*c.dm, number[8]).deleted, 1);
        const Record ten = Get(*c.dm, c.dm->NextNumber() - 1);
        QCOMPARE(ten.title, QStringLiteral("p10"));
        QCOMPARE(ten.period, 10);
        QCOMPARE(ten.deleted, 0);

        // The next start fires the re-created 9 once more, nothing else.
        c.box->shown.clear();
        c.run(Kind::Startup);
        QCOMPARE(c.box->shown, QStringList{QStringLiteral("p9")});
    }

    void phaseTable()
    {
        for (int p = 0; p <= 12; ++p) {
            const bool start = p == 7 || p == 9;
            const bool exit = p == 8 || p == 10;
            QCOMPARE(TdmKaAlarms::PeriodHandled(p, Kind::Startup), !exit);
            QCOMPARE(TdmKaAlarms::PeriodHandled(p, Kind::Timer), !start && !exit);
            QCOMPARE(TdmKaAlarms::PeriodHandled(p, Kind::Exit), exit);
        }
    }

    // While the main window is shown (or when there is none) nothing fires;
    // the alarms fire at the first check after it is hidden.
    void mainWindowInFront()
    {
        FixedClock clock(At(2024, 3, 12, 12, 0));
        Check c;
        Alarm a;
        a.date = T(At(2024, 3, 12, 11, 0));
        Add(*c.dm, a);
        Add(*c.dm, a);
        c.host.visible = true;
        c.run(Kind::Timer);
        QVERIFY(c.box->shown.isEmpty());
        c.dm->SetHost(nullptr);
        c.run(Kind::Timer);
        QVERIFY(c.box->shown.isEmpty());
        c.dm->SetHost(&c.host);
        // The window shown while the first box is open stops the check
        // before the second alarm.
        c.host.visible = false;
        c.box->onDisplay = [&] { c.host.visible = true; };
        c.run(Kind::Timer);
        QCOMPARE(c.box->shown.size(), 1);
        c.host.visible = false;
        c.box->onDisplay = nullptr;
        c.run(Kind::Timer);
        QCOMPARE(c.box->shown.size(), 2);
        QCOMPARE(Get(*c.dm, 1).deleted, 1);
        QCOMPARE(Get(*c.dm, 2).deleted, 1);
    }

    // A refused launch is reported and the alarm handled as usual.
    void launchFailure()
    {
        FixedClock clock(At(2024, 3, 12, 12, 0));
        Check c;
        Alarm a;
        a.date = T(At(2024, 3, 12, 11, 0));
        a.application = QStringLiteral("/no/such/program");
        const int n = Add(*c.dm, a);
        c.launchResult = 2;
        QList<MessageDialogRequest> dialogs;
        SetMessageDialogHook([&](const MessageDialogRequest &r) {
            dialogs << r;
            return int(mrOk);
        });
        c.run(Kind::Timer);
        SetMessageDialogHook({});
        QCOMPARE(dialogs.size(), 1);
        QCOMPARE(dialogs[0].text, QStringLiteral("Launching application ( /no/such/program ) error ..."));
        QCOMPARE(dialogs[0].type, int(mtError));
        QCOMPARE(dialogs[0].buttons, int(mbOK));
        QCOMPARE(Get(*c.dm, n).deleted, 1);
    }

    // A post that fails ends the check with "Alarm Error : "; the alarm stays
    // due and nothing half-edited is left behind.
    void failureEndsTheCheck()
    {
        FixedClock clock(At(2024, 3, 12, 12, 0));
        Check c;
        Alarm a;
        a.title = QString(); // an imported record without a title
        a.date = T(At(2024, 3, 12, 10, 0));
        c.dm->Loading = true;
        const int n = Add(*c.dm, a);
        c.dm->Loading = false;
        a.title = QStringLiteral("second");
        a.date = T(At(2024, 3, 12, 11, 0));
        Add(*c.dm, a);
        ErrorTexts errors;
        c.run(Kind::Timer);
        QCOMPARE(errors.texts, QStringList{QStringLiteral("Alarm Error : Enter a Title !")});
        QCOMPARE(c.box->shown.size(), 1);
        QCOMPARE(Get(*c.dm, n).deleted, 0);
        QCOMPARE(c.dm->cdsAlarms.state(), DataSetState::Browse);
        // The next check meets it again.
        c.run(Kind::Timer);
        QCOMPARE(c.box->shown.size(), 2);
    }

    // The timer's thread asks whether a check may find anything: after a
    // timer check that fired nothing, not until the next alarm ahead comes
    // due (one kept for the start does not count as due) or the master
    // changes; after a check that fired, or one the open window held back,
    // at once.
    void timerCheckNeeded()
    {
        FixedClock clock(At(2024, 3, 12, 12, 0, 30));
        Check c;
        const TDateTime noon = T(At(2024, 3, 12, 12, 0, 30));
        QVERIFY(c.dm->TimerCheckNeeded(noon)); // no check yet
        Alarm start;
        start.date = T(At(2024, 3, 1, 8, 0));
        start.period = 9;
        Add(*c.dm, start);
        Alarm later;
        later.date = T(At(2024, 3, 12, 12, 5, 20));
        later.period = 2;
        const int n = Add(*c.dm, later);
        Alarm off = later;
        off.date = T(At(2024, 3, 12, 12, 1));
        off.enabled = 0;
        Add(*c.dm, off);

        c.run(Kind::Timer);
        QVERIFY(c.box->shown.isEmpty());
        QVERIFY(!c.dm->TimerCheckNeeded(noon));
        QVERIFY(!c.dm->TimerCheckNeeded(T(At(2024, 3, 12, 12, 5, 19))));
        QVERIFY(c.dm->TimerCheckNeeded(T(At(2024, 3, 12, 12, 5, 20))));

        // A change of the master: check again, then quiet again.
        QVERIFY(c.dm->cdsAlarms.locate(AlarmField::Number, n));
        c.dm->cdsAlarms.edit();
        c.dm->cdsAlarms.fieldByName(AlarmField::Title).setAsString(QStringLiteral("renamed"));
        c.dm->cdsAlarms.post();
        QVERIFY(c.dm->TimerCheckNeeded(noon));
        c.run(Kind::Timer);
        QVERIFY(!c.dm->TimerCheckNeeded(noon));

        // Due, but the main window is in front: the next tick checks again.
        clock.set(At(2024, 3, 12, 12, 6));
        c.host.visible = true;
        c.run(Kind::Timer);
        QVERIFY(c.box->shown.isEmpty());
        QVERIFY(c.dm->TimerCheckNeeded(noon));
        // Fired (Remember: a one-time alarm in 10 minutes and the next day's):
        // the check after it runs, finds nothing, and waits for the
        // postponed one.
        c.host.visible = false;
        c.box->answers = {abrRemember};
        c.run(Kind::Timer);
        QCOMPARE(c.box->shown, QStringList(QStringLiteral("renamed")));
        QVERIFY(c.dm->TimerCheckNeeded(T(At(2024, 3, 12, 12, 6))));
        c.run(Kind::Timer);
        QCOMPARE(c.box->shown.size(), 1);
        QVERIFY(!c.dm->TimerCheckNeeded(T(At(2024, 3, 12, 12, 15))));
        QVERIFY(c.dm->TimerCheckNeeded(T(At(2024, 3, 12, 12, 16))));
    }

    // A silent abort of the box (the session ended while it was open) ends
    // the check without a message: the alarm's program is not launched and
    // the alarm stays as it was.
    void silentAbort()
    {
        FixedClock clock(At(2024, 3, 12, 12, 0));
        Check c;
        Alarm a;
        a.date = T(At(2024, 3, 12, 10, 0));
        a.application = QStringLiteral("/bin/true");
        const int n = Add(*c.dm, a);
        c.box->onDisplay = [] { throw EAbort(); };
        ErrorTexts errors;
        c.run(Kind::Timer);
        QVERIFY(errors.texts.isEmpty());
        QVERIFY(c.launched.isEmpty());
        QCOMPARE(Get(*c.dm, n).deleted, 0);
        QCOMPARE(Get(*c.dm, n).date, a.date);
    }
};

QTEST_MAIN(TestCheck)
#include "tst_check.moc"
