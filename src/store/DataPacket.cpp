#include "store/DataPacket.h"

#include <QCborStreamReader>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace store::DataPacket {

namespace {

const QString PacketName = QStringLiteral("Almarik data packet");
constexpr int PacketVersion = 1;
constexpr quint64 SelfDescribeTag = 55799;
constexpr int MaxNameLength = 256;
constexpr int MaxFieldSize = 1 << 20;
constexpr int MaxFields = 64;
// The most attributes an element may have: a row has one per field, the
// engine's own (RowState) and room for unknown ones.
constexpr int MaxAttributes = 4 * MaxFields;

// The error of every reader: the file is named, then what is wrong with it.
[[noreturn]] void Invalid(const QString &file, const QString &reason)
{
    throw EDatabaseError(QStringLiteral("\"%1\" is not a valid data file: %2").arg(file, reason));
}

// Collects the rows of a file in one block: every row then shares the
// block's ownership, so a table read from a file and dropped again gives its
// memory back whole instead of leaving holes between the texts it kept.
class RowCollector
{
public:
    size_t size() const { return m_rows.size(); }
    void reserve(size_t count) { m_rows.reserve(count); }
    void add(RowData &&row)
    {
        if (m_rows.size() >= size_t(MaxRows))
            throw std::length_error("too many rows");
        m_rows.push_back(std::move(row));
    }
    std::vector<Row> finish()
    {
        auto block = std::make_shared<std::vector<RowData>>(std::move(m_rows));
        std::vector<Row> rows;
        rows.reserve(block->size());
        for (const RowData &row : *block)
            rows.push_back(Row(block, &row));
        return rows;
    }

private:
    std::vector<RowData> m_rows;
};

bool parseType(const QString &name, FieldType &type)
{
    for (FieldType t :
         {FieldType::Integer, FieldType::DateTime, FieldType::String, FieldType::Memo, FieldType::Boolean}) {
        if (FieldTypeName(t) == name) {
            type = t;
            return true;
        }
    }
    return false;
}

// Indices of the stored fields (calculated fields are not written).
QList<int> storedFields(const QList<FieldDef> &defs)
{
    QList<int> result;
    for (int i = 0; i < int(defs.size()); ++i) {
        if (!defs[i].calculated)
            result.append(i);
    }
    return result;
}

// A name the XML form can carry as an attribute name: a letter or "_", then
// letters, digits, "_", "-" or ".".
bool IsXmlName(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        const bool start = c.isLetter() || c == QLatin1Char('_');
        if (!(start || (i > 0 && (c.isDigit() || c == QLatin1Char('-') || c == QLatin1Char('.')))))
            return false;
    }
    return !name.startsWith(QLatin1String("xml"), Qt::CaseInsensitive);
}

// Refuses to write what the readers would refuse, so that a written file
// always reads back. The field definitions are checked before anything is
// encoded, the values as they are encoded (CheckValue); either way nothing
// reaches the disk.
[[noreturn]] void Unwritable(const QString &file, const QString &reason)
{
    throw EDatabaseError(file.isEmpty() ? QStringLiteral("Cannot write the data: %1").arg(reason)
                                        : QStringLiteral("Cannot write file \"%1\": %2").arg(file, reason));
}

void CheckWritable(const QList<FieldDef> &defs, size_t rowCount, Format format, const QString &file)
{
    const QList<int> stored = storedFields(defs);
    if (stored.size() > MaxFields)
        Unwritable(file, QStringLiteral("too many fields"));
    if (rowCount > size_t(MaxRows))
        Unwritable(file, QStringLiteral("more than %1 rows").arg(MaxRows));
    for (int i : stored) {
        const FieldDef &d = defs[i];
        if (d.name.isEmpty() || d.name.size() > MaxNameLength || (format == Format::Xml && !IsXmlName(d.name)))
            Unwritable(file, QStringLiteral("the field name \"%1\" cannot be written").arg(d.name));
        if (d.size < 0 || d.size > MaxFieldSize)
            Unwritable(file, QStringLiteral("the size of field \"%1\" is out of range").arg(d.name));
        for (int j : stored) {
            if (j < i && defs[j].name.compare(d.name, Qt::CaseInsensitive) == 0)
                Unwritable(file, QStringLiteral("the field \"%1\" appears twice").arg(d.name));
        }
    }
}

// A number of an integer or date-time field as the readers accept it: a
// 32-bit integer, a date-time of the years 1 to 9999.
inline void CheckValue(const FieldDef &def, double value, size_t row, const QString &file)
{
    const bool ok = def.type == FieldType::DateTime
                        ? IsValidDateTime(value)
                        : value == std::trunc(value) && value >= double(std::numeric_limits<int>::min()) &&
                              value <= double(std::numeric_limits<int>::max());
    if (!ok)
        Unwritable(file, QStringLiteral("the value of \"%1\" in row %2 is out of range").arg(def.name).arg(row + 1));
}

// ---------------------------------------------------------------------------
// Native form

// A CBOR writer straight into a byte array: the packet only needs definite
// lengths, integers, doubles, texts, booleans and null. Writing them here,
// texts encoded in place, costs a fraction of going through a stream device
// for every value.
class CborBuffer
{
public:
    explicit CborBuffer(QByteArray &bytes) : m_bytes(bytes) {}
    // Cuts the array to what was written.
    void finish() { m_bytes.resize(m_size); }

