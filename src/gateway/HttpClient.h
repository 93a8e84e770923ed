#pragma once

#include "gateway/HttpMessage.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <memory>

class QTcpSocket;

// The program's HTTP client: every request to the gateway, GET or POST,
// goes through it. One request is one exchange on a connection of its own
// ("Connection: close"), sent exactly once: nothing below it resends a
// request whose connection broke, so a POST that may have reached the
// server is never sent twice. The proxy is the one the desktop is set up
// for (http_proxy and no_proxy), asked for every request.
namespace Http {

struct Request
{
    QByteArray method = "GET";
    QUrl url; // http only
    QByteArray body;
    QByteArray contentType;
    qint64 maxAnswerSize = 16 * 1024 * 1024;
    // The whole exchange, redirects included, ends within this time.
    std::chrono::milliseconds deadline{15000};
    // Redirects to the same scheme, host and port are followed (at most
    // five); any other redirect is the answer itself.
    bool followSameOriginRedirects = false;
};

struct Answer
{
    bool complete = false; // a whole answer arrived
    int status = 0;
    QByteArray body;
    QString error;          // why no whole answer arrived; empty when one did
    bool abandoned = false; // ended by abandonAll() or shutDown(): not to be retried

    bool isSuccess() const { return complete && status >= 200 && status < 300; }
};

// "Varnell-Decryptor/<version>", sent with every request.
QByteArray userAgent();

// One request under way. It ends in exactly one finished(), after which the
// exchange may be deleted (with deleteLater() from a slot of finished()).
class Exchange : public QObject
{
    Q_OBJECT

public:
    explicit Exchange(Request request, QObject *parent = nullptr);
    ~Exchange() override;

    void start();
    // Ends the exchange at once with that reason; nothing when it has ended.
    void abort(const QString &reason);
    // As abort(), with the answer marked abandoned.
    void abandon(const QString &reason);
    bool isRunning() const { return m_running; }

signals:
    void finished(const Http::Answer &answer);

private:
    void connectTo(const QUrl &url);
    void sendRequest();
    void readAvailable();
    void connectionEnded();
    void messageRead();
    void end(Answer answer);

    Request m_request;
    QUrl m_url; // where the request goes now, after any redirects
    bool m_throughProxy = false;
    QString m_peer; // "host:port", naming the proxy when there is one
    QByteArray m_proxyAuthorization;
    int m_redirects = 0;
    bool m_running = false;
    QTcpSocket *m_socket = nullptr;
    std::unique_ptr<MessageReader> m_reader;
    QTimer m_deadline;
};

// Told when a blocking request starts and ends, so that the program can show
// that it waits (a wait cursor, a window that says what for).
class WaitObserver
{
public:
    virtual ~WaitObserver() = default;
    // what: the server waited for.
    virtual void waitStarted(const QString &what) = 0;
    virtual void waitEnded() = 0;
    // Whether user input may be handled during the wait: only when no
    // window but the observer's own could take it.
    virtual bool takesInput() const = 0;
};

// The caller keeps ownership; nullptr removes it.
void setWaitObserver(WaitObserver *observer);

// Sends the request and waits for its answer in a local event loop that
// leaves user input waiting (the window repaints; clicks wait), unless the
// wait observer takes input.
Answer fetch(const Request &request);

// Ends every exchange under way at once, each with the reason and marked
// abandoned (a user skipping a wait).
void abandonAll(const QString &reason);
// The program is ending: abandons every exchange and ends every later one
// the moment it starts.
void shutDown();

} // namespace Http
