#include "gateway/HttpClient.h"

#include "BuildConfig.h"

#include <QEventLoop>
#include <QNetworkProxyFactory>
#include <QTcpSocket>

namespace Http {

namespace {

constexpr int maxRedirects = 5;

// The exchanges under way (all on the one thread that makes them).
QList<Exchange *> running;
bool shuttingDown = false;
WaitObserver *waitObserver = nullptr;

const QString endingReason()
{
    return QStringLiteral("the program is ending");
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme() == b.scheme() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 &&
           a.port(80) == b.port(80);
}

// host[:port] as the Host header and an absolute URL name the server.
QByteArray authority(const QUrl &url)
{
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (url.port() != -1 && url.port() != 80)
        host += ':' + QByteArray::number(url.port());
    return host;
}

QByteArray requestTarget(QUrl url, bool throughProxy)
{
    if (url.path().isEmpty())
        url.setPath(QStringLiteral("/"));
    if (throughProxy)
        return url.toEncoded(QUrl::RemoveUserInfo | QUrl::RemoveFragment);
    return url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
}

QString seconds(std::chrono::milliseconds time)
{
    return QString::number(double(time.count()) / 1000.0);
}

} // namespace

QByteArray userAgent()
{
    return QByteArray("Varnell-Decryptor/") + BuildConfig::versionString;
}

Exchange::Exchange(Request request, QObject *parent)
    : QObject(parent), m_request(std::move(request)), m_url(m_request.url)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        abort(QStringLiteral("no whole answer came within %1 s").arg(seconds(m_request.deadline)));
    });
}

Exchange::~Exchange()
{
    running.removeOne(this);
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void Exchange::start()
{
    if (m_running)
        return;
    m_running = true;
    running.append(this);
    if (shuttingDown) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                end(Answer{false, 0, {}, endingReason(), true});
            },
            Qt::QueuedConnection);
        return;
    }
    m_deadline.start(m_request.deadline);
    connectTo(m_url);
}

void Exchange::abort(const QString &reason)
{
    if (m_running)
        end(Answer{false, 0, {}, reason, false});
}

void Exchange::abandon(const QString &reason)
{
    if (m_running)
        end(Answer{false, 0, {}, reason, true});
}

void Exchange::connectTo(const QUrl &url)
{
    if (url.scheme() != QLatin1String("http") || url.host().isEmpty()) {
        // Ended from the event loop, so that a caller that starts and then
        // connects to finished() still hears of it.
        QMetaObject::invokeMethod(
            this, [this] { abort(QStringLiteral("only http:// addresses can be fetched")); },
            Qt::QueuedConnection);
        return;
    }
    m_url = url;
    m_reader =
        std::make_unique<MessageReader>(MessageReader::Kind::Answer, m_request.maxAnswerSize);

    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
    const QNetworkProxy proxy = proxies.value(0, QNetworkProxy(QNetworkProxy::NoProxy));

    m_socket = new QTcpSocket(this);
    m_throughProxy = false;
    m_proxyAuthorization.clear();
    QString host = url.host();
    quint16 port = quint16(url.port(80));
    switch (proxy.type()) {
    case QNetworkProxy::HttpProxy:
    case QNetworkProxy::HttpCachingProxy:
        // A plain HTTP proxy takes the whole URL on the request line.
        m_throughProxy = true;
        host = proxy.hostName();
        port = proxy.port();
        if (!proxy.user().isEmpty())
            m_proxyAuthorization =
                "Basic " + (proxy.user() + QLatin1Char(':') + proxy.password()).toUtf8().toBase64();
        m_socket->setProxy(QNetworkProxy::NoProxy);
        break;
    case QNetworkProxy::Socks5Proxy:
        m_socket->setProxy(proxy);
        break;
    default:
        m_socket->setProxy(QNetworkProxy::NoProxy);
        break;
    }

    connect(m_socket, &QTcpSocket::connected, this, &Exchange::sendRequest);
    connect(m_socket, &QTcpSocket::readyRead, this, &Exchange::readAvailable);
    connect(m_socket, &QTcpSocket::disconnected, this, &Exchange::connectionEnded);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (!m_socket)
            return;
        // An answer that runs to the end of the connection is complete when
        // the server closes it.
        if (m_socket->error() == QAbstractSocket::RemoteHostClosedError) {
            connectionEnded();
            return;
        }
        const QTcpSocket *socket = m_socket;
        const QString reason = m_peer + QStringLiteral(": ") + m_socket->errorString();
        readAvailable();
        if (m_running && m_socket == socket)
            abort(reason);
    });
    m_peer = QStringLiteral("%1:%2").arg(host).arg(port);
    if (m_throughProxy)
        m_peer = QStringLiteral("the proxy ") + m_peer;
    m_socket->connectToHost(host, port);
}

