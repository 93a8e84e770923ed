#include "statistics/PacketRequest.h"

#include "statistics/Redelivery.h"

#include "gateway/HttpClient.h"
#include "gateway/modProdUpdate.h"

#include <QUrl>

PacketRequest::PacketRequest(QObject *parent) : QObject(parent) {}

PacketRequest::~PacketRequest()
{
    // The exchange is a child: it goes with this object, its connection
    // closed, and no signal of it reaches a half-destroyed receiver.
    if (m_exchange)
        m_exchange->disconnect(this);
}

PacketRequest::Start PacketRequest::start(const QString &serverPath, const QString &transactionId)
{
    if (serverPath.isEmpty())
        return Start::NoServerPath;
    if (m_exchange)
        return Start::StillExecuting;
    // The address must reach the package server's page and nothing else: a
    // server path that would turn part of it into a user name (and so send
    // the request to another host), a query or a fragment is refused.
    const QUrl url(modStatistics::requestPackUrl(serverPath), QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty() ||
        !url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment() ||
        !url.path().endsWith(QLatin1String("/RequestPack.cgi")))
        return Start::OtherError;

    Http::Request request;
    request.method = "POST";
    request.url = url;
    request.body = modStatistics::requestPackBody(transactionId);
    request.contentType = "application/x-www-form-urlencoded";
    request.maxAnswerSize = maxAnswerSize;
    request.deadline = modProdUpdate::attemptDeadline();
    // The transaction ID goes to the package server named by the account and
    // nowhere else: a redirect is no answer.
    request.followSameOriginRedirects = false;
    m_exchange = new Http::Exchange(request, this);
    connect(m_exchange, &Http::Exchange::finished, this, &PacketRequest::finish);
    m_exchange->start();
    return Start::Started;
}

void PacketRequest::finish(const Http::Answer &answer)
{
    m_exchange->deleteLater();
    m_exchange = nullptr;
    if (!answer.complete)
        emit failed(answer.error);
    else if (answer.status >= 300 && answer.status < 400)
        emit failed(QStringLiteral("the package server redirected the request (status %1)")
                        .arg(answer.status));
    else
        emit completed(answer.body);
}