    void tag(quint64 value) { head(6, value); }
    void map(quint64 count) { head(5, count); }
    void array(quint64 count) { head(4, count); }
    void null() { byte(0xf6); }
    void boolean(bool value) { byte(value ? 0xf5 : 0xf4); }
    void integer(qint64 value)
    {
        if (value >= 0)
            head(0, quint64(value));
        else
            head(1, quint64(-1 - value));
    }
    void real(double value)
    {
        quint64 bits = 0;
        std::memcpy(&bits, &value, sizeof(bits));
        room(9);
        byte(0xfb);
        bigEndian(bits, 8);
    }
    void text(QStringView value)
    {
        // The UTF-8 length first, then the text encoded in place.
        qsizetype length = 0;
        for (qsizetype i = 0; i < value.size(); ++i) {
            const char16_t c = value[i].unicode();
            if (c < 0x80)
                length += 1;
            else if (c < 0x800)
                length += 2;
            else if (QChar::isHighSurrogate(c) && i + 1 < value.size() &&
                     QChar::isLowSurrogate(value[i + 1].unicode())) {
                length += 4;
                ++i;
            } else
                length += 3;
        }
        head(3, quint64(length));
        room(length);
        char *out = m_bytes.data() + m_size;
        const char *end = m_encoder.appendToBuffer(out, value);
        m_size += end - out;
    }

private:
    void room(qsizetype count)
    {
        if (m_size + count > m_bytes.size())
            m_bytes.resize(std::max<qsizetype>(m_bytes.size() * 2, m_size + count + 1024));
    }
    void byte(int value)
    {
        room(1);
        m_bytes.data()[m_size++] = char(value);
    }
    void head(int major, quint64 value)
    {
        room(9);
        const int type = major << 5;
        if (value < 24) {
            byte(type | int(value));
        } else if (value <= 0xff) {
            byte(type | 24);
            bigEndian(value, 1);
        } else if (value <= 0xffff) {
            byte(type | 25);
            bigEndian(value, 2);
        } else if (value <= 0xffffffffULL) {
            byte(type | 26);
            bigEndian(value, 4);
        } else {
            byte(type | 27);
            bigEndian(value, 8);
        }
    }
    void bigEndian(quint64 value, int size)
    {
        char *out = m_bytes.data() + m_size;
        for (int i = size - 1; i >= 0; --i) {
            out[i] = char(value & 0xff);
            value >>= 8;
        }
        m_size += size;
    }

    QByteArray &m_bytes;
    qsizetype m_size = 0;
    // Stateless: a text ending in half a surrogate pair is written whole (as
    // a replacement character) and never joins the next text.
    QStringEncoder m_encoder{QStringEncoder::Utf8, QStringConverter::Flag::Stateless};
};

QByteArray encodeBinary(const QList<FieldDef> &defs, const std::vector<Row> &rows, const QString &file)
{
    const QList<int> stored = storedFields(defs);
    const RowLayout layout = RowLayout::of(defs);
    QByteArray bytes;
    // Room for typical rows up front, grown as needed.
    bytes.resize(qsizetype(rows.size()) * 128 + 1024);
    CborBuffer w(bytes);
    w.tag(SelfDescribeTag);
    w.map(4);
    w.text(u"packet");
    w.text(PacketName);
    w.text(u"version");
    w.integer(PacketVersion);
    w.text(u"fields");
    w.array(quint64(stored.size()));
    for (int i : stored) {
        const FieldDef &d = defs[i];
        w.map(4);
        w.text(u"name");
        w.text(d.name);
        w.text(u"type");
        w.text(FieldTypeName(d.type));
        w.text(u"size");
        w.integer(d.size);
        w.text(u"required");
        w.boolean(d.required);
    }
    w.text(u"rows");
    w.array(quint64(rows.size()));
    for (size_t r = 0; r < rows.size(); ++r) {
        const Row &row = rows[r];
        w.array(quint64(stored.size()));
        for (int i : stored) {
            const int slot = layout.slots[size_t(i)];
            if (row->nullMask & (quint64(1) << i)) {
                w.null();
                continue;
            }
            switch (defs[i].type) {
            case FieldType::Integer:
                CheckValue(defs[i], row->numbers[slot], r, file);
                w.integer(qint64(row->numbers[slot]));
                break;
            case FieldType::DateTime:
                CheckValue(defs[i], row->numbers[slot], r, file);
                w.real(row->numbers[slot]);
                break;
            case FieldType::Boolean:
                w.boolean(row->numbers[slot] != 0);
                break;
            case FieldType::String:
            case FieldType::Memo:
                w.text(row->strings[slot]);
                break;
            }
        }
    }
    w.finish();
    return bytes;
}

class BinaryReader
{
public:
    BinaryReader(const QByteArray &bytes, const QString &fileName) : m_r(bytes), m_file(fileName), m_size(bytes.size())
    {
    }

