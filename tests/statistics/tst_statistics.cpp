#include "common/PendingEvents.h"
#include "gateway/modProdUpdate.h"
#include "statistics/PacketRequest.h"
#include "statistics/Redelivery.h"
#include "statistics/StatsExport.h"
#include "statistics/TransactionTreeModel.h"
#include "statistics/modStatistics.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QAbstractItemModelTester>
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

// A year in short for the filter: two products, the fields of every
// transaction different.
const QByteArray filterYear =
    "New Product |1|Caf\xe9 Ledger|x|2003-01-02|0|T100|Ann\r\n|2003-01-03|-1|T101|ACME LTD\r\n"
    "|2003-02-04|2|T102|Soci\xe9t\xe9 Exemple\r\nEnd Products\r\n"
    "New Product |2|Widget|x|2003-01-05|0|T200|ann-marie\r\n|2003-02-06|5|T201|Bob\r\n"
    "End Products\r\n";

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
    void filter_data();
    void filter();
    void csvFormulas_data();
    void csvFormulas();
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
    row("two products, ID written 007, numbers start again",
        "New Product | 007 |A - B|x|d|00|t|u\r\n|e|0|s|v\r\nNew Product |12|C|x|f|-1|r|w\r\n",
        "7k A - B;7X0 d|Success|t|u;7X1 e|Success|s|v;12k C;12X0 f|Not Processed|r|w");
    row("Windows-1252, fields as they stand",
        "New Product |4|Caf\xe9 \x80 - \"X\"| |  1/2/2003 10:15 |0| T 1 |Cr\xe8me \t|more\r\n",
        "4k Café € - \"X\";4X0   1/2/2003 10:15 |Success| T 1 |Crème \t");
    row("server error page", "<html>Error 500 | Internal | x | y | z</html>\r\n|d|0|t|u\r\n", "");
}

void TestStatistics::parse()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, tree);
    const modStatistics::Statistics statistics = modStatistics::parseStatistics(answer);
    QCOMPARE(render(statistics.products()), tree);

    // The tab's model shows the same nodes, with the keys and texts the tab
    // always showed, and keeps to the rules of item models through every
    // change.
    TransactionTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setStatistics(modStatistics::parseStatistics(widget + "|x|0|y|z\r\n"));
    model.setStatistics(statistics);
    QStringList keys;
    for (int p = 0; p < model.rowCount(); ++p) {
        const QModelIndex product = model.index(p, 0);
        keys.append(product.data(TransactionTreeModel::KeyRole).toString());
        // A transaction node says that it never has children, so that a view
        // expanding every node keeps no note for each of thousands of them.
        QVERIFY(!(model.flags(product) & Qt::ItemNeverHasChildren));
        for (int t = 0; t < model.rowCount(product); ++t) {
            keys.append(model.index(t, 0, product).data(TransactionTreeModel::KeyRole).toString());
            QVERIFY(model.flags(model.index(t, 0, product)) & Qt::ItemNeverHasChildren);
        }
    }
    QStringList expectedKeys;
    for (const QString &node : tree.split(u';', Qt::SkipEmptyParts))
        expectedKeys.append(node.section(u' ', 0, 0));
    QCOMPARE(keys, expectedKeys);
    QCOMPARE(model.shownTexts(), statistics.nodeTexts());
    model.clear();
    QCOMPARE(model.rowCount(), 0);
}

void TestStatistics::transactionNumberLimit()
{
    // A product holds 32,768 transactions at most (numbers 0 to 32767).
    QByteArray busy = "New Product |3|Busy|x|d|0|T0|u\r\n";
    for (int i = 1; i <= 32768; ++i)
        busy += "|d|0|T" + QByteArray::number(i) + "|u\r\n";
    const QList<Product> products = modStatistics::parseStatistics(busy + widget).products();
    QCOMPARE(products.size(), 2);
    QCOMPARE(products[0].transactions.last().transactionId, QStringLiteral("T32767"));
}

void TestStatistics::nodeTextsAndCsv()
{
    const QByteArray header = "\"Product ID\",\"Transaction Date\",\"Result\"\r\n";
    // Values go out in Windows-1252, with quotes or without (Zo\xeb \x80).
    const QStringList texts =
        modStatistics::parseStatistics(
            "New Product |012|Widget|x|1/2/2003|0|T100|Ann\r\n"
            "|1/4/2003 10:15:30|7|T102|Zo\xeb \x80\r\n"
            "New Product |3|Multi-Tool - Pro|x|d\"|-1| T 7 |\"Al\" \xe9ve Transaction ID: Y \r\n")
            .nodeTexts();
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

void TestStatistics::filter_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("keys"); // of the nodes shown, in tree order
    const auto row = [](const char *filter, const char *keys) {
        QTest::newRow(filter) << QString::fromUtf8(filter) << QString::fromLatin1(keys);
    };
    row(" \t ", "1k 1X0 1X1 1X2 2k 2X0 2X1");
    row("ann", "1k 1X0 2k 2X0");          // end user, letter case aside
    row("ANN  2003-01", "1k 1X0 2k 2X0"); // every word, each in some field
    row("ann 2003-02", "");               // ... in the same transaction
    row("declined", "1k 1X2 2k 2X1");     // the result word, not the code
    row("SOCIÉTÉ", "1k 1X2");             // letters beyond ASCII
    row("t20", "2k 2X0 2X1");             // transaction ID
    row("-1", "");                        // result codes are not searched
    row("ledger", "");                    // nor product captions
    row("Transaction", "");               // nor the labels of the texts
    row("€", "");                         // in the code page, in no field
}

