// The save under hostile conditions, in the spirit of a database's
// atomic-commit tests: a program that posts in a loop is killed with SIGKILL
// at random moments while it saves, and the data file and its backup must
// always load and hold a whole table; a full disk makes the save fail without
// touching either file.
#include "SaveGeneration.h"
#include "base/U_KA_Var.h"
#include "store/D_KA_Alarms.h"
#include "support/TestSupport.h"
#include "support/Failure.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>
#include <optional>

#include <sys/mount.h>
#include <unistd.h>

using namespace store;
using namespace testsupport;

namespace {

constexpr int BallastRows = 3000;

QByteArray Bytes(const QString &fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList TempFiles(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.tmp"), QStringLiteral("Alarms.ka2.??????")},
                                  QDir::Files | QDir::Hidden | QDir::System);
}

// A data file of alarm number 1 at generation 0 and many others, so that a
// save takes a while.
void WriteStartTable(int ballast)
{
    QList<FieldDef> fields = TdmKaAlarms::AlarmRecordFields();
    fields.removeLast();
    QList<QVariantList> rows;
    rows.append({1, zel::EncodeDate(2026, 3, 10), QVariant(), 0, QStringLiteral("0"), 1, 1, SaveGeneration(0), 1, 0,
                 QString(), 0, 0});
    for (int i = 2; i <= ballast + 1; ++i)
        rows.append({i, zel::EncodeDate(2026, 3, 10) + i, QVariant(), 0, QStringLiteral("ballast %1").arg(i), 1, 1,
                     QStringLiteral("a comment to give the row some weight, %1").arg(i).repeated(3), 1, 0, QString(), 0,
                     0});
    WritePacket(DataFile(), fields, rows);
}

// Loads a data file (failing the test when it does not load) and returns the
// generation it holds, after checking that the table is whole.
qint64 Generation(const QString &fileName, int rows)
{
    Table t(QStringLiteral("check"));
    try {
        t.loadFromFile(fileName);
    } catch (const Exception &e) {
        qWarning("%s does not load: %s", qPrintable(fileName), qPrintable(e.message()));
        return -1;
    }
    if (t.recordCount() != rows) {
        qWarning("%s holds %d rows", qPrintable(fileName), t.recordCount());
        return -1;
    }
    t.first();
    const qint64 k = t.fieldByName(AlarmField::Title).asString().toLongLong();
    if (t.fieldByName(AlarmField::Comments).asString() != SaveGeneration(k)) {
        qWarning("%s mixes generations", qPrintable(fileName));
        return -1;
    }
    t.last();
    if (t.fieldByName(AlarmField::Number).asInteger() != rows) {
        qWarning("%s lost its last rows", qPrintable(fileName));
        return -1;
    }
    return k;
}

// Reads the poster's next line, keeping every line read.
QByteArray ReadLine(QProcess &p, QList<QByteArray> &lines)
{
    while (!p.canReadLine()) {
        if (!p.waitForReadyRead(10000))
            return {};
    }
    lines.append(p.readLine().trimmed());
    return lines.last();
}

} // namespace

