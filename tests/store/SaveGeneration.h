#pragma once

#include <QString>

// The comments of alarm number 1 at generation k of the save tests: long
// enough that a torn write would show, and telling which generation wrote
// them.
inline QString SaveGeneration(qint64 k)
{
    return QStringLiteral("generation %1;").arg(k).repeated(40);
}
