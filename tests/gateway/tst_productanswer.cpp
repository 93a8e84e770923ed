#include "gateway/Amount.h"
#include "gateway/ProductAnswer.h"
#include "gateway/ProductRecord.h"
#include "gateway/ProductValues.h"

#include <QTest>

Q_DECLARE_METATYPE(ProductRecord)

namespace {

// The eleven known pieces, each followed by the separator, so that the
// twelfth piece is empty.
const QList<QByteArray> basePieces = {
    "CPID=4",
    "PDesc=Deluxe edition",
    "Cost=1234.5",
    "CurType=1",
    "SM=2",
    "CurVer=2.1",
    "DteC=2002-11-05",
    "DteE=11/6/2002 3:04:05 PM",
    "LP=True",
    "PO=0",
    "SysLock=1",
};

QByteArray joined(const QList<QByteArray> &pieces)
{
    return QByteArray(pieces.join('\xdf'));
}

// The base answer with its empty twelfth piece replaced.
QByteArray withTwelfth(const QByteArray &piece)
{
    return joined(basePieces + QList<QByteArray>{piece});
}

ProductRecord baseRecord()
{
    ProductRecord r;
    r.productId = QStringLiteral("4");
    r.description = QStringLiteral("Deluxe edition");
    r.price = QStringLiteral("$1,234.50");
    r.currency = 1;
    r.serviceModel = 2;
    r.version = QStringLiteral("2.1");
    r.dateCreated = QStringLiteral("05/Nov/2002");
    r.dateModified = QStringLiteral("06/Nov/2002");
    r.lock = true;
    r.permitOlder = false;
    return r;
}

// What the target held before the answer.
ProductRecord priorRecord()
{
    ProductRecord r;
    r.productId = QStringLiteral("prior id");
    r.description = QStringLiteral("prior description");
    r.price = QStringLiteral("$9.99");
    r.currency = 0;
    r.serviceModel = 0;
    r.version = QStringLiteral("9");
    r.dateCreated = QStringLiteral("01/Jan/2001");
    r.dateModified = QStringLiteral("02/Jan/2001");
    r.lock = false;
    r.permitOlder = true;
    return r;
}

} // namespace

class TestProductAnswer : public QObject
{
    Q_OBJECT

private slots:
    void productAnswer_data();
    void productAnswer();
    void systemLockCarriesOver();
    void amounts_data();
    void amounts();
    void counts_data();
    void counts();
};

