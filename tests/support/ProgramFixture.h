#pragma once

#include "support/TestSupport.h"

class TfmKaMain;

namespace testsupport {

// A fresh start of the program's data module and main window, with an empty
// data folder and no stored settings, in English.
struct ProgramFixture
{
    TdmKaAlarms *dm = nullptr;
    TfmKaMain *window = nullptr;

    void start();
    // A new main window, as at the next run (it restores the settings).
    void restartWindow();
    void stop();
};

} // namespace testsupport
