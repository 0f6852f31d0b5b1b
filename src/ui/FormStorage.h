#pragma once

#include <QString>

#include <functional>
#include <vector>

class QSettings;

// The settings store of the main window: every stored control property under
// its value name (the property's "control.Property" with the dot made an
// underscore), the named values with their save and restore handlers, and
// the window's position. Values are texts: "True"/"False" for check boxes and
// radio buttons, decimal numbers for positions, texts as they are. A missing
// or unreadable value leaves the control as it is.
class TFormStorage
{
public:
    // Settings of organisation "Morvane", application "Almarik", under the
    // group "KA2/MainForm" (the registry key on Windows).
    TFormStorage();
    ~TFormStorage();

    // A stored property: its text, and how to put a text back (false when
    // the text is not valid for the control).
    void AddProperty(const QString &storedName, std::function<QString()> read,
                     std::function<bool(const QString &)> write);
    // A named value with its handlers: save returns the text to store,
    // restore receives the stored text (null when missing).
    void AddValue(const QString &name, std::function<QString()> save, std::function<void(const QString &)> restore);

    void Save();
    void Restore();

    // One named value read or written on its own (LastWebCheck).
    QString ReadValue(const QString &name) const;
    void WriteValue(const QString &name, const QString &value);

    // Where the settings live (a file on Linux).
    QString FileName() const;
    static QString ValueName(const QString &storedName);
    static QString BoolText(bool value);
    // "True"/"False" (in any letter case) into the flag; false when neither.
    static bool ParseBool(const QString &text, bool &value);

    // The window position written with the settings.
    std::function<QString()> saveLeft, saveTop;
    std::function<void(int left, int top)> restorePosition;

private:
    struct Property
    {
        QString name;
        std::function<QString()> read;
        std::function<bool(const QString &)> write;
    };
    struct Value
    {
        QString name;
        std::function<QString()> save;
        std::function<void(const QString &)> restore;
    };
    QSettings *m_settings;
    std::vector<Property> m_properties;
    std::vector<Value> m_values;
};
