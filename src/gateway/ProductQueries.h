#pragma once

#include <QString>

class Amount;
class ProductTarget;

// The product queries and the product update on the central server, over
// modProdUpdate's transport. Each reads the developer key from the store at
// the moment of the request.
namespace modProdUpdate {

// The number of the developer's products, or -1 on failure (unreachable
// server, empty answer, an answer that is not a count of 0 to 32767).
qint16 GetProductCount();

// Fetches the product at the 1-based position and applies its answer to the
// target. True when a well-formed answer was applied; on false the target
// and the system lock are untouched.
bool GetProductInfo(qint16 position, ProductTarget &target);

// Whether the last product answer that carried SysLock said the product is
// locked by the gateway's administrator; false at start.
bool IsSystemLocked();

// Adds or changes a product on the central server. True when the request's
// download succeeded; the answer is not read.
bool UpdateProduct(qint16 productId, const Amount &price, const QString &description,
                   bool permitOlder, bool lock, int currencyCode, qint16 serviceModelCode,
                   const QString &version);

} // namespace modProdUpdate