void TestStatistics::filter()
{
    // Only transactions that hold every word are shown, under their
    // products; a node is found again by its place in the statistics,
    // whatever the filter, and the export takes what is shown.
    QFETCH(QString, filter);
    QFETCH(QString, keys);
    TransactionTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setFilter(filter);
    model.setStatistics(modStatistics::parseStatistics(filterYear));
    QStringList shownKeys;
    for (int p = 0; p < model.rowCount(); ++p) {
        const QModelIndex product = model.index(p, 0);
        shownKeys.append(model.key(product));
        QCOMPARE(model.indexOf(model.node(product)), product);
        for (int t = 0; t < model.rowCount(product); ++t) {
            const QModelIndex transaction = model.index(t, 0, product);
            shownKeys.append(model.key(transaction));
            QCOMPARE(model.indexOf(model.node(transaction)), transaction);
        }
    }
    QCOMPARE(shownKeys.join(u' '), keys);
    QCOMPARE(model.shownTransactionCount(), shownKeys.size() - model.rowCount());
    const TransactionTreeModel::Node hidden{0, 1}; // 1X1
    QCOMPARE(model.indexOf(hidden).isValid(), keys.contains(QLatin1String("1X1")));
    QCOMPARE(model.indexOf({2, -1}), QModelIndex()); // no third product

    // The export holds the transactions shown, each under its product (the
    // year's IDs are "T" + product + "0" + number).
    const QList<QByteArray> lines = modStatistics::csvFromNodeTexts(model.shownTexts()).split('\n');
    QCOMPARE(lines.size(), model.shownTransactionCount() + 2); // the header, the empty end
    int line = 0;
    for (const QString &key : std::as_const(shownKeys)) {
        if (!key.contains(u'X'))
            continue;
        const QByteArray p = key.left(1).toLatin1(), t = key.mid(2).toLatin1();
        QVERIFY2(lines.at(++line).startsWith(QByteArray("\"" + p + "\",")) &&
                     lines.at(line).contains(QByteArray("Transaction ID: T" + p + '0' + t + ' ')),
                 lines.at(line).constData());
    }

    // Cleared, every node shows again.
    model.setFilter(QString());
    QVERIFY(!model.isFiltered());
    QCOMPARE(model.shownTransactionCount(), 5);
    QCOMPARE(model.rowCount(model.index(0, 0)), 3);
}

void TestStatistics::csvFormulas_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<QByteArray>("field");
    const auto row = [](const char *date, const QByteArray &field) {
        QTest::newRow(date) << QString::fromUtf8(date) << field;
    };
    row("=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\"");
    row("+1+2", "\"'+1+2\"");
    row("-2+3", "\"'-2+3\"");
    row("@SUM(A1)", "\"'@SUM(A1)\"");
    row("\t=1", "\"'\t=1\"");
    row("-12.50", "\"-12.50\"");
    row("+7", "\"+7\"");
    row("2026-01-02 =1", "\"2026-01-02 =1\"");
}

void TestStatistics::csvFormulas()
{
    // A field the server chose that a spreadsheet would run as a formula is
    // kept as text; plain numbers and ordinary text are as sent.
    QFETCH(QString, date);
    QFETCH(QByteArray, field);
    const modStatistics::Transaction t{date, QStringLiteral("=ok"), QStringLiteral("T1"),
                                       QStringLiteral("Ann")};
    const QByteArray csv = modStatistics::csvFromNodeTexts(
        {QStringLiteral("Product ID: 1 - A"), modStatistics::transactionText(t)});
    QCOMPARE(csv.split('\n').value(1),
             "\"1\"," + field + ",\"'=ok     Transaction ID: T1     End UserName: Ann\"\r");
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
    QCOMPARE(retrieval.statistics.products(), modStatistics::parseStatistics(answer).products());
    // Before the download attempt, after the download and at the end marker.
    QCOMPARE(events, 3);

    // The store is read at each request; an error status is a failure.
    m_env->createStore(QStringLiteral("ABCDEFGHIJKLa.b&c/dxz"), QStringLiteral("k"));
    retrieval = modStatistics::RetrieveStatistics(modStatistics::Week);
    QVERIFY(!retrieval.downloaded && retrieval.statistics.isEmpty());
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

    // A redirect, even to the same server, is no answer and is not
    // followed; a connection closed before the answer, or an answer cut short
    // of its announced length, is a failure, not "Request Sent". Each is one
    // request: a POST that may have reached the server is never resent.
    FakeHttpServer::Reply redirect = FakeHttpServer::answer({}, 302);
    redirect.headers = "Location: /RequestPack.cgi?again\r\n";
    for (const FakeHttpServer::Reply &reply :
         {redirect, FakeHttpServer::behave(FakeHttpServer::Behaviour::Close),
          FakeHttpServer::Reply{.body = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n"
                                        "Request Successful",
          .behaviour = FakeHttpServer::Behaviour::Raw}}) {
        m_server->fallback = reply;
        const qsizetype sentBefore = m_server->requests.size();
        QCOMPARE(request.start(QStringLiteral("demo.com"), QStringLiteral("T3")),
                 PacketRequest::Start::Started);
        QVERIFY(failed.wait(10000));
        QTest::qWait(200);
        QCOMPARE(m_server->requests.size(), sentBefore + 1);
    }
    QCOMPARE(failed.size(), 3);
    QCOMPARE(completed.size(), 1);
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
        QTRY_COMPARE(m_server->requests.size(), 7);
    }
    QTest::qWait(50);
}

QTEST_GUILESS_MAIN(TestStatistics)
#include "tst_statistics.moc"
