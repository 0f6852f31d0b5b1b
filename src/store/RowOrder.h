#pragma once

#include "store/FilterExpression.h"
#include "store/TableEngine.h"

#include <utility>
#include <vector>

namespace store {

// The rows of a table ordered on some of its number fields (a null value
// counting as minus infinity), kept beside the table and changed with each of
// its rows, so that a view whose filter bounds the last of those fields finds
// its rows by bisection instead of testing every row. Rows of equal keys are
// ordered by their address: that gives each row one place where it is found
// again, not an order anyone reads.
class RowOrder
{
public:
    // Orders the rows on the fields at the given indexes and row slots.
    RowOrder(std::vector<int> fields, std::vector<int> slots, const std::vector<Row> &rows);

    const std::vector<int> &fields() const { return m_fields; }
    size_t size() const { return m_rows.size(); }
    const Row &row(size_t index) const { return m_rows[index]; }

    void insert(const Row &row);
    // Takes a row out; false when the row is not there (the order no longer
    // matches its table).
    bool erase(const RowData &row);

    // The positions [first, last) of the rows whose first keys equal the
    // range's values and whose last key lies within its bounds.
    std::pair<size_t, size_t> find(const KeyRange &range) const;

    // Changes since the order was last read: a table changed in bulk drops
    // its orders rather than keeping them up to date row by row.
    int changesUnread = 0;

private:
    void keyOf(const RowData &row, double *key) const;
    // Where the row with the given key and address goes: after every entry
    // of a smaller key, or of an equal key and a lower address.
    size_t placeOf(const double *key, const RowData *row) const;
    template <typename Before>
    size_t partitionPoint(Before before) const;

    std::vector<int> m_fields;
    std::vector<int> m_slots;
    size_t m_width;
    // The keys of the rows, m_width numbers per row, in the rows' order.
    std::vector<double> m_keys;
    std::vector<Row> m_rows;
};

} // namespace store
