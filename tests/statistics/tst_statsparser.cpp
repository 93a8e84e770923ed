#include "BuildConfig.h"
#include "shell/PendingEvents.h"
#include "statistics/StatsExport.h"
#include "statistics/modStatistics.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using modStatistics::Product;

namespace {

// The tree as lines: "key text" per product, "  key text" per transaction.
QStringList render(const QList<Product> &products)
{
    QStringList lines;
    for (const Product &p : products) {
        lines.append(p.key() + QLatin1Char(' ') + p.text());
        for (qsizetype i = 0; i < p.transactions.size(); ++i)
            lines.append(QLatin1String("  ") + p.transactionKey(i) + QLatin1Char(' ') +
                         modStatistics::transactionText(p.transactions[i]));
    }
    return lines;
}

QString product(const char *key, const char *text)
{
    return QLatin1String(key) + QLatin1Char(' ') + QString::fromUtf8(text);
}

QString tx(const char *key, const char *date, const char *result, const char *id, const char *user)
{
    return QLatin1String("  ") + QLatin1String(key) + QLatin1String(" Date: ") +
           QString::fromUtf8(date) + QLatin1String("     Result: ") + QLatin1String(result) +
           QLatin1String("     Transaction ID: ") + QString::fromUtf8(id) +
           QLatin1String("     End UserName: ") + QString::fromUtf8(user);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestStatsParser : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void endMarkerProcessesEvents();
    void transactionNumberLimit();
    void identifierAndUrl();
    void csv_data();
    void csv();
    void csvWrite();
};

void TestStatsParser::parse_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QStringList>("tree");

