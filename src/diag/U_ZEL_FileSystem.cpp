#include "diag/U_ZEL_FileSystem.h"

#include "diag/ZelException.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QRegularExpression>

namespace {

std::function<bool(const QString &)> &ConfirmHandler()
{
    static std::function<bool(const QString &)> handler;
    return handler;
}

bool HasWildcard(const QString &name)
{
    return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'));
}

// Expands one source: a path, or a folder and a wildcard pattern in its last
// component ("*.*" means every file, as on the desktop it comes from).
QStringList Expand(const QString &source)
{
    const QString path = QDir::fromNativeSeparators(source.trimmed());
    const QFileInfo info(path);
    if (!HasWildcard(info.fileName()))
        return {path};
    QString pattern = info.fileName();
    if (pattern == QLatin1String("*.*"))
        pattern = QStringLiteral("*");
    QStringList result;
    const QDir dir = info.dir();
    const QStringList names = dir.entryList(
        {pattern}, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names)
        result << dir.filePath(name);
    return result;
}

bool CopyTree(const QString &from, const QString &to)
{
    const QFileInfo info(from);
    if (!info.isDir())
        return QFile::copy(from, to);
    if (!QDir().mkpath(to))
        return false;
    const QDir dir(from);
    const QStringList names =
        dir.entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        if (!CopyTree(dir.filePath(name), QDir(to).filePath(name)))
            return false;
    }
    return true;
}

bool RemoveTree(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    return QFile::remove(path);
}

} // namespace

TFileOperation::TFileOperation(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("FileOperation"));
}

int TFileOperation::ShellFunction(TFileMode mode)
{
    switch (mode) {
    case foMove:
        return 1;
    case foCopy:
        return 2;
    case foDelete:
        return 3;
    case foRename:
        return 4;
    }
    return 0;
}

int TFileOperation::ShellFlags(TFileOptions options)
{
    return int(options.toInt());
}

void TFileOperation::SetConfirmHandler(std::function<bool(const QString &)> handler)
{
    ConfirmHandler() = std::move(handler);
}

bool TFileOperation::confirm(const QString &question)
{
    bool yes = false;
    if (const auto &handler = ConfirmHandler())
        yes = handler(question);
    else
        yes = QMessageBox::question(nullptr, m_title.isEmpty() ? QGuiApplication::applicationDisplayName() : m_title,
                                    question) == QMessageBox::Yes;
    if (!yes)
        m_abortByUser = true;
    return yes;
}

QString TFileOperation::CollisionFreeName(const QString &path)
{
    const QFileInfo info(path);
    const QString folder = info.path();
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    // "name.ext" and "name (2).ext" give "name (3).ext"; a name without a dot
    // keeps none ("readme (2)"); a name starting with a dot stays hidden.
    const bool hidden = base.isEmpty();
    for (int n = 2;; ++n) {
        const QString candidate = hidden ? QStringLiteral("%1 (%2)").arg(info.fileName()).arg(n)
                                         : QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(suffix);
        const QString full = QDir(folder).filePath(candidate);
        if (!QFileInfo::exists(full) && !QFileInfo(full).isSymLink())
            return full;
    }
}

int TFileOperation::transfer(const QString &from, const QString &to, bool move)
{
    QString target = to;
    const QFileInfo existing(target);
    if (existing.exists() || existing.isSymLink()) {
        if (m_options.testFlag(fofRenameOnCollision)) {
            target = CollisionFreeName(target);
        } else {
            if (!m_options.testFlag(fofNoConfirmation) &&
                !confirm(QStringLiteral("\"%1\" already exists. Replace it?").arg(QDir::toNativeSeparators(target))))
                return 0; // skipped by the user
            if (!RemoveTree(target))
                return ErrorAccessDenied;
        }
    }
    if (move) {
        if (QFile::rename(from, target) || QDir().rename(from, target))
            return 0;
        // Another file system: copy, then remove the source.
        if (!CopyTree(from, target)) {
            RemoveTree(target);
            return ErrorAccessDenied;
        }
        return RemoveTree(from) ? 0 : ErrorAccessDenied;
    }
    if (!CopyTree(from, target)) {
        RemoveTree(target);
        return ErrorAccessDenied;
    }
    return 0;
}

