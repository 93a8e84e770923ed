#include "sandbox/SandboxAccount.h"

#include "store/modPublic.h"

namespace SandboxAccount {

namespace {

QString serverPath()
{
    return modPublic::GetServerPath(developerKey());
}

} // namespace

QString packageHost()
{
    const QString path = serverPath();
    return QStringLiteral("www.") + path.left(path.indexOf(QLatin1Char('/')));
}

QString packageFolder()
{
    const QString path = serverPath();
    const qsizetype slash = path.indexOf(QLatin1Char('/'));
    return slash < 0 ? QStringLiteral("/") : path.mid(slash);
}

QString statisticsId()
{
    QString id = serverPath();
    id.remove(QLatin1Char('/'));
    id.remove(QLatin1Char('.'));
    return id;
}

} // namespace SandboxAccount