    Contents read()
    {
        if (m_r.type() != QCborStreamReader::Tag || m_r.toTag() != QCborTag(SelfDescribeTag))
            fail(QStringLiteral("the file does not begin with the data packet mark"));
        m_r.next();
        expect(QCborStreamReader::Map, QStringLiteral("the packet is not a map"));
        m_r.enterContainer();
        bool sawPacket = false;
        bool sawFields = false;
        bool sawRows = false;
        while (m_r.lastError() == QCborError::NoError && m_r.hasNext()) {
            const QString key = readText(MaxNameLength, QStringLiteral("a key of the packet"));
            if (key == QLatin1String("packet")) {
                if (readText(MaxNameLength, QStringLiteral("the packet name")) != PacketName)
                    fail(QStringLiteral("unknown packet name"));
                sawPacket = true;
            } else if (key == QLatin1String("version")) {
                const qint64 version = readInteger(QStringLiteral("the version"));
                if (version < 1 || version > PacketVersion)
                    fail(QStringLiteral("unsupported version %1").arg(version));
            } else if (key == QLatin1String("fields")) {
                if (sawFields)
                    fail(QStringLiteral("the field list appears twice"));
                readFields();
                sawFields = true;
            } else if (key == QLatin1String("rows")) {
                if (!sawFields)
                    fail(QStringLiteral("the rows come before the field list"));
                if (sawRows)
                    fail(QStringLiteral("the rows appear twice"));
                readRows();
                sawRows = true;
            } else {
                skip();
            }
        }
        checkStream();
        m_r.leaveContainer();
        checkStream();
        if (!sawPacket || !sawFields || !sawRows)
            fail(QStringLiteral("the packet is incomplete"));
        // The packet is the whole file: anything after it (a second packet,
        // junk appended) means the file is not what was written.
        if (m_r.currentOffset() != m_size)
            fail(QStringLiteral("%1 bytes follow the end of the packet").arg(m_size - m_r.currentOffset()));
        return std::move(m_contents);
    }

private:
    [[noreturn]] void fail(const QString &reason) const { Invalid(m_file, reason); }

    void checkStream()
    {
        if (m_r.lastError() != QCborError::NoError)
            fail(m_r.lastError().toString());
    }

    void expect(QCborStreamReader::Type type, const QString &reason)
    {
        checkStream();
        if (m_r.type() != type)
            fail(reason);
    }

    // What a message is about: the given text, or, when it is empty, the
    // value being read (built only when a message needs it).
    QString describe(const QString &what) const
    {
        if (!what.isEmpty() || m_field < 0)
            return what;
        return QStringLiteral("the value of \"%1\" in row %2")
            .arg(m_contents.fields[m_field].name)
            .arg(m_rows.size() + 1);
    }

