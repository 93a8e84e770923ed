#include "statistics/modStatistics.h"

#include "common/Ansi.h"
#include "common/PendingEvents.h"
#include "gateway/modProdUpdate.h"
#include "store/modPublic.h"

#include <QVarLengthArray>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace modStatistics {
namespace {

constexpr QByteArrayView headerMarker("New Product |");
constexpr QByteArrayView endMarker("End Products");
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

// The bytes that decode to white space (as QChar::isSpace() has it).
bool isSpaceByte(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r') || c == '\xa0';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The result of a code: an integer of any length, an optional sign and
// decimal digits, blanks around them allowed. Its value decides: "00" is 0
// and "-001" is -1. Nothing when the code is not a number.
std::optional<Result> resultOf(QByteArrayView code)
{
    while (!code.isEmpty() && isSpaceByte(code.front()))
        code = code.sliced(1);
    while (!code.isEmpty() && isSpaceByte(code.back()))
        code.chop(1);
    bool negative = false;
    if (!code.isEmpty() && (code.front() == '+' || code.front() == '-')) {
        negative = code.front() == '-';
        code = code.sliced(1);
    }
    if (code.isEmpty())
        return std::nullopt;
    for (char c : code) {
        if (!isDigit(c))
            return std::nullopt;
    }
    while (code.size() > 1 && code.front() == '0')
        code = code.sliced(1);
    if (code == "0")
        return Result::Success;
    if (negative && code == "1")
        return Result::NotProcessed;
    return Result::Declined;
}

// Where the fields of one line lie: field i runs from begin(i) to end(i),
// offsets into the answer. Only the first `wanted` fields are looked for.
class LineFields
{
public:
    LineFields(const QByteArray &answer, qsizetype lineBegin, qsizetype lineEnd, qsizetype wanted)
        : m_lineEnd(quint32(lineEnd)), m_wanted(wanted)
    {
        // A "|" before the line begins its first field; the one after the
        // last wanted field ends it.
        m_bars.push_back(quint32(lineBegin) - 1);
        const char *data = answer.constData();
        for (qsizetype i = lineBegin; i < lineEnd && m_bars.size() <= wanted; ++i) {
            const void *bar = std::memchr(data + i, '|', std::size_t(lineEnd - i));
            if (!bar)
                break;
            i = static_cast<const char *>(bar) - data;
            m_bars.push_back(quint32(i));
        }
    }

    // How many of the wanted fields the line has.
    qsizetype count() const { return std::min(m_bars.size(), m_wanted); }
    quint32 begin(qsizetype field) const { return m_bars[field] + 1; }
    quint32 end(qsizetype field) const
    {
        return field + 1 < m_bars.size() ? m_bars[field + 1] : m_lineEnd;
    }

private:
    quint32 m_lineEnd;
    qsizetype m_wanted;
    QVarLengthArray<quint32, headerFields + 1> m_bars;
};

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

QStringView trimBlanks(QStringView text)
{
    while (!text.isEmpty() && text.front() == QLatin1Char(' '))
        text = text.mid(1);
    while (!text.isEmpty() && text.back() == QLatin1Char(' '))
        text.chop(1);
    return text;
}

QString resultWord(Result result)
{
    switch (result) {
    case Result::Success:
        return QStringLiteral("Success");
    case Result::NotProcessed:
        return QStringLiteral("Not Processed");
    case Result::Declined:
        break;
    }
    return QStringLiteral("Declined");
}

qsizetype Statistics::transactionCount(qsizetype product) const
{
    return m_products[std::size_t(product)].count;
}

qint16 Statistics::productId(qsizetype product) const
{
    return m_products[std::size_t(product)].id;
}

QString Statistics::productKey(qsizetype product) const
{
    return modStatistics::productKey(productId(product));
}

QString Statistics::productText(qsizetype product) const
{
    const ProductEntry &p = m_products[std::size_t(product)];
    return modStatistics::productText(p.id, Ansi::decode(bytes(p.caption, p.captionEnd)));
}

QString Statistics::transactionKey(qsizetype product, qsizetype number) const
{
    return modStatistics::transactionKey(productId(product), number);
}

QString Statistics::transactionText(qsizetype product, qsizetype number) const
{
    return modStatistics::transactionText(transaction(product, number));
}

const Statistics::TransactionEntry &Statistics::entry(qsizetype product, qsizetype number) const
{
    return m_transactions[m_products[std::size_t(product)].first + std::size_t(number)];
}

QByteArrayView Statistics::bytes(quint32 begin, quint32 end) const
{
    return QByteArrayView(m_answer.constData() + begin, qsizetype(end - begin));
}

Statistics::Fields Statistics::fields(qsizetype product, qsizetype number) const
{
    const TransactionEntry &t = entry(product, number);
    return Fields{bytes(t.date, t.dateEnd), bytes(t.transactionId, t.transactionIdEnd),
                  bytes(t.transactionIdEnd + 1, t.endUserEnd), t.result};
}

Transaction Statistics::transaction(qsizetype product, qsizetype number) const
{
    const Fields f = fields(product, number);
    return Transaction{Ansi::decode(f.date), resultWord(f.result), Ansi::decode(f.transactionId),
                       Ansi::decode(f.endUser)};
}

QList<Product> Statistics::products() const
{
    QList<Product> list;
    list.reserve(productCount());
    for (qsizetype p = 0; p < productCount(); ++p) {
        const ProductEntry &entry = m_products[std::size_t(p)];
        Product product{entry.id, Ansi::decode(bytes(entry.caption, entry.captionEnd)), {}};
        product.transactions.reserve(entry.count);
        for (qsizetype n = 0; n < qsizetype(entry.count); ++n)
            product.transactions.append(transaction(p, n));
        list.append(std::move(product));
    }
    return list;
}

QStringList Statistics::nodeTexts() const
{
    QStringList texts;
    texts.reserve(productCount() + transactionCount());
    for (qsizetype p = 0; p < productCount(); ++p) {
        texts.append(productText(p));
        for (qsizetype n = 0; n < transactionCount(p); ++n)
            texts.append(transactionText(p, n));
    }
    return texts;
}

Statistics parseStatistics(const QByteArray &answer)
{
    Statistics statistics;
    statistics.m_answer = answer;
    std::vector<Statistics::ProductEntry> &products = statistics.m_products;
    std::vector<Statistics::TransactionEntry> &transactions = statistics.m_transactions;
    // Product IDs already in the tree; a repeated one would repeat keys.
    std::vector<bool> seen(32768, false);
    // Whether transaction lines go under products.back(): false before the
    // first header, after a negative ID and after a header that was skipped.
    bool current = false;
    // A transaction of fields date, result code, ID and end user, starting
    // at field `date` of the line.
    const auto add = [&transactions](const LineFields &line, qsizetype date, Result result) {
        transactions.push_back(
            Statistics::TransactionEntry{line.begin(date), line.end(date), line.begin(date + 2),
                                         line.end(date + 2), line.end(date + 3), result});
    };

    // A line ends at CR, optionally followed by LF; a lone LF stays in its
    // line. The answer is at most a few MiB, so offsets fit 32 bits.
    const char *data = answer.constData();
    const qsizetype size = answer.size();
    // At most a transaction a line: room for them all at once.
    transactions.reserve(std::size_t(std::count(data, data + size, '\r')) + 1);
    for (qsizetype begin = 0; begin < size;) {
        const void *cr = std::memchr(data + begin, '\r', std::size_t(size - begin));
        const qsizetype end = cr ? static_cast<const char *>(cr) - data : size;
        const qsizetype next =
            end < size && end + 1 < size && data[end + 1] == '\n' ? end + 2 : end + 1;
        const QByteArrayView line(data + begin, end - begin);
        const qsizetype lineBegin = begin;
        begin = next;

        if (line.startsWith(headerMarker)) {
            current = false;
            const LineFields fields(answer, lineBegin, end, headerFields);
            qint16 id = -1;
            if (!readProductId(Ansi::decode(statistics.bytes(fields.begin(1), fields.end(1))),
                               id) ||
                id < 0)
                continue;
            if (fields.count() < headerFields || seen[std::size_t(id)])
                continue;
            const std::optional<Result> result =
                resultOf(statistics.bytes(fields.begin(5), fields.end(5)));
            if (!result)
                continue;
            seen[std::size_t(id)] = true;
            products.push_back(Statistics::ProductEntry{fields.begin(2), fields.end(2),
                                                        quint32(transactions.size()), 1, id});
            add(fields, 4, *result);
            current = true;
            continue;
        }
        if (line == endMarker) {
            PendingEvents::process();
            continue;
        }
        if (!current)
            continue;
        Statistics::ProductEntry &product = products.back();
        if (product.count > maxTransactionNumber)
            continue;
        const LineFields fields(answer, lineBegin, end, transactionFields);
        if (fields.count() < transactionFields)
            continue;
        const std::optional<Result> result =
            resultOf(statistics.bytes(fields.begin(2), fields.end(2)));
        if (!result)
            continue;
        add(fields, 1, *result);
        ++product.count;
    }
    return statistics;
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
    retrieval.statistics = parseStatistics(answer.readAll());
    return retrieval;
}

} // namespace modStatistics
