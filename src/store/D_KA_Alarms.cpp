#include "store/D_KA_Alarms.h"

#include "base/U_KA_Var.h"
#include "base/ProgressWindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopedValueRollback>

#include <filesystem>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace store;
using KaVar::Tr;

TdmKaAlarms *dmKaAlarms = nullptr;

const char *const PeriodicityNames[2][11] = {
    {"None", "Every hour", "Every day", "Every open day", "Every week", "Every month", "Every year", "On start (once)",
     "On exit (once)", "On every start", "On every exit"},
    {"Aucune", "Toutes les heures", "Tous les jours", "Tous les jours de travail", "Toutes les semaines",
     "Tous les mois", "Tous les ans", "Au d\u00e9marrage (unique)", "A la sortie (unique)", "A chaque d\u00e9marrage",
     "A chaque sortie"},
};
const char *const PriorityNames[2][3] = {{"Low", "Normal", "High"}, {"Basse", "Normale", "Haute"}};
const char *const BooleanTexts[2][2] = {{"False", "True"}, {"Faux", "Vrai"}};
const char *const SwitchTexts[2] = {"Off", "On"};

namespace {

// Five minutes, in days: the distance of a new alarm's date from now.
constexpr double FiveMinutes = 0.003472222;

QString DataFileBaseName()
{
    return QStringLiteral("Alarms.ka2");
}

// Copies a file through a temporary file and a rename, so an interrupted copy
// never leaves a damaged target. False when the copy failed.
bool CopyFileAtomic(const QString &from, const QString &to)
{
    const QString temp = to + QStringLiteral(".tmp");
    QFile::remove(temp);
    if (!QFile::copy(from, temp))
        return false;
    std::error_code error;
    std::filesystem::rename(QFile::encodeName(temp).toStdString(), QFile::encodeName(to).toStdString(), error);
    if (error) {
        QFile::remove(temp);
        return false;
    }
    return true;
}

// The backup of the data file before it is rewritten. The data file is only
// ever replaced whole (a new file renamed over it), never written in place, so
// a second name for its current contents is a byte-for-byte copy that costs
// nothing; where the file system cannot give one, the bytes are copied.
bool BackupDataFile(const QString &from, const QString &to)
{
    const std::string temp = QFile::encodeName(to + QStringLiteral(".tmp")).toStdString();
    std::error_code error;
    std::filesystem::remove(temp, error);
    std::filesystem::create_hard_link(QFile::encodeName(from).toStdString(), temp, error);
    if (!error) {
        std::filesystem::rename(temp, QFile::encodeName(to).toStdString(), error);
        if (!error)
            return true;
        std::filesystem::remove(temp, error);
    }
    return CopyFileAtomic(from, to);
}

} // namespace

QList<FieldDef> TdmKaAlarms::AlarmRecordFields()
{
    using T = FieldType;
    return {
        {AlarmField::Number, T::Integer, 0, true, false},        {AlarmField::Date, T::DateTime, 0, true, false},
        {AlarmField::DateEnd, T::DateTime, 0, false, false},     {AlarmField::DateEndUsed, T::Integer, 0, false, false},
        {AlarmField::Title, T::String, 25, false, false},        {AlarmField::Enabled, T::Integer, 0, false, false},
        {AlarmField::Priority, T::Integer, 0, false, false},     {AlarmField::Comments, T::Memo, 0, false, false},
        {AlarmField::Sound, T::Integer, 0, false, false},        {AlarmField::Period, T::Integer, 0, false, false},
        {AlarmField::Application, T::String, 255, false, false}, {AlarmField::AppSilent, T::Integer, 0, false, false},
        {AlarmField::Deleted, T::Integer, 0, true, false},       {AlarmField::IsThereApp, T::Boolean, 0, false, true},
    };
}

