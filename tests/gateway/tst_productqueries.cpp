#include "gateway/Amount.h"
#include "gateway/ProductRecord.h"
#include "gateway/modProdUpdate.h"
#include "shell/PendingEvents.h"
#include "shell/modPublic.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QNetworkProxyFactory>
#include <QTest>

using namespace modProdUpdate;

namespace {

const QString developerKey = QStringLiteral("DEV&KEY+1 \u00e9");
const QByteArray sentKey = "DEV%26KEY%2B1%20%E9";

QByteArray central(const char *rest)
{
    return CentralBaseURL().toLatin1() + rest;
}

QByteArray productAnswer(const QByteArray &extra = QByteArray())
{
    return QByteArray("CPID=3\xdfPDesc=Tom & Jerry #1\xdf"
                      "Cost=49\xdf"
                      "CurType=2\xdfSM=1\xdf"
                      "CurVer=1.2.10\xdf"
                      "DteC=2002-11-05\xdf"
                      "DteE=2003-01-31\xdfLP=0\xdfPO=1\xdf") +
           extra + "\xdf\r\n";
}

} // namespace

// Every request goes to the central host's real URL through a fake proxy on
// 127.0.0.1, which sees each request exactly as the program sends it.
class TestProductQueries : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void productCount();
    void productInfo();
    void updateProduct_data();
    void updateProduct();

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FakeHttpServer> m_proxy;
    int m_events = 0;
};

void TestProductQueries::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_env->createStore(developerKey, QStringLiteral("enc"));
    m_proxy = std::make_unique<FakeHttpServer>();
    for (const char *name : {"HTTP_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"})
        qunsetenv(name);
    qputenv("http_proxy", m_proxy->origin().toLatin1());
    qputenv("VARNELL_HTTP_TIMEOUT_MS", "1500");
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(QUrl(CentralBaseURL())));
    if (proxies.isEmpty() || proxies.first().hostName() != QLatin1String("127.0.0.1") ||
        proxies.first().port() != m_proxy->port())
        QFAIL("the central host would not be reached through the test's proxy");
    m_events = 0;
    PendingEvents::setHandler([this] { ++m_events; });
}

void TestProductQueries::cleanup()
{
    PendingEvents::setHandler({});
    // No answer file outlives its request.
    QCOMPARE(QDir(GetTempDir()).entryList(QDir::Files | QDir::Hidden), QStringList());
    qunsetenv("http_proxy");
    m_proxy.reset();
    m_env.reset();
}

void TestProductQueries::productCount()
{
    m_proxy->replies = {FakeHttpServer::answer("  7  \r\nmore"), FakeHttpServer::answer("0"),
                        FakeHttpServer::answer("Unknown developer"), FakeHttpServer::answer(""),
                        FakeHttpServer::answer("-1")};
    QCOMPARE(GetProductCount(), qint16(7));
    QCOMPARE(m_proxy->targets.first(), central("GetProdCount.asp?DeveloperID=") + sentKey);
    QCOMPARE(m_events, 1);
    QCOMPARE(GetProductCount(), qint16(0));
    QCOMPARE(GetProductCount(), qint16(-1));
    QCOMPARE(GetProductCount(), qint16(-1));
    QCOMPARE(GetProductCount(), qint16(-1));

    // Unreachable: both attempts fail.
    m_proxy->targets.clear();
    m_proxy->fallback = FakeHttpServer::answer("down", 503);
    QCOMPARE(GetProductCount(), qint16(-1));
    QCOMPARE(m_proxy->targets.size(), 2);

    // The key is read from the store at each request; without a store it is
    // empty.
    m_proxy->targets.clear();
    m_proxy->fallback = FakeHttpServer::answer("2");
    QVERIFY(modPublic::WriteSettings(QStringLiteral("NEWKEY"), QStringLiteral("enc"), QString()));
    QCOMPARE(GetProductCount(), qint16(2));
    QVERIFY(QFile::remove(m_env->storePath()));
    QCOMPARE(GetProductCount(), qint16(2));
    QCOMPARE(m_proxy->targets, QList<QByteArray>({central("GetProdCount.asp?DeveloperID=NEWKEY"),
                                                  central("GetProdCount.asp?DeveloperID=")}));
}

