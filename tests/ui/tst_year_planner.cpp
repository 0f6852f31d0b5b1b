// The year planner on its own: where each day sits (and back), what it paints
// (marks, today's circle, the selection, weekends, cells that are no days),
// and its mouse and keyboard selection with the year changes they report.
#include "diag/ZelDateTime.h"
#include "support/BaseSupport.h"
#include "ui/YearPlanner.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>

using namespace testsupport;

namespace {

// The share of a cell's pixels (inside its grid lines) that have the colour.
double Share(const QImage &image, const QRect &cell, const QColor &colour)
{
    int hits = 0;
    int total = 0;
    for (int y = cell.top(); y < cell.bottom(); ++y) {
        for (int x = cell.left(); x < cell.right(); ++x) {
            ++total;
            if (image.pixelColor(x, y).rgb() == colour.rgb())
                ++hits;
        }
    }
    return total ? double(hits) / total : 0;
}

int CountColour(const QImage &image, const QColor &colour, const QRect &outside = {})
{
    int hits = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!outside.contains(x, y) && image.pixelColor(x, y).rgb() == colour.rgb())
                ++hits;
        }
    }
    return hits;
}

TDateTime Day(int year, int month, int day)
{
    return zel::EncodeDate(year, month, day);
}

} // namespace

class TestYearPlanner : public QObject
{
    Q_OBJECT

    // Today, for every test: Thursday 10 December 2026, 14:30.
    FixedClock m_clock{QDateTime(QDate(2026, 12, 10), QTime(14, 30))};
    TYearPlanner *m_planner = nullptr;

    QImage grab() { return m_planner->grab().toImage().convertToFormat(QImage::Format_RGB32); }

private Q_SLOTS:
    void initTestCase() { InitProgramUnits(); }

    void init()
    {
        m_planner = new TYearPlanner;
        m_planner->resize(647, 196);
        m_planner->setYear(2026);
    }

    void cleanup()
    {
        delete m_planner;
        m_planner = nullptr;
    }

    void startsOnTodaysYearWithTodaySelected()
    {
        TYearPlanner fresh;
        QCOMPARE(fresh.year(), 2026);
        QCOMPARE(fresh.selectionStart(), Day(2026, 12, 10));
        QCOMPARE(fresh.selectionEnd(), Day(2026, 12, 10));
    }

