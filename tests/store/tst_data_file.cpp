// The data file "Alarms.ka2" and its backups: created at first start, loaded
// and renumbered, rescued after a failed load, rewritten after every post
// with the previous state in "Alarms.ka2.bak", and written at the end. Saves
// that fail part way, links, read-only folders and files, and what an
// interrupted save left.
#include "base/U_KA_Var.h"
#include "store/D_KA_Alarms.h"
#include "store/DataPacket.h"
#include "support/TestSupport.h"
#include "support/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <atomic>
#include <filesystem>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef Q_OS_LINUX
#include <linux/capability.h>
#include <sys/syscall.h>
#endif

using namespace store;
using namespace testsupport;

namespace {

QByteArray Bytes(const QString &fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteBytes(const QString &fileName, const QByteArray &bytes)
{
    QFile f(fileName);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Numbers and titles stored in a data file, in stored order.
QStringList Stored(const QString &fileName)
{
    Table t(QStringLiteral("check"));
    t.loadFromFile(fileName);
    QStringList result;
    for (t.first(); !t.eof(); t.next())
        result << t.fieldByName(AlarmField::Number).asString() + QLatin1Char(':') +
                      t.fieldByName(AlarmField::Title).asString();
    return result;
}

QList<QVariantList> Rows(const QList<QPair<int, QString>> &numbersAndTitles)
{
    QList<QVariantList> rows;
    for (const auto &[number, title] : numbersAndTitles)
        rows.append({number, zel::EncodeDate(2026, 3, 10) + number, QVariant(), 0, title, 1, 1, QString(), 1, 0,
                     QString(), 0, 0});
    return rows;
}

QList<FieldDef> StoredFields()
{
    QList<FieldDef> fields = TdmKaAlarms::AlarmRecordFields();
    fields.removeLast(); // IsThereApp is calculated
    return fields;
}

QString Bak()
{
    return DataFile() + QStringLiteral(".bak");
}

// The files of the data folder.
QStringList Files()
{
    return QDir(DataDir()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

bool SameFile(const QString &a, const QString &b)
{
    std::error_code error;
    return std::filesystem::equivalent(QFile::encodeName(a).toStdString(), QFile::encodeName(b).toStdString(), error);
}

quint64 Inode(const QString &fileName)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(fileName).constData(), &info) == 0 ? quint64(info.st_ino) : 0;
}

// Sets the title of the master's current record and posts it.
void Retitle(TdmKaAlarms &dm, const QString &title)
{
    dm.cdsAlarms.edit();
    dm.cdsAlarms.fieldByName(AlarmField::Title).setAsString(title);
    dm.cdsAlarms.post();
}

// The file permissions as an ordinary user meets them: root's power to write
// anything is laid down while alive (and taken up again after).
class OrdinaryUser
{
public:
    OrdinaryUser()
    {
#ifdef Q_OS_LINUX
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        m_active = ::syscall(SYS_capset, &m_header, lowered) == 0;
#endif
    }
    ~OrdinaryUser()
    {
#ifdef Q_OS_LINUX
        if (m_active)
            ::syscall(SYS_capset, &m_header, m_saved);
#endif
    }

private:
#ifdef Q_OS_LINUX
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2] = {};
    bool m_active = false;
#endif
};

// Gives a file or folder the permissions while alive, then its own again.
class Permissions
{
public:
    Permissions(const QString &path, QFileDevice::Permissions p) : m_path(path), m_old(QFile::permissions(path))
    {
        QFile::setPermissions(path, p);
    }
    ~Permissions() { QFile::setPermissions(m_path, m_old); }

private:
    QString m_path;
    QFileDevice::Permissions m_old;
};

constexpr QFileDevice::Permissions ReadOnly = QFileDevice::ReadOwner | QFileDevice::ReadUser;
constexpr QFileDevice::Permissions ReadOnlyFolder = ReadOnly | QFileDevice::ExeOwner | QFileDevice::ExeUser;

// The write of every file fails after a number of bytes while alive.
struct FailingWrites
{
    explicit FailingWrites(qint64 bytes) { TdmKaAlarms::SetWriteFailsAfter(bytes); }
    ~FailingWrites() { TdmKaAlarms::SetWriteFailsAfter(-1); }
};

// Backups made as byte copies while alive.
struct NoBackupLinks
{
    NoBackupLinks() { TdmKaAlarms::SetBackupLinks(false); }
    ~NoBackupLinks() { TdmKaAlarms::SetBackupLinks(true); }
};

} // namespace

class TestDataFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { InitProgramUnits(); }

