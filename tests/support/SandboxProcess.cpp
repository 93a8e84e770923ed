#include "support/SandboxProcess.h"

#include "TestConfig.h"

#include <QDeadlineTimer>

SandboxProcess::SandboxProcess(const QStringList &arguments, const QString &dataDir)
{
    start(QStringList{QStringLiteral("--data"),
                      dataDir.isEmpty() ? m_dir.filePath(QStringLiteral("data")) : dataDir,
                      QStringLiteral("--outbox"), outboxDir()} +
          arguments);
}

SandboxProcess::SandboxProcess(DefaultFolders)
{
    start({});
}

void SandboxProcess::start(const QStringList &arguments)
{
    m_process.start(QString::fromUtf8(TestConfig::sandboxPath),
                    QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
    const QLatin1String listening("Listening on http://127.0.0.1:");
    const QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
        if (!m_process.canReadLine()) {
            m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
            continue;
        }
        const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
        m_lines.append(line);
        if (line.startsWith(listening)) {
            m_port = quint16(line.mid(listening.size()).chopped(1).toUInt());
            break;
        }
    }
}

SandboxProcess::~SandboxProcess()
{
    stop();
}

QString SandboxProcess::transactionFor(const QString &answer) const
{
    const QString prefix = answer + QStringLiteral(": ");
    for (const QString &line : m_lines) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).section(QLatin1Char(' '), 0, 0);
    }
    return QString();
}

bool SandboxProcess::waitForEnd(int waitMs)
{
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(waitMs);
}

int SandboxProcess::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(15000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
            return -1;
        }
    }
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}