TdmKaAlarms::TdmKaAlarms(QObject *parent)
    : QObject(parent), cdsAlarms(QStringLiteral("cdsAlarms"), this), cdsList(QStringLiteral("cdsList"), this),
      cdsCalendar(QStringLiteral("cdsCalendar"), this), cdsTrash(QStringLiteral("cdsTrash"), this),
      cdsThread(QStringLiteral("cdsThread"), this), cdsReminder(QStringLiteral("cdsReminder"), this),
      dsAlarms(QStringLiteral("dsAlarms"), this), dsList(QStringLiteral("dsList"), this),
      dsCalendar(QStringLiteral("dsCalendar"), this), dsTrash(QStringLiteral("dsTrash"), this),
      dsThread(QStringLiteral("dsThread"), this), dsReminder(QStringLiteral("dsReminder"), this)
{
    setObjectName(QStringLiteral("dmKaAlarms"));
    dmKaAlarms = this;

    cdsAlarms.setFieldDefs(AlarmRecordFields());
    cdsAlarms.setIndexFieldName(AlarmField::Number);
    m_application = &cdsAlarms.fieldByName(AlarmField::Application);
    m_isThereApp = &cdsAlarms.fieldByName(AlarmField::IsThereApp);
    cdsAlarms.beforeInsert = [this](Table &t) { cdsListBeforeInsert(t); };
    cdsAlarms.afterInsert = [this](Table &t) { cdsListAfterInsert(t); };
    cdsAlarms.beforePost = [this](Table &t) { cdsListBeforePost(t); };
    cdsAlarms.afterPost = [this](Table &t) { cdsListAfterPost(t); };
    cdsAlarms.afterCancel = [this](Table &t) { cdsListAfterCancel(t); };
    cdsAlarms.onCalcFields = [this](Table &t) { cdsAlarmsCalcFields(t); };
    dsAlarms.setDataSet(&cdsAlarms);

    SetupView(cdsList, dsList, QStringLiteral("Deleted = 0"));
    SetupView(cdsCalendar, dsCalendar, QStringLiteral("Deleted = 0"));
    SetupView(cdsTrash, dsTrash, QStringLiteral("Deleted = 1"));
    SetupView(cdsThread, dsThread, QStringLiteral("Deleted = 0"));
    SetupView(cdsReminder, dsReminder, QStringLiteral("Deleted = 0"));
    SetupDisplayRules();

    // DataChange follows the data-change events of the pages' views and of the
    // master; StateChange their state-change and update-data events.
    for (DataSource *ds : {&dsList, &dsCalendar, &dsTrash, &dsAlarms})
        ds->onDataChange = [this](DataSource *sender, Field *field) { DataChange(sender, field); };
    for (DataSource *ds : {&dsList, &dsCalendar, &dsTrash}) {
        ds->onStateChange = [this](DataSource *sender) { StateChange(sender); };
        ds->onUpdateData = [this](DataSource *sender) { StateChange(sender); };
    }

    dmKaAlarmsCreate();
}

TdmKaAlarms::~TdmKaAlarms()
{
    try {
        dmKaAlarmsDestroy();
    } catch (const Exception &e) {
        ShowErrorText(e.message());
    }
    delete m_progress.data();
    if (dmKaAlarms == this)
        dmKaAlarms = nullptr;
}

void TdmKaAlarms::SetupView(Table &view, DataSource &source, const QString &filter)
{
    view.setProvider(&cdsAlarms);
    view.setFieldDefs(Table::viewDefs(cdsAlarms.fieldDefs()));
    view.setFilter(filter);
    view.setIndexFieldName(AlarmField::Date);
    source.setDataSet(&view);
}

