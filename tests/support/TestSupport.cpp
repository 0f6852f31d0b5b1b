#include "support/TestSupport.h"

#include "base/U_KA_Var.h"
#include "store/DataPacket.h"

namespace testsupport {

QString FakeHost::PeriodicityItem(int index) const
{
    return index >= 0 && index < 11 ? QString::fromUtf8(PeriodicityNames[language][index]) : QString();
}

QString FakeHost::PriorityItem(int index) const
{
    return index >= 0 && index < 3 ? QString::fromUtf8(PriorityNames[language][index]) : QString();
}

void FreshStore()
{
    ClearDataDir();
    KaVar::SetLanguageIndex(0);
}

void AddAlarm(TdmKaAlarms &dm, TDateTime date, const QString &title, int deleted, int enabled, int period,
              const QString &application)
{
    store::Table &t = dm.cdsAlarms;
    t.append();
    t.fieldByName(AlarmField::Date).setAsDateTime(date);
    t.fieldByName(AlarmField::Title).setAsString(title);
    t.fieldByName(AlarmField::Deleted).setAsInteger(deleted);
    t.fieldByName(AlarmField::Enabled).setAsInteger(enabled);
    t.fieldByName(AlarmField::Period).setAsInteger(period);
    t.fieldByName(AlarmField::Application).setAsString(application);
    t.post();
}

void WritePacket(const QString &fileName, const QList<store::FieldDef> &fields, const QList<QVariantList> &rows)
{
    store::Table t(QStringLiteral("fixture"));
    t.setFieldDefs(fields);
    t.createDataSet();
    for (const QVariantList &row : rows)
        t.appendRecord(row);
    store::DataPacket::write(fileName, t,
                             fileName.endsWith(QLatin1String(".xml")) ? store::DataPacket::Format::Xml
                                                                      : store::DataPacket::Format::Binary);
}

StoredAlarm ReadStoredAlarm(int number)
{
    store::Table t(QStringLiteral("file"));
    t.loadFromFile(DataFile());
    StoredAlarm s;
    if (!t.locate(AlarmField::Number, number))
        return s;
    s.exists = true;
    s.date = t.fieldByName(AlarmField::Date).asDateTime();
    s.deleted = t.fieldByName(AlarmField::Deleted).asInteger();
    s.period = t.fieldByName(AlarmField::Period).asInteger();
    return s;
}

} // namespace testsupport
