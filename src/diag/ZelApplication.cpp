#include "diag/ZelApplication.h"

#include "diag/U_ZEL_Utilities.h"
#include "diag/ZelException.h"

#include <QtGlobal>

namespace {

TZELGuiApplication::ExceptionHandler &Handler()
{
    static TZELGuiApplication::ExceptionHandler handler;
    return handler;
}

} // namespace

TZELGuiApplication::TZELGuiApplication(int &argc, char **argv) : QApplication(argc, argv)
{
}

bool TZELGuiApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

void TZELGuiApplication::HandleException(std::exception_ptr error)
{
    try {
        if (const ExceptionHandler &handler = Handler())
            handler(error);
        else
            ShowUnhandledException(error);
    } catch (...) {
        // A handler that fails itself must not take the program down.
        qWarning("unhandled exception: the exception handler failed too");
    }
}

void TZELGuiApplication::SetExceptionHandler(ExceptionHandler handler)
{
    Handler() = std::move(handler);
}

void TZELGuiApplication::ShowUnhandledException(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EAbort &) {
    } catch (const Exception &e) {
        ShowExceptionMessage(e.message());
    } catch (const std::exception &e) {
        ShowExceptionMessage(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowExceptionMessage(QStringLiteral("Unknown exception"));
    }
}
