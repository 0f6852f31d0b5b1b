#include "store/D_KA_Alarms.h"

#include "base/U_KA_Var.h"
#include "store/DataPacket.h"
#include "base/ProgressWindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopedValueRollback>

#include <cerrno>
#include <filesystem>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

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

// Test seams of the data file's writing (see D_KA_Alarms.h).
qint64 g_writeFailsAfter = -1;
bool g_backupLinks = true;

std::filesystem::path FsPath(const QString &name)
{
    return std::filesystem::path(QFile::encodeName(name).toStdString());
}

// The name a save writes to a file through: the file's name followed by
// ".tmp". Only one copy of the program works in a data folder, so the name
// is free but for what an interrupted save left.
QString TempName(const QString &fileName)
{
    return fileName + QStringLiteral(".tmp");
}

void RemoveQuietly(const QString &fileName)
{
    std::error_code error;
    std::filesystem::remove(FsPath(fileName), error);
}

// The file a data file's name stands for: a symbolic link (a data file kept
// in a synced folder) is followed to its final target, so a save replaces the
// target and the link stays a link.
QString FinalTarget(const QString &fileName)
{
    QFileInfo info(fileName);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.isSymLink() ? fileName : info.absoluteFilePath();
}

bool SyncFile(QFile &file)
{
#ifdef Q_OS_UNIX
    return ::fsync(file.handle()) == 0;
#else
    return file.flush();
#endif
}

// Makes a rename in a folder durable.
void SyncFolder(const QString &fileName)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(QFileInfo(fileName).absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(fileName);
#endif
}

// Writes the bytes to an open file and syncs them; false with the reason on
// failure. The test seam makes the device refuse every byte past a count, as
// a full disk does.
bool WriteAndSync(QFile &file, const QByteArray &bytes, QString &reason)
{
    qint64 allowed = bytes.size();
    if (g_writeFailsAfter >= 0 && g_writeFailsAfter < allowed)
        allowed = g_writeFailsAfter;
    if (file.write(bytes.constData(), allowed) != allowed) {
        reason = file.errorString();
        return false;
    }
    if (allowed < bytes.size()) {
        reason = QStringLiteral("No space left on device");
        return false;
    }
    if (!file.flush() || !SyncFile(file)) {
        reason = file.errorString();
        return false;
    }
    return true;
}

[[noreturn]] void WriteFailed(const QString &fileName, const QString &reason)
{
    throw EDatabaseError(
        QStringLiteral("Cannot write file \"%1\": %2").arg(QDir::toNativeSeparators(fileName), reason));
}

// Rewrites an existing file in place and syncs it: the way left where no new
// file can be made beside it (a read-only folder holding a writable file).
void RewriteInPlace(const QString &target, const QByteArray &bytes)
{
    QFile file(target);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        WriteFailed(target, file.errorString());
    QString reason;
    if (!WriteAndSync(file, bytes, reason))
        WriteFailed(target, reason);
    if (!file.resize(bytes.size()) || !SyncFile(file))
        WriteFailed(target, file.errorString());
}

// A file being replaced whole. stage() writes the new content to a temporary
// file beside the target and syncs it; commit() renames it over the target,
// so the old content stays whole until the new one is complete on the disk.
// Where the folder refuses the temporary file (a read-only folder holding a
// writable file), commit() rewrites the target in place instead; inPlace()
// tells it beforehand, so a backup can be made as a real copy. No temporary
// file outlives the object.
class Replacement
{
public:
    explicit Replacement(const QString &target) : m_target(target), m_temp(TempName(target))
    {
        RemoveQuietly(m_temp.fileName());
        if (m_temp.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            m_created = true;
            return;
        }
#ifdef Q_OS_UNIX
        const int reason = errno;
        m_inPlace = (reason == EACCES || reason == EPERM) && QFileInfo::exists(target);
#else
        m_inPlace = m_temp.error() == QFileDevice::PermissionsError && QFileInfo::exists(target);
#endif
        m_openError = m_temp.errorString();
    }

    ~Replacement()
    {
        if (m_created) {
            m_temp.close();
            RemoveQuietly(m_temp.fileName());
        }
    }

    bool inPlace() const
    {
        return m_inPlace;
    }

    void stage(const QByteArray &bytes)
    {
        // A file the user made read-only is not replaced behind his back.
        if (QFileInfo::exists(m_target)) {
            QFile probe(m_target);
            if (!probe.open(QIODevice::ReadWrite))
                WriteFailed(m_target, probe.errorString());
        }
        m_bytes = bytes;
        if (m_inPlace)
            return;
        if (!m_created)
            WriteFailed(m_target, m_openError);
        QString reason;
        if (!WriteAndSync(m_temp, bytes, reason))
            WriteFailed(m_target, reason);
        const QFileInfo existing(m_target);
        if (existing.exists())
            m_temp.setPermissions(existing.permissions());
        m_temp.close();
    }

    void commit()
    {
        if (m_inPlace) {
            RewriteInPlace(m_target, m_bytes);
            return;
        }
        std::error_code error;
        std::filesystem::rename(FsPath(m_temp.fileName()), FsPath(m_target), error);
        if (error)
            WriteFailed(m_target, QString::fromLocal8Bit(error.message()));
        m_created = false;
        SyncFolder(m_target);
    }

private:
    QString m_target;
    QFile m_temp;
    QString m_openError;
    QByteArray m_bytes;
    bool m_created = false;
    bool m_inPlace = false;
};