void TdmKaAlarms::SetupDisplayRules()
{
    const auto bind = [this](QString (TdmKaAlarms::*rule)(const Field &, bool) const) {
        return [this, rule](const Field &f, bool display) { return (this->*rule)(f, display); };
    };
    for (Table *t : {&cdsAlarms, &cdsList, &cdsCalendar, &cdsTrash, &cdsThread, &cdsReminder}) {
        t->fieldByName(AlarmField::Enabled).displayLabel = QStringLiteral("On");
        t->fieldByName(AlarmField::Period).displayLabel = QStringLiteral("Periodicity");
        t->fieldByName(AlarmField::AppSilent).displayLabel = QStringLiteral("App Silent");
        Field &app = t->fieldByName(AlarmField::IsThereApp);
        app.displayLabel = QStringLiteral("App");
        app.trueText = QStringLiteral("X");
        app.falseText = QString();
        app.alignment = Qt::AlignHCenter;
        for (int i = 0; i < t->fieldCount(); ++i) {
            if (t != &cdsAlarms)
                t->field(i).readOnly = true;
        }
    }
    for (Table *t : {&cdsList, &cdsCalendar, &cdsTrash}) {
        t->fieldByName(AlarmField::Enabled).onGetText = bind(&TdmKaAlarms::SwitchGetText);
        t->fieldByName(AlarmField::Priority).onGetText = bind(&TdmKaAlarms::PriorityGetText);
        t->fieldByName(AlarmField::Period).onGetText = bind(&TdmKaAlarms::PeriodicityGetText);
        t->fieldByName(AlarmField::AppSilent).onGetText = bind(&TdmKaAlarms::BooleanGetText);
        t->fieldByName(AlarmField::Deleted).onGetText = bind(&TdmKaAlarms::BooleanGetText);
    }
    for (const QString &name : {AlarmField::Number, AlarmField::Deleted, AlarmField::IsThereApp})
        cdsList.fieldByName(name).visible = false;
    cdsReminder.fieldByName(AlarmField::Number).visible = false;

    cdsThread.fieldByName(AlarmField::Date).onGetText = bind(&TdmKaAlarms::DateGetText);
    cdsThread.fieldByName(AlarmField::Priority).onGetText = bind(&TdmKaAlarms::PriorityGetText);
    cdsThread.fieldByName(AlarmField::Period).onGetText = bind(&TdmKaAlarms::PeriodicityGetText);

    cdsAlarms.fieldByName(AlarmField::Period).onGetText = bind(&TdmKaAlarms::PeriodicityGetText);
}

TProgressWindow *TdmKaAlarms::ProgressDialog() const
{
    if (!m_progress)
        m_progress = new TProgressWindow();
    return m_progress;
}

// ---------------------------------------------------------------------------
// Data file

void TdmKaAlarms::dmKaAlarmsCreate()
{
    const QScopedValueRollback<bool> loading(Loading, true);
    const QString folder = KaVar::UserDataDir();
    const QString fileName = folder + DataFileBaseName();
    QDir().mkpath(folder);

    cdsAlarms.createDataSet();
    m_loadGood = true;

    if (QFileInfo::exists(fileName)) {
        try {
            ImportDataFile(fileName, true);
        } catch (const Exception &e) {
            QString text = Tr(QStringLiteral("Error while loading datas :\r\n%s\r\n\r\nTasks list is empty...\r\n"
                                             "Try to import the backup file that was created."),
                              QStringLiteral("Erreur lors du chargement des donn\u00e9es :\r\n%s\r\n\r\n"
                                             "La liste des t\u00e2ches est vide...\r\nEssayez d'importer de "
                                             "fichier de backup qui a \u00e9t\u00e9 cr\u00e9\u00e9."));
            text.replace(QStringLiteral("%s"), e.message());
            ShowErrorText(text);

            cdsAlarms.close();
            int n = 1;
            QString rescue;
            do {
                rescue = folder + QStringLiteral("Alarms backup ") + QString::number(n++) + QStringLiteral(".ka2");
            } while (QFileInfo::exists(rescue));
            const QString backup = fileName + QStringLiteral(".bak");
            if (QFileInfo::exists(backup))
                CopyFileAtomic(backup, rescue);

            cdsAlarms.createDataSet();
            m_loadGood = false;
        }
    }

    cdsAlarms.fileName = fileName;
    for (Table *view : {&cdsCalendar, &cdsList, &cdsTrash, &cdsThread})
        view->open();
    NewNumber = 1;
    SaveEnabled = true;
    if (m_loadGood)
        SaveDataFile();
#ifdef __GLIBC__
    // Reading and rewriting the file held it several times over (bytes,
    // rows read, the master, the bytes written): give that room back now
    // rather than keep it for the whole run.
    malloc_trim(0);
#endif
}