void Exchange::sendRequest()
{
    QByteArray head = m_request.method + ' ' + requestTarget(m_url, m_throughProxy) +
                      " HTTP/1.1\r\nHost: " + authority(m_url) + "\r\nUser-Agent: " + userAgent() +
                      "\r\nAccept: */*\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n"
                      "Connection: close\r\n";
    if (!m_proxyAuthorization.isEmpty())
        head += "Proxy-Authorization: " + m_proxyAuthorization + "\r\n";
    if (m_request.method != "GET" || !m_request.body.isEmpty()) {
        if (!m_request.contentType.isEmpty())
            head += "Content-Type: " + m_request.contentType + "\r\n";
        head += "Content-Length: " + QByteArray::number(m_request.body.size()) + "\r\n";
    }
    m_socket->write(head + "\r\n" + m_request.body);
}

void Exchange::readAvailable()
{
    if (!m_socket || !m_running)
        return;
    const QByteArray bytes = m_socket->readAll();
    if (bytes.isEmpty())
        return;
    const MessageReader::State state = m_reader->feed(bytes);
    if (state == MessageReader::State::Failed)
        abort(QStringLiteral("the server's answer was refused: %1").arg(m_reader->error()));
    else if (state == MessageReader::State::Complete)
        messageRead();
}

void Exchange::connectionEnded()
{
    const QTcpSocket *socket = m_socket;
    if (!socket || !m_running)
        return;
    readAvailable();
    if (!m_running || m_socket != socket)
        return;
    const MessageReader::State state = m_reader->finish();
    if (state == MessageReader::State::Complete)
        messageRead();
    else if (m_reader->failure() == MessageReader::Failure::Truncated)
        abort(QStringLiteral("the server closed the connection before the whole answer came"));
    else
        abort(QStringLiteral("the server's answer was refused: %1").arg(m_reader->error()));
}

void Exchange::messageRead()
{
    const Head &head = m_reader->head();
    const int status = head.status();
    const QByteArray location = head.value("Location");
    if (m_request.followSameOriginRedirects && status >= 300 && status < 400 &&
        !location.isNull()) {
        const QUrl next = m_url.resolved(QUrl::fromEncoded(location));
        if (sameOrigin(next, m_url) && m_redirects < maxRedirects) {
            ++m_redirects;
            m_socket->disconnect(this);
            m_socket->abort();
            m_socket->deleteLater();
            m_socket = nullptr;
            connectTo(next);
            return;
        }
    }
    end(Answer{true, status, m_reader->body(), {}, false});
}

void Exchange::end(Answer answer)
{
    if (!m_running)
        return;
    m_running = false;
    running.removeOne(this);
    m_deadline.stop();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_reader.reset();
    emit finished(answer);
}

void setWaitObserver(WaitObserver *observer)
{
    waitObserver = observer;
}

Answer fetch(const Request &request)
{
    Exchange exchange(request);
    Answer answer;
    bool done = false;
    QObject::connect(&exchange, &Exchange::finished, &exchange, [&](const Answer &result) {
        answer = result;
        done = true;
    });
    WaitObserver *const observer = waitObserver;
    if (observer)
        observer->waitStarted(request.url.host());
    exchange.start();
    // The flags are asked for at every pass: a window of the observer's own
    // that shows during the wait may take input from then on.
    QEventLoop loop;
    while (!done) {
        const bool input = observer && waitObserver == observer && observer->takesInput();
        loop.processEvents(QEventLoop::WaitForMoreEvents |
                           (input ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents));
    }
    if (observer && waitObserver == observer)
        observer->waitEnded();
    return answer;
}

void abandonAll(const QString &reason)
{
    const QList<Exchange *> now = running;
    for (Exchange *exchange : now) {
        if (running.contains(exchange))
            exchange->abandon(reason);
    }
}

void shutDown()
{
    shuttingDown = true;
    abandonAll(endingReason());
}

} // namespace Http