int TFileOperation::remove(const QString &path)
{
    if (!m_options.testFlag(fofNoConfirmation) &&
        !confirm(QStringLiteral("Delete \"%1\"?").arg(QDir::toNativeSeparators(path))))
        return 0;
    if (m_options.testFlag(fofAllowUndo)) {
        // Undoable: into the desktop's trash when there is one.
        QFile file(path);
        if (file.moveToTrash())
            return 0;
    }
    return RemoveTree(path) ? 0 : ErrorAccessDenied;
}

int TFileOperation::Execute()
{
    m_abortByUser = false;
    QStringList sources;
    bool anyWildcard = false;
    const QStringList items = m_source.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &item : items) {
        anyWildcard = anyWildcard || HasWildcard(QFileInfo(item.trimmed()).fileName());
        const QStringList expanded = Expand(item);
        for (const QString &path : expanded) {
            const QFileInfo info(path);
            if (!info.exists() && !info.isSymLink())
                return info.absoluteDir().exists() ? ErrorFileNotFound : ErrorPathNotFound;
            if (m_options.testFlag(fofFilesOnly) && anyWildcard && info.isDir())
                continue;
            sources << path;
        }
    }
    if (sources.isEmpty())
        return items.isEmpty() || !anyWildcard ? ErrorFileNotFound : 0;

    if (m_mode == foDelete) {
        for (const QString &path : std::as_const(sources)) {
            if (const int code = remove(path))
                return code;
        }
        return 0;
    }

    const QString destination = QDir::fromNativeSeparators(m_destination.trimmed());
    if (destination.isEmpty())
        return ErrorPathNotFound;
    if (m_mode == foRename) {
        if (sources.size() != 1)
            return ErrorFileNotFound;
        const QString target =
            QFileInfo(destination).isAbsolute() ? destination : QFileInfo(sources.first()).dir().filePath(destination);
        return transfer(sources.first(), target, true);
    }

    // Copy or move: into a folder when the destination is one, ends with a
    // delimiter, or several sources go there; otherwise onto that file name.
    const bool move = m_mode == foMove;
    const QFileInfo dest(destination);
    const bool intoFolder = dest.isDir() || destination.endsWith(QLatin1Char('/')) || sources.size() > 1 || anyWildcard;
    if (intoFolder && !dest.exists()) {
        if (!m_options.testFlag(fofNoConfirmMkDir) &&
            !confirm(QStringLiteral("The folder \"%1\" does not exist. Create it?")
                         .arg(QDir::toNativeSeparators(destination))))
            return ErrorCancelled;
        if (!QDir().mkpath(destination))
            return ErrorAccessDenied;
    }
    for (const QString &path : std::as_const(sources)) {
        const QString target = intoFolder ? QDir(destination).filePath(QFileInfo(path).fileName()) : destination;
        if (QFileInfo(path).absoluteFilePath() == QFileInfo(target).absoluteFilePath() &&
            !m_options.testFlag(fofRenameOnCollision))
            return ErrorAccessDenied;
        if (const int code = transfer(path, target, move))
            return code;
    }
    return 0;
}

void DoFileOperation(TFileOperation::TFileMode mode, const QString &source, const QString &destination,
                     TFileOperation::TFileOptions options)
{
    TFileOperation operation;
    operation.SetMode(mode);
    operation.SetSource(source);
    operation.SetDestination(destination);
    operation.SetOptions(options);
    if (operation.Execute() != 0)
        throw Exception(QStringLiteral("Erreur au traitement de ") + source);
}
