#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 for tests, reached as the program's
// proxy (http_proxy=http://127.0.0.1:PORT), so request targets arrive in the
// absolute form "http://host/path?query". It keeps every request and
// answers through a handler: with a status and body, by closing the
// connection without an answer, or never.
class LoopbackHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QByteArray method;
        QByteArray target;
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    struct Reply
    {
        enum Kind
        {
            Answer,
            Drop, // close the connection without answering
            Hang  // keep the connection open and never answer
        };
        int status = 200;
        QByteArray body;
        Kind kind = Answer;
        int delayMs = 0;
    };

    using Handler = std::function<Reply(const Request &)>;

    explicit LoopbackHttpServer(QObject *parent = nullptr);
    ~LoopbackHttpServer() override;

    quint16 port() const { return m_server.serverPort(); }
    QByteArray proxyUrl() const;

    // The default handler answers 200 with an empty body.
    void setHandler(Handler handler) { m_handler = std::move(handler); }

    QList<Request> requests;

private:
    void accept();
    void readFrom(QTcpSocket *socket);

    QTcpServer m_server;
    Handler m_handler;
    QMap<QTcpSocket *, QByteArray> m_buffers;
};
