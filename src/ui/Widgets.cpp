#include "ui/Widgets.h"

#include "diag/ZelDateTime.h"

#include <QButtonGroup>
#include <QCalendarWidget>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyleOptionComboBox>
#include <QStyledItemDelegate>
#include <QTextCharFormat>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QScopedValueRollback>

#include <cmath>

// ---------------------------------------------------------------------------
// TUpDown

TUpDown::TUpDown(int minimum, int maximum, int position, QWidget *parent)
    : QWidget(parent), m_min(minimum), m_max(maximum), m_position(std::clamp(position, minimum, maximum))
{
    setFocusPolicy(Qt::StrongFocus);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *up = new QToolButton(this);
    auto *down = new QToolButton(this);
    up->setObjectName(QStringLiteral("up"));
    down->setObjectName(QStringLiteral("down"));
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    up->setAutoRepeat(true);
    down->setAutoRepeat(true);
    for (QToolButton *b : {up, down}) {
        b->setFixedSize(16, 10);
        b->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(b);
    }
    connect(up, &QToolButton::clicked, this, [this] { setPosition(m_position + 1); });
    connect(down, &QToolButton::clicked, this, [this] { setPosition(m_position - 1); });
    setFixedSize(16, 20);
}

void TUpDown::setPosition(int position)
{
    position = std::clamp(position, m_min, m_max);
    if (position == m_position)
        return;
    m_position = position;
    Q_EMIT changed(m_position);
}

void TUpDown::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Up)
        setPosition(m_position + 1);
    else if (event->key() == Qt::Key_Down)
        setPosition(m_position - 1);
    else
        QWidget::keyPressEvent(event);
}

void TUpDown::wheelEvent(QWheelEvent *event)
{
    setPosition(m_position + (event->angleDelta().y() > 0 ? 1 : -1));
    event->accept();
}

// ---------------------------------------------------------------------------
// TRadioGroup

TRadioGroup::TRadioGroup(const QString &caption, QWidget *parent)
    : QGroupBox(caption, parent), m_group(new QButtonGroup(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setSpacing(0);
    connect(m_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            Q_EMIT changed(id);
    });
}

void TRadioGroup::setItems(const QStringList &items)
{
    const int index = itemIndex();
    for (int i = 0; i < items.size(); ++i) {
        if (i < m_buttons.size()) {
            m_buttons[i]->setText(items[i]);
            continue;
        }
        auto *b = new QRadioButton(items[i], this);
        m_group->addButton(b, i);
        layout()->addWidget(b);
        m_buttons << b;
    }
    while (m_buttons.size() > items.size())
        delete m_buttons.takeLast();
    if (index >= 0 && index < m_buttons.size())
        m_buttons[index]->setChecked(true);
}

QStringList TRadioGroup::items() const
{
    QStringList result;
    for (const QRadioButton *b : m_buttons)
        result << b->text();
    return result;
}

int TRadioGroup::itemIndex() const
{
    return m_group->checkedId();
}

void TRadioGroup::setItemIndex(int index)
{
    if (index >= 0 && index < m_buttons.size()) {
        m_buttons[index]->setChecked(true);
    } else if (QAbstractButton *checked = m_group->checkedButton()) {
        m_group->setExclusive(false);
        checked->setChecked(false);
        m_group->setExclusive(true);
    }
}

QRadioButton *TRadioGroup::button(int index) const
{
    return index >= 0 && index < m_buttons.size() ? m_buttons[index] : nullptr;
}

// ---------------------------------------------------------------------------
// TDataGrid

namespace {

// Aligns each column's cells as the grid says, whatever the field says.
class ColumnAlignment : public QStyledItemDelegate
{
public:
    ColumnAlignment(Qt::Alignment alignment, QObject *parent) : QStyledItemDelegate(parent), m_alignment(alignment) {}

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->displayAlignment = m_alignment | Qt::AlignVCenter;
    }

private:
    Qt::Alignment m_alignment;
};

} // namespace

