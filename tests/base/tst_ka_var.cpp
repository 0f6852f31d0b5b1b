// The shared unit: folders of the installation and of the user, the password
// scrambler, the mail link, the autostart entry and the move of the legacy
// data folder.
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "diag/U_ZEL_Utilities.h"
#include "diag/ZelException.h"
#include "support/BaseSupport.h"
#include "support/Failure.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using testsupport::FailureOf;

class TestKaVar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { testsupport::InitProgramUnits(); }

    void foldersOfAnInstallation()
    {
        // An executable two folders deep.
        const TZELApplication app(QStringLiteral("/opt/Apps/Almarik/bin/almarik"), {});
        const KaVar::Folders f = KaVar::FoldersFor(app.RootPath, QStringLiteral("/home/u/.local/share"));
        QCOMPARE(f.AppRootDir, QStringLiteral("/opt/Apps/Almarik/"));
        QCOMPARE(f.LangDir, QStringLiteral("/opt/Apps/Almarik/Lang/"));
        QCOMPARE(f.DocsDir, QStringLiteral("/opt/Apps/Almarik/Docs/"));
        QCOMPARE(f.HelpDir, QStringLiteral("/opt/Apps/Almarik/Docs/Help/"));
        QCOMPARE(f.SoundDir, QStringLiteral("/opt/Apps/Almarik/Sound/"));
        QCOMPARE(f.LegacyDataDir, QStringLiteral("/opt/Apps/Almarik/Datas/"));
        QCOMPARE(f.HelpFile, QStringLiteral("/opt/Apps/Almarik/Docs/Help/index.htm"));
        QCOMPARE(f.LicenseFile, QStringLiteral("/opt/Apps/Almarik/Docs/License.rtf"));
        QCOMPARE(f.ReadmeFile, QStringLiteral("/opt/Apps/Almarik/Docs/Readme.rtf"));
        // One delimiter before "Morvane", with or without a trailing one.
        QCOMPARE(f.UserDataDir, QStringLiteral("/home/u/.local/share/Morvane/Almarik/"));
        QCOMPARE(KaVar::FoldersFor(app.RootPath, QStringLiteral("/home/u/")).UserDataDir,
                 QStringLiteral("/home/u/Morvane/Almarik/"));
    }

    void runningProgramFolders()
    {
        QCOMPARE(KaVar::UserDataDir(), QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                                           QStringLiteral("/Morvane/Almarik/"));
        QVERIFY(QDir(KaVar::UserDataDir()).exists());
        // Texts are read back with the long time format when the short one
        // fails; both are hours and minutes (the short one shows in every
        // date text the other tests compare).
        QCOMPARE(zel::Formats().longTimeFormat, QStringLiteral("HH:mm"));
    }

    void scramblePassword_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("one") << QStringLiteral("a");
        QTest::newRow("two") << QStringLiteral("ab");
        QTest::newRow("three") << QStringLiteral("abc");
        QTest::newRow("accents") << QStringLiteral("mot de passe \u00e9t\u00e9");
    }

    void scramblePassword()
    {
        QFETCH(QString, text);
        const QString scrambled = ScramblePassword(text);
        QCOMPARE(scrambled.size(), text.size());
        // Every character but the last is changed, the last stays.
        for (qsizetype i = 0; i < text.size(); ++i)
            QCOMPARE(scrambled[i] == text[i], i == text.size() - 1);
        QCOMPARE(ScramblePassword(scrambled), text);
    }

    // The scrambled text is plain text: no printable character becomes a
    // control character, so a settings file keeps it as it is.
    void scrambledPasswordIsPlainText()
    {
        QString printable;
        for (char16_t c = 0x20; c < 0x7f; ++c)
            printable += QChar(c);
        for (char16_t c = 0xa0; c <= 0xff; ++c) {
            if (c != 0xf7) // the one Latin-1 sign the key turns into DEL
                printable += QChar(c);
        }
        const QString scrambled = ScramblePassword(printable + QLatin1Char('!'));
        for (qsizetype i = 0; i < scrambled.size(); ++i) {
            const QChar c = scrambled[i];
            QVERIFY2(c.category() != QChar::Other_Control,
                     qPrintable(QStringLiteral("%1 gives %2")
                                    .arg(i < printable.size() ? printable[i].unicode() : 0, 0, 16)
                                    .arg(c.unicode(), 0, 16)));
        }
    }

    void mailLink()
    {
        QCOMPARE(MailLink(QString(), QString()),
                 QStringLiteral("mailto:") + KaVar::SupportMail() + QStringLiteral("?subject=\"[Almarik 2] \""));
        QCOMPARE(MailLink(QStringLiteral("Hello"), QStringLiteral("Body text")),
                 QStringLiteral("mailto:") + KaVar::SupportMail() +
                     QStringLiteral("?subject=\"[Almarik 2] Hello\"&body=\"Body text\""));
    }

    void webSiteAndShellOpen()
    {
        QStringList opened;
        SetOpenUrlHook([&](const QString &url) {
            opened << url;
            return true;
        });
        qputenv("ALMARIK_SITE_URL", "http://127.0.0.1:9/almarik/");
        OpenWebSite();
        SendMail(QString(), QString());
        qunsetenv("ALMARIK_SITE_URL");
        SetOpenUrlHook({});
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened[0], QStringLiteral("http://127.0.0.1:9/almarik/?referer=AlmarikSH"));
        QVERIFY(opened[1].startsWith(QStringLiteral("mailto:")));
        QCOMPARE(FailureOf([] { ShellOpen(QStringLiteral("/nowhere/at/all.htm"), 0); }),
                 QStringLiteral("Error on executing : /nowhere/at/all.htm"));
    }

    void autoStart()
    {
        const QString entry = AutoStartEntryPath();
        QVERIFY(entry.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
        QVERIFY(!AutoStartIsSet());
        SetAutoStart(true);
        QVERIFY(QFile::exists(entry));
        QVERIFY(AutoStartIsSet());
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains(QByteArray(QByteArray("Exec=") + ZELApplication()->ExeName.toUtf8())));
        file.close();
        SetAutoStart(false);
        QVERIFY(!QFile::exists(entry));
        QVERIFY(!AutoStartIsSet());
        SetAutoStart(false); // nothing to remove

        // An entry that starts another program does not count.
        QDir().mkpath(QFileInfo(entry).path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nExec=/usr/bin/other\n");
        file.close();
        QVERIFY(!AutoStartIsSet());
        QFile::remove(entry);
    }

    // The autostart entry cannot be written or removed: the message speaks
    // the interface language.
    void autoStartFailuresSpeakTheLanguage_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("start");
        QTest::newRow("write, English") << 0 << true << QStringLiteral("Cannot write \"");
        QTest::newRow("write, French") << 1 << true << QStringLiteral("Impossible d'écrire \"");
        QTest::newRow("delete, English") << 0 << false << QStringLiteral("Cannot delete \"");
        QTest::newRow("delete, French") << 1 << false << QStringLiteral("Impossible de supprimer \"");
    }

    void autoStartFailuresSpeakTheLanguage()
    {
        QFETCH(int, language);
        QFETCH(bool, on);
        QFETCH(QString, start);
        const QString entry = AutoStartEntryPath();
        const QString folder = QFileInfo(entry).path();
        // Writing: a file stands where the folder should be. Deleting: the
        // entry is a folder that holds something.
        QDir(folder).removeRecursively();
        if (on) {
            QFile blocker(folder);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        } else {
            QVERIFY(QDir().mkpath(entry + QStringLiteral("/inside")));
        }
        KaVar::SetLanguageIndex(language);
        const QString message = FailureOf([on] { SetAutoStart(on); });
        KaVar::SetLanguageIndex(0);
        QFile::remove(folder);
        QDir(folder).removeRecursively();
        QVERIFY2(message.startsWith(start), qPrintable(message));
    }

    void legacyDataMove()
    {
        const KaVar::Folders saved = KaVar::Paths();
        QTemporaryDir root;
        KaVar::Folders f = KaVar::FoldersFor(root.path(), root.filePath(QStringLiteral("appdata")));
        KaVar::SetPaths(f);
        // Nothing to move: nothing happens.
        MigrateLegacyData();
        QVERIFY(!QFileInfo::exists(f.UserDataDir));

        QDir().mkpath(f.LegacyDataDir);
        QDir().mkpath(f.UserDataDir);
        for (const char *name : {"Alarms.ka2", "Almarik.lst"}) {
            QFile file(f.LegacyDataDir + QString::fromLatin1(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(name);
        }
        QFile current(f.UserDataDir + QStringLiteral("Alarms.ka2"));
        QVERIFY(current.open(QIODevice::WriteOnly));
        current.write("current");
        current.close();
        MigrateLegacyData();
        KaVar::SetPaths(saved);
        QVERIFY(!QFileInfo::exists(f.LegacyDataDir));
        QCOMPARE(QDir(f.UserDataDir).entryList(QDir::Files, QDir::Name),
                 QStringList(
                     {QStringLiteral("Alarms (2).ka2"), QStringLiteral("Alarms.ka2"), QStringLiteral("Almarik.lst")}));
        QVERIFY(current.open(QIODevice::ReadOnly));
        QCOMPARE(current.readAll(), QByteArray("current"));
    }
};

QTEST_MAIN(TestKaVar)
#include "tst_ka_var.moc"
