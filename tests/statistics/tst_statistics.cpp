#include "BuildConfig.h"
#include "shell/PendingEvents.h"
#include "statistics/StatsExport.h"
#include "statistics/modStatistics.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTest>

#include <unistd.h>

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

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestStatistics : public QObject
{
    Q_OBJECT

private slots:
    void nodeTexts();
    void parse_data();
    void parse();
    void transactionNumberLimit();
    void csv_data();
    void csv();
    void csvFile();
    void retrieval();
};

void TestStatistics::nodeTexts()
{
    const QList<Product> tree = modStatistics::parseStatistics(
        "New Product |007|Widget|x|1/2/2003|0|T100|Ann\r\n|1/3/2003|-1|T101|Bob\r\n");
    QCOMPARE(tree.value(0).key(), QStringLiteral("7k"));
    QCOMPARE(tree.value(0).transactionKey(1), QStringLiteral("7X1"));
    QCOMPARE(modStatistics::nodeTexts(tree),
             QStringList({QStringLiteral("Product ID: 7 - Widget"),
                          QStringLiteral("Date: 1/2/2003     Result: Success     Transaction ID: "
                                         "T100     End UserName: Ann"),
                          QStringLiteral("Date: 1/3/2003     Result: Not Processed     "
                                         "Transaction ID: T101     End UserName: Bob")}));
}

void TestStatistics::parse_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("tree");
    const auto row = [](const char *name, const QByteArray &answer, const char *tree) {
        QTest::newRow(name) << answer << QString::fromUtf8(tree);
    };
    const char *const widgetTree = "7k Widget;7X0 1/2/2003|Success|T100|Ann";

    row("three results, end marker",
        widget + "|1/3/2003|-1|T101|Bob\r\n|1/4/2003|2|T102|Cy\r\nEnd Products\r\n",
        "7k Widget;7X0 1/2/2003|Success|T100|Ann;7X1 1/3/2003|Not Processed|T101|Bob;"
        "7X2 1/4/2003|Declined|T102|Cy");
    row("lines before the first header", "|early|0|T0|Zed\r\nEnd Products\r\n<html>\r\n" + widget,
        widgetTree);
    row("two products, numbers start again",
        widget + "|d1|0|T1|u1\r\nNew Product |9|Gadget|x|d2|5|T2|u2\r\n|d3|0|T3|u3\r\n",
        "7k Widget;7X0 1/2/2003|Success|T100|Ann;7X1 d1|Success|T1|u1;9k Gadget;"
        "9X0 d2|Declined|T2|u2;9X1 d3|Success|T3|u3");
    row("lines after the end marker", widget + "End Products\r\n|late|0|T9|Ida\r\n",
        "7k Widget;7X0 1/2/2003|Success|T100|Ann;7X1 late|Success|T9|Ida");
    row("result codes as numbers",
        widget + "|a|00|A|u\r\n|b|-01|B|u\r\n|c|99999999999999999999|C|u\r\n",
        "7k Widget;7X0 1/2/2003|Success|T100|Ann;7X1 a|Success|A|u;7X2 b|Not Processed|B|u;"
        "7X3 c|Declined|C|u");
    row("negative ID hides up to the next header",
        "New Product |-3|Hidden|x|d|0|t|u\r\n|d|0|t2|u\r\nEnd Products\r\n" + widget, widgetTree);
    // Lines the tree cannot hold soundly are skipped, a header with all its
    // transactions, so that none lands under another product.
    row("broken headers",
        "New Product |abc|A|x|d|0|t|u\r\n|d|0|a1|u\r\nNew Product |32768|B|x|d|0|t|u\r\n"
        "|d|0|b1|u\r\nNew Product |5|D|x|d|0|t\r\n|d|0|d1|u\r\nNew Product |6|E|x|d|zero|t|u\r\n"
        "|d|0|e1|u\r\n" +
            widget + "|d|0|T1|u\r\nNew Product |7|Again|x|d|0|T2|u\r\n|d|0|T3|u\r\n",
        "7k Widget;7X0 1/2/2003|Success|T100|Ann;7X1 d|Success|T1|u");
    row("short or unreadable transaction lines",
        widget + "|d|0|T1\r\n\r\n|d|x|T2|u\r\n|d|1.5|T3|u\r\n|d|2|T5|u|extra\r\n",
        "7k Widget;7X0 1/2/2003|Success|T100|Ann;7X1 d|Declined|T5|u");
    row("line ends CR, LF, CR LF, none at the end",
        "New Product |1|A|x|d|0|t0|u\r|d|0|t1|u\n|d|0|t2|u\r\n|d|0|t3|u",
        "1k A;1X0 d|Success|t0|u;1X1 d|Success|t1|u;1X2 d|Success|t2|u;1X3 d|Success|t3|u");
    row("Windows-1252, fields as they stand",
        "New Product |4|Caf\xe9 \x80 - \"X\"| |  1/2/2003 10:15 |0| T 1 |Zo\xeb \t\r\n",
        "4k Café € - \"X\";4X0   1/2/2003 10:15 |Success| T 1 |Zoë \t");
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
    QByteArray answer = "New Product |3|Busy|x|d|0|T0|u\r\n";
    for (int i = 1; i <= 32768; ++i)
        answer += "|d|0|T" + QByteArray::number(i) + "|u\r\n";
    const QList<Product> products =
        modStatistics::parseStatistics(answer + "New Product |4|Next|x|d|0|t|u\r\n");
    QCOMPARE(products.size(), 2);
    QCOMPARE(products[0].transactions.size(), 32768);
    QCOMPARE(products[0].transactions.last().transactionId, QStringLiteral("T32767"));
}

