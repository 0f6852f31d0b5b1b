// The program's version, embedded in the executable where TZELFileVersion
// reads it from the file on disk.
#include "diag/U_ZEL_FileVersion.h"

ZEL_EMBED_VERSION(ALMARIK_VERSION_MAJOR, ALMARIK_VERSION_MINOR, ALMARIK_VERSION_PATCH, ALMARIK_BUILD_NUMBER_VALUE);
