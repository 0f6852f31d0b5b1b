#include "base/Translator.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMetaProperty>
#include <QSet>
#include <QWidget>

namespace lang {

QHash<QString, QString> ReadIniSection(const QByteArray &text, const QString &section)
{
    QHash<QString, QString> result;
    QString all = QString::fromUtf8(text.left(MaxFileSize));
    if (all.startsWith(QChar(0xFEFF)))
        all.remove(0, 1);
    bool inSection = false;
    const QStringView view(all);
    qsizetype start = 0;
    while (start <= view.size()) {
        qsizetype end = view.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = view.size();
        QStringView line = view.mid(start, end - start).trimmed();
        start = end + 1;
        if (line.isEmpty() || line.front() == QLatin1Char(';') || line.front() == QLatin1Char('#'))
            continue;
        if (line.front() == QLatin1Char('[')) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            const QStringView name = close < 0 ? line.mid(1) : line.mid(1, close - 1);
            inSection = name.trimmed().compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed().toString().toLower();
        if (key.isEmpty() || result.contains(key))
            continue;
        QStringView value = line.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.front() == QLatin1Char('"') && value.back() == QLatin1Char('"'))
            value = value.mid(1, value.size() - 2);
        result.insert(key, value.toString());
    }
    return result;
}

QString JoinTexts(const QStringList &items)
{
    QStringList doubled;
    doubled.reserve(items.size());
    for (QString item : items)
        doubled << item.replace(QLatin1Char(','), QStringLiteral(",,"));
    return doubled.join(QLatin1Char(','));
}

QStringList SplitTexts(const QString &value)
{
    QStringList items;
    if (value.isEmpty())
        return items;
    QString item;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != QLatin1Char(',')) {
            item += value[i];
        } else if (i + 1 < value.size() && value[i + 1] == QLatin1Char(',')) {
            item += QLatin1Char(',');
            ++i;
        } else {
            items << item;
            item.clear();
        }
    }
    items << item;
    return items;
}

} // namespace lang

namespace {

// Windows of their own own their named descendants; menus are part of the
// window they open from.
bool OwnsDescendants(const QObject *object)
{
    const auto *widget = qobject_cast<const QWidget *>(object);
    return widget && widget->isWindow() && widget->windowType() != Qt::Popup;
}

bool IsComponent(const QObject *object)
{
    return !object->objectName().isEmpty() && !object->objectName().startsWith(QLatin1String("qt_"));
}

// The named objects an owner owns, in creation order: its descendants up to
// (and including) the next owners.
void CollectOwned(const QObject *parent, QList<QObject *> &owned)
{
    for (QObject *child : parent->children()) {
        if (IsComponent(child))
            owned << child;
        if (!OwnsDescendants(child))
            CollectOwned(child, owned);
    }
}

// The name under which a property's text is looked up.
QString KeyName(const QObject *object, const QMetaProperty &property)
{
    const QLatin1String name(property.name());
    if (name == QLatin1String("windowTitle") && OwnsDescendants(object))
        return QStringLiteral("Caption");
    if (name == QLatin1String("text") &&
        (qobject_cast<const QLabel *>(object) || qobject_cast<const QAbstractButton *>(object) ||
         qobject_cast<const QAction *>(object)))
        return QStringLiteral("Caption");
    if (name == QLatin1String("title") &&
        (qobject_cast<const QGroupBox *>(object) || qobject_cast<const QMenu *>(object)))
        return QStringLiteral("Caption");
    if (name == QLatin1String("toolTip"))
        return QStringLiteral("Hint");
    QString key = QString::fromLatin1(property.name());
    if (!key.isEmpty())
        key[0] = key[0].toUpper();
    return key;
}

// The item texts of the item widgets that hold no list property.
std::optional<QStringList> ItemTexts(const QObject *object)
{
    QStringList items;
    if (const auto *combo = qobject_cast<const QComboBox *>(object)) {
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        return items;
    }
    if (const auto *list = qobject_cast<const QListWidget *>(object)) {
        for (int i = 0; i < list->count(); ++i)
            items << list->item(i)->text();
        return items;
    }
    return std::nullopt;
}

// Replaces the item texts; items beyond the new list go, missing ones are
// added. The selection stays on the same position when it still exists.
void SetItemTexts(QObject *object, const QStringList &items)
{
    if (auto *combo = qobject_cast<QComboBox *>(object)) {
        while (combo->count() > items.size())
            combo->removeItem(combo->count() - 1);
        for (int i = 0; i < items.size(); ++i) {
            if (i < combo->count())
                combo->setItemText(i, items[i]);
            else
                combo->addItem(items[i]);
        }
    } else if (auto *list = qobject_cast<QListWidget *>(object)) {
        while (list->count() > items.size())
            delete list->takeItem(list->count() - 1);
        for (int i = 0; i < items.size(); ++i) {
            if (i < list->count())
                list->item(i)->setText(items[i]);
            else
                list->addItem(items[i]);
        }
    }
}

class Walker
{
public:
    using Visit = std::function<QString(const QString &, const QString &)>;
    explicit Walker(const Visit &visit) : m_visit(visit) {}

