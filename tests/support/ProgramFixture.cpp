#include "support/ProgramFixture.h"

#include "base/U_KA_Var.h"
#include "ui/F_KA_Main.h"

namespace testsupport {

void ProgramFixture::start()
{
    ClearDataDir();
    ClearSettings();
    KaVar::SetLanguageIndex(0);
    dm = new TdmKaAlarms;
    window = new TfmKaMain(dm);
}

void ProgramFixture::restartWindow()
{
    delete window;
    window = new TfmKaMain(dm);
}

void ProgramFixture::stop()
{
    if (dm->cdsAlarms.state() != store::DataSetState::Browse)
        dm->cdsAlarms.cancel();
    delete window;
    delete dm;
    window = nullptr;
    dm = nullptr;
}

} // namespace testsupport
