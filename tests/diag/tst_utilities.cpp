// The support library's routines: path delimiters, list lookup, the error box
// and opening files through the desktop with readable errors.
#include "diag/U_ZEL_Utilities.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Captures the text of ErrorBox while alive.
struct ErrorBoxes
{
    ErrorBoxes()
    {
        SetErrorBoxHook([this](const QString &text) { texts << text; });
    }
    ~ErrorBoxes() { SetErrorBoxHook({}); }
    QStringList texts;
};

} // namespace

class TestUtilities : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void trailingDelimiters_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("added");
        QTest::addColumn<QString>("removed");
        const QString s = QDir::separator();
        QTest::newRow("empty") << QString() << QString() << QString();
        QTest::newRow("without") << QStringLiteral("a") + s + QStringLiteral("b")
                                 << QStringLiteral("a") + s + QStringLiteral("b") + s
                                 << QStringLiteral("a") + s + QStringLiteral("b");
        QTest::newRow("with") << QStringLiteral("a") + s << QStringLiteral("a") + s << QStringLiteral("a");
        QTest::newRow("two") << QStringLiteral("a") + s + s << QStringLiteral("a") + s + s << QStringLiteral("a") + s;
        QTest::newRow("root") << s << s << QString();
    }

    void trailingDelimiters()
    {
        QFETCH(QString, path);
        QFETCH(QString, added);
        QFETCH(QString, removed);
        QCOMPARE(AddTrailingBackslash(path), added);
        QCOMPARE(RemoveTrailingBackslash(path), removed);
    }

    void indexOfTextIgnoresCase()
    {
        const QStringList list = {QStringLiteral(".ka2"), QStringLiteral(".XML"), QStringLiteral(".csv")};
        QCOMPARE(IndexOfText(QStringLiteral(".xml"), list), 1);
        QCOMPARE(IndexOfText(QStringLiteral(".KA2"), list), 0);
        QCOMPARE(IndexOfText(QStringLiteral(".htm"), list), -1);
        QCOMPARE(IndexOfText(QString(), {}), -1);
    }

    void errorBoxAbortsSilently()
    {
        ErrorBoxes boxes;
        QVERIFY_THROWS_EXCEPTION(EAbort, ErrorBox(QStringLiteral("bad")));
        QCOMPARE(boxes.texts, QStringList(QStringLiteral("bad")));
    }

    void shellResults_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing file") << QStringLiteral("%1/none.txt") << 2 << QStringLiteral("File not found");
        QTest::newRow("missing folder") << QStringLiteral("%1/nowhere/none.txt") << 3
                                        << QStringLiteral("Path not found");
        QTest::newRow("no association") << QStringLiteral("%1/notes.zzalarm") << 31
                                        << QStringLiteral("No association found");
    }

    void shellResults()
    {
        QFETCH(QString, target);
        QFETCH(int, result);
        QFETCH(QString, reason);
        QFile document(m_dir.filePath(QStringLiteral("notes.zzalarm")));
        QVERIFY(document.open(QIODevice::WriteOnly));
        document.write("\x01\x02 data of no known kind");
        document.close();
        const QString file = target.arg(m_dir.path());
        QCOMPARE(ShellExecute(file, 0, QString(), QString(), SW_SHOW), result);

        // ExecuteFile reports it and ends the command silently.
        ErrorBoxes boxes;
        QVERIFY_THROWS_EXCEPTION(EAbort, ExecuteFile(file, 0, QStringLiteral("-x"), SW_SHOW, QString()));
        QCOMPARE(boxes.texts.size(), 1);
        const QFileInfo info(file);
        QCOMPARE(boxes.texts[0], QStringLiteral("Error on executing :\r\n\r\n   File : ") + info.fileName() +
                                     QStringLiteral("\r\n   Params : -x\r\n   Path : ") +
                                     QDir::toNativeSeparators(info.path()) + QDir::separator() +
                                     QStringLiteral("\r\n\r\n   Message : ") + reason);
    }

    void reasonTable()
    {
        QCOMPARE(ShellErrorText(0), QStringLiteral("Not enough memory or system ressources"));
        QCOMPARE(ShellErrorText(5), QStringLiteral("Access denied"));
        QCOMPARE(ShellErrorText(26), QStringLiteral("Share violation"));
        QCOMPARE(ShellErrorText(32), QStringLiteral("File not found"));
        QCOMPARE(ShellErrorText(17), QStringLiteral("17"));
    }

    void programsStartAndAddressesOpen()
    {
        // A program starts detached, with its parameters.
        const QString marker = m_dir.filePath(QStringLiteral("started"));
        const QString script = m_dir.filePath(QStringLiteral("run.sh"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\necho \"$1\" > \"$2\"\n");
        file.close();
        QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner));
        QVERIFY(ShellExecute(script, 0, QStringLiteral("hello ") + marker, QString(), SW_SHOW) > 32);
        QTRY_VERIFY(QFile::exists(marker));

        // Addresses and mail links go to the desktop's handler.
        QStringList opened;
        SetOpenUrlHook([&](const QString &url) {
            opened << url;
            return url.startsWith(QLatin1String("https:"));
        });
        QVERIFY(ShellExecute(QStringLiteral("https://example.org/a?b=c"), 0, QString(), QString(), SW_SHOW) > 32);
        QCOMPARE(ShellExecute(QStringLiteral("mailto:someone@example.org"), 1, QString(), QString(), SW_SHOW), 31);
        SetOpenUrlHook({});
        QCOMPARE(opened, QStringList({QStringLiteral("https://example.org/a?b=c"),
                                      QStringLiteral("mailto:someone@example.org")}));
    }

    void safeFreeClearsThePointer()
    {
        auto *object = new QObject;
        QPointer<QObject> watch(object);
        SafeFree(object);
        QVERIFY(object == nullptr);
        QVERIFY(watch.isNull());
        SafeFree(object); // nothing to free
    }
};

QTEST_MAIN(TestUtilities)
#include "tst_utilities.moc"