    const QByteArray widget = "New Product |7|Widget|x|1/2/2003|0|T100|Ann\r\n";
    QTest::newRow("one product, three results, end marker")
        << QByteArray(widget + "|1/3/2003|-1|T101|Bob\r\n|1/4/2003|2|T102|Cy\r\nEnd Products\r\n")
        << QStringList{
               QStringLiteral("7k Product ID: 7 - Widget"),
               QStringLiteral("  7X0 Date: 1/2/2003     Result: Success     Transaction ID: T100"
                              "     End UserName: Ann"),
               tx("7X1", "1/3/2003", "Not Processed", "T101", "Bob"),
               tx("7X2", "1/4/2003", "Declined", "T102", "Cy")};
    QTest::newRow("ID written with zeros and blanks")
        << QByteArray("New Product |007|A|x|d|0|t|u\r\nNew Product | 8 |B|x|d|0|t|u\r\n")
        << QStringList{product("7k", "Product ID: 7 - A"), tx("7X0", "d", "Success", "t", "u"),
                       product("8k", "Product ID: 8 - B"), tx("8X0", "d", "Success", "t", "u")};
    QTest::newRow("lines before the first header")
        << QByteArray("|early|0|T0|Zed\r\nEnd Products\r\n<html>\r\n" + widget)
        << QStringList{product("7k", "Product ID: 7 - Widget"),
                       tx("7X0", "1/2/2003", "Success", "T100", "Ann")};
    QTest::newRow("two products, numbers start again")
        << QByteArray(widget +
                      "|d1|0|T1|u1\r\nNew Product |9|Gadget|x|d2|5|T2|u2\r\n|d3|0|T3|u3\r\n")
        << QStringList{product("7k", "Product ID: 7 - Widget"),
                       tx("7X0", "1/2/2003", "Success", "T100", "Ann"),
                       tx("7X1", "d1", "Success", "T1", "u1"),
                       product("9k", "Product ID: 9 - Gadget"),
                       tx("9X0", "d2", "Declined", "T2", "u2"),
                       tx("9X1", "d3", "Success", "T3", "u3")};
    QTest::newRow("lines after the end marker")
        << QByteArray(widget + "End Products\r\n|late|0|T9|Ida\r\n")
        << QStringList{product("7k", "Product ID: 7 - Widget"),
                       tx("7X0", "1/2/2003", "Success", "T100", "Ann"),
                       tx("7X1", "late", "Success", "T9", "Ida")};
    QTest::newRow("result codes as numbers")
        << QByteArray(widget +
                      "|a|00|A|u\r\n|b|-01|B|u\r\n| c | 0 |C|u\r\n|d|+0|D|u\r\n|e|-0|E|u\r\n"
                      "|f|99999999999999999999|F|u\r\n|g|1|G|u\r\n")
        << QStringList{product("7k", "Product ID: 7 - Widget"),
                       tx("7X0", "1/2/2003", "Success", "T100", "Ann"),
                       tx("7X1", "a", "Success", "A", "u"),
                       tx("7X2", "b", "Not Processed", "B", "u"),
                       tx("7X3", " c ", "Success", "C", "u"),
                       tx("7X4", "d", "Success", "D", "u"),
                       tx("7X5", "e", "Success", "E", "u"),
                       tx("7X6", "f", "Declined", "F", "u"),
                       tx("7X7", "g", "Declined", "G", "u")};
    QTest::newRow("negative ID hides up to the next header")
        << QByteArray("New Product |-3|Hidden|x|d|0|t|u\r\n|d|0|t2|u\r\nEnd Products\r\n" + widget)
        << QStringList{product("7k", "Product ID: 7 - Widget"),
                       tx("7X0", "1/2/2003", "Success", "T100", "Ann")};
    QTest::newRow("broken headers hide their lines")
        << QByteArray("New Product |abc|A|x|d|0|t|u\r\n|d|0|a1|u\r\n"
                      "New Product |32768|B|x|d|0|t|u\r\n|d|0|b1|u\r\n"
                      "New Product |-32769|C|x|d|0|t|u\r\n|d|0|c1|u\r\n"
                      "New Product |5|D|x|d|0|t\r\n|d|0|d1|u\r\n"
                      "New Product |6|E|x|d|zero|t|u\r\n|d|0|e1|u\r\n"
                      "New Product |\r\n|d|0|f1|u\r\n"
                      "New Product |32767|Top|x|d|0|t|u\r\n")
        << QStringList{product("32767k", "Product ID: 32767 - Top"),
                       tx("32767X0", "d", "Success", "t", "u")};
    QTest::newRow("repeated ID skipped with its lines")
        << QByteArray(widget + "|d|0|T1|u\r\nNew Product |7|Again|x|d|0|T2|u\r\n|d|0|T3|u\r\n"
                               "New Product |0|Zero|x|d|-1|T4|u\r\n")
        << QStringList{product("7k", "Product ID: 7 - Widget"),
                       tx("7X0", "1/2/2003", "Success", "T100", "Ann"),
                       tx("7X1", "d", "Success", "T1", "u"), product("0k", "Product ID: 0 - Zero"),
                       tx("0X0", "d", "Not Processed", "T4", "u")};
    QTest::newRow("short or unreadable transaction lines skipped, numbers stay dense")
        << QByteArray(widget +
                      "|d|0|T1\r\n\r\n|d|x|T2|u\r\n|d|1.5|T3|u\r\n|d||T4|u\r\n|d|2|T5|u|extra\r\n")
        << QStringList{product("7k", "Product ID: 7 - Widget"),
                       tx("7X0", "1/2/2003", "Success", "T100", "Ann"),
                       tx("7X1", "d", "Declined", "T5", "u")};
    QTest::newRow("line ends CR, LF, CR LF, none at the end")
        << QByteArray("New Product |1|A|x|d|0|t0|u\r|d|0|t1|u\n|d|0|t2|u\r\n|d|0|t3|u")
        << QStringList{product("1k", "Product ID: 1 - A"), tx("1X0", "d", "Success", "t0", "u"),
                       tx("1X1", "d", "Success", "t1", "u"), tx("1X2", "d", "Success", "t2", "u"),
                       tx("1X3", "d", "Success", "t3", "u")};
    QTest::newRow("marker is case-sensitive and exact")
        << QByteArray(widget + "new product |x|5|T|u\r\nNew Product|y|5|U|v\r\nEnd products\r\n")
        << QStringList{product("7k", "Product ID: 7 - Widget"),
                       tx("7X0", "1/2/2003", "Success", "T100", "Ann"),
                       tx("7X1", "x", "Declined", "T", "u"), tx("7X2", "y", "Declined", "U", "v")};
    QTest::newRow("Windows-1252 and fields as they stand")
        << QByteArray("New Product |4|Caf\xe9 \x80 - \"X\"| |  1/2/2003 10:15:00 |0| T 1 |"
                      "Zo\xeb \t\r\n")
        << QStringList{product("4k", "Product ID: 4 - Café € - \"X\""),
                       tx("4X0", "  1/2/2003 10:15:00 ", "Success", " T 1 ", "Zoë \t")};
    QTest::newRow("empty answer") << QByteArray() << QStringList();
    QTest::newRow("server error page")
        << QByteArray("<html><body>Error 500 | Internal | x | y | z</body></html>\r\n")
        << QStringList();
}

void TestStatsParser::parse()
{
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, tree);
    QCOMPARE(render(modStatistics::parseStatistics(answer)), tree);
}

void TestStatsParser::endMarkerProcessesEvents()
{
    int calls = 0;
    PendingEvents::setHandler([&calls] { ++calls; });
    const QList<Product> products = modStatistics::parseStatistics(
        "End Products\r\nNew Product |1|A|x|d|0|t|u\r\nEnd Products\r\n|d|0|t|u\r\n"
        "End Products\r\nEnd Products \r\n");
    PendingEvents::setHandler({});
    QCOMPARE(calls, 3);
    QCOMPARE(products.size(), 1);
    // "End Products " (with a blank) is not the marker: a transaction line
    // with too few fields, skipped.
    QCOMPARE(products.first().transactions.size(), 2);
}

