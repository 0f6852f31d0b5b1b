// The data-packet files: both forms keep field definitions and rows exactly,
// a reader tells absent fields, and damaged or hostile files give a clear
// error naming the file instead of a crash, a hang or a huge allocation.
#include "store/DataPacket.h"
#include "store/TableEngine.h"
#include "support/Failure.h"

#include <QCborStreamWriter>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cmath>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace store;
using testsupport::FailureOf;

namespace {

QList<FieldDef> Fields()
{
    return {
        {QStringLiteral("Number"), FieldType::Integer, 0, true, false},
        {QStringLiteral("Date"), FieldType::DateTime, 0, true, false},
        {QStringLiteral("Title"), FieldType::String, 25, false, false},
        {QStringLiteral("Comments"), FieldType::Memo, 0, false, false},
        {QStringLiteral("Flag"), FieldType::Boolean, 0, false, false},
        {QStringLiteral("Calc"), FieldType::Boolean, 0, false, true},
    };
}

void Fill(Table &t)
{
    t.setFieldDefs(Fields());
    t.createDataSet();
    t.appendRecord({1, zel::EncodeDateTime(2026, 3, 10, 8, 0, 1, 234), QStringLiteral("Caf\u00e9 <&> \"x\""),
                    QStringLiteral("line 1\r\nline 2\ttab"), true});
    t.appendRecord({-2147483647 - 1, zel::EncodeDate(1899, 12, 30), QString(), QVariant(), false});
    t.appendRecord({2147483647, zel::EncodeDateTime(9999, 12, 31, 23, 59, 59, 999), QStringLiteral("\U0001F514 bell"),
                    QString(2000, QLatin1Char('m')), QVariant()});
}

// Half a surrogate pair at the end of a text is written as a replacement
// character and leaves the next value whole.
void FillBrokenText(Table &t)
{
    t.setFieldDefs(Fields());
    t.createDataSet();
    t.appendRecord({3, 1.5, QString(QChar(0xD83D)), QStringLiteral("\U0001F514 after"), true});
}

QByteArray ValidBinary()
{
    Table t(QStringLiteral("t"));
    Fill(t);
    return DataPacket::encode(t, DataPacket::Format::Binary);
}

// A CBOR packet built by hand: field list, then rows.
QByteArray Packet(const std::function<void(QCborStreamWriter &)> &fields,
                  const std::function<void(QCborStreamWriter &)> &rows)
{
    QByteArray bytes;
    QCborStreamWriter w(&bytes);
    w.append(QCborTag(55799));
    w.startMap();
    w.append(QLatin1String("packet"));
    w.append(QLatin1String("Almarik data packet"));
    w.append(QLatin1String("version"));
    w.append(1);
    w.append(QLatin1String("fields"));
    fields(w);
    w.append(QLatin1String("rows"));
    rows(w);
    w.endMap();
    return bytes;
}

// One field definition: its name and type.
void FieldDefinition(QCborStreamWriter &w, const char *name, const char *type)
{
    w.startMap(2);
    w.append(QLatin1String("name"));
    w.append(QLatin1String(name));
    w.append(QLatin1String("type"));
    w.append(QLatin1String(type));
    w.endMap();
}

// No rows at all.
void NoRows(QCborStreamWriter &w)
{
    w.startArray(0);
    w.endArray();
}

void OneIntField(QCborStreamWriter &w)
{
    w.startArray(1);
    FieldDefinition(w, "Number", "integer");
    w.endArray();
}

// One text field of the given size and one row holding the text.
QByteArray TextPacket(int size, const QString &text)
{
    return Packet(
        [size](QCborStreamWriter &w) {
            w.startArray(1);
            w.startMap(3);
            w.append(QLatin1String("name"));
            w.append(QLatin1String("T"));
            w.append(QLatin1String("type"));
            w.append(QLatin1String("string"));
            w.append(QLatin1String("size"));
            w.append(size);
            w.endMap();
            w.endArray();
        },
        [text](QCborStreamWriter &w) {
            w.startArray(1);
            w.startArray(1);
            w.append(text);
            w.endArray();
            w.endArray();
        });
}

// An XML packet with one field of the given type and one row holding the
// value (written as it is, so it may be anything).
QByteArray XmlPacket(const char *type, const QByteArray &value, const QByteArray &extra = {})
{
    return QByteArray("<?xml version=\"1.0\"?><DATAPACKET><METADATA><FIELDS><FIELD attrname=\"T\" fieldtype=\"") +
           type + "\"" + extra + "/></FIELDS></METADATA><ROWDATA><ROW T=\"" + value + "\"/></ROWDATA></DATAPACKET>";
}

QString Letters(int count)
{
    QString s;
    for (int i = 0; i < count; ++i)
        s += QLatin1Char(char('a' + i % 26));
    return s;
}

void WriteFile(const QString &file, const QByteArray &bytes)
{
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(bytes);
}

} // namespace

