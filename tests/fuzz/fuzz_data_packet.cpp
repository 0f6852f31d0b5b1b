// Feeds arbitrary bytes to a data-packet reader (FUZZ_FORM 0: native, 1: XML).
// What a reader accepts is written again in the native form and must read
// back the same, value for value; written in the XML form (when its names can
// be), it must read back too, the same but for the characters XML cannot
// carry, which come back as U+FFFD.
#include "store/DataPacket.h"

#include <QFile>
#include <QTemporaryDir>

using namespace store;

namespace {

// The characters XML 1.0 cannot carry made U+FFFD, as the XML writer does.
QString XmlCarried(const QString &text)
{
    QString result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            result += text.mid(i, 2);
            ++i;
        } else if (c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)) {
            result += QChar(c);
        } else {
            result += QChar(QChar::ReplacementCharacter);
        }
    }
    return result;
}

void CheckXmlRoundTrip(const Table &t)
{
    QByteArray xml;
    try {
        xml = DataPacket::encode(t, DataPacket::Format::Xml);
    } catch (const Exception &) {
        return; // a name the XML form cannot carry: refused before writing
    }
    DataPacket::Contents back;
    try {
        back = DataPacket::decodeXml(xml, QStringLiteral("again.xml"));
    } catch (const Exception &) {
        __builtin_trap(); // written, but not readable
    }
    if (back.fields.size() != t.fieldDefs().size() || back.rows.size() != t.rows().size())
        __builtin_trap();
    for (qsizetype f = 0; f < back.fields.size(); ++f) {
        if (back.fields[f].name != t.fieldDefs()[f].name || back.fields[f].type != t.fieldDefs()[f].type)
            __builtin_trap();
    }
    for (size_t r = 0; r < back.rows.size(); ++r) {
        const RowData &a = *back.rows[r];
        const RowData &b = *t.rows()[r];
        if (a.nullMask != b.nullMask)
            __builtin_trap();
        for (qsizetype i = 0; i < a.strings.size(); ++i) {
            if (a.strings[i] != XmlCarried(b.strings[i]))
                __builtin_trap();
        }
        // Date-times are carried to the millisecond, as the moment they name
        // (-0.5 and 0.5 both name 30 December 1899 12:00).
        const RowLayout layout = RowLayout::of(back.fields);
        for (qsizetype f = 0; f < back.fields.size(); ++f) {
            if (back.fields[f].type == FieldType::String || back.fields[f].type == FieldType::Memo ||
                (a.nullMask & (quint64(1) << f)))
                continue;
            const int slot = layout.slots[size_t(f)];
            const bool same = back.fields[f].type == FieldType::DateTime
                                  ? zel::ToQDateTime(a.numbers[slot]) == zel::ToQDateTime(b.numbers[slot])
                                  : a.numbers[slot] == b.numbers[slot];
            if (!same)
                __builtin_trap();
        }
    }
}

} // namespace

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
    CheckXmlRoundTrip(t);
    return 0;
}
