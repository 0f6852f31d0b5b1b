#include "ui/FormStorage.h"

#include <QSettings>

namespace {

const QString Group = QStringLiteral("KA2/MainForm");

} // namespace

TFormStorage::TFormStorage()
    : m_settings(new QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Morvane"),
                               QStringLiteral("Almarik")))
{
}

TFormStorage::~TFormStorage()
{
    delete m_settings;
}

QString TFormStorage::ValueName(const QString &storedName)
{
    return QString(storedName).replace(QLatin1Char('.'), QLatin1Char('_'));
}

QString TFormStorage::BoolText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

bool TFormStorage::ParseBool(const QString &text, bool &value)
{
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
        value = true;
        return true;
    }
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
        value = false;
        return true;
    }
    return false;
}

void TFormStorage::AddProperty(const QString &storedName, std::function<QString()> read,
                               std::function<bool(const QString &)> write)
{
    m_properties.push_back({ValueName(storedName), std::move(read), std::move(write)});
}

void TFormStorage::AddValue(const QString &name, std::function<QString()> save,
                            std::function<void(const QString &)> restore)
{
    m_values.push_back({name, std::move(save), std::move(restore)});
}

QString TFormStorage::FileName() const
{
    return m_settings->fileName();
}

void TFormStorage::Save()
{
    m_settings->beginGroup(Group);
    for (const Property &p : m_properties)
        m_settings->setValue(p.name, p.read());
    if (saveLeft && saveTop) {
        m_settings->setValue(QStringLiteral("Left"), saveLeft());
        m_settings->setValue(QStringLiteral("Top"), saveTop());
    }
    m_settings->setValue(QStringLiteral("FormVersion"), QStringLiteral("0"));
    for (const Value &v : m_values)
        m_settings->setValue(v.name, v.save());
    m_settings->endGroup();
    m_settings->sync();
}

void TFormStorage::Restore()
{
    m_settings->sync();
    m_settings->beginGroup(Group);
    for (const Property &p : m_properties) {
        const QVariant stored = m_settings->value(p.name);
        if (stored.isValid() && stored.canConvert<QString>())
            p.write(stored.toString());
    }
    if (restorePosition && m_settings->contains(QStringLiteral("Left")) &&
        m_settings->contains(QStringLiteral("Top"))) {
        bool okLeft = false;
        bool okTop = false;
        const int left = m_settings->value(QStringLiteral("Left")).toString().toInt(&okLeft);
        const int top = m_settings->value(QStringLiteral("Top")).toString().toInt(&okTop);
        if (okLeft && okTop)
            restorePosition(left, top);
    }
    for (const Value &v : m_values) {
        const QVariant stored = m_settings->value(v.name);
        v.restore(stored.isValid() ? stored.toString() : QString());
    }
    m_settings->endGroup();
}

QString TFormStorage::ReadValue(const QString &name) const
{
    m_settings->sync();
    return m_settings->value(Group + QLatin1Char('/') + name).toString();
}

void TFormStorage::WriteValue(const QString &name, const QString &value)
{
    m_settings->setValue(Group + QLatin1Char('/') + name, value);
    m_settings->sync();
}
