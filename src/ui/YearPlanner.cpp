#include "ui/YearPlanner.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>

const QColor TYearPlanner::Background(128, 128, 128);
const QColor TYearPlanner::GridLines(192, 192, 192);
const QColor TYearPlanner::Headings(174, 188, 120);
const QColor TYearPlanner::WeekendDays(225, 233, 209);
const QColor TYearPlanner::WeekendHeadings(191, 208, 157);
const QColor TYearPlanner::NoDay(241, 245, 245);
const QColor TYearPlanner::YearCaption(150, 167, 82);
const QColor TYearPlanner::Selection(0, 128, 128);
const QColor TYearPlanner::Today(128, 0, 0);

namespace {

// Years the planner can show: four-digit years the date texts read back.
constexpr int FirstYear = 1900;
constexpr int LastYear = 9998;

bool ValidDay(int month, int day)
{
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

bool IsWeekendColumn(int column)
{
    return column % 7 >= 5;
}

} // namespace

TYearPlanner::TYearPlanner(QWidget *parent) : QWidget(parent), m_year(zel::ToQDate(zel::Now()).year())
{
    setObjectName(QStringLiteral("YearPlanner"));
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(8);
    f.setStyleHint(QFont::SansSerif);
    setFont(f);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    for (int m = 1; m <= 12; ++m)
        m_monthNames << QLocale::c().standaloneMonthName(m);
    m_dayLetters = {QStringLiteral("s"), QStringLiteral("m"), QStringLiteral("t"), QStringLiteral("w"),
                    QStringLiteral("t"), QStringLiteral("f"), QStringLiteral("s")};
    m_selStart = m_selEnd = zel::ToDateTime(zel::ToQDate(zel::Now()));
    measureMonthColumn();
}

void TYearPlanner::setYear(int year)
{
    year = std::clamp(year, FirstYear, LastYear);
    if (year == m_year)
        return;
    m_year = year;
    update();
    Q_EMIT yearChanged(year);
}

void TYearPlanner::setSelection(TDateTime first, TDateTime last)
{
    if (last < first)
        std::swap(first, last);
    m_selStart = first;
    m_selEnd = last;
    m_anchor = zel::ToQDate(first);
    m_cursor = zel::ToQDate(last);
    update();
}

void TYearPlanner::setCellColor(int month, int day, const QColor &color)
{
    if (!ValidDay(month, day))
        return;
    m_colors[size_t(month - 1)][size_t(day - 1)] = color;
    update();
}

QColor TYearPlanner::cellColor(int month, int day) const
{
    return ValidDay(month, day) ? m_colors[size_t(month - 1)][size_t(day - 1)] : QColor();
}

void TYearPlanner::setUseCellColor(int month, int day, bool use)
{
    if (!ValidDay(month, day))
        return;
    m_useColor[size_t(month - 1)][size_t(day - 1)] = use;
    update();
}

bool TYearPlanner::useCellColor(int month, int day) const
{
    return ValidDay(month, day) && m_useColor[size_t(month - 1)][size_t(day - 1)];
}

void TYearPlanner::clearCells()
{
    for (auto &month : m_colors)
        month.fill(QColor());
    for (auto &month : m_useColor)
        month.fill(false);
    update();
}

void TYearPlanner::setHeadings(const QStringList &monthNames, const QStringList &dayLetters)
{
    if (monthNames.size() == 12)
        m_monthNames = monthNames;
    if (dayLetters.size() == 7)
        m_dayLetters = dayLetters;
    measureMonthColumn();
    update();
}

// ---------------------------------------------------------------------------
// Geometry

int TYearPlanner::columnOf(const QDate &date)
{
    return QDate(date.year(), date.month(), 1).dayOfWeek() - 1 + date.day() - 1;
}

int TYearPlanner::monthColumnWidth() const
{
    return m_monthWidth;
}

void TYearPlanner::measureMonthColumn()
{
    // The longest month name fits, within reason: the days need the room.
    int widest = 0;
    for (const QString &name : std::as_const(m_monthNames))
        widest = std::max(widest, fontMetrics().horizontalAdvance(name));
    m_monthWidth = std::clamp(widest + 8, 48, 80);
}

int TYearPlanner::captionHeight() const
{
    return 18;
}

int TYearPlanner::headingHeight() const
{
    return 14;
}

int TYearPlanner::rowTop(int row) const
{
    const int top = captionHeight() + headingHeight();
    return top + row * std::max(0, height() - top) / 12;
}

int TYearPlanner::columnLeft(int column) const
{
    const int left = monthColumnWidth();
    return left + column * std::max(0, width() - left) / Columns;
}

QRect TYearPlanner::cellRect(int month, int column) const
{
    if (month < 1 || month > 12 || column < 0 || column >= Columns)
        return {};
    return QRect(QPoint(columnLeft(column), rowTop(month - 1)),
                 QPoint(columnLeft(column + 1), rowTop(month)) - QPoint(1, 1));
}

QRect TYearPlanner::cellRect(const QDate &date) const
{
    if (!date.isValid() || date.year() != m_year)
        return {};
    return cellRect(date.month(), columnOf(date));
}

QDate TYearPlanner::dateAt(const QPoint &pos) const
{
    int month = 0;
    for (int r = 0; r < 12 && !month; ++r) {
        if (pos.y() >= rowTop(r) && pos.y() < rowTop(r + 1))
            month = r + 1;
    }
    int column = -1;
    for (int c = 0; c < Columns && column < 0; ++c) {
        if (pos.x() >= columnLeft(c) && pos.x() < columnLeft(c + 1))
            column = c;
    }
    if (!month || column < 0)
        return {};
    const QDate first(m_year, month, 1);
    const int day = column - (first.dayOfWeek() - 1) + 1;
    if (day < 1 || day > first.daysInMonth())
        return {};
    return QDate(m_year, month, day);
}

QRect TYearPlanner::captionRect() const
{
    return QRect(0, 0, width(), captionHeight());
}

QRect TYearPlanner::previousYearRect() const
{
    return QRect(width() / 2 - 30 - 18, 2, 16, captionHeight() - 4);
}

QRect TYearPlanner::nextYearRect() const
{
    return QRect(width() / 2 + 30 + 2, 2, 16, captionHeight() - 4);
}

QSize TYearPlanner::sizeHint() const
{
    return QSize(monthColumnWidth() + Columns * 17, 196);
}

QSize TYearPlanner::minimumSizeHint() const
{
    return QSize(monthColumnWidth() + Columns * 12, captionHeight() + headingHeight() + 12 * 10);
}

// ---------------------------------------------------------------------------
// Painting

void TYearPlanner::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Background);

    // The year caption with its arrows.
    const QRect caption = captionRect();
    p.fillRect(caption, YearCaption);
    QFont bold = font();
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(Qt::white);
    p.drawText(caption, Qt::AlignCenter, QString::number(m_year));
    p.setRenderHint(QPainter::Antialiasing, true);
    for (const bool next : {false, true}) {
        const QRectF r = next ? nextYearRect() : previousYearRect();
        QPainterPath arrow;
        const qreal tip = next ? r.right() - 3 : r.left() + 3;
        const qreal base = next ? r.left() + 4 : r.right() - 4;
        arrow.moveTo(tip, r.center().y());
        arrow.lineTo(base, r.top() + 2);
        arrow.lineTo(base, r.bottom() - 2);
        arrow.closeSubpath();
        p.fillPath(arrow, Qt::white);
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setFont(font());

    // Weekday headings.
    const int headTop = caption.bottom() + 1;
    const QRect corner(0, headTop, monthColumnWidth(), headingHeight());
    p.fillRect(corner, Headings);
    p.setPen(Qt::black);
    for (int c = 0; c < Columns; ++c) {
        const QRect r(QPoint(columnLeft(c), headTop), QPoint(columnLeft(c + 1) - 1, headTop + headingHeight() - 1));
        p.fillRect(r, IsWeekendColumn(c) ? WeekendHeadings : Headings);
        // Columns start on Monday; the letters start on Sunday.
        p.drawText(r, Qt::AlignCenter, m_dayLetters.value((c % 7 + 1) % 7));
    }

    // The months.
    const QDate today = zel::ToQDate(zel::Now());
    const QDate selFirst = zel::ToQDate(m_selStart);
    const QDate selLast = zel::ToQDate(m_selEnd);
    for (int m = 1; m <= 12; ++m) {
        const QRect name(QPoint(0, rowTop(m - 1)), QPoint(monthColumnWidth() - 1, rowTop(m) - 1));
        p.fillRect(name, Headings);
        p.setPen(Qt::black);
        p.drawText(name.adjusted(3, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter, m_monthNames.value(m - 1));
        const QDate first(m_year, m, 1);
        const int offset = first.dayOfWeek() - 1;
        const int days = first.daysInMonth();
        for (int c = 0; c < Columns; ++c) {
            const QRect r = cellRect(m, c);
            const int day = c - offset + 1;
            if (day < 1 || day > days) {
                p.fillRect(r, NoDay);
                continue;
            }
            const QDate date(m_year, m, day);
            const bool selected = date >= selFirst && date <= selLast;
            QColor fill = IsWeekendColumn(c) ? WeekendDays : QColor(Qt::white);
            if (m_useColor[size_t(m - 1)][size_t(day - 1)] && m_colors[size_t(m - 1)][size_t(day - 1)].isValid())
                fill = m_colors[size_t(m - 1)][size_t(day - 1)];
            if (selected)
                fill = Selection;
            p.fillRect(r, fill);
            QColor text = selected ? QColor(Qt::white) : QColor(Qt::black);
            if (date == today) {
                p.setRenderHint(QPainter::Antialiasing, true);
                p.setPen(Qt::NoPen);
                p.setBrush(Today);
                const int side = std::min(r.width(), r.height());
                QRect circle(0, 0, side, side);
                circle.moveCenter(r.center());
                p.drawEllipse(circle);
                p.setBrush(Qt::NoBrush);
                p.setRenderHint(QPainter::Antialiasing, false);
                text = Qt::white;
            }
            p.setPen(text);
            p.drawText(r, Qt::AlignCenter, QString::number(day));
        }
    }

    // Grid lines between the cells.
    p.setPen(GridLines);
    const int gridTop = headTop;
    const int gridBottom = rowTop(12) - 1;
    for (int c = 0; c <= Columns; ++c) {
        const int x = columnLeft(c) - 1;
        p.drawLine(x, gridTop, x, gridBottom);
    }
    for (int r = 0; r <= 12; ++r) {
        const int y = rowTop(r) - 1;
        p.drawLine(0, y, columnLeft(Columns) - 1, y);
    }
}

// ---------------------------------------------------------------------------
// Mouse and keyboard

void TYearPlanner::stepYear(int delta)
{
    const int target = std::clamp(m_year + delta, FirstYear, LastYear);
    if (target == m_year)
        return;
    const TDateTime now = zel::Now();
    m_selStart = m_selEnd = now;
    m_anchor = m_cursor = QDate();
    setYear(target);
}

void TYearPlanner::selectDays(const QDate &anchor, const QDate &cursor)
{
    m_anchor = anchor;
    m_cursor = cursor;
    const QDate first = std::min(anchor, cursor);
    const QDate last = std::max(anchor, cursor);
    m_selStart = zel::ToDateTime(first);
    m_selEnd = zel::ToDateTime(last);
    update();
}

void TYearPlanner::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    if (previousYearRect().contains(pos)) {
        stepYear(-1);
        return;
    }
    if (nextYearRect().contains(pos)) {
        stepYear(1);
        return;
    }
    const QDate date = dateAt(pos);
    if (!date.isValid())
        return;
    if ((event->modifiers() & Qt::ShiftModifier) && m_anchor.isValid())
        selectDays(m_anchor, date);
    else
        selectDays(date, date);
    m_dragging = true;
}