TDataGrid::TDataGrid(store::DataSource *source, const QList<Column> &columns, const QColor &background, QWidget *parent)
    : QTableView(parent), m_source(source), m_model(new store::TableModel(source, this)), m_columns(columns)
{
    QStringList fields;
    for (const Column &c : columns)
        fields << c.field;
    m_model->setColumns(fields);
    setModel(m_model);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Rows are browsed, never edited cell by cell: Tab goes on to the next
    // control, as in the window's other controls.
    setTabKeyNavigation(false);
    setAlternatingRowColors(false);
    setWordWrap(false);
    verticalHeader()->setDefaultSectionSize(18);
    horizontalHeader()->setDefaultSectionSize(64);
    verticalHeader()->setFixedWidth(12);
    QFont bold = horizontalHeader()->font();
    bold.setBold(true);
    horizontalHeader()->setFont(bold);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    for (int i = 0; i < columns.size(); ++i) {
        if (columns[i].width > 0)
            setColumnWidth(i, columns[i].width);
        setItemDelegateForColumn(i, new ColumnAlignment(columns[i].alignment, this));
    }
    for (int i = 0; i < columns.size(); ++i) {
        m_columnObjects << new TGridColumn(
            m_model->headerData(i, Qt::Horizontal).toString(), [this] { m_model->titlesChanged(); }, this);
    }
    m_model->setTitleCaptions([this](int column) { return columnTitle(column); });
    m_model->setTitleAlignments([this](int column) {
        return column >= 0 && column < m_columns.size() ? m_columns[column].titleAlignment : Qt::AlignHCenter;
    });
    QPalette pal = palette();
    pal.setColor(QPalette::Base, background);
    // The selected row stays visible when the grid has no focus.
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);

    connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int section) { Q_EMIT titleClicked(columnField(section)); });
    connect(m_model, &QAbstractItemModel::modelReset, this, &TDataGrid::selectCurrentRow);
    connect(m_model, &store::TableModel::currentRowChanged, this, &TDataGrid::selectCurrentRow);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex &current) {
        if (m_syncing || !current.isValid() || !m_source || !m_source->dataSet())
            return;
        store::Table *t = m_source->dataSet();
        if (t->active() && t->recNo() != current.row())
            t->setRecNo(current.row());
    });
}

QString TDataGrid::columnField(int column) const
{
    return column >= 0 && column < m_columns.size() ? m_columns[column].field : QString();
}

QObjectList TDataGrid::columnObjects() const
{
    QObjectList list;
    for (TGridColumn *c : m_columnObjects)
        list << c;
    return list;
}

QString TDataGrid::columnTitle(int column) const
{
    return column >= 0 && column < m_columnObjects.size() ? m_columnObjects[column]->title()->caption() : QString();
}

void TColumnTitle::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    if (m_changed)
        m_changed();
}

TGridColumn::TGridColumn(const QString &caption, std::function<void()> changed, QObject *parent)
    : QObject(parent), m_title(new TColumnTitle(std::move(changed), this))
{
    m_title->setCaption(caption);
}

