#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <optional>

// The developer's products as the central server keeps them, addressed by
// their 1-based position. Kept in a small JSON file that is replaced whole
// on every change.
class Catalogue
{
public:
    struct Product
    {
        int id = 0;                // CPID
        QString description;       // PDesc
        QString cost;              // Cost, as the developer sent it
        int currency = 0;          // CurType, 0 to 3
        int serviceModel = 0;      // SM, 0 to 2
        QString version;           // CurVer
        QDate created;             // DteC
        QDate modified;            // DteE
        bool locked = false;       // LP
        bool permitOlder = false;  // PO
        bool systemLocked = false; // SysLock, set only by the gateway's administrator
    };

    enum class Change
    {
        Added,
        Changed,
        SystemLocked,
        UnknownProduct,
        Invalid,
        NotSaved
    };

    explicit Catalogue(const QString &filePath);

    // Four products, the last one locked by the administrator; no
    // description holds the byte 0xDF, which would split the product answer.
    static QList<Product> seed();

    // Reads the file. A missing file gives the seed. A file that cannot be
    // read or holds no valid catalogue is renamed to "<file>.bad" (so nothing
    // is lost) and the seed is used; the returned text then says so, and is
    // empty otherwise.
    QString load();

    QString filePath() const { return m_filePath; }
    qsizetype count() const { return m_products.size(); }
    std::optional<Product> at(qsizetype position) const;

    // An ID that the catalogue holds changes that product (its creation date
    // stays, its modification date becomes today) unless it is system-locked;
    // an ID one above the count adds a product created today. The dates and
    // the system lock of the product given are not used; an ID, currency or
    // service model out of range changes nothing. The file is written
    // before the change counts; when that fails, nothing changes.
    Change apply(const Product &product, QDate today, QString *error = nullptr);

    static QByteArray toJson(const QList<Product> &products);
    static std::optional<QList<Product>> fromJson(const QByteArray &json, QString *error);

private:
    QString m_filePath;
    QList<Product> m_products;
};
