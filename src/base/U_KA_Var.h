#pragma once

#include "diag/ZelDateTime.h"

#include <QString>

#include <functional>

class QFileDialog;
class TPlayer;

// The shared base of the program's units: the folders and files of the
// installation and of the user, the settings made once at start (time
// formats, title), the interface language, the message dialogs and the shell
// helpers. Initialize() runs before the program's main sequence (after the
// support library's system objects exist) and Finalize() after it.
namespace KaVar {

void Initialize();
void Finalize();

// The program's short and long time formats ("hh:nn", 24 hours).
inline constexpr const char *TimeFormat = "HH:mm";

// The application title.
QString AppTitle();

// The date against which the web update check compares the server's date.
TDateTime BuildDate();

// Folders (with a trailing delimiter) and files of the installation and of
// the user.
struct Folders
{
    QString AppRootDir;
    QString DocsDir;
    QString HelpDir;
    QString LangDir;
    QString LegacyDataDir;
    QString SoundDir;
    QString UserDataDir;
    QString HelpFile;
    QString LicenseFile;
    QString ReadmeFile;
};
// The folders of an installation rooted at rootPath, for a user whose
// application-data folder is appData.
Folders FoldersFor(const QString &rootPath, const QString &appData);
// The folders of the running program (set by Initialize).
const Folders &Paths();
// Test seam: replaces the folders of the running program.
void SetPaths(const Folders &folders);

QString AppRootDir();
QString DocsDir();
QString HelpDir();
QString LangDir();
QString LegacyDataDir();
QString SoundDir();
// The per-user data folder: the user's application-data folder followed by
// "Morvane/Almarik/".
QString UserDataDir();
QString HelpFile();
QString LicenseFile();
QString ReadmeFile();

// Interface language: 0 English, 1 French.
int LanguageIndex();
void SetLanguageIndex(int index);

// The text of a run-time English/French pair in the current language.
QString Tr(const QString &english, const QString &french);

// The program's one sound player (created by Initialize, freed by Finalize).
TPlayer *Player();

// The maker's web site: the address in ALMARIK_SITE_URL, else the built-in
// one, which is empty (no site is asked); and the support mail address.
QString SiteAddress();
// The site's address; raises "No web site address is set" when there is none.
QString RequiredSiteAddress();
QString SupportMail();

} // namespace KaVar

// ---------------------------------------------------------------------------
// Shell helpers

// Starts the program with the user's session (on) or not (off): the XDG
// autostart entry "Almarik.desktop" whose command is the executable's full
// path (the Run key value "Almarik" on Windows).
void SetAutoStart(bool on);
// True when the autostart entry exists and its command is exactly this
// executable's full path.
bool AutoStartIsSet();
// Where the autostart entry lives.
QString AutoStartEntryPath();

// Hands a target to the desktop (verb index 0 default action, 1 "open");
// raises "Error on executing : " + target on failure.
void ShellOpen(const QString &target, int verbIndex);
// The maker's web site with "?referer=AlmarikSH"; raises "No web site address
// is set" when there is none.
void OpenWebSite();
// A mail to the maker's support address with the subject "[Almarik 2] " +
// subject, and the body when there is one.
void SendMail(const QString &subject, const QString &body);
QString MailLink(const QString &subject, const QString &body);
// Reads a web resource whole; its bytes one for one as characters. The caller
// waits (the read runs on a thread of its own, so none of the caller's events
// run meanwhile). Raises "Internet Connect Error" when the address cannot be
// opened (an HTTP error status, endless redirects and the time limit
// included) and aborts silently when reading fails.
QString ReadWebResource(const QString &address);
// Test seam: the time limit of a read (30 s; 0 restores it).
void SetWebReadTimeLimit(int milliseconds);
// Plays a sound file at a volume (hundredths of a decibel, -2500..0): every
// double quote is removed from the path; true when the sound started, false
// on any failure, without a message.
bool PlayWaveFile(const QString &path, int volume);
// Every character but the last combined with one fixed key byte; applying it
// twice gives the text back.
QString ScramblePassword(const QString &text);
// Moves the files of the legacy data folder into the user's data folder and
// deletes the legacy folder, when it exists.
void MigrateLegacyData();

// ---------------------------------------------------------------------------
// Message boxes

// A plain message box: caption = application title, the text, one OK button.
void ShowErrorText(const QString &text);

// Dialog types and buttons of ShowMessageDialog.
enum TMsgDlgType { mtWarning = 0, mtError = 1, mtInformation = 2, mtConfirmation = 3, mtCustom = 4 };
enum TMsgDlgBtn {
    mbYes = 1 << 0,
    mbNo = 1 << 1,
    mbOK = 1 << 2,
    mbCancel = 1 << 3,
    mbAbort = 1 << 4,
    mbRetry = 1 << 5,
    mbIgnore = 1 << 6,
    mbAll = 1 << 7,
    mbNoToAll = 1 << 8,
    mbYesToAll = 1 << 9,
    mbHelp = 1 << 10,
};
// Modal results of the buttons.
enum TModalResult {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

// The program's own message dialog, modal and centred; returns the modal
// result of the pressed button (Escape presses the Cancel-role button, the
// close box gives mrCancel).
int ShowMessageDialog(const QString &text, int type, int buttons, int helpContext = 0);

// A file dialog: title, filter in the form "Caption|*.a;*.b|Caption|*.c",
// default extension, first folder; open (the file must exist) or save.
struct FileDialogRequest
{
    QString title;
    QString filter;
    QString defaultExtension;
    QString folder;
    bool save = false;
    // The first filter stands for the programs. Where programs have no
    // extension (everywhere but Windows) it lists the files the user may run,
    // whatever their names, every filter lists names without an extension
    // too, and no default extension is added; the captions stay as given.
    bool programs = false;
};
// The chosen file's full path, or an empty text when the user cancelled.
QString ShowFileDialog(const FileDialogRequest &request);
// Prepares a dialog as ShowFileDialog shows it.
void SetupFileDialog(QFileDialog &dialog, const FileDialogRequest &request);
// The filter in Qt's form ("Caption (*.a *.b);;...").
QString QtFileFilter(const QString &filter);
void SetFileDialogHook(std::function<QString(const FileDialogRequest &)> hook);

// Test seams: while set, ShowErrorText hands its text to the hook, and
// ShowMessageDialog asks the hook for its answer, instead of showing a window.
// An empty function restores the windows.
void SetShowErrorTextHook(std::function<void(const QString &)> hook);
struct MessageDialogRequest
{
    QString text;
    int type = 0;
    int buttons = 0;
};
void SetMessageDialogHook(std::function<int(const MessageDialogRequest &)> hook);
