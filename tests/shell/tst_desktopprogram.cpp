// The real program, started as a user would, against a gateway on loopback
// that takes requests and never answers.
#include "TestConfig.h"
#include "records/RecordFile.h"
#include "support/SandboxProcess.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTest>

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
    QTest::addColumn<QByteArray>("messages"); // as logged in place of message boxes
    // Start-up ends within the requests' time limits and says so once; the
    // window then closes on a termination request, which saves its
    // placement.
    QTest::newRow("hanging gateway")
        << true
        << QByteArray("Exclamation|Server Unavailable|Unable to retrieve statistics.\\r\\nThe "
                      "statistics server may be unavailable.\\r\\n\\r\\nPlease contact Ostrand if "
                      "this problem persists\n");
    // The details (the store and the cause) follow the text.
    QTest::newRow("no store") << false
                              << QByteArray("Critical|Varnell Decryptor|Unable to access utility "
                                            "settings.\\r\\nPlease contact Ostrand.|STORE: No "
                                            "such file or directory\n");
}

void TestDesktopProgram::startsAndCloses()
{
    QFETCH(bool, withStore);
    QFETCH(QByteArray, messages);

    TestEnvironment env;
    messages.replace("STORE", env.storePath().toUtf8());
    if (withStore)
        env.createStore(SandboxProcess::developerKey(), SandboxProcess::encryptionKey());
    const QString record = env.path(QStringLiteral("with blanks.vrd"));
    QFile file(record);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        RecordFile::fromTabbedText(QStringLiteral("Name:\tAnn\n"), SandboxProcess::encryptionKey())
            .bytes);
    file.close();
    QTcpServer gateway;
    QVERIFY(gateway.listen(QHostAddress::LocalHost));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString log = env.path(QStringLiteral("messages.log"));
    environment.insert(QStringLiteral("VARNELL_MESSAGE_LOG"), log);
    environment.insert(QStringLiteral("VARNELL_HTTP_TIMEOUT_MS"), QStringLiteral("500"));
    environment.insert(QStringLiteral("http_proxy"),
                       QStringLiteral("http://127.0.0.1:%1").arg(gateway.serverPort()));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QString::fromUtf8(TestConfig::binaryDir) +
                      QStringLiteral("/src/app/varnell-decryptor"),
                  {record});
    if (withStore) {
        QTRY_COMPARE_WITH_TIMEOUT(contents(log), messages, 30000);
        // Still running a moment later: the window is up.
        QTest::qWait(300);
        QCOMPARE(process.state(), QProcess::Running);
        process.terminate();
    }
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), withStore ? 0 : 1);
    QCOMPARE(contents(log), messages);
    // Written on closing (a request that came before the window showed ends
    // the program without it), never on an early exit.
    const QByteArray ini = contents(env.path(QStringLiteral("config/VR_Decrypt/VR_Decrypt.ini")));
    QVERIFY2(withStore ? ini.isEmpty() || ini.contains("StatPeriod=3") : ini.isEmpty(), ini);
}

QTEST_GUILESS_MAIN(TestDesktopProgram)
#include "tst_desktopprogram.moc"
