#include "store/TableEngine.h"

#include "store/DataPacket.h"
#include "store/FilterExpression.h"
#include "store/RowOrder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

namespace store {

namespace {

constexpr int MaxFields = 64;

// Changes an order of the rows takes one by one between two reads; beyond
// them (an import, a trash emptied) it is dropped and made again, whole, at
// the next read.
constexpr int MaxUnreadChanges = 64;

QString notEditing()
{
    return QStringLiteral("Dataset not in edit or insert mode");
}

} // namespace

QString FieldTypeName(FieldType type)
{
    switch (type) {
    case FieldType::Integer:
        return QStringLiteral("integer");
    case FieldType::DateTime:
        return QStringLiteral("datetime");
    case FieldType::String:
        return QStringLiteral("string");
    case FieldType::Memo:
        return QStringLiteral("memo");
    case FieldType::Boolean:
        return QStringLiteral("boolean");
    }
    return {};
}

bool IsValidDateTime(double value)
{
    // As kept, to the millisecond (a value a hair below the limit would be
    // written as the limit); also false for NaN.
    const double kept = zel::RoundToMs(value);
    return kept > MinDateTime && kept < MaxDateTime;
}

QString CutText(const QString &text, int size)
{
    if (size <= 0)
        return {};
    if (text.size() <= size)
        return text;
    qsizetype length = size;
    if (text.at(length - 1).isHighSurrogate() && text.at(length).isLowSurrogate())
        --length;
    return text.left(length);
}

// ---------------------------------------------------------------------------
// Field

Field::Field(Table *table, int index, FieldDef def, int slot)
    : displayLabel(def.name), m_table(table), m_index(index), m_def(std::move(def)), m_slot(slot)
{
    if (m_def.type == FieldType::Integer)
        alignment = Qt::AlignRight;
}

bool Field::isNull() const
{
    const RowData *row = m_table->readRow();
    return !row || (row->nullMask & (quint64(1) << m_index));
}

QVariant Field::value() const
{
    if (isNull())
        return {};
    const RowData *row = m_table->readRow();
    switch (m_def.type) {
    case FieldType::Integer:
        return int(row->numbers[m_slot]);
    case FieldType::DateTime:
        return row->numbers[m_slot];
    case FieldType::Boolean:
        return row->numbers[m_slot] != 0;
    case FieldType::String:
    case FieldType::Memo:
        return row->strings[m_slot];
    }
    return {};
}

double Field::asFloat() const
{
    if (isNull())
        return 0;
    const RowData *row = m_table->readRow();
    if (isStringType()) {
        bool ok = false;
        const double v = row->strings[m_slot].trimmed().toDouble(&ok);
        if (!ok)
            throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(row->strings[m_slot]));
        return v;
    }
    return row->numbers[m_slot];
}

int Field::asInteger() const
{
    if (isNull())
        return 0;
    const RowData *row = m_table->readRow();
    if (isStringType()) {
        bool ok = false;
        const int v = row->strings[m_slot].trimmed().toInt(&ok);
        if (!ok)
            throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(row->strings[m_slot]));
        return v;
    }
    const double v = row->numbers[m_slot];
    if (!(v >= double(std::numeric_limits<int>::min()) && v <= double(std::numeric_limits<int>::max())))
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(v));
    return int(std::trunc(v));
}

TDateTime Field::asDateTime() const
{
    if (isNull())
        return 0;
    const RowData *row = m_table->readRow();
    if (isStringType())
        return zel::StrToDateTime(row->strings[m_slot]);
    return row->numbers[m_slot];
}

QString Field::asString() const
{
    return defaultText();
}

bool Field::asBoolean() const
{
    if (isNull())
        return false;
    const RowData *row = m_table->readRow();
    if (isStringType()) {
        const QString s = row->strings[m_slot].trimmed();
        if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
        throw EConvertError(QStringLiteral("'%1' is not a valid boolean value").arg(s));
    }
    return row->numbers[m_slot] != 0;
}

QString Field::defaultText() const
{
    if (isNull())
        return {};
    const RowData *row = m_table->readRow();
    switch (m_def.type) {
    case FieldType::Integer:
        return QString::number(qint64(row->numbers[m_slot]));
    case FieldType::DateTime:
        return zel::DateTimeToStr(row->numbers[m_slot]);
    case FieldType::Boolean:
        return row->numbers[m_slot] != 0 ? trueText : falseText;
    case FieldType::String:
    case FieldType::Memo:
        return row->strings[m_slot];
    }
    return {};
}

QString Field::displayText() const
{
    return onGetText ? onGetText(*this, true) : defaultText();
}

