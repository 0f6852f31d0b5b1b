// The application object's safety net: an exception escaping any event
// handler reaches the unhandled-exception handler and the program goes on.
#include "diag/U_ZEL_Utilities.h"
#include "diag/ZelApplication.h"
#include "diag/ZelException.h"

#include <QTest>
#include <QTimer>

#include <stdexcept>

namespace {

// An object whose event handler throws what it is told to.
class Thrower : public QObject
{
public:
    std::function<void()> action;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::User)
            action();
        return QObject::event(e);
    }
};

} // namespace

class TestApplication : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        TZELGuiApplication::SetExceptionHandler({});
        SetErrorBoxHook({});
    }

    // Every kind of exception, from an event, a timer and a queued slot, is
    // handed to the installed handler; the event loop goes on.
    void escapedExceptionsReachTheHandler_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("expected");
        QTest::newRow("program exception") << 0 << QStringLiteral("Exception:boom");
        QTest::newRow("silent abort") << 1 << QStringLiteral("EAbort");
        QTest::newRow("standard exception") << 2 << QStringLiteral("std:bad");
        QTest::newRow("anything") << 3 << QStringLiteral("other");
    }

    void escapedExceptionsReachTheHandler()
    {
        QFETCH(int, kind);
        QFETCH(QString, expected);
        QStringList seen;
        TZELGuiApplication::SetExceptionHandler([&seen](std::exception_ptr error) {
            try {
                std::rethrow_exception(error);
            } catch (const EAbort &) {
                seen << QStringLiteral("EAbort");
            } catch (const Exception &e) {
                seen << QStringLiteral("Exception:") + e.message();
            } catch (const std::exception &e) {
                seen << QStringLiteral("std:") + QString::fromLatin1(e.what());
            } catch (...) {
                seen << QStringLiteral("other");
            }
        });
        const auto raise = [kind] {
            switch (kind) {
            case 0:
                throw Exception(QStringLiteral("boom"));
            case 1:
                throw EAbort();
            case 2:
                throw std::runtime_error("bad");
            default:
                throw 42;
            }
        };

        Thrower thrower;
        thrower.action = raise;
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QTimer::singleShot(0, &thrower, raise);
        QMetaObject::invokeMethod(&thrower, raise, Qt::QueuedConnection);
        QTRY_COMPARE(seen.size(), 3);
        QCOMPARE(seen, QStringList({expected, expected, expected}));

        // The loop still serves events after the failures.
        bool served = false;
        QTimer::singleShot(0, &thrower, [&served] { served = true; });
        QTRY_VERIFY(served);
    }

    // Without a handler of its own the application shows the message of the
    // failure (a silent abort shows nothing); commands run by RunCommand go
    // the same way.
    void defaultHandlerShowsTheMessage()
    {
        QStringList shown;
        SetErrorBoxHook([&shown](const QString &text) { shown << text; });
        Thrower thrower;
        thrower.action = [] { throw Exception(QStringLiteral("Invalid date")); };
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QTRY_COMPARE(shown, QStringList{QStringLiteral("Invalid date")});

        thrower.action = [] { throw EAbort(); };
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        RunCommand([] { throw std::runtime_error("disk full"); });
        QCOMPARE(shown, QStringList({QStringLiteral("Invalid date"), QStringLiteral("disk full")}));
    }

    // A handler that fails itself does not take the program down.
    void failingHandlerIsContained()
    {
        TZELGuiApplication::SetExceptionHandler([](std::exception_ptr) { throw std::runtime_error("worse"); });
        Thrower thrower;
        thrower.action = [] { throw Exception(QStringLiteral("first")); };
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        bool served = false;
        QTimer::singleShot(0, &thrower, [&served] { served = true; });
        QTRY_VERIFY(served);
    }
};

int main(int argc, char *argv[])
{
    TZELGuiApplication app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
