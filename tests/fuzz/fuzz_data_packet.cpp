// Feeds arbitrary bytes to a data-packet reader (FUZZ_FORM 0: native, 1: XML).
// What a reader accepts is written again in the native form and must read
// back the same, value for value.
#include "store/DataPacket.h"

#include <QFile>
#include <QTemporaryDir>

using namespace store;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QString file = dir.filePath(FUZZ_FORM == 0 ? QStringLiteral("fuzz.ka2") : QStringLiteral("fuzz.xml"));
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        out.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    Table t(QStringLiteral("t"));
    try {
        t.loadFromFile(file);
    } catch (const Exception &) {
        return 0;
    }
    const DataPacket::Contents again =
        DataPacket::decodeBinary(DataPacket::encode(t, DataPacket::Format::Binary), QStringLiteral("again.ka2"));
    if (again.fields != t.fieldDefs() || again.rows.size() != t.rows().size())
        __builtin_trap();
    for (size_t r = 0; r < again.rows.size(); ++r) {
        const RowData &a = *again.rows[r];
        const RowData &b = *t.rows()[r];
        if (a.nullMask != b.nullMask || a.strings.size() != b.strings.size())
            __builtin_trap();
        for (qsizetype i = 0; i < a.strings.size(); ++i) {
            if (a.strings[i] != b.strings[i])
                __builtin_trap();
        }
        for (qsizetype i = 0; i < a.numbers.size(); ++i) {
            if (a.numbers[i] != b.numbers[i] && !(a.numbers[i] != a.numbers[i]))
                __builtin_trap();
        }
    }
    return 0;
}
