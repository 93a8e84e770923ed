#include "support/FakeHttpServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <memory>

FakeHttpServer::FakeHttpServer()
{
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        qFatal("the fake server cannot listen on 127.0.0.1");
    connect(&m_server, &QTcpServer::newConnection, this, &FakeHttpServer::accept);
}

FakeHttpServer::~FakeHttpServer()
{
    m_server.close();
}

QString FakeHttpServer::origin() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void FakeHttpServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            if (buffer->contains("\r\n\r\n"))
                return; // one request per connection
            buffer->append(socket->readAll());
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QByteArray head = buffer->left(end);
            const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
            targets.append(requestLine.value(1));
            heads.append(head);
            respond(socket, replies.isEmpty() ? fallback : replies.takeFirst());
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void FakeHttpServer::respond(QTcpSocket *socket, const Reply &reply)
{
    switch (reply.behaviour) {
    case Behaviour::Close:
        socket->abort();
        socket->deleteLater();
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
    case Behaviour::Answer:
        break;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " Scripted\r\n" +
                      "Connection: close\r\n" + reply.headers;
    if (reply.withLength)
        head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    socket->write(head + "\r\n" + reply.body);
    socket->disconnectFromHost();
}