void TDataGrid::selectCurrentRow()
{
    const store::Table *t = m_source ? m_source->dataSet() : nullptr;
    if (!t || !t->active() || t->isEmpty())
        return;
    const QScopedValueRollback<bool> syncing(m_syncing, true);
    const QModelIndex index = m_model->index(t->recNo(), 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

// ---------------------------------------------------------------------------
// WindowFont

namespace {

// Tahoma's metrics per em: the mean width of the 52 letters and the line
// height (ascent and descent).
constexpr double TahomaLetterWidth = 0.548;
constexpr double TahomaLineHeight = 0.98;

bool HasFamily(const QString &family)
{
    return QFontDatabase::families().contains(family, Qt::CaseInsensitive);
}

} // namespace

QString ClosestToTahoma()
{
    QString best;
    double bestScore = 0;
    const QStringList families = QFontDatabase::families(QFontDatabase::Latin);
    for (const QString &family : families) {
        if (QFontDatabase::isFixedPitch(family) || !QFontDatabase::isSmoothlyScalable(family) ||
            QFontDatabase::isPrivateFamily(family))
            continue;
        QFont font(family);
        font.setPixelSize(100);
        const QFontMetricsF metrics(font);
        const double width =
            metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0 /
            100.0;
        const double height = (metrics.ascent() + metrics.descent()) / 100.0;
        const double score = std::abs(width - TahomaLetterWidth) / TahomaLetterWidth +
                             std::abs(height - TahomaLineHeight) / TahomaLineHeight;
        if (best.isEmpty() || score < bestScore) {
            best = family;
            bestScore = score;
        }
    }
    return best;
}

QFont WindowFont()
{
    static const QString family = [] {
        const QString tahoma = QStringLiteral("Tahoma");
        if (HasFamily(tahoma))
            return tahoma;
        for (const char *file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
            if (QFile::exists(QLatin1String(file)))
                QFontDatabase::addApplicationFont(QLatin1String(file));
        }
        if (HasFamily(tahoma))
            return tahoma;
        const QString closest = ClosestToTahoma();
        return closest.isEmpty() ? tahoma : closest;
    }();
    QFont font(family);
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QVBoxLayout *FixedWindowLayout(QWidget *window, const QSize &size)
{
    window->setFont(WindowFont());
    window->setFixedSize(size);
    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

void SetTextColor(QWidget *control, const QColor &color)
{
    QPalette pal = control->palette();
    pal.setColor(QPalette::WindowText, color);
    control->setPalette(pal);
}

// ---------------------------------------------------------------------------
// TDateBox and TTimeBox

namespace {

// Tab and Shift+Tab go to the next or previous control instead of the next
// or previous part of a date or time box. True when the event was used.
bool TabLeaves(QEvent *event, const std::function<bool(bool)> &focusNextPrev)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    if (key->key() == Qt::Key_Backtab || (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier)))
        return focusNextPrev(false);
    if (key->key() == Qt::Key_Tab)
        return focusNextPrev(true);
    return false;
}

} // namespace

TDateBox::TDateBox(QWidget *parent) : QDateEdit(parent)
{
    setCalendarPopup(true);
    // At its minimum the box shows nothing: the empty box.
    setSpecialValueText(QStringLiteral(" "));
    QTextCharFormat weekend = calendarWidget()->weekdayTextFormat(Qt::Saturday);
    weekend.setForeground(QColor(0, 128, 0));
    calendarWidget()->setWeekdayTextFormat(Qt::Saturday, weekend);
    calendarWidget()->setWeekdayTextFormat(Qt::Sunday, weekend);
}

void TDateBox::showCalendar()
{
    // The calendar opens where a click on the arrow opens it.
    QStyleOptionComboBox option;
    option.initFrom(this);
    option.editable = true;
    option.subControls = QStyle::SC_All;
    const QPointF at = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    mousePressEvent(&press);
}

QDate TDateBox::pageDate() const
{
    const QDate near = emptyPageDate ? emptyPageDate() : QDate();
    return near.isValid() && near > minimumDate() ? near : zel::ToQDate(zel::Now());
}

bool TDateBox::event(QEvent *event)
{
    if (TabLeaves(event, [this](bool next) { return QWidget::focusNextPrevChild(next); }))
        return true;
    return QDateEdit::event(event);
}

void TDateBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F4 || (event->key() == Qt::Key_Down && (event->modifiers() & Qt::AltModifier))) {
        showCalendar();
        return;
    }
    QDateEdit::keyPressEvent(event);
}

void TDateBox::mousePressEvent(QMouseEvent *event)
{
    const bool empty = isEmpty();
    QDateEdit::mousePressEvent(event);
    QCalendarWidget *calendar = calendarWidget();
    if (!calendar->isVisible())
        return;
    if (empty) {
        // An empty box opens its calendar near the date that matters instead
        // of at the minimum; nothing is chosen until the user chooses.
        const QSignalBlocker quiet(calendar);
        calendar->setSelectedDate(pageDate());
    }
    // The open calendar takes the keys: arrows move the day, Enter chooses,
    // Escape closes it.
    calendar->setFocus(Qt::PopupFocusReason);
}

void TDateBox::stepBy(int steps)
{
    if (isEmpty()) {
        setDate(pageDate());
        return;
    }
    QDateEdit::stepBy(steps);
}

TTimeBox::TTimeBox(QWidget *parent) : QTimeEdit(parent)
{
}

bool TTimeBox::event(QEvent *event)
{
    if (TabLeaves(event, [this](bool next) { return QWidget::focusNextPrevChild(next); }))
        return true;
    return QTimeEdit::event(event);
}

// ---------------------------------------------------------------------------
// TTrayMenu

TTrayMenu::TTrayMenu(QWidget *parent) : QMenu(parent)
{
}

void TTrayMenu::setMarginWidth(int width)
{
    if (width == m_margin)
        return;
    m_margin = width;
    setContentsMargins(width, 0, 0, 0);
    // The menu keeps its items' places from the last layout; a new margin
    // must lay them out again, so that the size taken by the opening that
    // follows includes it.
    QEvent relayout(QEvent::StyleChange);
    QMenu::changeEvent(&relayout);
    adjustSize();
}

void TTrayMenu::paintEvent(QPaintEvent *event)
{
    QMenu::paintEvent(event);
    if (m_margin <= 0 || !onDrawMargin)
        return;
    QPainter p(this);
    onDrawMargin(p, QRect(0, 0, m_margin, height()));
}
