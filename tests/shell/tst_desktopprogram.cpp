// The real program, started as a user would, its requests going to the
// sandbox gateway on loopback.
#include "TestConfig.h"
#include "records/RecordFile.h"
#include "support/SandboxProcess.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// True once the process has its own handler for SIGTERM, so that the signal
// closes its windows instead of killing it.
bool catchesTerminate(qint64 pid)
{
    for (const QByteArray &line :
         contents(QStringLiteral("/proc/%1/status").arg(pid)).split('\n')) {
        if (line.startsWith("SigCgt:"))
            return line.mid(7).trimmed().toULongLong(nullptr, 16) & (1ULL << (SIGTERM - 1));
    }
    return false;
}

} // namespace

class TestDesktopProgram : public QObject
{
    Q_OBJECT

private slots:
    void startsAndCloses_data();
    void startsAndCloses();
};

void TestDesktopProgram::startsAndCloses_data()
{
    QTest::addColumn<bool>("withStore");
    QTest::addColumn<QString>("sandboxFault");
    QTest::addColumn<QByteArray>("messages");
    QTest::newRow("sandbox") << true << QString() << QByteArray();
    // A server that never answers: start-up still ends within the requests'
    // time limits, and says so once.
    QTest::newRow("hanging gateway")
        << true << QStringLiteral("--hang")
        << QByteArray("Exclamation|Server Unavailable|Unable to retrieve statistics.\\r\\nThe "
                      "statistics server may be unavailable.\\r\\n\\r\\nPlease contact Ostrand if "
                      "this problem persists\n");
    QTest::newRow("no store") << false << QString()
                              << QByteArray("Critical|Varnell Decryptor|Unable to access utility "
                                            "settings.\\r\\nPlease contact Ostrand.\n");
}

void TestDesktopProgram::startsAndCloses()
{
    QFETCH(bool, withStore);
    QFETCH(QString, sandboxFault);
    QFETCH(QByteArray, messages);

    SandboxProcess sandbox(sandboxFault.isEmpty() ? QStringList() : QStringList{sandboxFault});
    QVERIFY(sandbox.isListening());
    TestEnvironment env;
    const QString record = env.path(QStringLiteral("with blanks.vrd"));
    if (withStore) {
        env.createStore(SandboxProcess::developerKey(), SandboxProcess::encryptionKey());
        QFile file(record);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(RecordFile::fromTabbedText(QStringLiteral("Name:\tAnn\n"),
                                              SandboxProcess::encryptionKey())
                       .bytes);
    }
    const QString log = env.path(QStringLiteral("messages.log"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("VARNELL_MESSAGE_LOG"), log);
    environment.insert(QStringLiteral("VARNELL_HTTP_TIMEOUT_MS"), QStringLiteral("500"));
    environment.insert(QStringLiteral("http_proxy"), sandbox.proxyUrl());
    QProcess process;
    process.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    process.start(QString::fromUtf8(TestConfig::binaryDir) +
                      QStringLiteral("/src/app/varnell-decryptor"),
                  {record});
    if (withStore) {
        QTRY_VERIFY_WITH_TIMEOUT(catchesTerminate(process.processId()), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(contents(log), messages, 20000);
        // Still running a moment later: the window is up.
        QTest::qWait(300);
        QCOMPARE(process.state(), QProcess::Running);
        QVERIFY(clock.elapsed() < 20000);
        // A termination request closes the window, which saves its
        // placement (or, during start-up, ends before it shows).
        process.terminate();
    }
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), withStore ? 0 : 1);
    QCOMPARE(contents(log), messages);
    const QByteArray ini = contents(env.path(QStringLiteral("config/VR_Decrypt/VR_Decrypt.ini")));
    QVERIFY2(withStore ? ini.isEmpty() || ini.contains("StatPeriod=3") : ini.isEmpty(), ini);
}

QTEST_GUILESS_MAIN(TestDesktopProgram)
#include "tst_desktopprogram.moc"