    // Reads a text exactly as it was written: the UTF-8 bytes are decoded
    // here, keeping a U+FEFF at the start, and must be valid UTF-8.
    QString readText(qint64 maxLength, const QString &what)
    {
        checkStream();
        if (m_r.type() != QCborStreamReader::String)
            fail(QStringLiteral("%1 is not a text").arg(describe(what)));
        // At most 4 bytes per character of UTF-8 for the longest text allowed.
        const qint64 maxBytes = maxLength >= 0 ? 4 * maxLength : std::numeric_limits<qint64>::max();
        m_utf8.resize(0);
        for (;;) {
            // The declared size of a chunk is checked against the bytes of
            // the file before any room is made for it.
            const qsizetype chunk = std::max<qsizetype>(m_r.currentStringChunkSize(), 0);
            if (chunk > m_size || qint64(m_utf8.size()) + chunk > maxBytes)
                fail(QStringLiteral("%1 is too long").arg(describe(what)));
            const qsizetype at = m_utf8.size();
            m_utf8.resize(at + chunk);
            const auto result = m_r.readStringChunk(m_utf8.data() + at, chunk);
            if (result.status == QCborStreamReader::Error)
                fail(QStringLiteral("%1 cannot be read (%2)").arg(describe(what), m_r.lastError().toString()));
            m_utf8.resize(at + (result.status == QCborStreamReader::Ok ? result.data : 0));
            if (result.status == QCborStreamReader::EndOfString)
                break;
        }
        QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom);
        QString text = decoder.decode(m_utf8);
        if (decoder.hasError())
            fail(QStringLiteral("%1 is not valid UTF-8").arg(describe(what)));
        if (maxLength >= 0 && text.size() > maxLength)
            fail(QStringLiteral("%1 is too long").arg(describe(what)));
        return text;
    }

    qint64 readInteger(const QString &what)
    {
        checkStream();
        if (m_r.isUnsignedInteger()) {
            const quint64 v = m_r.toUnsignedInteger();
            if (v > quint64(std::numeric_limits<qint64>::max()))
                fail(QStringLiteral("%1 is out of range").arg(describe(what)));
            m_r.next();
            return qint64(v);
        }
        if (m_r.isNegativeInteger()) {
            const quint64 v = quint64(m_r.toNegativeInteger());
            if (v == 0 || v > quint64(std::numeric_limits<qint64>::max()))
                fail(QStringLiteral("%1 is out of range").arg(describe(what)));
            m_r.next();
            return -qint64(v - 1) - 1;
        }
        fail(QStringLiteral("%1 is not an integer").arg(describe(what)));
    }

    bool readBool(const QString &what)
    {
        checkStream();
        if (!m_r.isBool())
            fail(QStringLiteral("%1 is not a boolean").arg(describe(what)));
        const bool v = m_r.toBool();
        m_r.next();
        return v;
    }

    void skip()
    {
        checkStream();
        // Unknown entries are skipped; nesting is kept shallow so a hostile
        // file cannot exhaust the stack.
        if (!m_r.next(16))
            fail(QStringLiteral("an unknown entry cannot be skipped"));
    }

    void readFields()
    {
        expect(QCborStreamReader::Array, QStringLiteral("the field list is not an array"));
        if (m_r.isLengthKnown() && m_r.length() > quint64(MaxFields))
            fail(QStringLiteral("too many fields"));
        m_r.enterContainer();
        while (m_r.lastError() == QCborError::NoError && m_r.hasNext()) {
            if (m_contents.fields.size() >= MaxFields)
                fail(QStringLiteral("too many fields"));
            expect(QCborStreamReader::Map, QStringLiteral("a field definition is not a map"));
            m_r.enterContainer();
            FieldDef def;
            bool sawName = false;
            bool sawType = false;
            while (m_r.lastError() == QCborError::NoError && m_r.hasNext()) {
                const QString key = readText(MaxNameLength, QStringLiteral("a key of a field definition"));
                if (key == QLatin1String("name")) {
                    def.name = readText(MaxNameLength, QStringLiteral("a field name"));
                    sawName = !def.name.isEmpty();
                } else if (key == QLatin1String("type")) {
                    const QString type = readText(MaxNameLength, QStringLiteral("a field type"));
                    if (!parseType(type, def.type))
                        fail(QStringLiteral("unknown field type \"%1\"").arg(type));
                    sawType = true;
                } else if (key == QLatin1String("size")) {
                    const qint64 size = readInteger(QStringLiteral("a field size"));
                    if (size < 0 || size > MaxFieldSize)
                        fail(QStringLiteral("a field size is out of range"));
                    def.size = int(size);
                } else if (key == QLatin1String("required")) {
                    def.required = readBool(QStringLiteral("a required flag"));
                } else {
                    skip();
                }
            }
            checkStream();
            m_r.leaveContainer();
            if (!sawName || !sawType)
                fail(QStringLiteral("a field definition lacks its name or type"));
            for (const FieldDef &other : std::as_const(m_contents.fields)) {
                if (other.name.compare(def.name, Qt::CaseInsensitive) == 0)
                    fail(QStringLiteral("the field \"%1\" appears twice").arg(def.name));
            }
            m_contents.fields.append(def);
        }
        checkStream();
        m_r.leaveContainer();
        m_layout = RowLayout::of(m_contents.fields);
    }

    void readRows()
    {
        expect(QCborStreamReader::Array, QStringLiteral("the rows are not an array"));
        const int fieldCount = int(m_contents.fields.size());
        // Never trust a declared count further than the bytes could hold.
        if (m_r.isLengthKnown())
            m_rows.reserve(
                size_t(std::min<quint64>({m_r.length(), quint64(MaxRows), quint64(m_size) / quint64(fieldCount + 1)})));
        m_r.enterContainer();
        while (m_r.lastError() == QCborError::NoError && m_r.hasNext()) {
            expect(QCborStreamReader::Array, QStringLiteral("row %1 is not an array").arg(m_rows.size() + 1));
            if (m_r.isLengthKnown() && m_r.length() != quint64(fieldCount))
                fail(QStringLiteral("row %1 has %2 values for %3 fields")
                         .arg(m_rows.size() + 1)
                         .arg(m_r.length())
                         .arg(fieldCount));
            m_r.enterContainer();
            RowData row = m_layout.emptyRow();
            int i = 0;
            while (m_r.lastError() == QCborError::NoError && m_r.hasNext()) {
                if (i >= fieldCount)
                    fail(QStringLiteral("row %1 has too many values").arg(m_rows.size() + 1));
                readValue(row, i++);
            }
            checkStream();
            if (i != fieldCount)
                fail(QStringLiteral("row %1 has too few values").arg(m_rows.size() + 1));
            m_r.leaveContainer();
            addRow(std::move(row));
        }
        checkStream();
        m_r.leaveContainer();
        m_contents.rows = m_rows.finish();
    }

    void addRow(RowData &&row)
    {
        try {
            m_rows.add(std::move(row));
        } catch (const std::length_error &) {
            fail(QStringLiteral("more than %1 rows").arg(MaxRows));
        }
    }

    void readValue(RowData &row, int i)
    {
        checkStream();
        const FieldDef &def = m_contents.fields[i];
        const int slot = m_layout.slots[size_t(i)];
        const quint64 bit = quint64(1) << i;
        if (m_r.isNull()) {
            m_r.next();
            return;
        }
        m_field = i;
        const QString what; // the value being read: described only for a message
        switch (def.type) {
        case FieldType::Integer: {
            const qint64 v = readInteger(what);
            if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
                fail(QStringLiteral("%1 is out of range").arg(describe(what)));
            row.numbers[slot] = double(v);
            break;
        }
        case FieldType::DateTime: {
            double v = 0;
            if (m_r.isDouble()) {
                v = m_r.toDouble();
                m_r.next();
            } else if (m_r.isFloat()) {
                v = double(m_r.toFloat());
                m_r.next();
            } else if (m_r.isInteger()) {
                v = double(readInteger(what));
            } else {
                fail(QStringLiteral("%1 is not a date-time").arg(describe(what)));
            }
            // Years 1 to 9999, as the program's dates can be.
            if (!IsValidDateTime(v))
                fail(QStringLiteral("%1 is out of range").arg(describe(what)));
            row.numbers[slot] = v;
            break;
        }
        case FieldType::Boolean:
            row.numbers[slot] = readBool(what) ? 1 : 0;
            break;
        case FieldType::String:
        case FieldType::Memo: {
            QString s = readText(-1, what);
            if (def.size > 0 && s.size() > def.size)
                s = CutText(s, def.size);
            // The decoder leaves spare room behind the text; a table of many
            // rows keeps only what the texts need.
            s.squeeze();
            row.strings[slot] = std::move(s);
            break;
        }
        }
        m_field = -1;
        row.nullMask &= ~bit;
    }

    QCborStreamReader m_r;
    QString m_file;
    qint64 m_size;
    QByteArray m_utf8; // the bytes of the text being read
    Contents m_contents;
    RowCollector m_rows;
    RowLayout m_layout;
    int m_field = -1; // the field whose value is being read
};

