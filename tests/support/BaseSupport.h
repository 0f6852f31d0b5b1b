#pragma once

#include <QDateTime>
#include <QStringList>

// Seams and helpers for tests of the shared unit and everything above it.
namespace testsupport {

// Initialises the program's shared unit as the program does at start (time
// formats, data folder). Tests run in a temporary HOME (run-isolated).
void InitProgramUnits();

// The per-user data folder and the data file of this test run.
QString DataDir();
QString DataFile();
// Removes every file of the data folder.
void ClearDataDir();
// Removes every stored setting of the program.
void ClearSettings();

// Captures the texts shown by ShowErrorText while alive.
class ErrorTexts
{
public:
    ErrorTexts();
    ~ErrorTexts();
    QStringList texts;
};

// Captures the messages of failed commands (the error box) while alive.
struct CommandErrors
{
    CommandErrors();
    ~CommandErrors();
    QStringList texts;
};

// Sets the program's clock to a fixed local time while alive.
class FixedClock
{
public:
    explicit FixedClock(const QDateTime &now);
    ~FixedClock();
    void set(const QDateTime &now);

private:
    QDateTime m_now;
};

} // namespace testsupport