    void everyDayMapsToItsCellAndBack_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("firstColumn"); // column of 1 January (0 Monday)
        QTest::newRow("2024 leap, starts on Monday") << 2024 << 0;
        QTest::newRow("2023 starts on Sunday") << 2023 << 6;
        QTest::newRow("2028 leap, starts on Saturday") << 2028 << 5;
        QTest::newRow("2026") << 2026 << 3;
    }

    void everyDayMapsToItsCellAndBack()
    {
        QFETCH(int, year);
        QFETCH(int, firstColumn);
        m_planner->setYear(year);
        QCOMPARE(TYearPlanner::columnOf(QDate(year, 1, 1)), firstColumn);
        QSet<QPair<int, int>> seen;
        for (QDate d(year, 1, 1); d.year() == year; d = d.addDays(1)) {
            const QRect cell = m_planner->cellRect(d);
            QVERIFY2(cell.isValid(), qPrintable(d.toString(Qt::ISODate)));
            QVERIFY(m_planner->rect().contains(cell));
            // The column is the weekday's, Monday first.
            const int column = TYearPlanner::columnOf(d);
            QCOMPARE(column % 7, d.dayOfWeek() - 1);
            QVERIFY(column < TYearPlanner::Columns);
            QCOMPARE(cell, m_planner->cellRect(d.month(), column));
            // Every corner of the cell gives the day back.
            for (const QPoint &p : {cell.topLeft(), cell.bottomRight(), cell.center()})
                QCOMPARE(m_planner->dateAt(p), d);
            QVERIFY(!seen.contains({cell.x(), cell.y()}));
            seen.insert({cell.x(), cell.y()});
        }
        // 29 February only in a leap year; a day of another year has no cell.
        const QDate feb1(year, 2, 1);
        const QDate afterFeb28 =
            m_planner->dateAt(m_planner->cellRect(2, TYearPlanner::columnOf(QDate(year, 2, 28)) + 1).center());
        QCOMPARE(afterFeb28, QDate::isLeapYear(year) ? QDate(year, 2, 29) : QDate());
        QVERIFY(!m_planner->cellRect(QDate(year + 1, 1, 1)).isValid());
        // The cells before the 1st are no days; neither are the headings.
        if (feb1.dayOfWeek() > 1)
            QVERIFY(!m_planner->dateAt(m_planner->cellRect(2, 0).center()).isValid());
        QVERIFY(!m_planner->dateAt(m_planner->captionRect().center()).isValid());
        QVERIFY(!m_planner->dateAt(QPoint(5, m_planner->cellRect(3, 0).center().y())).isValid());
    }

    void paintsMarksTodayAndTheSelection()
    {
        m_planner->setSelection(Day(2026, 6, 15), Day(2026, 6, 16));
        m_planner->setCellColor(3, 4, QColor(255, 255, 128));
        m_planner->setUseCellColor(3, 4, true);
        // A colour without its flag is not used.
        m_planner->setCellColor(3, 5, QColor(255, 255, 128));
        QImage image = grab();

        const QRect marked = m_planner->cellRect(QDate(2026, 3, 4));
        QVERIFY(Share(image, marked, QColor(255, 255, 128)) > 0.5);
        const QRect unused = m_planner->cellRect(QDate(2026, 3, 5));
        QCOMPARE(Share(image, unused, QColor(255, 255, 128)), 0.0);
        QVERIFY(Share(image, unused, Qt::white) > 0.5);

        // Today: a filled maroon circle with the number in white, and maroon
        // nowhere else.
        const QRect today = m_planner->cellRect(QDate(2026, 12, 10));
        QVERIFY(Share(image, today, TYearPlanner::Today) > 0.3);
        QVERIFY(Share(image, today, Qt::white) > 0.02);
        QCOMPARE(CountColour(image, TYearPlanner::Today, today), 0);

        // The selection in teal, the weekends and the cells that are no days.
        QVERIFY(Share(image, m_planner->cellRect(QDate(2026, 6, 15)), TYearPlanner::Selection) > 0.5);
        QVERIFY(Share(image, m_planner->cellRect(QDate(2026, 6, 16)), TYearPlanner::Selection) > 0.5);
        QCOMPARE(Share(image, m_planner->cellRect(QDate(2026, 6, 17)), TYearPlanner::Selection), 0.0);
        QVERIFY(Share(image, m_planner->cellRect(QDate(2026, 6, 13)), TYearPlanner::WeekendDays) > 0.5);
        // 1 February 2026 is a Sunday: the six cells before it are no days.
        QVERIFY(Share(image, m_planner->cellRect(2, 0), TYearPlanner::NoDay) > 0.9);
        QVERIFY(Share(image, m_planner->cellRect(2, 5), TYearPlanner::NoDay) > 0.9);
        QVERIFY(Share(image, m_planner->captionRect().adjusted(0, 0, -m_planner->width() / 2 - 60, 0),
                      TYearPlanner::YearCaption) > 0.9);

        // Clearing the cells takes every mark away.
        m_planner->clearCells();
        QVERIFY(!m_planner->useCellColor(3, 4));
        QVERIFY(!m_planner->cellColor(3, 4).isValid());
        image = grab();
        QCOMPARE(CountColour(image, QColor(255, 255, 128)), 0);

        // Another year: no circle.
        m_planner->setYear(2025);
        QCOMPARE(CountColour(grab(), TYearPlanner::Today), 0);
    }

    void mouseSelectsADayOrARange()
    {
        QSignalSpy made(m_planner, &TYearPlanner::selectionMade);
        QSignalSpy years(m_planner, &TYearPlanner::yearChanged);
        const QPoint march3 = m_planner->cellRect(QDate(2026, 3, 3)).center();
        const QPoint march5 = m_planner->cellRect(QDate(2026, 3, 5)).center();
        QTest::mousePress(m_planner, Qt::LeftButton, {}, march3);
        QMouseEvent move(QEvent::MouseMove, march5, m_planner->mapToGlobal(march5), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(m_planner, &move);
        QCOMPARE(made.count(), 0);
        QTest::mouseRelease(m_planner, Qt::LeftButton, {}, march5);
        QCOMPARE(made.count(), 1);
        QCOMPARE(m_planner->selectionStart(), Day(2026, 3, 3));
        QCOMPARE(m_planner->selectionEnd(), Day(2026, 3, 5));

        // Shift and a click before the anchor: the range runs backwards.
        const QPoint feb27 = m_planner->cellRect(QDate(2026, 2, 27)).center();
        QTest::mouseClick(m_planner, Qt::LeftButton, Qt::ShiftModifier, feb27);
        QCOMPARE(made.count(), 2);
        QCOMPARE(m_planner->selectionStart(), Day(2026, 2, 27));
        QCOMPARE(m_planner->selectionEnd(), Day(2026, 3, 3));

        // A click on a cell that is no day does nothing.
        QTest::mouseClick(m_planner, Qt::LeftButton, {}, m_planner->cellRect(2, 0).center());
        QCOMPARE(made.count(), 2);
        QCOMPARE(years.count(), 0);
    }

    void arrowsChangeTheYearAndSelectNow()
    {
        m_planner->setSelection(Day(2026, 3, 3), Day(2026, 3, 5));
        QSignalSpy made(m_planner, &TYearPlanner::selectionMade);
        QSignalSpy years(m_planner, &TYearPlanner::yearChanged);
        QTest::mouseClick(m_planner, Qt::LeftButton, {}, m_planner->nextYearRect().center());
        QCOMPARE(m_planner->year(), 2027);
        QCOMPARE(years.count(), 1);
        QCOMPARE(years.first().first().toInt(), 2027);
        // The selection is the present moment, not a midnight.
        const TDateTime now = zel::EncodeDateTime(2026, 12, 10, 14, 30);
        QCOMPARE(m_planner->selectionStart(), now);
        QCOMPARE(m_planner->selectionEnd(), now);
        QCOMPARE(made.count(), 0);

        QTest::mouseClick(m_planner, Qt::LeftButton, {}, m_planner->previousYearRect().center());
        QTest::mouseClick(m_planner, Qt::LeftButton, {}, m_planner->previousYearRect().center());
        QCOMPARE(m_planner->year(), 2025);
        QCOMPARE(years.count(), 3);
        // Setting the year it already shows reports nothing.
        m_planner->setYear(2025);
        QCOMPARE(years.count(), 3);
    }

    void keyboardMovesAndExtendsTheSelection_data()
    {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QDate>("first");
        QTest::addColumn<QDate>("last");
        QTest::addColumn<int>("year");
        const int none = Qt::NoModifier;
        const int shift = Qt::ShiftModifier;
        QTest::newRow("right") << QDate(2026, 3, 3) << int(Qt::Key_Right) << none << QDate(2026, 3, 4)
                               << QDate(2026, 3, 4) << 2026;
        QTest::newRow("left") << QDate(2026, 3, 1) << int(Qt::Key_Left) << none << QDate(2026, 2, 28)
                              << QDate(2026, 2, 28) << 2026;
        QTest::newRow("down: next month")
            << QDate(2026, 1, 31) << int(Qt::Key_Down) << none << QDate(2026, 2, 28) << QDate(2026, 2, 28) << 2026;
        QTest::newRow("up: previous month")
            << QDate(2026, 3, 15) << int(Qt::Key_Up) << none << QDate(2026, 2, 15) << QDate(2026, 2, 15) << 2026;
        QTest::newRow("shift right extends")
            << QDate(2026, 3, 3) << int(Qt::Key_Right) << shift << QDate(2026, 3, 3) << QDate(2026, 3, 4) << 2026;
        QTest::newRow("shift left extends backwards")
            << QDate(2026, 3, 3) << int(Qt::Key_Left) << shift << QDate(2026, 3, 2) << QDate(2026, 3, 3) << 2026;
        QTest::newRow("right from 31 December")
            << QDate(2026, 12, 31) << int(Qt::Key_Right) << none << QDate(2027, 1, 1) << QDate(2027, 1, 1) << 2027;
        QTest::newRow("end of the month")
            << QDate(2026, 2, 3) << int(Qt::Key_End) << none << QDate(2026, 2, 28) << QDate(2026, 2, 28) << 2026;
    }

    void keyboardMovesAndExtendsTheSelection()
    {
        QFETCH(QDate, from);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QDate, first);
        QFETCH(QDate, last);
        QFETCH(int, year);
        m_planner->setSelection(zel::ToDateTime(from), zel::ToDateTime(from));
        QSignalSpy made(m_planner, &TYearPlanner::selectionMade);
        QTest::keyClick(m_planner, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(made.count(), 1);
        QCOMPARE(zel::ToQDate(m_planner->selectionStart()), first);
        QCOMPARE(zel::ToQDate(m_planner->selectionEnd()), last);
        QCOMPARE(m_planner->year(), year);
    }

    void pageKeysChangeTheYear()
    {
        QSignalSpy years(m_planner, &TYearPlanner::yearChanged);
        QTest::keyClick(m_planner, Qt::Key_PageDown);
        QCOMPARE(m_planner->year(), 2027);
        QTest::keyClick(m_planner, Qt::Key_PageUp);
        QTest::keyClick(m_planner, Qt::Key_PageUp);
        QCOMPARE(m_planner->year(), 2025);
        QCOMPARE(years.count(), 3);
        QCOMPARE(m_planner->selectionStart(), zel::EncodeDateTime(2026, 12, 10, 14, 30));
        // Enter reports the selection as it is.
        QSignalSpy made(m_planner, &TYearPlanner::selectionMade);
        QTest::keyClick(m_planner, Qt::Key_Return);
        QCOMPARE(made.count(), 1);
    }

    void headingsTakeTwelveMonthsAndSevenLetters()
    {
        const QStringList months = {
            QStringLiteral("Janvier"), QStringLiteral("F\u00e9vrier"), QStringLiteral("Mars"),
            QStringLiteral("Avril"),   QStringLiteral("Mai"),          QStringLiteral("Juin"),
            QStringLiteral("Juillet"), QStringLiteral("Ao\u00fbt"),    QStringLiteral("Septembre"),
            QStringLiteral("Octobre"), QStringLiteral("Novembre"),     QStringLiteral("D\u00e9cembre")};
        const QStringList letters = {QStringLiteral("d"), QStringLiteral("l"), QStringLiteral("m"), QStringLiteral("m"),
                                     QStringLiteral("j"), QStringLiteral("v"), QStringLiteral("s")};
        m_planner->setHeadings(months, letters);
        QCOMPARE(m_planner->monthNames(), months);
        QCOMPARE(m_planner->dayLetters(), letters);
        // Incomplete lists are refused, the headings stay.
        m_planner->setHeadings(months.mid(1), letters.mid(1));
        QCOMPARE(m_planner->monthNames(), months);
        QCOMPARE(m_planner->dayLetters(), letters);
    }
};

QTEST_MAIN(TestYearPlanner)
#include "tst_year_planner.moc"