// ---------------------------------------------------------------------------
// XML form

QString xmlTypeName(const FieldDef &def)
{
    switch (def.type) {
    case FieldType::Integer:
        return QStringLiteral("i4");
    case FieldType::DateTime:
        return QStringLiteral("dateTime");
    case FieldType::String:
        return QStringLiteral("string");
    case FieldType::Memo:
        return QStringLiteral("bin.hex");
    case FieldType::Boolean:
        return QStringLiteral("boolean");
    }
    return {};
}

QString xmlDateTime(double value)
{
    const QDateTime dt = zel::ToQDateTime(value);
    return dt.date().toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('T') +
           dt.time().toString(QStringLiteral("HH:mm:ss")) +
           QStringLiteral("%1").arg(dt.time().msec(), 3, 10, QLatin1Char('0'));
}

bool parseXmlDateTime(const QString &text, double &value)
{
    // yyyyMMddTHH:mm:sszzz, or the date alone.
    const QDate date = QDate::fromString(text.left(8), QStringLiteral("yyyyMMdd"));
    if (!date.isValid())
        return false;
    if (text.size() == 8) {
        value = zel::ToDateTime(date);
        return true;
    }
    if (text.size() != 20 || text.at(8) != QLatin1Char('T'))
        return false;
    const QTime time = QTime::fromString(text.mid(9, 8), QStringLiteral("HH:mm:ss"));
    bool ok = false;
    const int ms = text.mid(17, 3).toInt(&ok);
    if (!time.isValid() || !ok || ms < 0)
        return false;
    value = zel::ToDateTime(QDateTime(date, time.addMSecs(ms)));
    return true;
}

// A text as the XML form can carry it: the characters XML 1.0 does not
// allow (most control characters, U+FFFE, U+FFFF, half a surrogate pair)
// become U+FFFD; everything else is kept.
QString XmlText(const QString &text)
{
    const auto allowed = [](char16_t c) {
        return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD);
    };
    QString result;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text.at(i).unicode();
        bool keep = allowed(c);
        qsizetype length = 1;
        if (!keep && QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            keep = true;
            length = 2;
        }
        if (!keep && result.isNull()) {
            result.reserve(size);
            result.append(QStringView(text).left(i));
        }
        if (!keep)
            result.append(QChar(QChar::ReplacementCharacter));
        else if (!result.isNull())
            result.append(QStringView(text).mid(i, length));
        i += length - 1;
    }
    return result.isNull() ? text : result;
}

QByteArray encodeXml(const QList<FieldDef> &defs, const std::vector<Row> &rows, const QString &file)
{
    const QList<int> stored = storedFields(defs);
    const RowLayout layout = RowLayout::of(defs);
    QByteArray bytes;
    QXmlStreamWriter w(&bytes);
    w.setAutoFormatting(false);
    w.writeStartDocument(QStringLiteral("1.0"), true);
    w.writeStartElement(QStringLiteral("DATAPACKET"));
    w.writeAttribute(QStringLiteral("Version"), QStringLiteral("2.0"));
    w.writeStartElement(QStringLiteral("METADATA"));
    w.writeStartElement(QStringLiteral("FIELDS"));
    for (int i : stored) {
        const FieldDef &d = defs[i];
        w.writeEmptyElement(QStringLiteral("FIELD"));
        w.writeAttribute(QStringLiteral("attrname"), d.name);
        w.writeAttribute(QStringLiteral("fieldtype"), xmlTypeName(d));
        if (d.required)
            w.writeAttribute(QStringLiteral("required"), QStringLiteral("true"));
        if (d.type == FieldType::Memo)
            w.writeAttribute(QStringLiteral("SUBTYPE"), QStringLiteral("Text"));
        if (d.type == FieldType::String && d.size > 0)
            w.writeAttribute(QStringLiteral("WIDTH"), QString::number(d.size));
    }
    w.writeEndElement(); // FIELDS
    w.writeEmptyElement(QStringLiteral("PARAMS"));
    w.writeEndElement(); // METADATA
    w.writeStartElement(QStringLiteral("ROWDATA"));
    for (size_t r = 0; r < rows.size(); ++r) {
        const Row &row = rows[r];
        w.writeEmptyElement(QStringLiteral("ROW"));
        for (int i : stored) {
            if (row->nullMask & (quint64(1) << i))
                continue;
            const int slot = layout.slots[size_t(i)];
            QString text;
            switch (defs[i].type) {
            case FieldType::Integer:
                CheckValue(defs[i], row->numbers[slot], r, file);
                text = QString::number(qint64(row->numbers[slot]));
                break;
            case FieldType::DateTime:
                CheckValue(defs[i], row->numbers[slot], r, file);
                text = xmlDateTime(row->numbers[slot]);
                break;
            case FieldType::Boolean:
                text = row->numbers[slot] != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
                break;
            case FieldType::String:
            case FieldType::Memo:
                text = XmlText(row->strings[slot]);
                break;
            }
            w.writeAttribute(defs[i].name, text);
        }
    }
    w.writeEndElement(); // ROWDATA
    w.writeEndElement(); // DATAPACKET
    w.writeEndDocument();
    return bytes;
}

