#pragma once

#include <QObject>
#include <QString>

#include <functional>

// Batch file operations (copy, delete, move, rename) over one or more sources
// separated by ";", with wildcards in the last component.
class TFileOperation : public QObject
{
    Q_OBJECT
    Q_PROPERTY(TFileMode Mode READ Mode WRITE SetMode)
    Q_PROPERTY(TFileOptions Options READ Options WRITE SetOptions)
    Q_PROPERTY(QString Source READ Source WRITE SetSource)
    Q_PROPERTY(QString Destination READ Destination WRITE SetDestination)
    Q_PROPERTY(QString Title READ Title WRITE SetTitle)
    Q_PROPERTY(bool AbortByUser READ AbortByUser)

public:
    enum TFileMode { foCopy, foDelete, foMove, foRename };
    Q_ENUM(TFileMode)

    // The options in declaration order; each value is the shell's flag.
    enum TFileOption {
        fofAllowUndo = 0x40,
        fofConfirmMouse = 0x2,
        fofFilesOnly = 0x80,
        fofMultiDestFiles = 0x1,
        fofNoConfirmation = 0x10,
        fofNoConfirmMkDir = 0x200,
        fofRenameOnCollision = 0x8,
        fofSilent = 0x4,
        fofSimpleProgress = 0x100,
        fofWantMappingHandle = 0x20,
    };
    Q_DECLARE_FLAGS(TFileOptions, TFileOption)
    Q_FLAG(TFileOptions)

    // Result codes of Execute besides 0 (success).
    static constexpr int ErrorFileNotFound = 2;
    static constexpr int ErrorPathNotFound = 3;
    static constexpr int ErrorAccessDenied = 5;
    static constexpr int ErrorCancelled = 1223;
    // Source and target are one file reached by two paths.
    static constexpr int ErrorSameFile = 0x71;
    // A folder copied or moved into itself or one of its own folders.
    static constexpr int ErrorDestinationInSource = 0x76;

    explicit TFileOperation(QObject *parent = nullptr);

    TFileMode Mode() const { return m_mode; }
    void SetMode(TFileMode mode) { m_mode = mode; }
    TFileOptions Options() const { return m_options; }
    void SetOptions(TFileOptions options) { m_options = options; }
    QString Source() const { return m_source; }
    void SetSource(const QString &source) { m_source = source; }
    QString Destination() const { return m_destination; }
    void SetDestination(const QString &destination) { m_destination = destination; }
    QString Title() const { return m_title; }
    void SetTitle(const QString &title) { m_title = title; }
    bool AbortByUser() const { return m_abortByUser; }

    // The shell's code of the operation: its mode's function number.
    static int ShellFunction(TFileMode mode);
    // The union of the options' shell flags.
    static int ShellFlags(TFileOptions options);

    // Runs the operation; 0 on success, otherwise the code of the first
    // failure (nothing after it is done). Nothing is removed or overwritten
    // before its new content is in place; a folder copied or moved onto a
    // folder merges into it; a failed move leaves its item where it was.
    int Execute();

    // Asks the user a yes/no question (replace a file, create a folder).
    // Without the no-confirmation options the operation asks through it; the
    // default shows a message box. Answering no skips that item and counts as
    // an abort by the user.
    static void SetConfirmHandler(std::function<bool(const QString &question)> handler);

    // The free name used for a collision with RenameOnCollision:
    // "name (2).ext", "name (3).ext", ... in the same folder.
    static QString CollisionFreeName(const QString &path);

private:
    // One item onto a target name: collisions, same file, merge of folders.
    int transfer(const QString &from, const QString &to, bool move);
    // One item under a name that is free or confirmed for replacement.
    int place(const QString &from, const QString &to, bool move);
    // The content of a folder into an existing folder.
    int merge(const QString &from, const QString &to, bool move);
    int remove(const QString &path);
    bool confirm(const QString &question);

    TFileMode m_mode = foCopy;
    TFileOptions m_options;
    QString m_source;
    QString m_destination;
    QString m_title;
    bool m_abortByUser = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TFileOperation::TFileOptions)

// Runs one file operation; a non-zero result raises an exception with the
// message "Erreur au traitement de " followed by the source text.
void DoFileOperation(TFileOperation::TFileMode mode, const QString &source, const QString &destination,
                     TFileOperation::TFileOptions options);
