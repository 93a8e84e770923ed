#include "sandbox/SandboxServer.h"

#include <QDate>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace {

// Open connections at most; a few more than the program, its tests and a
// browser or curl ever hold at once.
constexpr qsizetype maxConnections = 64;

// Which connections go first when one must: those that are closing or wait
// for a request before those that are sending one, and those that wait for
// an answer last.
int closingOrder(SandboxConnection::State state)
{
    switch (state) {
    case SandboxConnection::State::Closing:
        return 0;
    case SandboxConnection::State::Idle:
        return 1;
    case SandboxConnection::State::Reading:
        return 2;
    case SandboxConnection::State::Writing:
        return 3;
    case SandboxConnection::State::Handling:
        break;
    }
    return 4;
}

} // namespace

SandboxServer::SandboxServer(const SandboxOptions &options, SandboxGateway *gateway,
                             QObject *parent)
    : QObject(parent), m_options(options), m_gateway(gateway)
{
    connect(&m_listener, &QTcpServer::newConnection, this, &SandboxServer::acceptConnections);
}

// The connections are children: they go with the server, sockets and all.
SandboxServer::~SandboxServer() = default;

bool SandboxServer::listen(QString *error)
{
    // Qt's listener sets SO_REUSEADDR, which lets it bind beside connections
    // that are closing, but never SO_REUSEPORT: a port in use is refused.
    if (m_listener.listen(QHostAddress::LocalHost, quint16(m_options.port)))
        return true;
    *error = QStringLiteral("cannot listen on 127.0.0.1:%1: %2")
                 .arg(m_options.port)
                 .arg(m_listener.errorString());
    return false;
}

void SandboxServer::acceptConnections()
{
    while (QTcpSocket *socket = m_listener.nextPendingConnection()) {
        while (m_connections.size() >= maxConnections)
            closeOneConnection();
        auto *connection = new SandboxConnection(socket, m_limits, this);
        m_connections.append(connection);
        connect(connection, &SandboxConnection::closed, this,
                [this, connection] { m_connections.removeOne(connection); });
        connect(connection, &SandboxConnection::requestReceived, this,
                [this, connection](const Http::Head &head, const QByteArray &body) {
                    handle(connection, head, body);
                });
    }
}

void SandboxServer::closeOneConnection()
{
    const auto first = std::min_element(m_connections.cbegin(), m_connections.cend(),
                                        [](const SandboxConnection *a, const SandboxConnection *b) {
                                            const int orderA = closingOrder(a->state());
                                            const int orderB = closingOrder(b->state());
                                            return orderA != orderB
                                                       ? orderA < orderB
                                                       : a->stateSince() < b->stateSince();
                                        });
    SandboxConnection *connection = *first;
    m_connections.removeOne(connection);
    connection->abort();
}

void SandboxServer::handle(SandboxConnection *connection, const Http::Head &head,
                           const QByteArray &body)
{
    const QString refusal =
        RequestTarget::refusal(head.second, head.values("Host"), head.third == "HTTP/1.0");
    if (!refusal.isEmpty()) {
        connection->answer(400, "Bad Request: " + refusal.toUtf8() + "\r\n", true);
        return;
    }
    // Held until the client goes or the sandbox stops.
    if (m_options.hang)
        return;
    const SandboxGateway::Request request{head.first, head.second, head.value("Host"), body};
    if (m_options.delayMs > 0) {
        // The connection is the timer's context: a client that leaves
        // meanwhile takes its pending answer with it.
        QTimer::singleShot(m_options.delayMs, connection,
                           [this, connection, request] { respond(connection, request); });
        return;
    }
    respond(connection, request);
}

void SandboxServer::respond(SandboxConnection *connection, const SandboxGateway::Request &request)
{
    if (m_options.status != 0) {
        connection->answer(m_options.status,
                           "Status " + QByteArray::number(m_options.status) + "\r\n");
        return;
    }
    if (m_options.failFirst) {
        const RequestTarget target = RequestTarget::parse(request.target, request.hostHeader);
        const QByteArray url = "http://" + target.host.toLatin1() + target.path +
                               (target.query.isNull() ? QByteArray() : "?" + target.query);
        if (m_requestedUrls.insert(url).second) {
            connection->answer(500, "Temporary Failure\r\n", true);
            return;
        }
    }
    const SandboxGateway::Answer answer = m_gateway->answer(request, QDate::currentDate());
    connection->answer(answer.status, answer.body);
}
