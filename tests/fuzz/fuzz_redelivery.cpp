// The re-delivery request: what the developer is told for a server's
// answer, and the transaction ID taken back out of a transaction node's text
// into the request's body.
#include "FuzzSupport.h"

#include "common/Ansi.h"
#include "statistics/Redelivery.h"
#include "statistics/modStatistics.h"

#include <QStringList>

namespace {

// The titles in the order in which their words are looked for.
const QStringList titles = {QStringLiteral("Request Sent"), QStringLiteral("Invalid Request"),
                            QStringLiteral("No email address"),
                            QStringLiteral("No Available Packet"),
                            QStringLiteral("Unknown Server Response")};

qsizetype rank(const QString &answer)
{
    const qsizetype found = titles.indexOf(modStatistics::classifyRequestAnswer(answer).title);
    FUZZ_CHECK(found >= 0);
    return found;
}

bool isUnreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The body carries the ID in bytes that cannot end the form's field or
// start another, and decodes back to the ID's Windows-1252 bytes.
void checkBody(const QString &transactionId)
{
    const QByteArray body = modStatistics::requestPackBody(transactionId);
    FUZZ_CHECK(body.startsWith("TID="));
    const QByteArray value = body.mid(4);
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '%') {
            FUZZ_CHECK(i + 2 < value.size() && isHexDigit(value[i + 1]) &&
                       isHexDigit(value[i + 2]));
            i += 2;
        } else {
            FUZZ_CHECK(isUnreserved(value[i]));
        }
    }
    FUZZ_CHECK(QByteArray::fromPercentEncoding(value) == Ansi::encode(transactionId));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input = FuzzSupport::bytes(data, size);

    // An answer is told by the first of the words it holds, wherever they
    // stand: two answers joined with a character that no word holds are told
    // as the one of them whose word comes first.
    const QString answer = Ansi::decode(input);
    const QString front = answer.left(answer.size() / 2);
    const QString back = answer.mid(answer.size() / 2);
    FUZZ_CHECK(rank(front + QChar(0) + back) == qMin(rank(front), rank(back)));

    // The input as a statistics line's date|transaction ID|end user: the node
    // text of such a transaction gives its ID back without the blanks at its
    // edges, unless a label's words stand inside the fields.
    const QStringList fields = answer.split(QLatin1Char('|'));
    modStatistics::Transaction t;
    t.result = QStringLiteral("Success");
    if (fields.size() >= 3) {
        t.date = fields[0];
        t.transactionId = fields[1];
        t.endUser = fields.mid(2).join(QLatin1Char('|'));
    } else {
        t.transactionId = answer;
    }
    const QString text = modStatistics::transactionText(t);
    FUZZ_CHECK(modStatistics::isTransactionNode(text));
    // A product node is no transaction, whatever its caption but that label.
    FUZZ_CHECK(modStatistics::isTransactionNode(modStatistics::productText(1, answer)) ==
               answer.contains(QLatin1String("Transaction ID")));
    const QString id = modStatistics::transactionIdFromNodeText(text);
    if (!t.date.contains(QLatin1String("Transaction ID")) &&
        !t.transactionId.contains(QLatin1String("End UserName")))
        FUZZ_CHECK(id == modStatistics::trimBlanks(t.transactionId));
    checkBody(id);
    return 0;
}
