#include "cli/Cli.h"
#include "store/modPublic.h"

#include "gateway/Amount.h"
#include "gateway/ProductQueries.h"
#include "gateway/ProductRecord.h"
#include "gateway/ProductValues.h"
#include "gateway/modProdUpdate.h"
#include "products/ProductRules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Cli {

namespace {

const QString countFailure =
    QStringLiteral("There has been an error retrieving your account information. "
                   "The processing server may not be available at this time.");
const QString productFailure =
    QStringLiteral("There was an error retrieving the product information.");

QString booleanText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString codeText(int code, const QStringList &items)
{
    return QStringLiteral("%1 (%2)").arg(code).arg(
        code >= 0 && code < items.size() ? items.at(code) : QStringLiteral("none"));
}

QJsonObject toJson(const ProductRecord &record)
{
    return QJsonObject{
        {QStringLiteral("CPID"), record.productId},
        {QStringLiteral("PDesc"), record.description},
        {QStringLiteral("Cost"), record.price},
        {QStringLiteral("CurType"), record.currency},
        {QStringLiteral("SM"), record.serviceModel},
        {QStringLiteral("CurVer"), record.version},
        {QStringLiteral("DteC"), record.dateCreated},
        {QStringLiteral("DteE"), record.dateModified},
        {QStringLiteral("LP"), record.lock},
        {QStringLiteral("PO"), record.permitOlder},
        {QStringLiteral("SysLock"), record.systemLock},
    };
}

void printRecord(const ProductRecord &record)
{
    out(QStringLiteral("CPID: ") + record.productId);
    out(QStringLiteral("PDesc: ") + record.description);
    out(QStringLiteral("Cost: ") + record.price);
    out(QStringLiteral("CurType: ") + codeText(record.currency, ProductValues::currencyItems()));
    out(QStringLiteral("SM: ") + codeText(record.serviceModel, ProductValues::serviceModelItems()));
    out(QStringLiteral("CurVer: ") + record.version);
    out(QStringLiteral("DteC: ") + record.dateCreated);
    out(QStringLiteral("DteE: ") + record.dateModified);
    out(QStringLiteral("LP: ") + booleanText(record.lock));
    out(QStringLiteral("PO: ") + booleanText(record.permitOlder));
    out(QStringLiteral("SysLock: ") + booleanText(record.systemLock));
}

void printJson(const QJsonDocument &document)
{
    outText(QString::fromUtf8(document.toJson(QJsonDocument::Indented)).trimmed());
}

// A product as the server gives it; the system lock is the one in force
// after its answer.
bool fetchProduct(qint16 position, ProductRecord &record)
{
    if (!modProdUpdate::GetProductInfo(position, record))
        return false;
    record.systemLock = modProdUpdate::IsSystemLocked();
    return true;
}

// Starts a product subcommand: parses, refuses positional arguments beyond
// `positionals` and passes the login guard.
int begin(Command &command, const QStringList &arguments, int positionals)
{
    command.addLoginOption();
    if (const int done = command.parse(arguments); done >= 0)
        return done;
    if (command.positional().size() != positionals)
        return command.usageError(positionals == 0 ? QStringLiteral("unexpected argument")
                                                   : QStringLiteral("give the product's position"));
    Settings settings;
    return readStoreWithLogin(command, settings, modPublic::storeFailureText());
}

int productsCount(const QStringList &arguments)
{
    Command command(QStringLiteral("products count"),
                    QStringLiteral("Show how many products the central server holds for you."));
    if (const int done = begin(command, arguments, 0); done >= 0)
        return done;
    const qint16 count = modProdUpdate::GetProductCount();
    if (count < 0)
        return failRequest(countFailure);
    out(QString::number(count));
    return Success;
}

int productsShow(const QStringList &arguments)
{
    Command command(QStringLiteral("products show"),
                    QStringLiteral("Show the product at a position (1 is the first)."));
    command.addPositional(QStringLiteral("N"), QStringLiteral("Position of the product."));
    command.addOption({QStringLiteral("json"), QStringLiteral("Print the product as JSON.")});
    if (const int done = begin(command, arguments, 1); done >= 0)
        return done;
    bool ok = false;
    const int position = command.positional().first().toInt(&ok);
    if (!ok || position < 1 || position > 32767)
        return command.usageError(QStringLiteral("the position must be a number from 1 to 32767"));
    ProductRecord record;
    if (!fetchProduct(qint16(position), record))
        return failRequest(productFailure);
    if (command.isSet(QStringLiteral("json")))
        printJson(QJsonDocument(toJson(record)));
    else
        printRecord(record);
    return Success;
}

int productsList(const QStringList &arguments)
{
    Command command(QStringLiteral("products list"), QStringLiteral("Show every product."));
    command.addOption({QStringLiteral("json"), QStringLiteral("Print the products as JSON.")});
    if (const int done = begin(command, arguments, 0); done >= 0)
        return done;
    const qint16 count = modProdUpdate::GetProductCount();
    if (count < 0)
        return failRequest(countFailure);
    QList<ProductRecord> records;
    for (qint16 position = 1; position <= count; ++position) {
        ProductRecord record;
        if (!fetchProduct(position, record))
            return fail(productFailure +
                        QStringLiteral(" (product %1 of %2)").arg(position).arg(count));
        records.append(record);
    }
    if (command.isSet(QStringLiteral("json"))) {
        QJsonArray array;
        for (const ProductRecord &record : records)
            array.append(toJson(record));
        printJson(QJsonDocument(array));
        return Success;
    }
    for (qsizetype i = 0; i < records.size(); ++i) {
        if (i > 0)
            out(QString());
        out(QStringLiteral("Product %1/%2").arg(i + 1).arg(count));
        printRecord(records.at(i));
    }
    return Success;
}

// A list code given as its number or its short name; -1 when it is neither.
int codeOption(const QString &value, const QStringList &names)
{
    bool ok = false;
    const int code = value.toInt(&ok);
    if (ok)
        return code >= 0 && code < names.size() ? code : -1;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (value.compare(names.at(i), Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

int productsUpdate(const QStringList &arguments)
{
    Command command(QStringLiteral("products update"),
                    QStringLiteral("Add a product or change one on the central server, after "
                                   "the checks the product editor makes before saving."));
    command.addOption({QStringLiteral("id"),
                       QStringLiteral("Product ID (a new product takes "
                                      "the count plus one)."),
                       QStringLiteral("N")});
    command.addOption({QStringLiteral("price"), QStringLiteral("Price, as 19.95 or $1,234.50."),
                       QStringLiteral("P")});
    command.addOption({QStringLiteral("description"),
                       QStringLiteral("Description of the product (internal use)."),
                       QStringLiteral("D")});
    command.addOption({QStringLiteral("version"),
                       QStringLiteral("Most recent version: digits and periods."),
                       QStringLiteral("V")});
    command.addOption({QStringLiteral("currency"),
                       QStringLiteral("Currency: 0 USD, 1 CAD, 2 EUR, 3 AUD."),
                       QStringLiteral("CODE")});
    command.addOption({QStringLiteral("service-model"),
                       QStringLiteral("Service model: 0 basic, 1 standard, 2 reseller."),
                       QStringLiteral("CODE")});
    command.addOption({QStringLiteral("permit-older"),
                       QStringLiteral("Allow previous versions to be registered.")});
    command.addOption({QStringLiteral("lock"),
                       QStringLiteral("Lock the product: it can no longer be purchased.")});
    command.addLoginOption();
    if (const int done = command.parse(arguments); done >= 0)
        return done;
    if (!command.positional().isEmpty())
        return command.usageError(QStringLiteral("unexpected argument"));

    ProductForm form;
    form.productId = command.value(QStringLiteral("id"));
    form.price = command.value(QStringLiteral("price"));
    form.description = command.value(QStringLiteral("description"));
    form.version = command.value(QStringLiteral("version"));
    form.permitOlder = command.isSet(QStringLiteral("permit-older"));
    form.lock = command.isSet(QStringLiteral("lock"));
    if (command.isSet(QStringLiteral("currency"))) {
        form.currency = codeOption(command.value(QStringLiteral("currency")),
                                   {QStringLiteral("USD"), QStringLiteral("CAD"),
                                    QStringLiteral("EUR"), QStringLiteral("AUD")});
        if (form.currency < 0)
            return command.usageError(
                QStringLiteral("--currency takes 0 to 3 or USD, CAD, EUR, AUD"));
    }
    if (command.isSet(QStringLiteral("service-model"))) {
        form.serviceModel = codeOption(
            command.value(QStringLiteral("service-model")),
            {QStringLiteral("basic"), QStringLiteral("standard"), QStringLiteral("reseller")});
        if (form.serviceModel < 0)
            return command.usageError(
                QStringLiteral("--service-model takes 0 to 2 or basic, standard, reseller"));
    }
    if (const ProductRules::Check refusal = ProductRules::saveChecks(form))
        return fail(refusal->title + QStringLiteral(": ") +
                    refusal->text.split(QStringLiteral("\r\n")).join(QLatin1Char(' ')));

    Settings settings;
    if (const int done = readStoreWithLogin(command, settings, modPublic::storeFailureText());
        done >= 0)
        return done;
    if (!modProdUpdate::UpdateProduct(*ProductRules::productIdValue(form.productId),
                                      *Amount::parse(form.price), form.description,
                                      form.permitOlder, form.lock, form.currency,
                                      qint16(form.serviceModel), form.version))
        return failRequest(
            QStringLiteral("Update Not Successful: The product could not be updated."));
    out(QStringLiteral("The product has been updated."));
    return Success;
}

} // namespace

int products(const QStringList &arguments)
{
    const QString action = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    if (action == QLatin1String("count"))
        return productsCount(rest);
    if (action == QLatin1String("show"))
        return productsShow(rest);
    if (action == QLatin1String("list"))
        return productsList(rest);
    if (action == QLatin1String("update"))
        return productsUpdate(rest);
    if (action == QLatin1String("--help") || action == QLatin1String("-h")) {
        outText(QStringLiteral("Usage: varnell products count|show|list|update [options]\n\n"
                               "  count    Show how many products the central server holds\n"
                               "  show N   Show the product at position N\n"
                               "  list     Show every product\n"
                               "  update   Add or change a product\n\n"
                               "Run 'varnell products <action> --help' for its options."));
        return Success;
    }
    error(action.isEmpty() ? QStringLiteral("products needs an action: count, show, list or update")
                           : QStringLiteral("unknown products action '%1'").arg(action));
    return UsageError;
}

} // namespace Cli