QString Field::text() const
{
    return onGetText ? onGetText(*this, false) : defaultText();
}

void Field::checkWritable() const
{
    if ((m_def.calculated || readOnly) && !m_table->calculating())
        throw EDatabaseError(QStringLiteral("Field '%1' cannot be modified").arg(m_def.name));
}

void Field::setNumber(double value)
{
    checkWritable();
    if (m_def.type == FieldType::DateTime && !IsValidDateTime(value))
        throw EDatabaseError(QStringLiteral("The date and time %1 of field '%2' is out of range (years 1 to 9999)")
                                 .arg(QString::number(value, 'g', 17), m_def.name));
    RowData *row = m_table->writeRow();
    if (m_def.type == FieldType::Boolean)
        value = value != 0 ? 1 : 0;
    row->numbers[m_slot] = value;
    row->nullMask &= ~(quint64(1) << m_index);
    m_table->fieldChanged(this);
}

void Field::setAsInteger(int value)
{
    if (isStringType()) {
        setAsString(QString::number(value));
        return;
    }
    setNumber(double(value));
}

void Field::setAsDateTime(TDateTime value)
{
    if (isStringType()) {
        setAsString(zel::DateTimeToStr(value));
        return;
    }
    if (m_def.type == FieldType::Integer) {
        const double whole = std::trunc(value);
        if (!(whole >= double(std::numeric_limits<int>::min()) && whole <= double(std::numeric_limits<int>::max())))
            throw EDatabaseError(QStringLiteral("'%1' is not a valid integer value for field '%2'")
                                     .arg(QString::number(value, 'g', 17), m_def.name));
        setAsInteger(int(whole));
        return;
    }
    if (!std::isfinite(value))
        throw EDatabaseError(QStringLiteral("The date and time %1 of field '%2' is out of range (years 1 to 9999)")
                                 .arg(QString::number(value, 'g', 17), m_def.name));
    setNumber(zel::RoundToMs(value));
}

void Field::setAsBoolean(bool value)
{
    if (isStringType()) {
        setAsString(value ? trueText : falseText);
        return;
    }
    setNumber(value ? 1 : 0);
}

void Field::setAsString(const QString &value)
{
    switch (m_def.type) {
    case FieldType::String:
    case FieldType::Memo: {
        checkWritable();
        RowData *row = m_table->writeRow();
        row->strings[m_slot] = m_def.size > 0 ? CutText(value, m_def.size) : value;
        row->nullMask &= ~(quint64(1) << m_index);
        m_table->fieldChanged(this);
        return;
    }
    case FieldType::Integer: {
        if (value.trimmed().isEmpty()) {
            clear();
            return;
        }
        bool ok = false;
        const int v = value.trimmed().toInt(&ok);
        if (!ok)
            throw EDatabaseError(
                QStringLiteral("'%1' is not a valid integer value for field '%2'").arg(value, m_def.name));
        setNumber(double(v));
        return;
    }
    case FieldType::DateTime: {
        if (value.trimmed().isEmpty()) {
            clear();
            return;
        }
        TDateTime dt = 0;
        if (!zel::TryStrToDateTime(value, dt))
            throw EDatabaseError(
                QStringLiteral("'%1' is not a valid date and time for field '%2'").arg(value, m_def.name));
        setNumber(dt);
        return;
    }
    case FieldType::Boolean: {
        const QString s = value.trimmed();
        if (s.isEmpty()) {
            clear();
            return;
        }
        if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || s == QLatin1String("1") || s == trueText) {
            setNumber(1);
        } else if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || s == QLatin1String("0") ||
                   s == falseText) {
            setNumber(0);
        } else {
            throw EDatabaseError(
                QStringLiteral("'%1' is not a valid boolean value for field '%2'").arg(value, m_def.name));
        }
        return;
    }
    }
}

