// The printed page: the layout's items for the edge cases of a record text,
// and the same pages drawn into a PDF, read back with poppler.
#include "records/PagePainter.h"
#include "records/PrintLayout.h"
#include "support/PdfText.h"

#include <QPageLayout>
#include <QPageSize>
#include <QTest>

namespace {

using PrintLayout::Item;

// An item as "x y size flags text" ("B" bold, "U" underlined), or the
// border as "border x y width height".
QString describe(const Item &item)
{
    if (item.kind == Item::Kind::Border)
        return QStringLiteral("border %1 %2 %3 %4")
            .arg(item.x)
            .arg(item.y)
            .arg(item.width)
            .arg(item.height);
    return QStringLiteral("%1 %2 %3 %4%5 %6")
        .arg(item.x)
        .arg(item.y)
        .arg(item.pointSize)
        .arg(QLatin1String(item.bold ? "B" : "-"), QLatin1String(item.underline ? "U" : "-"),
             item.text);
}

QStringList describe(const PrintLayout::Page &page)
{
    QStringList items;
    for (const Item &item : page)
        items.append(describe(item));
    return items;
}

const QStringList pageTop = {QStringLiteral("border 0 0 6.5 9"),
                             QStringLiteral("0.7 0.1 24 BU Purchase Information")};

QStringList footer(double y, const QString &file = QStringLiteral("/r/a.vrd"))
{
    return {QStringLiteral("0 %1 8 B- Varnell Transaction Record").arg(y),
            QStringLiteral("0 %1 8 B- File Name: %2").arg(y + 0.15).arg(file),
            QStringLiteral("0 %1 8 B- Date Printed: 6/12/2026 14:02:05").arg(y + 0.3)};
}

QList<PrintLayout::Page> layOut(const QString &text)
{
    return PrintLayout::pages(text, QStringLiteral("/r/a.vrd"),
                              QStringLiteral("6/12/2026 14:02:05"));
}

QString label(const char *text)
{
    return QString::fromLatin1(text).leftJustified(20);
}

} // namespace

class TestPrintLayout : public QObject
{
    Q_OBJECT

private slots:
    void rows_data();
    void rows();
    void pageBreaks();
    void drawnIntoPdf();
};

void TestPrintLayout::rows_data()
{
    QTest::addColumn<QString>("text");
    // The rows' items between the heading and the footer, whose first line
    // lies 0.4 below the last row.
    QTest::addColumn<QStringList>("rows");

    const QString fifty = QString(50, QLatin1Char('v'));
    QTest::newRow("empty view: footer at 0.8") << QString() << QStringList();
    QTest::newRow("value of 50 takes one row")
        << label("Name:") + fifty
        << QStringList{QStringLiteral("0 0.6 12 -- ") + label("Name:"),
                       QStringLiteral("1.1 0.6 12 -- ") + fifty};
    QTest::newRow("51 takes two rows, 50 and 1")
        << label("Name:") + fifty + QStringLiteral("w")
        << QStringList{QStringLiteral("0 0.6 12 -- ") + label("Name:"),
                       QStringLiteral("1.1 0.6 12 -- ") + fifty, QStringLiteral("1.1 0.8 12 -- w")};
    QTest::newRow("101 takes three rows")
        << label("Name:") + fifty + fifty + QStringLiteral("w")
        << QStringList{QStringLiteral("0 0.6 12 -- ") + label("Name:"),
                       QStringLiteral("1.1 0.6 12 -- ") + fifty,
                       QStringLiteral("1.1 0.8 12 -- ") + fifty, QStringLiteral("1.1 1 12 -- w")};
    // Short lines stay in the label column; blanks are kept as they are.
    QTest::newRow("short lines and an empty line")
        << QStringLiteral("Heading\r\n\r\n ") + label("Name:") + QStringLiteral(" x")
        << QStringList{QStringLiteral("0 0.6 12 -- Heading"),
                       QStringLiteral("0 1 12 --  ") + label("Name:").left(19),
                       QStringLiteral("1.1 1 12 --   x")};
    QTest::newRow("a CR LF at the end adds no row")
        << QStringLiteral("A\r\n") << QStringList{QStringLiteral("0 0.6 12 -- A")};
    // "Total:" in any case, in the label or in the value, makes the whole
    // row bold, its continuation rows too.
    QTest::newRow("TOTAL: in a value")
        << label("Note:") + QStringLiteral("grand TOTAL: ") + fifty + QStringLiteral("\r\n") +
               label("total:") + QStringLiteral("9\r\n") + label("Totals") + QStringLiteral("1")
        << QStringList{QStringLiteral("0 0.6 12 B- ") + label("Note:"),
                       QStringLiteral("1.1 0.6 12 B- grand TOTAL: ") + fifty.left(37),
                       QStringLiteral("1.1 0.8 12 B- ") + fifty.left(13),
                       QStringLiteral("0 1 12 B- ") + label("total:"),
                       QStringLiteral("1.1 1 12 B- 9"),
                       QStringLiteral("0 1.2 12 -- ") + label("Totals"),
                       QStringLiteral("1.1 1.2 12 -- 1")};
}

