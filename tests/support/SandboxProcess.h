#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Runs the built varnell-sandbox for one test: on any free loopback port,
// with a private catalogue and outbox, stopped when the object goes. Point
// http_proxy (or a QNetworkProxy) at proxyUrl() to reach the gateway's real
// addresses. A test that uses it must depend on the varnell-sandbox target.
class SandboxProcess
{
public:
    // Starts the sandbox with the extra arguments and waits, at most
    // startTimeoutMs, for its "Listening on" line. dataDir, when given, is
    // the catalogue folder to use instead of a fresh one (to restart on the
    // same catalogue).
    explicit SandboxProcess(const QStringList &arguments = {}, const QString &dataDir = {});
    ~SandboxProcess();

    SandboxProcess(const SandboxProcess &) = delete;
    SandboxProcess &operator=(const SandboxProcess &) = delete;

    static constexpr int startTimeoutMs = 30000;

    static QString developerKey() { return QStringLiteral("SBX-DEMO-001demo.varnellypackz"); }
    static QString encryptionKey() { return QStringLiteral("Varnell sandbox key"); }

    bool isListening() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    QString proxyUrl() const;
    QString dataDir() const { return m_dataDir; }
    QString outboxDir() const;

    // What the sandbox printed on stdout up to its "Listening on" line, and
    // on stderr so far.
    QStringList startupLines() const { return m_lines; }
    QString errorOutput();

    // The transaction ID that start-up names for a re-delivery answer:
    // "Request Successful", "No Email", "File does not exist" or
    // "No Transaction".
    QString transactionFor(const QString &answer) const;

    // Ends the sandbox (SIGTERM, then SIGKILL when it lingers) and returns
    // its exit status, or -1 when it did not exit by itself.
    int stop();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_dataDir;
    QStringList m_lines;
    QByteArray m_errors;
    quint16 m_port = 0;
};
