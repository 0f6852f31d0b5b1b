// Application and system facts, the version read from an executable on disk,
// and the end of the session ending a real program at once while its data
// are still written.
#include "diag/U_ZEL_FileVersion.h"
#include "diag/U_ZEL_System.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// The data file the staged program writes in this test's HOME.
QString StagedDataFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Morvane/Almarik/Alarms.ka2");
}

quint64 Bit(int signal)
{
    return quint64(1) << (signal - 1);
}

// A signal set of a running process, from its status ("SigCgt:" caught,
// "SigIgn:" ignored).
quint64 SignalMask(qint64 pid, const QByteArray &key)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().toULongLong(nullptr, 16);
    }
    return 0;
}

// A small 64-bit little-endian ELF file: the header, the section names, then
// the section table (a null section, the names, and the given sections).
struct ElfSection
{
    QByteArray name;
    quint32 type;
    quint64 offset;
    quint64 size;
};

QByteArray MakeElf(const QList<ElfSection> &sections)
{
    const auto put = [](QByteArray &b, qsizetype at, quint64 value, int width) {
        for (int i = 0; i < width; ++i)
            b[at + i] = char((value >> (8 * i)) & 0xff);
    };
    QByteArray names("\0.shstrtab\0", 11);
    QList<quint32> nameOffsets;
    for (const ElfSection &s : sections) {
        nameOffsets << quint32(names.size());
        names += s.name + '\0';
    }
    QByteArray file(64, '\0');
    file.replace(0, 6,
                 QByteArray("\x7f"
                            "ELF\x02\x01",
                            6));
    const quint64 namesOffset = quint64(file.size());
    file += names;
    const quint64 table = quint64(file.size());
    const int count = int(sections.size()) + 2;
    put(file, 0x28, table, 8);
    put(file, 0x3A, 64, 2);
    put(file, 0x3C, quint64(count), 2);
    put(file, 0x3E, 1, 2);
    file += QByteArray(64 * count, '\0');
    const auto header = [&](int index, quint32 name, quint32 type, quint64 offset, quint64 size) {
        const qsizetype base = qsizetype(table) + 64 * index;
        put(file, base, name, 4);
        put(file, base + 4, type, 4);
        put(file, base + 0x18, offset, 8);
        put(file, base + 0x20, size, 8);
    };
    header(1, 1, 3, namesOffset, quint64(names.size()));
    for (int i = 0; i < sections.size(); ++i)
        header(i + 2, nameOffsets[i], sections[i].type, sections[i].offset, sections[i].size);
    return file;
}

} // namespace

