#include "BuildConfig.h"
#include "shell/PendingEvents.h"
#include "status/ServerStatus.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QTest>

class TestServerStatus : public QObject
{
    Q_OBJECT

private slots:
    void format_data();
    void format();
    void probe_data();
    void probe();
    void measure();
};

void TestServerStatus::format_data()
{
    QTest::addColumn<double>("ms");
    QTest::addColumn<QString>("shown");
    QTest::newRow("0.23 s") << 230.0 << QStringLiteral("230.00 ms");
    QTest::newRow("rounded") << 231.257 << QStringLiteral("231.26 ms");
    QTest::newRow("no thousands separator") << 12345.678 << QStringLiteral("12345.68 ms");
    QTest::newRow("smallest shown") << 0.006 << QStringLiteral("0.01 ms");
    QTest::newRow("rounds to zero") << 0.004 << QStringLiteral("< 0.1 ms");
    QTest::newRow("negative") << -3.0 << QStringLiteral("< 0.1 ms");
}

void TestServerStatus::format()
{
    QFETCH(double, ms);
    QFETCH(QString, shown);
    QCOMPARE(ServerStatus::formatConnectionTime(ms), shown);
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
    int events = 0;
    PendingEvents::setHandler([&events] { ++events; });
    const ServerStatus::Outcome outcome = ServerStatus::probeServer(entry, serverPath);
    PendingEvents::setHandler({});
    QVERIFY(events >= 2);
    QCOMPARE(server.targets(), url.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{url});
    QCOMPARE(outcome.active, !url.isEmpty());
    QCOMPARE(outcome.status, url.isEmpty() ? QStringLiteral("Down") : QStringLiteral("Active"));
    if (url.isEmpty())
        QCOMPARE(outcome.connectionTime, QStringLiteral("Down"));
}

void TestServerStatus::measure()
{
    TestEnvironment env;
    FakeHttpServer server;
    QVERIFY(server.useAsProxy());
    server.fallback = FakeHttpServer::answer("ignored");
    server.fallback.delayMs = 230;
    const double ms = ServerStatus::MeasureResponseTime(QStringLiteral("www.demo.varnell.com"));
    QVERIFY2(ms >= 229 && ms < 10000, qPrintable(QString::number(ms)));
    server.fallback = FakeHttpServer::answer("Not Found", 404);
    QCOMPARE(ServerStatus::MeasureResponseTime(QStringLiteral("www.demo.varnell.com")), -1.0);
}

QTEST_GUILESS_MAIN(TestServerStatus)
#include "tst_serverstatus.moc"