class TestSaveCrash : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { InitProgramUnits(); }

    void init() { ClearDataDir(); }

    void killedWhileSaving()
    {
        WriteStartTable(BallastRows);
        const int rows = BallastRows + 1;
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        int kills = 0;
        int duringWrite = 0;
        int filesChecked = 0;
        for (int run = 0; run < 50; ++run) {
            QProcess poster;
            poster.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            poster.start(QStringLiteral(ALMARIK_SAVE_POSTER), {QStringLiteral("loop")});
            QVERIFY(poster.waitForStarted());
            QList<QByteArray> lines;
            QCOMPARE(ReadLine(poster, lines), QByteArray("ready"));
            // The start removed what the killed save left.
            QCOMPARE(TempFiles(DataDir()), QStringList());
            poster.write("go\n");
            // One save timed, then killed at a random moment of the next
            // one or just after it.
            QElapsedTimer timer;
            qint64 saveTime = 0;
            for (int b = 0; b < 2;) {
                const QByteArray line = ReadLine(poster, lines);
                QVERIFY2(!line.isEmpty(), "the poster stopped posting");
                if (line.startsWith("B ")) {
                    ++b;
                    timer.start();
                } else if (line.startsWith("E ")) {
                    saveTime = timer.nsecsElapsed() / 1000;
                }
            }
            ::usleep(useconds_t(random.bounded(qint64(0), saveTime * 6 / 5 + 1)));
            ::kill(pid_t(poster.processId()), SIGKILL);
            QVERIFY(poster.waitForFinished(10000));
            QCOMPARE(poster.exitStatus(), QProcess::CrashExit);
            ++kills;
            // The last generation begun, and whether its post returned.
            qint64 begun = 0;
            bool ended = false;
            lines += poster.readAllStandardOutput().split('\n');
            for (const QByteArray &line : lines) {
                if (line.startsWith("B ")) {
                    begun = line.mid(2).toLongLong();
                    ended = false;
                } else if (line.startsWith("E ")) {
                    ended = line.mid(2).toLongLong() == begun;
                }
            }
            if (!ended)
                ++duringWrite;

            // The data file holds the old table or the new one, whole; the
            // backup loads and holds the state before the last write (or the
            // same one, killed between the backup and the replacement).
            const qint64 data = Generation(DataFile(), rows);
            ++filesChecked;
            QVERIFY2(ended ? data == begun : (data == begun || data == begun - 1),
                     qPrintable(QStringLiteral("run %1: generation %2 after %3 begun").arg(run).arg(data).arg(begun)));
            const qint64 bak = Generation(DataFile() + QStringLiteral(".bak"), rows);
            ++filesChecked;
            QVERIFY2(bak == data || bak == data - 1,
                     qPrintable(QStringLiteral("run %1: backup generation %2, data %3").arg(run).arg(bak).arg(data)));
        }
        // A last restart: nothing of the killed saves is left.
        {
            TdmKaAlarms dm;
            QCOMPARE(dm.cdsAlarms.recordCount(), rows);
            QCOMPARE(TempFiles(DataDir()), QStringList());
        }
        qInfo("seed %u: %d kills, %d during a write, %d files checked", seed, kills, duringWrite, filesChecked);
        QVERIFY(duringWrite > 0);
    }

    void fullDisk_data()
    {
        QTest::addColumn<bool>("tmpfs");
        QTest::newRow("file size limit") << false;
        QTest::newRow("small tmpfs") << true;
    }

    // The disk fills while the data file is written: the failure reaches the
    // poster, the data file and its backup stay byte for byte as they were
    // and no temporary file is left.
    void fullDisk()
    {
        QFETCH(bool, tmpfs);
        if (!tmpfs) {
            WriteStartTable(200);
            {
                // A first run of the poster gives the backup.
                QProcess poster;
                poster.start(QStringLiteral(ALMARIK_SAVE_POSTER),
                             {QStringLiteral("once"), QStringLiteral("100000000")});
                QVERIFY(poster.waitForFinished(20000));
                QCOMPARE(poster.exitCode(), 0);
            }
            const QByteArray data = Bytes(DataFile());
            const QByteArray bak = Bytes(DataFile() + QStringLiteral(".bak"));
            QVERIFY(!bak.isEmpty());
            QProcess poster;
            poster.start(QStringLiteral(ALMARIK_SAVE_POSTER),
                         {QStringLiteral("once"), QString::number(data.size() / 2)});
            QVERIFY(poster.waitForFinished(20000));
            const QString said = QString::fromUtf8(poster.readAllStandardOutput());
            QCOMPARE(poster.exitCode(), 2);
            QVERIFY2(said.contains(QStringLiteral("failed Cannot write file \"%1\"").arg(DataFile())),
                     qPrintable(said));
            QCOMPARE(Bytes(DataFile()), data);
            QCOMPARE(Bytes(DataFile() + QStringLiteral(".bak")), bak);
            QCOMPARE(TempFiles(DataDir()), QStringList());
            return;
        }

        const QString mountPoint = QDir(DataDir()).filePath(QStringLiteral("small disk"));
        QVERIFY(QDir().mkpath(mountPoint));
        if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=512k") != 0) {
            QDir().rmdir(mountPoint);
            QSKIP("no tmpfs can be mounted here; the file size limit stands for the full disk");
        }
        const KaVar::Folders saved = KaVar::Paths();
        KaVar::Folders onSmallDisk = saved;
        onSmallDisk.UserDataDir = mountPoint + QLatin1Char('/');
        KaVar::SetPaths(onSmallDisk);
        const QString dataFile = onSmallDisk.UserDataDir + QStringLiteral("Alarms.ka2");
        {
            ErrorTexts errors;
            TdmKaAlarms dm;
            for (int i = 0; i < 40; ++i)
                AddAlarm(dm, zel::EncodeDate(2026, 3, 10) + i, QStringLiteral("alarm %1").arg(i));
            const QByteArray data = Bytes(dataFile);
            const QByteArray bak = Bytes(dataFile + QStringLiteral(".bak"));
            // Fill the disk.
            {
                QFile filler(onSmallDisk.UserDataDir + QStringLiteral("filler"));
                QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
                const QByteArray block(4096, 'x');
                while (filler.write(block) == block.size()) {
                }
                const QByteArray byte(1, 'x');
                while (filler.write(byte) == 1) {
                }
            }
            dm.cdsAlarms.edit();
            dm.cdsAlarms.fieldByName(AlarmField::Title).setAsString(QStringLiteral("on a full disk"));
            const QString failure = FailureOf([&] { dm.cdsAlarms.post(); });
            QVERIFY2(failure.contains(QStringLiteral("No space left on device")), qPrintable(failure));
            QCOMPARE(dm.cdsAlarms.fieldByName(AlarmField::Title).asString(), QStringLiteral("on a full disk"));
            QCOMPARE(Bytes(dataFile), data);
            QCOMPARE(Bytes(dataFile + QStringLiteral(".bak")), bak);
            QCOMPARE(TempFiles(onSmallDisk.UserDataDir), QStringList());
            QFile::remove(onSmallDisk.UserDataDir + QStringLiteral("filler"));
        }
        KaVar::SetPaths(saved);
        ::umount2(QFile::encodeName(mountPoint).constData(), MNT_DETACH);
        QDir().rmdir(mountPoint);
    }
};

QTEST_MAIN(TestSaveCrash)
#include "tst_save_crash.moc"
