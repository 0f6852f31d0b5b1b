#pragma once

#include <QString>

#include <functional>

// The shared base of the program's units: the folders of the installation and
// of the user, the settings made once at start, the interface language index
// and the plain error box. Initialize() runs before the main sequence and
// Finalize() after it.
namespace KaVar {

void Initialize();
void Finalize();

// The program's short and long time formats ("hh:nn", 24 hours).
inline constexpr const char *TimeFormat = "HH:mm";

// The application title.
QString AppTitle();

// The per-user data folder with a trailing separator: the user's application
// data folder followed by "Morvane/Almarik/".
QString UserDataDir();

// Interface language: 0 English, 1 French.
int LanguageIndex();
void SetLanguageIndex(int index);

// The text of a run-time English/French pair in the current language.
QString Tr(const QString &english, const QString &french);

} // namespace KaVar

// A plain message box: caption = application title, the text, one OK button.
void ShowErrorText(const QString &text);

// Test seam: while set, ShowErrorText hands its text to the hook instead of
// showing a window. An empty function restores the message box.
void SetShowErrorTextHook(std::function<void(const QString &)> hook);
