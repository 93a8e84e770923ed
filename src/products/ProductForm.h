#pragma once

#include <QString>

// The product editor's fields as the user filled them in: texts as typed,
// list positions as codes (-1 for no selection). The dates are only shown;
// an update never sends them.
struct ProductForm
{
    QString productId;
    QString description;
    QString price;
    QString version;
    int currency = -1;
    int serviceModel = -1;
    bool permitOlder = false;
    bool lock = false;
    QString dateCreated;  // "05/Nov/2002"
    QString dateModified; // "05/Nov/2002"

    bool operator==(const ProductForm &) const = default;
};