void Field::setValue(const QVariant &value)
{
    if (value.isNull() || !value.isValid()) {
        clear();
        return;
    }
    const int typeId = value.typeId();
    if (typeId == QMetaType::QString) {
        setAsString(value.toString());
        return;
    }
    switch (m_def.type) {
    case FieldType::String:
    case FieldType::Memo:
        if (typeId == QMetaType::QDateTime)
            setAsString(zel::DateTimeToStr(zel::ToDateTime(value.toDateTime())));
        else
            setAsString(value.toString());
        return;
    case FieldType::DateTime:
        if (typeId == QMetaType::QDateTime)
            setAsDateTime(zel::ToDateTime(value.toDateTime()));
        else if (typeId == QMetaType::QDate)
            setAsDateTime(zel::ToDateTime(value.toDate()));
        else
            setAsDateTime(value.toDouble());
        return;
    case FieldType::Boolean:
        setAsBoolean(value.toBool());
        return;
    case FieldType::Integer: {
        bool ok = false;
        const qlonglong v = value.toLongLong(&ok);
        if (!ok || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
            throw EDatabaseError(
                QStringLiteral("'%1' is not a valid integer value for field '%2'").arg(value.toString(), m_def.name));
        setAsInteger(int(v));
        return;
    }
    }
}

void Field::clear()
{
    checkWritable();
    RowData *row = m_table->writeRow();
    row->nullMask |= (quint64(1) << m_index);
    if (isStringType())
        row->strings[m_slot].clear();
    else
        row->numbers[m_slot] = 0;
    m_table->fieldChanged(this);
}

// ---------------------------------------------------------------------------
// Table

Table::Table(const QString &name, QObject *parent) : QObject(parent)
{
    setObjectName(name);
}

Table::~Table() = default;

template <typename F>
void Table::forEachSource(F &&function)
{
    // By index: a handler may attach or detach data sources meanwhile.
    for (qsizetype i = 0; i < m_sources.size(); ++i) {
        if (DataSource *source = m_sources[i].data())
            function(*source);
    }
}

void Table::setFieldDefs(const QList<FieldDef> &defs)
{
    if (active())
        throw EDatabaseError(QStringLiteral("%1: Cannot perform this operation on an open dataset").arg(objectName()));
    if (defs.size() > MaxFields)
        throw EDatabaseError(QStringLiteral("%1: too many fields (%2)").arg(objectName()).arg(defs.size()));
    for (qsizetype i = 0; i < defs.size(); ++i) {
        if (defs[i].name.isEmpty())
            throw EDatabaseError(QStringLiteral("%1: a field has no name").arg(objectName()));
        for (qsizetype j = 0; j < i; ++j) {
            if (defs[j].name.compare(defs[i].name, Qt::CaseInsensitive) == 0)
                throw EDatabaseError(QStringLiteral("%1: Duplicate field name '%2'").arg(objectName(), defs[i].name));
        }
    }
    m_defs = defs;
    dropOrders();
    buildFields();
    if (!m_indexFieldName.isEmpty()) {
        const Field *f = findField(m_indexFieldName);
        m_indexField = f ? f->index() : -1;
    }
    updateIndexField();
}

void Table::updateIndexField()
{
    const Field *key = m_indexField >= 0 ? m_fields[size_t(m_indexField)].get() : nullptr;
    m_indexSlot = key ? key->slot() : -1;
    m_indexIsString = key && key->isStringType();
}

int Table::compareRows(const RowData &a, const RowData &b) const
{
    if (m_indexField < 0)
        return 0;
    const quint64 bit = quint64(1) << m_indexField;
    const bool aNull = a.nullMask & bit;
    const bool bNull = b.nullMask & bit;
    if (m_indexIsString) {
        if (aNull || bNull)
            return int(bNull) - int(aNull);
        return a.strings[m_indexSlot].compare(b.strings[m_indexSlot], Qt::CaseInsensitive);
    }
    const double x = numberKey(a);
    const double y = numberKey(b);
    return x < y ? -1 : (y < x ? 1 : 0);
}

double Table::numberKey(const RowData &row) const
{
    // Fields never hold an infinite number, so a null key sorts first.
    return (row.nullMask & (quint64(1) << m_indexField)) ? -std::numeric_limits<double>::infinity()
                                                         : row.numbers[m_indexSlot];
}

void Table::buildFields()
{
    m_fields.clear();
    m_layout = RowLayout::of(m_defs);
    for (int i = 0; i < int(m_defs.size()); ++i)
        m_fields.push_back(std::make_unique<Field>(this, i, m_defs[i], m_layout.slots[size_t(i)]));
}

Field &Table::field(int index) const
{
    if (index < 0 || index >= fieldCount())
        throw EDatabaseError(QStringLiteral("%1: Field index out of range").arg(objectName()));
    return *m_fields[size_t(index)];
}

Field *Table::findField(const QString &name) const
{
    for (const auto &f : m_fields) {
        if (f->fieldName() == name)
            return f.get();
    }
    for (const auto &f : m_fields) {
        if (f->fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    }
    return nullptr;
}

Field &Table::fieldByName(const QString &name) const
{
    if (Field *f = findField(name))
        return *f;
    throw EDatabaseError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), name));
}

