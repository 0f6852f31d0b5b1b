// Batch file operations: several sources, wildcards, folders, rename on
// collision, no-confirmation flags and failures that are never silent.
#include "diag/U_ZEL_FileSystem.h"
#include "diag/ZelException.h"

#include <QDir>
#include <QFile>
#include <QMetaEnum>
#include <QTemporaryDir>
#include <QTest>

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
        try {
            DoFileOperation(TFileOperation::foDelete, path(QStringLiteral("none.txt")), QString(),
                            TFileOperation::fofNoConfirmation);
            QFAIL("no failure");
        } catch (const Exception &e) {
            QCOMPARE(e.message(), QStringLiteral("Erreur au traitement de ") + path(QStringLiteral("none.txt")));
        }
    }
};

QTEST_MAIN(TestFileOperation)
#include "tst_file_operation.moc"
