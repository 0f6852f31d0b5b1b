// The due-alarm check of the data module and the periodicity rules.
#include "store/D_KA_Alarms.h"

#include "base/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "diag/U_ZEL_Utilities.h"

#include <QDate>
#include <QSet>

#include <limits>

using namespace store;
using KaVar::Tr;

namespace {

// Periodicity codes.
constexpr int pdNone = 0;
constexpr int pdHour = 1;
constexpr int pdDay = 2;
constexpr int pdOpenDay = 3;
constexpr int pdWeek = 4;
constexpr int pdMonth = 5;
constexpr int pdYear = 6;
constexpr int pdStartOnce = 7;
constexpr int pdExitOnce = 8;
constexpr int pdEveryStart = 9;
constexpr int pdEveryExit = 10;

// Codes above the last known one come only from imported files: they fire as
// one-time alarms.
bool UnknownPeriod(int period)
{
    return period > pdEveryExit || period < pdNone;
}

// The filter of the check view: enabled alarms outside the trash whose date
// is not later than now cut to the whole minute.
QString DueFilter(TDateTime now)
{
    return QStringLiteral("Deleted = 0 and Enabled = 1 and Date <= '") + zel::DateTimeToStr(now) + QStringLiteral("'");
}

} // namespace

bool TdmKaAlarms::PeriodHandled(int period, CheckKind kind)
{
    switch (kind) {
    case CheckKind::Startup:
        return period != pdExitOnce && period != pdEveryExit;
    case CheckKind::Timer:
        return UnknownPeriod(period) || period <= pdYear;
    case CheckKind::Exit:
        return period == pdExitOnce || period == pdEveryExit;
    }
    return false;
}

TDateTime TdmKaAlarms::PeriodStep(int period, TDateTime date)
{
    switch (period) {
    case pdHour:
        return zel::RoundToMs(date + zel::OneHour);
    case pdDay:
        return zel::RoundToMs(date + 1);
    case pdOpenDay:
        return zel::RoundToMs(date + (zel::ToQDate(date).dayOfWeek() == Qt::Friday ? 3 : 1));
    case pdWeek:
        return zel::RoundToMs(date + 7);
    case pdMonth:
        return zel::RoundToMs(date + zel::ToQDate(date).daysInMonth());
    case pdYear:
        return zel::RoundToMs(date + 365);
    default:
        return date;
    }
}

TDateTime TdmKaAlarms::NextOccurrence(int period, TDateTime date, TDateTime now)
{
    TDateTime p = PeriodStep(period, date);
    if (p == date)
        return p;
    while (now > p)
        p = PeriodStep(period, p);
    return p;
}

void TdmKaAlarms::CheckAlarms()
{
    const TZELApplication *app = ZELApplication();
    RunCheck(app && app->AppPhase == apStartupCheck ? CheckKind::Startup : CheckKind::Timer);
}

void TdmKaAlarms::CheckExitAlarms()
{
    RunCheck(CheckKind::Exit);
}

bool TdmKaAlarms::TimerCheckNeeded(TDateTime now) const noexcept
{
    return cdsAlarms.changes() != m_quietChanges.load(std::memory_order_acquire) ||
           now >= m_quietUntil.load(std::memory_order_acquire);
}

void TdmKaAlarms::NoteQuietUntilNextAlarm(TDateTime filterMoment)
{
    const Field &date = cdsAlarms.fieldByName(AlarmField::Date);
    const Field &enabled = cdsAlarms.fieldByName(AlarmField::Enabled);
    const Field &deleted = cdsAlarms.fieldByName(AlarmField::Deleted);
    // The alarms that are not due yet, whatever their periodicity: the one
    // the timer would not fire only makes a check run early.
    double next = std::numeric_limits<double>::infinity();
    for (int i = 0; i < cdsAlarms.recordCount(); ++i) {
        cdsAlarms.withRow(i, [&] {
            if (deleted.asInteger() == 0 && enabled.asInteger() == 1) {
                const TDateTime d = date.asDateTime();
                if (d > filterMoment && d < next)
                    next = d;
            }
        });
    }
    m_quietUntil.store(next, std::memory_order_release);
    m_quietChanges.store(cdsAlarms.changes(), std::memory_order_release);
}

