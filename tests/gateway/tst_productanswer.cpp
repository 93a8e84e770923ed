#include "gateway/Amount.h"
#include "gateway/ProductAnswer.h"
#include "gateway/ProductRecord.h"
#include "gateway/ProductValues.h"

#include <QRegularExpression>
#include <QTest>

namespace {

// Ten known pieces, written with "|" for the separator, and what they show.
const char base[] = "CPID=4|PDesc=Deluxe edition|Cost=1234.5|CurType=1|SM=2|CurVer=2.1|"
                    "DteC=2002-11-05|DteE=11/6/2002 3:04:05 PM|LP=False|PO=1|";
const char baseShown[] = "CPID=4;PDesc=Deluxe edition;Cost=$1,234.50;CurType=1;SM=2;CurVer=2.1;"
                         "DteC=05/Nov/2002;DteE=06/Nov/2002;LP=0;PO=1;";

QByteArray pieces(const QByteArray &text)
{
    return QByteArray(text).replace('|', '\xdf');
}

// The base pieces, the piece and an empty twelfth.
QByteArray answer(const QByteArray &piece)
{
    return pieces(base) + piece + '\xdf';
}

// The record as "key=value", one per field.
QStringList fields(const ProductRecord &r)
{
    const auto n = [](int value) { return QString::number(value); };
    return QStringLiteral("CPID=%1;PDesc=%2;Cost=%3;CurType=%4;SM=%5;CurVer=%6;DteC=%7;DteE=%8;"
                          "LP=%9;PO=%10;SysLock=%11")
        .arg(r.productId, r.description, r.price, n(r.currency), n(r.serviceModel), r.version,
             r.dateCreated, r.dateModified, n(r.lock), n(r.permitOlder), n(r.systemLock))
        .split(QLatin1Char(';'));
}

// What the target held before the answer: little but the locks.
ProductRecord prior()
{
    ProductRecord r;
    r.description = QStringLiteral("old");
    r.lock = r.systemLock = true;
    return r;
}

// Changes written "key=value;key=value".
void accepted(const char *name, const QByteArray &answer, const QByteArray &changes)
{
    QTest::newRow(name) << answer << true
                        << QString::fromUtf8(changes).split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

// answer(piece): the base fields change, then what the piece changes.
void accepted(const char *piece, const char *changes = "")
{
    accepted(piece, answer(piece), QByteArray(baseShown) + changes);
}

void refused(const char *name, const QByteArray &answer)
{
    QTest::newRow(name) << answer << false << QStringList();
}

} // namespace

class TestProductAnswer : public QObject
{
    Q_OBJECT

private slots:
    void productAnswer_data();
    void productAnswer();
    void amounts_data();
    void amounts();
    void counts_data();
    void counts();
};

void TestProductAnswer::productAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("changes"); // to the prior record

    // An answer without SysLock keeps the lock of the product before.
    accepted("SysLock=False", "SysLock=0");
    accepted("Colour=red");
    accepted("only the first line counts", answer("") + "\r\nCPID=99\xdf\r\n", baseShown);
    // A line ends at CR; a lone LF is part of the value.
    accepted("line feed inside a value", answer("PDesc=two\nlines") + "\rCPID=99",
             QByteArray(baseShown) + "PDesc=two\nlines");
    // Pieces in any order; unknown keys, no "=" and empty pieces pass; what
    // the answer lacks keeps its value.
    accepted("partial answer",
             pieces("|Colour=red|no equals sign|cpid=77|CurVer=3.0||x=y|||=nokey||PDesc="),
             "CurVer=3.0;PDesc=");
    accepted("PDesc=a=b", "PDesc=a=b");
    accepted("CPID=5", "CPID=5"); // the later duplicate wins
    accepted("PDesc=Caf\xe9 \x80", "PDesc=Caf\u00e9 \u20ac");
    // The base answer holds the plain forms "1" and "False".
    for (const char *on : {"LP=TRUE", "LP=-1"})
        accepted(on, "LP=1");
    for (const char *off : {"PO=FALSE", "PO=0.00"})
        accepted(off, "PO=0");
    accepted("Cost=12", "Cost=$12.00");
    accepted("DteC=2024-02-29T23:59:00Z", "DteC=29/Feb/2024");
    accepted("DteC=12/1/1999 12:00 AM", "DteC=01/Dec/1999");
    accepted("CurType=3", "CurType=3");
    accepted("SM=-1", "SM=-1");

