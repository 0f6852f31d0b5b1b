#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

// Drives the staged program on the test's X display as a user would, with
// xdotool: finds its windows and tray icon, clicks and types. Every command's
// exit status is checked (a failed command fails the calling test through
// QTest's macros in the callers).
namespace desktop {

struct Result
{
    int exitCode = -1;
    QString output;
    bool ok() const { return exitCode == 0; }
};

// Runs a command to its end (10 s at most).
Result Run(const QStringList &command);
// Runs xdotool with the arguments.
Result Xdo(const QStringList &arguments);

// The geometry of a window by its id.
QRect Geometry(const QString &window);
// The ids of the program's visible windows (class "almarik").
QStringList VisibleWindowIds();
QList<QRect> VisibleWindows();
bool HasWindow(const QSize &size);
// The program's tray icon (a small visible window), or an empty rectangle.
QRect TrayIcon();
// Ids of the visible windows whose name matches the regular expression.
QStringList WindowsNamed(const QString &pattern);
// The name of the active window ("" when none).
QString ActiveWindowName();

// A visible window of the program that was not there before and is taller
// than 100 pixels (a menu), or an empty rectangle.
QRect NewWindow(const QList<QRect> &before);
// The id of the program's visible window of this size ("" when none).
QString WindowOfSize(const QSize &size);

// Clicks the centre of the rectangle with the button (1 left, 3 right).
bool Click(const QRect &r, int button);
// Clicks a point given in the window's own coordinates.
bool ClickIn(const QString &window, const QPoint &at);
// Presses keys ("Return", "Up", "ctrl+c", ...), one after the other.
bool Key(const QStringList &keys);
// Types a text into the focused window.
bool Type(const QString &text);

// Waits, processing events, until the condition holds or the time is up by
// the clock; true when it holds. QTRY_* counts only its own pauses, so a
// condition that takes a while to evaluate (a helper program) stretches its
// timeout many times over.
bool WaitUntil(const std::function<bool()> &condition, int milliseconds);
// A picture of a window's contents (null when it cannot be taken).
QImage Screenshot(const QString &window);
// A picture of an area of the screen.
QImage ScreenshotOf(const QRect &area);

// Two clicks closer together than this are a double click for the program.
// Tests that click twice on purpose wait this long between the clicks.
int DoubleClickGapMs();

} // namespace desktop
