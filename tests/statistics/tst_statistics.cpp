#include "common/PendingEvents.h"
#include "gateway/modProdUpdate.h"
#include "statistics/PacketRequest.h"
#include "statistics/Redelivery.h"
#include "statistics/StatsExport.h"
#include "statistics/modStatistics.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

using Messages::Icon;
using modStatistics::Product;

namespace {

const QByteArray widget = "New Product |7|Widget|x|1/2/2003|0|T100|Ann\r\n";

// The tree in short: "7k Widget" per product, "7X0 date|result|ID|user" per
// transaction, joined by ";".
QString render(const QList<Product> &products)
{
    QStringList lines;
    for (const Product &p : products) {
        lines.append(p.key() + QLatin1Char(' ') + p.caption);
        for (qsizetype i = 0; i < p.transactions.size(); ++i) {
            const modStatistics::Transaction &t = p.transactions[i];
            lines.append(p.transactionKey(i) + QLatin1Char(' ') +
                         QStringList{t.date, t.result, t.transactionId, t.endUser}.join(u'|'));
        }
    }
    return lines.join(u';');
}

} // namespace

// The statistics answer, its tree and CSV export, and the requests of the
// statistics and of a packet's re-delivery through a fake proxy.
class TestStatistics : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void parse_data();
    void parse();
    void transactionNumberLimit();
    void nodeTextsAndCsv();
    void retrieval();
    void classify_data();
    void classify();
    void packetRequest();

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FakeHttpServer> m_server;
};

void TestStatistics::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_server = std::make_unique<FakeHttpServer>();
    QVERIFY(m_server->useAsProxy());
}

void TestStatistics::cleanup()
{
    qunsetenv("VARNELL_HTTP_TIMEOUT_MS");
    m_server.reset();
    m_env.reset();
}

void TestStatistics::parse_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("tree");
    const auto row = [](const char *name, const QByteArray &answer, const char *tree) {
        QTest::newRow(name) << answer << QString::fromUtf8(tree);
    };
    row("result codes as numbers, lines after the end marker",
        widget + "|a|-1|A|u\r\n|b|00|B|u\r\nEnd Products\r\n|c|2|C|u\r\n|d|-01|D|u\r\n"
                 "|e|99999999999999999999|E|u\r\n",
        "7k Widget;7X0 1/2/2003|Success|T100|Ann;7X1 a|Not Processed|A|u;7X2 b|Success|B|u;"
        "7X3 c|Declined|C|u;7X4 d|Not Processed|D|u;7X5 e|Declined|E|u");
    row("hidden before the first header and under a negative ID",
        "|early|0|T0|Zed\r\nNew Product |-3|Hidden|x|d|0|t|u\r\n|d|0|t2|u\r\nEnd Products\r\n" +
            widget,
        "7k Widget;7X0 1/2/2003|Success|T100|Ann");
    row("two products, numbers start again, 007 is 7",
        widget + "|d1|0|T1|u1\r\nNew Product |009|Gadget|x|d2|5|T2|u2\r\n|d3|0|T3|u3\r\n",
        "7k Widget;7X0 1/2/2003|Success|T100|Ann;7X1 d1|Success|T1|u1;9k Gadget;"
        "9X0 d2|Declined|T2|u2;9X1 d3|Success|T3|u3");
    // Lines the tree cannot hold soundly are skipped, a header with all its
    // transactions, so that none lands under another product.
    row("broken lines",
        "New Product |abc|A|x|d|0|t|u\r\n|d|0|a1|u\r\nNew Product |32768|B|x|d|0|t|u\r\n"
        "|d|0|b1|u\r\nNew Product |5|D|x|d|0|t\r\n|d|0|d1|u\r\nNew Product |6|E|x|d|zero|t|u\r\n"
        "|d|0|e1|u\r\n" +
            widget +
            "|d|0|T1\r\n|d|x|T2|u\r\n|d|2|T3|u|extra\r\nNew Product |7|Again|x|d|0|T4|u\r\n"
            "|d|0|T5|u\r\n",
        "7k Widget;7X0 1/2/2003|Success|T100|Ann;7X1 d|Declined|T3|u");
    row("line ends CR, CR LF, none at the end; a lone LF stays in its field",
        "New Product |1|A|x|d|0|t0|u\r|d|0|t1|u\r\n|d|0|t2|two\nlines",
        "1k A;1X0 d|Success|t0|u;1X1 d|Success|t1|u;1X2 d|Success|t2|two\nlines");
    row("Windows-1252, fields as they stand",
        "New Product |4|Caf\xe9 \x80 - \"X\"| |  1/2/2003 10:15 |0| T 1 |Cr\xe8me \t\r\n",
        "4k Café € - \"X\";4X0   1/2/2003 10:15 |Success| T 1 |Crème \t");
    row("server error page", "<html>Error 500 | Internal | x | y | z</html>\r\n", "");
}