void TestStatistics::csv_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QByteArray>("file");
    const QByteArray header = "\"Product ID\",\"Transaction Date\",\"Result\"\r\n";
    QTest::newRow("tree from an answer")
        << modStatistics::nodeTexts(modStatistics::parseStatistics(
               "New Product |12|Widget|x|1/2/2003|0|T100|Ann\r\n|1/4/2003 10:15:30|7|T102|Cy\r\n"
               "New Product |3|Multi-Tool - Pro|x|d|-1| T 7 |\xe9ve \r\n"))
        << QByteArray(header +
                      "\"12\",\"1/2/2003\",\"Success     Transaction ID: T100     End UserName: "
                      "Ann\"\r\n\"12\",\"1/4/2003 10:15:30\",\"Declined     Transaction ID: T102  "
                      "   End UserName: Cy\"\r\n\"3\",\"d\",\"Not Processed     Transaction ID:  T "
                      "7      End UserName: \xe9ve\"\r\n");
    QTest::newRow("no nodes") << QStringList() << header;
    QTest::newRow("quotes doubled")
        << QStringList{QStringLiteral("Product ID: 5 - \"Q\""),
                       QStringLiteral("Date: 1/2/2003     Result: Success     Transaction ID: "
                                      "T\"1     End UserName: \"Al\"")}
        << QByteArray(header + "\"5\",\"1/2/2003\",\"Success     Transaction ID: T\"\"1     End "
                               "UserName: \"\"Al\"\"\"\r\n");
}

void TestStatistics::csv()
{
    QFETCH(QStringList, texts);
    QFETCH(QByteArray, file);
    QCOMPARE(modStatistics::csvFromNodeTexts(texts), file);
}

void TestStatistics::csvFile()
{
    TestEnvironment env;
    const QString path = env.path(QStringLiteral("stats.csv"));
    const QStringList texts = modStatistics::nodeTexts(modStatistics::parseStatistics(widget));
    QVERIFY(modStatistics::writeCsv(path, texts));
    QCOMPARE(readFile(path), modStatistics::csvFromNodeTexts(texts));
    // A second export replaces the whole content.
    QVERIFY(modStatistics::writeCsv(path, {}));
    const QByteArray headerOnly = readFile(path);
    QCOMPARE(headerOnly, modStatistics::csvFromNodeTexts({}));

    // A file that cannot be written is reported, and the old one is kept.
    QString error;
    QFile::setPermissions(env.path(), QFile::ReadOwner | QFile::ExeOwner);
    const bool written = modStatistics::writeCsv(path, texts, &error);
    QFile::setPermissions(env.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (::geteuid() != 0) {
        QVERIFY(!written);
        QVERIFY(error.contains(path));
        QCOMPARE(readFile(path), headerOnly);
    }
}

void TestStatistics::retrieval()
{
    TestEnvironment env;
    FakeHttpServer server;
    QVERIFY(server.useAsProxy());
    const QByteArray url =
        QByteArray("http://") + BuildConfig::centralHost + "/Validator/ProdReview.asp?";
    const QByteArray answer = widget + "|1/3/2003|-1|T101|Bob\r\nEnd Products\r\n";
    server.replies = {FakeHttpServer::answer(answer), FakeHttpServer::answer(answer, 503),
                      FakeHttpServer::answer(answer, 503)};

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
    env.createStore(QStringLiteral("ABCDEFGHIJKLa.b&c/dxz"), QStringLiteral("k"));
    retrieval = modStatistics::RetrieveStatistics(modStatistics::Week);
    QVERIFY(!retrieval.downloaded);
    QVERIFY(retrieval.products.isEmpty());
    QCOMPARE(server.targets(),
             QList<QByteArray>({url + "DevID=&DateRange=3", url + "DevID=ab%26cdca&DateRange=1",
                                url + "DevID=ab%26cdca&DateRange=1"}));
}

QTEST_GUILESS_MAIN(TestStatistics)
#include "tst_statistics.moc"
