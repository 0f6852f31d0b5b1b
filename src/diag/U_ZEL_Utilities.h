#pragma once

#include "diag/ZelException.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class QDialog;
#include <typeinfo>

// The support library's small routines: an error box that ends the calling
// command silently, opening files through the desktop with readable errors,
// path and list routines, and a guarded way of freeing an object.

// The language of the library's own texts, 0 English or 1 French: the
// program sets it with its interface language, and each text is chosen from
// its English/French pair at the moment it is used.
int ZelLanguageIndex();
void SetZelLanguageIndex(int index);
QString ZelTr(const QString &english, const QString &french);

// Show commands of ExecuteFile (the shell's window states).
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_SHOWNOACTIVATE = 4;

// Brings the application to the front, shows the text with the error icon and
// an OK button, titled with the application's title, then raises EAbort.
[[noreturn]] void ErrorBox(const QString &text);
// The same box without the abort: how the application shows the message of a
// command that failed.
void ShowExceptionMessage(const QString &text);
// Runs a modal dialog and returns its result. Once the user's session has
// ended the dialog is not shown, and a dialog whose loop the end of the
// session closed gives no answer: either way the calling command stops
// silently (EAbort), so nothing acts on an answer the user never gave.
int ExecModal(QDialog &dialog);
// Runs a command of the user: a failure shows its message (a silent abort
// shows nothing) and goes no further.
void RunCommand(const std::function<void()> &command);

// Hands a file, program, web address or mail link to the desktop. Verb index
// 0 is the file type's default action, 1 "open". Returns a value above 32 on
// success, else the shell's error code: 2 file not found, 3 path not found,
// 5 access denied, 31 no association (no program for that kind of document).
int ShellExecute(const QString &file, int verbIndex, const QString &parameters, const QString &directory,
                 int showCommand);

// ShellExecute, reporting a failure with ErrorBox (the message names the
// file, its parameters, its folder and the reason), which ends the calling
// command silently.
int ExecuteFile(const QString &file, int verbIndex, const QString &parameters, int showCommand,
                const QString &directory);

// The reason text of a shell result of 32 or less.
QString ShellErrorText(int result);

// The platform's path delimiter appended when missing / removed once; an empty
// text stays empty.
QString AddTrailingBackslash(const QString &path);
QString RemoveTrailingBackslash(const QString &path);

// Index of the first entry equal to the value ignoring case, or -1.
int IndexOfText(const QString &value, const QStringList &list);

// The path with every folder and file name in its long form. Platforms without
// short names have nothing to expand: the path comes back as it is.
QString LongFileName(const QString &path);

// Frees the object and clears the pointer; a failing destructor is reported
// with ErrorBox: "Error on destroying objet [<name>: <class>] :" and its message.
template <typename T>
void SafeFree(T *&object);
QString SafeFreeDescription(const QObject *object);
QString SafeFreeDescription(const void *object, const char *typeName);

// Test seams: while set, ErrorBox and the desktop's document opener hand their
// work to these instead of showing a window / starting a program.
void SetErrorBoxHook(std::function<void(const QString &)> hook);
// The hook answers whether the desktop accepted to open the address.
void SetOpenUrlHook(std::function<bool(const QString &)> hook);

template <typename T>
void SafeFree(T *&object)
{
    if (!object)
        return;
    T *doomed = object;
    QString description;
    if constexpr (std::is_base_of_v<QObject, T>)
        description = SafeFreeDescription(doomed);
    else
        description = SafeFreeDescription(doomed, typeid(T).name());
    object = nullptr;
    try {
        delete doomed;
    } catch (const std::exception &e) {
        ErrorBox(
            QStringLiteral("Error on destroying objet [%1] :\r\n\r\n%2").arg(description, QString::fromUtf8(e.what())));
    }
}