void TestProductAnswer::productAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<ProductRecord>("expected");

    const ProductRecord base = baseRecord();
    const ProductRecord prior = priorRecord();
    const auto changed = [&](auto change) {
        ProductRecord r = base;
        change(r);
        return r;
    };

    QTest::newRow("eleven pieces, twelfth empty")
        << joined(basePieces + QList<QByteArray>{""}) << true << base;
    QTest::newRow("eleven pieces") << joined(basePieces) << false << prior;
    QTest::newRow("thirteen pieces")
        << joined(basePieces + QList<QByteArray>{"", ""}) << false << prior;
    QTest::newRow("empty answer") << QByteArray() << false << prior;
    QTest::newRow("empty first line") << QByteArray("\r\n") + withTwelfth("") << false << prior;
    QTest::newRow("only the first line counts") << withTwelfth("") + "\r\nCPID=99\xdf\r\n"
                                                << true << base;
    QTest::newRow("separator inside a value") << withTwelfth("PDesc=Stra\xdf"
                                                             "e")
                                              << false << prior;

    // Pieces in any order; unknown keys, pieces without "=" and empty ones
    // pass, and what the answer lacks keeps its value.
    QTest::newRow("partial answer")
        << joined({"", "Colour=red", "no equals sign", "cpid=77", "CurVer=3.0", "", "x=y",
                   "Notes=", "", "=nokey", "", "PDesc="})
        << true << [&] {
               ProductRecord r = prior;
               r.version = QStringLiteral("3.0");
               r.description.clear();
               return r;
           }();
    QTest::newRow("value holding =")
        << withTwelfth("PDesc=a=b") << true
        << changed([](ProductRecord &r) { r.description = QStringLiteral("a=b"); });
    QTest::newRow("later duplicate wins")
        << withTwelfth("CPID=5") << true
        << changed([](ProductRecord &r) { r.productId = QStringLiteral("5"); });
    QTest::newRow("Windows-1252 text")
        << withTwelfth("PDesc=Caf\xe9 \x80") << true
        << changed([](ProductRecord &r) { r.description = QStringLiteral("Caf\u00e9 \u20ac"); });

    const auto flag = [&](const char *piece, bool lock) {
        QTest::addRow("%s", piece)
            << withTwelfth(piece) << true << changed([lock](ProductRecord &r) { r.lock = lock; });
    };
    flag("LP=1", true);
    flag("LP=True", true);
    flag("LP=true", true);
    flag("LP=-1", true);
    flag("LP=0.5", true);
    flag("LP=0", false);
    flag("LP=False", false);
    flag("LP=FALSE", false);
    flag("LP=0.00", false);
    QTest::newRow("PO=1") << withTwelfth("PO=1") << true
                          << changed([](ProductRecord &r) { r.permitOlder = true; });

    const auto cost = [&](const char *piece, const char *shown) {
        QTest::addRow("%s", piece)
            << withTwelfth(piece) << true
            << changed([shown](ProductRecord &r) { r.price = QString::fromLatin1(shown); });
    };
    cost("Cost=12", "$12.00");
    cost("Cost=0", "$0.00");
    cost("Cost=1234567.5", "$1,234,567.50");
    cost("Cost=19.95", "$19.95");
    cost("Cost=0.005", "$0.01");
    cost("Cost=$1,234.50", "$1,234.50");
    cost("Cost= 7 ", "$7.00");

    const auto date = [&](const char *piece, const char *shown) {
        QTest::addRow("%s", piece)
            << withTwelfth(piece) << true
            << changed([shown](ProductRecord &r) { r.dateCreated = QString::fromLatin1(shown); });
    };
    date("DteC=2002-11-05T13:45:00", "05/Nov/2002");
    date("DteC=2024-02-29 23:59", "29/Feb/2024");
    date("DteC=2024-01-09T08:00:00.123Z", "09/Jan/2024");
    date("DteC=1/31/2024", "31/Jan/2024");
    date("DteC=12/1/1999 12:00 AM", "01/Dec/1999");
    date("DteC=5/6/2010 17:30:00", "06/May/2010");

    const auto code = [&](const char *piece, int currency, int serviceModel) {
        QTest::addRow("%s", piece)
            << withTwelfth(piece) << true << changed([currency, serviceModel](ProductRecord &r) {
                   r.currency = currency;
                   r.serviceModel = serviceModel;
               });
    };
    code("CurType=3", 3, 2);
    code("CurType=0", 0, 2);
    code("SM=0", 1, 0);
    code("SM=-1", 1, -1);

    // A value that does not convert refuses the whole answer.
    for (const char *bad : {"LP=yes",
                            "LP=",
                            "PO=T",
                            "SysLock=maybe",
                            "Cost=abc",
                            "Cost=",
                            "Cost=1,23",
                            "Cost=12.5.1",
                            "DteC=2002-02-30",
                            "DteC=13/1/2002",
                            "DteE=Nov 5 2002",
                            "DteC=2002-11-05T25:00",
                            "DteC=1/1/2002 13:00 PM",
                            "DteC=",
                            "CurType=4",
                            "CurType=-2",
                            "CurType=x",
                            "SM=3",
                            "SM=1.5",
                            "SM="}) {
        QTest::addRow("refused %s", bad) << withTwelfth(bad) << false << prior;
    }
}

void TestProductAnswer::productAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, ok);
    QFETCH(ProductRecord, expected);

    ProductRecord target = priorRecord();
    bool systemLock = false;
    const std::optional<ProductAnswer> parsed = ProductAnswer::parse(answer);
    QCOMPARE(parsed.has_value(), ok);
    if (parsed)
        parsed->applyTo(target, systemLock);
    QCOMPARE(target.productId, expected.productId);
    QCOMPARE(target.description, expected.description);
    QCOMPARE(target.price, expected.price);
    QCOMPARE(target.currency, expected.currency);
    QCOMPARE(target.serviceModel, expected.serviceModel);
    QCOMPARE(target.version, expected.version);
    QCOMPARE(target.dateCreated, expected.dateCreated);
    QCOMPARE(target.dateModified, expected.dateModified);
    QCOMPARE(target.lock, expected.lock);
    QCOMPARE(target.permitOlder, expected.permitOlder);
    QCOMPARE(systemLock, ok && answer.contains("SysLock=1"));
}