// The text of an XML packet: UTF-8, or UTF-16 with its byte-order mark or
// beginning with "<", and a declared encoding, if any, of the same kind. Other
// encodings are refused: the text is decoded here, never by a decoder the
// file chooses.
QString DecodeXmlText(const QByteArray &bytes, const QString &file)
{
    QStringConverter::Encoding encoding = QStringConverter::Utf8;
    if (bytes.startsWith("\xff\xfe") || bytes.startsWith(QByteArray("<\0", 2)))
        encoding = QStringConverter::Utf16LE;
    else if (bytes.startsWith("\xfe\xff") || bytes.startsWith(QByteArray("\0<", 2)))
        encoding = QStringConverter::Utf16BE;
    QStringDecoder decoder(encoding);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        Invalid(file, encoding == QStringConverter::Utf8 ? QStringLiteral("the text is not valid UTF-8")
                                                         : QStringLiteral("the text is not valid UTF-16"));
    if (text.startsWith(QLatin1String("<?xml"))) {
        const QStringView declaration =
            QStringView(text).left(std::max<qsizetype>(text.indexOf(QLatin1String("?>")), 0));
        const qsizetype at = declaration.indexOf(QLatin1String("encoding"));
        if (at >= 0) {
            qsizetype i = at + 8;
            while (i < declaration.size() && declaration.at(i).isSpace())
                ++i;
            if (i < declaration.size() && declaration.at(i) == QLatin1Char('='))
                ++i;
            while (i < declaration.size() && declaration.at(i).isSpace())
                ++i;
            QString name;
            if (i < declaration.size() &&
                (declaration.at(i) == QLatin1Char('"') || declaration.at(i) == QLatin1Char('\''))) {
                const qsizetype end = declaration.indexOf(declaration.at(i), i + 1);
                if (end > i)
                    name = declaration.mid(i + 1, end - i - 1).toString();
            }
            const QString lower = name.toLower();
            const bool utf8 = lower == QLatin1String("utf-8") || lower == QLatin1String("utf8");
            const bool utf16 = lower == QLatin1String("utf-16") || lower == QLatin1String("utf-16le") ||
                               lower == QLatin1String("utf-16be");
            if (!utf8 && !utf16)
                Invalid(file, QStringLiteral("the encoding \"%1\" is not supported (UTF-8 or UTF-16 only)").arg(name));
            if (utf8 != (encoding == QStringConverter::Utf8))
                Invalid(file, QStringLiteral("the declared encoding \"%1\" does not match the text").arg(name));
        }
    }
    return text;
}

// Counts the attributes of every start tag before the XML parser sees them:
// the parser compares each attribute with all the earlier ones of its
// element, so a tag of many thousands would hold it for minutes. Comments,
// CDATA sections, processing instructions and the document type declaration
// are skipped; what is malformed is left to the parser to refuse.
void CheckAttributeCounts(QStringView text, const QString &file)
{
    const qsizetype n = text.size();
    const auto after = [&](qsizetype from, QLatin1String end) {
        const qsizetype at = text.indexOf(end, from);
        return at < 0 ? n : at + end.size();
    };
    const auto skipQuoted = [&](qsizetype quote) {
        const qsizetype end = text.indexOf(text.at(quote), quote + 1);
        return end < 0 ? n : end + 1;
    };
    qsizetype i = 0;
    while (i < n) {
        i = text.indexOf(QLatin1Char('<'), i);
        if (i < 0)
            return;
        const QStringView rest = text.mid(i);
        if (rest.startsWith(QLatin1String("<!--"))) {
            i = after(i + 4, QLatin1String("-->"));
        } else if (rest.startsWith(QLatin1String("<![CDATA["))) {
            i = after(i + 9, QLatin1String("]]>"));
        } else if (rest.startsWith(QLatin1String("<?"))) {
            i = after(i + 2, QLatin1String("?>"));
        } else if (rest.startsWith(QLatin1String("<!"))) {
            // Declarations, with an internal subset in brackets.
            bool subset = false;
            i += 2;
            while (i < n) {
                const QChar c = text.at(i);
                const QStringView here = text.mid(i);
                if (c == QLatin1Char('"') || c == QLatin1Char('\''))
                    i = skipQuoted(i);
                else if (subset && here.startsWith(QLatin1String("<!--")))
                    i = after(i + 4, QLatin1String("-->"));
                else if (subset && here.startsWith(QLatin1String("<?")))
                    i = after(i + 2, QLatin1String("?>"));
                else if (c == QLatin1Char('[') && !subset)
                    subset = true, ++i;
                else if (c == QLatin1Char(']') && subset)
                    subset = false, ++i;
                else if (c == QLatin1Char('>') && !subset) {
                    ++i;
                    break;
                } else
                    ++i;
            }
        } else {
            // A start or end tag: one "=" outside the quotes per attribute.
            int count = 0;
            ++i;
            while (i < n && text.at(i) != QLatin1Char('>')) {
                const QChar c = text.at(i);
                if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
                    i = skipQuoted(i);
                    continue;
                }
                if (c == QLatin1Char('=') && ++count > MaxAttributes)
                    Invalid(file, QStringLiteral("an element has more than %1 attributes").arg(MaxAttributes));
                ++i;
            }
            ++i;
        }
    }
}

class XmlReader
{
public:
    XmlReader(const QString &text, const QString &fileName) : m_x(text), m_file(fileName) {}

