#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QObject;
class QWidget;

// Language files: INI text files (UTF-8) whose section "Translations" maps a
// key naming one text of one window to the text to show. Key names are
// compared without regard to case; values are taken as they stand after the
// blanks around them (commas included, so a joined list survives), and a
// value written between double quotes loses them (a value that must begin or
// end with a blank is written that way). Lines beginning with ";" or "#" are
// comments. The first line of a key wins.
namespace lang {

// No language file comes near this size; a bigger file is read up to it, so a
// damaged file cannot exhaust memory.
inline constexpr qint64 MaxFileSize = 4 * 1024 * 1024;

// The section "section" of an INI text, keys folded to lower case.
QHash<QString, QString> ReadIniSection(const QByteArray &text, const QString &section);

// A list of texts as one value: the items joined by commas, a comma inside an
// item written as two commas.
QString JoinTexts(const QStringList &items);
// The reverse: a single comma separates, two commas give a comma.
QStringList SplitTexts(const QString &value);

} // namespace lang

// The translator of one window: replaces the texts designed into the window
// by those of a language file.
//
// Translate walks the window depth first over Qt's meta-object system and
// looks every text up under a dotted key:
// - the window: its name + "." + property;
// - every named object the window owns (its named descendants, however
//   deeply nested in the window's panels, up to windows of their own, which
//   own their descendants in turn): the window's name + "." + object name +
//   "." + property;
// - an unnamed object held in an object property: the holder's path + "." +
//   property name, then its own properties;
// - a list of texts (a QStringList property, the items of a combo box or of a
//   list box, under the name "Items"): the property's path, the whole list as
//   one value (JoinTexts);
// - a collection (a property holding a list of objects, such as a grid's
//   columns): the property's path + "." + position from 0, then the item's
//   properties.
// Properties are named as the windows' designers know them: the caption of a
// window (windowTitle), of a label, button or menu item (text), of a group
// box or menu (title) is "Caption"; a tool tip is "Hint"; an edit box's text
// is "Text"; any other string property is its Qt name with a capital first
// letter (the object name is never translated). Each object is visited once.
// The lookup's default is the text shown, so a missing file or key changes
// nothing.
class TTranslator
{
public:
    // The language file; setting another path drops what was read, and the
    // new file is read at the next lookup.
    QString LanguageFile() const { return m_file; }
    void SetLanguageFile(const QString &path);

    // Applies the language file to the window.
    void Translate(QWidget *window);

    // The text of a key in the language file, or fallback when the file or
    // the key is missing.
    QString Lookup(const QString &key, const QString &fallback);

    // Every text Translate looks up in a window, by key, as shown now (lists
    // joined as in the language file).
    static QHash<QString, QString> Texts(QWidget *window);

private:
    // For each text: its key and shown value; returns the value to show.
    using TextVisitor = std::function<QString(const QString &key, const QString &shown)>;
    static void Walk(QWidget *window, const TextVisitor &visit);

    QString m_file;
    std::optional<QHash<QString, QString>> m_texts;
};

// A window carrying a translator (the main window, the alarm box, the reminder
// box): the main window reaches the others' translators through it.
class TTranslatedWindow
{
public:
    virtual ~TTranslatedWindow() = default;
    TTranslator Translator;
};