    // owner: the object owns its named descendants (the window translated,
    // and the windows of their own inside it).
    void Object(QObject *object, const QString &path, bool owner)
    {
        if (m_visited.contains(object))
            return;
        m_visited.insert(object);
        // A list of texts held by an item widget.
        if (const std::optional<QStringList> items = ItemTexts(object)) {
            const QString shown = lang::JoinTexts(*items);
            const QString value = m_visit(path + QStringLiteral(".Items"), shown);
            if (value != shown)
                SetItemTexts(object, lang::SplitTexts(value));
        }
        const QMetaObject *meta = object->metaObject();
        // The texts.
        for (int i = 0; i < meta->propertyCount(); ++i) {
            const QMetaProperty p = meta->property(i);
            if (!p.isReadable() || !p.isWritable() || qstrcmp(p.name(), "objectName") == 0)
                continue;
            const QString key = path + QLatin1Char('.') + KeyName(object, p);
            const int type = p.metaType().id();
            if (type == QMetaType::QString) {
                const QString shown = p.read(object).toString();
                const QString value = m_visit(key, shown);
                if (value != shown)
                    p.write(object, value);
            } else if (type == QMetaType::QStringList) {
                const QString shown = lang::JoinTexts(p.read(object).toStringList());
                const QString value = m_visit(key, shown);
                if (value != shown)
                    p.write(object, lang::SplitTexts(value));
            }
        }
        // The objects held in properties, and the collections.
        for (int i = 0; i < meta->propertyCount(); ++i) {
            const QMetaProperty p = meta->property(i);
            if (!p.isReadable())
                continue;
            const QString key = path + QLatin1Char('.') + KeyName(object, p);
            if (p.metaType() == QMetaType::fromType<QObjectList>()) {
                const QObjectList items = p.read(object).value<QObjectList>();
                for (qsizetype n = 0; n < items.size(); ++n) {
                    if (items[n])
                        Object(items[n], key + QLatin1Char('.') + QString::number(n), false);
                }
            } else if (p.metaType().flags().testFlag(QMetaType::PointerToQObject)) {
                QObject *held = p.read(object).value<QObject *>();
                if (held && !IsComponent(held))
                    Object(held, key, false);
            }
        }
        // The components it owns.
        if (owner) {
            QList<QObject *> owned;
            CollectOwned(object, owned);
            for (QObject *component : std::as_const(owned))
                Object(component, path + QLatin1Char('.') + component->objectName(), OwnsDescendants(component));
        }
    }

private:
    const Visit &m_visit;
    QSet<const QObject *> m_visited;
};

} // namespace

void TTranslator::SetLanguageFile(const QString &path)
{
    if (path == m_file)
        return;
    m_file = path;
    m_texts.reset();
}

QString TTranslator::Lookup(const QString &key, const QString &fallback)
{
    if (!m_texts) {
        QFile file(m_file);
        m_texts.emplace();
        if (!m_file.isEmpty() && file.open(QIODevice::ReadOnly))
            *m_texts = lang::ReadIniSection(file.read(lang::MaxFileSize), QStringLiteral("Translations"));
    }
    const auto found = m_texts->constFind(key.toLower());
    return found == m_texts->cend() ? fallback : *found;
}

void TTranslator::Walk(QWidget *window, const TextVisitor &visit)
{
    Walker(visit).Object(window, window->objectName(), true);
}

void TTranslator::Translate(QWidget *window)
{
    Walk(window, [this](const QString &key, const QString &shown) { return Lookup(key, shown); });
}

QHash<QString, QString> TTranslator::Texts(QWidget *window)
{
    QHash<QString, QString> texts;
    Walk(window, [&texts](const QString &key, const QString &shown) {
        texts.insert(key, shown);
        return shown;
    });
    return texts;
}
