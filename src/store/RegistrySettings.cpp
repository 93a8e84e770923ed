#include "store/RegistrySettings.h"

#include "common/SafeFile.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

namespace {

bool isPlainKey(const QString &key)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return plain.match(key).hasMatch();
}

bool isHexDigit(char16_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A value as QSettings writes it: plain words as they are; anything else in
// double quotes (so that ",", ";" and blanks at the ends stay part of it),
// with backslash escapes for quotes, backslashes and control characters. A
// hex digit right after a \x escape is escaped too, as the reader would
// otherwise take it into the escape. A leading "@" is doubled: the reader
// takes "@..." for a typed value.
QByteArray iniValue(const QString &value)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9._+-]+$"));
    if (plain.match(value).hasMatch())
        return value.toLatin1();
    const QString text = value.startsWith(QLatin1Char('@')) ? QLatin1Char('@') + value : value;
    QByteArray out = "\"";
    bool afterHexEscape = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x20 || c == 0x7F || (afterHexEscape && isHexDigit(c))) {
            out += "\\x" + QByteArray::number(int(c), 16);
            afterHexEscape = true;
            continue;
        }
        afterHexEscape = false;
        if (c == '"' || c == '\\')
            out += '\\';
        const qsizetype length = QChar::isHighSurrogate(c) && i + 1 < text.size() ? 2 : 1;
        out += QStringView(text).mid(i, length).toUtf8();
        i += length - 1;
    }
    return out + '"';
}

} // namespace

RegistrySettings::RegistrySettings()
    : m_fileName(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                 QLatin1Char('/') + applicationName() + QLatin1Char('/') + applicationName() +
                 QStringLiteral(".ini"))
{
    // Only read through QSettings: its own writing replaces the file with an
    // empty one when the disk fills up between its lock file and the data.
    QSettings file(m_fileName, QSettings::IniFormat);
    file.beginGroup(section());
    const QStringList keys = file.childKeys();
    for (const QString &key : keys) {
        const QVariant value = file.value(key);
        if (value.isValid() && value.canConvert<QString>())
            m_values.insert(key, value.toString());
    }
}

QString RegistrySettings::read(const QString &key, const QString &defaultValue) const
{
    return m_values.value(key, defaultValue);
}

void RegistrySettings::write(const QString &key, const QString &value)
{
    m_values.insert(key, value);
    m_changed = true;
}

void RegistrySettings::remove(const QString &key)
{
    if (m_values.remove(key))
        m_changed = true;
}

bool RegistrySettings::sync(QString *why)
{
    if (!m_changed)
        return true;
    SafeFile::Result written = SafeFile::createFolders(QFileInfo(m_fileName).path(), 0700);
    if (written)
        written = SafeFile::write(m_fileName, iniText(m_values));
    if (!written) {
        if (why)
            *why = written.error;
        return false;
    }
    m_changed = false;
    return true;
}

QByteArray RegistrySettings::iniText(const QMap<QString, QString> &values)
{
    QByteArray text = '[' + section().toLatin1() + "]\n";
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (isPlainKey(it.key()))
            text += it.key().toLatin1() + '=' + iniValue(it.value()) + '\n';
    }
    return text;
}
