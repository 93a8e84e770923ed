#include "statistics/StatsExport.h"

#include "statistics/modStatistics.h"

#include "common/Ansi.h"
#include "common/SafeFile.h"

namespace modStatistics {
namespace {

// A plain decimal number, signed or not ("-12", "+3.50"): safe to keep as
// it is even though it begins with a sign.
bool isPlainNumber(QStringView value)
{
    qsizetype i = value.startsWith(QLatin1Char('-')) || value.startsWith(QLatin1Char('+')) ? 1 : 0;
    bool digits = false;
    bool point = false;
    for (; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c.isDigit() && c.unicode() < 128)
            digits = true;
        else if (c == QLatin1Char('.') && !point)
            point = true;
        else
            return false;
    }
    return digits;
}

// A spreadsheet takes a field that begins with one of these for a formula;
// the server (or anyone on its plain-HTTP way) chooses the dates and
// results, so such a field gets a leading apostrophe, which spreadsheets
// show as text.
bool looksLikeFormula(QStringView value)
{
    if (value.isEmpty() || isPlainNumber(value))
        return false;
    const QChar first = value.front();
    return first == QLatin1Char('=') || first == QLatin1Char('+') || first == QLatin1Char('-') ||
           first == QLatin1Char('@') || first == QLatin1Char('\t') || first == QLatin1Char('\r');
}

void appendQuoted(QByteArray &csv, QStringView value)
{
    csv += '"';
    if (looksLikeFormula(value))
        csv += '\'';
    if (value.contains(QLatin1Char('"')))
        csv += Ansi::encode(value.toString().replace(QLatin1Char('"'), QLatin1String("\"\"")));
    else
        csv += Ansi::encode(value);
    csv += '"';
}

const QString productLabel = QStringLiteral("Product ID:");
const QString resultLabel = QStringLiteral("Result");
const char lineEnd[] = "\r\n";

// The product ID of a product node's text: what stands before its first
// "-", without the label and the blanks around it.
QStringView productIdOf(QStringView text)
{
    const qsizetype dash = text.indexOf(QLatin1Char('-'));
    QStringView id = trimBlanks(dash < 0 ? text : text.left(dash));
    if (id.startsWith(productLabel))
        id = id.mid(productLabel.size());
    return trimBlanks(id);
}

} // namespace

QString csvHeader()
{
    return QStringLiteral("\"Product ID\",\"Transaction Date\",\"Result\"");
}

QByteArray csvFromNodeTexts(const QStringList &nodeTexts)
{
    qsizetype size = 64;
    for (const QString &text : nodeTexts)
        size += text.size() + 16;
    QByteArray csv;
    csv.reserve(size);
    csv += Ansi::encode(csvHeader()) + lineEnd;
    // The quoted product ID and its comma, for the transactions that follow.
    QByteArray prefix;
    for (const QString &text : nodeTexts) {
        if (text.startsWith(productLabel)) {
            prefix.clear();
            appendQuoted(prefix, productIdOf(text));
            prefix += ',';
            continue;
        }
        const qsizetype result = text.indexOf(resultLabel);
        if (result < 0)
            continue; // not a node text of the tree: it carries no result
        // The date starts right after the first ":" (the "Date:" label's, so a
        // date with a time of day stays whole) and runs up to "Result".
        const qsizetype start = text.indexOf(QLatin1Char(':')) + 1;
        const QStringView date = start > 0 && start <= result
                                     ? trimBlanks(QStringView(text).mid(start, result - start))
                                     : QStringView();
        // The result runs from after "Result:" to the end of the text.
        const QStringView rest = trimBlanks(
            QStringView(text).mid(std::min(result + resultLabel.size() + 1, text.size())));
        csv += prefix;
        appendQuoted(csv, date);
        csv += ',';
        appendQuoted(csv, rest);
        csv += lineEnd;
    }
    return csv;
}

bool writeCsv(const QString &path, const QStringList &nodeTexts, QString *error)
{
    const SafeFile::Result written = SafeFile::write(path, csvFromNodeTexts(nodeTexts));
    if (!written && error)
        *error = written.error;
    return written.ok;
}

} // namespace modStatistics