    void init() { ClearDataDir(); }

    void firstStartCreatesFolderAndEmptyFile()
    {
        QDir(DataDir()).removeRecursively();
        QVERIFY(!QFileInfo::exists(DataDir()));
        {
            TdmKaAlarms dm;
            QVERIFY(!dm.Loading);
            QVERIFY(dm.SaveEnabled);
            QCOMPARE(dm.DataFileName(), DataFile());
            QVERIFY(QFileInfo::exists(DataFile()));
            QVERIFY(!QFileInfo::exists(DataFile() + QStringLiteral(".bak")));
            QCOMPARE(Stored(DataFile()), QStringList());
            QVERIFY(dm.cdsList.active() && dm.cdsCalendar.active() && dm.cdsTrash.active() && dm.cdsThread.active());
            QVERIFY(!dm.cdsReminder.active());
            QCOMPARE(dmKaAlarms, &dm);
        }
        QCOMPARE(dmKaAlarms, nullptr);
        // The file is self-describing: the thirteen stored fields by name and type.
        Table t(QStringLiteral("check"));
        t.loadFromFile(DataFile());
        QCOMPARE(t.fieldDefs(), StoredFields());
    }

    void loadRenumbersAndRewritesAtOnce()
    {
        WritePacket(DataFile(), StoredFields(),
                    Rows({{4, QStringLiteral("a")}, {9, QStringLiteral("b")}, {12, QStringLiteral("")}}));
        const QByteArray original = Bytes(DataFile());
        TdmKaAlarms dm;
        QCOMPARE(dm.cdsAlarms.recordCount(), 3);
        // Empty titles load without complaint; the numbers start again at 1.
        QCOMPARE(Stored(DataFile()), QStringList({QStringLiteral("1:a"), QStringLiteral("2:b"), QStringLiteral("3:")}));
        QCOMPARE(Bytes(DataFile() + QStringLiteral(".bak")), original);
        QCOMPARE(dm.cdsList.recordCount(), 3);
        QCOMPARE(dm.NextNumber(), 4);
    }

