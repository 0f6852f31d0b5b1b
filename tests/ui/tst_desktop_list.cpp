// The list page on a real desktop: a user opens the list from the tray menu,
// creates an alarm with the keyboard only (Insert, the date from the drop-down
// calendar, the time, the title, the periodicity, Alt+Enter, Yes) and the
// alarm is in the data file; once the window is hidden the alarm, due at once,
// fires, Enter postpones it, and the data file keeps it after Shutdown.
#include "store/D_KA_Alarms.h"
#include "support/BaseSupport.h"
#include "support/Desktop.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QTest>

using namespace desktop;

namespace {

// Opens the tray menu with the right button and returns its rectangle.
QRect OpenTrayMenu(const QRect &icon)
{
    const QList<QRect> before = VisibleWindows();
    if (!Click(icon, 3))
        return {};
    QRect menu;
    for (int i = 0; i < 100 && (menu = NewWindow(before)).isEmpty(); ++i)
        QTest::qWait(100);
    return menu;
}

struct Saved
{
    int rows = 0;
    bool found = false;
    TDateTime date = 0;
    int period = -1;
    // Every record of the title as "yyyy-MM-dd HH:mm/period", sorted.
    QStringList records;
};

// What the data file holds about the alarms of this title.
Saved ReadDataFile(const QString &title)
{
    Saved saved;
    if (!QFile::exists(testsupport::DataFile()))
        return saved;
    try {
        store::Table t(QStringLiteral("saved"));
        t.loadFromFile(testsupport::DataFile());
        saved.rows = t.recordCount();
        for (int i = 0; i < t.recordCount(); ++i) {
            t.setRecNo(i);
            if (t.fieldByName(AlarmField::Title).asString() != title)
                continue;
            const TDateTime date = t.fieldByName(AlarmField::Date).asDateTime();
            const int period = t.fieldByName(AlarmField::Period).asInteger();
            if (!saved.found) {
                saved.found = true;
                saved.date = date;
                saved.period = period;
            }
            saved.records << zel::ToQDateTime(date).toString(QStringLiteral("yyyy-MM-dd HH:mm/")) +
                                 QString::number(period);
        }
        saved.records.sort();
    } catch (const Exception &) {
        // Read while being replaced: read again.
        return Saved();
    }
    return saved;
}

} // namespace

