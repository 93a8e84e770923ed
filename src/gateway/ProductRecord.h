#pragma once

#include "gateway/ProductTarget.h"

// The eleven fields of one product, held as the editor shows them. A fresh
// record has empty texts, no selections and clear boxes; an answer sets only
// the fields whose keys it carries.
struct ProductRecord final : public ProductTarget
{
    QString productId;        // CPID
    QString description;      // PDesc
    QString price;            // Cost, "$1,234.50"
    int currency = -1;        // CurType
    int serviceModel = -1;    // SM
    QString version;          // CurVer
    QString dateCreated;      // DteC, "05/Nov/2002"
    QString dateModified;     // DteE
    bool lock = false;        // LP
    bool permitOlder = false; // PO
    bool systemLock = false;  // SysLock

    void setProductId(const QString &text) override { productId = text; }
    void setDescription(const QString &text) override { description = text; }
    void setVersion(const QString &text) override { version = text; }
    void setPrice(const QString &text) override { price = text; }
    void setDateCreated(const QString &text) override { dateCreated = text; }
    void setDateModified(const QString &text) override { dateModified = text; }
    void setPermitOlder(bool checked) override { permitOlder = checked; }
    void setLock(bool checked) override { lock = checked; }
    void setServiceModel(int code) override { serviceModel = code; }
    void setCurrency(int code) override { currency = code; }

    bool operator==(const ProductRecord &other) const
    {
        return productId == other.productId && description == other.description &&
               price == other.price && currency == other.currency &&
               serviceModel == other.serviceModel && version == other.version &&
               dateCreated == other.dateCreated && dateModified == other.dateModified &&
               lock == other.lock && permitOlder == other.permitOlder &&
               systemLock == other.systemLock;
    }
};
