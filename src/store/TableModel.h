#pragma once

#include "store/TableEngine.h"

#include <QAbstractTableModel>
#include <QPointer>

namespace store {

// An item model over a data source for the grids: one row per table row, one
// column per visible field, the fields' display texts, labels and alignments.
// It resets when the rows change, updates the current row when a record
// changes, and reports the table's cursor moves.
class TableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TableModel(DataSource *source, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Field shown in a column, or null.
    Field *columnField(int column) const;
    // Shows these fields as the columns, in this order (empty: every visible
    // field of the table).
    void setColumns(const QStringList &fieldNames);
    // The alignment of a column's title (default: the field's alignment).
    void setTitleAlignments(std::function<Qt::Alignment(int column)> alignment);
    // The caption of a column's title (default, or when it gives a null text:
    // the field's display label); titlesChanged repaints the titles.
    void setTitleCaptions(std::function<QString(int column)> caption);
    void titlesChanged();

Q_SIGNALS:
    // The table's cursor moved to this row (-1 when the table is empty).
    void currentRowChanged(int row);

private:
    void reset();

    QPointer<DataSource> m_source;
    QStringList m_fieldNames;
    std::function<Qt::Alignment(int)> m_titleAlignment;
    std::function<QString(int)> m_titleCaption;
    QList<int> m_columns;
    int m_rows = 0;
};

} // namespace store