void TdmKaAlarms::SaveDataFile()
{
    if (!SaveEnabled)
        return;
    const QString fileName = cdsAlarms.fileName;
    // The backup always holds the state before this write; a failed copy
    // (no data file yet) is ignored.
    if (QFileInfo::exists(fileName))
        BackupDataFile(fileName, fileName + QStringLiteral(".bak"));
    // Written to a temporary file and renamed over the data file, so a crash
    // or a full disk never leaves a half-written data file.
    cdsAlarms.saveToFile(fileName);
}

void TdmKaAlarms::dmKaAlarmsDestroy()
{
    if (cdsAlarms.active())
        SaveDataFile();
    cdsAlarms.close();
    for (Table *view : {&cdsCalendar, &cdsList, &cdsTrash, &cdsThread})
        view->close();
}

// ---------------------------------------------------------------------------
// Operations

int TdmKaAlarms::NextNumber()
{
    if (!cdsAlarms.active() || cdsAlarms.isEmpty())
        return 1;
    // The master is ordered by Number: its last row holds the highest one.
    const Field &number = cdsAlarms.fieldByName(AlarmField::Number);
    const int last = cdsAlarms.recordCount() - 1;
    return cdsAlarms.withRow(last, [&] { return number.asInteger(); }) + 1;
}

void TdmKaAlarms::LocateNumber(Table &table, int number, bool mustExist)
{
    if (!table.locate(AlarmField::Number, number) && mustExist) {
        QString text = Tr(QStringLiteral("Alarm not found [ Number = %d ]"),
                          QStringLiteral("Alarme non trouv\u00e9e [ Number = %d ]"));
        text.replace(QStringLiteral("%d"), QString::number(number));
        throw Exception(text);
    }
}

void TdmKaAlarms::RefreshSource(DataSource &source)
{
    Table *view = source.dataSet();
    if (!view)
        return;
    bool hasNumber = false;
    int number = 0;
    if (view->active() && !view->isEmpty()) {
        number = view->fieldByName(AlarmField::Number).asInteger();
        hasNumber = true;
    }
    try {
        DisplaySuspension masterQuiet(cdsAlarms);
        DisplaySuspension viewQuiet(*view);
        view->refresh();
        view->first();
        if (hasNumber)
            LocateNumber(*view, number, false);
    } catch (...) {
        try {
            DataChange(&source, nullptr);
        } catch (...) {
        }
        throw;
    }
    DataChange(&source, nullptr);
}

void TdmKaAlarms::RefreshCurrentView()
{
    if (!m_host)
        return;
    switch (m_host->CurrentPageTag()) {
    case 0:
        RefreshSource(dsCalendar);
        break;
    case 1:
        RefreshSource(dsList);
        break;
    case 2:
        RefreshSource(dsTrash);
        break;
    default:
        break;
    }
}

void TdmKaAlarms::DataChange(DataSource *sender, Field *)
{
    if (!m_host || !sender)
        return;
    try {
        if (sender != &dsAlarms) {
            Table *view = sender->dataSet();
            if (view && view->active() && view->recordCount() > 0)
                LocateNumber(cdsAlarms, view->fieldByName(AlarmField::Number).asInteger(), true);
        }
        if (Field *bound = m_host->PeriodicityListField())
            m_host->SetPeriodicityListIndex(bound->asInteger());
    } catch (...) {
        m_host->RefreshForm();
        throw;
    }
    m_host->RefreshForm();
}

