#include "statistics/PacketRequest.h"
#include "statistics/Redelivery.h"
#include "support/FakeHttpServer.h"

#include <QSignalSpy>
#include <QTest>

using Messages::Icon;

class TestRedelivery : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void transactionId_data();
    void transactionId();
    void classify_data();
    void classify();
    void postAndAnswer();
    void secondRequestRefused();
    void nothingSent();
    void noAnswer();

private:
    std::unique_ptr<FakeHttpServer> m_server;
};

void TestRedelivery::init()
{
    m_server = std::make_unique<FakeHttpServer>();
    QVERIFY(m_server->useAsProxy());
}

void TestRedelivery::cleanup()
{
    m_server.reset();
}

void TestRedelivery::transactionId_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("id"); // null: not a transaction node
    const QString user = QStringLiteral("     End UserName: ");
    QTest::newRow("node of the tree")
        << QStringLiteral("Date: 1/2/2003     Result: Success     Transaction ID: T100") + user +
               QStringLiteral("Ann")
        << QStringLiteral("T100");
    QTest::newRow("inner blanks kept")
        << QStringLiteral("Transaction ID:   T 1 00") + user + QStringLiteral("Transaction ID: Y")
        << QStringLiteral("T 1 00");
    QTest::newRow("empty ID") << QStringLiteral("Transaction ID:") + user << QStringLiteral("");
    QTest::newRow("product node") << QStringLiteral("Product ID: 7 - Widget") << QString();
}

void TestRedelivery::transactionId()
{
    QFETCH(QString, text);
    QFETCH(QString, id);
    QCOMPARE(modStatistics::isTransactionNode(text), !id.isNull());
    if (!id.isNull())
        QCOMPARE(modStatistics::transactionIdFromNodeText(text), id);
}

void TestRedelivery::classify_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    const QString retry = QStringLiteral("Please retry requesting this packet at a later date.\r\n"
                                         "If this problem persists, please contact Ostrand");
    const auto row = [](const char *answer, Icon icon, const char *title, const QString &text) {
        QTest::newRow(answer) << QString::fromLatin1(answer) << int(icon)
                              << QString::fromLatin1(title) << text;
    };
    // The first of the four words that the answer holds decides.
    row("File does not exist; No Email; No Transaction; Request Successful", Icon::Information,
        "Request Sent",
        QStringLiteral("A request has been sent for the packet.\r\nYou should receive it in your "
                       "email shortly."));
    row("<p>No Transaction</p> No Email", Icon::Exclamation, "Invalid Request",
        QStringLiteral("The selected transaction is invalid.\r\n") + retry + QLatin1Char('.'));
    row("No Email\r\nFile does not exist", Icon::Information, "No email address",
        QStringLiteral("There is no email address assigned.\r\nAn email address is assigned when "
                       "a transaction is processed."));
    row("Error: File does not exist.", Icon::Information, "No Available Packet",
        QStringLiteral("The packet for the selected transaction no longer exists."));
    const QString unknown =
        QStringLiteral("An unexpected error has occured upon the request of this packet.\r\n") +
        retry;
    row("request successful, no email", Icon::Critical, "Unknown Server Response", unknown);
    row("", Icon::Critical, "Unknown Server Response", unknown);
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
    // An answer with an error status is still an answer.
    m_server->fallback = FakeHttpServer::answer("No Email\r\n", 404);
    PacketRequest request;
    QSignalSpy completed(&request, &PacketRequest::completed);
    QCOMPARE(request.start(QStringLiteral("demo.varnell.com/pack/"), QStringLiteral("T 1&x=\xe9")),
             PacketRequest::Start::Started);
    QVERIFY(request.isRunning());
    QVERIFY(completed.wait(10000));
    QVERIFY(!request.isRunning());
    QCOMPARE(completed.first().first().toByteArray(), QByteArray("No Email\r\n"));
    QCOMPARE(m_server->requests.size(), 1);
    const FakeHttpServer::Request &sent = m_server->requests.first();
    QCOMPARE(sent.method, QByteArray("POST"));
    // The server path is taken as it is: its "/" doubles the slash.
    QCOMPARE(sent.target, QByteArray("http://www.demo.varnell.com/pack//RequestPack.cgi"));
    QVERIFY(sent.head.contains("\r\nContent-Type: application/x-www-form-urlencoded"));
    QCOMPARE(sent.body, QByteArray("TID=T%201%26x%3D%E9"));
}

void TestRedelivery::secondRequestRefused()
{
    m_server->fallback = FakeHttpServer::answer("Successful");
    m_server->fallback.delayMs = 300;
    PacketRequest request;
    QSignalSpy completed(&request, &PacketRequest::completed);
    QCOMPARE(request.start(QStringLiteral("demo.com"), QStringLiteral("first")),
             PacketRequest::Start::Started);
    QCOMPARE(request.start(QStringLiteral("demo.com"), QStringLiteral("second")),
             PacketRequest::Start::StillExecuting);
    QVERIFY(completed.wait(10000));
    QTest::qWait(100);
    QCOMPARE(completed.size(), 1);
    QCOMPARE(m_server->requests.size(), 1);
    QCOMPARE(m_server->requests.first().body, QByteArray("TID=first"));
    // Once answered, the slot is free again.
    QCOMPARE(request.start(QStringLiteral("demo.com"), QStringLiteral("third")),
             PacketRequest::Start::Started);
    QVERIFY(completed.wait(10000));
}

void TestRedelivery::nothingSent()
{
    PacketRequest request;
    QCOMPARE(request.start(QString(), QStringLiteral("T1")), PacketRequest::Start::NoServerPath);
    // Server paths that would send the request to another host or page.
    for (const char *path : {"user@evil.example/", "x.com/?q=", "x.com/#frag"})
        QCOMPARE(request.start(QString::fromLatin1(path), QStringLiteral("T1")),
                 PacketRequest::Start::OtherError);
    QVERIFY(!request.isRunning());
    QTest::qWait(100);
    QVERIFY(m_server->requests.isEmpty());
}

void TestRedelivery::noAnswer()
{
    PacketRequest request;
    QSignalSpy completed(&request, &PacketRequest::completed);
    QSignalSpy failed(&request, &PacketRequest::failed);
    // Dropped, too large, never answered: each ends in one failure, the last
    // one within the deadline.
    qputenv("VARNELL_HTTP_TIMEOUT_MS", "500");
    for (const FakeHttpServer::Reply &reply :
         {FakeHttpServer::behave(FakeHttpServer::Behaviour::Close),
          FakeHttpServer::answer(QByteArray(PacketRequest::maxAnswerSize + 1, 'S')),
          FakeHttpServer::behave(FakeHttpServer::Behaviour::Hang)}) {
        m_server->fallback = reply;
        QCOMPARE(request.start(QStringLiteral("demo.com"), QStringLiteral("T1")),
                 PacketRequest::Start::Started);
        QVERIFY(failed.wait(10000));
    }
    qunsetenv("VARNELL_HTTP_TIMEOUT_MS");
    QCOMPARE(failed.size(), 3);
    QCOMPARE(completed.size(), 0);

    // A request under way when its channel goes is dropped without a signal.
    const qsizetype before = m_server->requests.size();
    {
        PacketRequest gone;
        QCOMPARE(gone.start(QStringLiteral("demo.com"), QStringLiteral("T2")),
                 PacketRequest::Start::Started);
        QTRY_VERIFY(m_server->requests.size() > before);
    }
    QTest::qWait(50);
}

QTEST_GUILESS_MAIN(TestRedelivery)
#include "tst_redelivery.moc"
