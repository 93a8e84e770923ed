#pragma once

#include <QString>

// The settings store (developer key, encryption key, password) and the rule
// that turns a developer key into the developer's server path.
namespace modPublic {

// The machine-wide folder of the store; set once at start by
// determineSystemDirectory().
extern QString SystemDirectory;

// Set by the login dialog: true once the stored password was typed.
extern bool LoginAccepted;

// The build's default folder, or VARNELL_SYSTEM_DIR when that is set.
QString systemDirectoryFromEnvironment();
void determineSystemDirectory();

inline QString storeFileName()
{
    return QStringLiteral("vemtu.sys");
}
QString storePath();

// Each call opens the store exclusively, uses its first record and closes it
// again. Every failure gives false and shows nothing; outputs assigned before
// a failure keep what was read, the others keep the caller's values. why, when
// given, then tells the store's path and the cause, for the caller's message:
// "/var/lib/varnell/vemtu.sys: the file is locked by another process".
bool ReadSettings(QString &developerKey, QString &encryptionKey, QString &password,
                  QString *why = nullptr);

// The settings record: the three values in their order.
struct Settings
{
    QString developerKey;
    QString encryptionKey;
    QString password;
};
bool ReadSettings(Settings &settings, QString *why = nullptr);

// The developer key as the store holds it now, for a request that reads it
// afresh; empty when the store cannot be read.
QString storedDeveloperKey();
bool WriteSettings(const QString &developerKey, const QString &encryptionKey,
                   const QString &password, QString *why = nullptr);

// What every user of the store says when it cannot be read; the cause
// and the path follow it.
inline QString storeFailureText()
{
    return QStringLiteral("Unable to access utility settings.");
}

// Characters 13 onwards of the key, lower-cased, with x, y and z standing for
// ".ca/", ".com/" and "/".
QString GetServerPath(const QString &developerKey);

} // namespace modPublic