void TdmKaAlarms::StateChange(DataSource *sender)
{
    DataChange(sender, nullptr);
}

// ---------------------------------------------------------------------------
// Record rules

void TdmKaAlarms::cdsListBeforeInsert(Table &)
{
    if (Loading)
        return;
    NewNumber = NextNumber();
}

void TdmKaAlarms::cdsListAfterInsert(Table &t)
{
    if (Loading)
        return;
    t.fieldByName(AlarmField::Number).setAsInteger(NewNumber);
    t.fieldByName(AlarmField::Date).setAsDateTime(zel::RoundToMs(zel::Now() + FiveMinutes));
    t.fieldByName(AlarmField::DateEnd).clear();
    t.fieldByName(AlarmField::DateEndUsed).setAsInteger(0);
    t.fieldByName(AlarmField::Title).setAsString(QString());
    t.fieldByName(AlarmField::Enabled).setAsInteger(1);
    t.fieldByName(AlarmField::Priority).setAsInteger(1);
    t.fieldByName(AlarmField::Comments).setAsString(QString());
    t.fieldByName(AlarmField::Sound).setAsInteger(1);
    t.fieldByName(AlarmField::Period).setAsInteger(0);
    t.fieldByName(AlarmField::Application).setAsString(QString());
    t.fieldByName(AlarmField::AppSilent).setAsInteger(0);
    t.fieldByName(AlarmField::Deleted).setAsInteger(0);
    Inserting = true;
}

void TdmKaAlarms::cdsListBeforePost(Table &t)
{
    if (Loading)
        return;
    if (t.fieldByName(AlarmField::Title).asString().isEmpty())
        throw Exception(Tr(QStringLiteral("Enter a Title !"), QStringLiteral("Entrez un titre !")));
}

void TdmKaAlarms::cdsListAfterPost(Table &)
{
    if (Loading)
        return;
    Inserting = false;
    SaveDataFile();
}

void TdmKaAlarms::cdsListAfterCancel(Table &)
{
    if (Loading)
        return;
    Inserting = false;
}

void TdmKaAlarms::cdsAlarmsCalcFields(Table &t)
{
    // Runs after every change of a field of the master: the fields were found
    // once, when the master was built.
    Q_UNUSED(t);
    m_isThereApp->setAsBoolean(!m_application->isNull() && !m_application->asString().isEmpty());
}

// ---------------------------------------------------------------------------
// Display texts

QString TdmKaAlarms::DateGetText(const Field &field, bool display) const
{
    if (display && !field.isNull())
        return zel::DateTimeToStr(field.asDateTime());
    return {};
}

QString TdmKaAlarms::PeriodicityGetText(const Field &field, bool display) const
{
    if (!m_host || !display || field.isNull())
        return {};
    const int value = field.asInteger();
    const QString text = m_host->PeriodicityItem(value);
    // A periodicity without a name (only imports can bring one) shows its number.
    return text.isEmpty() ? QString::number(value) : text;
}

QString TdmKaAlarms::PriorityGetText(const Field &field, bool display) const
{
    if (!m_host || !display || field.isNull())
        return {};
    const int value = field.asInteger();
    const QString text = m_host->PriorityItem(value);
    return text.isEmpty() ? QString::number(value) : text;
}

QString TdmKaAlarms::BooleanGetText(const Field &field, bool display) const
{
    if (!display || field.isNull())
        return {};
    return QString::fromUtf8(BooleanTexts[KaVar::LanguageIndex()][field.asInteger() != 0 ? 1 : 0]);
}

QString TdmKaAlarms::SwitchGetText(const Field &field, bool display) const
{
    if (!display || field.isNull())
        return {};
    return QString::fromUtf8(SwitchTexts[field.asInteger() != 0 ? 1 : 0]);
}
