// Feeds arbitrary bytes to a data-packet reader (FUZZ_FORM 0: native, 1: XML)
// and, when they are accepted, reads every value of every row.
#include "store/DataPacket.h"

#include <QCoreApplication>

using namespace store;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        DataPacket::Contents contents = FUZZ_FORM == 0 ? DataPacket::decodeBinary(bytes, QStringLiteral("fuzz.ka2"))
                                                       : DataPacket::decodeXml(bytes, QStringLiteral("fuzz.xml"));
        Table t(QStringLiteral("t"));
        t.setFieldDefs(contents.fields);
        size_t total = 0;
        for (const Row &row : contents.rows) {
            for (const QString &s : row->strings)
                total += size_t(s.size());
        }
        (void)total;
    } catch (const Exception &) {
    }
    return 0;
}
