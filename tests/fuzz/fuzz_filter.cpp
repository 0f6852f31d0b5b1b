// Feeds arbitrary texts to the filter parser of the views and evaluates the
// filters it accepts on a few rows.
#include "store/FilterExpression.h"

using namespace store;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Table *table = [] {
        auto *t = new Table(QStringLiteral("t"));
        t->setFieldDefs({{QStringLiteral("Number"), FieldType::Integer, 0, true, false},
                         {QStringLiteral("Date"), FieldType::DateTime, 0, false, false},
                         {QStringLiteral("Title"), FieldType::String, 25, false, false}});
        t->createDataSet();
        t->appendRecord({1, 46000.5, QStringLiteral("a")});
        t->appendRecord({2, QVariant(), QString()});
        return t;
    }();
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        FilterExpression filter(text, *table);
        for (const Row &row : table->rows())
            (void)filter.matches(*row);
    } catch (const Exception &) {
    }
    return 0;
}
