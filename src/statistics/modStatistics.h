#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

// The developer's transaction history: the request to the central server's
// statistics page, the parser of its answer and the texts and keys of the
// transaction tree's nodes (which the CSV export and the re-delivery request
// take apart again, so their wording and spacing are fixed).
namespace modStatistics {

// Period index, sent as DateRange: 0 Day, 1 Week, 2 Month, 3 Year.
enum Period : qint16
{
    Day = 0,
    Week = 1,
    Month = 2,
    Year = 3
};

// One transaction as the answer gives it; result is the word shown
// ("Success", "Not Processed" or "Declined").
struct Transaction
{
    QString date;
    QString result;
    QString transactionId;
    QString endUser;

    bool operator==(const Transaction &) const = default;
};

// A product node and its transaction nodes, in answer order. A transaction's
// number within its product is its index in the list.
struct Product
{
    qint16 id = 0;
    QString caption;
    QList<Transaction> transactions;

    QString key() const;
    QString text() const;
    QString transactionKey(qsizetype number) const;

    bool operator==(const Product &) const = default;
};

// Node keys and texts.
QString productKey(qint16 productId);                          // 12 -> "12k"
QString productText(qint16 productId, const QString &caption); // "Product ID: 12 - Widget"
QString transactionKey(qint16 productId, qsizetype number);    // 12, 2 -> "12X2"
// "Date: d     Result: r     Transaction ID: t     End UserName: u"
QString transactionText(const Transaction &transaction);

// The text without the blanks (spaces) at its edges; node texts are laid
// out with blanks, and tabs or other characters at the edges of a value
// belong to it.
QStringView trimBlanks(QStringView text);

// What a result code stands for: 0 "Success", -1 "Not Processed", any other
// number "Declined".
enum class Result : quint8
{
    Success,
    NotProcessed,
    Declined
};
QString resultWord(Result result);

// The highest transaction number under one product (the number is 16-bit).
inline constexpr qsizetype maxTransactionNumber = 32767;

// A parsed statistics answer, kept compact for a year of many thousand
// transactions: the answer's bytes and, per product and per transaction,
// where its fields lie in them. Texts are made only when asked for.
// Products and their transactions are numbered from 0 in answer order; a
// transaction's number within its product is the one in its key.
class Statistics
{
public:
    // A transaction's fields as the answer's bytes (Windows-1252).
    struct Fields
    {
        QByteArrayView date;
        QByteArrayView transactionId;
        QByteArrayView endUser;
        Result result = Result::Success;
    };

    bool isEmpty() const { return m_products.empty(); }
    qsizetype productCount() const { return qsizetype(m_products.size()); }
    // Under all products.
    qsizetype transactionCount() const { return qsizetype(m_transactions.size()); }
    qsizetype transactionCount(qsizetype product) const;

    qint16 productId(qsizetype product) const;
    QString productKey(qsizetype product) const;
    QString productText(qsizetype product) const;
    QString transactionKey(qsizetype product, qsizetype number) const;
    QString transactionText(qsizetype product, qsizetype number) const;
    Fields fields(qsizetype product, qsizetype number) const;

    // The whole tree as strings, for the command line.
    QList<Product> products() const;
    // Every node text in tree order: each product's text followed by its
    // transactions' texts.
    QStringList nodeTexts() const;

private:
    friend Statistics parseStatistics(const QByteArray &answer);

    struct ProductEntry
    {
        quint32 caption = 0;
        quint32 captionEnd = 0;
        quint32 first = 0; // index of its first transaction
        quint32 count = 0;
        qint16 id = 0;
    };
    // The fields lie in one line, in this order, each ended by a "|" but
    // the end user: date, result code, transaction ID, end user; the end
    // user starts after the ID's "|".
    struct TransactionEntry
    {
        quint32 date = 0;
        quint32 dateEnd = 0;
        quint32 transactionId = 0;
        quint32 transactionIdEnd = 0;
        quint32 endUserEnd = 0;
        Result result = Result::Success;
    };

    const TransactionEntry &entry(qsizetype product, qsizetype number) const;
    QByteArrayView bytes(quint32 begin, quint32 end) const;
    Transaction transaction(qsizetype product, qsizetype number) const;

    QByteArray m_answer;
    std::vector<ProductEntry> m_products;
    std::vector<TransactionEntry> m_transactions;
};

// Parses a statistics answer (Windows-1252 bytes). Lines before the first
// product header are skipped, and so is everything after a header with a
// negative product ID up to the next header. Lines that the tree cannot hold
// soundly are skipped whole: a product or result code that is not a number,
// a line with fewer fields than its kind carries, a product ID outside 16
// bits or already in the tree, a transaction beyond the highest number. A
// header skipped this way hides its transaction lines as a negative ID does,
// so that they never land under another product. Pending events are
// processed at every "End Products" line.
Statistics parseStatistics(const QByteArray &answer);

// The server path without any "/" or "."; the value of DevID.
QString statisticsIdentifier(const QString &serverPath);

// "http://" + central host + "/Validator/ProdReview.asp?DevID=...&DateRange=..."
QString statisticsUrl(const QString &identifier, int period);

struct Retrieval
{
    bool downloaded = false;
    Statistics statistics;
};

// Reads the developer key from the settings store (a failed read leaves it
// empty), downloads the statistics of the period and parses them. Pending
// events are processed once after the download. Shows nothing: a failed
// download gives downloaded false and no products.
Retrieval RetrieveStatistics(int period);

} // namespace modStatistics
