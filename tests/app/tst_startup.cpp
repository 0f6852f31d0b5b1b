// The steps of the start that decide something: when the web update check
// is due and what it stores, the start-up run of the due-alarm check and the
// timer (only when active; the start periodicities fire there and never from
// the timer), the reminder at start, the move of the legacy data folder
// beside a data file already in use.
#include "app/F_KA_Updater.h"
#include "app/Startup.h"
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "diag/ZelException.h"
#include "store/D_KA_Alarms.h"
#include "support/ProgramFixture.h"
#include "support/TestSupport.h"
#include "ui/F_KA_Main.h"
#include "ui/FormStorage.h"
#include "ui/ThreadTimer.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

using namespace testsupport;

namespace {

// An alarm box that answers Close and counts the alarms it showed.
class CloseBox : public TKaAlarmBox
{
public:
    int DisplayAlarm(int &) override
    {
        titles << dmKaAlarms->cdsThread.fieldByName(AlarmField::Title).asString();
        return abrClose;
    }
    QStringList titles;
};

QDateTime At(int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2026, 3, day), QTime(hour, minute, second));
}

QString DayText(int day)
{
    return zel::DateToStr(zel::EncodeDate(2026, 3, day));
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

    ProgramFixture m_program;
    CloseBox m_box;
    LocalWebServer m_server;

    // Settles the program's state as the stored settings would at creation
    // (before the phase leaves apInitializing).
    void setActive(bool active)
    {
        ZELApplication()->AppPhase = apInitializing;
        m_program.window->miActiveOrInactiveClick(active ? m_program.window->miActive : m_program.window->miInactive);
        ZELApplication()->AppPhase = apRunning;
    }

private Q_SLOTS:
    void initTestCase()
    {
        InitProgramUnits();
        SetUpdaterStepPause(0);
        QVERIFY(m_server.start());
        // A newer version: the updater window stays open when the check ran.
        QVERIFY(m_server.put(QStringLiteral("soft_update.php"), "<p>15/01/2003@@2.2.3</p>"));
    }

    void init()
    {
        ZELApplication()->AppPhase = apInitializing;
        m_program.start();
        m_box = CloseBox();
        m_program.dm->SetAlarmBox(&m_box);
        ZELApplication()->AppPhase = apRunning;
    }

    void cleanup()
    {
        delete fmKAUpdater();
        qunsetenv("ALMARIK_SITE_URL");
        ZELApplication()->AppPhase = apInitializing;
        m_program.stop();
    }

    void splashLines()
    {
        QCOMPARE(startup::SplashLines(),
                 QString::fromLatin1("Initialization...|Initialize and load alarms...|Initialize Configuration "
                                     "Form...|Initialize Reminder Box...|Initialize Alarm Box...|Initialize About "
                                     "Form...|Finalization...")
                     .split(QLatin1Char('|')));
    }

    void webCheckDue_data()
    {
        QTest::addColumn<int>("days");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<bool>("due");
        QTest::newRow("a second after the interval") << 7 << DayText(1) << At(8, 0, 0, 1) << true;
        QTest::newRow("the minute before midnight") << 7 << DayText(1) << At(7, 23, 59) << false;
        QTest::newRow("midnight exactly") << 7 << DayText(1) << At(8, 0, 0) << false;
        QTest::newRow("a time of day in the text")
            << 7 << DayText(1) + QStringLiteral(" 18:30") << At(8, 0, 0, 1) << true;
        QTest::newRow("never checked") << 7 << QString() << At(1, 0, 0) << true;
        QTest::newRow("unreadable") << 7 << QStringLiteral("1st of March") << At(2, 0, 0) << true;
        QTest::newRow("0 days, never checked") << 0 << QString() << At(8, 0, 0, 1) << false;
        QTest::newRow("0 days, long ago") << 0 << DayText(1) << At(31, 0, 0) << false;
    }

    void webCheckDue()
    {
        QFETCH(int, days);
        QFETCH(QString, last);
        QFETCH(QDateTime, now);
        QFETCH(bool, due);
        QCOMPARE(startup::WebCheckDue(days, last, zel::ToDateTime(now)), due);
    }

    // The check at start against a site on 127.0.0.1: when it runs, its
    // window shows the newer version and today's date is stored; otherwise
    // "LastWebCheck" stays as it was.
    void webCheckAtStart_data()
    {
        QTest::addColumn<int>("days");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("site");
        QTest::addColumn<bool>("runs");
        QTest::addColumn<QString>("stored");
        const QString server = QStringLiteral("server");
        QTest::newRow("due") << 7 << DayText(1) << At(8, 0, 0, 1) << server << true << DayText(8);
        QTest::newRow("not due") << 7 << DayText(1) << At(7, 23, 59) << server << false << DayText(1);
        QTest::newRow("never checked") << 7 << QString() << At(2, 9, 0) << server << true << DayText(2);
        QTest::newRow("unreadable") << 7 << QStringLiteral("31/31/31/31") << At(2, 9, 0) << server << true
                                    << DayText(2);
        QTest::newRow("0 days") << 0 << QString() << At(8, 0, 0, 1) << server << false << QString();
        QTest::newRow("0 days, long ago") << 0 << DayText(1) << At(31, 0, 0) << server << false << DayText(1);
        QTest::newRow("no site") << 7 << QString() << At(8, 0, 0, 1) << QString() << false << QString();
        // A failed check is still a check: the date is stored.
        QTest::newRow("no answer") << 7 << DayText(1) << At(9, 12, 0) << QStringLiteral("closed") << true << DayText(9);
    }

    void webCheckAtStart()
    {
        QFETCH(int, days);
        QFETCH(QString, last);
        QFETCH(QDateTime, now);
        QFETCH(QString, site);
        QFETCH(bool, runs);
        QFETCH(QString, stored);
        if (site == QLatin1String("server"))
            qputenv("ALMARIK_SITE_URL", m_server.url().toUtf8());
        else if (site == QLatin1String("closed"))
            qputenv("ALMARIK_SITE_URL", QStringLiteral("http://127.0.0.1:%1/").arg(ClosedPort()).toUtf8());
        TfmKaMain *window = m_program.window;
        window->edtOptionsWebUpdateValue->setPosition(days);
        if (!last.isEmpty())
            window->FormStorage->WriteValue(QStringLiteral("LastWebCheck"), last);
        FixedClock clock(now);

        QCOMPARE(startup::RunWebCheckWhenDue(*window), runs);
        QCOMPARE(fmKAUpdater() != nullptr, runs);
        QCOMPARE(window->FormStorage->ReadValue(QStringLiteral("LastWebCheck")), stored);
        if (runs)
            QVERIFY(!fmKAUpdater()->lbResult->text().isEmpty() || !fmKAUpdater()->pnInfos->isHidden());
    }

    // Inactive: neither the start-up run nor the timer; active: the start
    // periodicities fire once, then the timer runs without them.
    void startAlarmCheck_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<int>("period");
        QTest::newRow("inactive, every start") << false << 9;
        QTest::newRow("inactive, next start") << false << 7;
        QTest::newRow("active, every start") << true << 9;
        QTest::newRow("active, next start") << true << 7;
    }

    void startAlarmCheck()
    {
        QFETCH(bool, active);
        QFETCH(int, period);
        TdmKaAlarms &dm = *m_program.dm;
        TfmKaMain &window = *m_program.window;
        AddAlarm(dm, zel::Now() - zel::OneHour, QStringLiteral("At start"), 0, 1, period);
        setActive(active);
        QVERIFY(!window.Timer->enabled());

        startup::StartAlarmCheck(window);
        QCOMPARE(ZELApplication()->AppPhase.load(), quint8(apRunning));
        QCOMPARE(window.Timer->enabled(), active);
        QCOMPARE(m_box.titles, active ? QStringList{QStringLiteral("At start")} : QStringList());
        if (!active)
            return;
        // Every start: the series goes on, due again at the next start.
        QCOMPARE(dm.cdsAlarms.locate(AlarmField::Number, 2), period == 9);
        // The timer's runs leave it alone.
        window.Timer->setEnabled(false);
        window.TimerTimer();
        window.TimerTimer();
        QCOMPARE(m_box.titles.size(), 1);
    }

    // A failing start-up run still ends the phase.
    void startAlarmCheckPhaseAfterFailure()
    {
        struct Failing : TKaAlarmBox
        {
            int DisplayAlarm(int &) override { throw std::runtime_error("no box"); }
        } failing;
        m_program.dm->SetAlarmBox(&failing);
        AddAlarm(*m_program.dm, zel::Now() - zel::OneHour, QStringLiteral("At start"), 0, 1, 9);
        setActive(true);
        bool failed = false;
        try {
            startup::StartAlarmCheck(*m_program.window);
        } catch (const std::runtime_error &) {
            failed = true;
        }
        QVERIFY(failed);
        QVERIFY(!m_program.window->Timer->enabled());
        QCOMPARE(ZELApplication()->AppPhase.load(), quint8(apRunning));
    }

    void reminderAtStart_data()
    {
        QTest::addColumn<int>("days");
        QTest::addColumn<bool>("shown");
        QTest::newRow("0 days") << 0 << false;
        QTest::newRow("7 days") << 7 << true;
    }

    void reminderAtStart()
    {
        QFETCH(int, days);
        QFETCH(bool, shown);
        m_program.window->edtOptionsReminderValue->setPosition(days);
        QCOMPARE(startup::ShowReminderAtStart(*m_program.window), shown);
    }

    // The legacy folder is moved while a data file is already loaded: the
    // loaded one stays in use, the moved file takes a new name, the legacy
    // folder goes.
    void legacyBesideDataFile()
    {
        QTemporaryDir root;
        const KaVar::Folders saved = KaVar::Paths();
        KaVar::Folders folders = saved;
        folders.LegacyDataDir = root.filePath(QStringLiteral("Datas")) + QDir::separator();
        KaVar::SetPaths(folders);
        const auto restore = qScopeGuard([&saved] { KaVar::SetPaths(saved); });
        QVERIFY(QDir().mkpath(folders.LegacyDataDir));
        {
            QFile legacy(folders.LegacyDataDir + QStringLiteral("Alarms.ka2"));
            QVERIFY(legacy.open(QIODevice::WriteOnly));
            legacy.write("the legacy data file");
        }
        AddAlarm(*m_program.dm, zel::Now() + 1, QStringLiteral("Current"));
        const QByteArray current = FileBytes(DataFile());
        QVERIFY(!current.isEmpty());

        ErrorTexts errors;
        startup::MigrateLegacyDataAtStart();
        QCOMPARE(errors.texts, QStringList());
        QVERIFY(!QFileInfo::exists(folders.LegacyDataDir));
        QCOMPARE(FileBytes(DataFile()), current);
        QStringList moved;
        const QStringList files = QDir(DataDir()).entryList(QDir::Files);
        for (const QString &name : files) {
            if (FileBytes(DataDir() + name) == "the legacy data file")
                moved << name;
        }
        QCOMPARE(moved.size(), 1);
        QVERIFY(moved.first() != QStringLiteral("Alarms.ka2"));
        // The loaded table is the one in use and the one written.
        QCOMPARE(m_program.dm->cdsAlarms.recordCount(), 1);
        AddAlarm(*m_program.dm, zel::Now() + 2, QStringLiteral("After"));
        store::Table t(QStringLiteral("file"));
        t.loadFromFile(DataFile());
        QCOMPARE(t.recordCount(), 2);
    }

    // A move that fails is shown in the plain message box; the legacy folder
    // is kept (no deletion is tried) and the start goes on.
    void legacyMoveFails()
    {
        QTemporaryDir root;
        const KaVar::Folders saved = KaVar::Paths();
        KaVar::Folders folders = saved;
        folders.LegacyDataDir = root.filePath(QStringLiteral("Datas")) + QDir::separator();
        // A data folder under a plain file cannot be made.
        QFile blocker(root.filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        folders.UserDataDir = blocker.fileName() + QStringLiteral("/data/");
        KaVar::SetPaths(folders);
        const auto restore = qScopeGuard([&saved] { KaVar::SetPaths(saved); });
        QVERIFY(QDir().mkpath(folders.LegacyDataDir));
        QFile legacy(folders.LegacyDataDir + QStringLiteral("Alarms.ka2"));
        QVERIFY(legacy.open(QIODevice::WriteOnly));
        legacy.close();

        ErrorTexts errors;
        startup::MigrateLegacyDataAtStart();
        QCOMPARE(errors.texts.size(), 1);
        QVERIFY2(errors.texts.first().startsWith(QStringLiteral("Erreur au traitement de ")),
                 qPrintable(errors.texts.first()));
        QVERIFY(QFileInfo::exists(legacy.fileName()));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
