#include "support/TestSupport.h"

#include "app/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "store/DataPacket.h"
#include "ui/F_KA_Main.h"

#include <QDir>
#include <QSettings>

namespace testsupport {

void InitProgramUnits()
{
    if (!qEnvironmentVariableIsSet("ALMARIK_TEST_ROOT"))
        qFatal("tests must run through run-isolated (temporary HOME and XDG folders)");
    ZelSystemInitialize();
    KaVar::Initialize();
}

QString DataDir()
{
    return KaVar::UserDataDir();
}

QString DataFile()
{
    return DataDir() + QStringLiteral("Alarms.ka2");
}

void ClearDataDir()
{
    QDir dir(DataDir());
    const QStringList files = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : files)
        dir.remove(name);
}

void ClearSettings()
{
    QSettings settings(QStringLiteral("Morvane"), QStringLiteral("Almarik"));
    settings.clear();
    settings.sync();
}

ErrorTexts::ErrorTexts()
{
    SetShowErrorTextHook([this](const QString &text) { texts.append(text); });
}

ErrorTexts::~ErrorTexts()
{
    SetShowErrorTextHook({});
}

FixedClock::FixedClock(const QDateTime &now) : m_now(now)
{
    zel::SetClock([this] { return m_now; });
}

FixedClock::~FixedClock()
{
    zel::SetClock({});
}

void FixedClock::set(const QDateTime &now)
{
    m_now = now;
}

QString FakeHost::PeriodicityItem(int index) const
{
    return index >= 0 && index < 11 ? QString::fromUtf8(PeriodicityNames[language][index]) : QString();
}

QString FakeHost::PriorityItem(int index) const
{
    return index >= 0 && index < 3 ? QString::fromUtf8(PriorityNames[language][index]) : QString();
}

void ProgramFixture::start()
{
    ClearDataDir();
    ClearSettings();
    KaVar::SetLanguageIndex(0);
    dm = new TdmKaAlarms;
    window = new TfmKaMain(dm);
}

void ProgramFixture::restartWindow()
{
    delete window;
    window = new TfmKaMain(dm);
}

void ProgramFixture::stop()
{
    if (dm->cdsAlarms.state() != store::DataSetState::Browse)
        dm->cdsAlarms.cancel();
    delete window;
    delete dm;
    window = nullptr;
    dm = nullptr;
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

} // namespace testsupport
