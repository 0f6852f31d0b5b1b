#include "store/FilterExpression.h"

#include <algorithm>

namespace store {

namespace {

struct Token
{
    enum Kind { Name, Operator, Integer, Quoted, End } kind = End;
    QString text;
};

class Lexer
{
public:
    explicit Lexer(const QString &text) : m_text(text) {}

    // Raises a plain message; the parser adds the filter text.
    Token next()
    {
        while (m_pos < m_text.size() && m_text.at(m_pos).isSpace())
            ++m_pos;
        if (m_pos >= m_text.size())
            return {Token::End, {}};
        const QChar c = m_text.at(m_pos);
        if (c.isLetter() || c == QLatin1Char('_')) {
            const qsizetype start = m_pos;
            while (m_pos < m_text.size() &&
                   (m_text.at(m_pos).isLetterOrNumber() || m_text.at(m_pos) == QLatin1Char('_')))
                ++m_pos;
            return {Token::Name, m_text.mid(start, m_pos - start)};
        }
        if (c.isDigit() || ((c == QLatin1Char('-') || c == QLatin1Char('+')) && m_pos + 1 < m_text.size() &&
                            m_text.at(m_pos + 1).isDigit())) {
            const qsizetype start = m_pos++;
            while (m_pos < m_text.size() && m_text.at(m_pos).isDigit())
                ++m_pos;
            return {Token::Integer, m_text.mid(start, m_pos - start)};
        }
        if (c == QLatin1Char('\'')) {
            QString value;
            ++m_pos;
            for (;;) {
                if (m_pos >= m_text.size())
                    throw QStringLiteral("unterminated quoted text");
                const QChar q = m_text.at(m_pos++);
                if (q == QLatin1Char('\'')) {
                    if (m_pos < m_text.size() && m_text.at(m_pos) == QLatin1Char('\'')) {
                        value += q;
                        ++m_pos;
                        continue;
                    }
                    break;
                }
                value += q;
            }
            return {Token::Quoted, value};
        }
        static const QString twoChar[] = {QStringLiteral("<="), QStringLiteral(">="), QStringLiteral("<>")};
        for (const QString &op : twoChar) {
            if (QStringView(m_text).mid(m_pos, 2) == op) {
                m_pos += 2;
                return {Token::Operator, op};
            }
        }
        if (c == QLatin1Char('=') || c == QLatin1Char('<') || c == QLatin1Char('>')) {
            ++m_pos;
            return {Token::Operator, QString(c)};
        }
        throw QStringLiteral("unexpected character '%1'").arg(c);
    }

private:
    const QString &m_text;
    qsizetype m_pos = 0;
};

} // namespace

FilterExpression::FilterExpression(const QString &text, const Table &table)
{
    try {
        Lexer lexer(text);
        Token token = lexer.next();
        if (token.kind == Token::End)
            return;
        for (;;) {
            if (token.kind != Token::Name)
                throw QStringLiteral("a field name is expected");
            const Field *field = table.findField(token.text);
            if (!field)
                throw QStringLiteral("field '%1' not found").arg(token.text);
            Condition cond;
            cond.fieldIndex = field->index();
            cond.slot = field->slot();
            cond.isString = field->isStringType();

            const Token op = lexer.next();
            if (op.kind != Token::Operator)
                throw QStringLiteral("an operator is expected after '%1'").arg(token.text);
            if (op.text == QLatin1String("="))
                cond.op = Op::Equal;
            else if (op.text == QLatin1String("<>"))
                cond.op = Op::NotEqual;
            else if (op.text == QLatin1String("<"))
                cond.op = Op::Less;
            else if (op.text == QLatin1String("<="))
                cond.op = Op::LessEqual;
            else if (op.text == QLatin1String(">"))
                cond.op = Op::Greater;
            else
                cond.op = Op::GreaterEqual;

            const Token value = lexer.next();
            if (value.kind == Token::Integer) {
                if (cond.isString)
                    throw QStringLiteral("field '%1' holds text, not a number").arg(field->fieldName());
                bool ok = false;
                cond.number = double(value.text.toLongLong(&ok));
                if (!ok)
                    throw QStringLiteral("'%1' is not a valid integer").arg(value.text);
            } else if (value.kind == Token::Quoted) {
                if (cond.isString) {
                    cond.text = value.text;
                } else if (field->dataType() == FieldType::DateTime) {
                    TDateTime dt = 0;
                    if (!zel::TryStrToDateTime(value.text, dt))
                        throw QStringLiteral("'%1' is not a valid date and time").arg(value.text);
                    cond.number = dt;
                } else {
                    bool ok = false;
                    cond.number = double(value.text.trimmed().toLongLong(&ok));
                    if (!ok)
                        throw QStringLiteral("'%1' is not a valid integer").arg(value.text);
                }
            } else {
                throw QStringLiteral("a value is expected after '%1'").arg(op.text);
            }
            m_conditions.push_back(cond);

            token = lexer.next();
            if (token.kind == Token::End)
                break;
            if (token.kind != Token::Name || token.text.compare(QLatin1String("and"), Qt::CaseInsensitive) != 0)
                throw QStringLiteral("\"and\" is expected before '%1'").arg(token.text);
            token = lexer.next();
        }
    } catch (const QString &reason) {
        throw EDatabaseError(QStringLiteral("Invalid filter \"%1\": %2").arg(text, reason));
    }
}

template <typename T>
bool FilterExpression::compare(const T &left, Op op, const T &right)
{
    switch (op) {
    case Op::Equal:
        return left == right;
    case Op::NotEqual:
        return !(left == right);
    case Op::Less:
        return left < right;
    case Op::LessEqual:
        return !(right < left);
    case Op::Greater:
        return right < left;
    case Op::GreaterEqual:
        return !(left < right);
    }
    return false;
}

bool FilterExpression::matches(const RowData &row) const
{
    for (const Condition &c : m_conditions) {
        if (row.nullMask & (quint64(1) << c.fieldIndex))
            return false;
        const bool ok =
            c.isString ? compare(row.strings[c.slot], c.op, c.text) : compare(row.numbers[c.slot], c.op, c.number);
        if (!ok)
            return false;
    }
    return true;
}

bool FilterExpression::keyRange(int orderField, KeyRange &range) const
{
    range = KeyRange();
    bool bounded = false;
    int orderSlot = -1;
    struct Equality
    {
        int field;
        int slot;
        double value;
    };
    std::vector<Equality> equalities;
    const auto raiseLow = [&range](double value, bool inclusive) {
        if (value > range.low || (value == range.low && !inclusive)) {
            range.low = value;
            range.lowInclusive = inclusive;
        }
    };
    const auto lowerHigh = [&range](double value, bool inclusive) {
        if (value < range.high || (value == range.high && !inclusive)) {
            range.high = value;
            range.highInclusive = inclusive;
        }
    };
    for (const Condition &c : m_conditions) {
        if (c.isString)
            continue;
        if (c.fieldIndex == orderField) {
            orderSlot = c.slot;
            switch (c.op) {
            case Op::Equal:
                raiseLow(c.number, true);
                lowerHigh(c.number, true);
                break;
            case Op::Less:
                lowerHigh(c.number, false);
                break;
            case Op::LessEqual:
                lowerHigh(c.number, true);
                break;
            case Op::Greater:
                raiseLow(c.number, false);
                break;
            case Op::GreaterEqual:
                raiseLow(c.number, true);
                break;
            case Op::NotEqual:
                continue;
            }
            bounded = true;
        } else if (c.op == Op::Equal) {
            // A second equality on the same field is checked row by row.
            const bool known = std::any_of(equalities.begin(), equalities.end(),
                                           [&c](const Equality &e) { return e.field == c.fieldIndex; });
            if (!known)
                equalities.push_back({c.fieldIndex, c.slot, c.number});
        }
    }
    if (!bounded) {
        range = KeyRange();
        return false;
    }
    std::sort(equalities.begin(), equalities.end(),
              [](const Equality &a, const Equality &b) { return a.field < b.field; });
    for (const Equality &e : equalities) {
        range.fields.push_back(e.field);
        range.slots.push_back(e.slot);
        range.equal.push_back(e.value);
    }
    range.fields.push_back(orderField);
    range.slots.push_back(orderSlot);
    return true;
}

} // namespace store