void TestProductAnswer::systemLockCarriesOver()
{
    bool systemLock = false;
    ProductRecord target;
    const auto apply = [&](const QByteArray &answer) {
        const std::optional<ProductAnswer> parsed = ProductAnswer::parse(answer);
        if (parsed)
            parsed->applyTo(target, systemLock);
        return parsed.has_value();
    };
    QVERIFY(apply(joined(basePieces + QList<QByteArray>{""})));
    QVERIFY(systemLock);
    // An answer without SysLock keeps it.
    QVERIFY(apply(joined({"CPID=5", "", "", "", "", "", "", "", "", "", "", ""})));
    QVERIFY(systemLock);
    QCOMPARE(target.productId, QStringLiteral("5"));
    QVERIFY(apply(joined({"SysLock=False", "", "", "", "", "", "", "", "", "", "", ""})));
    QVERIFY(!systemLock);
    // A refused answer does not change it.
    QVERIFY(!apply(joined({"SysLock=1", "LP=oops", "", "", "", "", "", "", "", "", "", ""})));
    QVERIFY(!systemLock);
    QVERIFY(!apply(joined({"SysLock=1", "", "", "", "", "", "", "", "", "", ""})));
    QVERIFY(!systemLock);
}

void TestProductAnswer::amounts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("value"); // ten-thousandths; -1 for no amount
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("plain");

    const auto row = [](const char *text, qint64 value, const char *shown, const char *plain) {
        QTest::addRow("%s", text) << QString::fromUtf8(text) << value << QString::fromLatin1(shown)
                                  << QString::fromLatin1(plain);
    };
    row("19.95", 199500, "$19.95", "19.95");
    row("1234.5", 12345000, "$1,234.50", "1234.5");
    row("12", 120000, "$12.00", "12");
    row("$1,234.50", 12345000, "$1,234.50", "1234.5");
    row("$1,234,567.5", 12345675000, "$1,234,567.50", "1234567.5");
    row(".5", 5000, "$0.50", "0.5");
    row("5.", 50000, "$5.00", "5");
    row("007", 70000, "$7.00", "7");
    row("0", 0, "$0.00", "0");
    row("0.0001", 1, "$0.00", "0.0001");
    row("-5", -50000, "-$5.00", "-5");
    row("-$0.99", -9900, "-$0.99", "-0.99");
    row("-0.001", -10, "$0.00", "-0.001");
    row("2.675", 26750, "$2.68", "2.675");
    // Decimals past the fourth are rounded half to even.
    row("1.00005", 10000, "$1.00", "1");
    row("1.00015", 10002, "$1.00", "1.0002");
    row("1.000051", 10001, "$1.00", "1.0001");
    row("99999999999999.9999", 999999999999999999, "$100,000,000,000,000.00",
        "99999999999999.9999");
    row(" 42 ", 420000, "$42.00", "42");
    for (const char *bad : {"", "$", ".", "-", "abc", "1,23", "1,2345", ",123", "12,34.5", "1.2.3",
                            "1e3", "$$1", "5$", "1 000", "100000000000000", "\u0661\u0662"})
        QTest::addRow("no amount: %s", bad)
            << QString::fromUtf8(bad) << qint64(-1) << QString() << QString();
}

void TestProductAnswer::amounts()
{
    QFETCH(QString, text);
    QFETCH(qint64, value);
    QFETCH(QString, shown);
    QFETCH(QString, plain);
    const std::optional<Amount> amount = Amount::parse(text);
    QCOMPARE(amount.has_value(), value != -1);
    if (!amount)
        return;
    QCOMPARE(amount->tenThousandths(), value);
    QCOMPARE(amount->shown(), shown);
    QCOMPARE(amount->plain(), plain);
}

void TestProductAnswer::counts_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("count");
    QTest::newRow("spaces around") << QByteArray("  7  ") << 7;
    QTest::newRow("zero") << QByteArray("0") << 0;
    QTest::newRow("largest") << QByteArray("32767") << 32767;
    QTest::newRow("beyond 16 bits") << QByteArray("32768") << -1;
    QTest::newRow("far beyond") << QByteArray("99999999999999999999") << -1;
    QTest::newRow("a word") << QByteArray("Error: unknown developer") << -1;
    QTest::newRow("empty") << QByteArray() << -1;
    QTest::newRow("negative") << QByteArray("-3") << -1;
    QTest::newRow("minus one") << QByteArray("-1") << -1;
    QTest::newRow("fraction") << QByteArray("7.5") << -1;
    QTest::newRow("tab is not a space") << QByteArray("\t7") << -1;
}

void TestProductAnswer::counts()
{
    QFETCH(QByteArray, line);
    QFETCH(int, count);
    QCOMPARE(int(ProductValues::toCount(line)), count);
}

QTEST_GUILESS_MAIN(TestProductAnswer)
#include "tst_productanswer.moc"
