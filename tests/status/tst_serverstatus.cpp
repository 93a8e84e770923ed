#include "BuildConfig.h"
#include "shell/PendingEvents.h"
#include "status/ServerStatus.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

#include <QTest>

using Reply = LoopbackHttpServer::Reply;

class TestServerStatus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void format_data();
    void format();
    void host_data();
    void host();
    void probeUrl_data();
    void probeUrl();
    void measure();
    void probe();

private:
    LoopbackHttpServer *m_server = nullptr;
};

void TestServerStatus::initTestCase()
{
    m_server = new LoopbackHttpServer(this);
    qputenv("http_proxy", m_server->proxyUrl());
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
    qputenv("VARNELL_HTTP_TIMEOUT_MS", "3000");
}

void TestServerStatus::cleanupTestCase()
{
    qunsetenv("http_proxy");
    qunsetenv("VARNELL_HTTP_TIMEOUT_MS");
}

void TestServerStatus::init()
{
    m_server->requests.clear();
    m_server->setHandler({});
}

void TestServerStatus::format_data()
{
    QTest::addColumn<double>("ms");
    QTest::addColumn<QString>("shown");
    QTest::newRow("0.23 s") << 230.0 << QStringLiteral("230.00 ms");
    QTest::newRow("rounded down") << 231.254 << QStringLiteral("231.25 ms");
    QTest::newRow("rounded up") << 231.257 << QStringLiteral("231.26 ms");
    QTest::newRow("no thousands separator") << 12345.678 << QStringLiteral("12345.68 ms");
    QTest::newRow("leading zero") << 0.5 << QStringLiteral("0.50 ms");
    QTest::newRow("smallest shown") << 0.006 << QStringLiteral("0.01 ms");
    QTest::newRow("rounds to zero") << 0.004 << QStringLiteral("< 0.1 ms");
    QTest::newRow("zero") << 0.0 << QStringLiteral("< 0.1 ms");
    QTest::newRow("negative") << -3.0 << QStringLiteral("< 0.1 ms");
}

void TestServerStatus::format()
{
    QFETCH(double, ms);
    QFETCH(QString, shown);
    QCOMPARE(ServerStatus::formatConnectionTime(ms), shown);
    const ServerStatus::Outcome outcome = ServerStatus::outcomeOf(ms < 0 ? 0 : ms);
    QVERIFY(outcome.active);
    QCOMPARE(outcome.status, QStringLiteral("Active"));
    const ServerStatus::Outcome down = ServerStatus::outcomeOf(-1);
    QVERIFY(!down.active);
    QCOMPARE(down.status, QStringLiteral("Down"));
    QCOMPARE(down.connectionTime, QStringLiteral("Down"));
}

void TestServerStatus::host_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("serverPath");
    QTest::addColumn<QString>("host");
    const QString central = QString::fromUtf8(BuildConfig::centralHost);
    QTest::newRow("central") << QStringLiteral("Server 0") << QStringLiteral("a.com/b/") << central;
    QTest::newRow("central without a path") << QStringLiteral("Server 0") << QString() << central;
    QTest::newRow("package server")
        << QStringLiteral("Server 1") << QStringLiteral("demo.varnell.com/pack/")
        << QStringLiteral("www.demo.varnell.com");
    QTest::newRow("path without slash")
        << QStringLiteral("Server 1") << QStringLiteral("demo") << QStringLiteral("www.demo");
    QTest::newRow("empty path") << QStringLiteral("Server 1") << QString() << QString();
    QTest::newRow("other entry") << QStringLiteral("Server 2") << QStringLiteral("a.com/")
                                 << QString();
    QTest::newRow("no entry") << QString() << QStringLiteral("a.com/") << QString();
}

void TestServerStatus::host()
{
    QFETCH(QString, entry);
    QFETCH(QString, serverPath);
    QFETCH(QString, host);
    QCOMPARE(ServerStatus::hostForEntry(entry, serverPath), host);
}

void TestServerStatus::probeUrl_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("url");
    QTest::newRow("host") << QStringLiteral("secure.varnell.com")
                          << QStringLiteral("http://secure.varnell.com/ConnTest.txt");
    QTest::newRow("host ending in a slash")
        << QStringLiteral("www.a.com/") << QStringLiteral("http://www.a.com/ConnTest.txt");
    QTest::newRow("port") << QStringLiteral("www.a.com:8080")
                          << QStringLiteral("http://www.a.com:8080/ConnTest.txt");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("user part") << QStringLiteral("www.me@other.com") << QString();
    QTest::newRow("query") << QStringLiteral("www.a.com?x") << QString();
    QTest::newRow("fragment") << QStringLiteral("www.a.com#x") << QString();
    QTest::newRow("blank") << QStringLiteral("www.a b.com") << QString();
}

void TestServerStatus::probeUrl()
{
    QFETCH(QString, host);
    QFETCH(QString, url);
    QCOMPARE(ServerStatus::probeUrl(host), url);
}

void TestServerStatus::measure()
{
    TestEnvironment env;
    m_server->setHandler([](const LoopbackHttpServer::Request &) {
        return Reply{200, QByteArray("ignored"), Reply::Answer, 230};
    });
    const double ms = ServerStatus::MeasureResponseTime(QStringLiteral("www.demo.varnell.com"));
    QVERIFY2(ms >= 229 && ms < 5000, qPrintable(QString::number(ms)));
    QCOMPARE(m_server->requests.size(), 1);
    QCOMPARE(m_server->requests.first().method, QByteArray("GET"));
    QCOMPARE(m_server->requests.first().target,
             QByteArray("http://www.demo.varnell.com/ConnTest.txt"));

    m_server->setHandler([](const LoopbackHttpServer::Request &) {
        return Reply{404, QByteArray("Not Found")};
    });
    QCOMPARE(ServerStatus::MeasureResponseTime(QStringLiteral("www.demo.varnell.com")), -1.0);
    QCOMPARE(m_server->requests.size(), 3); // one retry

    // No host: nothing is sent.
    QCOMPARE(ServerStatus::MeasureResponseTime(QString()), -1.0);
    QCOMPARE(ServerStatus::MeasureResponseTime(QStringLiteral("www.me@other.com")), -1.0);
    QCOMPARE(m_server->requests.size(), 3);
}

void TestServerStatus::probe()
{
    TestEnvironment env;
    int events = 0;
    PendingEvents::setHandler([&events] { ++events; });
    ServerStatus::Outcome outcome =
        ServerStatus::probeServer(QStringLiteral("Server 0"), QStringLiteral("a.com/b/"));
    QVERIFY(outcome.active);
    QCOMPARE(outcome.status, QStringLiteral("Active"));
    QVERIFY(outcome.connectionTime.endsWith(QLatin1String(" ms")));
    QCOMPARE(m_server->requests.last().target,
             QByteArray("http://") + BuildConfig::centralHost + "/ConnTest.txt");
    QVERIFY(events >= 2);

    outcome = ServerStatus::probeServer(QStringLiteral("Server 1"), QStringLiteral("a.com/b/"));
    QVERIFY(outcome.active);
    QCOMPARE(m_server->requests.last().target, QByteArray("http://www.a.com/ConnTest.txt"));

    const qsizetype sent = m_server->requests.size();
    outcome = ServerStatus::probeServer(QStringLiteral("Server 1"), QString());
    PendingEvents::setHandler({});
    QVERIFY(!outcome.active);
    QCOMPARE(outcome.connectionTime, QStringLiteral("Down"));
    QCOMPARE(m_server->requests.size(), sent);
}

QTEST_GUILESS_MAIN(TestServerStatus)
#include "tst_serverstatus.moc"
