#include "status/ServerStatus.h"

#include "common/PendingEvents.h"
#include "gateway/modProdUpdate.h"

#include <QElapsedTimer>
#include <QUrl>

namespace ServerStatus {

QString hostForEntry(const QString &entryText, const QString &serverPath)
{
    if (entryText.endsWith(QLatin1Char('0')))
        return modProdUpdate::centralHost();
    if (entryText.endsWith(QLatin1Char('1')) && !serverPath.isEmpty())
        return QLatin1String("www.") + serverPath.section(QLatin1Char('/'), 0, 0);
    return QString();
}

QString probeUrl(const QString &host)
{
    QString authority = host;
    if (authority.endsWith(QLatin1Char('/')))
        authority.chop(1);
    if (authority.isEmpty())
        return QString();
    const QString url = QLatin1String("http://") + authority + QLatin1String("/ConnTest.txt");
    // Characters such as "@", "?" or "#" in a host part would send the
    // request elsewhere; such a host is not probed.
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || !parsed.userInfo().isEmpty() ||
        parsed.authority().compare(authority, Qt::CaseInsensitive) != 0 ||
        parsed.path() != QLatin1String("/ConnTest.txt") || parsed.hasQuery() ||
        parsed.hasFragment())
        return QString();
    return url;
}

double MeasureResponseTime(const QString &host)
{
    // Everything but the download is prepared before the clock starts.
    const QString url = probeUrl(host);
    if (url.isEmpty())
        return -1;
    const modProdUpdate::AnswerFile answer;
    if (answer.path().isEmpty())
        return -1;
    QElapsedTimer clock;
    clock.start();
    if (!modProdUpdate::DownloadFile(url, answer.path()))
        return -1;
    return double(clock.nsecsElapsed()) / 1e6;
}

QString formatConnectionTime(double milliseconds)
{
    const QString formatted = QString::number(milliseconds, 'f', 2);
    if (formatted.toDouble() > 0)
        return formatted + QLatin1String(" ms");
    return QStringLiteral("< 0.1 ms");
}

Outcome outcomeOf(double milliseconds)
{
    if (milliseconds < 0)
        return Outcome{false, QStringLiteral("Down"), QStringLiteral("Down")};
    return Outcome{true, QStringLiteral("Active"), formatConnectionTime(milliseconds)};
}

Outcome probeServer(const std::function<Choice()> &currentChoice)
{
    PendingEvents::process();
    PendingEvents::process();
    const Choice choice = currentChoice();
    return outcomeOf(MeasureResponseTime(hostForEntry(choice.entryText, choice.serverPath)));
}

Outcome probeServer(const QString &entryText, const QString &serverPath)
{
    return probeServer([&] { return Choice{entryText, serverPath}; });
}

} // namespace ServerStatus
