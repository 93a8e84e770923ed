// The HTTP client under stress: thousands of exchanges whose deadlines run
// out mid-transfer, exchanges abandoned and destroyed while they run, and
// the desktop program ended at random moments of its start-up requests.
// Run under AddressSanitizer as part of the tests, it must not crash, leak
// or leave an exchange without its one ending.
#include "TestConfig.h"
#include "gateway/HttpClient.h"
#include "records/RecordFile.h"
#include "support/FakeHttpServer.h"
#include "support/SandboxProcess.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

using Behaviour = FakeHttpServer::Behaviour;

class TestStress : public QObject
{
    Q_OBJECT

private slots:
    void exchangesEndingMidTransfer();
    void programEndedMidRequest();
};

void TestStress::exchangesEndingMidTransfer()
{
    // A server that drips its answers one byte at a time, or hangs, or
    // closes; exchanges in waves of 100 with deadlines of 1 to 60 ms, some
    // abandoned, some destroyed while they run.
    qunsetenv("http_proxy");
    FakeHttpServer server;
    auto *random = QRandomGenerator::global();
    int started = 0;
    int ended = 0;
    QElapsedTimer clock;
    clock.start();
    for (int wave = 0; wave < 30 && clock.elapsed() < 120000; ++wave) {
        const Behaviour behaviours[] = {Behaviour::Drip, Behaviour::Hang, Behaviour::Close};
        server.fallback = FakeHttpServer::behave(behaviours[wave % 3]);
        std::vector<std::unique_ptr<Http::Exchange>> exchanges;
        for (int i = 0; i < 100; ++i) {
            Http::Request request;
            request.url = QUrl(server.origin() + QStringLiteral("/x"));
            request.deadline = std::chrono::milliseconds(1 + random->bounded(60));
            request.maxAnswerSize = 1 + random->bounded(64);
            auto exchange = std::make_unique<Http::Exchange>(request);
            connect(exchange.get(), &Http::Exchange::finished, this, [&ended] { ++ended; });
            exchange->start();
            ++started;
            exchanges.push_back(std::move(exchange));
        }
        QTest::qWait(int(random->bounded(30)));
        // Destroyed while running: no ending signal, no crash.
        for (int i = 0; i < 10; ++i) {
            if (exchanges[std::size_t(i)]->isRunning())
                --started;
            exchanges[std::size_t(i)].reset();
        }
        if (wave % 5 == 4)
            Http::abandonAll(QStringLiteral("stress"));
        QTRY_VERIFY_WITH_TIMEOUT(std::none_of(exchanges.begin(), exchanges.end(),
                                              [](const auto &e) { return e && e->isRunning(); }),
                                 10000);
        QCOMPARE(ended, started);
    }
    QVERIFY(started >= 1000);
    // Blocking fetches the same way.
    for (int i = 0; i < 200; ++i) {
        Http::Request request;
        request.url = QUrl(server.origin() + QStringLiteral("/y"));
        request.deadline = std::chrono::milliseconds(1 + random->bounded(20));
        QVERIFY(!Http::fetch(request).complete);
    }
}

void TestStress::programEndedMidRequest()
{
    // The desktop program against a gateway that answers slowly, ended by a
    // termination request at a random moment of its start-up requests: it
    // ends normally every time, with no message.
    SandboxProcess sandbox({QStringLiteral("--delay-ms"), QStringLiteral("400")});
    QVERIFY(sandbox.isListening());
    TestEnvironment env;
    env.createStore(SandboxProcess::developerKey(), SandboxProcess::encryptionKey());
    QProcessEnvironment environment = env.processEnvironment();
    environment.insert(QStringLiteral("http_proxy"), sandbox.proxyUrl());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("VARNELL_MESSAGE_LOG"),
                       env.path(QStringLiteral("messages.log")));
    for (int run = 0; run < 12; ++run) {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QString::fromUtf8(TestConfig::binaryDir) +
                      QStringLiteral("/src/app/varnell-decryptor"));
        QVERIFY(program.waitForStarted());
        QTest::qWait(100 + int(QRandomGenerator::global()->bounded(1200)));
        program.terminate();
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY2(program.readAllStandardError().indexOf("ERROR: AddressSanitizer") < 0,
                 "sanitizer report");
    }
    QCOMPARE(contents(env.path(QStringLiteral("messages.log"))), QByteArray());
}

QTEST_GUILESS_MAIN(TestStress)
#include "tst_stress.moc"
