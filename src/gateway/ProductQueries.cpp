#include "gateway/ProductQueries.h"
#include "common/PendingEvents.h"
#include "gateway/Amount.h"
#include "gateway/ProductAnswer.h"
#include "gateway/ProductValues.h"
#include "gateway/modProdUpdate.h"
#include "store/modPublic.h"

namespace modProdUpdate {

namespace {

bool SystemLock = false;

QString word(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

qint16 GetProductCount()
{
    const QString url = CentralBaseURL() + QStringLiteral("GetProdCount.asp?DeveloperID=") +
                        queryValue(modPublic::storedDeveloperKey());
    const AnswerFile answer;
    if (!DownloadFile(url, answer.path()))
        return -1;
    const QList<QByteArray> lines = answerLines(answer.readAll());
    if (lines.isEmpty())
        return -1;
    return ProductValues::toCount(lines.first());
}

bool GetProductInfo(qint16 position, ProductTarget &target)
{
    const QString url = CentralBaseURL() + QStringLiteral("GetProductInfo.asp?DeveloperID=") +
                        queryValue(modPublic::storedDeveloperKey()) +
                        QStringLiteral("&ProdCount=") + QString::number(position);
    const AnswerFile answer;
    if (!DownloadFile(url, answer.path()))
        return false;
    PendingEvents::process();
    const std::optional<ProductAnswer> product = ProductAnswer::parse(answer.readAll());
    if (!product)
        return false;
    product->applyTo(target, SystemLock);
    return true;
}

bool IsSystemLocked()
{
    return SystemLock;
}

bool UpdateProduct(qint16 productId, const Amount &price, const QString &description,
                   bool permitOlder, bool lock, int currencyCode, qint16 serviceModelCode,
                   const QString &version)
{
    // The pairs go in this order; every value is percent-encoded so that an
    // "&", "#", "+" or "%" in a text reaches the server as typed.
    const QString url =
        CentralBaseURL() + QStringLiteral("ProductUpdate.asp?CPID=") + QString::number(productId) +
        QStringLiteral("&Cost=") + queryValue(price.plain()) + QStringLiteral("&PO=") +
        word(permitOlder) + QStringLiteral("&LP=") + word(lock) + QStringLiteral("&CurType=") +
        QString::number(currencyCode) + QStringLiteral("&SM=") + QString::number(serviceModelCode) +
        QStringLiteral("&CurVer=") + queryValue(version) + QStringLiteral("&PDesc=") +
        queryValue(description) + QStringLiteral("&DeveloperID=") +
        queryValue(modPublic::storedDeveloperKey());
    const AnswerFile answer;
    return DownloadFile(url, answer.path());
}

} // namespace modProdUpdate