RowLayout RowLayout::of(const QList<FieldDef> &defs)
{
    RowLayout layout;
    layout.fields = int(defs.size());
    for (const FieldDef &f : defs) {
        const bool isString = f.type == FieldType::String || f.type == FieldType::Memo;
        layout.slots.push_back(isString ? layout.strings++ : layout.numbers++);
    }
    return layout;
}

RowData RowLayout::emptyRow() const
{
    RowData row;
    row.nullMask = fields >= 64 ? ~quint64(0) : ((quint64(1) << fields) - 1);
    row.numbers.resize(numbers);
    std::fill(row.numbers.begin(), row.numbers.end(), 0.0);
    row.strings.resize(strings);
    return row;
}

void Table::checkActive() const
{
    if (!active())
        throw EDatabaseError(QStringLiteral("%1: Cannot perform this operation on a closed dataset").arg(objectName()));
}

void Table::checkWritable() const
{
    checkActive();
    if (m_readOnly || m_provider)
        throw EDatabaseError(QStringLiteral("%1: Cannot modify a read-only dataset").arg(objectName()));
}

void Table::checkBrowseMode()
{
    checkActive();
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        post();
}

void Table::createDataSet()
{
    if (m_defs.isEmpty())
        throw EDatabaseError(QStringLiteral("%1: Missing data provider or data packet").arg(objectName()));
    if (active())
        close();
    m_rows.clear();
    dropOrders();
    m_readOnly = false;
    setState(DataSetState::Browse);
    setCursor(-1);
    notifyDataSetChange();
}

void Table::open()
{
    if (active())
        return;
    if (m_provider) {
        if (m_defs.isEmpty())
            setFieldDefs(viewDefs(m_provider->fieldDefs()));
        m_state = DataSetState::Browse;
        refresh();
        notifyState();
        return;
    }
    if (m_defs.isEmpty())
        throw EDatabaseError(QStringLiteral("%1: Missing data provider or data packet").arg(objectName()));
    setState(DataSetState::Browse);
    setCursor(m_rows.empty() ? -1 : 0);
    notifyDataSetChange();
}

void Table::close()
{
    if (!active())
        return;
    m_buffer.reset();
    m_editIndex = -1;
    m_rows.clear();
    dropOrders();
    m_cursor = -1;
    m_bof = m_eof = true;
    setState(DataSetState::Inactive);
    notifyDataSetChange();
}

void Table::emptyDataSet()
{
    checkActive();
    if (m_state != DataSetState::Browse)
        cancel();
    m_rows.clear();
    dropOrders();
    setCursor(-1);
    notifyDataSetChange();
}

QList<FieldDef> Table::viewDefs(const QList<FieldDef> &masterDefs)
{
    QList<FieldDef> defs = masterDefs;
    for (FieldDef &d : defs)
        d.calculated = false;
    return defs;
}

void Table::setProvider(Table *master)
{
    m_provider = master;
}

void Table::setFilter(const QString &filter)
{
    if (filter == m_filterText && (m_filter || filter.isEmpty()))
        return;
    if (filter.trimmed().isEmpty()) {
        m_filter.reset();
    } else {
        if (m_defs.isEmpty() && m_provider)
            setFieldDefs(viewDefs(m_provider->fieldDefs()));
        m_filter = std::make_shared<const FilterExpression>(filter, *this);
    }
    m_filterText = filter;
}

void Table::setIndexFieldName(const QString &name)
{
    m_indexFieldName = name;
    const Field *f = name.isEmpty() ? nullptr : findField(name);
    if (!name.isEmpty() && !f && !m_defs.isEmpty())
        throw EDatabaseError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), name));
    m_indexField = f ? f->index() : -1;
    updateIndexField();
    if (active() && m_indexField >= 0 && m_state == DataSetState::Browse) {
        // Re-order the current rows at once, keeping the current record.
        const RowData *current = m_cursor >= 0 ? m_rows[size_t(m_cursor)].get() : nullptr;
        std::stable_sort(m_rows.begin(), m_rows.end(),
                         [this](const Row &a, const Row &b) { return compareRows(*a, *b) < 0; });
        int index = -1;
        for (size_t i = 0; i < m_rows.size(); ++i) {
            if (m_rows[i].get() == current)
                index = int(i);
        }
        setCursor(index >= 0 ? index : (m_rows.empty() ? -1 : 0));
        notifyDataSetChange();
    }
}

