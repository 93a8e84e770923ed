#include "statistics/PacketRequest.h"

#include "statistics/Redelivery.h"

#include "gateway/modProdUpdate.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace {

// The proxy that http_proxy names for the URL, unless no_proxy exempts its
// host; no proxy when none is set.
QNetworkProxy proxyFromEnvironment(const QUrl &url)
{
    const QByteArray variable = qgetenv("http_proxy");
    if (variable.isEmpty())
        return QNetworkProxy(QNetworkProxy::NoProxy);
    QByteArray exemptions = qgetenv("no_proxy");
    if (exemptions.isEmpty())
        exemptions = qgetenv("NO_PROXY");
    const QString host = url.host().toLower();
    for (const QByteArray &entry : exemptions.split(',')) {
        QString domain = QString::fromLatin1(entry.trimmed()).toLower();
        if (domain == QLatin1String("*"))
            return QNetworkProxy(QNetworkProxy::NoProxy);
        if (domain.startsWith(QLatin1Char('.')))
            domain.remove(0, 1);
        if (!domain.isEmpty() && (host == domain || host.endsWith(QLatin1Char('.') + domain)))
            return QNetworkProxy(QNetworkProxy::NoProxy);
    }
    QString value = QString::fromLocal8Bit(variable);
    if (!value.contains(QLatin1String("://")))
        value.prepend(QLatin1String("http://"));
    const QUrl proxy(value);
    if (!proxy.isValid() || proxy.host().isEmpty())
        return QNetworkProxy(QNetworkProxy::NoProxy);
    return QNetworkProxy(QNetworkProxy::HttpProxy, proxy.host(), quint16(proxy.port(80)),
                         proxy.userName(), proxy.password());
}

} // namespace

PacketRequest::PacketRequest(QObject *parent) : QObject(parent)
{
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
    m_manager.setProxy(proxyFromEnvironment(url));
    m_body.clear();
    m_stopReason.clear();
    m_reply = m_manager.post(request, modStatistics::requestPackBody(transactionId));
    connect(m_reply, &QNetworkReply::readyRead, this, &PacketRequest::readAvailable);
    connect(m_reply, &QNetworkReply::finished, this, &PacketRequest::finish);
    m_deadline.start(modProdUpdate::attemptDeadline());
    return Start::Started;
}

void PacketRequest::readAvailable()
{
    if (!m_reply || !m_stopReason.isEmpty())
        return;
    const QByteArray chunk = m_reply->read(maxAnswerSize - m_body.size() + 1);
    m_body += chunk;
    if (m_body.size() > maxAnswerSize)
        stop(QStringLiteral("The package server's answer is larger than %1 bytes.")
                 .arg(maxAnswerSize));
}

void PacketRequest::stop(const QString &reason)
{
    if (!m_reply)
        return;
    m_stopReason = reason;
    m_reply->abort(); // emits finished
}

void PacketRequest::finish()
{
    QNetworkReply *reply = m_reply;
    if (!reply)
        return;
    readAvailable();
    m_reply = nullptr;
    m_deadline.stop();
    reply->deleteLater();

    const bool answered = m_stopReason.isEmpty() &&
                          reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    const QString reason = m_stopReason.isEmpty() ? reply->errorString() : m_stopReason;
    const QByteArray body = std::exchange(m_body, QByteArray());
    if (answered)
        emit completed(body);
    else
        emit failed(reason);
}
