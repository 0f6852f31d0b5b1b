// Entry point of Almarik 2.
#include "app/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "diag/ZelException.h"
#include "store/D_KA_Alarms.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // The support library first (system and application facts, the end of
    // the session), then the shared unit.
    ZelSystemInitialize();
    KaVar::Initialize();
    int result = 0;
    try {
        TdmKaAlarms alarms;
        result = QApplication::exec();
    } catch (const Exception &e) {
        ShowErrorText(e.message());
        result = 1;
    }
    KaVar::Finalize();
    ZelSystemFinalize();
    return result;
}
