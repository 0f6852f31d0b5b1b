#pragma once

#include "store/TableModel.h"

#include <QDateEdit>
#include <QGroupBox>
#include <QMenu>
#include <QPointer>
#include <QTableView>
#include <QTimeEdit>
#include <QWidget>

#include <functional>

class QButtonGroup;
class QRadioButton;
class QToolButton;
class QVBoxLayout;

// The small controls the main window is built of.

// The font the windows are laid out for: Tahoma 8 pt. Where no Tahoma is
// installed, the metric-compatible one that Debian ships with its Windows
// fonts (outside the font folders) is registered; where neither exists, the
// installed family closest to Tahoma's metrics stands in.
QFont WindowFont();
// Lays a window out at its designed client size with the window font: a
// fixed size and a column of parts without margins, which it returns.
QVBoxLayout *FixedWindowLayout(QWidget *window, const QSize &size);
// Sets the colour of a control's text.
void SetTextColor(QWidget *control, const QColor &color);
// The installed family whose letters are closest to Tahoma's in width and
// line height.
QString ClosestToTahoma();

// An up-down control: a position between a minimum and a maximum changed by
// its two arrow buttons, the arrow keys and the mouse wheel. Its value is
// shown in a separate read-only box.
class TUpDown : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int Position READ position WRITE setPosition NOTIFY changed)

public:
    TUpDown(int minimum, int maximum, int position, QWidget *parent = nullptr);
    int position() const { return m_position; }
    void setPosition(int position);
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }

Q_SIGNALS:
    void changed(int position);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    int m_min;
    int m_max;
    int m_position;
};

// A group box of radio buttons, one of which is selected (ItemIndex).
class TRadioGroup : public QGroupBox
{
    Q_OBJECT
    Q_PROPERTY(int ItemIndex READ itemIndex WRITE setItemIndex NOTIFY changed)
    Q_PROPERTY(QStringList Items READ items WRITE setItems)

public:
    explicit TRadioGroup(const QString &caption, QWidget *parent = nullptr);
    void setItems(const QStringList &items);
    QStringList items() const;
    int itemIndex() const;
    void setItemIndex(int index);
    QRadioButton *button(int index) const;

Q_SIGNALS:
    void changed(int index);

private:
    QButtonGroup *m_group;
    QList<QRadioButton *> m_buttons;
};

// The title of a grid column: its caption (the field's display label until
// set).
class TColumnTitle : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)

public:
    explicit TColumnTitle(std::function<void()> changed, QObject *parent)
        : QObject(parent), m_changed(std::move(changed))
    {
    }
    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);

private:
    QString m_caption;
    std::function<void()> m_changed;
};

// One column of a grid, as the translator and the inspector see it.
class TGridColumn : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QObject *Title READ title)

public:
    TGridColumn(const QString &caption, std::function<void()> changed, QObject *parent);
    TColumnTitle *title() const { return m_title; }

private:
    TColumnTitle *m_title;
};

// A read-only grid on a data source: whole-row selection kept in step with
// the table's cursor both ways, the given columns with their widths and
// alignments, bold titles; a title click reports its field.
class TDataGrid : public QTableView
{
    Q_OBJECT
    // The columns (TGridColumn), by position.
    Q_PROPERTY(QObjectList Columns READ columnObjects)

public:
    struct Column
    {
        QString field;
        int width = -1; // -1: the default width
        Qt::Alignment alignment = Qt::AlignLeft;
        Qt::Alignment titleAlignment = Qt::AlignHCenter;
    };

    TDataGrid(store::DataSource *source, const QList<Column> &columns, const QColor &background,
              QWidget *parent = nullptr);
    store::TableModel *tableModel() const { return m_model; }
    // The field of a column.
    QString columnField(int column) const;
    QObjectList columnObjects() const;
    // The caption of a column's title.
    QString columnTitle(int column) const;

Q_SIGNALS:
    void titleClicked(const QString &field);

private:
    void selectCurrentRow();

    QPointer<store::DataSource> m_source;
    store::TableModel *m_model;
    QList<Column> m_columns;
    QList<TGridColumn *> m_columnObjects;
    bool m_syncing = false;
};

// A date box with a drop-down calendar. Saturday and Sunday are green in the
// calendar. The box can be empty (it then shows nothing): its calendar opens
// on the month of emptyPageDate (today when unset) and the arrows start from
// that date. Tab leaves the box (typing a separator or Ctrl+arrows move
// between its parts); F4 or Alt+Down opens the calendar.
class TDateBox : public QDateEdit
{
    Q_OBJECT

public:
    explicit TDateBox(QWidget *parent = nullptr);
    bool isEmpty() const { return date() == minimumDate(); }
    void setEmpty() { setDate(minimumDate()); }
    // Opens the drop-down calendar, as a click on the box's arrow does.
    void showCalendar();
    std::function<QDate()> emptyPageDate;

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void stepBy(int steps) override;

private:
    QDate pageDate() const;
};

// A time picker: Tab leaves it, as it leaves the date box.
class TTimeBox : public QTimeEdit
{
    Q_OBJECT

public:
    explicit TTimeBox(QWidget *parent = nullptr);

protected:
    bool event(QEvent *event) override;
};

// The tray menu: a menu that can keep a strip on its left, painted by the
// owner's margin routine.
class TTrayMenu : public QMenu
{
    Q_OBJECT

public:
    explicit TTrayMenu(QWidget *parent = nullptr);
    void setMarginWidth(int width);
    int marginWidth() const { return m_margin; }
    std::function<void(QPainter &, const QRect &)> onDrawMargin;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_margin = 0;
};
