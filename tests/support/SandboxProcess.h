#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Runs the built varnell-sandbox for one test: on any free loopback port,
// with a private catalogue and outbox, stopped when the object goes. Point
// http_proxy at proxyUrl() to reach the gateway's real addresses. A test
// that uses it must depend on the varnell-sandbox target.
class SandboxProcess
{
public:
    // Starts the sandbox with the extra arguments and waits for its
    // "Listening on" line. dataDir, when given, is the catalogue folder to
    // use instead of a fresh one (to restart on the same catalogue).
    explicit SandboxProcess(const QStringList &arguments = {}, const QString &dataDir = {});
    // Starts the sandbox without --data and --outbox, so that it uses its
    // default folders under $TMPDIR.
    struct DefaultFolders
    {};
    explicit SandboxProcess(DefaultFolders);
    ~SandboxProcess();

    SandboxProcess(const SandboxProcess &) = delete;
    SandboxProcess &operator=(const SandboxProcess &) = delete;

    static QString developerKey() { return QStringLiteral("SBX-DEMO-001demo.varnellypackz"); }
    static QString encryptionKey() { return QStringLiteral("Varnell sandbox key"); }

    bool isListening() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    QString proxyUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    QString outboxDir() const { return m_dir.filePath(QStringLiteral("outbox")); }
    // What the sandbox printed up to its "Listening on" line, and on its
    // error channel so far.
    QStringList startupLines() const { return m_lines; }
    QString errorOutput() { return QString::fromUtf8(m_process.readAllStandardError()); }

    // The transaction ID that start-up names for a re-delivery answer:
    // "Request Successful", "No Email", "File does not exist" or
    // "No Transaction".
    QString transactionFor(const QString &answer) const;

    qint64 processId() const { return m_process.processId(); }
    // Waits at most waitMs for the sandbox to end by itself; true once it has.
    bool waitForEnd(int waitMs);

    // Ends the sandbox (SIGTERM, then SIGKILL when it lingers) and returns
    // its exit status, or -1 when it did not exit by itself.
    int stop();

private:
    void start(const QStringList &arguments);

    QTemporaryDir m_dir;
    QProcess m_process;
    QStringList m_lines;
    quint16 m_port = 0;
};
