#include "app/U_KA_Var.h"

#include "diag/ZelDateTime.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QStandardPaths>

namespace {

int g_languageIndex = 0;

std::function<void(const QString &)> &ErrorTextHook()
{
    static std::function<void(const QString &)> hook;
    return hook;
}

} // namespace

namespace KaVar {

void Initialize()
{
    zel::FormatSettings &formats = zel::Formats();
    formats.shortTimeFormat = QLatin1String(TimeFormat);
    formats.longTimeFormat = QLatin1String(TimeFormat);
    if (qApp)
        QApplication::setApplicationDisplayName(AppTitle());
    QDir().mkpath(UserDataDir());
}

void Finalize()
{
}

QString AppTitle()
{
    return QStringLiteral("Almarik 2");
}

QString UserDataDir()
{
    QString appData = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!appData.endsWith(QLatin1Char('/')))
        appData += QLatin1Char('/');
    return QDir::toNativeSeparators(appData + QStringLiteral("Morvane/Almarik/"));
}

int LanguageIndex()
{
    return g_languageIndex;
}

void SetLanguageIndex(int index)
{
    g_languageIndex = (index == 1) ? 1 : 0;
}

QString Tr(const QString &english, const QString &french)
{
    return g_languageIndex == 1 ? french : english;
}

} // namespace KaVar

void ShowErrorText(const QString &text)
{
    if (const auto &hook = ErrorTextHook()) {
        hook(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, KaVar::AppTitle(), text, QMessageBox::Ok);
    box.exec();
}

void SetShowErrorTextHook(std::function<void(const QString &)> hook)
{
    ErrorTextHook() = std::move(hook);
}