void TYearPlanner::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging)
        return;
    const QDate date = dateAt(event->position().toPoint());
    if (date.isValid() && date != m_cursor)
        selectDays(m_anchor, date);
}

void TYearPlanner::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_dragging)
        return;
    m_dragging = false;
    Q_EMIT selectionMade();
}

void TYearPlanner::keyPressEvent(QKeyEvent *event)
{
    const QDate current = m_cursor.isValid() ? m_cursor : zel::ToQDate(m_selStart);
    QDate moved;
    switch (event->key()) {
    case Qt::Key_Left:
        moved = current.addDays(-1);
        break;
    case Qt::Key_Right:
        moved = current.addDays(1);
        break;
    case Qt::Key_Up:
        moved = current.addMonths(-1);
        break;
    case Qt::Key_Down:
        moved = current.addMonths(1);
        break;
    case Qt::Key_Home:
        moved = QDate(current.year(), current.month(), 1);
        break;
    case Qt::Key_End:
        moved = QDate(current.year(), current.month(), current.daysInMonth());
        break;
    case Qt::Key_PageUp:
        stepYear(-1);
        return;
    case Qt::Key_PageDown:
        stepYear(1);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        Q_EMIT selectionMade();
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    if (!moved.isValid() || moved.year() < FirstYear || moved.year() > LastYear)
        return;
    if ((event->modifiers() & Qt::ShiftModifier) && m_anchor.isValid())
        selectDays(m_anchor, moved);
    else
        selectDays(moved, moved);
    setYear(moved.year());
    Q_EMIT selectionMade();
}

bool TYearPlanner::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QDate date = dateAt(help->pos());
        if (date.isValid())
            QToolTip::showText(help->globalPos(), zel::DateToStr(zel::ToDateTime(date)), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void TYearPlanner::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        measureMonthColumn();
    QWidget::changeEvent(event);
}
