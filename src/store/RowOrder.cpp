#include "store/RowOrder.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <numeric>

namespace store {

namespace {

// Lexicographic comparison of the first count numbers of two keys.
int CompareKeys(const double *a, const double *b, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (a[i] < b[i])
            return -1;
        if (b[i] < a[i])
            return 1;
    }
    return 0;
}

} // namespace

RowOrder::RowOrder(std::vector<int> fields, std::vector<int> slots, const std::vector<Row> &rows)
    : m_fields(std::move(fields)), m_slots(std::move(slots)), m_width(m_fields.size())
{
    const size_t count = rows.size();
    std::vector<double> keys(count * m_width);
    for (size_t i = 0; i < count; ++i)
        keyOf(*rows[i], keys.data() + i * m_width);
    std::vector<size_t> order(count);
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const int c = CompareKeys(keys.data() + a * m_width, keys.data() + b * m_width, m_width);
        return c != 0 ? c < 0 : std::less<const RowData *>()(rows[a].get(), rows[b].get());
    });
    m_keys.resize(count * m_width);
    m_rows.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        std::copy_n(keys.data() + order[i] * m_width, m_width, m_keys.data() + i * m_width);
        m_rows.push_back(rows[order[i]]);
    }
}

void RowOrder::keyOf(const RowData &row, double *key) const
{
    // Fields never hold an infinite number or NaN (the setters and the file
    // readers refuse them), so minus infinity stands for null alone and the
    // keys are totally ordered.
    for (size_t i = 0; i < m_width; ++i) {
        const bool null = row.nullMask & (quint64(1) << m_fields[i]);
        key[i] = null ? -std::numeric_limits<double>::infinity() : row.numbers[m_slots[i]];
    }
}

template <typename Before>
size_t RowOrder::partitionPoint(Before before) const
{
    size_t low = 0;
    size_t high = m_rows.size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (before(middle))
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

size_t RowOrder::placeOf(const double *key, const RowData *row) const
{
    return partitionPoint([&](size_t i) {
        const int c = CompareKeys(m_keys.data() + i * m_width, key, m_width);
        return c != 0 ? c < 0 : std::less<const RowData *>()(m_rows[i].get(), row);
    });
}

void RowOrder::insert(const Row &row)
{
    QVarLengthArray<double, 8> key(static_cast<qsizetype>(m_width));
    keyOf(*row, key.data());
    const size_t place = placeOf(key.data(), row.get());
    m_rows.insert(m_rows.begin() + std::ptrdiff_t(place), row);
    m_keys.insert(m_keys.begin() + std::ptrdiff_t(place * m_width), key.begin(), key.end());
    ++changesUnread;
}

bool RowOrder::erase(const RowData &row)
{
    QVarLengthArray<double, 8> key(static_cast<qsizetype>(m_width));
    keyOf(row, key.data());
    const size_t place = placeOf(key.data(), &row);
    if (place >= m_rows.size() || m_rows[place].get() != &row)
        return false;
    m_rows.erase(m_rows.begin() + std::ptrdiff_t(place));
    const auto keys = m_keys.begin() + std::ptrdiff_t(place * m_width);
    m_keys.erase(keys, keys + std::ptrdiff_t(m_width));
    ++changesUnread;
    return true;
}

std::pair<size_t, size_t> RowOrder::find(const KeyRange &range) const
{
    const size_t prefix = m_width - 1;
    const double *equal = range.equal.data();
    // Before the range: a smaller prefix, or the same prefix and a last key
    // under the lower bound.
    const size_t first = partitionPoint([&](size_t i) {
        const double *key = m_keys.data() + i * m_width;
        const int c = CompareKeys(key, equal, prefix);
        if (c != 0)
            return c < 0;
        return range.lowInclusive ? key[prefix] < range.low : !(range.low < key[prefix]);
    });
    // Not after the range: a smaller prefix, or the same prefix and a last
    // key within the upper bound.
    const size_t last = partitionPoint([&](size_t i) {
        const double *key = m_keys.data() + i * m_width;
        const int c = CompareKeys(key, equal, prefix);
        if (c != 0)
            return c < 0;
        return range.highInclusive ? !(range.high < key[prefix]) : key[prefix] < range.high;
    });
    return {first, std::max(first, last)};
}

} // namespace store