class TestSystem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void applicationFacts()
    {
        const TZELApplication app(QStringLiteral("/opt/Apps/Almarik/bin/almarik.bin.x"),
                                  {QStringLiteral("/debug"), QStringLiteral("MiXeD"), QStringLiteral("été")});
        QCOMPARE(app.ExeName, QStringLiteral("/opt/Apps/Almarik/bin/almarik.bin.x"));
        QCOMPARE(app.ExePath, QStringLiteral("/opt/Apps/Almarik/bin/"));
        QCOMPARE(app.RootPath, QStringLiteral("/opt/Apps/Almarik/"));
        QCOMPARE(app.Parameters,
                 QStringList({QStringLiteral("/DEBUG"), QStringLiteral("MIXED"), QStringLiteral("\u00c9T\u00c9")}));
        QCOMPARE(app.Title, QStringLiteral("almarik"));
        QCOMPARE(TZELApplication::DefaultTitle(QStringLiteral("/x/ALMARIK.EXE")), QStringLiteral("Almarik"));
        QCOMPARE(app.AppPhase.load(), quint8(apInitializing));
        QCOMPARE(app.Version, QStringLiteral("Fichier invalide : /opt/Apps/Almarik/bin/almarik.bin.x !"));
    }

    void runningProgramFacts()
    {
        ZelSystemInitialize();
        QVERIFY(ZELApplication() && ZELWindows());
        QCOMPARE(ZELApplication()->ExeName, QCoreApplication::applicationFilePath());
        // This test program carries no version.
        QCOMPARE(ZELApplication()->Version, QStringLiteral(".."));
        QVERIFY(!ZELWindows()->ComputerName.isEmpty());
        QVERIFY(!ZELWindows()->UserName.isEmpty());
        QCOMPARE(ZELWindows()->AppData, QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
        ZelSystemFinalize();
        QVERIFY(!ZELApplication() && !ZELWindows());
    }

    void devEnvCanBeForced()
    {
        qputenv("ZEL_DEV_ENV", "1");
        QVERIFY(TZELApplication::DetectDevEnv());
        qputenv("ZEL_DEV_ENV", "0");
        QVERIFY(!TZELApplication::DetectDevEnv());
        qunsetenv("ZEL_DEV_ENV");
    }

    void versionOfFiles()
    {
        const TZELFileVersion program(QStringLiteral(ALMARIK_STAGED_EXE));
        QCOMPARE(program.VersionText(), QStringLiteral("2.2.2"));
        QCOMPARE(program.Build(), QStringLiteral(ALMARIK_BUILD_NUMBER));

        QCOMPARE(TZELFileVersion(QCoreApplication::applicationFilePath()).VersionText(), QStringLiteral(".."));
        QTemporaryDir dir;
        const QString text = dir.filePath(QStringLiteral("plain.txt"));
        QFile plain(text);
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("no program");
        plain.close();
        QCOMPARE(TZELFileVersion(text).VersionText(), QStringLiteral(".."));

        // A program cut short: its section table lies beyond the end.
        QFile source(QStringLiteral(ALMARIK_STAGED_EXE));
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QString cut = dir.filePath(QStringLiteral("cut"));
        QFile damaged(cut);
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(source.read(4096));
        damaged.close();
        QCOMPARE(TZELFileVersion(cut).VersionText(), QStringLiteral("Error on getting file informations : ") + cut);

        const QString missing = dir.filePath(QStringLiteral("none"));
        QCOMPARE(TZELFileVersion(missing).VersionText(), QStringLiteral("Fichier invalide : %1 !").arg(missing));
    }

    // Only a damaged file is an error; a program without the version section
    // has no version, whatever else it holds.
    void versionOfElfFiles_data()
    {
        QTest::addColumn<QList<ElfSection>>("sections");
        QTest::addColumn<bool>("damaged");
        constexpr quint32 ProgBits = 1, NoBits = 8;
        QTest::newRow("no version section") << QList<ElfSection>{{".text", ProgBits, 64, 8}} << false;
        QTest::newRow(".bss larger than the file")
            << QList<ElfSection>{{".text", ProgBits, 64, 8}, {".bss", NoBits, 4096, 1 << 20}} << false;
        QTest::newRow(".tbss beyond the end")
            << QList<ElfSection>{{".tbss", NoBits, 1 << 20, 64}, {".text", ProgBits, 64, 8}} << false;
        QTest::newRow("data beyond the end") << QList<ElfSection>{{".data", ProgBits, 64, 1 << 20}} << true;
        QTest::newRow("version without bytes") << QList<ElfSection>{{".zel_version", NoBits, 64, 64}} << true;
    }

    void versionOfElfFiles()
    {
        QFETCH(QList<ElfSection>, sections);
        QFETCH(bool, damaged);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("program"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(MakeElf(sections));
        file.close();
        QCOMPARE(TZELFileVersion(path).VersionText(),
                 damaged ? QStringLiteral("Error on getting file informations : ") + path : QStringLiteral(".."));
    }

    void sessionEnd_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        // Ctrl+C in a terminal ends it the same way, with the end's saves.
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    // The user's session ends: the program leaves at once, and its normal end
    // still writes the data file.
    void sessionEnd()
    {
        QFETCH(int, signal);
        const QString dataFile = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                                 QStringLiteral("/Morvane/Almarik/Alarms.ka2");
        QFile::remove(dataFile);
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dataFile), 15000);
        QTest::qWait(300);
        QVERIFY(QFile::remove(dataFile));
        ::kill(pid_t(program.processId()), signal);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(QFile::exists(dataFile));
    }

    void ignoredSignalsStayIgnored_data()
    {
        QTest::addColumn<bool>("ignored");
        QTest::newRow("plain start") << false;
        QTest::newRow("started to ignore hang-up and interrupt (nohup, background job)") << true;
    }

    // The program takes the signals that end a session, but one it was
    // started to ignore stays ignored: a program started with nohup outlives
    // its terminal.
    void ignoredSignalsStayIgnored()
    {
        QFETCH(bool, ignored);
        const QString dataFile = StagedDataFile();
        QFile::remove(dataFile);
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        if (ignored) {
            program.setChildProcessModifier([] {
                ::signal(SIGHUP, SIG_IGN);
                ::signal(SIGINT, SIG_IGN);
            });
        }
        program.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(program.waitForStarted());
        // The data file is written after the handlers are in place.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dataFile), 15000);
        const quint64 caught = SignalMask(program.processId(), "SigCgt:");
        const quint64 ignoredMask = SignalMask(program.processId(), "SigIgn:");
        QVERIFY(caught & Bit(SIGTERM));
        QCOMPARE(bool(caught & Bit(SIGHUP)), !ignored);
        QCOMPARE(bool(caught & Bit(SIGINT)), !ignored);
        QCOMPARE(bool(ignoredMask & Bit(SIGHUP)), ignored);
        QCOMPARE(bool(ignoredMask & Bit(SIGINT)), ignored);
        ::kill(pid_t(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    }

    // One copy runs per data folder, whatever the runtime folder of each
    // (after su, or with XDG_RUNTIME_DIR unset).
    void oneCopyPerDataFolder()
    {
        const QString dataFile = StagedDataFile();
        QFile::remove(dataFile);
        QProcess first;
        first.setProcessChannelMode(QProcess::ForwardedChannels);
        first.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dataFile), 15000);

        QTemporaryDir otherRuntime;
        QVERIFY(otherRuntime.isValid());
        QFile::setPermissions(otherRuntime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), otherRuntime.path());
        QProcess second;
        second.setProcessChannelMode(QProcess::ForwardedChannels);
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(second.waitForStarted());
        const bool ended = second.waitForFinished(15000);
        if (!ended) {
            second.kill();
            second.waitForFinished();
        }
        QVERIFY2(ended, "a second copy ran on the same data folder");
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);
        ::kill(pid_t(first.processId()), SIGTERM);
        QVERIFY(first.waitForFinished(10000));
    }
};

QTEST_MAIN(TestSystem)
#include "tst_system.moc"
