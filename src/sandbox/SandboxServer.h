#pragma once

#include "sandbox/SandboxConnection.h"
#include "sandbox/SandboxGateway.h"
#include "sandbox/SandboxOptions.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>

#include <set>

// The HTTP side of the sandbox: listens on the loopback address only, takes
// every method, origin-form targets and http:// URLs alike (a client that
// uses the sandbox as its proxy sends the whole URL), applies the fault
// switches and hands the rest to the gateway. Everything runs on the thread
// of its event loop; connections are bounded in number, and when one more
// comes, the one that has waited longest for nothing is closed first.
class SandboxServer : public QObject
{
    Q_OBJECT

public:
    SandboxServer(const SandboxOptions &options, SandboxGateway *gateway,
                  QObject *parent = nullptr);
    ~SandboxServer() override;

    // Listens on 127.0.0.1 at the options' port (0: any free one). False
    // with the reason when the port cannot be had, in use by another
    // program included: the sandbox never shares a port.
    bool listen(QString *error);
    quint16 port() const { return m_listener.serverPort(); }

private:
    void acceptConnections();
    void closeOneConnection();
    void handle(SandboxConnection *connection, const Http::Head &head, const QByteArray &body);
    void respond(SandboxConnection *connection, const SandboxGateway::Request &request);

    SandboxOptions m_options;
    SandboxGateway *m_gateway;
    SandboxConnection::Limits m_limits;
    QTcpServer m_listener;
    QList<SandboxConnection *> m_connections;
    std::set<QByteArray> m_requestedUrls; // for --fail-first
};
