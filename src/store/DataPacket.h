#pragma once

#include "store/TableEngine.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

// The data-packet files of the table engine. Two forms share one content, the
// field definitions and the rows: the native form, a self-describing CBOR
// document (docs/DATA_FORMAT.md), and the XML form (METADATA/FIELDS and
// ROWDATA/ROW). Readers detect the form and validate every size, type and
// count as they read: a damaged or hostile file raises EDatabaseError naming
// the file.
namespace store::DataPacket {

enum class Format { Binary, Xml };

struct Contents
{
    QList<FieldDef> fields;
    std::vector<Row> rows;
};

// Largest file and most rows a reader accepts (a data file of 100,000 alarms
// takes about 15 MB).
inline constexpr qint64 MaxFileSize = qint64(256) * 1024 * 1024;
inline constexpr int MaxRows = 2000000;

// Writes the stored (not calculated) fields and every row of the table,
// replacing the file atomically.
void write(const QString &fileName, const Table &table, Format format);
// The bytes of a file in the given form. What a reader would refuse (a
// date-time outside the years 1 to 9999, an integer out of range, a name the
// form cannot carry) is refused here instead, with an error naming the file:
// nothing is written that cannot be read back.
QByteArray encode(const Table &table, Format format, const QString &fileName = QString());
QByteArray encode(const QList<FieldDef> &fields, const std::vector<Row> &rows, Format format,
                  const QString &fileName = QString());
// Replaces a file with the bytes atomically (temporary file, sync, rename).
void writeFile(const QString &fileName, const QByteArray &bytes);

// Reads a file in either form.
Contents read(const QString &fileName);
// The bytes of a regular file, at most maxSize of them whatever the file
// claims; anything else (a FIFO, a device, a folder, a larger file) raises
// EDatabaseError naming the file.
QByteArray readFileBytes(const QString &fileName, qint64 maxSize = MaxFileSize);
// Decodes bytes; the name is used in the messages.
Contents decode(const QByteArray &bytes, const QString &fileName);
Contents decodeBinary(const QByteArray &bytes, const QString &fileName);
Contents decodeXml(const QByteArray &bytes, const QString &fileName);

} // namespace store::DataPacket
