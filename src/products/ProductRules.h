#pragma once

#include "common/Messages.h"
#include "products/ProductForm.h"

#include <QString>

#include <optional>

class Amount;

// The checks the product editor makes before it saves, shared by the editor
// and `varnell products update`. Each gives the message to show when it
// refuses, and no value when the input passes.
namespace ProductRules {

struct Refusal
{
    Messages::Icon icon;
    QString title;
    QString text;
};
using Check = std::optional<Refusal>;

inline constexpr int resellerService = 2;

// An empty text or a list without selection. A field of blanks is not empty.
Check missingInformation(const ProductForm &form);
// Leaving the product ID field: a number (empty passes).
Check validateProductId(const QString &text);
// Leaving the version field: digits and periods only (empty passes).
Check validateVersion(const QString &text);
// Leaving the price field: an amount, written plain or as "$1,234.50".
Check validatePrice(const QString &text);
// A description the server can store and give back: every character has a
// Windows-1252 byte, and none is the answer's separator "ß".
Check validateDescription(const QString &text);
// The reseller rules and a price above zero.
Check validateProduct(int serviceModel, int currency, const Amount &price);

// The values of a filled-in form convert to what the update sends: the
// product ID (productIdValue), a version of digits and periods, the price as
// an amount and a description the server can keep.
Check sendable(const ProductForm &form);

// Everything Save checks, in the order the user meets it; the form is ready
// to send when this passes: its product ID converts (productIdValue) and its
// price reads as an amount.
Check saveChecks(const ProductForm &form);

// The product ID as the update sends it: a whole number from 1 to 32767.
std::optional<qint16> productIdValue(const QString &text);

} // namespace ProductRules
