#include "diag/U_ZEL_FileSystem.h"

#include "diag/U_ZEL_Utilities.h"
#include "diag/ZelException.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QRandomGenerator>

#include <filesystem>

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
// A wildcard in a folder that does not exist fails with ErrorPathNotFound.
int Expand(const QString &source, QStringList &result)
{
    const QString path = QDir::fromNativeSeparators(source.trimmed());
    const QFileInfo info(path);
    if (!HasWildcard(info.fileName())) {
        result << path;
        return 0;
    }
    QString pattern = info.fileName();
    if (pattern == QLatin1String("*.*"))
        pattern = QStringLiteral("*");
    const QDir dir = info.dir();
    if (!dir.exists())
        return TFileOperation::ErrorPathNotFound;
    const QStringList names = dir.entryList(
        {pattern}, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names)
        result << dir.filePath(name);
    return 0;
}

std::filesystem::path ToPath(const QString &path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

bool Exists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool IsRealFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() && !info.isSymLink();
}

// The same file or folder reached by two paths: links, "..", letter case on
// a case-insensitive file system all resolve to one device and one node.
bool SameFile(const QString &a, const QString &b)
{
    std::error_code error;
    return std::filesystem::equivalent(ToPath(a), ToPath(b), error) && !error;
}

// Whether path lies inside folder (or is it), after resolving links; path
// itself need not exist yet.
bool IsWithin(const QString &path, const QString &folder)
{
    std::error_code error;
    const std::filesystem::path inner = std::filesystem::weakly_canonical(ToPath(path), error);
    if (error)
        return false;
    const std::filesystem::path outer = std::filesystem::weakly_canonical(ToPath(folder), error);
    if (error)
        return false;
    auto o = outer.begin();
    auto i = inner.begin();
    for (; o != outer.end(); ++o, ++i) {
        if (o->empty() && std::next(o) == outer.end())
            break; // a trailing delimiter
        if (i == inner.end() || *i != *o)
            return false;
    }
    return true;
}

