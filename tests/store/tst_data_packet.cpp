// The data-packet files: both forms keep field definitions and rows exactly,
// a reader tells absent fields, and damaged or hostile files give a clear
// error naming the file instead of a crash, a hang or a huge allocation.
#include "store/DataPacket.h"
#include "store/TableEngine.h"

#include <QCborStreamWriter>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace store;

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
        try {
            t.loadFromFile(file);
            QFAIL("the damaged file was read");
        } catch (const EDatabaseError &e) {
            QVERIFY2(e.message().contains(file), qPrintable(e.message()));
        }
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
        try {
            t.loadFromFile(file);
            QFAIL("no error");
        } catch (const EDatabaseError &e) {
            QVERIFY(e.message().startsWith(QStringLiteral("Cannot open file \"%1\"").arg(file)));
        }
    }
};

QTEST_MAIN(TestDataPacket)
#include "tst_data_packet.moc"
