#include "BuildConfig.h"
#include "shell/PendingEvents.h"
#include "statistics/modStatistics.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

#include <QTest>

using Reply = LoopbackHttpServer::Reply;

namespace {

const QByteArray answer = "New Product |7|Widget|x|1/2/2003|0|T100|Ann\r\n"
                          "|1/3/2003|-1|T101|Bob\r\n"
                          "End Products\r\n";

QByteArray statisticsTarget(const char *query)
{
    return QByteArray("http://") + BuildConfig::centralHost + "/Validator/ProdReview.asp?" + query;
}

} // namespace

class TestRetrieval : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void retrieves();
    void storeReadAtEachRequest();
    void downloadFails();

private:
    LoopbackHttpServer *m_server = nullptr;
};

void TestRetrieval::initTestCase()
{
    m_server = new LoopbackHttpServer(this);
    qputenv("http_proxy", m_server->proxyUrl());
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
    qputenv("VARNELL_HTTP_TIMEOUT_MS", "3000");
}

void TestRetrieval::cleanupTestCase()
{
    qunsetenv("http_proxy");
    qunsetenv("VARNELL_HTTP_TIMEOUT_MS");
}

void TestRetrieval::init()
{
    m_server->requests.clear();
    m_server->setHandler([](const LoopbackHttpServer::Request &) { return Reply{200, answer}; });
}

void TestRetrieval::retrieves()
{
    TestEnvironment env;
    env.createStore(QStringLiteral("SBX-DEMO-001demo.varnellypackz"),
                    QStringLiteral("Varnell sandbox key"));
    int events = 0;
    PendingEvents::setHandler([&events] { ++events; });
    const modStatistics::Retrieval retrieval =
        modStatistics::RetrieveStatistics(modStatistics::Week);
    PendingEvents::setHandler({});

    QVERIFY(retrieval.downloaded);
    QCOMPARE(m_server->requests.size(), 1);
    QCOMPARE(m_server->requests.first().method, QByteArray("GET"));
    QCOMPARE(m_server->requests.first().target,
             statisticsTarget("DevID=demovarnellcompack&DateRange=1"));
    QCOMPARE(retrieval.products, modStatistics::parseStatistics(answer));
    QCOMPARE(retrieval.products.size(), 1);
    QCOMPARE(retrieval.products.first().transactions.size(), 2);
    // One pass before the download attempt (the transport's), one after the
    // download and one at the end marker.
    QCOMPARE(events, 3);
}

void TestRetrieval::storeReadAtEachRequest()
{
    TestEnvironment env;
    // Without a store the developer key is empty and the request still goes.
    modStatistics::Retrieval retrieval = modStatistics::RetrieveStatistics(modStatistics::Year);
    QVERIFY(retrieval.downloaded);
    QCOMPARE(m_server->requests.last().target, statisticsTarget("DevID=&DateRange=3"));

    env.createStore(QStringLiteral("ABCDEFGHIJKLshopyz"), QStringLiteral("k"));
    retrieval = modStatistics::RetrieveStatistics(modStatistics::Day);
    QCOMPARE(m_server->requests.last().target, statisticsTarget("DevID=shopcom&DateRange=0"));
    env.createStore(QStringLiteral("ABCDEFGHIJKLa b&c=dxz"), QStringLiteral("k"));
    retrieval = modStatistics::RetrieveStatistics(modStatistics::Month);
    QCOMPARE(m_server->requests.last().target,
             statisticsTarget("DevID=a%20b%26c%3Ddca&DateRange=2"));
}

void TestRetrieval::downloadFails()
{
    TestEnvironment env;
    env.createStore(QStringLiteral("SBX-DEMO-001demo.varnellypackz"), QStringLiteral("k"));
    // An error status carrying a well-formed answer is still a failure.
    m_server->setHandler([](const LoopbackHttpServer::Request &) { return Reply{503, answer}; });
    modStatistics::Retrieval retrieval = modStatistics::RetrieveStatistics(modStatistics::Year);
    QVERIFY(!retrieval.downloaded);
    QVERIFY(retrieval.products.isEmpty());
    QCOMPARE(m_server->requests.size(), 2); // the transport tries once more

    m_server->setHandler([](const LoopbackHttpServer::Request &) {
        return Reply{200, answer, Reply::Drop};
    });
    retrieval = modStatistics::RetrieveStatistics(modStatistics::Year);
    QVERIFY(!retrieval.downloaded);
    QVERIFY(retrieval.products.isEmpty());
}

QTEST_GUILESS_MAIN(TestRetrieval)
#include "tst_retrieval.moc"
