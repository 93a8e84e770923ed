#include "statistics/modStatistics.h"

#include "common/Ansi.h"
#include "common/PendingEvents.h"
#include "gateway/modProdUpdate.h"
#include "store/modPublic.h"

#include <vector>

namespace modStatistics {
namespace {

const QString headerMarker = QStringLiteral("New Product |");
const QString endMarker = QStringLiteral("End Products");
const QString fiveBlanks = QStringLiteral("     ");

// Fields carried by a product header line (marker, ID, caption, unused,
// date, result code, transaction ID, end user) and by a transaction line
// (unused, date, result code, transaction ID, end user).
constexpr qsizetype headerFields = 8;
constexpr qsizetype transactionFields = 5;

// A product ID: a decimal integer in 16 bits, blanks around it allowed.
bool readProductId(QStringView field, qint16 &id)
{
    bool ok = false;
    const int value = field.trimmed().toInt(&ok, 10);
    if (!ok || value < -32768 || value > 32767)
        return false;
    id = qint16(value);
    return true;
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

Transaction makeTransaction(QStringView date, const QString &result, QStringView transactionId,
                            QStringView endUser)
{
    return Transaction{date.toString(), result, transactionId.toString(), endUser.toString()};
}

} // namespace

QString productKey(qint16 productId)
{
    return QString::number(productId) + QLatin1Char('k');
}

QString productText(qint16 productId, const QString &caption)
{
    return QLatin1String("Product ID: ") + QString::number(productId) + QLatin1String(" - ") +
           caption;
}

QString transactionKey(qint16 productId, qsizetype number)
{
    return QString::number(productId) + QLatin1Char('X') + QString::number(number);
}

QString transactionText(const Transaction &t)
{
    return QLatin1String("Date: ") + t.date + fiveBlanks + QLatin1String("Result: ") + t.result +
           fiveBlanks + QLatin1String("Transaction ID: ") + t.transactionId + fiveBlanks +
           QLatin1String("End UserName: ") + t.endUser;
}

QString Product::key() const
{
    return productKey(id);
}

QString Product::text() const
{
    return productText(id, caption);
}

QString Product::transactionKey(qsizetype number) const
{
    return modStatistics::transactionKey(id, number);
}

QStringList nodeTexts(const QList<Product> &products)
{
    qsizetype count = products.size();
    for (const Product &product : products)
        count += product.transactions.size();
    QStringList texts;
    texts.reserve(count);
    for (const Product &product : products) {
        texts.append(product.text());
        for (const Transaction &transaction : product.transactions)
            texts.append(transactionText(transaction));
    }
    return texts;
}

QStringView trimBlanks(QStringView text)
{
    while (!text.isEmpty() && text.front() == QLatin1Char(' '))
        text = text.mid(1);
    while (!text.isEmpty() && text.back() == QLatin1Char(' '))
        text.chop(1);
    return text;
}

QString resultWord(QStringView code)
{
    // An integer of any length: an optional sign and decimal digits, blanks
    // around them allowed. Its value decides; "00" is 0 and "-001" is -1.
    code = code.trimmed();
    bool negative = false;
    if (!code.isEmpty() && (code.front() == QLatin1Char('+') || code.front() == QLatin1Char('-'))) {
        negative = code.front() == QLatin1Char('-');
        code = code.mid(1);
    }
    if (code.isEmpty())
        return QString();
    for (QChar c : code) {
        if (!isDigit(c))
            return QString();
    }
    while (code.size() > 1 && code.front() == QLatin1Char('0'))
        code = code.mid(1);
    if (code == QLatin1String("0"))
        return QStringLiteral("Success");
    if (negative && code == QLatin1String("1"))
        return QStringLiteral("Not Processed");
    return QStringLiteral("Declined");
}

QList<Product> parseStatistics(const QByteArray &answer)
{
    QList<Product> products;
    // Product IDs already in the tree; a repeated one would repeat keys.
    std::vector<bool> seen(32768, false);
    // Whether transaction lines go under products.last(): false before the
    // first header, after a negative ID and after a header that was skipped.
    bool current = false;

    for (const QByteArray &bytes : modProdUpdate::answerLines(answer)) {
        const QString line = Ansi::decode(bytes);
        if (line.startsWith(headerMarker)) {
            current = false;
            const QList<QStringView> fields = QStringView(line).split(QLatin1Char('|'));
            qint16 id = -1;
            if (fields.size() < 2 || !readProductId(fields[1], id) || id < 0)
                continue;
            if (fields.size() < headerFields || seen[std::size_t(id)])
                continue;
            const QString result = resultWord(fields[5]);
            if (result.isEmpty())
                continue;
            seen[std::size_t(id)] = true;
            products.append(Product{id,
                                    fields[2].toString(),
                                    {makeTransaction(fields[4], result, fields[6], fields[7])}});
            current = true;
            continue;
        }
        if (line == endMarker) {
            PendingEvents::process();
            continue;
        }
        if (!current)
            continue;
        Product &product = products.last();
        if (product.transactions.size() > maxTransactionNumber)
            continue;
        const QList<QStringView> fields = QStringView(line).split(QLatin1Char('|'));
        if (fields.size() < transactionFields)
            continue;
        const QString result = resultWord(fields[2]);
        if (result.isEmpty())
            continue;
        product.transactions.append(makeTransaction(fields[1], result, fields[3], fields[4]));
    }
    return products;
}

QString statisticsIdentifier(const QString &serverPath)
{
    QString identifier = serverPath;
    identifier.remove(QLatin1Char('/'));
    identifier.remove(QLatin1Char('.'));
    return identifier;
}

QString statisticsUrl(const QString &identifier, int period)
{
    return modProdUpdate::CentralBaseURL() + QLatin1String("ProdReview.asp?DevID=") +
           modProdUpdate::queryValue(identifier) + QLatin1String("&DateRange=") +
           QString::number(period);
}

Retrieval RetrieveStatistics(int period)
{
    // The store is read afresh for every request; a failed read leaves the
    // developer key empty and the request goes out all the same.
    const QString url = statisticsUrl(
        statisticsIdentifier(modPublic::GetServerPath(modPublic::storedDeveloperKey())), period);

    Retrieval retrieval;
    const modProdUpdate::AnswerFile answer;
    if (answer.path().isEmpty() || !modProdUpdate::DownloadFile(url, answer.path()))
        return retrieval;
    retrieval.downloaded = true;
    PendingEvents::process();
    retrieval.products = parseStatistics(answer.readAll());
    return retrieval;
}

} // namespace modStatistics
