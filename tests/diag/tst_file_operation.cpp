// Batch file operations: several sources, wildcards, folders, rename on
// collision, no-confirmation flags and failures that are never silent.
#include "diag/U_ZEL_FileSystem.h"
#include "diag/ZelException.h"

#include "diag/U_ZEL_Utilities.h"
#include "support/Failure.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStorageInfo>
#include <QMetaEnum>
#include <QTemporaryDir>
#include <QTest>

using testsupport::FailureOf;

namespace {

void Write(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

QByteArray Read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList Names(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

int Run(TFileOperation::TFileMode mode, const QString &source, const QString &destination,
        TFileOperation::TFileOptions options)
{
    TFileOperation op;
    op.SetMode(mode);
    op.SetSource(source);
    op.SetDestination(destination);
    op.SetOptions(options);
    return op.Execute();
}

// Makes a folder's entries impossible to remove or rename, also for root
// (immutable attribute), else by its permissions; undone by the destructor.
// locked is false when neither works here.
struct LockedFolder
{
    explicit LockedFolder(const QString &folder) : path(folder)
    {
        immutable = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) == 0;
        if (!immutable)
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
        // Whether a rename in the folder really fails now.
        const QString probe = QDir(path).filePath(QStringLiteral(".probe"));
        locked = !QFile(probe).open(QIODevice::WriteOnly);
        QFile::remove(probe);
    }
    ~LockedFolder()
    {
        if (immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString path;
    bool immutable = false;
    bool locked = false;
};

} // namespace

class TestFileOperation : public QObject
{
    Q_OBJECT

    QTemporaryDir *m_dir = nullptr;
    QString path(const QString &name) const { return m_dir->filePath(name); }

private Q_SLOTS:
    void init() { m_dir = new QTemporaryDir; }
    void cleanup()
    {
        delete m_dir;
        TFileOperation::SetConfirmHandler({});
    }

    void optionsCarryTheShellFlags()
    {
        const QMetaEnum options = QMetaEnum::fromType<TFileOperation::TFileOptions>();
        const QStringList names = {QStringLiteral("fofAllowUndo"),         QStringLiteral("fofConfirmMouse"),
                                   QStringLiteral("fofFilesOnly"),         QStringLiteral("fofMultiDestFiles"),
                                   QStringLiteral("fofNoConfirmation"),    QStringLiteral("fofNoConfirmMkDir"),
                                   QStringLiteral("fofRenameOnCollision"), QStringLiteral("fofSilent"),
                                   QStringLiteral("fofSimpleProgress"),    QStringLiteral("fofWantMappingHandle")};
        const QList<int> flags = {0x40, 0x2, 0x80, 0x1, 0x10, 0x200, 0x8, 0x4, 0x100, 0x20};
        QCOMPARE(options.keyCount(), 10);
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(QString::fromLatin1(options.key(i)), names[i]);
            QCOMPARE(options.value(i), flags[i]);
        }
        QCOMPARE(TFileOperation::ShellFlags(TFileOperation::fofNoConfirmation | TFileOperation::fofSilent), 0x14);
        QCOMPARE(TFileOperation::ShellFunction(TFileOperation::foMove), 1);
        QCOMPARE(TFileOperation::ShellFunction(TFileOperation::foCopy), 2);
        QCOMPARE(TFileOperation::ShellFunction(TFileOperation::foDelete), 3);
        QCOMPARE(TFileOperation::ShellFunction(TFileOperation::foRename), 4);
    }

    void twoSourcesInOneOperation()
    {
        Write(path(QStringLiteral("a.txt")), "a");
        Write(path(QStringLiteral("b.txt")), "b");
        DoFileOperation(
            TFileOperation::foCopy, path(QStringLiteral("a.txt")) + QLatin1Char(';') + path(QStringLiteral("b.txt")),
            path(QStringLiteral("out")), TFileOperation::fofNoConfirmation | TFileOperation::fofNoConfirmMkDir);
        QCOMPARE(Names(path(QStringLiteral("out"))), QStringList({QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
        DoFileOperation(TFileOperation::foDelete,
                        path(QStringLiteral("a.txt")) + QLatin1Char(';') + path(QStringLiteral("b.txt")), QString(),
                        TFileOperation::fofNoConfirmation);
        QCOMPARE(Names(m_dir->path()), QStringList(QStringLiteral("out")));
    }

    // The move of the legacy data folder: every file, renamed on collision,
    // then the folder deleted.
    void moveEverythingRenamingOnCollision()
    {
        Write(path(QStringLiteral("Datas/Alarms.ka2")), "old");
        Write(path(QStringLiteral("Datas/Alarms.ka2.bak")), "older");
        Write(path(QStringLiteral("Datas/readme")), "r");
        Write(path(QStringLiteral("user/Alarms.ka2")), "current");
        Write(path(QStringLiteral("user/Alarms (2).ka2")), "taken");
        DoFileOperation(TFileOperation::foMove, path(QStringLiteral("Datas/*.*")), path(QStringLiteral("user")),
                        TFileOperation::fofNoConfirmation | TFileOperation::fofNoConfirmMkDir |
                            TFileOperation::fofRenameOnCollision | TFileOperation::fofSilent);
        QCOMPARE(
            Names(path(QStringLiteral("user"))),
            QStringList({QStringLiteral("Alarms (2).ka2"), QStringLiteral("Alarms (3).ka2"),
                         QStringLiteral("Alarms.ka2"), QStringLiteral("Alarms.ka2.bak"), QStringLiteral("readme")}));
        QCOMPARE(Read(path(QStringLiteral("user/Alarms.ka2"))), QByteArray("current"));
        QCOMPARE(Read(path(QStringLiteral("user/Alarms (3).ka2"))), QByteArray("old"));
        QCOMPARE(Names(path(QStringLiteral("Datas"))), QStringList());
        DoFileOperation(TFileOperation::foDelete, path(QStringLiteral("Datas")), QString(),
                        TFileOperation::fofNoConfirmation | TFileOperation::fofNoConfirmMkDir);
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("Datas"))));
    }

    void collisionNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("extension") << QStringLiteral("a.txt") << QStringLiteral("a (2).txt");
        QTest::newRow("two dots") << QStringLiteral("a.ka2.bak") << QStringLiteral("a.ka2 (2).bak");
        QTest::newRow("no extension") << QStringLiteral("readme") << QStringLiteral("readme (2)");
        QTest::newRow("hidden") << QStringLiteral(".hidden") << QStringLiteral(".hidden (2)");
    }

    void collisionNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        Write(path(name), "x");
        QCOMPARE(TFileOperation::CollisionFreeName(path(name)), path(expected));
    }

