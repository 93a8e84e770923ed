#include "store/RegistrySettings.h"

#include <QStandardPaths>

namespace {

// QSettings works out the user's config folder once per process; taking it
// afresh for every use lets the folder follow XDG_CONFIG_HOME.
QSettings::Format userFormat()
{
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    return QSettings::IniFormat;
}

} // namespace

RegistrySettings::RegistrySettings()
    : m_settings(userFormat(), QSettings::UserScope, applicationName(), applicationName())
{
    m_settings.beginGroup(section());
}

QString RegistrySettings::read(const QString &key, const QString &defaultValue) const
{
    const QVariant value = m_settings.value(key);
    if (!value.isValid() || !value.canConvert<QString>())
        return defaultValue;
    return value.toString();
}

void RegistrySettings::write(const QString &key, const QString &value)
{
    m_settings.setValue(key, value);
}

bool RegistrySettings::sync()
{
    m_settings.sync();
    return m_settings.status() == QSettings::NoError;
}