void Table::refresh()
{
    if (!m_provider)
        throw EDatabaseError(QStringLiteral("%1: Missing data provider").arg(objectName()));
    m_provider->checkActive();
    if (m_defs.isEmpty())
        setFieldDefs(viewDefs(m_provider->fieldDefs()));
    const QList<FieldDef> &masterDefs = m_provider->fieldDefs();
    bool sameLayout = masterDefs.size() == m_defs.size();
    for (qsizetype i = 0; sameLayout && i < m_defs.size(); ++i)
        sameLayout = masterDefs[i].name == m_defs[i].name && masterDefs[i].type == m_defs[i].type;
    if (!sameLayout)
        throw EDatabaseError(QStringLiteral("%1: the fields differ from the provider's").arg(objectName()));
    if (m_state == DataSetState::Inactive)
        m_state = DataSetState::Browse;
    m_buffer.reset();
    m_editIndex = -1;
    if (m_state != DataSetState::Browse)
        setState(DataSetState::Browse);

    // This view's rows are replaced whole: orders of them (for views of this
    // view) are made again when read.
    dropOrders();
    const FilterExpression *filter = m_filter.get();
    const bool numberIndex = m_indexField >= 0 && !m_indexIsString;
    KeyRange range;
    if (filter && numberIndex && m_orderedReads && filter->keyRange(m_indexField, range) &&
        readFromOrder(*filter, range)) {
        setCursor(m_rows.empty() ? -1 : 0);
        m_bof = true;
        notifyDataSetChange();
        return;
    }

    const std::vector<Row> &source = m_provider->m_rows;
    // The rows are sorted as pointers into the master's list (cheaper to move
    // than shared rows), then taken in that order. A number key is read once
    // per row, beside its pointer, and the rows sorted by it: the order of
    // compareRows, without reaching into every row at every comparison.
    struct Keyed
    {
        double key;
        const Row *row;
    };
    std::vector<Keyed> kept;
    kept.reserve(source.size());
    for (const Row &row : source) {
        if (!filter || filter->matches(*row))
            kept.push_back({numberIndex ? numberKey(*row) : 0.0, &row});
    }
    if (numberIndex)
        std::stable_sort(kept.begin(), kept.end(), [](const Keyed &a, const Keyed &b) { return a.key < b.key; });
    else if (m_indexField >= 0)
        std::stable_sort(kept.begin(), kept.end(),
                         [this](const Keyed &a, const Keyed &b) { return compareRows(**a.row, **b.row) < 0; });
    std::vector<Row> result;
    result.reserve(kept.size());
    for (const Keyed &k : kept)
        result.push_back(*k.row);
    m_rows = std::move(result);
    m_lastRefreshVisited = int(source.size());
    setCursor(m_rows.empty() ? -1 : 0);
    m_bof = true; // freshly read: at the beginning of the data
    notifyDataSetChange();
}

bool Table::readFromOrder(const FilterExpression &filter, const KeyRange &range)
{
    Table &master = *m_provider;
    RowOrder &order = master.rowOrder(range);
    const auto [first, last] = order.find(range);
    std::vector<Row> result;
    result.reserve(last - first);
    for (size_t i = first; i < last; ++i) {
        if (filter.matches(*order.row(i)))
            result.push_back(order.row(i));
    }
    // The order gives the rows by key; rows of equal keys are put in the
    // master's order, as the stable sort of the full scan leaves them.
    const int bit = m_indexField;
    const int slot = m_indexSlot;
    const auto key = [bit, slot](const Row &row) {
        return (row->nullMask & (quint64(1) << bit)) ? -std::numeric_limits<double>::infinity() : row->numbers[slot];
    };
    std::vector<std::pair<size_t, size_t>> runs;
    std::vector<const RowData *> tied;
    for (size_t start = 0; start < result.size();) {
        size_t end = start + 1;
        while (end < result.size() && key(result[end]) == key(result[start]))
            ++end;
        if (end - start > 1) {
            runs.emplace_back(start, end);
            for (size_t i = start; i < end; ++i)
                tied.push_back(result[i].get());
        }
        start = end;
    }
    if (!tied.empty()) {
        std::vector<size_t> positions;
        if (!master.positionsOf(tied, positions))
            return false;
        std::unordered_map<const RowData *, size_t> positionOf;
        positionOf.reserve(tied.size());
        for (size_t i = 0; i < tied.size(); ++i)
            positionOf.emplace(tied[i], positions[i]);
        for (const auto &[start, end] : runs) {
            std::sort(result.begin() + std::ptrdiff_t(start), result.begin() + std::ptrdiff_t(end),
                      [&](const Row &a, const Row &b) { return positionOf.at(a.get()) < positionOf.at(b.get()); });
        }
    }
    order.changesUnread = 0;
    m_rows = std::move(result);
    m_lastRefreshVisited = int(last - first);
    return true;
}