// An unused hidden name beside path, for content that is not in place yet.
QString TemporarySibling(const QString &path)
{
    const QFileInfo info(path);
    for (;;) {
        const QString candidate =
            info.dir().filePath(QStringLiteral(".%1.%2.part")
                                    .arg(info.fileName())
                                    .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        if (!Exists(candidate))
            return candidate;
    }
}

bool RemoveTree(const QString &path)
{
    if (IsRealFolder(path))
        return QDir(path).removeRecursively();
    return QFile::remove(path);
}

// Copies a file or a folder tree to a name that does not exist yet; links
// are copied as links, never followed.
bool CopyTree(const QString &from, const QString &to)
{
    const QFileInfo info(from);
    if (info.isSymLink()) {
        std::error_code error;
        std::filesystem::copy_symlink(ToPath(from), ToPath(to), error);
        return !error;
    }
    if (!info.isDir())
        return QFile::copy(from, to);
    if (!QDir().mkdir(to))
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

// Puts a copy of from under the name to, replacing what is there only once
// the whole copy exists: a failed copy leaves the old content as it was.
bool CopyIntoPlace(const QString &from, const QString &to)
{
    const QString temporary = TemporarySibling(to);
    if (!CopyTree(from, temporary)) {
        RemoveTree(temporary);
        return false;
    }
    std::error_code error;
    std::filesystem::rename(ToPath(temporary), ToPath(to), error);
    if (error) {
        RemoveTree(temporary);
        return false;
    }
    return true;
}

int CodeOf(const std::error_code &error)
{
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory)
        return TFileOperation::ErrorPathNotFound;
    return TFileOperation::ErrorAccessDenied;
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
    const bool folder = IsRealFolder(from);
    // A folder into itself or one of its own folders would never end.
    if (folder && IsWithin(to, from))
        return ErrorDestinationInSource;
    if (!Exists(to))
        return place(from, to, move);
    if (SameFile(from, to)) {
        // Reached by another path: nothing to move, and a copy onto itself
        // would destroy it; only a copy under a free name is possible.
        if (move || !m_options.testFlag(fofRenameOnCollision))
            return ErrorSameFile;
        return place(from, CollisionFreeName(to), false);
    }
    const bool targetFolder = QFileInfo(to).isDir();
    if (folder && targetFolder)
        return merge(from, to, move);
    if (m_options.testFlag(fofRenameOnCollision))
        return place(from, CollisionFreeName(to), move);
    // A file never replaces a folder, nor a folder a file.
    if (folder || targetFolder)
        return ErrorAccessDenied;
    if (!m_options.testFlag(fofNoConfirmation) && !confirm(ZelTr(QStringLiteral("\"%1\" already exists. Replace it?"),
                                                                 QStringLiteral("\"%1\" existe déjà. Le remplacer ?"))
                                                               .arg(QDir::toNativeSeparators(to))))
        return 0; // skipped by the user
    return place(from, to, move);
}

int TFileOperation::place(const QString &from, const QString &to, bool move)
{
    if (move) {
        // A rename replaces an existing file in one step.
        std::error_code error;
        std::filesystem::rename(ToPath(from), ToPath(to), error);
        if (!error)
            return 0;
        if (error != std::errc::cross_device_link)
            return CodeOf(error);
        if (IsRealFolder(from)) {
            // Another device: the folder's content moves item by item.
            if (!Exists(to) && !QDir().mkdir(to))
                return ErrorAccessDenied;
            return merge(from, to, true);
        }
        // Another device: the copy is complete beside the target before the
        // source goes; a source that cannot be removed undoes the copy.
        const QString temporary = TemporarySibling(to);
        if (!CopyTree(from, temporary) || !QFile::remove(from)) {
            RemoveTree(temporary);
            return ErrorAccessDenied;
        }
        std::filesystem::rename(ToPath(temporary), ToPath(to), error);
        return error ? CodeOf(error) : 0;
    }
    return CopyIntoPlace(from, to) ? 0 : ErrorAccessDenied;
}

int TFileOperation::merge(const QString &from, const QString &to, bool move)
{
    const QDir source(from);
    const QStringList names =
        source.entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        if (const int code = transfer(source.filePath(name), QDir(to).filePath(name), move))
            return code;
    }
    // A moved folder goes once it is empty (items the user kept stay in it).
    if (move && source.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot) &&
        !QDir().rmdir(from))
        return ErrorAccessDenied;
    return 0;
}

int TFileOperation::remove(const QString &path)
{
    if (!m_options.testFlag(fofNoConfirmation) &&
        !confirm(ZelTr(QStringLiteral("Delete \"%1\"?"), QStringLiteral("Supprimer \"%1\" ?"))
                     .arg(QDir::toNativeSeparators(path))))
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
        // Only-files drops the folders a wildcard finds, never a folder named
        // on its own.
        const bool wildcard = HasWildcard(QFileInfo(item.trimmed()).fileName());
        anyWildcard = anyWildcard || wildcard;
        QStringList expanded;
        if (const int code = Expand(item, expanded))
            return code;
        for (const QString &path : std::as_const(expanded)) {
            const QFileInfo info(path);
            if (!info.exists() && !info.isSymLink())
                return info.absoluteDir().exists() ? ErrorFileNotFound : ErrorPathNotFound;
            if (m_options.testFlag(fofFilesOnly) && wildcard && info.isDir())
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
            !confirm(ZelTr(QStringLiteral("The folder \"%1\" does not exist. Create it?"),
                           QStringLiteral("Le dossier \"%1\" n'existe pas. Le créer ?"))
                         .arg(QDir::toNativeSeparators(destination))))
            return ErrorCancelled;
        if (!QDir().mkpath(destination))
            return ErrorAccessDenied;
    }
    for (const QString &path : std::as_const(sources)) {
        const QString target = intoFolder ? QDir(destination).filePath(QFileInfo(path).fileName()) : destination;
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