    Contents read()
    {
        nextElement();
        if (m_x.name() != QLatin1String("DATAPACKET"))
            fail(QStringLiteral("the root element is not DATAPACKET"));
        bool sawFields = false;
        bool sawRows = false;
        while (nextChild()) {
            if (m_x.name() == QLatin1String("METADATA")) {
                while (nextChild()) {
                    if (m_x.name() == QLatin1String("FIELDS")) {
                        if (sawFields)
                            fail(QStringLiteral("the field list appears twice"));
                        readFields();
                        sawFields = true;
                    } else {
                        m_x.skipCurrentElement();
                    }
                }
            } else if (m_x.name() == QLatin1String("ROWDATA")) {
                if (!sawFields)
                    fail(QStringLiteral("the rows come before the field list"));
                if (sawRows)
                    fail(QStringLiteral("the rows appear twice"));
                readRows();
                sawRows = true;
            } else {
                m_x.skipCurrentElement();
            }
        }
        check();
        if (!sawFields || !sawRows)
            fail(QStringLiteral("the packet is incomplete"));
        // Only comments and blanks may follow the packet: the parser refuses
        // anything else.
        while (!m_x.atEnd())
            m_x.readNext();
        check();
        return std::move(m_contents);
    }

private:
    [[noreturn]] void fail(const QString &reason) const { Invalid(m_file, reason); }

    void check()
    {
        if (m_x.hasError())
            fail(QStringLiteral("%1 (line %2)").arg(m_x.errorString()).arg(m_x.lineNumber()));
    }

    void nextElement()
    {
        while (!m_x.atEnd()) {
            if (m_x.readNext() == QXmlStreamReader::StartElement)
                return;
        }
        check();
        fail(QStringLiteral("no element found"));
    }

    bool nextChild()
    {
        const bool found = m_x.readNextStartElement();
        check();
        return found;
    }

    void readFields()
    {
        while (nextChild()) {
            if (m_x.name() != QLatin1String("FIELD")) {
                m_x.skipCurrentElement();
                continue;
            }
            if (m_contents.fields.size() >= MaxFields)
                fail(QStringLiteral("too many fields"));
            const QXmlStreamAttributes a = m_x.attributes();
            FieldDef def;
            def.name = a.value(QLatin1String("attrname")).toString();
            if (def.name.isEmpty() || def.name.size() > MaxNameLength)
                fail(QStringLiteral("a field has no valid name"));
            const QStringView type = a.value(QLatin1String("fieldtype"));
            if (type == QLatin1String("i4") || type == QLatin1String("i2") || type == QLatin1String("i1"))
                def.type = FieldType::Integer;
            else if (type == QLatin1String("dateTime") || type == QLatin1String("date"))
                def.type = FieldType::DateTime;
            else if (type == QLatin1String("string") || type == QLatin1String("string.uni"))
                def.type = FieldType::String;
            else if (type == QLatin1String("bin.hex") && a.value(QLatin1String("SUBTYPE")) == QLatin1String("Text"))
                def.type = FieldType::Memo;
            else if (type == QLatin1String("boolean"))
                def.type = FieldType::Boolean;
            else
                fail(QStringLiteral("unknown type \"%1\" of field \"%2\"").arg(type.toString(), def.name));
            def.required = a.value(QLatin1String("required")) == QLatin1String("true");
            if (a.hasAttribute(QLatin1String("WIDTH"))) {
                bool ok = false;
                const int width = a.value(QLatin1String("WIDTH")).toInt(&ok);
                if (!ok || width < 0 || width > MaxFieldSize)
                    fail(QStringLiteral("the width of field \"%1\" is invalid").arg(def.name));
                def.size = width;
            }
            for (const FieldDef &other : std::as_const(m_contents.fields)) {
                if (other.name.compare(def.name, Qt::CaseInsensitive) == 0)
                    fail(QStringLiteral("the field \"%1\" appears twice").arg(def.name));
            }
            m_contents.fields.append(def);
            m_x.skipCurrentElement();
            check();
        }
        m_layout = RowLayout::of(m_contents.fields);
    }

    void readRows()
    {
        const int fieldCount = int(m_contents.fields.size());
        while (nextChild()) {
            if (m_x.name() != QLatin1String("ROW")) {
                m_x.skipCurrentElement();
                continue;
            }
            RowData row = m_layout.emptyRow();
            const QXmlStreamAttributes attributes = m_x.attributes();
            if (attributes.size() > MaxAttributes)
                fail(QStringLiteral("an element has more than %1 attributes").arg(MaxAttributes));
            for (const QXmlStreamAttribute &attr : attributes) {
                int i = -1;
                for (int f = 0; f < fieldCount; ++f) {
                    if (m_contents.fields[f].name == attr.name())
                        i = f;
                }
                if (i < 0)
                    continue; // attributes of the engine's own (RowState) and unknown ones
                setValue(row, i, attr.value().toString());
            }
            try {
                m_rows.add(std::move(row));
            } catch (const std::length_error &) {
                fail(QStringLiteral("more than %1 rows").arg(MaxRows));
            }
            m_x.skipCurrentElement();
            check();
        }
        m_contents.rows = m_rows.finish();
    }

    void setValue(RowData &row, int i, const QString &text)
    {
        const FieldDef &def = m_contents.fields[i];
        const int slot = m_layout.slots[size_t(i)];
        const auto what = [&] {
            return QStringLiteral("the value of \"%1\" in row %2").arg(def.name).arg(m_rows.size() + 1);
        };
        switch (def.type) {
        case FieldType::Integer: {
            bool ok = false;
            const int v = text.toInt(&ok);
            if (!ok)
                fail(QStringLiteral("%1 is not an integer").arg(what()));
            row.numbers[slot] = double(v);
            break;
        }
        case FieldType::DateTime: {
            double v = 0;
            if (!parseXmlDateTime(text, v))
                fail(QStringLiteral("%1 is not a date-time").arg(what()));
            if (!IsValidDateTime(v))
                fail(QStringLiteral("%1 is out of range").arg(what()));
            row.numbers[slot] = v;
            break;
        }
        case FieldType::Boolean:
            if (text.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0)
                row.numbers[slot] = 1;
            else if (text.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0)
                row.numbers[slot] = 0;
            else
                fail(QStringLiteral("%1 is not a boolean").arg(what()));
            break;
        case FieldType::String:
        case FieldType::Memo:
            row.strings[slot] = def.size > 0 ? CutText(text, def.size) : text;
            break;
        }
        row.nullMask &= ~(quint64(1) << i);
    }

