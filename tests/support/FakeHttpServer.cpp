#include "support/FakeHttpServer.h"

#include "gateway/modProdUpdate.h"

#include <QNetworkProxyFactory>
#include <QTcpSocket>
#include <QTimer>

FakeHttpServer::FakeHttpServer()
{
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        qFatal("the fake server cannot listen on 127.0.0.1");
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

FakeHttpServer::~FakeHttpServer()
{
    if (m_isProxy)
        qunsetenv("http_proxy");
}

QString FakeHttpServer::origin() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
}

QList<QByteArray> FakeHttpServer::targets() const
{
    QList<QByteArray> list;
    for (const Request &request : requests)
        list.append(request.target);
    return list;
}

bool FakeHttpServer::useAsProxy()
{
    for (const char *name : {"HTTP_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"})
        qunsetenv(name);
    qputenv("http_proxy", origin().toLatin1());
    m_isProxy = true;
    const QList<QNetworkProxy> proxies = QNetworkProxyFactory::systemProxyForQuery(
        QNetworkProxyQuery(QUrl(modProdUpdate::CentralBaseURL())));
    return !proxies.isEmpty() && proxies.first().hostName() == QLatin1String("127.0.0.1") &&
           proxies.first().port() == m_server.serverPort();
}

void FakeHttpServer::read(QTcpSocket *socket)
{
    if (socket->property("answered").toBool())
        return;
    const QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    socket->setProperty("buffer", buffer);
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;
    Request request;
    request.head = buffer.left(headEnd);
    const QList<QByteArray> line = request.head.left(request.head.indexOf("\r\n")).split(' ');
    request.method = line.value(0);
    request.target = line.value(1);
    const qsizetype length = request.head.toLower().indexOf("\r\ncontent-length:");
    const qsizetype bodySize =
        length < 0 ? 0 : request.head.mid(length + 17).split('\r').first().trimmed().toLongLong();
    if (buffer.size() < headEnd + 4 + bodySize)
        return;
    request.body = buffer.mid(headEnd + 4, bodySize);
    socket->setProperty("answered", true);
    requests.append(request);
    const Reply reply = replies.isEmpty() ? fallback : replies.takeFirst();
    QTimer::singleShot(reply.delayMs, socket, [this, socket, reply] { respond(socket, reply); });
}

void FakeHttpServer::respond(QTcpSocket *socket, const Reply &reply)
{
    switch (reply.behaviour) {
    case Behaviour::Close:
        socket->abort();
        return;
    case Behaviour::Hang:
        return;
    case Behaviour::Drip: {
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [socket] { socket->write("x"); });
        timer->start(100);
        return;
    }
    case Behaviour::Raw:
        socket->write(reply.body);
        socket->disconnectFromHost();
        return;
    case Behaviour::Answer:
        // A body goes in one chunk: no length announced, so a client must
        // limit what it takes as it reads.
        socket->write("HTTP/1.1 " + QByteArray::number(reply.status) +
                      " Scripted\r\nConnection: close\r\n" + reply.headers +
                      (reply.body.isEmpty() ? QByteArray("Content-Length: 0\r\n\r\n")
                                            : "Transfer-Encoding: chunked\r\n\r\n" +
                                                  QByteArray::number(reply.body.size(), 16) +
                                                  "\r\n" + reply.body + "\r\n0\r\n\r\n"));
        socket->disconnectFromHost();
    }
}
