#include "support/TestEnvironment.h"

#include "store/StoreFile.h"
#include "store/modPublic.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTest>

#include <sys/stat.h>

namespace {

const char *const variables[] = {"VARNELL_SYSTEM_DIR", "VARNELL_KEY_CONTAINER", "XDG_CONFIG_HOME",
                                 "XDG_DATA_HOME", "TMPDIR"};

} // namespace

TestEnvironment::TestEnvironment()
{
    const QString values[] = {systemDir(), path(QStringLiteral("keys")),
                              path(QStringLiteral("config")), path(QStringLiteral("data")),
                              path(QStringLiteral("tmp"))};
    for (int i = 0; i < 5; ++i) {
        QDir().mkpath(values[i]);
        qputenv(variables[i], QFile::encodeName(values[i]));
    }
    QDir().rmdir(path(QStringLiteral("keys"))); // made on first use
    modPublic::determineSystemDirectory();
}

TestEnvironment::~TestEnvironment()
{
    for (const char *name : variables)
        qunsetenv(name);
    modPublic::SystemDirectory.clear();
}

QString TestEnvironment::path(const QString &relative) const
{
    return relative.isEmpty() ? m_dir.path() : m_dir.filePath(relative);
}

void TestEnvironment::createStore(const QString &developerKey, const QString &encryptionKey,
                                  const QString &password)
{
    const StoreFile::Result result =
        StoreFile::create(storePath(), developerKey, encryptionKey, password, true);
    if (!result.ok)
        qFatal("cannot create the test store: %s", qPrintable(result.error));
}

QProcessEnvironment TestEnvironment::processEnvironment() const
{
    return QProcessEnvironment::systemEnvironment();
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int unixMode(const QString &path)
{
    struct stat info
    {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

void useProxy(const QString &url)
{
    qputenv("http_proxy", url.toUtf8());
    qunsetenv("no_proxy");
}

QString deadProxy()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort());
}