// Copies a file byte for byte; false when the copy failed. The target is
// replaced whole, or rewritten in place where its folder allows no new file.
bool CopyFileBytes(const QString &from, const QString &to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = source.readAll();
    if (source.error() != QFileDevice::NoError)
        return false;
    try {
        Replacement copy(to);
        copy.stage(bytes);
        copy.commit();
    } catch (const Exception &) {
        return false;
    }
    return true;
}

// The backup of the data file before it is rewritten. Where the data file is
// only ever replaced whole (a new file renamed over it), a second name for its
// current content is a byte-for-byte copy that costs nothing; where it is
// rewritten in place, or is a link whose target other programs may change
// (a synced folder), or the file system gives no second name, the bytes are
// copied. False when no backup could be made.
bool BackupDataFile(const QString &from, const QString &to, bool secondName)
{
    if (secondName && g_backupLinks) {
        std::error_code error;
        // Already the same file (a save that failed after its backup): the
        // backup holds the content.
        if (std::filesystem::equivalent(FsPath(from), FsPath(to), error) && !error)
            return true;
        const QString temp = TempName(to);
        RemoveQuietly(temp);
        std::filesystem::create_hard_link(FsPath(from), FsPath(temp), error);
        if (!error) {
            std::filesystem::rename(FsPath(temp), FsPath(to), error);
            RemoveQuietly(temp);
            if (!error)
                return true;
        }
    }
    return CopyFileBytes(from, to);
}

// Removes what an interrupted save left: the temporary files of the data
// file, of its target when it is a link, of the backup and of the rescue
// copies. Only the names the save itself makes.
void RemoveSaveLeftovers(const QString &fileName)
{
    RemoveQuietly(TempName(fileName));
    RemoveQuietly(TempName(FinalTarget(fileName)));
    RemoveQuietly(TempName(fileName + QStringLiteral(".bak")));
    const QFileInfo data(fileName);
    const QStringList rescues =
        data.dir().entryList({QStringLiteral("Alarms backup *.ka2.tmp"), QStringLiteral("Alarms damaged *.ka2.tmp")},
                             QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : rescues)
        RemoveQuietly(data.dir().filePath(name));
}

// The first free name of a numbered copy in the folder: the prefix, a number
// from 1 up, ".ka2".
QString NextFreeName(const QString &folder, const QString &prefix)
{
    int n = 1;
    QString name;
    do {
        name = folder + prefix + QString::number(n++) + QStringLiteral(".ka2");
    } while (QFileInfo::exists(name));
    return name;
}

} // namespace

void TdmKaAlarms::SetWriteFailsAfter(qint64 bytes)
{
    g_writeFailsAfter = bytes;
}

void TdmKaAlarms::SetBackupLinks(bool allowed)
{
    g_backupLinks = allowed;
}

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
    for (Table *t : {&cdsList, &cdsCalendar, &cdsTrash, &cdsReminder}) {
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
    RemoveSaveLeftovers(fileName);

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
            // Nothing the user had is lost: the backup is copied for a
            // rescue, and the damaged file itself, often almost whole, is
            // kept beside it before the next save replaces it. Only regular
            // files are copied (never a FIFO or a device).
            const QString backup = fileName + QStringLiteral(".bak");
            if (QFileInfo(backup).isFile())
                CopyFileBytes(backup, NextFreeName(folder, QStringLiteral("Alarms backup ")));
            if (QFileInfo(fileName).isFile())
                CopyFileBytes(fileName, NextFreeName(folder, QStringLiteral("Alarms damaged ")));

            cdsAlarms.createDataSet();
            m_loadGood = false;
        }
    }

    cdsAlarms.fileName = fileName;
    for (Table *view : {&cdsCalendar, &cdsList, &cdsTrash, &cdsThread})
        view->open();
    NewNumber = 1;
    SaveEnabled = true;
    // A save that fails here (a full disk, a read-only file) leaves the
    // alarms loaded: the program shows why and goes on, so they still fire;
    // every later post reports its own failure.
    if (m_loadGood) {
        try {
            SaveDataFile();
        } catch (const EDatabaseError &e) {
            ShowErrorText(e.message());
        }
    }
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
    const QString target = FinalTarget(fileName);
    // The new content is complete on the disk before anything is replaced: a
    // failed write (a full disk), or a table holding a value the file could
    // not carry back, leaves the data file and its backup as they were.
    Replacement replacement(target);
    replacement.stage(cdsAlarms.saveToBytes(fileName));
    // The backup holds the state before this write, as a file of its own; a
    // failed copy (no data file yet) is ignored, and only a regular file is
    // copied.
    if (QFileInfo(target).isFile())
        BackupDataFile(target, fileName + QStringLiteral(".bak"),
                       !replacement.inPlace() && !QFileInfo(fileName).isSymLink());
    replacement.commit();
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

void TdmKaAlarms::CheckNoImport() const
{
    if (m_importRunning && !m_importPosting)
        throw Exception(Tr(QStringLiteral("An import is running: wait until it ends."),
                           QStringLiteral("Un import est en cours : attendez qu'il se termine.")));
}

void TdmKaAlarms::cdsListBeforeInsert(Table &)
{
    CheckNoImport();
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
    CheckNoImport();
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
