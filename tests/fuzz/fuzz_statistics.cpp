// The statistics answer: parsed into products and transactions, laid out as
// node texts, and taken apart again into the CSV export.
#include "FuzzSupport.h"

#include "common/Ansi.h"
#include "statistics/StatsExport.h"
#include "statistics/modStatistics.h"

#include <QSet>

namespace {

using modStatistics::Product;
using modStatistics::Transaction;

// The code a result word stands for, as the server writes it.
QByteArray resultCode(const QString &word)
{
    if (word == QLatin1String("Success"))
        return "0";
    if (word == QLatin1String("Not Processed"))
        return "-1";
    FUZZ_CHECK(word == QLatin1String("Declined"));
    return "2";
}

QByteArray field(const QString &text)
{
    FUZZ_CHECK(!text.contains(QLatin1Char('|')) && !text.contains(QLatin1Char('\r')));
    return '|' + Ansi::encode(text);
}

// The products written back as a server would send them.
QByteArray answerOf(const QList<Product> &products)
{
    QByteArray answer;
    for (const Product &product : products) {
        for (qsizetype n = 0; n < product.transactions.size(); ++n) {
            const Transaction &t = product.transactions[n];
            if (n == 0)
                answer += "New Product " + field(QString::number(product.id)) +
                          field(product.caption) + field(QStringLiteral("x"));
            answer += field(t.date) + '|' + resultCode(t.result) + field(t.transactionId) +
                      field(t.endUser) + "\r\n";
        }
        answer += "End Products\r\n";
    }
    return answer;
}

// A CSV file's rows, read as any CSV reader does: fields in double quotes,
// a doubled quote standing for one. Nothing when the text is not such a
// file, every line ending in CR LF.
std::optional<QList<QStringList>> csvRows(const QString &csv)
{
    QList<QStringList> rows;
    QStringList row;
    qsizetype i = 0;
    while (i < csv.size()) {
        if (csv[i] != QLatin1Char('"'))
            return std::nullopt;
        QString value;
        for (++i;; ++i) {
            if (i >= csv.size())
                return std::nullopt;
            if (csv[i] != QLatin1Char('"')) {
                value += csv[i];
            } else if (i + 1 < csv.size() && csv[i + 1] == QLatin1Char('"')) {
                value += QLatin1Char('"');
                ++i;
            } else {
                break;
            }
        }
        row.append(value);
        ++i;
        if (csv.mid(i, 1) == QLatin1String(",")) {
            ++i;
        } else if (csv.mid(i, 2) == QLatin1String("\r\n")) {
            rows.append(row);
            row.clear();
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    if (!row.isEmpty())
        return std::nullopt;
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const modStatistics::Statistics statistics =
        modStatistics::parseStatistics(FuzzSupport::bytes(data, size));
    const QList<Product> products = statistics.products();

    // Every product a node of its own key, with one to 32768 transactions.
    QSet<qint16> ids;
    qsizetype transactions = 0;
    for (const Product &product : products) {
        FUZZ_CHECK(product.id >= 0 && !ids.contains(product.id));
        ids.insert(product.id);
        FUZZ_CHECK(!product.transactions.isEmpty() &&
                   product.transactions.size() <= modStatistics::maxTransactionNumber + 1);
        transactions += product.transactions.size();
    }

    // What the tree holds, written back as an answer, reads the same.
    FUZZ_CHECK(modStatistics::parseStatistics(answerOf(products)).products() == products);

    // The CSV export: a header and one row of three fields per transaction,
    // the product's ID first, then the date as it stands (without the blanks
    // at its edges) and the result.
    const QStringList texts = statistics.nodeTexts();
    FUZZ_CHECK(texts.size() == products.size() + transactions);
    const std::optional<QList<QStringList>> rows =
        csvRows(Ansi::decode(modStatistics::csvFromNodeTexts(texts)));
    FUZZ_CHECK(rows && rows->size() == 1 + transactions);
    FUZZ_CHECK(rows->first() ==
               (QStringList{QStringLiteral("Product ID"), QStringLiteral("Transaction Date"),
                            QStringLiteral("Result")}));
    qsizetype r = 1;
    for (const Product &product : products) {
        for (const Transaction &t : product.transactions) {
            const QStringList &row = rows->at(r++);
            FUZZ_CHECK(row.size() == 3 && row[0] == QString::number(product.id));
            // The date ends where "Result" first stands in the node's text.
            // A field a spreadsheet would take for a formula may begin with
            // an apostrophe, and only such a field.
            const auto field = [](const QString &written, QStringView value) {
                const bool formula =
                    !value.isEmpty() && QStringView(u"=+-@\t\r").contains(value[0]);
                return value.isEmpty() || written.startsWith(value) ||
                       (formula && written.startsWith(QLatin1Char('\'') + value.toString()));
            };
            if (!t.date.contains(QLatin1String("Result"))) {
                const QStringView date = modStatistics::trimBlanks(t.date);
                FUZZ_CHECK(field(row[1], date) && row[1].size() <= date.size() + 1);
                FUZZ_CHECK(field(row[2], modStatistics::trimBlanks(t.result)));
            }
        }
    }
    return 0;
}
