// The reminder box and the about window on a real desktop. The program starts
// with the reminder at 0 days and alarms inside and outside that range; the
// user opens Manage > Show Reminder from the tray menu, copies the listed
// lines one by one (Ctrl+C in the grid) and closes the box; then opens
// About... from the tray menu, whose caption and version are read from the
// window itself.
#include "diag/ZelDateTime.h"
#include "store/D_KA_Alarms.h"
#include "support/BaseSupport.h"
#include "support/Desktop.h"
#include "support/TestSupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QRect>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>

#include <cmath>

using namespace desktop;

namespace {

// Opens the tray menu and walks it with the keys.
bool TrayMenu(const QStringList &keys)
{
    const QList<QRect> before = VisibleWindows();
    return Click(TrayIcon(), 3) && QTest::qWaitFor([&] { return !NewWindow(before).isEmpty(); }, 10000) && Key(keys);
}

QStringList Repeat(const QString &key, int times)
{
    QStringList keys;
    for (int i = 0; i < times; ++i)
        keys << key;
    return keys;
}

// Presses the keys, then Ctrl+C, and returns what the program put on the
// clipboard.
QString CopyAfter(const QStringList &keys)
{
    QGuiApplication::clipboard()->setText(QString());
    if (!Key(keys + QStringList(QStringLiteral("ctrl+c"))))
        return QStringLiteral("(keys failed)");
    QString text;
    if (!QTest::qWaitFor([&] { return !(text = QGuiApplication::clipboard()->text()).isEmpty(); }, 10000))
        return QStringLiteral("(nothing copied)");
    return text;
}

} // namespace

class TestDesktopReminder : public QObject
{
    Q_OBJECT

    QProcess program;

private Q_SLOTS:
    void initTestCase()
    {
        testsupport::InitProgramUnits();
        testsupport::ClearDataDir();
        testsupport::ClearSettings();
        {
            TdmKaAlarms dm;
            const TDateTime now = zel::Now();
            const TDateTime tomorrow = std::floor(now) + 1;
            // In the range of 0 days (switched off, so that none fires):
            // an overdue alarm and one at the midnight that ends today.
            testsupport::AddAlarm(dm, now - 2, QStringLiteral("Overdue bill"), 0, 0);
            testsupport::AddAlarm(dm, tomorrow, QStringLiteral("Midnight call"), 0, 0);
            // Outside it: a minute after that midnight, next month, the trash.
            testsupport::AddAlarm(dm, tomorrow + zel::OneMinute, QStringLiteral("Dentist"));
            testsupport::AddAlarm(dm, now + 30, QStringLiteral("Holiday"));
            testsupport::AddAlarm(dm, now - 1, QStringLiteral("Trashed"), 1, 0);
        }
        {
            QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Morvane"),
                        QStringLiteral("Almarik"));
            s.setValue(QStringLiteral("KA2/MainForm/edtOptionsReminderValue_Position"), QStringLiteral("0"));
        }
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(TrayIcon().isValid(), 15000);
    }

    void cleanupTestCase()
    {
        if (program.state() == QProcess::NotRunning)
            return;
        program.terminate();
        if (!program.waitForFinished(10000))
            program.kill();
    }

    void showReminderFromTheTrayMenu()
    {
        // New alarm, Calendar, List, Trash, Options, Manage; its first item.
        QVERIFY(TrayMenu(Repeat(QStringLiteral("Down"), 6) +
                         QStringList({QStringLiteral("Right"), QStringLiteral("Return")})));
        QString box;
        QTRY_VERIFY_WITH_TIMEOUT(!(box = WindowOfSize(QSize(592, 266))).isEmpty(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(ActiveWindowName(), QStringLiteral("Almarik 2"), 10000);

        // Close has the focus: Tab goes to the grid. One line per alarm, in
        // date order; Down on the last line stays there.
        const QString first = CopyAfter({QStringLiteral("Tab")});
        const QString second = CopyAfter({QStringLiteral("Down")});
        const QString end = CopyAfter({QStringLiteral("Down")});
        QCOMPARE(first.section(QLatin1Char('\t'), 1, 1), QStringLiteral("Overdue bill"));
        QCOMPARE(second.section(QLatin1Char('\t'), 1, 1), QStringLiteral("Midnight call"));
        QCOMPARE(end, second);
        // Switched-off alarms say so in the last column.
        QCOMPARE(first.section(QLatin1Char('\t'), 5, 5), QStringLiteral("Off"));

        QVERIFY(Key({QStringLiteral("Escape")}));
        QTRY_VERIFY_WITH_TIMEOUT(WindowOfSize(QSize(592, 266)).isEmpty(), 10000);
    }

    void aboutFromTheTrayMenu()
    {
        // New alarm, Calendar, List, Trash, Options, Manage, State, Support,
        // About...
        QVERIFY(TrayMenu(Repeat(QStringLiteral("Down"), 9) + QStringList(QStringLiteral("Return"))));
        QTRY_VERIFY_WITH_TIMEOUT(!WindowsNamed(QStringLiteral("^About\\.\\.\\. Almarik 2$")).isEmpty(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(ActiveWindowName(), QStringLiteral("About... Almarik 2"), 10000);
        // The version line, under the name on the left: click it, select it
        // and copy it.
        const QStringList about = WindowsNamed(QStringLiteral("^About\\.\\.\\. Almarik 2$"));
        QVERIFY(ClickIn(about.first(), QPoint(150, 46)));
        QCOMPARE(CopyAfter({QStringLiteral("ctrl+a")}), QStringLiteral("2.2.2 "));
    }
};

QTEST_MAIN(TestDesktopReminder)
#include "tst_desktop_reminder.moc"
