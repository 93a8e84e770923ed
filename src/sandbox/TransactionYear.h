#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

// The sandbox account's sales: a year of transactions over three products,
// the same every day but for the dates, which count back from today.
namespace TransactionYear {

struct Product
{
    int id = 0;
    QString caption;
    QString total; // the price as a packet states it
};

struct Transaction
{
    int productId = 0;
    QDate date;
    int result = 0; // 0 success, -1 not processed, other numbers declined
    QString id;
    QString endUser;
    QString email;
};

QList<Product> products();

// Oldest first. Every day of the last year has from none to two
// transactions, today has at least the four of the re-delivery outcomes.
QList<Transaction> generate(QDate today);

// How the package server answers a re-delivery request for a transaction.
enum class Redelivery
{
    Successful,
    NoTransaction,
    NoEmail,
    FileMissing
};

// The one transaction of today that gives the outcome; every other ID
// (known or not) gives NoTransaction.
QString transactionFor(Redelivery outcome);
Redelivery redeliveryFor(QStringView transactionId);

// Period index 0 day (today), 1 week, 2 month, 3 year, counted back from
// today; anything else holds nothing.
bool inPeriod(QDate date, int period, QDate today);

// The statistics answer for the period: per product with transactions in it,
// a header line carrying the newest transaction, a line for each older one,
// then "End Products"; lines end in CR LF, bytes are Windows-1252.
QByteArray statisticsAnswer(const QList<Transaction> &transactions, int period, QDate today);

// The encrypted record file of a transaction, as the gateway e-mails it.
QByteArray packetFile(const Transaction &transaction, const QString &encryptionKey);

} // namespace TransactionYear