void TestPrintLayout::rows()
{
    QFETCH(QString, text);
    QFETCH(QStringList, rows);
    const QList<PrintLayout::Page> pages = layOut(text);
    QCOMPARE(pages.size(), 1);
    // The last row's y, from its item's description.
    const double lastRow =
        rows.isEmpty() ? 0.4 : rows.last().section(QLatin1Char(' '), 1, 1).toDouble();
    QCOMPARE(describe(pages.at(0)), pageTop + rows + footer(lastRow + 0.4));
}

void TestPrintLayout::pageBreaks()
{
    // 38 rows fit a page: the footer's last line ends inside the border.
    QStringList lines;
    for (int n = 1; n <= 38; ++n)
        lines.append(label("Line:") + QString::number(n));
    QList<PrintLayout::Page> pages = layOut(lines.join(QLatin1String("\r\n")));
    QCOMPARE(pages.size(), 1);
    QCOMPARE(describe(pages.at(0)).mid(2 + 2 * 37),
             (QStringList{QStringLiteral("0 8 12 -- ") + label("Line:"),
                          QStringLiteral("1.1 8 12 -- 38")} +
              footer(8.4)));

    // One more row, here the second row of a wrapped value, starts a
    // second page with its own border, heading and footer, numbered.
    lines.last() = label("Line:") + QString(50, QLatin1Char('x')) + QLatin1Char('y');
    pages = layOut(lines.join(QLatin1String("\r\n")));
    QCOMPARE(pages.size(), 2);
    const QStringList first = describe(pages.at(0));
    QCOMPARE(first.mid(first.size() - 4, 2),
             (QStringList{QStringLiteral("0 8.4 8 B- Varnell Transaction Record"),
                          QStringLiteral("5.4 8.4 8 B- Page 1 of 2")}));
    const QStringList second = pageTop +
                               QStringList{QStringLiteral("1.1 0.6 12 -- y"),
                                           QStringLiteral("0 1 8 B- Varnell Transaction Record"),
                                           QStringLiteral("5.4 1 8 B- Page 2 of 2")} +
                               footer(1).mid(1);
    QCOMPARE(describe(pages.at(1)), second);
}

void TestPrintLayout::drawnIntoPdf()
{
    // Three pages of rows, each number on a row of its own.
    QStringList lines;
    for (int n = 1; n <= 80; ++n)
        lines.append(label("Row:") + QStringLiteral("value%1").arg(n));
    lines[2] = label("Total:") + QStringLiteral("$49.95");
    const QList<PrintLayout::Page> pages = layOut(lines.join(QLatin1String("\r\n")));
    QCOMPARE(pages.size(), 3);
    // On a page without margins the drawing area is the page: the origin
    // lies at 72 points from its corner.
    const QPageLayout bare(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF());
    const QByteArray pdf = PagePainter::pdf(pages, QStringLiteral("a.vrd"), bare);
    QVERIFY(pdf.startsWith("%PDF-"));

    const QStringList text = pdfPages(pdf);
    QCOMPARE(text.size(), 3);
    for (int p = 0; p < 3; ++p) {
        QVERIFY2(text.at(p).startsWith(QLatin1String("Purchase Information")),
                 qPrintable(text.at(p)));
        QVERIFY(text.at(p).contains(QStringLiteral("Page %1 of 3").arg(p + 1)));
        QVERIFY(text.at(p).contains(
            QLatin1String("File Name: /r/a.vrd\nDate Printed: 6/12/2026 14:02:05")));
    }
    // Each page draws its own rows only.
    QVERIFY(text.at(0).contains(QLatin1String("value38")) &&
            !text.at(0).contains(QLatin1String("value39")));

    // The words stand where the items put them, in points from the page's
    // corner: the heading at 0.7 in, values at 1.1, plain and bold, the
    // first row at 0.6 in below the origin.
    const QStringList boxes = pdfWordBoxes(pdf);
    QVERIFY2(boxes.size() > 4, qPrintable(boxes.join(QLatin1Char('\n'))));
    const auto near = [&](const QString &word, double x, double y) {
        for (const QString &box : boxes) {
            const QStringList parts = box.split(QLatin1Char(' '));
            if (parts.at(0) == word)
                return qAbs(parts.at(1).toDouble() - 72 * (1 + x)) <= 2 &&
                       qAbs(parts.at(2).toDouble() - 72 * (1 + y)) <= 3;
        }
        return false;
    };
    QVERIFY2(near(QStringLiteral("Purchase"), 0.7, 0.1), qPrintable(boxes.join(QLatin1Char('\n'))));
    QVERIFY2(near(QStringLiteral("value1"), 1.1, 0.6), qPrintable(boxes.join(QLatin1Char('\n'))));
    QVERIFY2(near(QStringLiteral("$49.95"), 1.1, 1.0), qPrintable(boxes.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestPrintLayout)
#include "tst_printlayout.moc"
