#include "platform/QSettingsStore.h"

#include <QVariant>

QSettingsStore::QSettingsStore()
    : m_settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Nuvaro"),
                 QStringLiteral("Nuvaro"))
{
}

QSettingsStore::~QSettingsStore()
{
    m_settings.sync();
}

bool QSettingsStore::Read(const std::string& key, std::string& value) const
{
    const QString name = QString::fromStdString(key);
    if (!m_settings.contains(name))
        return false;
    value = m_settings.value(name).toString().toStdString();
    return true;
}

void QSettingsStore::Write(const std::string& key, const std::string& value)
{
    m_settings.setValue(QString::fromStdString(key), QString::fromStdString(value));
}

bool QSettingsStore::Sync()
{
    m_settings.sync();
    return m_settings.status() == QSettings::NoError;
}
