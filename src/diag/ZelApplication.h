#pragma once

#include <QApplication>

#include <exception>
#include <functional>

// The program's application object. Every event goes through notify(): an
// exception that escapes an event handler (a click, a timer, a selection
// change) is handed to the unhandled-exception handler instead of unwinding
// through the event loop and ending the program.
class TZELGuiApplication : public QApplication
{
public:
    // Receives the exception that escaped (std::current_exception()); the
    // default shows its message in the standard message box, and a silent
    // abort shows nothing.
    using ExceptionHandler = std::function<void(std::exception_ptr)>;

    TZELGuiApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // Hands the exception to the installed handler, or to the default one.
    // Never throws.
    static void HandleException(std::exception_ptr error);
    // Replaces the handler (an empty one puts the default back).
    static void SetExceptionHandler(ExceptionHandler handler);
    // The default handler: the message of a program exception or of a
    // standard one in the standard box; EAbort silently.
    static void ShowUnhandledException(std::exception_ptr error);
};
