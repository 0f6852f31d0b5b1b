#pragma once

#include <QString>

#include <cstdint>

// The version of a file, read from the file on disk: major.minor.release
// (the build number is kept but not part of the text).
class TZELFileVersion
{
public:
    // Reads the version of the file; a failure becomes the version text.
    explicit TZELFileVersion(const QString &fileName);

    const QString &FileName() const { return m_fileName; }
    const QString &Major() const { return m_major; }
    const QString &Minor() const { return m_minor; }
    const QString &Release() const { return m_release; }
    const QString &Build() const { return m_build; }
    // major "." minor "." release; ".." for a file without version; the
    // failure's message when the file could not be read.
    const QString &VersionText() const { return m_text; }

private:
    void read();

    QString m_fileName;
    QString m_major;
    QString m_minor;
    QString m_release;
    QString m_build;
    QString m_text;
};

// The version record embedded in a program at build time. On ELF systems it
// lives in the section ".zel_version", which TZELFileVersion looks up in the
// file; on Windows the program carries a version resource instead.
struct ZelVersionRecord
{
    char magic[8];
    std::uint32_t major;
    std::uint32_t minor;
    std::uint32_t release;
    std::uint32_t build;
};

#if defined(__ELF__)
#define ZEL_EMBED_VERSION(MAJOR, MINOR, RELEASE, BUILD)                                                                \
    extern "C" __attribute__((used, section(".zel_version"), aligned(4))) const ZelVersionRecord zelVersionRecord = {  \
        {'Z', 'E', 'L', 'V', 'E', 'R', 'S', '1'}, (MAJOR), (MINOR), (RELEASE), (BUILD)}
#else
#define ZEL_EMBED_VERSION(MAJOR, MINOR, RELEASE, BUILD) static_assert(true)
#endif
