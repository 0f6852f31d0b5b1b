// The data-file import: appends every record of a data file to the master
// table, whatever the file's age (older field names, missing newer fields,
// flags clamped to 0 or 1).
#include "store/D_KA_Alarms.h"

#include "base/U_KA_Var.h"
#include "base/ProgressWindow.h"

#include <QScopedValueRollback>

using namespace store;
using KaVar::Tr;

namespace {

int ProgressTempo(int maximum)
{
    if (maximum < 6)
        return 250;
    if (maximum <= 10)
        return 100;
    if (maximum <= 15)
        return 25;
    return 0;
}

int ClampFlag(int value, int otherwise)
{
    return (value == 0 || value == 1) ? value : otherwise;
}

// Fills the master's record being appended from the current source record.
void CopyRecord(const Table &source, Table &target)
{
    Field &date = target.fieldByName(AlarmField::Date);
    date.setAsDateTime(source.fieldByName(AlarmField::Date).asDateTime());
    target.fieldByName(AlarmField::Title).setAsString(source.fieldByName(AlarmField::Title).asString());
    target.fieldByName(AlarmField::Comments).setAsString(source.fieldByName(AlarmField::Comments).asString());
    target.fieldByName(AlarmField::Enabled)
        .setAsInteger(ClampFlag(source.fieldByName(AlarmField::Enabled).asInteger(), 1));

    const Field *priority = source.findField(AlarmField::Priority);
    target.fieldByName(AlarmField::Priority).setAsInteger(priority && !priority->isNull() ? priority->asInteger() : 1);

    const Field *beep = source.findField(QStringLiteral("Beep"));
    const int sound = (beep && !beep->isNull()) ? beep->asInteger() : source.fieldByName(AlarmField::Sound).asInteger();
    target.fieldByName(AlarmField::Sound).setAsInteger(ClampFlag(sound, 1));

    int period = 0;
    if (const Field *periodicity = source.findField(QStringLiteral("Periodicity"))) {
        period = periodicity->isNull() ? 0 : periodicity->asInteger();
    } else {
        try {
            period = source.fieldByName(AlarmField::Period).asInteger();
        } catch (const Exception &) {
            period = 0;
        }
    }
    target.fieldByName(AlarmField::Period).setAsInteger(period);

    Field &dateEnd = target.fieldByName(AlarmField::DateEnd);
    if (const Field *end = source.findField(AlarmField::DateEnd)) {
        if (!end->isNull())
            dateEnd.setAsDateTime(end->asDateTime());
    } else {
        dateEnd.setAsDateTime(date.asDateTime());
    }
    if (const Field *used = source.findField(AlarmField::DateEndUsed))
        target.fieldByName(AlarmField::DateEndUsed).setAsInteger(used->isNull() ? 0 : used->asInteger());
    else
        dateEnd.setAsDateTime(0);

    target.fieldByName(AlarmField::Application).setAsString(source.fieldByName(AlarmField::Application).asString());
    target.fieldByName(AlarmField::AppSilent)
        .setAsInteger(ClampFlag(source.fieldByName(AlarmField::AppSilent).asInteger(), 0));
    target.fieldByName(AlarmField::Deleted)
        .setAsInteger(ClampFlag(source.fieldByName(AlarmField::Deleted).asInteger(), 0));
}

} // namespace

void TdmKaAlarms::ImportDataFile(const QString &fileName, bool silent)
{
    if (!fileName.contains(QStringLiteral(".ka2"), Qt::CaseSensitive))
        throw Exception(Tr(QStringLiteral("Incorrect file name !"), QStringLiteral("Nom de fichier incorrect !")));

    // Another import started from the progress window's events would number
    // its records from the same NextNumber.
    CheckNoImport();
    Table source(QStringLiteral("cdsImport"));
    source.loadFromFile(fileName);
    const int total = source.recordCount();

    TProgressWindow *progress = nullptr;
    if (!silent) {
        progress = ProgressDialog();
        progress->setCaption(QStringLiteral("Processing..."));
        progress->setAnimation(TProgressWindow::AnimationKind::FileCopy);
        progress->setMaximum(total);
        progress->setTempo(ProgressTempo(total));
        progress->start();
    }

    const auto finish = [&] {
        if (!silent) {
            progress->update(total, QString(), QString());
            RefreshCurrentView();
        }
    };

    bool cancelled = false;
    // The records are numbered from one NextNumber taken now; while the
    // progress window lets other events run, every other append or post of
    // the master is refused (CheckNoImport), so no other record takes one of
    // these numbers.
    const QScopedValueRollback<bool> running(m_importRunning, true);
    try {
        // The silent form shows nothing: the master's display updates wait
        // until every record is in.
        const DisplaySuspension quiet(silent ? &cdsAlarms : nullptr);
        int count = 0;
        int n = NextNumber();
        source.first();
        while (!source.eof()) {
            ++count;
            {
                const QScopedValueRollback<bool> own(m_importPosting, true);
                cdsAlarms.append();
                cdsAlarms.fieldByName(AlarmField::Number).setAsInteger(n);
                CopyRecord(source, cdsAlarms);
                cdsAlarms.post();
            }
            source.next();
            ++n;
            if (!silent && !progress->update(count,
                                             Tr(QStringLiteral("Record "), QStringLiteral("Enregistrement ")) +
                                                 QString::number(count),
                                             QString())) {
                cancelled = true;
                break;
            }
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    // The final message lets events run: posting is allowed again.
    m_importRunning = false;
    if (cancelled)
        throw EAbort();
    if (!silent)
        ShowErrorText(Tr(QStringLiteral("Import successfull !"), QStringLiteral("Import r\u00e9ussi !")));
}
