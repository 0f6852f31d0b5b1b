#pragma once

#include "store/TableEngine.h"

#include <QString>

#include <limits>
#include <vector>

namespace store {

// The rows of a filter an order of number fields can find by bisection: the
// fields compared for equality, then the order field with its bounds. Every
// row the filter accepts lies within the range (a null or other field's
// condition is checked row by row afterwards).
struct KeyRange
{
    // Field indexes and row slots of the key: the number fields the filter
    // compares with "=" (ascending, each once), then the order field.
    std::vector<int> fields;
    std::vector<int> slots;
    // The values of the equality fields, in the order of fields.
    std::vector<double> equal;
    // Bounds of the order field. A null key is kept as minus infinity, below
    // every value a field holds, so the default lower bound leaves it out.
    double low = -std::numeric_limits<double>::infinity();
    bool lowInclusive = false;
    double high = std::numeric_limits<double>::infinity();
    bool highInclusive = true;
};

// A filter text parsed once: comparisons joined by "and". A comparison is a
// field name, an operator (=, <>, <, <=, >, >=) and a value: an integer, or a
// text in single quotes (an embedded quote doubled). A quoted text compared
// with a date-time field is read as a date-time written by the program
// (zel::DateTimeToStr); with a string field it is compared as text. A null
// field satisfies no comparison.
class FilterExpression
{
public:
    // Parses the text against the table's fields; raises EDatabaseError naming
    // the filter when the text cannot be parsed or names an absent field.
    FilterExpression(const QString &text, const Table &table);

    bool matches(const RowData &row) const;
    bool isEmpty() const { return m_conditions.empty(); }

    // The key range of the filter for an order ending with the number field
    // orderField: true when the filter bounds that field (<, <=, >, >= or =),
    // so that an order on the range's fields finds its candidate rows without
    // visiting the others; false when only a full scan answers it.
    bool keyRange(int orderField, KeyRange &range) const;

private:
    enum class Op { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };
    struct Condition
    {
        int fieldIndex = -1;
        int slot = -1;
        bool isString = false;
        Op op = Op::Equal;
        double number = 0;
        QString text;
    };
    template <typename T>
    static bool compare(const T &left, Op op, const T &right);

    std::vector<Condition> m_conditions;
};

} // namespace store