void TestStatistics::parse()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, tree);
    QCOMPARE(render(modStatistics::parseStatistics(answer)), tree);
}

void TestStatistics::transactionNumberLimit()
{
    // A product holds 32,768 transactions at most (numbers 0 to 32767).
    QByteArray busy = "New Product |3|Busy|x|d|0|T0|u\r\n";
    for (int i = 1; i <= 32768; ++i)
        busy += "|d|0|T" + QByteArray::number(i) + "|u\r\n";
    const QList<Product> products = modStatistics::parseStatistics(busy + widget);
    QCOMPARE(products.size(), 2);
    QCOMPARE(products[0].transactions.last().transactionId, QStringLiteral("T32767"));
}

void TestStatistics::nodeTextsAndCsv()
{
    const QByteArray header = "\"Product ID\",\"Transaction Date\",\"Result\"\r\n";
    // Values go out in Windows-1252, with quotes or without (Zo\xeb \x80).
    const QStringList texts = modStatistics::nodeTexts(modStatistics::parseStatistics(
        "New Product |012|Widget|x|1/2/2003|0|T100|Ann\r\n"
        "|1/4/2003 10:15:30|7|T102|Zo\xeb \x80\r\n"
        "New Product |3|Multi-Tool - Pro|x|d\"|-1| T 7 |\"Al\" \xe9ve Transaction ID: Y \r\n"));
    QCOMPARE(texts.mid(0, 2), QStringList({QStringLiteral("Product ID: 12 - Widget"),
                                           QStringLiteral("Date: 1/2/2003     Result: Success     "
                                                          "Transaction ID: T100     End "
                                                          "UserName: Ann")}));
    QCOMPARE(
        modStatistics::csvFromNodeTexts(texts),
        header +
            "\"12\",\"1/2/2003\",\"Success     Transaction ID: T100     End UserName: Ann\"\r\n"
            "\"12\",\"1/4/2003 10:15:30\",\"Declined     Transaction ID: T102     End "
            "UserName: Zo\xeb \x80\"\r\n"
            "\"3\",\"d\"\"\",\"Not Processed     Transaction ID:  T 7      End "
            "UserName: \"\"Al\"\" \xe9ve Transaction ID: Y\"\r\n"); // quotes doubled
    // The ID after the first "Transaction ID", without its outer blanks.
    QCOMPARE(modStatistics::transactionIdFromNodeText(texts.last()), QStringLiteral("T 7"));
    QVERIFY(modStatistics::isTransactionNode(texts.last()) &&
            !modStatistics::isTransactionNode(texts.first()));

    // A second export replaces the whole content; a file that cannot be
    // written is reported.
    const QString path = m_env->path(QStringLiteral("stats.csv"));
    QVERIFY(modStatistics::writeCsv(path, texts));
    QVERIFY(modStatistics::writeCsv(path, {}));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), header);
    const QString nowhere = m_env->path(QStringLiteral("no such folder/stats.csv"));
    QString error;
    QVERIFY(!modStatistics::writeCsv(nowhere, texts, &error) && error.contains(nowhere));
}

void TestStatistics::retrieval()
{
    const QByteArray url = modProdUpdate::CentralBaseURL().toLatin1() + "ProdReview.asp?";
    const QByteArray answer = widget + "|1/3/2003|-1|T101|Bob\r\nEnd Products\r\n";
    m_server->replies = {FakeHttpServer::answer(answer)};
    m_server->fallback = FakeHttpServer::answer(answer, 503);

    // Without a store the developer key is empty, and the request still goes.
    int events = 0;
    PendingEvents::setHandler([&events] { ++events; });
    modStatistics::Retrieval retrieval = modStatistics::RetrieveStatistics(modStatistics::Year);
    PendingEvents::setHandler({});
    QVERIFY(retrieval.downloaded);
    QCOMPARE(retrieval.products, modStatistics::parseStatistics(answer));
    // Before the download attempt, after the download and at the end marker.
    QCOMPARE(events, 3);

    // The store is read at each request; an error status is a failure.
    m_env->createStore(QStringLiteral("ABCDEFGHIJKLa.b&c/dxz"), QStringLiteral("k"));
    retrieval = modStatistics::RetrieveStatistics(modStatistics::Week);
    QVERIFY(!retrieval.downloaded && retrieval.products.isEmpty());
    QCOMPARE(m_server->targets(),
             QList<QByteArray>({url + "DevID=&DateRange=3", url + "DevID=ab%26cdca&DateRange=1",
                                url + "DevID=ab%26cdca&DateRange=1"}));
}

