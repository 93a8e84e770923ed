#include "BuildConfig.h"
#include "common/PendingEvents.h"
#include "status/ServerStatus.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QTest>

class TestServerStatus : public QObject
{
    Q_OBJECT

private slots:
    void format();
    void probe_data();
    void probe();
};

void TestServerStatus::format()
{
    // Two decimals, no thousands separator; what rounds to nothing or less
    // is shown as "< 0.1 ms".
    QCOMPARE(ServerStatus::formatConnectionTime(230), QStringLiteral("230.00 ms"));
    QCOMPARE(ServerStatus::formatConnectionTime(12345.678), QStringLiteral("12345.68 ms"));
    QCOMPARE(ServerStatus::formatConnectionTime(0.004), QStringLiteral("< 0.1 ms"));
    QCOMPARE(ServerStatus::formatConnectionTime(-3), QStringLiteral("< 0.1 ms"));
}

void TestServerStatus::probe_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("serverPath");
    QTest::addColumn<QByteArray>("url"); // empty: nothing is sent
    QTest::newRow("central") << QStringLiteral("Server 0") << QStringLiteral("a.com/b/")
                             << QByteArray("http://") + BuildConfig::centralHost + "/ConnTest.txt";
    QTest::newRow("package server")
        << QStringLiteral("Server 1") << QStringLiteral("demo.varnell.com/pack/")
        << QByteArray("http://www.demo.varnell.com/ConnTest.txt");
    QTest::newRow("path without slash") << QStringLiteral("Server 1") << QStringLiteral("demo")
                                        << QByteArray("http://www.demo/ConnTest.txt");
    QTest::newRow("empty path") << QStringLiteral("Server 1") << QString() << QByteArray();
    QTest::newRow("other entry") << QStringLiteral("Server 2") << QStringLiteral("a.com/")
                                 << QByteArray();
    QTest::newRow("path naming another host")
        << QStringLiteral("Server 1") << QStringLiteral("me@other.com/") << QByteArray();
}

void TestServerStatus::probe()
{
    QFETCH(QString, entry);
    QFETCH(QString, serverPath);
    QFETCH(QByteArray, url);
    TestEnvironment env;
    FakeHttpServer server;
    QVERIFY(server.useAsProxy());
    server.fallback.delayMs = 230;
    int events = 0;
    PendingEvents::setHandler([&events] { ++events; });
    const ServerStatus::Outcome outcome = ServerStatus::probeServer(entry, serverPath);
    PendingEvents::setHandler({});
    QVERIFY(events >= 2);
    QCOMPARE(server.targets(), url.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{url});
    // Active with the time the answer took (as in 231.25 ms), or Down twice.
    QCOMPARE(outcome.active, !url.isEmpty());
    const double ms = outcome.connectionTime.chopped(3).toDouble();
    if (url.isEmpty())
        QCOMPARE(outcome.status + u' ' + outcome.connectionTime, QStringLiteral("Down Down"));
    else
        QVERIFY2(outcome.status == QLatin1String("Active") && ms >= 229 && ms < 10000,
                 qPrintable(outcome.connectionTime));
    // A server that answers with an error is down.
    server.fallback = FakeHttpServer::answer("Not Found", 404);
    QVERIFY(!ServerStatus::probeServer(entry, serverPath).active);

    // The choice is read after the pending events: one made meanwhile (here
    // from an entry that sends nothing) is the one probed.
    server.fallback = FakeHttpServer::answer("ok");
    QString chosen = QStringLiteral("Server 2");
    PendingEvents::setHandler([&] { chosen = entry; });
    const bool active = ServerStatus::probeServer([&] {
                            return ServerStatus::Choice{chosen, serverPath};
                        }).active;
    PendingEvents::setHandler({});
    QCOMPARE(active, !url.isEmpty());
}

QTEST_GUILESS_MAIN(TestServerStatus)
#include "tst_serverstatus.moc"
