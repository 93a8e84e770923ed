#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

// An HTTP server on 127.0.0.1 inside the test process. It answers every
// request (one per connection) with the next scripted reply, then with the
// fallback, and keeps what it was asked. As the program's proxy it sees the
// program's real URLs: a proxied request's target is the whole URL.
class FakeHttpServer : public QObject
{
    Q_OBJECT

public:
    enum class Behaviour
    {
        Answer, // status line, headers, body, then the connection closes
        Close,  // drops the connection without a word
        Hang,   // keeps the connection open and never answers
        Drip,   // announces a long body and sends one byte every 100 ms
        Raw     // sends the body's bytes as they are (a whole answer or a broken one), then closes
    };
    struct Reply
    {
        int status = 200;
        QByteArray body = {};
        Behaviour behaviour = Behaviour::Answer;
        QByteArray headers = {}; // extra header lines, each ending in CR LF
        int delayMs = 0;
    };
    struct Request
    {
        QByteArray method;
        QByteArray target; // as on the request line
        QByteArray head;   // request line and headers
        QByteArray body;
    };
    static Reply answer(const QByteArray &body, int status = 200)
    {
        return {.status = status, .body = body};
    }
    static Reply behave(Behaviour behaviour) { return {.behaviour = behaviour}; }

    FakeHttpServer();
    ~FakeHttpServer() override;

    // "http://127.0.0.1:PORT"
    QString origin() const;
    QList<QByteArray> targets() const;

    // Makes this server the program's proxy (http_proxy, no no_proxy) until
    // it goes. False when the central host would not be reached through it:
    // then no request may be sent, since it would leave the machine.
    bool useAsProxy();

    QList<Reply> replies;
    Reply fallback;
    QList<Request> requests;

private:
    void read(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const Reply &reply);

    QTcpServer m_server;
    bool m_isProxy = false;
};