class TestDesktopList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newAlarmWithTheKeyboard()
    {
        const QString dataFile = testsupport::DataFile();
        QFile::remove(dataFile);
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(TrayIcon().isValid(), 15000);
        const QRect icon = TrayIcon();
        const QSize size(760, 496);

        // Tray menu: New alarm, Calendar, List: the window opens on the list.
        QVERIFY(!OpenTrayMenu(icon).isEmpty());
        QVERIFY(
            Key({QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Return")}));
        QString window;
        QTRY_VERIFY_WITH_TIMEOUT(!(window = WindowOfSize(size)).isEmpty(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(ActiveWindowName(), QStringLiteral("Almarik 2"), 10000);

        // Into the (empty) grid, then Insert: a new alarm, its date's calendar
        // open on the new alarm's date (five minutes from now). The present
        // minute: its day, Enter; Tab to the time, type it; Tab to the
        // title, type it; Tab to the periodicity, two down: "Every day".
        QVERIFY(ClickIn(window, QPoint(105 + 200, 80)));
        QDateTime due = QDateTime::currentDateTime();
        due.setTime(QTime(due.time().hour(), due.time().minute()));
        const QList<QRect> before = VisibleWindows();
        QVERIFY(Key({QStringLiteral("Insert")}));
        QRect calendar;
        QTRY_VERIFY_WITH_TIMEOUT(!(calendar = NewWindow(before)).isEmpty(), 10000);
        const QDate shown = QDateTime::currentDateTime().addSecs(300).date();
        if (due.date() != shown)
            QVERIFY(Key({due.date() > shown ? QStringLiteral("Right") : QStringLiteral("Left")}));
        QVERIFY(Key({QStringLiteral("Return")}));
        QTRY_VERIFY_WITH_TIMEOUT(!VisibleWindows().contains(calendar), 10000);
        QVERIFY(Key({QStringLiteral("Tab")}));
        QVERIFY(Type(due.time().toString(QStringLiteral("HH:mm"))));
        QVERIFY(Key({QStringLiteral("Tab")}));
        QVERIFY(Type(QStringLiteral("Desk alarm")));
        QVERIFY(Key({QStringLiteral("Tab"), QStringLiteral("Down"), QStringLiteral("Down")}));

        // Alt+Enter confirms: "Post changes ?", Yes is the default button.
        QVERIFY(Key({QStringLiteral("alt+Return")}));
        QTRY_VERIFY_WITH_TIMEOUT(ActiveWindowName().startsWith(QStringLiteral("Confirm")), 10000);
        QVERIFY(Key({QStringLiteral("Return")}));

        // Saved at once.
        Saved saved;
        QTRY_VERIFY_WITH_TIMEOUT((saved = ReadDataFile(QStringLiteral("Desk alarm"))).found, 10000);
        QCOMPARE(saved.rows, 1);
        QCOMPARE(saved.period, 2);
        // The picker shows and sets hours and minutes.
        const QString dueText = due.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        QCOMPARE(saved.records, QStringList(dueText + QStringLiteral("/2")));
        // Due at the minute typed, not with the seconds of the default time.
        QCOMPARE(zel::ToQDateTime(saved.date), due);

        // The alarm is due, but waits while the window is shown. A click on
        // the tray icon hides the window, and the alarm fires. Enter in its box: Remember, as a one-time alarm in 10
        // minutes, and the daily series goes on the next day.
        QTest::qWait(2000);
        QVERIFY(WindowsNamed(QStringLiteral("^Almarik 2 - Alarm$")).isEmpty());
        QVERIFY(Click(icon, 1));
        QTRY_VERIFY_WITH_TIMEOUT(WindowOfSize(size).isEmpty(), 10000);
        QString box;
        QVERIFY(WaitUntil(
            [&box] { return !(box = WindowsNamed(QStringLiteral("^Almarik 2 - Alarm$")).value(0)).isEmpty(); },
            120000));
        QVERIFY(Xdo({QStringLiteral("windowactivate"), QStringLiteral("--sync"), box}).ok());
        const QDateTime answered = QDateTime::currentDateTime();
        QVERIFY(Key({QStringLiteral("Return")}));
        QTRY_VERIFY_WITH_TIMEOUT(WindowsNamed(QStringLiteral("^Almarik 2 - Alarm$")).isEmpty(), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(ReadDataFile(QStringLiteral("Desk alarm")).rows, 2, 10000);
        saved = ReadDataFile(QStringLiteral("Desk alarm"));
        QCOMPARE(saved.records.size(), 2);
        QVERIFY(saved.records.contains(due.addDays(1).toString(QStringLiteral("yyyy-MM-dd HH:mm/2"))));
        const QStringList once = saved.records.filter(QStringLiteral("/0"));
        QVERIFY2(once.size() == 1, qPrintable(saved.records.join(u',')));
        const QDateTime postponed =
            QDateTime::fromString(once.first().section(u'/', 0, 0), QStringLiteral("yyyy-MM-dd HH:mm"));
        const qint64 minutes = answered.secsTo(postponed) / 60;
        QVERIFY2(minutes >= 8 && minutes <= 10, qPrintable(once.first()));

        // Shutdown from the tray menu (its last entry), Yes.
        const QRect menu = OpenTrayMenu(icon);
        QVERIFY(!menu.isEmpty());
        QVERIFY(Click(QRect(menu.left(), menu.bottom() - 12, menu.width(), 4), 1));
        QTRY_VERIFY_WITH_TIMEOUT(ActiveWindowName().startsWith(QStringLiteral("Confirm")), 10000);
        QVERIFY(Key({QStringLiteral("Return")}));
        QVERIFY(program.waitForFinished(15000));
        QCOMPARE(program.exitCode(), 0);
        saved = ReadDataFile(QStringLiteral("Desk alarm"));
        QCOMPARE(saved.rows, 2);
    }
};

QTEST_GUILESS_MAIN(TestDesktopList)
#include "tst_desktop_list.moc"