RowOrder &Table::rowOrder(const KeyRange &range)
{
    for (const auto &order : m_orders) {
        if (order->fields() == range.fields)
            return *order;
    }
    m_orders.push_back(std::make_unique<RowOrder>(range.fields, range.slots, m_rows));
    return *m_orders.back();
}

bool Table::positionsOf(const std::vector<const RowData *> &rows, std::vector<size_t> &positions) const
{
    constexpr size_t unknown = std::numeric_limits<size_t>::max();
    positions.assign(rows.size(), unknown);
    std::unordered_map<const RowData *, size_t> missing;
    for (size_t i = 0; i < rows.size(); ++i) {
        const RowData &wanted = *rows[i];
        if (m_indexField >= 0) {
            // Ordered by the index field: the run of rows of an equal key,
            // found by bisection, holds the row.
            auto it = std::lower_bound(m_rows.begin(), m_rows.end(), wanted,
                                       [this](const Row &r, const RowData &w) { return compareRows(*r, w) < 0; });
            for (; it != m_rows.end() && compareRows(**it, wanted) == 0; ++it) {
                if (it->get() == &wanted) {
                    positions[i] = size_t(it - m_rows.begin());
                    break;
                }
            }
        }
        if (positions[i] == unknown)
            missing.emplace(&wanted, i);
    }
    // Without an index field (or rows out of its order, as a file may hold
    // them): one pass over the rows.
    for (size_t p = 0; p < m_rows.size() && !missing.empty(); ++p) {
        const auto it = missing.find(m_rows[p].get());
        if (it != missing.end()) {
            positions[it->second] = p;
            missing.erase(it);
        }
    }
    return missing.empty();
}

void Table::rowAdded(const Row &row) noexcept
{
    m_changes.fetch_add(1, std::memory_order_release);
    try {
        for (auto it = m_orders.begin(); it != m_orders.end();) {
            (*it)->insert(row);
            if ((*it)->changesUnread > MaxUnreadChanges)
                it = m_orders.erase(it);
            else
                ++it;
        }
    } catch (...) {
        // Out of memory: an order made again later is as good.
        dropOrders();
    }
}

void Table::rowRemoved(const RowData &row) noexcept
{
    m_changes.fetch_add(1, std::memory_order_release);
    for (auto it = m_orders.begin(); it != m_orders.end();) {
        if (!(*it)->erase(row) || (*it)->changesUnread > MaxUnreadChanges)
            it = m_orders.erase(it);
        else
            ++it;
    }
}

void Table::dropOrders() noexcept
{
    m_changes.fetch_add(1, std::memory_order_release);
    m_orders.clear();
}

void Table::setCursor(int index)
{
    if (m_rows.empty()) {
        m_cursor = -1;
        m_bof = m_eof = true;
        return;
    }
    m_cursor = std::clamp(index, 0, int(m_rows.size()) - 1);
    m_bof = false;
    m_eof = false;
}

void Table::first()
{
    checkBrowseMode();
    setCursor(0);
    m_bof = true;
    m_eof = m_rows.empty();
    notifyScroll();
}

void Table::last()
{
    checkBrowseMode();
    setCursor(int(m_rows.size()) - 1);
    m_eof = true;
    m_bof = m_rows.empty();
    notifyScroll();
}

void Table::next()
{
    moveBy(1);
}

void Table::prior()
{
    moveBy(-1);
}

void Table::moveBy(int distance)
{
    checkBrowseMode();
    if (m_rows.empty()) {
        m_bof = m_eof = true;
        return;
    }
    const qint64 target = qint64(m_cursor) + distance;
    m_bof = m_eof = false;
    if (target >= qint64(m_rows.size())) {
        m_cursor = int(m_rows.size()) - 1;
        m_eof = true;
    } else if (target < 0) {
        m_cursor = 0;
        m_bof = true;
    } else {
        m_cursor = int(target);
    }
    if (distance != 0)
        notifyScroll();
}

void Table::setRecNo(int recNo)
{
    checkBrowseMode();
    setCursor(recNo);
    notifyScroll();
}

