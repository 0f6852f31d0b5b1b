#include "support/BaseSupport.h"

#include "base/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "diag/U_ZEL_Utilities.h"

#include <QDir>
#include <QSettings>

namespace testsupport {

void InitProgramUnits()
{
    if (!qEnvironmentVariableIsSet("ALMARIK_TEST_ROOT"))
        qFatal("tests must run through run-isolated (temporary HOME and XDG folders)");
    ZelSystemInitialize();
    KaVar::Initialize();
}

QString DataDir()
{
    return KaVar::UserDataDir();
}

QString DataFile()
{
    return DataDir() + QStringLiteral("Alarms.ka2");
}

void ClearDataDir()
{
    QDir dir(DataDir());
    const QStringList files = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : files)
        dir.remove(name);
}

void ClearSettings()
{
    QSettings settings(QStringLiteral("Morvane"), QStringLiteral("Almarik"));
    settings.clear();
    settings.sync();
}

ErrorTexts::ErrorTexts()
{
    SetShowErrorTextHook([this](const QString &text) { texts.append(text); });
}

ErrorTexts::~ErrorTexts()
{
    SetShowErrorTextHook({});
}

CommandErrors::CommandErrors()
{
    SetErrorBoxHook([this](const QString &text) { texts << text; });
}

CommandErrors::~CommandErrors()
{
    SetErrorBoxHook({});
}

FixedClock::FixedClock(const QDateTime &now) : m_now(now)
{
    zel::SetClock([this] { return m_now; });
}

FixedClock::~FixedClock()
{
    zel::SetClock({});
}

void FixedClock::set(const QDateTime &now)
{
    m_now = now;
}

} // namespace testsupport
