#include "statistics/PacketRequest.h"

#include "statistics/Redelivery.h"

#include "gateway/modProdUpdate.h"

#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace {

// The proxy the desktop is set up for (http_proxy and no_proxy in the
// environment, or the desktop's own settings), as every other request of the
// program uses it.
class SystemProxyFactory final : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        return systemProxyForQuery(query);
    }
};

} // namespace

PacketRequest::PacketRequest(QObject *parent) : QObject(parent)
{
    m_manager.setProxyFactory(new SystemProxyFactory);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this,
            [this] { stop(QStringLiteral("The package server did not answer in time.")); });
}

PacketRequest::~PacketRequest()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

PacketRequest::Start PacketRequest::start(const QString &serverPath, const QString &transactionId)
{
    if (serverPath.isEmpty())
        return Start::NoServerPath;
    if (m_reply)
        return Start::StillExecuting;
    // The address must reach the package server's page and nothing else: a
    // server path that would turn part of it into a user name (and so send
    // the request to another host), a query or a fragment is refused.
    const QUrl url(modStatistics::requestPackUrl(serverPath), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty() || url.hasQuery() ||
        url.hasFragment() || !url.path().endsWith(QLatin1String("/RequestPack.cgi")))
        return Start::OtherError;

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // The transaction ID goes to the package server named by the account and
    // to no other host a redirect might name.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);
    m_body.clear();
    m_stopReason.clear();
    m_reply = m_manager.post(request, modStatistics::requestPackBody(transactionId));
    connect(m_reply, &QNetworkReply::readyRead, this, &PacketRequest::readAvailable);
    connect(m_reply, &QNetworkReply::finished, this, &PacketRequest::finish);
    m_deadline.start(modProdUpdate::attemptDeadline());
    return Start::Started;
}

bool PacketRequest::take(QNetworkReply *reply)
{
    // At most one byte beyond the limit is read, enough to tell it was crossed.
    m_body += reply->read(maxAnswerSize - m_body.size() + 1);
    if (m_body.size() <= maxAnswerSize)
        return true;
    m_stopReason =
        QStringLiteral("The package server's answer is larger than %1 bytes.").arg(maxAnswerSize);
    return false;
}

void PacketRequest::readAvailable()
{
    if (m_reply && m_stopReason.isEmpty() && !take(m_reply))
        m_reply->abort(); // finishes the request
}

void PacketRequest::stop(const QString &reason)
{
    if (!m_reply)
        return;
    m_stopReason = reason;
    m_reply->abort(); // finishes the request
}

void PacketRequest::finish()
{
    QNetworkReply *reply = m_reply;
    if (!reply)
        return;
    m_reply = nullptr;
    m_deadline.stop();
    reply->disconnect(this);
    reply->deleteLater();

    const bool answered = m_stopReason.isEmpty() && take(reply) &&
                          reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    const QString reason = m_stopReason.isEmpty() ? reply->errorString() : m_stopReason;
    const QByteArray body = std::exchange(m_body, QByteArray());
    if (answered)
        emit completed(body);
    else
        emit failed(reason);
}