void TestStatsParser::transactionNumberLimit()
{
    QByteArray answer = "New Product |3|Busy|x|d|0|first|u\r\n";
    for (int i = 1; i <= 32769; ++i)
        answer += "|d|0|T" + QByteArray::number(i) + "|u\r\n";
    answer += "New Product |4|Next|x|d|0|t|u\r\n|d|0|t|u\r\n";
    const QList<Product> products = modStatistics::parseStatistics(answer);
    QCOMPARE(products.size(), 2);
    QCOMPARE(products[0].transactions.size(), 32768);
    QCOMPARE(products[0].transactionKey(32767), QStringLiteral("3X32767"));
    QCOMPARE(products[0].transactions.last().transactionId, QStringLiteral("T32767"));
    QCOMPARE(products[1].transactions.size(), 2);
}

void TestStatsParser::identifierAndUrl()
{
    QCOMPARE(modStatistics::statisticsIdentifier(QStringLiteral("demo.varnell.com/pack/")),
             QStringLiteral("demovarnellcompack"));
    QCOMPARE(modStatistics::statisticsIdentifier(QString()), QString());
    const QString host = QString::fromUtf8(BuildConfig::centralHost);
    QCOMPARE(modStatistics::statisticsUrl(QStringLiteral("demovarnellcompack"), 1),
             QLatin1String("http://") + host +
                 QLatin1String("/Validator/ProdReview.asp?DevID=demovarnellcompack&DateRange=1"));
    // Odd characters of a developer key cannot break the query.
    QCOMPARE(modStatistics::statisticsUrl(QStringLiteral("a&b=c d#é~_-"), 3),
             QLatin1String("http://") + host +
                 QLatin1String("/Validator/ProdReview.asp?DevID=a%26b%3Dc%20d%23%E9~_-"
                               "&DateRange=3"));
}

void TestStatsParser::csv_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QByteArray>("file");

    const QByteArray header = "\"Product ID\",\"Transaction Date\",\"Result\"\r\n";
    const QList<Product> tree = modStatistics::parseStatistics(
        "New Product |12|Widget|x|1/2/2003|0|T100|Ann\r\n|1/3/2003|-1|T101|Bob\r\n"
        "|1/4/2003 10:15:30|7|T102|Cy\r\n"
        "New Product |3|Multi-Tool - Pro|x|d|0| T 7 |\xe9ve \r\n");
    QTest::newRow("tree from an answer")
        << modStatistics::nodeTexts(tree)
        << QByteArray(
               header +
               "\"12\",\"1/2/2003\",\"Success     Transaction ID: T100     End UserName: Ann\"\r\n"
               "\"12\",\"1/3/2003\",\"Not Processed     Transaction ID: T101     End UserName: "
               "Bob\"\r\n"
               "\"12\",\"1/4/2003 10:15:30\",\"Declined     Transaction ID: T102     End "
               "UserName: Cy\"\r\n"
               "\"3\",\"d\",\"Success     Transaction ID:  T 7      End UserName: \xe9ve\"\r\n");
    QTest::newRow("no nodes") << QStringList() << header;
    QTest::newRow("quotes doubled")
        << QStringList{QStringLiteral("Product ID: 5 - \"Quoted\""),
                       QStringLiteral("Date: 1/2/2003     Result: Success     Transaction ID: "
                                      "T\"1     End UserName: \"Al\" Bundy")}
        << QByteArray(header +
                      "\"5\",\"1/2/2003\",\"Success     Transaction ID: T\"\"1     End UserName: "
                      "\"\"Al\"\" Bundy\"\r\n");
    QTest::newRow("date with blanks and a tab at its edges")
        << QStringList{QStringLiteral("Product ID: 1 - A"),
                       QStringLiteral("Date:   \td     Result: Declined     Transaction ID: t     "
                                      "End UserName: u  ")}
        << QByteArray(header +
                      "\"1\",\"\td\",\"Declined     Transaction ID: t     End UserName: u\"\r\n");
}

void TestStatsParser::csv()
{
    QFETCH(QStringList, texts);
    QFETCH(QByteArray, file);
    QCOMPARE(modStatistics::csvFromNodeTexts(texts), file);
}

void TestStatsParser::csvWrite()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("stats.csv"));
    const QStringList texts =
        modStatistics::nodeTexts(modStatistics::parseStatistics("New Product |1|A|x|d|0|t|u\r\n"));
    QString error;
    QVERIFY(modStatistics::writeCsv(path, texts, &error));
    QCOMPARE(readFile(path), modStatistics::csvFromNodeTexts(texts));

    // A second export replaces the whole content.
    QVERIFY(modStatistics::writeCsv(path, {}, &error));
    QCOMPARE(readFile(path), QByteArray("\"Product ID\",\"Transaction Date\",\"Result\"\r\n"));

    // A file that cannot be written is reported, and the old one is kept.
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    const bool written = modStatistics::writeCsv(path, texts, &error);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (::geteuid() != 0) {
        QVERIFY(!written);
        QVERIFY(error.contains(path));
        QCOMPARE(readFile(path), QByteArray("\"Product ID\",\"Transaction Date\",\"Result\"\r\n"));
    }
    error.clear();
    QVERIFY(
        !modStatistics::writeCsv(dir.filePath(QStringLiteral("no/such/dir/x.csv")), texts, &error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestStatsParser)
#include "tst_statsparser.moc"
