#include "records/PrintLayout.h"

#include <QLocale>

namespace PrintLayout {

namespace {

constexpr double headingX = 0.7;
constexpr double headingY = 0.1;
constexpr double headingSize = 24;
constexpr double rowSize = 12;
constexpr double footerSize = 8;
constexpr double footerGap = 0.4;
constexpr double footerStep = 0.15;
// The page number stands at the right of the footer's first line when the
// record takes more than one page.
constexpr double pageNumberX = 5.4;

Item text(double x, double y, const QString &text, double size, bool bold, bool underline = false)
{
    Item item;
    item.x = x;
    item.y = y;
    item.text = text;
    item.pointSize = size;
    item.bold = bold;
    item.underline = underline;
    return item;
}

Page startPage()
{
    Item border;
    border.kind = Item::Kind::Border;
    border.width = borderWidth;
    border.height = borderHeight;
    return {border, text(headingX, headingY, QStringLiteral("Purchase Information"), headingSize,
                         true, true)};
}

// One printed row: the label's part and the value's, either possibly empty.
struct Row
{
    QString label;
    QString value;
    bool bold = false;
};

// The rows of the record text in order. Lines are cut at each CR LF; a CR LF
// at the very end adds no row, an empty line inside the text takes one.
QList<Row> rows(const QString &recordText)
{
    QList<Row> result;
    const QLatin1String lineEnd("\r\n");
    qsizetype from = 0;
    while (from < recordText.size()) {
        qsizetype end = recordText.indexOf(lineEnd, from);
        if (end < 0)
            end = recordText.size();
        const QStringView line = QStringView(recordText).mid(from, end - from);
        from = end + lineEnd.size();

        const bool bold = line.contains(QLatin1String("Total:"), Qt::CaseInsensitive);
        const QStringView value = line.size() > labelLength ? line.mid(labelLength) : QStringView();
        result.append(
            {line.left(labelLength).toString(), value.left(valueLength).toString(), bold});
        for (qsizetype start = valueLength; start < value.size(); start += valueLength)
            result.append({QString(), value.mid(start, valueLength).toString(), bold});
    }
    return result;
}

} // namespace

QList<Page> pages(const QString &recordText, const QString &recordFile, const QString &printedAt)
{
    const QList<Row> all = rows(recordText);
    const qsizetype pageCount = qMax<qsizetype>(1, (all.size() + rowsPerPage - 1) / rowsPerPage);
    QList<Page> result;
    for (qsizetype p = 0; p < pageCount; ++p) {
        Page page = startPage();
        double y = rowsStart;
        const qsizetype last = qMin(all.size(), (p + 1) * rowsPerPage);
        for (qsizetype r = p * rowsPerPage; r < last; ++r) {
            // From the row's number, not by adding up steps, so that no
            // rounding drifts down a long page.
            y = rowsStart + rowHeight * double(r - p * rowsPerPage + 1);
            const Row &row = all.at(r);
            if (!row.label.isEmpty())
                page.append(text(labelX, y, row.label, rowSize, row.bold));
            if (!row.value.isEmpty())
                page.append(text(valueX, y, row.value, rowSize, row.bold));
        }
        y += footerGap;
        page.append(
            text(labelX, y, QStringLiteral("Varnell Transaction Record"), footerSize, true));
        if (pageCount > 1)
            page.append(text(pageNumberX, y,
                             QStringLiteral("Page %1 of %2").arg(p + 1).arg(pageCount), footerSize,
                             true));
        y += footerStep;
        page.append(text(labelX, y, QStringLiteral("File Name: ") + recordFile, footerSize, true));
        y += footerStep;
        page.append(
            text(labelX, y, QStringLiteral("Date Printed: ") + printedAt, footerSize, true));
        result.append(page);
    }
    return result;
}

QString printedAtText(const QDateTime &when)
{
    const QLocale locale = QLocale::system();
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (!timeFormat.contains(QLatin1Char('s')))
        timeFormat.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), timeFormat);
}

} // namespace PrintLayout
