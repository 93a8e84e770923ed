#include "sandbox/Catalogue.h"

#include "common/SafeFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace {

QString isoDate(QDate date)
{
    return date.toString(Qt::ISODate);
}

bool validProduct(const Catalogue::Product &p)
{
    return p.id >= 1 && p.id <= 32767 && p.currency >= 0 && p.currency <= 3 &&
           p.serviceModel >= 0 && p.serviceModel <= 2 && p.created.isValid() &&
           p.modified.isValid();
}

} // namespace

Catalogue::Catalogue(const QString &filePath) : m_filePath(filePath) {}

QList<Catalogue::Product> Catalogue::seed()
{
    return {
        {1, QStringLiteral("Café Ledger"), QStringLiteral("49.95"), 0, 1, QStringLiteral("3.2.1"),
         QDate(2021, 3, 14), QDate(2024, 11, 2), false, true, false},
        {2, QStringLiteral("Résumé Builder"), QStringLiteral("19.5"), 2, 0, QStringLiteral("1.0.4"),
         QDate(2022, 6, 1), QDate(2023, 9, 17), false, false, false},
        {3, QStringLiteral("Widget Pro"), QStringLiteral("1249"), 1, 2, QStringLiteral("5.0"),
         QDate(2020, 1, 20), QDate(2024, 5, 5), true, true, false},
        {4, QStringLiteral("Crème Archiver (retired)"), QStringLiteral("9.99"), 3, 0,
         QStringLiteral("0.9"), QDate(2018, 2, 2), QDate(2019, 12, 31), true, false, true},
    };
}

QString Catalogue::load()
{
    m_products = seed();
    QFile file(m_filePath);
    if (!file.exists())
        return QString();

    QString error;
    std::optional<QList<Product>> products;
    if (!file.open(QIODevice::ReadOnly))
        error = file.errorString();
    else if (file.size() > 16 * 1024 * 1024)
        error = QStringLiteral("the file is too large");
    else
        products = fromJson(file.readAll(), &error);
    file.close();
    if (products) {
        m_products = *products;
        return QString();
    }

    const QString aside = m_filePath + QStringLiteral(".bad");
    QFile::remove(aside);
    const bool moved = QFile::rename(m_filePath, aside);
    return QStringLiteral("The catalogue %1 cannot be read (%2); starting from the seed%3.")
        .arg(m_filePath, error,
             moved ? QStringLiteral(", the file was moved to ") + aside : QString());
}

std::optional<Catalogue::Product> Catalogue::at(qsizetype position) const
{
    if (position < 1 || position > m_products.size())
        return std::nullopt;
    return m_products[position - 1];
}

Catalogue::Change Catalogue::apply(const Product &product, QDate today, QString *error)
{
    Product candidate = product;
    candidate.created = today;
    candidate.modified = today;
    if (!validProduct(candidate))
        return Change::Invalid;

    QList<Product> next = m_products;
    Change change = Change::UnknownProduct;
    for (Product &existing : next) {
        if (existing.id != product.id)
            continue;
        if (existing.systemLocked)
            return Change::SystemLocked;
        Product changed = product;
        changed.created = existing.created;
        changed.modified = today;
        changed.systemLocked = false;
        existing = changed;
        change = Change::Changed;
        break;
    }
    if (change == Change::UnknownProduct) {
        if (product.id != next.size() + 1)
            return Change::UnknownProduct;
        Product added = product;
        added.created = today;
        added.modified = today;
        added.systemLocked = false;
        next.append(added);
        change = Change::Added;
    }
    if (const SafeFile::Result saved = SafeFile::write(m_filePath, toJson(next)); !saved) {
        if (error)
            *error = saved.error;
        return Change::NotSaved;
    }
    m_products = next;
    return change;
}

QByteArray Catalogue::toJson(const QList<Product> &products)
{
    QJsonArray list;
    for (const Product &p : products) {
        list.append(QJsonObject{
            {QStringLiteral("CPID"), p.id},
            {QStringLiteral("PDesc"), p.description},
            {QStringLiteral("Cost"), p.cost},
            {QStringLiteral("CurType"), p.currency},
            {QStringLiteral("SM"), p.serviceModel},
            {QStringLiteral("CurVer"), p.version},
            {QStringLiteral("DteC"), isoDate(p.created)},
            {QStringLiteral("DteE"), isoDate(p.modified)},
            {QStringLiteral("LP"), p.locked},
            {QStringLiteral("PO"), p.permitOlder},
            {QStringLiteral("SysLock"), p.systemLocked},
        });
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("products"), list}}).toJson();
}

std::optional<QList<Catalogue::Product>> Catalogue::fromJson(const QByteArray &json, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (document.isNull()) {
        *error = parseError.errorString();
        return std::nullopt;
    }
    const QJsonValue list = document.object().value(QStringLiteral("products"));
    if (!list.isArray()) {
        *error = QStringLiteral("no product list");
        return std::nullopt;
    }

    QList<Product> products;
    QSet<int> ids;
    for (const QJsonValue &entry : list.toArray()) {
        const QJsonObject o = entry.toObject();
        const auto text = [&o](const char *key) { return o.value(QLatin1String(key)); };
        const bool typed = text("CPID").isDouble() && text("PDesc").isString() &&
                           text("Cost").isString() && text("CurType").isDouble() &&
                           text("SM").isDouble() && text("CurVer").isString() &&
                           text("DteC").isString() && text("DteE").isString() &&
                           text("LP").isBool() && text("PO").isBool() && text("SysLock").isBool();
        Product p;
        if (typed) {
            p = Product{text("CPID").toInt(),
                        text("PDesc").toString(),
                        text("Cost").toString(),
                        text("CurType").toInt(-1),
                        text("SM").toInt(-1),
                        text("CurVer").toString(),
                        QDate::fromString(text("DteC").toString(), Qt::ISODate),
                        QDate::fromString(text("DteE").toString(), Qt::ISODate),
                        text("LP").toBool(),
                        text("PO").toBool(),
                        text("SysLock").toBool()};
        }
        if (!typed || !validProduct(p) || ids.contains(p.id)) {
            *error = QStringLiteral("product %1 is not valid").arg(products.size() + 1);
            return std::nullopt;
        }
        ids.insert(p.id);
        products.append(p);
    }
    return products;
}
