// Feeds arbitrary bytes to the language file reader and splits every value it
// finds as a list of texts, joining the items back.
#include "base/Translator.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QHash<QString, QString> section = lang::ReadIniSection(bytes, QStringLiteral("Translations"));
    for (auto it = section.cbegin(); it != section.cend(); ++it) {
        // Splitting and joining give the value back.
        if (lang::JoinTexts(lang::SplitTexts(it.value())) != it.value())
            std::abort();
    }
    return 0;
}
