#pragma once

#include "diag/ZelException.h"

#include <QString>

#include <exception>

namespace testsupport {

// Runs the action and tells how it failed: the message of the program
// exception it threw, "(silent abort)" for EAbort, "(std) " + what() for a
// standard exception, or "(no failure)" when it returned normally. Tests
// compare the result with the expected message in one QCOMPARE.
template <typename Action>
QString FailureOf(Action &&action)
{
    try {
        action();
    } catch (const EAbort &) {
        return QStringLiteral("(silent abort)");
    } catch (const Exception &e) {
        return e.message();
    } catch (const std::exception &e) {
        return QStringLiteral("(std) ") + QString::fromLocal8Bit(e.what());
    }
    return QStringLiteral("(no failure)");
}

} // namespace testsupport