    void foldersAreCopiedAndRenamed()
    {
        Write(path(QStringLiteral("tree/sub/leaf.txt")), "leaf");
        TFileOperation copy;
        copy.SetMode(TFileOperation::foCopy);
        copy.SetSource(path(QStringLiteral("tree")));
        copy.SetDestination(path(QStringLiteral("copy")));
        copy.SetOptions(TFileOperation::fofNoConfirmation);
        QCOMPARE(copy.Execute(), 0);
        QCOMPARE(Read(path(QStringLiteral("copy/sub/leaf.txt"))), QByteArray("leaf"));

        TFileOperation rename;
        rename.SetMode(TFileOperation::foRename);
        rename.SetSource(path(QStringLiteral("copy/sub/leaf.txt")));
        rename.SetDestination(QStringLiteral("renamed.txt"));
        rename.SetOptions(TFileOperation::fofNoConfirmation);
        QCOMPARE(rename.Execute(), 0);
        QCOMPARE(Names(path(QStringLiteral("copy/sub"))), QStringList(QStringLiteral("renamed.txt")));
    }

    void confirmationsAskUnlessTold()
    {
        Write(path(QStringLiteral("a.txt")), "new");
        Write(path(QStringLiteral("out/a.txt")), "old");
        QStringList questions;
        TFileOperation::SetConfirmHandler([&](const QString &q) {
            questions << q;
            return false;
        });
        TFileOperation op;
        op.SetMode(TFileOperation::foCopy);
        op.SetSource(path(QStringLiteral("a.txt")));
        op.SetDestination(path(QStringLiteral("out")));
        QCOMPARE(op.Execute(), 0);
        QVERIFY(op.AbortByUser());
        QCOMPARE(questions.size(), 1);
        QCOMPARE(Read(path(QStringLiteral("out/a.txt"))), QByteArray("old"));

        op.SetOptions(TFileOperation::fofNoConfirmation);
        QCOMPARE(op.Execute(), 0);
        QVERIFY(!op.AbortByUser());
        QCOMPARE(questions.size(), 1);
        QCOMPARE(Read(path(QStringLiteral("out/a.txt"))), QByteArray("new"));

        // A missing destination folder is created only when allowed.
        op.SetDestination(path(QStringLiteral("new/")));
        QCOMPARE(op.Execute(), TFileOperation::ErrorCancelled);
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("new"))));
        op.SetOptions(TFileOperation::fofNoConfirmation | TFileOperation::fofNoConfirmMkDir);
        QCOMPARE(op.Execute(), 0);
        QCOMPARE(Read(path(QStringLiteral("new/a.txt"))), QByteArray("new"));
    }

    // Refused transfers touch nothing: the same file reached by another path,
    // a folder into itself, a folder onto a file.
    void refusedTransfersTouchNothing_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<int>("options");
        QTest::addColumn<int>("expected");
        const int quiet = TFileOperation::fofNoConfirmation | TFileOperation::fofNoConfirmMkDir;
        QTest::newRow("rename onto itself") << int(TFileOperation::foRename) << "s/data.txt"
                                            << "data.txt" << quiet << TFileOperation::ErrorSameFile;
        QTest::newRow("rename onto itself by a link") << int(TFileOperation::foRename) << "s/data.txt"
                                                      << "link/data.txt" << quiet << TFileOperation::ErrorSameFile;
        QTest::newRow("move into a link to its folder") << int(TFileOperation::foMove) << "s/data.txt"
                                                        << "link" << quiet << TFileOperation::ErrorSameFile;
        QTest::newRow("copy into a link to its folder") << int(TFileOperation::foCopy) << "s/data.txt"
                                                        << "link" << quiet << TFileOperation::ErrorSameFile;
        QTest::newRow("move into a link, renaming")
            << int(TFileOperation::foMove) << "s/data.txt"
            << "link" << (quiet | TFileOperation::fofRenameOnCollision) << TFileOperation::ErrorSameFile;
        QTest::newRow("copy onto itself by ..") << int(TFileOperation::foCopy) << "s/data.txt"
                                                << "s/sub/../data.txt" << quiet << TFileOperation::ErrorSameFile;
        QTest::newRow("folder into its own folder") << int(TFileOperation::foCopy) << "s"
                                                    << "s/sub" << quiet << TFileOperation::ErrorDestinationInSource;
        QTest::newRow("folder moved into itself") << int(TFileOperation::foMove) << "s"
                                                  << "link/sub/" << quiet << TFileOperation::ErrorDestinationInSource;
        QTest::newRow("folder onto a file") << int(TFileOperation::foCopy) << "t/data.txt"
                                            << "s/data.txt" << quiet << TFileOperation::ErrorAccessDenied;
    }

    void refusedTransfersTouchNothing()
    {
        QFETCH(int, mode);
        QFETCH(QString, source);
        QFETCH(QString, destination);
        QFETCH(int, options);
        QFETCH(int, expected);
        Write(path(QStringLiteral("s/data.txt")), "data");
        Write(path(QStringLiteral("s/sub/keep.txt")), "keep");
        Write(path(QStringLiteral("t/data.txt/inner.txt")), "inner");
        QVERIFY(QFile::link(path(QStringLiteral("s")), path(QStringLiteral("link"))));
        const QString target = mode == TFileOperation::foRename && !destination.contains(QLatin1Char('/'))
                                   ? destination
                                   : path(destination);
        QCOMPARE(Run(TFileOperation::TFileMode(mode), path(source), target, TFileOperation::TFileOptions(options)),
                 expected);
        QCOMPARE(Read(path(QStringLiteral("s/data.txt"))), QByteArray("data"));
        QCOMPARE(Read(path(QStringLiteral("s/sub/keep.txt"))), QByteArray("keep"));
        QCOMPARE(Read(path(QStringLiteral("t/data.txt/inner.txt"))), QByteArray("inner"));
        QCOMPARE(Names(path(QStringLiteral("s"))), QStringList({QStringLiteral("data.txt"), QStringLiteral("sub")}));
        QCOMPARE(Names(path(QStringLiteral("s/sub"))), QStringList(QStringLiteral("keep.txt")));
    }

    // A folder copied or moved onto a folder of the same name merges into
    // it; clashing files follow the collision rule.
    void folderOntoFolderMerges_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("options");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QByteArray>("clash");
        const int quiet = TFileOperation::fofNoConfirmation | TFileOperation::fofNoConfirmMkDir;
        const QStringList renamed = {QStringLiteral("add.txt"), QStringLiteral("clash (2).txt"),
                                     QStringLiteral("clash.txt"), QStringLiteral("keep.txt"), QStringLiteral("sub")};
        const QStringList replaced = {QStringLiteral("add.txt"), QStringLiteral("clash.txt"),
                                      QStringLiteral("keep.txt"), QStringLiteral("sub")};
        QTest::newRow("copy, rename on collision")
            << int(TFileOperation::foCopy) << (quiet | TFileOperation::fofRenameOnCollision) << renamed
            << QByteArray("old");
        QTest::newRow("copy, replace") << int(TFileOperation::foCopy) << quiet << replaced << QByteArray("new");
        QTest::newRow("move, rename on collision")
            << int(TFileOperation::foMove) << (quiet | TFileOperation::fofRenameOnCollision) << renamed
            << QByteArray("old");
        QTest::newRow("move, replace") << int(TFileOperation::foMove) << quiet << replaced << QByteArray("new");
    }

    void folderOntoFolderMerges()
    {
        QFETCH(int, mode);
        QFETCH(int, options);
        QFETCH(QStringList, names);
        QFETCH(QByteArray, clash);
        Write(path(QStringLiteral("tree/clash.txt")), "new");
        Write(path(QStringLiteral("tree/add.txt")), "add");
        Write(path(QStringLiteral("tree/sub/deep.txt")), "deep");
        Write(path(QStringLiteral("out/tree/clash.txt")), "old");
        Write(path(QStringLiteral("out/tree/keep.txt")), "keep");
        Write(path(QStringLiteral("out/tree/sub/other.txt")), "other");
        QCOMPARE(Run(TFileOperation::TFileMode(mode), path(QStringLiteral("tree")), path(QStringLiteral("out")),
                     TFileOperation::TFileOptions(options)),
                 0);
        QCOMPARE(Names(path(QStringLiteral("out/tree"))), names);
        QCOMPARE(Read(path(QStringLiteral("out/tree/clash.txt"))), clash);
        QCOMPARE(Read(path(QStringLiteral("out/tree/keep.txt"))), QByteArray("keep"));
        QCOMPARE(Names(path(QStringLiteral("out/tree/sub"))),
                 QStringList({QStringLiteral("deep.txt"), QStringLiteral("other.txt")}));
        QCOMPARE(QFileInfo::exists(path(QStringLiteral("tree"))), mode == TFileOperation::foCopy);
    }

    // A move whose source cannot be removed leaves everything as it was and
    // says so; trying again piles nothing up.
    void failedMoveLeavesThingsAsTheyWere()
    {
        Write(path(QStringLiteral("Datas/Alarms.ka2")), "old");
        Write(path(QStringLiteral("user/Alarms.ka2")), "current");
        LockedFolder lock(path(QStringLiteral("Datas")));
        if (!lock.locked)
            QSKIP("no way to make a folder's entries unremovable here");
        const auto options = TFileOperation::fofNoConfirmation | TFileOperation::fofNoConfirmMkDir |
                             TFileOperation::fofRenameOnCollision | TFileOperation::fofSilent;
        for (int attempt = 0; attempt < 2; ++attempt) {
            QCOMPARE(
                Run(TFileOperation::foMove, path(QStringLiteral("Datas/*.*")), path(QStringLiteral("user")), options),
                TFileOperation::ErrorAccessDenied);
            QCOMPARE(Names(path(QStringLiteral("user"))), QStringList(QStringLiteral("Alarms.ka2")));
            QCOMPARE(Read(path(QStringLiteral("Datas/Alarms.ka2"))), QByteArray("old"));
        }
    }

    // Across devices a move copies and then removes; the result is the same
    // as a rename.
    void moveToAnotherDevice()
    {
        QTemporaryDir other(QStringLiteral("/dev/shm/almarik-test-XXXXXX"));
        if (!other.isValid() || QStorageInfo(other.path()).device() == QStorageInfo(m_dir->path()).device())
            QSKIP("no second file system here");
        Write(other.filePath(QStringLiteral("a.txt")), "a");
        Write(other.filePath(QStringLiteral("tree/sub/b.txt")), "b");
        Write(path(QStringLiteral("out/a.txt")), "old");
        Write(path(QStringLiteral("out/tree/c.txt")), "c");
        QCOMPARE(
            Run(TFileOperation::foMove,
                other.filePath(QStringLiteral("a.txt")) + QLatin1Char(';') + other.filePath(QStringLiteral("tree")),
                path(QStringLiteral("out")), TFileOperation::fofNoConfirmation),
            0);
        QCOMPARE(Names(other.path()), QStringList());
        QCOMPARE(Read(path(QStringLiteral("out/a.txt"))), QByteArray("a"));
        QCOMPARE(Read(path(QStringLiteral("out/tree/sub/b.txt"))), QByteArray("b"));
        QCOMPARE(Read(path(QStringLiteral("out/tree/c.txt"))), QByteArray("c"));
        // No half-written leftovers beside the targets.
        QCOMPARE(Names(path(QStringLiteral("out"))), QStringList({QStringLiteral("a.txt"), QStringLiteral("tree")}));
    }

    // Only-files drops the folders a wildcard finds, whatever the order of
    // the sources; a folder named on its own is always taken.
    void filesOnlyIgnoresTheOrder_data()
    {
        QTest::addColumn<QString>("source");
        QTest::newRow("wildcard first") << QStringLiteral("fo/*;explicit");
        QTest::newRow("explicit first") << QStringLiteral("explicit;fo/*");
    }

    void filesOnlyIgnoresTheOrder()
    {
        QFETCH(QString, source);
        Write(path(QStringLiteral("fo/f.txt")), "f");
        Write(path(QStringLiteral("fo/inner/i.txt")), "i");
        Write(path(QStringLiteral("explicit/e.txt")), "e");
        QStringList sources = source.split(QLatin1Char(';'));
        for (QString &s : sources)
            s = path(s);
        QCOMPARE(
            Run(TFileOperation::foCopy, sources.join(QLatin1Char(';')), path(QStringLiteral("out")),
                TFileOperation::fofNoConfirmation | TFileOperation::fofNoConfirmMkDir | TFileOperation::fofFilesOnly),
            0);
        QCOMPARE(Names(path(QStringLiteral("out"))),
                 QStringList({QStringLiteral("explicit"), QStringLiteral("f.txt")}));
        QCOMPARE(Read(path(QStringLiteral("out/explicit/e.txt"))), QByteArray("e"));
    }

    void questionsSpeakTheLanguage_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("replace");
        QTest::addColumn<QString>("create");
        QTest::newRow("English") << 0 << QStringLiteral("already exists. Replace it?")
                                 << QStringLiteral("does not exist. Create it?");
        QTest::newRow("French") << 1 << QStringLiteral("existe déjà. Le remplacer ?")
                                << QStringLiteral("n'existe pas. Le créer ?");
    }

    void questionsSpeakTheLanguage()
    {
        QFETCH(int, language);
        QFETCH(QString, replace);
        QFETCH(QString, create);
        Write(path(QStringLiteral("a.txt")), "new");
        Write(path(QStringLiteral("out/a.txt")), "old");
        QStringList questions;
        TFileOperation::SetConfirmHandler([&](const QString &q) {
            questions << q;
            return false;
        });
        SetZelLanguageIndex(language);
        Run(TFileOperation::foCopy, path(QStringLiteral("a.txt")), path(QStringLiteral("out")), {});
        Run(TFileOperation::foCopy, path(QStringLiteral("a.txt")), path(QStringLiteral("new/")), {});
        SetZelLanguageIndex(0);
        QCOMPARE(questions.size(), 2);
        QVERIFY2(questions[0].endsWith(replace), qPrintable(questions[0]));
        QVERIFY2(questions[1].endsWith(create), qPrintable(questions[1]));
    }

    void failuresAreReported()
    {
        Write(path(QStringLiteral("a.txt")), "a");
        TFileOperation op;
        op.SetMode(TFileOperation::foCopy);
        op.SetOptions(TFileOperation::fofNoConfirmation | TFileOperation::fofNoConfirmMkDir);
        // The second source is missing: nothing is reported as success.
        op.SetSource(path(QStringLiteral("a.txt")) + QLatin1Char(';') + path(QStringLiteral("none.txt")));
        op.SetDestination(path(QStringLiteral("out")));
        QCOMPARE(op.Execute(), TFileOperation::ErrorFileNotFound);
        op.SetSource(path(QStringLiteral("nowhere/none.txt")));
        QCOMPARE(op.Execute(), TFileOperation::ErrorPathNotFound);
        // A wildcard in a folder that does not exist finds nothing to do.
        op.SetSource(path(QStringLiteral("nowhere/*.*")));
        QCOMPARE(op.Execute(), TFileOperation::ErrorPathNotFound);
        QCOMPARE(FailureOf([&] {
                     DoFileOperation(TFileOperation::foDelete, path(QStringLiteral("none.txt")), QString(),
                                     TFileOperation::fofNoConfirmation);
                 }),
                 QStringLiteral("Erreur au traitement de ") + path(QStringLiteral("none.txt")));
    }
};

QTEST_MAIN(TestFileOperation)
#include "tst_file_operation.moc"
