#pragma once

#include <QString>

// Where a product answer goes: the product editor's fields, or a plain
// record. The setters follow the editor's fields; texts come formatted as
// the editor shows them, list positions as codes (-1 for no selection).
class ProductTarget
{
public:
    virtual ~ProductTarget() = default;

    virtual void setProductId(const QString &text) = 0;
    virtual void setDescription(const QString &text) = 0;
    virtual void setVersion(const QString &text) = 0;
    // "$1,234.50"
    virtual void setPrice(const QString &text) = 0;
    // "05/Nov/2002"
    virtual void setDateCreated(const QString &text) = 0;
    virtual void setDateModified(const QString &text) = 0;
    virtual void setPermitOlder(bool checked) = 0;
    virtual void setLock(bool checked) = 0;
    virtual void setServiceModel(int code) = 0;
    virtual void setCurrency(int code) = 0;
};