void TdmKaAlarms::RunCheck(CheckKind kind)
{
    // Until this check ends having fired nothing, every tick checks.
    m_quietChanges.store(~quint64(0), std::memory_order_release);
    try {
        const TDateTime now = zel::Now();
        const QString nowText = zel::DateTimeToStr(now);
        cdsThread.close();
        cdsThread.setFilter(DueFilter(now));
        cdsThread.open();
        cdsThread.first();
        // Every due alarm is visited at most once per check, and the records
        // this check appends (next occurrences, due at once for the start and
        // exit periodicities) wait for the next check.
        QSet<int> visited;
        const int firstNew = NextNumber();
        const Field &numberField = cdsThread.fieldByName(AlarmField::Number);
        const Field &periodField = cdsThread.fieldByName(AlarmField::Period);
        bool fired = false;
        for (;;) {
            int row = -1;
            for (int i = 0; i < cdsThread.recordCount() && row < 0; ++i) {
                const int n = cdsThread.withRow(i, [&] { return numberField.asInteger(); });
                if (n < firstNew && !visited.contains(n))
                    row = i;
            }
            if (row < 0) {
                // The moment the filter's text stands for (to the minute).
                TDateTime filterMoment = 0;
                if (kind == CheckKind::Timer && !fired && zel::TryStrToDateTime(nowText, filterMoment))
                    NoteQuietUntilNextAlarm(filterMoment);
                break;
            }
            cdsThread.setRecNo(row);
            const int number = numberField.asInteger();
            const int period = periodField.asInteger();
            visited.insert(number);
            if (!PeriodHandled(period, kind))
                continue;
            // The main window in front (or none at all): the alarms wait.
            if (!m_host || m_host->MainWindowVisible() || !m_alarmBox)
                return;
            fired = true;
            FireAlarm(number, period, kind);
            cdsThread.refresh();
        }
    } catch (const EAbort &) {
    } catch (const Exception &e) {
        if (cdsAlarms.state() == DataSetState::Edit || cdsAlarms.state() == DataSetState::Insert)
            cdsAlarms.cancel();
        ShowErrorText(Tr(QStringLiteral("Alarm Error : "), QStringLiteral("Erreur d'alarme : ")) + e.message());
    }
}

void TdmKaAlarms::FireAlarm(int number, int period, CheckKind)
{
    int minutes = 0;
    const int result = m_alarmBox->DisplayAlarm(minutes);
    const QString application = cdsThread.fieldByName(AlarmField::Application).asString();

    if (result != abrRemember && result != abrNoLaunch && !application.isEmpty()) {
        const int launched = LaunchApplication ? LaunchApplication(application)
                                               : ShellExecute(application, 0, QString(), QString(), SW_SHOWNOACTIVATE);
        if (launched <= 32) {
            ShowMessageDialog(
                Tr(QStringLiteral("Launching application ( "), QStringLiteral("Lancement de l'application ( ")) +
                    application + Tr(QStringLiteral(" ) error ..."), QStringLiteral(" ) en erreur ...")),
                mtError, mbOK);
        }
    }

    if ((result == abrClose || result == abrRemember || result == abrNoLaunch) && period != pdNone) {
        const TDateTime p = NextOccurrence(period, cdsThread.fieldByName(AlarmField::Date).asDateTime(), zel::Now());
        LocateNumber(cdsAlarms, number, true);
        cdsAlarms.edit();
        cdsAlarms.fieldByName(AlarmField::Period).setAsInteger(pdNone);
        cdsAlarms.post();

        LocateNumber(cdsAlarms, number, true);
        const auto value = [this](const QString &name) { return cdsAlarms.fieldByName(name).value(); };
        const bool ended = cdsAlarms.fieldByName(AlarmField::DateEndUsed).asInteger() != 0 &&
                           cdsAlarms.fieldByName(AlarmField::DateEnd).asDateTime() < p;
        const bool once = period == pdStartOnce || period == pdExitOnce || UnknownPeriod(period);
        if (!ended && !once) {
            const QVariantList next = {NextNumber(),
                                       p,
                                       value(AlarmField::DateEnd),
                                       value(AlarmField::DateEndUsed),
                                       value(AlarmField::Title),
                                       value(AlarmField::Enabled),
                                       value(AlarmField::Priority),
                                       value(AlarmField::Comments),
                                       value(AlarmField::Sound),
                                       period,
                                       value(AlarmField::Application),
                                       value(AlarmField::AppSilent),
                                       0};
            cdsAlarms.appendRecord(next);
        }
    }

    LocateNumber(cdsAlarms, number, true);
    cdsAlarms.edit();
    if (result == abrRemember)
        cdsAlarms.fieldByName(AlarmField::Date).setAsDateTime(zel::RoundToMs(zel::Now() + minutes * zel::OneMinute));
    else
        cdsAlarms.fieldByName(AlarmField::Deleted).setAsInteger(1);
    cdsAlarms.post();
}
