#pragma once

#include "diag/ZelDateTime.h"

#include <QColor>
#include <QDate>
#include <QStringList>
#include <QWidget>

#include <array>

// The year planner of the calendar page: one year at a glance, a row per month
// and each day in the column of its weekday (weeks start on Monday, so the
// rows span 37 columns), the year caption with previous-year and next-year
// arrows, today circled. A day or a range of days is selected with the mouse
// (press and drag, or Shift and click) or the keyboard (arrows move the
// selected day, Shift extends, Page Up and Page Down change the year). Every
// day can carry a colour of its own, used while its flag is set.
class TYearPlanner : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int Year READ year WRITE setYear NOTIFY yearChanged)

public:
    explicit TYearPlanner(QWidget *parent = nullptr);

    // The year shown. Setting another year reports it (yearChanged).
    int year() const { return m_year; }
    void setYear(int year);

    // The current selection: its first and last values. A selection made with
    // the mouse or the keyboard holds the midnights of its first and last
    // days; after a year change by the arrows both are the present moment.
    TDateTime selectionStart() const { return m_selStart; }
    TDateTime selectionEnd() const { return m_selEnd; }
    // Sets the selection (first value not after the last), without a report.
    void setSelection(TDateTime first, TDateTime last);

    // Per-day colour of the shown year and the flag that tells the planner to
    // use it; clearCells resets both for every day.
    void setCellColor(int month, int day, const QColor &color);
    QColor cellColor(int month, int day) const;
    void setUseCellColor(int month, int day, bool use);
    bool useCellColor(int month, int day) const;
    void clearCells();

    // Headings: 12 month names, 7 weekday letters (Sunday first).
    void setHeadings(const QStringList &monthNames, const QStringList &dayLetters);
    QStringList monthNames() const { return m_monthNames; }
    QStringList dayLetters() const { return m_dayLetters; }

    // Geometry. Columns count from 0 (the Monday of the month's first week).
    static constexpr int Columns = 37;
    static int columnOf(const QDate &date);
    // The cell of a day of the shown year (empty for another year).
    QRect cellRect(const QDate &date) const;
    // The cell at a row (0 January ... 11 December) and column, day or not.
    QRect cellRect(int month, int column) const;
    // The day under a point of the widget (invalid outside the days).
    QDate dateAt(const QPoint &pos) const;
    QRect previousYearRect() const;
    QRect nextYearRect() const;
    QRect captionRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The planner's colours.
    static const QColor Background;
    static const QColor GridLines;
    static const QColor Headings;
    static const QColor WeekendDays;
    static const QColor WeekendHeadings;
    static const QColor NoDay;
    static const QColor YearCaption;
    static const QColor Selection;
    static const QColor Today;

Q_SIGNALS:
    // The year changed (the arrows, the keys or setYear).
    void yearChanged(int year);
    // The user made a selection (mouse released, or a key moved it).
    void selectionMade();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // A change of year by the arrows or Page Up / Page Down: the selection
    // becomes the present moment and the new year is reported.
    void stepYear(int delta);
    // Selects the days from the anchor to the cursor.
    void selectDays(const QDate &anchor, const QDate &cursor);
    int monthColumnWidth() const;
    void measureMonthColumn();
    int captionHeight() const;
    int headingHeight() const;
    int rowTop(int row) const;
    int columnLeft(int column) const;

    int m_year;
    TDateTime m_selStart = 0;
    TDateTime m_selEnd = 0;
    QDate m_anchor;
    QDate m_cursor;
    bool m_dragging = false;
    int m_monthWidth = 64;
    std::array<std::array<QColor, 31>, 12> m_colors;
    std::array<std::array<bool, 31>, 12> m_useColor{};
    QStringList m_monthNames;
    QStringList m_dayLetters;
};
