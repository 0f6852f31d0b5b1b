// The reminder box on its own (offscreen): which alarms it lists for N days
// (today and overdue ones, the inclusive midnight after day N, never the
// trash, disabled ones with "Off"), that nothing comes up when nothing is
// due, its heading in both languages, its grid, the clean-up after a show, an
// empty view or a failure, and the tray menu's item whatever N is.
#include "base/U_KA_Var.h"
#include "engine/F_KA_Reminder.h"
#include "store/D_KA_Alarms.h"
#include "support/ProgramFixture.h"
#include "support/TestSupport.h"
#include "ui/F_KA_Main.h"
#include "ui/Widgets.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace store;
using namespace testsupport;

namespace {

// The program's clock during these tests: 12 March 2026, 15:00.
const QDateTime Clock(QDate(2026, 3, 12), QTime(15, 0));
// Midnight that begins today.
const TDateTime Today = zel::EncodeDate(2026, 3, 12);

struct Alarm
{
    TDateTime date;
    QString title;
    int deleted = 0;
    int enabled = 1;
};

} // namespace

Q_DECLARE_METATYPE(QList<Alarm>)

class TestReminderBox : public QObject
{
    Q_OBJECT

    ProgramFixture program;
    TfmKaReminder *box = nullptr;
    QTimer watcher;
    // What the last ShowReminder showed: whether the box came up, and its
    // rows as "date|title|periodicity|priority|app|on".
    bool shown = false;
    QStringList rows;
    QString shownHeading;
    bool suspendedWhileShown = false;
    bool closeFocusedWhileShown = false;

    void Fill(const QList<Alarm> &alarms)
    {
        program.dm->cdsAlarms.emptyDataSet();
        for (const Alarm &a : alarms)
            AddAlarm(*program.dm, a.date, a.title, a.deleted, a.enabled);
    }

    // Runs ShowReminder; while the box is up the watcher reads it and
    // presses Close.
    void Show()
    {
        shown = false;
        rows.clear();
        shownHeading.clear();
        watcher.start();
        box->ShowReminder();
        watcher.stop();
        // Whatever happened, the view is closed and the main table's display
        // updates run again.
        QVERIFY(!program.dm->cdsReminder.active());
        QVERIFY(!program.dm->cdsAlarms.controlsDisabled());
        QVERIFY(!box->isVisible());
    }

    void ReadAndClose()
    {
        if (!box->isVisible())
            return;
        shown = true;
        shownHeading = box->pnTitle->text();
        suspendedWhileShown = program.dm->cdsAlarms.controlsDisabled();
        closeFocusedWhileShown = box->focusWidget() == box->btnClose;
        const QAbstractItemModel *model = box->grdReminder->model();
        for (int r = 0; r < model->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < model->columnCount(); ++c)
                cells << model->index(r, c).data().toString();
            rows << cells.join(QLatin1Char('|'));
        }
        box->btnClose->click();
    }

