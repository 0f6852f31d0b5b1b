// Every test runs in a temporary HOME with its own XDG folders, a fixed locale
// and time zone, on the offscreen platform.
#include <QFileInfo>
#include <QGuiApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

class TestEnvIsolation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void foldersAreTemporary()
    {
        const QString root = qEnvironmentVariable("ALMARIK_TEST_ROOT");
        QVERIFY(!root.isEmpty());
        const QString home = qEnvironmentVariable("HOME");
        QVERIFY(home.startsWith(root));
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) {
            const QString path = qEnvironmentVariable(name);
            QVERIFY2(path.startsWith(root), name);
            QVERIFY2(QFileInfo(path).isDir(), name);
        }
        // The runtime folder is the owner's alone (mode 0700).
        const QFile::Permissions runtime = QFileInfo(qEnvironmentVariable("XDG_RUNTIME_DIR")).permissions();
        QVERIFY(runtime.testFlags(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QCOMPARE(int(runtime & 0x00ff), 0);
        QVERIFY(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).startsWith(root));
        QVERIFY(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).startsWith(root));
        QSettings settings(QStringLiteral("Morvane"), QStringLiteral("Almarik"));
        QVERIFY(settings.fileName().startsWith(root));
    }

    void localeAndZoneAreFixed()
    {
        QCOMPARE(qEnvironmentVariable("LANG"), QStringLiteral("en_US.UTF-8"));
        QCOMPARE(qEnvironmentVariable("LC_ALL"), QStringLiteral("en_US.UTF-8"));
        QCOMPARE(QLocale::system().name(), QStringLiteral("en_US"));
        QCOMPARE(QDateTime::currentDateTime().offsetFromUtc(), 0);
    }

    void offscreenPlatform() { QCOMPARE(QGuiApplication::platformName(), QStringLiteral("offscreen")); }
};

QTEST_MAIN(TestEnvIsolation)
#include "tst_env_isolation.moc"
