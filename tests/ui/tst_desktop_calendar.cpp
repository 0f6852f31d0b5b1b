// The calendar page of the staged program on a real desktop: with alarms on
// three days of the current year, the window opened from the tray shows the
// calendar with today selected and circled and the three days marked; a click
// on a marked day lists exactly that day's alarms.
#include "base/U_KA_Var.h"
#include "diag/ZelDateTime.h"
#include "store/D_KA_Alarms.h"
#include "support/BaseSupport.h"
#include "support/Desktop.h"
#include "support/TestSupport.h"
#include "ui/YearPlanner.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>

using namespace desktop;

namespace {

const QColor Marked(255, 255, 128);
const QSize MainWindow(760, 496);

// The share of a cell's pixels (inside its grid lines) that have the colour.
double Share(const QImage &image, const QRect &cell, const QColor &colour)
{
    int hits = 0;
    int total = 0;
    for (int y = cell.top(); y < cell.bottom(); ++y) {
        for (int x = cell.left(); x < cell.right(); ++x) {
            ++total;
            hits += image.pixelColor(x, y).rgb() == colour.rgb() ? 1 : 0;
        }
    }
    return total ? double(hits) / total : 0;
}

// The bounding box of the lines that are mostly of a colour (a band across
// a widget, not the odd pixel of a picture).
QRect BandOf(const QImage &image, const QColor &colour)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        QRect line;
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y).rgb() == colour.rgb())
                line |= QRect(x, y, 1, 1);
        }
        if (line.width() > image.width() / 2)
            box |= line;
    }
    return box;
}

// The height of a grid row, as the program lays its grids out.
constexpr int RowHeight = 18;

// Where the empty part of the grid's rows area begins: the first line from
// which the Date column (the left of the area) holds only the grid's
// background down to the area's bottom.
int EmptyFrom(const QImage &image, const QRect &area)
{
    const QColor background(255, 255, 224);
    int y = area.bottom();
    for (; y >= area.top(); --y) {
        bool empty = true;
        for (int x = area.left() + 2; x < area.left() + 100 && empty; ++x)
            empty = image.pixelColor(x, y).rgb() == background.rgb();
        if (!empty)
            break;
    }
    return y + 1;
}

} // namespace

class TestDesktopCalendar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { testsupport::InitProgramUnits(); }

    void showsTheYearAndListsAClickedDay()
    {
        // Three days of this year, none of them today; the first has two
        // alarms, and an alarm in the trash marks nothing.
        const QDate today = QDate::currentDate();
        const int year = today.year();
        QList<QDate> days;
        for (const QDate &d : {QDate(year, 2, 10), QDate(year, 4, 15), QDate(year, 9, 22), QDate(year, 11, 5)}) {
            if (d != today && days.size() < 3)
                days << d;
        }
        const QDate binned(year, 7, 7);
        testsupport::ClearDataDir();
        {
            TdmKaAlarms dm;
            const auto at = [](const QDate &d, int hour) { return zel::ToDateTime(d) + hour * zel::OneHour; };
            // Switched off, so that the days already past do not fire at start.
            testsupport::AddAlarm(dm, at(days[0], 9), QStringLiteral("first"), 0, 0);
            testsupport::AddAlarm(dm, at(days[0], 17), QStringLiteral("second"), 0, 0);
            testsupport::AddAlarm(dm, at(days[1], 8), QStringLiteral("third"), 0, 0);
            testsupport::AddAlarm(dm, at(days[2], 20), QStringLiteral("fourth"), 0, 0);
            testsupport::AddAlarm(dm, at(binned, 8), QStringLiteral("binned"), 1, 0);
        }
        QVERIFY(QFile::exists(testsupport::DataFile()));
        // No reminder box at start: it would list the alarms of the past days.
        testsupport::ClearSettings();
        {
            QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Morvane"),
                        QStringLiteral("Almarik"));
            s.setValue(QStringLiteral("KA2/MainForm/edtOptionsReminderValue_Position"), QStringLiteral("0"));
        }

        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(program.waitForStarted());
        const auto stop = qScopeGuard([&program] {
            program.terminate();
            if (!program.waitForFinished(10000))
                program.kill();
        });
        QTRY_VERIFY_WITH_TIMEOUT(TrayIcon().isValid(), 15000);
        QVERIFY(Click(TrayIcon(), 1));
        QString window;
        QTRY_VERIFY_WITH_TIMEOUT(!(window = WindowOfSize(MainWindow)).isEmpty(), 10000);

        // The planner: found by its year caption, laid out as the program's.
        QImage shot;
        QRect caption;
        QTRY_VERIFY_WITH_TIMEOUT(!(caption = BandOf(shot = Screenshot(window), TYearPlanner::YearCaption)).isEmpty(),
                                 10000);
        TYearPlanner planner;
        planner.resize(caption.width(), 196);
        planner.setYear(year);
        QCOMPARE(planner.captionRect().size(), caption.size());
        const QPoint origin = caption.topLeft();
        const auto cell = [&](const QDate &d) { return planner.cellRect(d).translated(origin); };

        // The three days are marked, today is circled and selected, the
        // binned alarm's day is plain.
        for (const QDate &d : days)
            QVERIFY2(Share(shot, cell(d), Marked) > 0.5, qPrintable(d.toString(Qt::ISODate)));
        QCOMPARE(Share(shot, cell(binned), Marked), 0.0);
        QVERIFY(Share(shot, cell(today), TYearPlanner::Today) > 0.3);
        QVERIFY(Share(shot, cell(today), TYearPlanner::Selection) > 0.02);

        // The grid's empty area: with no alarm today it starts at the top
        // of its rows.
        const QColor gridYellow(255, 255, 224);
        const QRect rows = BandOf(shot, gridYellow);
        QVERIFY(rows.height() > 100);
        QCOMPARE(EmptyFrom(shot, rows), rows.top());

        // A click on a day lists its alarms: as many rows of the grid as the
        // day has alarms; the day is selected and the others keep their marks.
        const QList<QPair<QDate, int>> clicks = {{days[0], 2}, {days[1], 1}, {binned, 0}, {days[2], 1}};
        for (const auto &[day, count] : clicks) {
            const QPoint target = cell(day).center();
            QVERIFY(Xdo({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(target.x()),
                         QString::number(target.y()), QStringLiteral("click"), QStringLiteral("1")})
                        .ok());
            QTRY_VERIFY_WITH_TIMEOUT(Share(shot = Screenshot(window), cell(day), TYearPlanner::Selection) > 0.5, 10000);
            QCOMPARE(qRound(double(EmptyFrom(shot, rows) - rows.top()) / RowHeight), count);
            for (const QDate &d : days) {
                if (d != day)
                    QVERIFY2(Share(shot, cell(d), Marked) > 0.5, qPrintable(d.toString(Qt::ISODate)));
            }
            QCOMPARE(Share(shot, cell(today), TYearPlanner::Selection), 0.0);
            QVERIFY(Share(shot, cell(today), TYearPlanner::Today) > 0.3);
            // Later clicks must not be taken for a double click.
            QTest::qWait(DoubleClickGapMs());
        }
    }
};

QTEST_MAIN(TestDesktopCalendar)
#include "tst_desktop_calendar.moc"