void TestStatistics::classify_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("shown"); // title, CR LF, text
    const auto row = [](const char *answer, Icon icon, const char *shown) {
        QTest::newRow(answer) << QString::fromLatin1(answer) << int(icon)
                              << QString::fromLatin1(shown);
    };
    // The first of the four words that the answer holds decides.
    row("File does not exist; No Email; No Transaction; Request Successful", Icon::Information,
        "Request Sent\r\nA request has been sent for the packet.\r\nYou should receive it in "
        "your email shortly.");
    row("<p>No Transaction</p> No Email", Icon::Exclamation,
        "Invalid Request\r\nThe selected transaction is invalid.\r\nPlease retry requesting "
        "this packet at a later date.\r\nIf this problem persists, please contact Ostrand.");
    row("No Email\r\nFile does not exist", Icon::Information,
        "No email address\r\nThere is no email address assigned.\r\nAn email address is "
        "assigned when a transaction is processed.");
    row("Error: File does not exist.", Icon::Information,
        "No Available Packet\r\nThe packet for the selected transaction no longer exists.");
    row("request successful, no email", Icon::Critical,
        "Unknown Server Response\r\nAn unexpected error has occured upon the request of this "
        "packet.\r\nPlease retry requesting this packet at a later date.\r\nIf this problem "
        "persists, please contact Ostrand");
}

void TestStatistics::classify()
{
    QFETCH(QString, answer);
    QFETCH(int, icon);
    QFETCH(QString, shown);
    const modStatistics::Outcome outcome = modStatistics::classifyRequestAnswer(answer);
    QCOMPARE(int(outcome.icon), icon);
    QCOMPARE(outcome.title + QLatin1String("\r\n") + outcome.text, shown);
}

void TestStatistics::packetRequest()
{
    // An answer with an error status is still an answer; while it is awaited
    // a second request is refused and sends nothing.
    m_server->fallback = FakeHttpServer::answer("No Email\r\n", 404);
    m_server->fallback.delayMs = 300;
    PacketRequest request;
    QSignalSpy completed(&request, &PacketRequest::completed);
    QSignalSpy failed(&request, &PacketRequest::failed);
    QCOMPARE(request.start(QStringLiteral("demo.varnell.com/pack/"), QStringLiteral("T 1&x=\xe9")),
             PacketRequest::Start::Started);
    QCOMPARE(request.start(QStringLiteral("demo.com"), QStringLiteral("second")),
             PacketRequest::Start::StillExecuting);
    QVERIFY(completed.wait(10000));
    QCOMPARE(completed.first().first().toByteArray(), QByteArray("No Email\r\n"));
    const FakeHttpServer::Request &sent = m_server->requests.value(0);
    // The server path is taken as it is: its "/" doubles the slash.
    QCOMPARE(sent.target, QByteArray("http://www.demo.varnell.com/pack//RequestPack.cgi"));
    QVERIFY(sent.head.contains("\r\nContent-Type: application/x-www-form-urlencoded"));
    QCOMPARE(sent.body, QByteArray("TID=T%201%26x%3D%E9"));

    // A redirect to another host is not followed: the transaction ID is
    // sent once, to the package server.
    m_server->fallback = FakeHttpServer::answer({}, 302);
    m_server->fallback.headers = "Location: http://www.elsewhere.example/RequestPack.cgi\r\n";
    QCOMPARE(request.start(QStringLiteral("demo.com"), QStringLiteral("T3")),
             PacketRequest::Start::Started);
    QTRY_COMPARE(completed.size() + failed.size(), 2);
    QTest::qWait(100);
    QCOMPARE(m_server->requests.size(), 2);
    QVERIFY(!m_server->requests.last().target.contains("elsewhere"));
    failed.clear();
    completed.clear();

    // Nothing is sent without a server path, nor to one that would reach
    // another host or page.
    QCOMPARE(request.start(QString(), QStringLiteral("T1")), PacketRequest::Start::NoServerPath);
    for (const char *path : {"user@evil.example/", "x.com/?q=", "x.com/#frag"})
        QCOMPARE(request.start(QString::fromLatin1(path), QStringLiteral("T1")),
                 PacketRequest::Start::OtherError);

    // Too large or never answered: each ends in one failure, the last one
    // within the deadline.
    qputenv("VARNELL_HTTP_TIMEOUT_MS", "500");
    for (const FakeHttpServer::Reply &reply :
         {FakeHttpServer::answer(QByteArray(PacketRequest::maxAnswerSize + 1, 'S')),
          FakeHttpServer::behave(FakeHttpServer::Behaviour::Hang)}) {
        m_server->fallback = reply;
        QCOMPARE(request.start(QStringLiteral("demo.com"), QStringLiteral("T1")),
                 PacketRequest::Start::Started);
        QVERIFY(failed.wait(10000));
    }
    QCOMPARE(failed.size(), 2);
    QCOMPARE(completed.size(), 0);

    // A request under way when its channel goes is dropped without a signal.
    {
        PacketRequest gone;
        QCOMPARE(gone.start(QStringLiteral("demo.com"), QStringLiteral("T2")),
                 PacketRequest::Start::Started);
        QTRY_COMPARE(m_server->requests.size(), 5);
    }
    QTest::qWait(50);
}

QTEST_GUILESS_MAIN(TestStatistics)
#include "tst_statistics.moc"
