#include "sandbox/TransactionYear.h"

#include "common/Ansi.h"
#include "records/RecordFile.h"

#include <QStringList>

#include <random>

namespace TransactionYear {

namespace {

struct Customer
{
    const char *name; // UTF-8
    const char *email;
};

const Customer customers[] = {
    {"Ann", "ann@example.com"},
    {"ACME LTD", "accounts@acme.example"},
    {"Client Numéro Trois", "client3@example.fr"},
    {"Kund Nummer Två", "kund2@example.se"},
    {"Kunde Nummer Fünf", "kunde5@example.de"},
    {"Test Customer", "test@example.net"},
    {"Cliente Número Siete", "cliente7@example.es"},
    {"Société Exemple", "contact@example.fr"},
    {"Client d'Essai", "essai@example.fr"},
    {"Beispiel GmbH", "info@example.de"},
};
constexpr unsigned customerCount = sizeof(customers) / sizeof(customers[0]);

// The transactions of today whose re-delivery answers differ, in the order
// Successful, NoTransaction, NoEmail, FileMissing.
constexpr int outcomeCount = 4;

QString transactionId(int sequence)
{
    return QStringLiteral("T%1").arg(100001 + sequence);
}

// A draw from the fixed sequence: the same numbers on every machine, unlike
// the standard distributions.
struct Draw
{
    std::mt19937 engine{20021105u};
    unsigned below(unsigned bound) { return unsigned(engine() % bound); }
};

int resultCode(Draw &draw)
{
    const unsigned r = draw.below(20);
    if (r < 15)
        return 0;
    if (r < 17)
        return -1;
    return r == 17 ? 2 : r == 18 ? 5 : 51;
}

Transaction make(int productId, QDate date, int result, int sequence, const Customer &customer)
{
    return Transaction{productId,
                       date,
                       result,
                       transactionId(sequence),
                       QString::fromUtf8(customer.name),
                       QString::fromUtf8(customer.email)};
}

QList<Transaction> generateFrom(QDate today)
{
    Draw draw;
    QList<Transaction> list;
    int sequence = 0;
    for (int age = 364; age >= 1; --age) {
        const unsigned count = draw.below(3);
        for (unsigned n = 0; n < count; ++n) {
            const int productId = 1 + int(draw.below(3));
            const int result = resultCode(draw);
            const Customer &customer = customers[draw.below(customerCount)];
            list.append(make(productId, today.addDays(-age), result, sequence++, customer));
        }
    }
    // Today: the re-delivery outcomes first (the one without a transaction
    // on the server was never processed), then a few ordinary sales.
    const int outcomeProducts[outcomeCount] = {1, 2, 3, 1};
    const int outcomeResults[outcomeCount] = {0, -1, 0, 0};
    for (int n = 0; n < outcomeCount; ++n) {
        list.append(make(outcomeProducts[n], today, outcomeResults[n], sequence++,
                         customers[n % customerCount]));
    }
    const unsigned more = draw.below(3);
    for (unsigned n = 0; n < more; ++n) {
        const int productId = 1 + int(draw.below(3));
        list.append(make(productId, today, resultCode(draw), sequence++,
                         customers[draw.below(customerCount)]));
    }
    return list;
}

// The IDs do not depend on the date, so any day gives them.
const QStringList &outcomeIds()
{
    static const QStringList ids = [] {
        const QList<Transaction> list = generateFrom(QDate(2000, 1, 1));
        QStringList today;
        for (const Transaction &t : list) {
            if (t.date == QDate(2000, 1, 1) && today.size() < outcomeCount)
                today.append(t.id);
        }
        return today;
    }();
    return ids;
}

QString line(const QStringList &fields)
{
    return fields.join(QLatin1Char('|')) + QLatin1String("\r\n");
}

} // namespace

QList<Product> products()
{
    return {
        {1, QStringLiteral("Café Ledger"), QStringLiteral("$49.95")},
        {2, QStringLiteral("Résumé Builder"), QStringLiteral("€19.50")},
        {3, QStringLiteral("Widget Pro"), QStringLiteral("C$1,249.00")},
    };
}

QList<Transaction> generate(QDate today)
{
    return generateFrom(today);
}

QString transactionFor(Redelivery outcome)
{
    return outcomeIds().value(int(outcome));
}

Redelivery redeliveryFor(QStringView transactionId)
{
    const qsizetype index = outcomeIds().indexOf(transactionId.toString());
    return index < 0 ? Redelivery::NoTransaction : Redelivery(index);
}

bool inPeriod(QDate date, int period, QDate today)
{
    switch (period) {
    case 0:
        return date >= today;
    case 1:
        return date > today.addDays(-7);
    case 2:
        return date > today.addMonths(-1);
    case 3:
        return date > today.addYears(-1);
    default:
        return false;
    }
}

QByteArray statisticsAnswer(const QList<Transaction> &transactions, int period, QDate today)
{
    QString answer;
    for (const Product &product : products()) {
        QList<Transaction> sold;
        for (auto t = transactions.crbegin(); t != transactions.crend(); ++t) {
            if (t->productId == product.id && inPeriod(t->date, period, today))
                sold.append(*t);
        }
        if (sold.isEmpty())
            continue;
        for (qsizetype n = 0; n < sold.size(); ++n) {
            const Transaction &t = sold[n];
            const QStringList sale = {t.date.toString(Qt::ISODate), QString::number(t.result), t.id,
                                      t.endUser};
            if (n == 0) {
                answer +=
                    line(QStringList{QStringLiteral("New Product "), QString::number(product.id),
                                     product.caption, QString::number(sold.size())} +
                         sale);
            } else {
                answer += line(QStringList{QString()} + sale);
            }
        }
        answer += QLatin1String("End Products\r\n");
    }
    return Ansi::encode(answer);
}

QByteArray packetFile(const Transaction &transaction, const QString &encryptionKey)
{
    QString caption;
    QString total;
    for (const Product &product : products()) {
        if (product.id == transaction.productId) {
            caption = product.caption;
            total = product.total;
        }
    }
    const QList<std::pair<const char *, QString>> fields = {
        {"Transaction ID:", transaction.id},
        {"Purchase Date:", transaction.date.toString(Qt::ISODate)},
        {"Customer Name:", transaction.endUser},
        {"E-mail Address:", transaction.email},
        {"Product ID:", QString::number(transaction.productId)},
        {"Product:", caption},
        {"Card Number:", QStringLiteral("4111111111111111")},
        {"Expiry Date:", QStringLiteral("12/29")},
        {"Total:", total},
    };
    const QByteArray key = Ansi::encode(encryptionKey);
    QByteArray file;
    for (const auto &[label, value] : fields)
        file += RecordFile::line(label, Ansi::encode(value), key) + "\r\n";
    return file;
}

} // namespace TransactionYear
