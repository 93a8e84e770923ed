#include "statistics/PacketRequest.h"
#include "statistics/Redelivery.h"
#include "support/LoopbackHttpServer.h"

#include <QSignalSpy>
#include <QTest>

using Messages::Icon;
using Reply = LoopbackHttpServer::Reply;

class TestRedelivery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void transactionId_data();
    void transactionId();
    void classify_data();
    void classify();
    void postAndAnswer();
    void secondRequestRefused();
    void nothingSent();
    void noAnswer();

private:
    LoopbackHttpServer *m_server = nullptr;
};

void TestRedelivery::initTestCase()
{
    m_server = new LoopbackHttpServer(this);
    qputenv("http_proxy", m_server->proxyUrl());
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
    qputenv("VARNELL_HTTP_TIMEOUT_MS", "3000");
}

void TestRedelivery::cleanupTestCase()
{
    qunsetenv("http_proxy");
    qunsetenv("VARNELL_HTTP_TIMEOUT_MS");
}

void TestRedelivery::init()
{
    m_server->requests.clear();
    m_server->setHandler({});
}

void TestRedelivery::transactionId_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("transaction");
    QTest::addColumn<QString>("id");

    QTest::newRow("node of the tree")
        << QStringLiteral("Date: 1/2/2003     Result: Success     Transaction ID: T100     "
                          "End UserName: Ann")
        << true << QStringLiteral("T100");
    QTest::newRow("inner blanks kept, tab kept")
        << QStringLiteral("Date: d     Result: Declined     Transaction ID:   T 1 00\t     "
                          "End UserName: Ann")
        << true << QStringLiteral("T 1 00\t");
    QTest::newRow("user name naming the label again")
        << QStringLiteral("Date: d     Result: Success     Transaction ID: X9     End UserName: "
                          "Transaction ID: Y")
        << true << QStringLiteral("X9");
    QTest::newRow("empty ID") << QStringLiteral("Transaction ID:     End UserName: u") << true
                              << QString();
    QTest::newRow("no user label")
        << QStringLiteral("Transaction ID: Z7  ") << true << QStringLiteral("Z7");
    QTest::newRow("label at the very end") << QStringLiteral("Transaction ID") << true << QString();
    QTest::newRow("product node") << QStringLiteral("Product ID: 7 - Widget") << false << QString();
    QTest::newRow("lower case label") << QStringLiteral("transaction id: T1") << false << QString();
}

void TestRedelivery::transactionId()
{
    QFETCH(QString, text);
    QFETCH(bool, transaction);
    QFETCH(QString, id);
    QCOMPARE(modStatistics::isTransactionNode(text), transaction);
    QCOMPARE(modStatistics::transactionIdFromNodeText(text), id);
}

void TestRedelivery::classify_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    const QString sent = QStringLiteral("A request has been sent for the packet.\r\n"
                                        "You should receive it in your email shortly.");
    const QString invalid = QStringLiteral("The selected transaction is invalid.\r\n"
                                           "Please retry requesting this packet at a later date."
                                           "\r\nIf this problem persists, please contact Ostrand.");
    const QString noEmail = QStringLiteral("There is no email address assigned.\r\nAn email "
                                           "address is assigned when a transaction is processed.");
    const QString gone =
        QStringLiteral("The packet for the selected transaction no longer exists.");
    const QString unknown =
        QStringLiteral("An unexpected error has occured upon the request of this packet.\r\n"
                       "Please retry requesting this packet at a later date.\r\n"
                       "If this problem persists, please contact Ostrand");

    QTest::newRow("successful") << QStringLiteral("Request Successful") << int(Icon::Information)
                                << QStringLiteral("Request Sent") << sent;
    QTest::newRow("first row wins over all")
        << QStringLiteral("File does not exist; No Email; No Transaction; Successful")
        << int(Icon::Information) << QStringLiteral("Request Sent") << sent;
    QTest::newRow("no transaction")
        << QStringLiteral("<p>No Transaction</p> No Email") << int(Icon::Exclamation)
        << QStringLiteral("Invalid Request") << invalid;
    QTest::newRow("email before missing file")
        << QStringLiteral("No Email\r\nFile does not exist") << int(Icon::Information)
        << QStringLiteral("No email address") << noEmail;
    QTest::newRow("missing file") << QStringLiteral("Error: File does not exist.")
                                  << int(Icon::Information) << QStringLiteral("No Available Packet")
                                  << gone;
    QTest::newRow("lower case matches nothing")
        << QStringLiteral("request successful, no email") << int(Icon::Critical)
        << QStringLiteral("Unknown Server Response") << unknown;
    QTest::newRow("empty") << QString() << int(Icon::Critical)
                           << QStringLiteral("Unknown Server Response") << unknown;
}

void TestRedelivery::classify()
{
    QFETCH(QString, answer);
    QFETCH(int, icon);
    QFETCH(QString, title);
    QFETCH(QString, text);
    const modStatistics::Outcome outcome = modStatistics::classifyRequestAnswer(answer);
    QCOMPARE(int(outcome.icon), icon);
    QCOMPARE(outcome.title, title);
    QCOMPARE(outcome.text, text);
}