    void corruptFileIsRescued_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("garbage") << QByteArray("this is not a data file");
        QTest::newRow("truncated") << QByteArray("\xd9\xd9\xf7\xa4\x66packet");
    }

    void corruptFileIsRescued()
    {
        QFETCH(QByteArray, content);
        WriteBytes(DataFile(), content);
        WriteBytes(DataDir() + QStringLiteral("Alarms.ka2.bak"), QByteArray("previous state"));
        WriteBytes(DataDir() + QStringLiteral("Alarms backup 1.ka2"), QByteArray("older rescue"));
        WriteBytes(DataDir() + QStringLiteral("Alarms damaged 1.ka2"), QByteArray("older damage"));
        ErrorTexts errors;
        {
            TdmKaAlarms dm;
            QCOMPARE(errors.texts.size(), 1);
            QVERIFY(errors.texts[0].startsWith(QStringLiteral("Error while loading datas :\r\n\"%1\" is not a valid "
                                                              "data file")
                                                   .arg(DataFile())));
            QVERIFY(errors.texts[0].endsWith(
                QStringLiteral("\r\n\r\nTasks list is empty...\r\nTry to import the backup file that was created.")));
            QVERIFY(!dm.LoadGood());
            QCOMPARE(dm.cdsAlarms.recordCount(), 0);
            QVERIFY(dm.cdsAlarms.active());
            QCOMPARE(Bytes(DataDir() + QStringLiteral("Alarms backup 1.ka2")), QByteArray("older rescue"));
            QCOMPARE(Bytes(DataDir() + QStringLiteral("Alarms backup 2.ka2")), QByteArray("previous state"));
            // The damaged file itself is kept under the next free number.
            QCOMPARE(Bytes(DataDir() + QStringLiteral("Alarms damaged 1.ka2")), QByteArray("older damage"));
            QCOMPARE(Bytes(DataDir() + QStringLiteral("Alarms damaged 2.ka2")), content);
            // The damaged file stays until something is posted.
            QCOMPARE(Bytes(DataFile()), content);
            AddAlarm(dm, zel::EncodeDate(2026, 3, 10));
            QCOMPARE(Stored(DataFile()), QStringList({QStringLiteral("1:Alarm")}));
            QCOMPARE(Bytes(DataFile() + QStringLiteral(".bak")), content);
            // Two saves later the damaged bytes are still there.
            AddAlarm(dm, zel::EncodeDate(2026, 3, 11));
            QCOMPARE(Bytes(DataDir() + QStringLiteral("Alarms damaged 2.ka2")), content);
        }
        QCOMPARE(errors.texts.size(), 1);
        QVERIFY(!QFileInfo::exists(DataDir() + QStringLiteral("Alarms damaged 3.ka2")));
    }

    void failedLoadWithoutBackupKeepsTheDamagedFile()
    {
        WriteBytes(DataFile(), QByteArray("junk"));
        ErrorTexts errors;
        TdmKaAlarms dm;
        QCOMPARE(errors.texts.size(), 1);
        QVERIFY(!QFileInfo::exists(DataDir() + QStringLiteral("Alarms backup 1.ka2")));
        QCOMPARE(Bytes(DataDir() + QStringLiteral("Alarms damaged 1.ka2")), QByteArray("junk"));
    }

    // A record whose date cannot be held (a number declared as an integer)
    // fails the load like a damaged file: reported, the file kept.
    void unreadableValueFailsTheLoad()
    {
        QList<FieldDef> fields = StoredFields();
        fields[1].type = FieldType::Integer;
        QList<QVariantList> rows = Rows({{4, QStringLiteral("a")}, {5, QStringLiteral("b")}});
        rows[1][1] = 4000000;
        WritePacket(DataFile(), fields, rows);
        const QByteArray original = Bytes(DataFile());
        ErrorTexts errors;
        TdmKaAlarms dm;
        QCOMPARE(errors.texts.size(), 1);
        QVERIFY2(errors.texts[0].contains(QLatin1String("out of range (years 1 to 9999)")),
                 qPrintable(errors.texts[0]));
        QVERIFY(!dm.LoadGood());
        QCOMPARE(Bytes(DataDir() + QStringLiteral("Alarms damaged 1.ka2")), original);
    }

    // A FIFO in place of the data file is reported at once (it would block
    // the start) and is not copied.
    void fifoInPlaceOfTheDataFile()
    {
        const QByteArray path = QFile::encodeName(DataFile());
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        // A start that waits on the FIFO is given a writer, so that a fault
        // fails the test instead of hanging it.
        std::atomic<bool> done{false};
        std::thread writer([&] {
            while (!done) {
                const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0)
                    ::close(fd);
                std::this_thread::yield();
            }
        });
        ErrorTexts errors;
        {
            TdmKaAlarms dm;
            done = true;
            writer.join();
            QCOMPARE(errors.texts.size(), 1);
            QVERIFY2(errors.texts[0].contains(
                         QStringLiteral("\"%1\" is not a valid data file: it is not a regular file").arg(DataFile())),
                     qPrintable(errors.texts[0]));
            QVERIFY(!dm.LoadGood());
            QVERIFY(!QFileInfo::exists(DataDir() + QStringLiteral("Alarms damaged 1.ka2")));
        }
        QFile::remove(DataFile());
    }

    void everyPostRotatesTheBackup()
    {
        TdmKaAlarms dm;
        AddAlarm(dm, zel::EncodeDate(2026, 3, 10), QStringLiteral("v0"));
        for (int i = 1; i <= 3; ++i) {
            dm.cdsAlarms.edit();
            dm.cdsAlarms.fieldByName(AlarmField::Title).setAsString(QStringLiteral("v%1").arg(i));
            dm.cdsAlarms.post();
            QCOMPARE(Stored(DataFile()), QStringList(QStringLiteral("1:v%1").arg(i)));
        }
        QCOMPARE(Stored(DataFile() + QStringLiteral(".bak")), QStringList(QStringLiteral("1:v2")));
        // No temporary file is left behind.
        QCOMPARE(QDir(DataDir()).entryList(QDir::Files),
                 QStringList({QStringLiteral("Alarms.ka2"), QStringLiteral("Alarms.ka2.bak")}));
    }

    void removalReachesTheFileAtTheEnd()
    {
        {
            TdmKaAlarms dm;
            AddAlarm(dm, zel::EncodeDate(2026, 3, 10), QStringLiteral("kept"));
            AddAlarm(dm, zel::EncodeDate(2026, 3, 11), QStringLiteral("erased"), 1);
            dm.LocateNumber(dm.cdsAlarms, 2, true);
            dm.cdsAlarms.deleteRecord();
            QCOMPARE(Stored(DataFile()).size(), 2);
        }
        QCOMPARE(Stored(DataFile()), QStringList(QStringLiteral("1:kept")));
        // And the next start reads what the last run wrote.
        TdmKaAlarms again;
        QCOMPARE(again.cdsAlarms.recordCount(), 1);
    }

    void failingWriteReachesThePoster()
    {
        TdmKaAlarms dm;
        AddAlarm(dm, zel::EncodeDate(2026, 3, 10), QStringLiteral("first"));
        const QByteArray saved = Bytes(DataFile());
        // A folder in the place of the data file cannot be replaced.
        QVERIFY(QFile::remove(DataFile()));
        QVERIFY(QDir().mkdir(DataFile()));
        dm.cdsAlarms.edit();
        dm.cdsAlarms.fieldByName(AlarmField::Title).setAsString(QStringLiteral("second"));
        const QString failure = FailureOf([&] { dm.cdsAlarms.post(); });
        QVERIFY2(failure.contains(DataFile()), qPrintable(failure));
        // The record stays posted in memory.
        QCOMPARE(dm.cdsAlarms.state(), DataSetState::Browse);
        QCOMPARE(dm.cdsAlarms.fieldByName(AlarmField::Title).asString(), QStringLiteral("second"));
        QVERIFY(QDir().rmdir(DataFile()));
        WriteBytes(DataFile(), saved);
    }

    void failingWriteKeepsBothFiles_data()
    {
        QTest::addColumn<bool>("links");
        QTest::newRow("backup as a second name") << true;
        QTest::newRow("backup as a byte copy") << false;
    }

    // The device refuses the write after N bytes, for every N up to the size
    // of the new file: the data file and its backup stay byte for byte as
    // they were, no temporary file is left, the record stays posted in memory
    // and the poster hears of the failure.
    void failingWriteKeepsBothFiles()
    {
        QFETCH(bool, links);
        std::optional<NoBackupLinks> copies;
        if (!links)
            copies.emplace();
        TdmKaAlarms dm;
        for (int i = 0; i < 20; ++i)
            AddAlarm(dm, zel::EncodeDate(2026, 3, 10) + i, QStringLiteral("alarm %1").arg(i));
        Retitle(dm, QStringLiteral("old"));
        const QByteArray data = Bytes(DataFile());
        const QByteArray bak = Bytes(Bak());
        QVERIFY(!bak.isEmpty() && bak != data);
        // The new content has the size of the old one: every cut is short of it.
        const qint64 size = data.size();
        int failures = 0;
        for (qint64 n = 0; n < size; n += (n < 64 ? 1 : 97)) {
            FailingWrites failing(n);
            const QString failure = FailureOf([&] { Retitle(dm, QStringLiteral("new")); });
            const QString cut = QStringLiteral("a write cut after %1 bytes: %2").arg(n).arg(failure);
            QVERIFY2(failure.contains(QDir::toNativeSeparators(DataFile())), qPrintable(cut));
            QVERIFY2(failure.contains(QStringLiteral("No space left on device")), qPrintable(cut));
            ++failures;
            QCOMPARE(dm.cdsAlarms.state(), DataSetState::Browse);
            QCOMPARE(dm.cdsAlarms.fieldByName(AlarmField::Title).asString(), QStringLiteral("new"));
            QCOMPARE(Bytes(DataFile()), data);
            QCOMPARE(Bytes(Bak()), bak);
            QCOMPARE(Files(), QStringList({QStringLiteral("Alarms.ka2"), QStringLiteral("Alarms.ka2.bak")}));
        }
        QVERIFY(failures > 64);
        // Once the device takes the bytes again, the save goes through.
        Retitle(dm, QStringLiteral("new"));
        QCOMPARE(Bytes(Bak()), data);
        QCOMPARE(Stored(DataFile()).last(), QStringLiteral("20:new"));
    }

    void backupHoldsThePreviousState_data()
    {
        QTest::addColumn<bool>("links");
        QTest::newRow("second name of the replaced file") << true;
        QTest::newRow("byte copy") << false;
    }

    // The backup is a second name of the file being replaced, or, where the
    // file system gives none, a copy of its bytes: a file of its own.
    void backupHoldsThePreviousState()
    {
        QFETCH(bool, links);
        std::optional<NoBackupLinks> copies;
        if (!links)
            copies.emplace();
        TdmKaAlarms dm;
        AddAlarm(dm, zel::EncodeDate(2026, 3, 10), QStringLiteral("v0"));
        for (int i = 1; i <= 2; ++i) {
            const QByteArray before = Bytes(DataFile());
            const quint64 replaced = Inode(DataFile());
            Retitle(dm, QStringLiteral("v%1").arg(i));
            QCOMPARE(Bytes(Bak()), before);
            QCOMPARE(Inode(Bak()) == replaced, links);
            QVERIFY(!SameFile(DataFile(), Bak()));
        }
        QCOMPARE(Stored(Bak()), QStringList(QStringLiteral("1:v1")));
        QCOMPARE(Files(), QStringList({QStringLiteral("Alarms.ka2"), QStringLiteral("Alarms.ka2.bak")}));
    }

    // After a save that failed once its backup was made, or a kill between
    // the two, the backup and the data file can be one file: the next save
    // leaves no temporary file either.
    void backupAlreadyTheDataFile()
    {
        TdmKaAlarms dm;
        AddAlarm(dm, zel::EncodeDate(2026, 3, 10), QStringLiteral("v0"));
        QVERIFY(QFile::remove(Bak()));
        std::error_code error;
        std::filesystem::create_hard_link(QFile::encodeName(DataFile()).toStdString(),
                                          QFile::encodeName(Bak()).toStdString(), error);
        QVERIFY(!error);
        const QByteArray before = Bytes(DataFile());
        Retitle(dm, QStringLiteral("v1"));
        QCOMPARE(Bytes(Bak()), before);
        QCOMPARE(Stored(DataFile()), QStringList(QStringLiteral("1:v1")));
        QCOMPARE(Files(), QStringList({QStringLiteral("Alarms.ka2"), QStringLiteral("Alarms.ka2.bak")}));
    }

    // The next start removes the temporary files an interrupted save left, and
    // only those.
    void leftoversRemovedAtStart()
    {
        {
            TdmKaAlarms dm;
            AddAlarm(dm, zel::EncodeDate(2026, 3, 10), QStringLiteral("kept"));
        }
        const QStringList leftovers = {QStringLiteral("Alarms.ka2.tmp"), QStringLiteral("Alarms.ka2.bak.tmp"),
                                       QStringLiteral("Alarms backup 1.ka2.tmp")};
        const QStringList others = {QStringLiteral("Alarms.ka2.Xy12Zw"), QStringLiteral("Alarms.ka2.old"),
                                    QStringLiteral("notes.tmp")};
        for (const QString &name : leftovers + others)
            WriteBytes(DataDir() + name, QByteArray("half a save"));
        TdmKaAlarms dm;
        QCOMPARE(dm.cdsAlarms.recordCount(), 1);
        for (const QString &name : leftovers)
            QVERIFY2(!QFileInfo::exists(DataDir() + name), qPrintable(name));
        for (const QString &name : others)
            QCOMPARE(Bytes(DataDir() + name), QByteArray("half a save"));
    }

    // A data file kept elsewhere through a symbolic link: the save writes the
    // target and the link stays a link; the backup is a real file holding the
    // target's previous content, so a damaged target leaves a good backup.
    void linkedDataFile()
    {
        const QString synced = DataDir() + QStringLiteral("synced/");
        QDir(synced).removeRecursively();
        QVERIFY(QDir().mkpath(synced));
        const QString target = synced + QStringLiteral("my alarms.ka2");
        WritePacket(target, StoredFields(), Rows({{1, QStringLiteral("a")}}));
        const QByteArray original = Bytes(target);
        QVERIFY(QFile::link(target, DataFile()));
        {
            TdmKaAlarms dm;
            QCOMPARE(dm.cdsAlarms.recordCount(), 1);
            QVERIFY(QFileInfo(DataFile()).isSymLink());
            QVERIFY(!QFileInfo(Bak()).isSymLink());
            QCOMPARE(Bytes(Bak()), original);
            const QByteArray before = Bytes(target);
            dm.LocateNumber(dm.cdsAlarms, 1, true);
            Retitle(dm, QStringLiteral("b"));
            QVERIFY(QFileInfo(DataFile()).isSymLink());
            QCOMPARE(QFileInfo(DataFile()).symLinkTarget(), target);
            QCOMPARE(Stored(target), QStringList(QStringLiteral("1:b")));
            QVERIFY(!QFileInfo(Bak()).isSymLink());
            QVERIFY(!SameFile(Bak(), target));
            QCOMPARE(Bytes(Bak()), before);
        }
        QCOMPARE(QDir(synced).entryList(QDir::Files | QDir::Hidden), QStringList(QStringLiteral("my alarms.ka2")));
        // The target damaged outside the program: the backup is still good.
        WriteBytes(target, QByteArray("damaged"));
        QCOMPARE(Stored(Bak()), QStringList(QStringLiteral("1:b")));
        QFile::remove(DataFile());
        QDir(synced).removeRecursively();
    }

    // A read-only data folder holding a writable data file and backup: the
    // backup is copied and the data file rewritten in place.
    void readOnlyFolder()
    {
        {
            TdmKaAlarms dm;
            AddAlarm(dm, zel::EncodeDate(2026, 3, 10), QStringLiteral("v0"));
            Retitle(dm, QStringLiteral("v1"));
        }
        const QByteArray atEnd = Bytes(DataFile());
        {
            OrdinaryUser user;
            Permissions folder(DataDir(), ReadOnlyFolder);
            TdmKaAlarms dm;
            QCOMPARE(dm.cdsAlarms.recordCount(), 1);
            QCOMPARE(Bytes(Bak()), atEnd);
            const QByteArray before = Bytes(DataFile());
            Retitle(dm, QStringLiteral("v2"));
            QCOMPARE(Stored(DataFile()), QStringList(QStringLiteral("1:v2")));
            QCOMPARE(Bytes(Bak()), before);
            QVERIFY(!SameFile(DataFile(), Bak()));
            QCOMPARE(Files(), QStringList({QStringLiteral("Alarms.ka2"), QStringLiteral("Alarms.ka2.bak")}));
        }
        QCOMPARE(Stored(DataFile()), QStringList(QStringLiteral("1:v2")));
    }

    void failedSaveAtStartGoesOn_data()
    {
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::newRow("read-only file") << false;
        QTest::newRow("read-only file in a read-only folder") << true;
    }

    // The save at start fails: the alarms loaded stay, the program shows why
    // and goes on, and every later post reports its own failure.
    void failedSaveAtStartGoesOn()
    {
        QFETCH(bool, readOnlyFolder);
        WritePacket(DataFile(), StoredFields(), Rows({{1, QStringLiteral("a")}, {2, QStringLiteral("b")}}));
        const QByteArray original = Bytes(DataFile());
        {
            OrdinaryUser user;
            Permissions file(DataFile(), ReadOnly);
            std::optional<Permissions> folder;
            if (readOnlyFolder)
                folder.emplace(DataDir(), ReadOnlyFolder);
            ErrorTexts errors;
            TdmKaAlarms dm;
            QCOMPARE(errors.texts.size(), 1);
            QVERIFY2(errors.texts[0].startsWith(
                         QStringLiteral("Cannot write file \"%1\"").arg(QDir::toNativeSeparators(DataFile()))),
                     qPrintable(errors.texts[0]));
            QCOMPARE(dm.cdsAlarms.recordCount(), 2);
            dm.LocateNumber(dm.cdsAlarms, 2, true);
            QVERIFY_THROWS_EXCEPTION(EDatabaseError, Retitle(dm, QStringLiteral("c")));
            QCOMPARE(dm.cdsAlarms.fieldByName(AlarmField::Title).asString(), QStringLiteral("c"));
            QCOMPARE(dm.cdsAlarms.recordCount(), 2);
            QCOMPARE(Bytes(DataFile()), original);
        }
        QCOMPARE(Files().filter(QStringLiteral(".tmp")), QStringList());
    }
};

QTEST_MAIN(TestDataFile)
#include "tst_data_file.moc"
