// The staged program's whole start on a real desktop: the splash lines in
// their order, then the tray; an alarm set to fire at every start fires at
// each start and never from the timer; a login failed three times ends the
// program before any alarm fires; the web update check at start finds a
// newer version on a server on 127.0.0.1, and History and OK open their
// addresses through the desktop's URL opener.
#include "app/Startup.h"
#include "base/U_KA_Var.h"
#include "engine/F_KA_Show.h"
#include "store/D_KA_Alarms.h"
#include "support/Desktop.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QToolButton>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace desktop;
using namespace testsupport;

namespace {

const QString AlarmBoxName = QStringLiteral("^Almarik 2 - Alarm$");
const QSize UpdaterSize(383, 269);

// Settings of the next start, as the options page stores them.
void Store(const QMap<QString, QString> &values)
{
    QSettings s(QStringLiteral("Morvane"), QStringLiteral("Almarik"));
    s.beginGroup(QStringLiteral("KA2/MainForm"));
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        s.setValue(it.key(), it.value());
    s.endGroup();
    s.sync();
}

QString Stored(const QString &name)
{
    QSettings s(QStringLiteral("Morvane"), QStringLiteral("Almarik"));
    return s.value(QStringLiteral("KA2/MainForm/") + name).toString();
}

// A data file with one alarm due an hour ago, of this periodicity.
void DueAlarm(int period)
{
    ClearDataDir();
    TdmKaAlarms dm;
    dm.cdsAlarms.appendRecord({1, zel::RoundToMs(zel::Now() - zel::OneHour), QVariant(), 0,
                               QStringLiteral("Start alarm"), 1, 1, QString(), 0, period, QString(), 0, 0});
}

// Where the alarm box's button sits (its main part and its menu arrow),
// from the box's bottom right corner: the same box built here and laid out
// as the program lays it out.
struct OkButton
{
    QPoint main;
    QPoint arrow;
};

OkButton AlarmBoxOkButton()
{
    TfmKaShow box;
    box.show();
    if (!QTest::qWaitForWindowExposed(&box))
        return {};
    const QRect r(box.btnOk->mapTo(&box, QPoint(0, 0)), box.btnOk->size());
    const QPoint corner(box.width(), box.height());
    return {QPoint(r.right() - 30, r.center().y()) - corner, QPoint(r.right() - 4, r.center().y()) - corner};
}

// The staged program with its start's steps written to its error output.
class Program
{
public:
    explicit Program(const QProcessEnvironment &extra = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("almarik.start.info=true"));
        const QStringList keys = extra.keys();
        for (const QString &key : keys)
            env.insert(key, extra.value(key));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.setInputChannelMode(QProcess::ForwardedInputChannel);
        m_process.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
    }
    ~Program()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    // The splash lines shown so far.
    QStringList splash()
    {
        m_error += m_process.readAllStandardError();
        QStringList lines;
        const QList<QByteArray> all = m_error.split('\n');
        for (const QByteArray &line : all) {
            const qsizetype at = line.indexOf("splash: ");
            if (at >= 0)
                lines << QString::fromUtf8(line.mid(at + 8));
        }
        return lines;
    }

    // Ends the program as the end of the session does.
    bool end()
    {
        m_process.terminate();
        return m_process.waitForFinished(15000) && m_process.exitStatus() == QProcess::NormalExit;
    }

    QProcess m_process;

private:
    QByteArray m_error;
};

} // namespace

class TestDesktopStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { InitProgramUnits(); }

    void init()
    {
        ClearSettings();
        // No reminder box over the alarms of these starts.
        Store({{QStringLiteral("edtOptionsReminderValue_Position"), QStringLiteral("0")},
               {QStringLiteral("cbxOptionsEnabled_Checked"), QStringLiteral("True")}});
    }

    // The splash lines in order, then the tray; the alarm of every start
    // fires at start, not from the timer, and again at the next start.
    void wholeStart()
    {
        const OkButton okButton = AlarmBoxOkButton();
        QVERIFY(!okButton.main.isNull());
        DueAlarm(9);
        {
            Program program;
            QVERIFY(program.m_process.waitForStarted());
            QTRY_COMPARE_WITH_TIMEOUT(program.splash().size(), 7, 30000);
            QCOMPARE(program.splash(), startup::SplashLines());
            QTRY_VERIFY_WITH_TIMEOUT(TrayIcon().isValid(), 15000);

            // The start-up run shows the alarm; it is closed (Close chosen in
            // the menu of the box's button, then the button).
            QStringList box;
            QTRY_VERIFY_WITH_TIMEOUT(!(box = WindowsNamed(AlarmBoxName)).isEmpty(), 30000);
            const QSize size = Geometry(box.first()).size();
            const QPoint corner(size.width(), size.height());
            const QList<QRect> before = VisibleWindows();
            QVERIFY(ClickIn(box.first(), corner + okButton.arrow));
            QTRY_VERIFY_WITH_TIMEOUT(VisibleWindows().size() > before.size(), 10000);
            QVERIFY(Key({QStringLiteral("Down"), QStringLiteral("Return")}));
            QTRY_COMPARE_WITH_TIMEOUT(VisibleWindows().size(), before.size(), 10000);
            // (A click too soon after the first would be a double click.)
            QTest::qWait(DoubleClickGapMs());
            QVERIFY(ClickIn(box.first(), corner + okButton.main));
            QTRY_VERIFY_WITH_TIMEOUT(WindowsNamed(AlarmBoxName).isEmpty(), 15000);
            // The series goes on in a new record, due already: the timer's
            // checks (every second) leave it alone.
            QTRY_VERIFY_WITH_TIMEOUT(ReadStoredAlarm(2).exists, 15000);
            QCOMPARE(ReadStoredAlarm(2).period, 9);
            QCOMPARE(ReadStoredAlarm(2).deleted, 0);
            QTest::qWait(4000);
            QVERIFY(WindowsNamed(AlarmBoxName).isEmpty());
            QVERIFY(program.end());
            QCOMPARE(program.m_process.exitCode(), 0);
        }
        QCOMPARE(ReadStoredAlarm(2).deleted, 0);
        QCOMPARE(ReadStoredAlarm(2).period, 9);

        // The next start fires it again.
        Program again;
        QVERIFY(again.m_process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!WindowsNamed(AlarmBoxName).isEmpty(), 60000);
        QVERIFY(again.end());
    }

    // A login failed three times ends the program at once: no tray, no
    // alarm fired.
    void loginFailsThreeTimes()
    {
        DueAlarm(9);
        Store({{QStringLiteral("cbxOptionsUseLogin_Checked"), QStringLiteral("True")},
               {QStringLiteral("edtOptionsUser_Text"), QStringLiteral("bob")},
               {QStringLiteral("Pwd"), ScramblePassword(QStringLiteral("secret"))}});
        Program program;
        QVERIFY(program.m_process.waitForStarted());
        for (int attempt = 1; attempt <= 3; ++attempt) {
            QTRY_VERIFY_WITH_TIMEOUT(ActiveWindowName().startsWith(QStringLiteral("Registration")), 30000);
            if (attempt == 1)
                QVERIFY(Type(QStringLiteral("bob")) && Key({QStringLiteral("Tab")}) && Type(QStringLiteral("wrong")));
            QVERIFY(Key({QStringLiteral("Return")}));
            // "Invalid Login !", closed with Enter.
            QTRY_VERIFY_WITH_TIMEOUT(ActiveWindowName().startsWith(QStringLiteral("Error")), 15000);
            QVERIFY(Key({QStringLiteral("Return")}));
            if (attempt < 3)
                QTRY_VERIFY_WITH_TIMEOUT(!ActiveWindowName().startsWith(QStringLiteral("Error")), 15000);
        }
        QVERIFY(program.m_process.waitForFinished(15000));
        QCOMPARE(program.m_process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.m_process.exitCode(), 0);
        const StoredAlarm alarm = ReadStoredAlarm(1);
        QCOMPARE(alarm.deleted, 0);
        QCOMPARE(alarm.period, 9);
        QVERIFY(!ReadStoredAlarm(2).exists);
    }

    // The check at start (never done before, every 7 days) finds a newer
    // version: its window stays, History and OK open their addresses.
    void updateCheckAtStart()
    {
        ClearDataDir();
        LocalWebServer server;
        QVERIFY(server.start());
        QVERIFY(server.put(QStringLiteral("soft_update.php"),
                           "<html><body>Almarik 2: 15/01/2003@@2.2.3 <a href=\"/get\">get</a></body></html>"));
        QVERIFY(server.put(QStringLiteral("soft_history.php"), "<p>@@http://127.0.0.1:9/history.htm@@</p>"));
        // The desktop's URL opener: an xdg-open that notes the addresses.
        QTemporaryDir bin;
        const QString opened = bin.filePath(QStringLiteral("opened.txt"));
        {
            QFile opener(bin.filePath(QStringLiteral("xdg-open")));
            QVERIFY(opener.open(QIODevice::WriteOnly));
            opener.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\n").arg(opened).toUtf8());
            opener.close();
            QVERIFY(opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        QProcessEnvironment env;
        env.insert(QStringLiteral("ALMARIK_SITE_URL"), server.url());
        env.insert(QStringLiteral("PATH"), bin.path() + QLatin1Char(':') + qEnvironmentVariable("PATH"));
        const auto lines = [&opened] {
            QFile f(opened);
            return f.open(QIODevice::ReadOnly)
                       ? QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                       : QStringList();
        };

        Program program(env);
        QVERIFY(program.m_process.waitForStarted());
        QString window;
        QTRY_VERIFY_WITH_TIMEOUT(!(window = WindowOfSize(UpdaterSize)).isEmpty(), 60000);
        QTRY_VERIFY_WITH_TIMEOUT(TrayIcon().isValid(), 30000);
        QCOMPARE(Stored(QStringLiteral("LastWebCheck")), zel::DateToStr(std::floor(zel::Now())));

        // History, at the bottom left of the new version's panel.
        QVERIFY(ClickIn(window, QPoint(190, 208)));
        QTRY_COMPARE_WITH_TIMEOUT(lines(), QStringList{QStringLiteral("http://127.0.0.1:9/history.htm")}, 15000);
        // OK with Yes chosen: the download page, and the window closes.
        QVERIFY(ClickIn(window, QPoint(124 + 176 + 37, 234 + 4 + 12)));
        QTRY_COMPARE_WITH_TIMEOUT(lines().size(), 2, 15000);
        QCOMPARE(lines().at(1), server.url(QStringLiteral("soft_download.php?referer=AlmarikSH_Download&prodver=2")));
        QTRY_VERIFY_WITH_TIMEOUT(WindowOfSize(UpdaterSize).isEmpty(), 15000);
        QVERIFY(program.end());
    }
};

QTEST_MAIN(TestDesktopStartup)
#include "tst_desktop_startup.moc"
