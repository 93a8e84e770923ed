#pragma once

#include <QSettings>
#include <QString>

// The per-user settings of the program: an INI file under the user's config
// folder, application "VR_Decrypt", section "Settings", text values.
class RegistrySettings
{
public:
    RegistrySettings();

    // The stored text, or the default when the key is absent or unreadable.
    QString read(const QString &key, const QString &defaultValue = QString()) const;
    void write(const QString &key, const QString &value);
    // Writes everything now; false when the file could not be written.
    bool sync();

    // The file behind the settings.
    QString fileName() const { return m_settings.fileName(); }

    static QString applicationName() { return QStringLiteral("VR_Decrypt"); }
    static QString section() { return QStringLiteral("Settings"); }

private:
    QSettings m_settings;
};
