#include "diag/U_ZEL_Utilities.h"

#include "diag/ZelApplication.h"
#include "diag/U_ZEL_System.h"

#include <QApplication>
#include <QDialog>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>

namespace {

std::function<void(const QString &)> &ErrorBoxHook()
{
    static std::function<void(const QString &)> hook;
    return hook;
}

std::function<bool(const QString &)> &OpenUrlHook()
{
    static std::function<bool(const QString &)> hook;
    return hook;
}

bool OpenUrl(const QUrl &url)
{
    if (const auto &hook = OpenUrlHook())
        return hook(url.toString());
    return QDesktopServices::openUrl(url);
}

// Whether the desktop knows a program for this kind of document. Where the
// freedesktop tools are missing the desktop's own answer to the open decides.
bool HasAssociation(const QString &file)
{
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return true;
    const QString type = QMimeDatabase().mimeTypeForFile(file).name();
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!query.waitForFinished(5000) || query.exitStatus() != QProcess::NormalExit)
        return true;
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

// Whether a target is an address rather than a file name: a known scheme
// ("http:", "https:", "ftp:", "mailto:", "file:") or any "scheme://". A
// relative file name may hold a colon ("Meeting:agenda.txt").
bool IsAddress(const QString &target)
{
    static const QRegularExpression known(QStringLiteral("^(https?|ftp|mailto|file):"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression any(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+://"));
    return known.match(target).hasMatch() || any.match(target).hasMatch();
}

// Whether a file is a program to start rather than a document to open: what
// the file is decides (an executable or a script), not only its permission
// bits, which documents from shares and archives often carry too.
bool IsProgram(const QFileInfo &info)
{
    if (!info.isFile() || !info.isExecutable())
        return false;
#ifdef Q_OS_WIN
    return true; // executable by its extension
#else
    const QMimeType type = QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchContent);
    static const QStringList programs = {
        QStringLiteral("application/x-executable"), QStringLiteral("application/x-pie-executable"),
        QStringLiteral("application/x-sharedlib"), QStringLiteral("application/x-shellscript")};
    for (const QString &name : programs) {
        if (type.inherits(name))
            return true;
    }
    // Any other script that names its interpreter.
    QFile file(info.absoluteFilePath());
    return file.open(QIODevice::ReadOnly) && file.read(2) == "#!";
#endif
}

int g_zelLanguageIndex = 0;

} // namespace

int ZelLanguageIndex()
{
    return g_zelLanguageIndex;
}

void SetZelLanguageIndex(int index)
{
    g_zelLanguageIndex = (index == 1) ? 1 : 0;
}

QString ZelTr(const QString &english, const QString &french)
{
    return g_zelLanguageIndex == 1 ? french : english;
}

void SetErrorBoxHook(std::function<void(const QString &)> hook)
{
    ErrorBoxHook() = std::move(hook);
}

void SetOpenUrlHook(std::function<bool(const QString &)> hook)
{
    OpenUrlHook() = std::move(hook);
}

int ExecModal(QDialog &dialog)
{
    if (ZelSessionEnded())
        throw EAbort();
    const int result = dialog.exec();
    if (ZelSessionEnded())
        throw EAbort();
    return result;
}

void ShowExceptionMessage(const QString &text)
{
    if (const auto &hook = ErrorBoxHook()) {
        hook(text);
        return;
    }
    // At the end of the session nobody is there to read it.
    if (ZelSessionEnded())
        return;
    if (QWidget *window = QApplication::activeWindow())
        window->raise();
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // The program may sit in the tray with no window at all: the box itself
    // comes to the front, on top and active, so the message is seen.
    QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), shown, QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
}

void ErrorBox(const QString &text)
{
    ShowExceptionMessage(text);
    throw EAbort();
}

void RunCommand(const std::function<void()> &command)
{
    try {
        command();
    } catch (...) {
        TZELGuiApplication::HandleException(std::current_exception());
    }
}

QString ShellErrorText(int result)
{
    switch (result) {
    case 0:
        return QStringLiteral("Not enough memory or system ressources");
    case 2:
        return QStringLiteral("File not found");
    case 3:
        return QStringLiteral("Path not found");
    case 5:
        return QStringLiteral("Access denied");
    case 8:
        return QStringLiteral("Not enough memory");
    case 11:
        return QStringLiteral("Invalid file");
    case 26:
        return QStringLiteral("Share violation");
    case 27:
        return QStringLiteral("Bad file association");
    case 31:
        return QStringLiteral("No association found");
    case 32:
        return QStringLiteral("File not found");
    default:
        return QString::number(result);
    }
}

int ShellExecute(const QString &file, int verbIndex, const QString &parameters, const QString &directory,
                 int showCommand)
{
    Q_UNUSED(verbIndex); // the default action and "open" are the same on the desktop
    Q_UNUSED(showCommand);
    constexpr int Success = 42;
    const QString target = file.trimmed();
    if (target.isEmpty())
        return 2;
    if (IsAddress(target) && !target.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return OpenUrl(QUrl(target, QUrl::TolerantMode)) ? Success : 31;

    const QString path = target.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)
                             ? QUrl(target).toLocalFile()
                             : QDir::fromNativeSeparators(target);
    const QFileInfo info(directory.isEmpty() || QDir::isAbsolutePath(path) ? path : QDir(directory).filePath(path));
    if (!info.exists()) {
        // Neither a file nor a program found on the search path.
        if (!path.contains(QLatin1Char('/'))) {
            const QString program = QStandardPaths::findExecutable(path);
            if (!program.isEmpty()) {
                return QProcess::startDetached(program, QProcess::splitCommand(parameters), directory) ? Success : 5;
            }
        }
        return info.absoluteDir().exists() ? 2 : 3;
    }
    if (!info.isReadable())
        return 5;
    if (IsProgram(info)) {
        const bool started = QProcess::startDetached(info.absoluteFilePath(), QProcess::splitCommand(parameters),
                                                     directory.isEmpty() ? info.absolutePath() : directory);
        return started ? Success : 5;
    }
    if (info.isFile() && !HasAssociation(info.absoluteFilePath()))
        return 31;
    return OpenUrl(QUrl::fromLocalFile(info.absoluteFilePath())) ? Success : 31;
}

int ExecuteFile(const QString &file, int verbIndex, const QString &parameters, int showCommand,
                const QString &directory)
{
    const int result = ShellExecute(file, verbIndex, parameters, directory, showCommand);
    if (result > 32)
        return result;
    const QFileInfo info(QDir::fromNativeSeparators(file));
    QString folder = info.path();
    folder =
        (folder == QLatin1String(".") && !file.contains(QLatin1Char('/'))) ? QString() : AddTrailingBackslash(folder);
    ErrorBox(QStringLiteral("Error on executing :\r\n\r\n   File : ") + info.fileName() +
             QStringLiteral("\r\n   Params : ") + parameters + QStringLiteral("\r\n   Path : ") +
             QDir::toNativeSeparators(folder) + QStringLiteral("\r\n\r\n   Message : ") + ShellErrorText(result));
}

QString AddTrailingBackslash(const QString &path)
{
    if (path.isEmpty() || path.endsWith(QDir::separator()))
        return path;
    return path + QDir::separator();
}

QString RemoveTrailingBackslash(const QString &path)
{
    if (path.endsWith(QDir::separator()))
        return path.left(path.size() - 1);
    return path;
}

int IndexOfText(const QString &value, const QStringList &list)
{
    for (int i = 0; i < list.size(); ++i) {
        if (list[i].compare(value, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString LongFileName(const QString &path)
{
#ifdef Q_OS_WIN
    // The long form of every component, as the file system reports it.
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : QDir::toNativeSeparators(canonical);
#else
    // No short names here: the path is already in its long form.
    return path;
#endif
}

QString SafeFreeDescription(const QObject *object)
{
    const QString name = object->objectName();
    const QString className = QString::fromLatin1(object->metaObject()->className());
    return name.isEmpty() ? className : name + QStringLiteral(": ") + className;
}

QString SafeFreeDescription(const void *, const char *typeName)
{
    return QString::fromLatin1(typeName);
}
