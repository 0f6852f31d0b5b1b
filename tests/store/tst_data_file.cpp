// The data file "Alarms.ka2" and its backups: created at first start, loaded
// and renumbered, rescued after a failed load, rewritten after every post
// with the previous state in "Alarms.ka2.bak", and written at the end.
#include "base/U_KA_Var.h"
#include "store/D_KA_Alarms.h"
#include "store/DataPacket.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

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
            // The damaged file stays until something is posted.
            QCOMPARE(Bytes(DataFile()), content);
            AddAlarm(dm, zel::EncodeDate(2026, 3, 10));
            QCOMPARE(Stored(DataFile()), QStringList({QStringLiteral("1:Alarm")}));
            QCOMPARE(Bytes(DataFile() + QStringLiteral(".bak")), content);
        }
        QCOMPARE(errors.texts.size(), 1);
    }

    void failedLoadWithoutBackupCopiesNothing()
    {
        WriteBytes(DataFile(), QByteArray("junk"));
        ErrorTexts errors;
        TdmKaAlarms dm;
        QCOMPARE(errors.texts.size(), 1);
        QVERIFY(!QFileInfo::exists(DataDir() + QStringLiteral("Alarms backup 1.ka2")));
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
        try {
            dm.cdsAlarms.post();
            QFAIL("the failed write was not reported");
        } catch (const EDatabaseError &e) {
            QVERIFY2(e.message().contains(DataFile()), qPrintable(e.message()));
        }
        // The record stays posted in memory.
        QCOMPARE(dm.cdsAlarms.state(), DataSetState::Browse);
        QCOMPARE(dm.cdsAlarms.fieldByName(AlarmField::Title).asString(), QStringLiteral("second"));
        QVERIFY(QDir().rmdir(DataFile()));
        WriteBytes(DataFile(), saved);
    }
};

QTEST_MAIN(TestDataFile)
#include "tst_data_file.moc"
