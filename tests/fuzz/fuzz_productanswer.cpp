// The product answer: the first line's twelve pieces applied to a product
// record whole or not at all, the amounts and dates in them, and the count
// answer.
#include "FuzzSupport.h"

#include "common/Ansi.h"
#include "gateway/Amount.h"
#include "gateway/ProductAnswer.h"
#include "gateway/ProductRecord.h"
#include "gateway/ProductValues.h"
#include "gateway/modProdUpdate.h"

#include <QRegularExpression>

#include <optional>

namespace {

const char separator = char(0xDF);

// A record whose every field differs from anything an answer can set, so
// that a field left alone shows.
ProductRecord untouched()
{
    ProductRecord record;
    for (QString *text : {&record.productId, &record.description, &record.price, &record.version,
                          &record.dateCreated, &record.dateModified})
        *text = QStringLiteral("\x01untouched");
    record.currency = 99;
    record.serviceModel = 99;
    return record;
}

std::optional<ProductRecord> applied(const QByteArray &answer)
{
    const std::optional<ProductAnswer> parsed = ProductAnswer::parse(answer);
    if (!parsed)
        return std::nullopt;
    ProductRecord record = untouched();
    parsed->applyTo(record, record.systemLock);
    return record;
}

// The pieces that hold "=", as key and value.
using Pieces = QList<std::pair<QString, QString>>;

// The value of the last piece with this key, the one an answer applies.
std::optional<QString> lastValue(const Pieces &pieces, QLatin1String key)
{
    std::optional<QString> value;
    for (const auto &[pieceKey, pieceValue] : pieces) {
        if (pieceKey == key)
            value = pieceValue;
    }
    return value;
}

// Amounts read back from their own written forms: the plain form gives the
// same amount, the shown form the amount rounded to cents, half away from
// zero.
void checkAmount(const QString &text)
{
    const std::optional<Amount> amount = Amount::parse(text);
    if (!amount)
        return;
    FUZZ_CHECK(Amount::parse(amount->plain()) == amount);
    const qint64 value = amount->tenThousandths();
    const qint64 magnitude = (value < 0 ? -value : value) + 50;
    const qint64 cents = (value < 0 ? -1 : 1) * (magnitude - magnitude % 100);
    FUZZ_CHECK(Amount::parse(amount->shown()) == Amount::fromTenThousandths(cents));
}

void checkFieldForms(const ProductRecord &record)
{
    static const QRegularExpression price(
        QStringLiteral("^-?\\$[0-9]{1,3}(,[0-9]{3})*\\.[0-9]{2}\\z"));
    static const QRegularExpression date(QStringLiteral(
        "^[0-3][0-9]/(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)/[0-9]{4}\\z"));
    const QString untouchedText = untouched().price;
    FUZZ_CHECK(record.price == untouchedText || price.match(record.price).hasMatch());
    for (const QString *shown : {&record.dateCreated, &record.dateModified})
        FUZZ_CHECK(*shown == untouchedText || date.match(*shown).hasMatch());
    FUZZ_CHECK(record.currency == 99 ||
               (record.currency >= -1 && record.currency <= ProductValues::lastCurrencyCode));
    FUZZ_CHECK(
        record.serviceModel == 99 ||
        (record.serviceModel >= -1 && record.serviceModel <= ProductValues::lastServiceModelCode));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray answer = FuzzSupport::bytes(data, size);
    const QList<QByteArray> lines = modProdUpdate::answerLines(answer);
    const QByteArray first = lines.value(0);
    const QList<QByteArray> rawPieces = first.split(separator);
    Pieces pieces;
    for (const QByteArray &raw : rawPieces) {
        const QString text = Ansi::decode(raw);
        const qsizetype equals = text.indexOf(QLatin1Char('='));
        if (equals >= 0)
            pieces.append({text.left(equals), text.mid(equals + 1)});
        checkAmount(text.mid(equals + 1));
    }

    const std::optional<ProductRecord> record = applied(answer);
    // Only a first line of exactly twelve pieces is taken; what follows it
    // changes nothing.
    FUZZ_CHECK(!record || rawPieces.size() == 12);
    if (lines.size() > 1)
        FUZZ_CHECK(applied(first) == record);

    if (record) {
        checkFieldForms(*record);
        // Texts are taken as they stand, the last of a repeated key winning;
        // a key the answer does not carry leaves its field alone.
        const std::pair<QLatin1String, QString ProductRecord::*> texts[] = {
            {QLatin1String("CPID"), &ProductRecord::productId},
            {QLatin1String("PDesc"), &ProductRecord::description},
            {QLatin1String("CurVer"), &ProductRecord::version},
        };
        for (const auto &[key, field] : texts)
            FUZZ_CHECK((*record).*field == lastValue(pieces, key).value_or(untouched().*field));
        const std::pair<QLatin1String, bool> otherKeys[] = {
            {QLatin1String("Cost"), record->price != untouched().price},
            {QLatin1String("DteC"), record->dateCreated != untouched().dateCreated},
            {QLatin1String("DteE"), record->dateModified != untouched().dateModified},
            {QLatin1String("CurType"), record->currency != 99},
            {QLatin1String("SM"), record->serviceModel != 99},
        };
        for (const auto &[key, changed] : otherKeys)
            FUZZ_CHECK(lastValue(pieces, key).has_value() == changed);
    }

    // The count answer's first line: a count of 0 to 32767, or -1; spaces
    // around it change nothing.
    const qint16 count = ProductValues::toCount(first);
    FUZZ_CHECK(count >= -1);
    FUZZ_CHECK(ProductValues::toCount(' ' + first + "  ") == count);
    return 0;
}
