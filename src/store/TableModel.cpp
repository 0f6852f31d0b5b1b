#include "store/TableModel.h"

namespace store {

TableModel::TableModel(DataSource *source, QObject *parent) : QAbstractTableModel(parent), m_source(source)
{
    connect(source, &DataSource::rowsChanged, this, &TableModel::reset);
    connect(source, &DataSource::scrolled, this, [this] {
        const Table *t = m_source ? m_source->dataSet() : nullptr;
        Q_EMIT currentRowChanged(t && !t->isEmpty() ? t->recNo() : -1);
    });
    connect(source, &DataSource::recordChanged, this, [this](Field *) {
        const Table *t = m_source ? m_source->dataSet() : nullptr;
        // Edits live in the table's buffer until they are posted; the posted
        // row arrives with rowsChanged.
        if (t && t->state() == DataSetState::Browse && t->recNo() >= 0 && t->recNo() < m_rows)
            Q_EMIT dataChanged(index(t->recNo(), 0), index(t->recNo(), int(m_columns.size()) - 1));
    });
    reset();
}

void TableModel::setColumns(const QStringList &fieldNames)
{
    m_fieldNames = fieldNames;
    reset();
}

void TableModel::setTitleAlignments(std::function<Qt::Alignment(int)> alignment)
{
    m_titleAlignment = std::move(alignment);
}

void TableModel::setTitleCaptions(std::function<QString(int)> caption)
{
    m_titleCaption = std::move(caption);
    titlesChanged();
}

void TableModel::titlesChanged()
{
    if (!m_columns.isEmpty())
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, int(m_columns.size()) - 1);
}

void TableModel::reset()
{
    beginResetModel();
    m_columns.clear();
    m_rows = 0;
    if (const Table *t = m_source ? m_source->dataSet() : nullptr) {
        if (m_fieldNames.isEmpty()) {
            for (int i = 0; i < t->fieldCount(); ++i) {
                if (t->field(i).visible)
                    m_columns.append(i);
            }
        } else {
            for (const QString &name : std::as_const(m_fieldNames)) {
                if (const Field *f = t->findField(name))
                    m_columns.append(f->index());
            }
        }
        m_rows = t->active() ? t->recordCount() : 0;
    }
    endResetModel();
}

int TableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

Field *TableModel::columnField(int column) const
{
    const Table *t = m_source ? m_source->dataSet() : nullptr;
    if (!t || column < 0 || column >= m_columns.size() || m_columns[column] >= t->fieldCount())
        return nullptr;
    return &t->field(m_columns[column]);
}

QVariant TableModel::data(const QModelIndex &index, int role) const
{
    const Table *t = m_source ? m_source->dataSet() : nullptr;
    Field *f = columnField(index.column());
    if (!t || !f || !index.isValid() || index.row() >= m_rows || index.row() >= t->recordCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return t->withRow(index.row(), [f] { return f->displayText(); });
    case Qt::EditRole:
        return t->withRow(index.row(), [f] { return f->value(); });
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(f->alignment | Qt::AlignVCenter));
    default:
        return {};
    }
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        Field *f = columnField(section);
        if (!f)
            return {};
        if (role == Qt::DisplayRole) {
            const QString caption = m_titleCaption ? m_titleCaption(section) : QString();
            return caption.isNull() ? f->displayLabel : caption;
        }
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(
                Qt::Alignment((m_titleAlignment ? m_titleAlignment(section) : f->alignment) | Qt::AlignVCenter));
        return {};
    }
    if (role == Qt::DisplayRole)
        return section + 1;
    return {};
}

} // namespace store
