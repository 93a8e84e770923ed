#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// A private world for one test: the settings store's folder, the key
// container, the user's config and data folders and the temporary folder all
// point into one temporary directory, which goes with the object.
class TestEnvironment
{
public:
    TestEnvironment();
    ~TestEnvironment();

    QString path(const QString &relative = QString()) const;
    QString systemDir() const { return path(QStringLiteral("system")); }
    QString storePath() const { return path(QStringLiteral("system/vemtu.sys")); }

    // Creates the store through the installer's code.
    void createStore(const QString &developerKey, const QString &encryptionKey,
                     const QString &password = QString());

    // The same environment, for child processes.
    QProcessEnvironment processEnvironment() const;

private:
    QTemporaryDir m_dir;
};

// A file's whole contents; empty when it cannot be read.
QByteArray contents(const QString &path);

// The permission bits of a file, as in `ls -l` (0600 and so on).
int unixMode(const QString &path);

// Sends every request of this process through the proxy at url.
void useProxy(const QString &url);
// A loopback proxy address where nothing listens.
QString deadProxy();
