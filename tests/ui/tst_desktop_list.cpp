// The list page on a real desktop: a user opens the list from the tray menu,
// creates an alarm with the keyboard only (Insert, the date from the drop-down
// calendar, the time, the title, the periodicity, Alt+Enter, Yes) and the
// alarm is in the data file, also after Shutdown.
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
};

// What the data file holds about the alarm of this title.
Saved ReadDataFile(const QString &title)
{
    Saved saved;
    if (!QFile::exists(testsupport::DataFile()))
        return saved;
    try {
        store::Table t(QStringLiteral("saved"));
        t.loadFromFile(testsupport::DataFile());
        saved.rows = t.recordCount();
        if (t.locate(AlarmField::Title, title)) {
            saved.found = true;
            saved.date = t.fieldByName(AlarmField::Date).asDateTime();
            saved.period = t.fieldByName(AlarmField::Period).asInteger();
        }
    } catch (const Exception &) {
        // Read while being replaced: read again.
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
        // open. One day on, Enter; Tab to the time, type it; Tab to the
        // title, type it; Tab to the periodicity, two down: "Every day".
        QVERIFY(ClickIn(window, QPoint(105 + 200, 80)));
        const QDate firstDay = QDateTime::currentDateTime().addSecs(300).date().addDays(1);
        const QList<QRect> before = VisibleWindows();
        QVERIFY(Key({QStringLiteral("Insert")}));
        QRect calendar;
        QTRY_VERIFY_WITH_TIMEOUT(!(calendar = NewWindow(before)).isEmpty(), 10000);
        QVERIFY(Key({QStringLiteral("Right"), QStringLiteral("Return")}));
        QTRY_VERIFY_WITH_TIMEOUT(!VisibleWindows().contains(calendar), 10000);
        QVERIFY(Key({QStringLiteral("Tab")}));
        QVERIFY(Type(QStringLiteral("10:30")));
        QVERIFY(Key({QStringLiteral("Tab")}));
        QVERIFY(Type(QStringLiteral("Desk alarm")));
        QVERIFY(Key({QStringLiteral("Tab"), QStringLiteral("Down"), QStringLiteral("Down")}));
        const QDate lastDay = QDateTime::currentDateTime().addSecs(300).date().addDays(1);

        // Alt+Enter confirms: "Post changes ?", Yes is the default button.
        QVERIFY(Key({QStringLiteral("alt+Return")}));
        QTRY_VERIFY_WITH_TIMEOUT(ActiveWindowName().startsWith(QStringLiteral("Confirm")), 10000);
        QVERIFY(Key({QStringLiteral("Return")}));

        // Saved at once.
        Saved saved;
        QTRY_VERIFY_WITH_TIMEOUT((saved = ReadDataFile(QStringLiteral("Desk alarm"))).found, 10000);
        QCOMPARE(saved.rows, 1);
        QCOMPARE(saved.period, 2);
        const QDateTime when = zel::ToQDateTime(saved.date);
        QVERIFY2(when.date() == firstDay || when.date() == lastDay, qPrintable(when.toString(Qt::ISODate)));
        // The picker shows and sets hours and minutes.
        QCOMPARE(when.time().toString(QStringLiteral("HH:mm")), QStringLiteral("10:30"));

        // Shutdown from the tray menu (its last entry), Yes.
        const QRect menu = OpenTrayMenu(icon);
        QVERIFY(!menu.isEmpty());
        QVERIFY(Click(QRect(menu.left(), menu.bottom() - 12, menu.width(), 4), 1));
        QTRY_VERIFY_WITH_TIMEOUT(ActiveWindowName().startsWith(QStringLiteral("Confirm")), 10000);
        QVERIFY(Key({QStringLiteral("Return")}));
        QVERIFY(program.waitForFinished(15000));
        QCOMPARE(program.exitCode(), 0);
        saved = ReadDataFile(QStringLiteral("Desk alarm"));
        QVERIFY(saved.found);
        QCOMPARE(saved.rows, 1);
    }
};

QTEST_GUILESS_MAIN(TestDesktopList)
#include "tst_desktop_list.moc"
