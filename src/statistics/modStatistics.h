#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

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

// Every node text in tree order: each product's text followed by its
// transactions' texts.
QStringList nodeTexts(const QList<Product> &products);

// The text without the blanks (spaces) at its edges; node texts are laid
// out with blanks, and tabs or other characters at the edges of a value
// belong to it.
QStringView trimBlanks(QStringView text);

// The word shown for a result code: 0 "Success", -1 "Not Processed", any
// other number "Declined"; the empty string when the code is not a number.
QString resultWord(QStringView code);

// The highest transaction number under one product (the number is 16-bit).
inline constexpr qsizetype maxTransactionNumber = 32767;

// Parses a statistics answer (Windows-1252 bytes). Lines before the first
// product header are skipped, and so is everything after a header with a
// negative product ID up to the next header. Lines that the tree cannot hold
// soundly are skipped whole: a product or result code that is not a number,
// a line with fewer fields than its kind carries, a product ID outside 16
// bits or already in the tree, a transaction beyond the highest number. A
// header skipped this way hides its transaction lines as a negative ID does,
// so that they never land under another product. Pending events are
// processed at every "End Products" line.
QList<Product> parseStatistics(const QByteArray &answer);

// The server path without any "/" or "."; the value of DevID.
QString statisticsIdentifier(const QString &serverPath);

// "http://" + central host + "/Validator/ProdReview.asp?DevID=...&DateRange=..."
QString statisticsUrl(const QString &identifier, int period);

struct Retrieval
{
    bool downloaded = false;
    QList<Product> products;
};

// Reads the developer key from the settings store (a failed read leaves it
// empty), downloads the statistics of the period and parses them. Pending
// events are processed once after the download. Shows nothing: a failed
// download gives downloaded false and no products.
Retrieval RetrieveStatistics(int period);

} // namespace modStatistics