class TestDataPacket : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void bothFormsRoundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("format");
        QTest::newRow("native") << QStringLiteral("a.ka2") << int(DataPacket::Format::Binary);
        QTest::newRow("xml") << QStringLiteral("a.xml") << int(DataPacket::Format::Xml);
    }

    void bothFormsRoundTrip()
    {
        QFETCH(QString, name);
        QFETCH(int, format);
        Table source(QStringLiteral("source"));
        Fill(source);
        const QString file = m_dir.filePath(name);
        source.saveToFile(file, Table::FileFormat(format));

        Table read(QStringLiteral("read"));
        read.loadFromFile(file);
        QVERIFY(read.readOnly());
        QCOMPARE(read.fieldCount(), 5); // the calculated field is not stored
        QVERIFY(read.findField(QStringLiteral("Calc")) == nullptr);
        QVERIFY(read.findField(QStringLiteral("Beep")) == nullptr);
        QCOMPARE(read.fieldByName(QStringLiteral("Title")).size(), 25);
        QVERIFY(read.fieldByName(QStringLiteral("Number")).required());
        QCOMPARE(read.fieldByName(QStringLiteral("Comments")).dataType(), FieldType::Memo);
        QCOMPARE(read.recordCount(), 3);
        for (int row = 0; row < 3; ++row) {
            for (int f = 0; f < 5; ++f) {
                const QVariant expected = source.withRow(row, [&] { return source.field(f).value(); });
                const QVariant actual = read.withRow(row, [&] { return read.field(f).value(); });
                QCOMPARE(actual.isNull(), expected.isNull());
                QCOMPARE(actual, expected);
            }
        }
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, read.append());
    }

    void halfSurrogatePairs()
    {
        Table source(QStringLiteral("source"));
        FillBrokenText(source);
        const DataPacket::Contents read =
            DataPacket::decode(DataPacket::encode(source, DataPacket::Format::Binary), QStringLiteral("x.ka2"));
        QCOMPARE(read.rows.size(), size_t(1));
        QCOMPARE(read.rows[0]->strings[0], QString(QChar(0xFFFD)));
        QCOMPARE(read.rows[0]->strings[1], QStringLiteral("\U0001F514 after"));
    }

    // Awkward texts in a title of 25 characters and in a memo, crossed with
    // both forms: the native form brings every character back exactly (half
    // a surrogate pair is no character: UTF-8 carries it as U+FFFD); the XML
    // form writes U+FFFD for what XML 1.0 cannot carry and changes nothing
    // else. Both files always read back.
    void awkwardTextsComeBack_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("comments");
        const QString r(QChar(QChar::ReplacementCharacter));
        const QString high(QChar(0xD83D));
        const QString low(QChar(0xDD14));
        const QString bell = QStringLiteral("\U0001F514");
        struct Case
        {
            const char *name;
            QString text;
            QString native;
            QString xml;
        };
        const QList<Case> cases = {
            {"control characters",
             QStringLiteral("a\x01"
                            "b\x1f"
                            "c\x7f"),
             QStringLiteral("a\x01"
                            "b\x1f"
                            "c\x7f"),
             QStringLiteral("a") + r + QStringLiteral("b") + r + QStringLiteral("c\x7f")},
            {"NUL", QString(QChar(0)) + QStringLiteral("x"), QString(QChar(0)) + QStringLiteral("x"),
             r + QStringLiteral("x")},
            {"U+FEFF first", QStringLiteral("\uFEFFTitle"), QStringLiteral("\uFEFFTitle"),
             QStringLiteral("\uFEFFTitle")},
            {"U+FEFF only", QStringLiteral("\uFEFF"), QStringLiteral("\uFEFF"), QStringLiteral("\uFEFF")},
            {"U+FFFE and U+FFFF", QStringLiteral("x\uFFFEy\uFFFFz"), QStringLiteral("x\uFFFEy\uFFFFz"),
             QStringLiteral("x") + r + QStringLiteral("y") + r + QStringLiteral("z")},
            {"lone high surrogate", QStringLiteral("a") + high + QStringLiteral("b"),
             QStringLiteral("a") + r + QStringLiteral("b"), QStringLiteral("a") + r + QStringLiteral("b")},
            {"lone low surrogate at the end", QStringLiteral("a") + low, QStringLiteral("a") + r,
             QStringLiteral("a") + r},
            {"low before high", low + high, r + r, r + r},
            {"surrogate pair", QStringLiteral("bell ") + bell, QStringLiteral("bell ") + bell,
             QStringLiteral("bell ") + bell},
            {"CR LF and tabs", QStringLiteral("1\r\n2\t3\r4\n"), QStringLiteral("1\r\n2\t3\r4\n"),
             QStringLiteral("1\r\n2\t3\r4\n")},
            {"blanks and markup", QStringLiteral("  <&>\"' "), QStringLiteral("  <&>\"' "),
             QStringLiteral("  <&>\"' ")},
            {"25 characters ending in an emoji", Letters(24) + bell, Letters(24) + bell, Letters(24) + bell},
        };
        for (const Case &c : cases) {
            for (const int format : {int(DataPacket::Format::Binary), int(DataPacket::Format::Xml)}) {
                const QString expected = format == int(DataPacket::Format::Xml) ? c.xml : c.native;
                // The title field keeps 25 characters, cut before a pair.
                const QString title = expected.size() > 25 ? Letters(24) : expected;
                QTest::addRow("%s, %s", c.name, format == int(DataPacket::Format::Xml) ? "XML" : "native")
                    << format << c.text << title << expected;
            }
        }
    }

    void awkwardTextsComeBack()
    {
        QFETCH(int, format);
        QFETCH(QString, text);
        QFETCH(QString, title);
        QFETCH(QString, comments);
        Table source(QStringLiteral("source"));
        source.setFieldDefs(Fields());
        source.createDataSet();
        source.appendRecord({1, 2.5, text, text, true});
        const QString file = m_dir.filePath(QStringLiteral("texts.ka2"));
        source.saveToFile(file, Table::FileFormat(format));

        Table read(QStringLiteral("read"));
        read.loadFromFile(file);
        QCOMPARE(read.recordCount(), 1);
        QCOMPARE(read.fieldByName(QStringLiteral("Title")).asString(), title);
        QCOMPARE(read.fieldByName(QStringLiteral("Comments")).asString(), comments);
    }

    // A text cut to its field's length never keeps half a surrogate pair:
    // when a value is set and when either reader cuts a longer text.
    void cutsKeepSurrogatePairsWhole_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const QString bell = QStringLiteral("\U0001F514");
        const QString split = Letters(24) + bell;
        const QString kept = Letters(24) + bell + QStringLiteral("x");
        QTest::newRow("native, pair split") << TextPacket(25, split) << 25 << split << Letters(24);
        QTest::newRow("native, pair kept") << TextPacket(26, kept) << 26 << kept << Letters(24) + bell;
        QTest::newRow("native, letters") << TextPacket(3, QStringLiteral("abcd")) << 3 << QStringLiteral("abcd")
                                         << QStringLiteral("abc");
        QTest::newRow("XML, pair split") << XmlPacket("string", split.toUtf8(), " WIDTH=\"25\"") << 25 << split
                                         << Letters(24);
        QTest::newRow("XML, letters") << XmlPacket("string", "abcd", " WIDTH=\"3\"") << 3 << QStringLiteral("abcd")
                                      << QStringLiteral("abc");
    }

    void cutsKeepSurrogatePairsWhole()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, size);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const DataPacket::Contents read = DataPacket::decode(bytes, QStringLiteral("cut.ka2"));
        QCOMPARE(read.rows.size(), size_t(1));
        QCOMPARE(read.rows[0]->strings[0], expected);

        Table t(QStringLiteral("t"));
        t.setFieldDefs({{QStringLiteral("T"), FieldType::String, size, false, false}});
        t.createDataSet();
        t.append();
        t.fieldByName(QStringLiteral("T")).setAsString(text);
        QCOMPARE(t.fieldByName(QStringLiteral("T")).asString(), expected);
    }

    // The edges of the date-time range are written and read back in both
    // forms, times of day before 1899 included.
    void dateTimeEdgesRoundTrip_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("native") << int(DataPacket::Format::Binary);
        QTest::newRow("XML") << int(DataPacket::Format::Xml);
    }

    void dateTimeEdgesRoundTrip()
    {
        QFETCH(int, format);
        const QList<TDateTime> values = {zel::EncodeDate(1, 1, 1),
                                         zel::ToDateTime(QDateTime(QDate(1, 1, 1), QTime(6, 0))),
                                         zel::ToDateTime(QDateTime(QDate(1899, 12, 29), QTime(23, 59, 59, 999))),
                                         zel::EncodeDateTime(9999, 12, 31, 23, 59, 59, 999)};
        Table source(QStringLiteral("source"));
        source.setFieldDefs({{QStringLiteral("D"), FieldType::DateTime, 0, false, false}});
        source.createDataSet();
        for (TDateTime v : values)
            source.appendRecord({v});
        const QString file = m_dir.filePath(QStringLiteral("edges.ka2"));
        source.saveToFile(file, Table::FileFormat(format));
        Table read(QStringLiteral("read"));
        read.loadFromFile(file);
        QCOMPARE(read.recordCount(), int(values.size()));
        for (int i = 0; i < read.recordCount(); ++i)
            QCOMPARE(read.withRow(i, [&] { return read.field(0).asDateTime(); }), values[i]);
    }

    // Nothing is written that its reader would refuse: the writer refuses
    // it with a message naming the file, before a byte is written.
    void writerRefusesWhatItsReaderRefuses_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("number");
        const double nan = std::nan("");
        for (const int format : {int(DataPacket::Format::Binary), int(DataPacket::Format::Xml)}) {
            const char *form = format == int(DataPacket::Format::Xml) ? "XML" : "native";
            QTest::addRow("date-time after 9999, %s", form)
                << format << int(FieldType::DateTime) << "Date" << 4000000.0;
            QTest::addRow("date-time at 10000, %s", form) << format << int(FieldType::DateTime) << "Date" << 2958466.0;
            QTest::addRow("date-time before year 1, %s", form)
                << format << int(FieldType::DateTime) << "Date" << -693594.0;
            QTest::addRow("date-time not a number, %s", form) << format << int(FieldType::DateTime) << "Date" << nan;
            QTest::addRow("integer out of range, %s", form) << format << int(FieldType::Integer) << "N" << 1e12;
        }
        QTest::newRow("name XML cannot carry")
            << int(DataPacket::Format::Xml) << int(FieldType::Integer) << "two words" << 1.0;
    }

    void writerRefusesWhatItsReaderRefuses()
    {
        QFETCH(int, format);
        QFETCH(int, type);
        QFETCH(QString, name);
        QFETCH(double, number);
        const QList<FieldDef> fields = {{name, FieldType(type), 0, false, false}};
        RowData row = RowLayout::of(fields).emptyRow();
        row.numbers[0] = number;
        row.nullMask = 0;
        const std::vector<Row> rows = {std::make_shared<const RowData>(row)};
        const QString file = m_dir.filePath(QStringLiteral("refused.ka2"));
        const QString message = FailureOf([&] { DataPacket::encode(fields, rows, DataPacket::Format(format), file); });
        QVERIFY2(message.startsWith(QStringLiteral("Cannot write file \"%1\": ").arg(file)), qPrintable(message));
    }

    // Damaged or hostile files refused for the reason they are.
    void refusedWithReason_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QByteArray valid = ValidBinary();
        const QByteArray xml = XmlPacket("string", "x");
        QTest::newRow("second packet") << valid + valid << "bytes follow the end of the packet";
        QTest::newRow("junk after the packet") << valid + "junk"
                                               << "4 bytes follow the end of the packet";
        QTest::newRow("XML junk after the packet") << xml + "junk"
                                                   << "line 1";
        QTest::newRow("XML second packet") << xml + xml << "line 1";
        QTest::newRow("XML declared UTF-7") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-7\"?><DATAPACKET/>")
                                            << "the encoding \"UTF-7\" is not supported (UTF-8 or UTF-16 only)";
        QTest::newRow("XML declared Latin-1") << QByteArray("<?xml version='1.0' encoding='ISO-8859-1'?>") + xml.mid(21)
                                              << "the encoding \"ISO-8859-1\" is not supported";
        QTest::newRow("XML declared UTF-16, written in UTF-8")
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-16\"?><DATAPACKET/>")
            << "the declared encoding \"UTF-16\" does not match the text";
        QTest::newRow("XML not UTF-8") << XmlPacket("string", "caf\xe9") << "the text is not valid UTF-8";
        QByteArray many;
        for (int i = 0; i < 20000; ++i)
            many += " a" + QByteArray::number(i) + "=\"1\"";
        QTest::newRow("XML row of many attributes")
            << XmlPacket("string", "x\"" + many + " y=\"") << "an element has more than 256 attributes";
        QTest::newRow("XML field of many attributes")
            << XmlPacket("string", "x", many) << "an element has more than 256 attributes";
        QTest::newRow("XML many attributes after a comment and a declaration")
            << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE d [<!-- \" --><!ENTITY e \"<>\">]><!-- ' > -->") +
                   xml.mid(21).replace("<ROW ", QByteArray("<ROW" + many + " "))
            << "an element has more than 256 attributes";
    }

    void refusedWithReason()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const QString file = m_dir.filePath(QStringLiteral("hostile.ka2"));
        WriteFile(file, bytes);
        const QString message = FailureOf([&] { DataPacket::read(file); });
        QVERIFY2(message.startsWith(QStringLiteral("\"%1\" is not a valid data file: ").arg(file)),
                 qPrintable(message));
        QVERIFY2(message.contains(reason), qPrintable(message));
    }

    // UTF-8 and UTF-16 packets are read, with or without a byte-order mark.
    void xmlInUtf8AndUtf16_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?><DATAPACKET><METADATA><FIELDS>"
                                            "<FIELD attrname=\"T\" fieldtype=\"string\"/></FIELDS></METADATA>"
                                            "<ROWDATA><ROW T=\"caf\u00e9 \u20ac\U0001F514\"/></ROWDATA></DATAPACKET>");
        const auto encoded = [&](QStringConverter::Encoding encoding, const char *name, bool bom) {
            QStringEncoder encoder(encoding, bom ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
            return QByteArray(encoder.encode(text.arg(QLatin1String(name))));
        };
        QTest::newRow("UTF-8") << encoded(QStringConverter::Utf8, "UTF-8", false);
        QTest::newRow("UTF-8 with mark") << encoded(QStringConverter::Utf8, "utf-8", true);
        QTest::newRow("UTF-16LE with mark") << encoded(QStringConverter::Utf16LE, "UTF-16", true);
        QTest::newRow("UTF-16BE with mark") << encoded(QStringConverter::Utf16BE, "UTF-16", true);
        QTest::newRow("UTF-16LE without mark") << encoded(QStringConverter::Utf16LE, "UTF-16LE", false);
        QTest::newRow("UTF-16BE without mark") << encoded(QStringConverter::Utf16BE, "UTF-16BE", false);
    }

    void xmlInUtf8AndUtf16()
    {
        QFETCH(QByteArray, bytes);
        const DataPacket::Contents read = DataPacket::decode(bytes, QStringLiteral("x.xml"));
        QCOMPARE(read.rows.size(), size_t(1));
        QCOMPARE(read.rows[0]->strings[0], QStringLiteral("caf\u00e9 \u20ac\U0001F514"));
    }

    // Only regular files are opened: a FIFO would block the start, a device
    // would be read without end. The error names the file.
    void onlyRegularFilesAreRead_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << QStringLiteral("fifo");
        QTest::newRow("link to a device") << QStringLiteral("device");
        QTest::newRow("folder") << QStringLiteral("folder");
    }

    void onlyRegularFilesAreRead()
    {
        QFETCH(QString, kind);
        const QString file = m_dir.filePath(kind + QStringLiteral(".ka2"));
        const QByteArray path = QFile::encodeName(file);
        if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        else if (kind == QLatin1String("device"))
            QCOMPARE(::symlink("/dev/zero", path.constData()), 0);
        else
            QVERIFY(QDir().mkdir(file));
        // A reader that waits on the FIFO for a writer is given one, so that
        // a fault fails the test instead of hanging it.
        std::atomic<bool> done{false};
        std::thread writer([&] {
            while (kind == QLatin1String("fifo") && !done) {
                const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0)
                    ::close(fd);
                std::this_thread::yield();
            }
        });
        const QString message = FailureOf([&] { DataPacket::read(file); });
        done = true;
        writer.join();
        QCOMPARE(message, QStringLiteral("\"%1\" is not a valid data file: it is not a regular file").arg(file));
    }

    // The size limit holds whatever size the file claims (a file of the
    // system claims none and has some).
    void readingStopsAtTheLimit()
    {
        const QString file = QStringLiteral("/proc/self/status");
        QCOMPARE(QFileInfo(file).size(), 0);
        QVERIFY(DataPacket::readFileBytes(file, 1 << 20).size() > 100);
        QCOMPARE(FailureOf([&] { DataPacket::readFileBytes(file, 100); }),
                 QStringLiteral("\"%1\" is not a valid data file: the file is too large").arg(file));
    }

    // The regression cases of the fuzzers' corpora.
    void corpusCases()
    {
        const QString root = QStringLiteral(ALMARIK_SOURCE_DIR "/tests/fuzz/corpus/");
        Table t(QStringLiteral("t"));
        t.loadFromFile(root + QStringLiteral("cbor/title_with_bom.ka2"));
        QCOMPARE(t.fieldByName(QStringLiteral("Title")).asString(), QStringLiteral("\uFEFFTitle"));
        const QString utf7 = root + QStringLiteral("xml/declared_utf7.xml");
        QVERIFY(FailureOf([&] { t.loadFromFile(utf7); }).contains(QLatin1String("\"UTF-7\" is not supported")));
    }

    void damagedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray valid = ValidBinary();
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("Number;Date\n1;2\n");
        QTest::newRow("mark only") << QByteArray("\xd9\xd9\xf7");
        QTest::newRow("flipped byte") << QByteArray(valid).replace(20, 1, "\xff");
        QTest::newRow("huge declared row count")
            << Packet(OneIntField, [](QCborStreamWriter &w) { w.startArray(quint64(1) << 60); });
        QTest::newRow("huge declared string") << Packet(OneIntField, [](QCborStreamWriter &w) {
                                                     w.startArray(1);
                                                     w.startArray(1);
                                                     w.endArray();
                                                     w.endArray();
                                                 }).replace("\x81\x80", "\x81\x81\x7b\x00\x00\x00\x7f\xff\xff\xff\xff");
        QTest::newRow("wrong value type") << Packet(OneIntField, [](QCborStreamWriter &w) {
            w.startArray(1);
            w.startArray(1);
            w.append(QLatin1String("one"));
            w.endArray();
            w.endArray();
        });
        QTest::newRow("integer out of range") << Packet(OneIntField, [](QCborStreamWriter &w) {
            w.startArray(1);
            w.startArray(1);
            w.append(qint64(1) << 40);
            w.endArray();
            w.endArray();
        });
        QTest::newRow("too few values") << Packet(OneIntField, [](QCborStreamWriter &w) {
            w.startArray(1);
            w.startArray(0);
            w.endArray();
            w.endArray();
        });
        QTest::newRow("rows before fields") << [] {
            QByteArray bytes;
            QCborStreamWriter w(&bytes);
            w.append(QCborTag(55799));
            w.startMap();
            w.append(QLatin1String("rows"));
            w.startArray(0);
            w.endArray();
            w.endMap();
            return bytes;
        }();
        QTest::newRow("unknown field type") << Packet(
            [](QCborStreamWriter &w) {
                w.startArray(1);
                FieldDefinition(w, "X", "blob");
                w.endArray();
            },
            NoRows);
        QTest::newRow("duplicate field") << Packet(
            [](QCborStreamWriter &w) {
                w.startArray(2);
                FieldDefinition(w, "Number", "integer");
                FieldDefinition(w, "Number", "integer");
                w.endArray();
            },
            NoRows);
        QTest::newRow("deep nesting")
            << Packet(OneIntField, NoRows).replace("\x80\xff", "\x80").append(QByteArray(100000, '\x81'));
        QTest::newRow("xml not well formed") << QByteArray("<DATAPACKET><METADATA><FIELDS>");
        QTest::newRow("xml other root") << QByteArray("<?xml version=\"1.0\"?><html/>");
        QTest::newRow("xml bad date") << QByteArray(
            "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"Date\" fieldtype=\"dateTime\"/></FIELDS></METADATA>"
            "<ROWDATA><ROW Date=\"2026-13-45\"/></ROWDATA></DATAPACKET>");
        QTest::newRow("xml unknown type")
            << QByteArray("<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"X\" fieldtype=\"r8\"/></FIELDS></METADATA>"
                          "<ROWDATA/></DATAPACKET>");
        QTest::newRow("xml entity bomb") << QByteArray(
            "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">"
            "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
            "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
            "<!ENTITY e \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
            "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"T\" fieldtype=\"string\"/></FIELDS></METADATA>"
            "<ROWDATA><ROW T=\"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\"/></ROWDATA></DATAPACKET>");
    }

    void damagedFiles()
    {
        QFETCH(QByteArray, bytes);
        const QString file = m_dir.filePath(QStringLiteral("damaged.ka2"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
        out.close();
        Table t(QStringLiteral("t"));
        const QString failure = FailureOf([&] { t.loadFromFile(file); });
        QVERIFY2(failure.contains(file), qPrintable(failure));
        QVERIFY(!t.active());
    }

    // Every truncation of a valid file is refused.
    void truncatedFilesAreRefused()
    {
        const QByteArray valid = ValidBinary();
        for (qsizetype length = 0; length < valid.size(); length += (length < 300 ? 1 : 97)) {
            bool refused = false;
            try {
                DataPacket::decode(valid.left(length), QStringLiteral("cut.ka2"));
            } catch (const EDatabaseError &e) {
                refused = e.message().contains(QLatin1String("cut.ka2"));
            }
            QVERIFY2(refused, qPrintable(QStringLiteral("a file cut at %1 bytes was accepted").arg(length)));
        }
    }

    // The seeds of the fuzzers and every input they found failing are read
    // without a crash: accepted, or refused with a message naming the file.
    void fuzzerFindingsAreReplayed()
    {
        const QDir root(QStringLiteral(ALMARIK_SOURCE_DIR "/tests/fuzz"));
        QDirIterator it(root.path(), {QStringLiteral("*")}, QDir::Files, QDirIterator::Subdirectories);
        int replayed = 0;
        while (it.hasNext()) {
            const QString file = it.next();
            if (file.contains(QLatin1String("/corpus/filter/")) || file.endsWith(QLatin1String(".cpp")) ||
                file.endsWith(QLatin1String("CMakeLists.txt")))
                continue;
            try {
                Table t(QStringLiteral("t"));
                t.loadFromFile(file);
            } catch (const EDatabaseError &e) {
                QVERIFY2(e.message().contains(file), qPrintable(e.message()));
            }
            ++replayed;
        }
        QVERIFY(replayed >= 2);
    }

    void missingFileNamesTheFile()
    {
        Table t(QStringLiteral("t"));
        const QString file = m_dir.filePath(QStringLiteral("none.ka2"));
        const QString failure = FailureOf([&] { t.loadFromFile(file); });
        QVERIFY2(failure.startsWith(QStringLiteral("Cannot open file \"%1\"").arg(file)), qPrintable(failure));
    }
};

QTEST_MAIN(TestDataPacket)
#include "tst_data_packet.moc"
