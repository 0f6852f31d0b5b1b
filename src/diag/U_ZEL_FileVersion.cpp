#include "diag/U_ZEL_FileVersion.h"

#include "diag/ZelException.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// What was found in the file: nothing (no version), or the four numbers.
struct Found
{
    bool present = false;
    quint32 parts[4] = {0, 0, 0, 0};
};

#ifndef Q_OS_WIN
template <typename T>
bool ReadAt(const QByteArray &bytes, quint64 offset, bool littleEndian, T &value)
{
    if (offset > quint64(bytes.size()) || quint64(bytes.size()) - offset < sizeof(T))
        return false;
    unsigned char raw[sizeof(T)];
    std::memcpy(raw, bytes.constData() + offset, sizeof(T));
    quint64 v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
        const size_t index = littleEndian ? sizeof(T) - 1 - i : i;
        v = (v << 8) | raw[index];
    }
    value = T(v);
    return true;
}

// Looks up the section ".zel_version" of an ELF file. Every offset and size
// is checked against the file; a file that is no ELF file has no version.
Found ReadElf(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(file.errorString());
    const QByteArray head = file.read(64);
    if (head.size() < 52 || !head.startsWith("\x7f"
                                             "ELF"))
        return {};
    const bool is64 = head[4] == 2;
    const bool little = head[5] == 1;
    if ((head[4] != 1 && head[4] != 2) || (head[5] != 1 && head[5] != 2))
        throw Exception(QStringLiteral("unknown ELF class"));
    // The section headers and the section names are all this needs.
    const QByteArray bytes = head + file.readAll();
    quint64 shoff = 0;
    quint16 shentsize = 0, shnum = 0, shstrndx = 0;
    bool ok = true;
    if (is64) {
        ok = ReadAt<quint64>(bytes, 0x28, little, shoff) && ReadAt<quint16>(bytes, 0x3A, little, shentsize) &&
             ReadAt<quint16>(bytes, 0x3C, little, shnum) && ReadAt<quint16>(bytes, 0x3E, little, shstrndx);
    } else {
        quint32 off32 = 0;
        ok = ReadAt<quint32>(bytes, 0x20, little, off32) && ReadAt<quint16>(bytes, 0x2E, little, shentsize) &&
             ReadAt<quint16>(bytes, 0x30, little, shnum) && ReadAt<quint16>(bytes, 0x32, little, shstrndx);
        shoff = off32;
    }
    if (!ok || shoff == 0 || shnum == 0)
        return {};
    if (shentsize < (is64 ? 64 : 40) || shstrndx >= shnum)
        throw Exception(QStringLiteral("damaged section table"));

    struct Section
    {
        quint32 name = 0;
        quint32 type = 0;
        quint64 offset = 0;
        quint64 size = 0;
    };
    // A section without bytes in the file (".bss", type NOBITS) only
    // reserves memory: its size says nothing about the file.
    constexpr quint32 NoBits = 8;
    const auto section = [&](quint16 index) {
        Section s;
        const quint64 base = shoff + quint64(index) * shentsize;
        bool good = ReadAt<quint32>(bytes, base, little, s.name) && ReadAt<quint32>(bytes, base + 4, little, s.type);
        if (is64) {
            good = good && ReadAt<quint64>(bytes, base + 0x18, little, s.offset) &&
                   ReadAt<quint64>(bytes, base + 0x20, little, s.size);
        } else {
            quint32 o = 0, z = 0;
            good = good && ReadAt<quint32>(bytes, base + 0x10, little, o) &&
                   ReadAt<quint32>(bytes, base + 0x14, little, z);
            s.offset = o;
            s.size = z;
        }
        if (!good)
            throw Exception(QStringLiteral("damaged section table"));
        if (s.type == NoBits)
            s.size = 0;
        else if (s.offset > quint64(bytes.size()) || s.size > quint64(bytes.size()) - s.offset)
            throw Exception(QStringLiteral("damaged section table"));
        return s;
    };
    const Section names = section(shstrndx);
    static const char wanted[] = ".zel_version";
    for (quint16 i = 0; i < shnum; ++i) {
        const Section s = section(i);
        if (s.name >= names.size || names.size - s.name < sizeof(wanted))
            continue;
        if (std::memcmp(bytes.constData() + names.offset + s.name, wanted, sizeof(wanted)) != 0)
            continue;
        if (s.size < sizeof(ZelVersionRecord))
            throw Exception(QStringLiteral("damaged version record"));
        ZelVersionRecord record;
        std::memcpy(&record, bytes.constData() + s.offset, sizeof(record));
        if (std::memcmp(record.magic, "ZELVERS1", 8) != 0)
            throw Exception(QStringLiteral("damaged version record"));
        Found found;
        found.present = true;
        found.parts[0] = record.major;
        found.parts[1] = record.minor;
        found.parts[2] = record.release;
        found.parts[3] = record.build;
        return found;
    }
    return {};
}
#endif

#ifdef Q_OS_WIN
Found ReadResource(const QString &fileName)
{
    const std::wstring name = fileName.toStdWString();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &handle);
    if (size == 0)
        return {};
    QByteArray data(qsizetype(size), '\0');
    if (!GetFileVersionInfoW(name.c_str(), 0, size, data.data()))
        return {};
    VS_FIXEDFILEINFO *info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void **>(&info), &length) || !info)
        throw Exception(QStringLiteral("no fixed file information"));
    Found found;
    found.present = true;
    found.parts[0] = HIWORD(info->dwFileVersionMS);
    found.parts[1] = LOWORD(info->dwFileVersionMS);
    found.parts[2] = HIWORD(info->dwFileVersionLS);
    found.parts[3] = LOWORD(info->dwFileVersionLS);
    return found;
}
#endif

} // namespace

TZELFileVersion::TZELFileVersion(const QString &fileName) : m_fileName(fileName)
{
    m_text = QStringLiteral("0.0.0");
    try {
        read();
    } catch (const Exception &e) {
        m_text = e.message();
    }
}

void TZELFileVersion::read()
{
    if (!QFileInfo(m_fileName).isFile())
        throw Exception(QStringLiteral("Fichier invalide : %1 !").arg(m_fileName));
    Found found;
    try {
#ifdef Q_OS_WIN
        found = ReadResource(m_fileName);
#else
        found = ReadElf(m_fileName);
#endif
    } catch (const Exception &) {
        throw Exception(QStringLiteral("Error on getting file informations : %1").arg(m_fileName));
    }
    if (found.present) {
        m_major = QString::number(found.parts[0]);
        m_minor = QString::number(found.parts[1]);
        m_release = QString::number(found.parts[2]);
        m_build = QString::number(found.parts[3]);
    }
    m_text = m_major + QLatin1Char('.') + m_minor + QLatin1Char('.') + m_release;
}
