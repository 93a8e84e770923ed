#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// The per-user settings of the program: an INI file under the user's config
// folder, application "VR_Decrypt", section "Settings", text values. The
// file is read once, when the object is made, and written whole by sync()
// through the safe writer, so that a full disk leaves the earlier file as it
// was instead of an empty one.
class RegistrySettings
{
public:
    RegistrySettings();

    // The stored text, or the default when the key is absent or unreadable.
    QString read(const QString &key, const QString &defaultValue = QString()) const;
    // Keys are plain names: letters, digits and underscores.
    void write(const QString &key, const QString &value);
    void remove(const QString &key);
    // Writes the section to the file when something was written; false when
    // the file could not be written, with the path and the reason in why.
    bool sync(QString *why = nullptr);

    // The file behind the settings.
    QString fileName() const { return m_fileName; }

    static QString applicationName() { return QStringLiteral("VR_Decrypt"); }
    static QString section() { return QStringLiteral("Settings"); }

    // The file's text for the values, in the INI form that QSettings reads
    // back exactly: one section, "key=value" lines, values quoted and escaped
    // where needed. Keys that are no plain names are left out.
    static QByteArray iniText(const QMap<QString, QString> &values);

private:
    QString m_fileName;
    QMap<QString, QString> m_values;
    bool m_changed = false;
};