private Q_SLOTS:
    void initTestCase()
    {
        InitProgramUnits();
        program.start();
        box = new TfmKaReminder;
        watcher.setInterval(10);
        connect(&watcher, &QTimer::timeout, this, [this] { ReadAndClose(); });
    }

    void cleanupTestCase()
    {
        delete box;
        program.stop();
    }

    void init() { KaVar::SetLanguageIndex(0); }

    void design()
    {
        QCOMPARE(box->objectName(), QStringLiteral("fmKaReminder"));
        QCOMPARE(fmKaReminder, box);
        QCOMPARE(box->size(), QSize(592, 266));
        QCOMPARE(box->minimumSize(), box->maximumSize());
        QCOMPARE(box->pnTitle->height(), 25);
        QCOMPARE(box->Panel1->height(), 11);
        QCOMPARE(box->pnBottom->height(), 32);
        QCOMPARE(box->btnClose->text(), QStringLiteral("Close"));
        QVERIFY(box->pnTitle->font().bold());
        QCOMPARE(box->pnTitle->palette().color(QPalette::WindowText), QColor(0, 128, 0));
        // The grid: read-only, whole rows, no row indicator, yellow, the six
        // columns with their titles and widths.
        TDataGrid *grid = box->grdReminder;
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(grid->verticalHeader()->isHidden());
        QVERIFY(grid->showGrid());
        QCOMPARE(grid->palette().color(QPalette::Base), QColor(255, 255, 224));
        QStringList titles;
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            titles << grid->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(titles, QStringList({QStringLiteral("Date"), QStringLiteral("Title"), QStringLiteral("Periodicity"),
                                      QStringLiteral("Priority"), QStringLiteral("App"), QStringLiteral("On")}));
        QCOMPARE(grid->columnWidth(0), 115);
        QCOMPARE(grid->columnWidth(1), 175);
        QCOMPARE(grid->columnWidth(2), 150);
        QCOMPARE(grid->columnWidth(5), 25);
    }

    // Which alarms are listed for N days, in date order; none listed: the
    // box does not come up.
    void listed_data()
    {
        QTest::addColumn<int>("days");
        QTest::addColumn<QList<Alarm>>("alarms");
        QTest::addColumn<QStringList>("titles");

        const TDateTime minute = zel::OneMinute;
        QTest::newRow("nothing due: no window")
            << 7 << QList<Alarm>{{Today + 9, QStringLiteral("later")}, {Today + 1, QStringLiteral("trashed"), 1}}
            << QStringList();
        QTest::newRow("N = 0: today and overdue")
            << 0
            << QList<Alarm>{{Today + 0.75, QStringLiteral("tonight")},
                            {Today - 3, QStringLiteral("overdue")},
                            {Today + 1 + minute, QStringLiteral("tomorrow")},
                            {Today + 0.5, QStringLiteral("trashed today"), 1}}
            << QStringList({QStringLiteral("overdue"), QStringLiteral("tonight")});
        QTest::newRow("midnight after day N included, a minute later not")
            << 2
            << QList<Alarm>{{Today + 3 + minute, QStringLiteral("a minute late")},
                            {Today + 3, QStringLiteral("midnight")},
                            {Today + 2 + 0.5, QStringLiteral("day two")}}
            << QStringList({QStringLiteral("day two"), QStringLiteral("midnight")});
        QTest::newRow("trash never, disabled listed") << 7
                                                      << QList<Alarm>{{Today + 1, QStringLiteral("off"), 0, 0},
                                                                      {Today + 2, QStringLiteral("in the trash"), 1, 1},
                                                                      {Today - 40, QStringLiteral("old trash"), 1, 0}}
                                                      << QStringList(QStringLiteral("off"));
    }

    void listed()
    {
        QFETCH(int, days);
        QFETCH(QList<Alarm>, alarms);
        QFETCH(QStringList, titles);
        FixedClock clock(Clock);
        Fill(alarms);
        program.window->edtOptionsReminderValue->setPosition(days);
        Show();
        QCOMPARE(shown, !titles.isEmpty());
        QStringList listedTitles;
        for (const QString &row : rows)
            listedTitles << row.section(QLatin1Char('|'), 1, 1);
        QCOMPARE(listedTitles, titles);
        if (shown) {
            QVERIFY(suspendedWhileShown);
            QVERIFY(closeFocusedWhileShown);
            QCOMPARE(box->windowTitle(), QStringLiteral("Almarik 2"));
        }
    }

    // The cells: date-time text, names in the current language, "X" for an
    // application, "On" or "Off".
    void cells()
    {
        FixedClock clock(Clock);
        program.dm->cdsAlarms.emptyDataSet();
        AddAlarm(*program.dm, Today + 1 + 9.5 / 24, QStringLiteral("dentist"), 0, 1, 2, QStringLiteral("/bin/true"));
        AddAlarm(*program.dm, Today + 2, QStringLiteral("switched off"), 0, 0, 0);
        program.window->edtOptionsReminderValue->setPosition(7);
        Show();
        QCOMPARE(rows, QStringList({QStringLiteral("3/13/2026 09:30|dentist|Every day|Normal|X|On"),
                                    QStringLiteral("3/14/2026|switched off|None|Normal||Off")}));
    }

    // The view's filter ends at the midnight after day N, written as the
    // short date alone.
    void filter()
    {
        FixedClock clock(Clock);
        program.dm->cdsAlarms.emptyDataSet();
        program.window->edtOptionsReminderValue->setPosition(2);
        Show();
        QCOMPARE(program.dm->cdsReminder.filter(), QStringLiteral("Deleted = 0 and Date <= '3/15/2026'"));
        QCOMPARE(TfmKaReminder::ReminderFilter(zel::EncodeDateTime(2026, 12, 31, 23, 59), 0),
                 QStringLiteral("Deleted = 0 and Date <= '1/1/2027'"));
    }

    void heading_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("days");
        QTest::addColumn<QString>("text");
        QTest::newRow("English") << 0 << 7 << QStringLiteral("Alarms for the next 7 days");
        QTest::newRow("French") << 1 << 45 << QStringLiteral("Alarmes pour les 45 prochains jours");
        QTest::newRow("N = 0") << 0 << 0 << QStringLiteral("Alarms for the next 0 days");
    }

    // The heading follows the language and N at the time of the call.
    void heading()
    {
        QFETCH(int, language);
        QFETCH(int, days);
        QFETCH(QString, text);
        FixedClock clock(Clock);
        program.dm->cdsAlarms.emptyDataSet();
        AddAlarm(*program.dm, Today - 1, QStringLiteral("overdue"), 0, 0);
        program.window->edtOptionsReminderValue->setPosition(days);
        KaVar::SetLanguageIndex(language);
        Show();
        QVERIFY(shown);
        QCOMPARE(shownHeading, text);
    }

    // A failure while the view fills: its message in a simple message box,
    // no box, and the view closed and the display updates back all the same.
    void failure()
    {
        FixedClock clock(Clock);
        program.dm->cdsAlarms.emptyDataSet();
        AddAlarm(*program.dm, Today, QStringLiteral("today"));
        program.window->edtOptionsReminderValue->setPosition(7);
        bool failed = false;
        program.dm->dsReminder.onStateChange = [&failed](DataSource *) {
            if (!std::exchange(failed, true))
                throw Exception(QStringLiteral("The view cannot be read"));
        };
        ErrorTexts errors;
        Show();
        program.dm->dsReminder.onStateChange = {};
        QVERIFY(failed);
        QVERIFY(!shown);
        QCOMPARE(errors.texts, QStringList(QStringLiteral("The view cannot be read")));
    }

    // The tray menu's item shows the box whatever N is, even 0.
    void menuItem()
    {
        FixedClock clock(Clock);
        program.dm->cdsAlarms.emptyDataSet();
        AddAlarm(*program.dm, Today + 0.25, QStringLiteral("this morning"), 0, 0);
        program.window->edtOptionsReminderValue->setPosition(0);
        QVERIFY(program.window->miShowRemender->isEnabled());
        watcher.start();
        program.window->miShowRemender->trigger();
        watcher.stop();
        QVERIFY(shown);
        QCOMPARE(rows.size(), 1);
        QVERIFY(rows.first().contains(QStringLiteral("|this morning|")));
    }

    // Ctrl+C in the grid copies the selected alarm's line.
    void copy()
    {
        FixedClock clock(Clock);
        program.dm->cdsAlarms.emptyDataSet();
        AddAlarm(*program.dm, Today + 1, QStringLiteral("first"), 0, 0);
        AddAlarm(*program.dm, Today + 2, QStringLiteral("second"), 0, 0);
        program.window->edtOptionsReminderValue->setPosition(7);
        QGuiApplication::clipboard()->clear();
        QString copied;
        QTimer::singleShot(0, this, [this, &copied] {
            QTRY_VERIFY(box->isVisible());
            box->grdReminder->setFocus();
            QTest::keyClick(box->grdReminder, Qt::Key_Down);
            QTest::keySequence(box->grdReminder, QKeySequence::Copy);
            copied = QGuiApplication::clipboard()->text();
            box->close();
        });
        box->ShowReminder();
        QCOMPARE(copied, QStringLiteral("3/14/2026\tsecond\tNone\tNormal\t\tOff"));
    }
};

QTEST_MAIN(TestReminderBox)
#include "tst_reminder_box.moc"
