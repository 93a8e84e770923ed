#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QTcpServer>

// An HTTP server on 127.0.0.1 inside the test process, for the transport and
// everything built on it. It answers requests from a queue of scripted
// replies (then with the fallback) and keeps what it was asked. It also
// serves as an HTTP proxy: a request in absolute form ("GET http://host/...")
// is recorded with its whole URL, so tests see the program's real requests.
class FakeHttpServer : public QObject
{
    Q_OBJECT

public:
    enum class Behaviour
    {
        Answer, // a status line, headers and the body
        Close,  // drops the connection without a word
        Hang,   // keeps the connection open and never answers
        Drip    // announces a long body and sends one byte every 100 ms
    };
    struct Reply
    {
        Behaviour behaviour = Behaviour::Answer;
        int status = 200;
        QByteArray body;
        QByteArray headers;     // extra header lines, each ending in CR LF
        bool withLength = true; // otherwise the end of the body closes the connection
    };
    static Reply answer(const QByteArray &body, int status = 200)
    {
        return Reply{Behaviour::Answer, status, body, QByteArray(), true};
    }
    static Reply behave(Behaviour behaviour)
    {
        return Reply{behaviour, 200, QByteArray(), QByteArray(), true};
    }

    FakeHttpServer();
    ~FakeHttpServer() override;

    quint16 port() const { return m_server.serverPort(); }
    // "http://127.0.0.1:PORT"
    QString origin() const;

    // Replies for the next requests, in order; the fallback answers the rest.
    QList<Reply> replies;
    Reply fallback = answer(QByteArray());

    // The request target of every request, as on its request line.
    QList<QByteArray> targets;
    // Every request's head (request line and headers).
    QList<QByteArray> heads;

private:
    void accept();
    void respond(class QTcpSocket *socket, const Reply &reply);

    QTcpServer m_server;
};

Q_DECLARE_METATYPE(FakeHttpServer::Reply)
