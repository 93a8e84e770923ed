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
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<QByteArray>("messages"); // as logged in place of message boxes
    QTest::addColumn<QByteArray>("settings"); // the settings file afterwards
    // Start-up ends within the requests' time limits and says so once; the
    // window then closes on a termination request, which saves its
    // placement beside the record opened, a recent file since its opening.
    QTest::newRow("hanging gateway")
        << true << 500
        << QByteArray("Exclamation|Server Unavailable|Unable to retrieve statistics.\\r\\nThe "
                      "statistics server may be unavailable.\\r\\n\\r\\nPlease contact Ostrand if "
                      "this problem persists|no whole answer came within 0.5 s\n")
        // 8500 x 6500 twips in whole pixels at 96 dpi, centred.
        << QByteArray("[Settings]\nRecentFile1=\"RECORD\"\nStatPeriod=3\nposHeight=6510\n"
                      "posLeft=1755\nposTop=2745\nposWidth=8505\n");
    // Ended while start-up waits on a request that would take a minute: at
    // once, silently, writing no placement.
    QTest::newRow("ended while waiting")
        << true << 60000 << QByteArray() << QByteArray("[Settings]\nRecentFile1=\"RECORD\"\n");
    // The details (the store and the cause) follow the text.
    QTest::newRow("no store") << false << 500
                              << QByteArray("Critical|Varnell Decryptor|Unable to access utility "
                                            "settings.\\r\\nPlease contact Ostrand.|STORE: No "
                                            "such file or directory\n")
                              << QByteArray();
}

void TestDesktopProgram::startsAndCloses()
{
    QFETCH(bool, withStore);
    QFETCH(int, timeoutMs);
    QFETCH(QByteArray, messages);
    QFETCH(QByteArray, settings);

    TestEnvironment env;
    messages.replace("STORE", env.storePath().toUtf8());
    if (withStore)
        env.createStore(SandboxProcess::developerKey(), SandboxProcess::encryptionKey());
    const QString record = env.path(QStringLiteral("with blanks.vrd"));
    settings.replace("RECORD", record.toUtf8());
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
    environment.insert(QStringLiteral("VARNELL_HTTP_TIMEOUT_MS"), QString::number(timeoutMs));
    environment.insert(QStringLiteral("http_proxy"),
                       QStringLiteral("http://127.0.0.1:%1").arg(gateway.serverPort()));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QString::fromUtf8(TestConfig::binaryDir) +
                      QStringLiteral("/src/app/varnell-decryptor"),
                  {record});
    if (withStore) {
        if (!messages.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(contents(log), messages, 30000);
            // Still running a moment later: the window is up.
            QTest::qWait(300);
        } else {
            // The first request has reached the gateway: start-up waits on it.
            QTRY_VERIFY_WITH_TIMEOUT(gateway.hasPendingConnections(), 10000);
        }
        QCOMPARE(process.state(), QProcess::Running);
        process.terminate();
    }
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), withStore ? 0 : 1);
    QCOMPARE(contents(log), messages);
    // The placement is written on closing, never on an early exit.
    QCOMPARE(contents(env.path(QStringLiteral("config/VR_Decrypt/VR_Decrypt.ini"))), settings);
}

QTEST_GUILESS_MAIN(TestDesktopProgram)
#include "tst_desktopprogram.moc"