    QXmlStreamReader m_x;
    QString m_file;
    Contents m_contents;
    RowCollector m_rows;
    RowLayout m_layout;
};

} // namespace

// Makes the written bytes durable before the file replaces the old one, so
// a power cut right after the rename cannot leave an empty data file.
bool SyncToDisk(QSaveFile &file)
{
#ifdef Q_OS_UNIX
    return ::fsync(file.handle()) == 0;
#else
    Q_UNUSED(file);
    return true;
#endif
}

QByteArray encode(const QList<FieldDef> &fields, const std::vector<Row> &rows, Format format, const QString &fileName)
{
    CheckWritable(fields, rows.size(), format, fileName);
    QByteArray bytes = format == Format::Xml ? encodeXml(fields, rows, fileName) : encodeBinary(fields, rows, fileName);
    if (bytes.size() > MaxFileSize)
        throw EDatabaseError(QStringLiteral("Cannot write file \"%1\": the data would exceed %2 MB")
                                 .arg(fileName)
                                 .arg(MaxFileSize / (1024 * 1024)));
    return bytes;
}

QByteArray encode(const Table &table, Format format, const QString &fileName)
{
    return encode(table.fieldDefs(), table.rows(), format, fileName);
}

void writeFile(const QString &fileName, const QByteArray &bytes)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw EDatabaseError(QStringLiteral("Cannot create file \"%1\": %2").arg(fileName, file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.flush() || !SyncToDisk(file) || !file.commit())
        throw EDatabaseError(QStringLiteral("Cannot write file \"%1\": %2").arg(fileName, file.errorString()));
}

void write(const QString &fileName, const Table &table, Format format)
{
    writeFile(fileName, encode(table, format, fileName));
}

Contents decodeBinary(const QByteArray &bytes, const QString &fileName)
{
    return BinaryReader(bytes, fileName).read();
}

Contents decodeXml(const QByteArray &bytes, const QString &fileName)
{
    const QString text = DecodeXmlText(bytes, fileName);
    CheckAttributeCounts(text, fileName);
    return XmlReader(text, fileName).read();
}

Contents decode(const QByteArray &bytes, const QString &fileName)
{
    if (bytes.startsWith("\xd9\xd9\xf7"))
        return decodeBinary(bytes, fileName);
    if (bytes.startsWith("\xff\xfe") || bytes.startsWith("\xfe\xff") || bytes.startsWith(QByteArray("<\0", 2)) ||
        bytes.startsWith(QByteArray("\0<", 2)))
        return decodeXml(bytes, fileName);
    qsizetype i = bytes.startsWith("\xef\xbb\xbf") ? 3 : 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    if (i < bytes.size() && bytes[i] == '<')
        return decodeXml(bytes, fileName);
    Invalid(fileName, QStringLiteral("unknown format"));
}

QByteArray readFileBytes(const QString &fileName, qint64 maxSize)
{
    QFile file;
    bool opened = false;
#ifdef Q_OS_UNIX
    // Opened without waiting (a FIFO would block the open until a writer
    // comes), then the open file itself is asked what it is: nothing can
    // swap the file between the check and the read.
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        struct stat info;
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            Invalid(fileName, QStringLiteral("it is not a regular file"));
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        opened = file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
        if (!opened)
            ::close(fd);
    }
    if (!opened) {
        file.setFileName(fileName);
        opened = file.open(QIODevice::ReadOnly);
    }
#else
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile())
        Invalid(fileName, QStringLiteral("it is not a regular file"));
    file.setFileName(fileName);
    opened = file.open(QIODevice::ReadOnly);
#endif
    if (!opened)
        throw EDatabaseError(QStringLiteral("Cannot open file \"%1\": %2").arg(fileName, file.errorString()));
    const auto tooLarge = [&] { Invalid(fileName, QStringLiteral("the file is too large")); };
    if (file.size() > maxSize)
        tooLarge();
    // Read in pieces up to one byte past the limit, whatever size the file
    // claims: some files claim none and deliver without end.
    QByteArray bytes;
    bytes.reserve(qsizetype(std::min(file.size(), maxSize)) + 1);
    constexpr qint64 Piece = 1 << 20;
    for (;;) {
        const qsizetype at = bytes.size();
        const qint64 want = std::min<qint64>(Piece, maxSize + 1 - at);
        bytes.resize(at + qsizetype(want));
        const qint64 got = file.read(bytes.data() + at, want);
        if (got < 0)
            throw EDatabaseError(QStringLiteral("Cannot read file \"%1\": %2").arg(fileName, file.errorString()));
        bytes.resize(at + qsizetype(got));
        if (bytes.size() > maxSize)
            tooLarge();
        if (got == 0)
            break;
    }
    return bytes;
}

Contents read(const QString &fileName)
{
    try {
        return decode(readFileBytes(fileName), fileName);
    } catch (const std::bad_alloc &) {
        throw EDatabaseError(QStringLiteral("Cannot read file \"%1\": not enough memory").arg(fileName));
    }
}

} // namespace store::DataPacket