bool Table::locate(const QString &fieldName, const QVariant &value)
{
    checkBrowseMode();
    const Field &f = fieldByName(fieldName);
    if (m_rows.empty())
        return false;
    const quint64 bit = quint64(1) << f.index();
    int found = -1;
    if (value.isNull()) {
        for (size_t i = 0; i < m_rows.size() && found < 0; ++i) {
            if (m_rows[i]->nullMask & bit)
                found = int(i);
        }
    } else if (f.isStringType()) {
        const QString wanted = value.toString();
        for (size_t i = 0; i < m_rows.size() && found < 0; ++i) {
            if (!(m_rows[i]->nullMask & bit) && m_rows[i]->strings[f.slot()] == wanted)
                found = int(i);
        }
    } else {
        bool ok = false;
        const double wanted =
            value.typeId() == QMetaType::QDateTime ? zel::ToDateTime(value.toDateTime()) : value.toDouble(&ok);
        const int slot = f.slot();
        if (f.index() == m_indexField) {
            // Ordered by this field (null keys first): binary search for the
            // first equal key.
            auto it = std::lower_bound(m_rows.begin(), m_rows.end(), wanted, [&](const Row &r, double v) {
                return (r->nullMask & bit) || r->numbers[slot] < v;
            });
            if (it != m_rows.end() && !((*it)->nullMask & bit) && (*it)->numbers[slot] == wanted)
                found = int(it - m_rows.begin());
        } else {
            for (size_t i = 0; i < m_rows.size() && found < 0; ++i) {
                if (!(m_rows[i]->nullMask & bit) && m_rows[i]->numbers[slot] == wanted)
                    found = int(i);
            }
        }
    }
    if (found < 0)
        return false;
    setCursor(found);
    notifyScroll();
    return true;
}

const RowData *Table::readRow() const
{
    if (m_peek)
        return m_peek;
    if (m_buffer)
        return m_buffer.get();
    if (m_cursor >= 0 && m_cursor < int(m_rows.size()))
        return m_rows[size_t(m_cursor)].get();
    return nullptr;
}

RowData *Table::writeRow()
{
    if (!m_buffer)
        throw EDatabaseError(QStringLiteral("%1: %2").arg(objectName(), notEditing()));
    return m_buffer.get();
}

void Table::fieldChanged(Field *f)
{
    if (!m_calculating) {
        calculateFields();
        if (m_disableCount > 0) {
            m_pendingChange = true;
            return;
        }
        forEachSource([f](DataSource &s) {
            Q_EMIT s.recordChanged(f);
            if (s.onDataChange)
                s.onDataChange(&s, f);
            Q_EMIT s.dataChange(f);
        });
    }
}

void Table::calculateFields()
{
    if (!onCalcFields || !m_buffer || m_calculating)
        return;
    m_calculating = true;
    try {
        onCalcFields(*this);
    } catch (...) {
        m_calculating = false;
        throw;
    }
    m_calculating = false;
}

void Table::append()
{
    checkWritable();
    checkBrowseMode();
    if (beforeInsert)
        beforeInsert(*this);
    m_buffer = std::make_unique<RowData>(m_layout.emptyRow());
    m_editIndex = -1;
    calculateFields();
    setState(DataSetState::Insert);
    notifyDataSetChange();
    if (afterInsert)
        afterInsert(*this);
}

void Table::appendRecord(const QVariantList &values)
{
    append();
    int v = 0;
    for (const auto &f : m_fields) {
        if (f->calculated())
            continue;
        if (v >= values.size())
            break;
        f->setValue(values[v++]);
    }
    post();
}

void Table::edit()
{
    checkWritable();
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        return;
    if (m_rows.empty()) {
        append();
        return;
    }
    m_buffer = std::make_unique<RowData>(*m_rows[size_t(m_cursor)]);
    m_editIndex = m_cursor;
    setState(DataSetState::Edit);
}

void Table::checkRequiredFields() const
{
    for (const auto &f : m_fields) {
        if (f->required() && !f->calculated() && (m_buffer->nullMask & (quint64(1) << f->index())))
            throw EDatabaseError(QStringLiteral("Field '%1' must have a value").arg(f->fieldName()));
    }
}

int Table::insertPosition(const RowData &row) const
{
    if (m_indexField < 0)
        return int(m_rows.size());
    // After every row of an equal key, as a sort of the rows would put it.
    auto it = std::upper_bound(m_rows.begin(), m_rows.end(), row,
                               [this](const RowData &r, const Row &other) { return compareRows(r, *other) < 0; });
    return int(it - m_rows.begin());
}