void TestRedelivery::postAndAnswer()
{
    m_server->setHandler([](const LoopbackHttpServer::Request &) {
        return Reply{200, QByteArray("Request Successful\r\n")};
    });
    PacketRequest request;
    QSignalSpy completed(&request, &PacketRequest::completed);
    QSignalSpy failed(&request, &PacketRequest::failed);
    QCOMPARE(request.start(QStringLiteral("demo.varnell.com/pack/"), QStringLiteral("T 1&x=\xe9")),
             PacketRequest::Start::Started);
    QVERIFY(request.isRunning());
    QVERIFY(completed.wait(10000));
    QVERIFY(!request.isRunning());
    QCOMPARE(completed.first().first().toByteArray(), QByteArray("Request Successful\r\n"));
    QCOMPARE(failed.size(), 0);

    QCOMPARE(m_server->requests.size(), 1);
    const LoopbackHttpServer::Request &sent = m_server->requests.first();
    QCOMPARE(sent.method, QByteArray("POST"));
    // The server path is taken as it is: its "/" doubles the slash.
    QCOMPARE(sent.target, QByteArray("http://www.demo.varnell.com/pack//RequestPack.cgi"));
    QCOMPARE(sent.headers.value("content-type"), QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(sent.body, QByteArray("TID=T%201%26x%3D%E9"));

    // An answer with an error status is still an answer; the slot is free again.
    m_server->setHandler([](const LoopbackHttpServer::Request &) {
        return Reply{404, QByteArray("No Email")};
    });
    QCOMPARE(request.start(QStringLiteral("shop.example.com"), QStringLiteral("T100")),
             PacketRequest::Start::Started);
    QVERIFY(completed.wait(10000));
    QCOMPARE(completed.last().first().toByteArray(), QByteArray("No Email"));
    QCOMPARE(m_server->requests.last().target,
             QByteArray("http://www.shop.example.com/RequestPack.cgi"));
    QCOMPARE(m_server->requests.last().body, QByteArray("TID=T100"));
}

void TestRedelivery::secondRequestRefused()
{
    m_server->setHandler([](const LoopbackHttpServer::Request &request) {
        return Reply{200, "Successful " + request.body, Reply::Answer, 400};
    });
    PacketRequest request;
    QSignalSpy completed(&request, &PacketRequest::completed);
    QCOMPARE(request.start(QStringLiteral("demo.com/"), QStringLiteral("first")),
             PacketRequest::Start::Started);
    QCOMPARE(request.start(QStringLiteral("demo.com/"), QStringLiteral("second")),
             PacketRequest::Start::StillExecuting);
    QVERIFY(completed.wait(10000));
    QTest::qWait(200);
    QCOMPARE(completed.size(), 1);
    QCOMPARE(completed.first().first().toByteArray(), QByteArray("Successful TID=first"));
    QCOMPARE(m_server->requests.size(), 1);
}

void TestRedelivery::nothingSent()
{
    PacketRequest request;
    QSignalSpy completed(&request, &PacketRequest::completed);
    QSignalSpy failed(&request, &PacketRequest::failed);
    QCOMPARE(request.start(QString(), QStringLiteral("T1")), PacketRequest::Start::NoServerPath);
    // Server paths that would send the request to another host or page.
    for (const char *path : {"user@evil.example/", "bad host/", "x.com/?q=", "x.com/#frag"}) {
        QCOMPARE(request.start(QString::fromLatin1(path), QStringLiteral("T1")),
                 PacketRequest::Start::OtherError);
    }
    QVERIFY(!request.isRunning());
    QTest::qWait(100);
    QCOMPARE(completed.size() + failed.size(), 0);
    QCOMPARE(m_server->requests.size(), 0);
}

void TestRedelivery::noAnswer()
{
    PacketRequest request;
    QSignalSpy completed(&request, &PacketRequest::completed);
    QSignalSpy failed(&request, &PacketRequest::failed);

    m_server->setHandler([](const LoopbackHttpServer::Request &) {
        return Reply{200, QByteArray(), Reply::Drop};
    });
    QCOMPARE(request.start(QStringLiteral("demo.com/"), QStringLiteral("T1")),
             PacketRequest::Start::Started);
    QVERIFY(failed.wait(10000));
    // (The HTTP client itself sends a request again when the connection closes
    // before any answer; each try still ends in one signal.)
    QCOMPARE(failed.size(), 1);

    // A server that never answers is given up within the deadline.
    qputenv("VARNELL_HTTP_TIMEOUT_MS", "300");
    m_server->setHandler([](const LoopbackHttpServer::Request &) {
        return Reply{200, QByteArray(), Reply::Hang};
    });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(request.start(QStringLiteral("demo.com/"), QStringLiteral("T2")),
             PacketRequest::Start::Started);
    QVERIFY(failed.wait(10000));
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(!request.isRunning());
    qputenv("VARNELL_HTTP_TIMEOUT_MS", "3000");

    // An answer larger than accepted is not delivered.
    m_server->setHandler([](const LoopbackHttpServer::Request &) {
        return Reply{200, QByteArray(PacketRequest::maxAnswerSize + 1, 'S')};
    });
    QCOMPARE(request.start(QStringLiteral("demo.com/"), QStringLiteral("T3")),
             PacketRequest::Start::Started);
    QVERIFY(failed.wait(10000));
    QCOMPARE(failed.size(), 3);
    QCOMPARE(completed.size(), 0);

    // A request under way when its channel goes is dropped without a signal.
    m_server->setHandler([](const LoopbackHttpServer::Request &) {
        return Reply{200, QByteArray(), Reply::Hang};
    });
    {
        const qsizetype before = m_server->requests.size();
        PacketRequest gone;
        QCOMPARE(gone.start(QStringLiteral("demo.com/"), QStringLiteral("T4")),
                 PacketRequest::Start::Started);
        QTRY_COMPARE(m_server->requests.size(), before + 1);
    }
    QTest::qWait(50);
}

QTEST_GUILESS_MAIN(TestRedelivery)
#include "tst_redelivery.moc"