void TestProductQueries::productInfo()
{
    ProductRecord record;
    m_proxy->replies = {FakeHttpServer::answer(productAnswer("SysLock=1"))};
    QVERIFY(GetProductInfo(10, record));
    QCOMPARE(m_proxy->targets.first(),
             central("GetProductInfo.asp?DeveloperID=") + sentKey + "&ProdCount=10");
    // Before the attempt, and once more after the download.
    QCOMPARE(m_events, 2);
    QCOMPARE(record.productId, QStringLiteral("3"));
    QCOMPARE(record.description, QStringLiteral("Tom & Jerry #1"));
    QCOMPARE(record.price, QStringLiteral("$49.00"));
    QCOMPARE(record.currency, 2);
    QCOMPARE(record.serviceModel, 1);
    QCOMPARE(record.version, QStringLiteral("1.2.10"));
    QCOMPARE(record.dateCreated, QStringLiteral("05/Nov/2002"));
    QCOMPARE(record.dateModified, QStringLiteral("31/Jan/2003"));
    QVERIFY(!record.lock);
    QVERIFY(record.permitOlder);
    QVERIFY(IsSystemLocked());

    // An answer without SysLock keeps the lock of the product before.
    m_proxy->replies = {FakeHttpServer::answer(productAnswer("Colour=blue"))};
    ProductRecord second;
    QVERIFY(GetProductInfo(1, second));
    QVERIFY(IsSystemLocked());
    QCOMPARE(second, record);

    // Refused answers touch nothing, the lock included.
    const ProductRecord before = record;
    for (const QByteArray &bad : {productAnswer("SysLock=0\xdf"), productAnswer("SysLock=off"),
                                  QByteArray(), QByteArray("Server error\r\n")}) {
        m_proxy->replies = {FakeHttpServer::answer(bad)};
        QVERIFY(!GetProductInfo(2, record));
        QCOMPARE(record, before);
        QVERIFY(IsSystemLocked());
    }

    // Unreachable: false, with no event processing after the failure.
    m_events = 0;
    m_proxy->fallback = FakeHttpServer::answer("down", 500);
    QVERIFY(!GetProductInfo(3, record));
    QCOMPARE(m_events, 2);
    QCOMPARE(record, before);

    m_proxy->replies = {FakeHttpServer::answer(productAnswer("SysLock=False"))};
    QVERIFY(GetProductInfo(1, record));
    QVERIFY(!IsSystemLocked());
}

void TestProductQueries::updateProduct_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("permitOlder");
    QTest::addColumn<bool>("lock");
    QTest::addColumn<int>("currency");
    QTest::addColumn<int>("serviceModel");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QByteArray>("query");

    QTest::newRow("editor's example")
        << 4 << QStringLiteral("19.95") << QStringLiteral("Deluxe edition") << true << false << 0
        << 1 << QStringLiteral("2.1")
        << QByteArray("CPID=4&Cost=19.95&PO=True&LP=False&CurType=0&SM=1&CurVer=2.1&"
                      "PDesc=Deluxe%20edition&DeveloperID=");
    QTest::newRow("price with one decimal")
        << 12 << QStringLiteral("$1,234.50") << QStringLiteral("Pro") << false << true << 3 << 2
        << QStringLiteral("10.0.1")
        << QByteArray("CPID=12&Cost=1234.5&PO=False&LP=True&CurType=3&SM=2&CurVer=10.0.1&"
                      "PDesc=Pro&DeveloperID=");
    QTest::newRow("description with delimiters")
        << 5 << QStringLiteral("0.5") << QStringLiteral("Tom & Jerry #1 + 50% off/day=\u20ac")
        << true << true << 2 << 1 << QStringLiteral("3.0")
        << QByteArray("CPID=5&Cost=0.5&PO=True&LP=True&CurType=2&SM=1&CurVer=3.0&"
                      "PDesc=Tom%20%26%20Jerry%20%231%20%2B%2050%25%20off%2Fday%3D%80&"
                      "DeveloperID=");
}

void TestProductQueries::updateProduct()
{
    QFETCH(int, id);
    QFETCH(QString, price);
    QFETCH(QString, description);
    QFETCH(bool, permitOlder);
    QFETCH(bool, lock);
    QFETCH(int, currency);
    QFETCH(int, serviceModel);
    QFETCH(QString, version);
    QFETCH(QByteArray, query);

    // Whatever the server answers, an error text included, is a success.
    m_proxy->fallback = FakeHttpServer::answer("Error: not saved");
    QVERIFY(UpdateProduct(qint16(id), *Amount::parse(price), description, permitOlder, lock,
                          currency, qint16(serviceModel), version));
    QCOMPARE(m_proxy->targets,
             QList<QByteArray>({central("ProductUpdate.asp?") + query + sentKey}));
    QCOMPARE(m_events, 1);

    m_proxy->fallback = FakeHttpServer::answer("Error", 500);
    QVERIFY(!UpdateProduct(qint16(id), *Amount::parse(price), description, permitOlder, lock,
                           currency, qint16(serviceModel), version));
    QCOMPARE(m_proxy->targets.size(), 3);
}

QTEST_GUILESS_MAIN(TestProductQueries)
#include "tst_productqueries.moc"