void Table::post()
{
    checkActive();
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        return;
    notifyUpdateData();
    if (beforePost)
        beforePost(*this);
    checkRequiredFields();
    calculateFields();

    Row row = std::make_shared<const RowData>(std::move(*m_buffer));
    if (m_state == DataSetState::Insert) {
        const int pos = insertPosition(*row);
        m_rows.insert(m_rows.begin() + pos, row);
        m_cursor = pos;
    } else {
        const Row old = m_rows[size_t(m_editIndex)];
        const bool keyChanged = compareRows(*row, *old) != 0;
        if (keyChanged) {
            m_rows.erase(m_rows.begin() + m_editIndex);
            const int pos = insertPosition(*row);
            m_rows.insert(m_rows.begin() + pos, row);
            m_cursor = pos;
        } else {
            m_rows[size_t(m_editIndex)] = row;
            m_cursor = m_editIndex;
        }
        rowRemoved(*old);
    }
    rowAdded(row);
    m_bof = m_eof = false;
    m_buffer.reset();
    m_editIndex = -1;
    setState(DataSetState::Browse);
    notifyDataSetChange();
    if (afterPost)
        afterPost(*this);
}

void Table::cancel()
{
    checkActive();
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        return;
    m_buffer.reset();
    m_editIndex = -1;
    setState(DataSetState::Browse);
    setCursor(m_cursor);
    notifyDataSetChange();
    if (afterCancel)
        afterCancel(*this);
}

void Table::deleteRecord()
{
    checkWritable();
    if (m_state == DataSetState::Insert) {
        cancel();
        return;
    }
    if (m_state == DataSetState::Edit)
        cancel();
    if (m_rows.empty())
        throw EDatabaseError(QStringLiteral("%1: Cannot perform this operation on an empty dataset").arg(objectName()));
    rowRemoved(*m_rows[size_t(m_cursor)]);
    m_rows.erase(m_rows.begin() + m_cursor);
    setCursor(m_cursor);
    notifyDataSetChange();
}

void Table::disableControls()
{
    ++m_disableCount;
}

void Table::enableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount == 0 && m_pendingChange) {
        m_pendingChange = false;
        notifyDataSetChange();
        notifyState();
    }
}

void Table::setState(DataSetState state)
{
    if (m_state == state)
        return;
    m_state = state;
    notifyState();
}

void Table::notifyState()
{
    if (m_disableCount > 0) {
        m_pendingChange = true;
        return;
    }
    forEachSource([](DataSource &s) {
        if (s.onStateChange)
            s.onStateChange(&s);
        Q_EMIT s.stateChange();
    });
}

void Table::notifyUpdateData()
{
    if (m_disableCount > 0)
        return;
    forEachSource([](DataSource &s) {
        if (s.onUpdateData)
            s.onUpdateData(&s);
        Q_EMIT s.updateData();
    });
}

void Table::notifyDataSetChange()
{
    if (m_disableCount > 0) {
        m_pendingChange = true;
        return;
    }
    forEachSource([](DataSource &s) {
        Q_EMIT s.rowsChanged();
        if (s.onDataChange)
            s.onDataChange(&s, nullptr);
        Q_EMIT s.dataChange(nullptr);
    });
}

void Table::notifyScroll()
{
    if (m_disableCount > 0) {
        m_pendingChange = true;
        return;
    }
    forEachSource([](DataSource &s) {
        Q_EMIT s.scrolled();
        if (s.onDataChange)
            s.onDataChange(&s, nullptr);
        Q_EMIT s.dataChange(nullptr);
    });
}

void Table::saveToFile(const QString &name, FileFormat format) const
{
    DataPacket::writeFile(name, saveToBytes(name, format));
}

QByteArray Table::saveToBytes(const QString &name, FileFormat format) const
{
    checkActive();
    return DataPacket::encode(*this, format == FileFormat::Xml ? DataPacket::Format::Xml : DataPacket::Format::Binary,
                              name);
}

void Table::loadFromFile(const QString &name)
{
    DataPacket::Contents contents = DataPacket::read(name);
    if (active())
        close();
    m_provider = nullptr;
    m_filter.reset();
    m_filterText.clear();
    setFieldDefs(contents.fields);
    m_rows = std::move(contents.rows);
    dropOrders();
    m_readOnly = true;
    fileName = name;
    setState(DataSetState::Browse);
    setCursor(m_rows.empty() ? -1 : 0);
    m_bof = true;
    notifyDataSetChange();
}

// ---------------------------------------------------------------------------
// DataSource

DataSource::DataSource(const QString &name, QObject *parent) : QObject(parent)
{
    setObjectName(name);
}

DataSource::~DataSource()
{
    setDataSet(nullptr);
}

void DataSource::setDataSet(Table *table)
{
    if (m_table == table)
        return;
    if (m_table)
        m_table->m_sources.removeAll(QPointer<DataSource>(this));
    m_table = table;
    if (m_table)
        m_table->m_sources.append(QPointer<DataSource>(this));
}

} // namespace store