    refused("eleven pieces", answer("SysLock=0").chopped(1));
    refused("thirteen pieces", answer("SysLock=0\xdf"));
    refused("separator inside a value", answer("PDesc=Stra\xdf"
                                               "e"));
    refused("empty answer", QByteArray());
    refused("empty first line", "\r\n" + answer(""));
    // A value that does not convert refuses the whole answer.
    for (const char *bad : {"LP=yes", "PO=", "SysLock=maybe", "Cost=abc", "Cost=1,23",
                            "DteC=2002-02-30", "DteC=13/1/2002", "DteE=Nov 5 2002",
                            "DteC=1/1/2002 13:00 PM", "CurType=4", "SM=x", "SM=1.5"})
        refused(bad, answer(bad));
}

void TestProductAnswer::productAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, ok);
    QFETCH(QStringList, changes);

    ProductRecord target = prior();
    const std::optional<ProductAnswer> parsed = ProductAnswer::parse(answer);
    QCOMPARE(parsed.has_value(), ok);
    if (parsed)
        parsed->applyTo(target, target.systemLock);
    QStringList expected = fields(prior());
    for (const QString &change : changes)
        expected.replaceInStrings(
            QRegularExpression(u'^' + change.section(u'=', 0, 0) + QLatin1String("=.*")), change);
    QCOMPARE(fields(target), expected);
}

void TestProductAnswer::amounts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown"); // "shown plain", or empty: no amount
    const auto row = [](const char *text, const char *shown = "") {
        QTest::addRow("%s", text) << QString::fromUtf8(text) << QString::fromLatin1(shown);
    };
    row("19.95", "$19.95 19.95");
    row("$1,234,567.5", "$1,234,567.50 1234567.5");
    row(" .5 ", "$0.50 0.5");
    row("-$0.99", "-$0.99 -0.99");
    row("2.675", "$2.68 2.675");
    row("1.00005", "$1.00 1"); // past the fourth decimal, half to even
    row("1.00015", "$1.00 1.0002");
    // The largest amount; decimals that would round it to fifteen whole
    // digits make it one that its shown form could not give back.
    row("-99999999999999.99", "-$99,999,999,999,999.99 -99999999999999.99");
    for (const char *bad : {"", "abc", "$", "1,23", "12,34.5", "1.2.3", "1e3", "100000000000000",
                            "99999999999999.995", "-99999999999999.99999"})
        row(bad);
}

void TestProductAnswer::amounts()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    const std::optional<Amount> amount = Amount::parse(text);
    QCOMPARE(amount ? amount->shown() + u' ' + amount->plain() : QString(), shown);
}

void TestProductAnswer::counts_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("count");
    QTest::newRow("spaces around") << QByteArray("  7  ") << 7;
    QTest::newRow("zero") << QByteArray("0") << 0;
    QTest::newRow("largest") << QByteArray("32767") << 32767;
    for (const char *bad :
         {"32768", "99999999999999999999", "Error: unknown developer", "", "-1", "7.5", "\t7"})
        QTest::addRow("refused %s", bad) << QByteArray(bad) << -1;
}

void TestProductAnswer::counts()
{
    QFETCH(QByteArray, line);
    QFETCH(int, count);
    QCOMPARE(int(ProductValues::toCount(line)), count);
}

QTEST_GUILESS_MAIN(TestProductAnswer)
#include "tst_productanswer.moc"
