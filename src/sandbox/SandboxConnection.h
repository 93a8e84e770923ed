#pragma once

#include "gateway/HttpMessage.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>

class QTcpSocket;

// One client's connection to the sandbox. It reads the client's requests
// one after the other (HTTP/1.1 keep-alive, pipelined requests included),
// hands each whole request out and writes the answer it is given, all
// without blocking: a client that is slow, silent or never reads holds up
// only its own connection, and only for as long as the limits allow.
// Requests that cannot be read are answered here (400, 408, 413, 431, 501,
// 505) and the connection is closed after them.
class SandboxConnection : public QObject
{
    Q_OBJECT

public:
    struct Limits
    {
        // A whole request, from its first byte to its last.
        std::chrono::milliseconds requestTime{5000};
        // A connection with no request under way: new, or kept alive.
        std::chrono::milliseconds idleTime{5000};
        // An answer, until its last byte has gone.
        std::chrono::milliseconds writeTime{10000};
        // After the last answer, how long the rest of what the client sends
        // is read and dropped, so that closing does not reset the connection
        // before the client has read the answer.
        std::chrono::milliseconds lingerTime{2000};
        qint64 maxBodySize = 1024 * 1024;
    };

    enum class State
    {
        Idle,     // waiting for a request's first byte
        Reading,  // a request is arriving
        Handling, // a whole request has been handed out, no answer yet
        Writing,  // an answer is going out
        Closing   // the last answer has gone; waiting for the client to close
    };

    // Takes the socket over (it becomes a child of the connection).
    SandboxConnection(QTcpSocket *socket, const Limits &limits, QObject *parent = nullptr);
    ~SandboxConnection() override;

    State state() const { return m_state; }
    // When the current state began.
    std::chrono::steady_clock::time_point stateSince() const { return m_since; }

    // Answers the request that requestReceived() handed out; nothing in any
    // other state. With close, or when the client asked for it, the
    // connection closes after the answer.
    void answer(int status, const QByteArray &body, bool close = false);

    // Ends the connection at once, whatever it is doing.
    void abort();

signals:
    // A whole request: its head (method, target, version, headers) and body.
    void requestReceived(const Http::Head &head, const QByteArray &body);
    // The connection has ended; it deletes itself later.
    void closed();

private:
    void enter(State state);
    void readAvailable();
    void readRequests();
    void requestComplete();
    void refuse(int status, const QString &why);
    void written();
    void timeUp();
    void finish();

    QTcpSocket *m_socket;
    Limits m_limits;
    State m_state = State::Idle;
    std::chrono::steady_clock::time_point m_since;
    QTimer m_timer; // the limit of the current state
    std::unique_ptr<Http::MessageReader> m_reader;
    QByteArray m_pending; // bytes read past the request being handled
    QByteArray m_method;  // of the request being answered
    bool m_http10 = false;
    bool m_closeAfterAnswer = false;
    bool m_continueSent = false;
    bool m_finished = false;
};
