#include "products/ProductRules.h"

#include "common/Ansi.h"
#include "gateway/Amount.h"

#include <algorithm>

namespace ProductRules {

namespace {

using Messages::Icon;

Refusal invalidFormat(const QString &text)
{
    return {Icon::Information, QStringLiteral("Invalid Format"), text};
}

} // namespace

Check missingInformation(const ProductForm &form)
{
    if (form.productId.isEmpty() || form.description.isEmpty() || form.price.isEmpty() ||
        form.version.isEmpty() || form.currency < 0 || form.serviceModel < 0)
        return Refusal{Icon::Information, QStringLiteral("Missing Information"),
                       QStringLiteral("All fields must be filled out to add or update a product.")};
    return std::nullopt;
}

std::optional<qint16> productIdValue(const QString &text)
{
    const std::optional<Amount> number = Amount::parse(text);
    if (!number || number->tenThousandths() % 10000 != 0)
        return std::nullopt;
    const qint64 whole = number->tenThousandths() / 10000;
    if (whole < 1 || whole > 32767)
        return std::nullopt;
    return qint16(whole);
}

Check validateProductId(const QString &text)
{
    if (text.isEmpty() || Amount::parse(text))
        return std::nullopt;
    return invalidFormat(QStringLiteral("The Product ID must be numeric."));
}

Check validateVersion(const QString &text)
{
    for (QChar c : text) {
        if ((c < QLatin1Char('0') || c > QLatin1Char('9')) && c != QLatin1Char('.'))
            return Refusal{
                Icon::Information, QStringLiteral("Invalid Version"),
                QStringLiteral("You can only include numbers and periods in the version field.")};
    }
    return std::nullopt;
}

Check validatePrice(const QString &text)
{
    if (text.isEmpty() || Amount::parse(text))
        return std::nullopt;
    return invalidFormat(QStringLiteral("The Price must be a numeric value."));
}

Check validateDescription(const QString &text)
{
    const QString title = QStringLiteral("Invalid Description");
    if (!Ansi::canEncode(text))
        return Refusal{Icon::Information, title,
                       QStringLiteral("The description holds characters that cannot be sent to "
                                      "the server.")};
    // The server keeps each product on one line: a line break or another
    // control character would leave the product unreadable.
    const auto isControl = [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; };
    if (std::any_of(text.begin(), text.end(), isControl))
        return Refusal{Icon::Information, title,
                       QStringLiteral("The description cannot include line breaks, tabs or other "
                                      "control characters.")};
    if (text.contains(QChar(0xDF)))
        return Refusal{Icon::Information, title,
                       QStringLiteral("The description cannot include the letter \u00DF, which "
                                      "the server uses to separate a product's values.")};
    return std::nullopt;
}

Check validateProduct(int serviceModel, int currency, const Amount &price)
{
    if (serviceModel == resellerService) {
        if (currency != 0 && currency != 1)
            return Refusal{Icon::Exclamation, QStringLiteral("Invalid Selection"),
                           QStringLiteral("The only available currencies available for the "
                                          "reseller service are US Dollars and Canadian Dollars.")};
        if (price < Amount::fromTenThousandths(10000))
            return Refusal{Icon::Exclamation, QStringLiteral("Invalid Option"),
                           QStringLiteral("The purchase price of a product using the reseller "
                                          "service cannot be less than $1.00")};
    }
    if (price <= Amount())
        return Refusal{Icon::Information, QStringLiteral("Invalid Price"),
                       QStringLiteral("The price of the product must be greater than $0.00")};
    return std::nullopt;
}

Check sendable(const ProductForm &form)
{
    // An ID that the update cannot carry (beyond 16 bits, not whole, below
    // 1) is refused as one that is no number: nothing wrapped is ever sent.
    if (!productIdValue(form.productId))
        return invalidFormat(QStringLiteral("The Product ID must be numeric."));
    if (Check refusal = validateVersion(form.version))
        return refusal;
    if (!Amount::parse(form.price))
        return invalidFormat(QStringLiteral("The Price must be a numeric value."));
    return validateDescription(form.description);
}

Check saveChecks(const ProductForm &form)
{
    if (Check refusal = missingInformation(form))
        return refusal;
    if (Check refusal = sendable(form))
        return refusal;
    return validateProduct(form.serviceModel, form.currency, *Amount::parse(form.price));
}

} // namespace ProductRules
