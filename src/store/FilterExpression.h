#pragma once

#include "store/TableEngine.h"

#include <QString>

#include <vector>

namespace store {

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
