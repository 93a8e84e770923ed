#include "sandbox/SandboxGateway.h"

#include "BuildConfig.h"
#include "common/Ansi.h"
#include "sandbox/SandboxAccount.h"
#include "sandbox/TransactionYear.h"

#include <QDir>
#include <QTemporaryFile>

#include <optional>

#include <cstdio>
#include <unistd.h>

namespace {

using Answer = SandboxGateway::Answer;

Answer text(const char *line, int status = 200)
{
    return Answer{status, QByteArray(line) + "\r\n"};
}

Answer notFound()
{
    return text("Not Found", 404);
}

bool knownDeveloper(const RequestTarget &target)
{
    return Ansi::decode(target.queryValue("DeveloperID")) == SandboxAccount::developerKey();
}

std::optional<int> integer(const QByteArray &value, int low, int high)
{
    bool ok = false;
    const int number = value.toInt(&ok);
    if (!ok || number < low || number > high)
        return std::nullopt;
    return number;
}

// A number, or the words True and False in any letter case.
std::optional<bool> boolean(const QByteArray &value)
{
    const QByteArray word = value.toLower();
    if (word == "true")
        return true;
    if (word == "false")
        return false;
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return number != 0;
}

// Writes a packet into the outbox whole or not at all, and never through a
// link: the bytes go to a new file of a fresh name (made with O_EXCL, so no
// planted file or link is opened), which rename() then puts in place. A
// link that has the packet's name is replaced, and what it points to stays
// untouched.
bool writePacket(const QString &folder, const QString &name, const QByteArray &packet)
{
    if (!QDir().mkpath(folder))
        return false;
    const QString path = QDir(folder).filePath(name);
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open() || file.write(packet) != packet.size() || !file.flush() ||
        ::fsync(file.handle()) != 0)
        return false;
    if (std::rename(QFile::encodeName(file.fileName()).constData(),
                    QFile::encodeName(path).constData()) != 0)
        return false;
    file.setAutoRemove(false);
    return true;
}

bool isAmount(const QByteArray &value)
{
    bool ok = false;
    const double amount = value.toDouble(&ok);
    return ok && amount >= 0 && amount < 1e12;
}

} // namespace

SandboxGateway::SandboxGateway(Catalogue *catalogue, const QString &outboxDir)
    : m_catalogue(catalogue), m_outboxDir(outboxDir)
{}

bool SandboxGateway::isCentralHost(const QString &host)
{
    return host.isEmpty() || host == QString::fromLatin1(BuildConfig::centralHost).toLower() ||
           host == QLatin1String("127.0.0.1") || host == QLatin1String("localhost") ||
           host == QLatin1String("[::1]");
}

SandboxGateway::Answer SandboxGateway::answer(const Request &request, QDate today)
{
    const RequestTarget target = RequestTarget::parse(request.target, request.hostHeader);
    const QByteArray path = target.path.toLower();

    if (isCentralHost(target.host)) {
        if (path == "/conntest.txt")
            return text("Connection OK");
        if (path == "/validator/getprodcount.asp")
            return productCount(target);
        if (path == "/validator/getproductinfo.asp")
            return productInfo(target);
        if (path == "/validator/productupdate.asp")
            return productUpdate(target, today);
        if (path == "/validator/prodreview.asp")
            return statistics(target, today);
        return notFound();
    }
    if (target.host == SandboxAccount::packageHost()) {
        if (path == "/conntest.txt")
            return text("Connection OK");
        if (path == SandboxAccount::packageFolder().toLatin1() + "requestpack.cgi")
            return requestPacket(request, today);
    }
    return notFound();
}

QByteArray SandboxGateway::productLine(const Catalogue::Product &p)
{
    const auto flag = [](bool value) { return value ? QStringLiteral("1") : QStringLiteral("0"); };
    const QString pieces[] = {
        QStringLiteral("CPID=") + QString::number(p.id),
        QStringLiteral("PDesc=") + p.description,
        QStringLiteral("Cost=") + p.cost,
        QStringLiteral("CurType=") + QString::number(p.currency),
        QStringLiteral("SM=") + QString::number(p.serviceModel),
        QStringLiteral("CurVer=") + p.version,
        QStringLiteral("DteC=") + p.created.toString(Qt::ISODate),
        QStringLiteral("DteE=") + p.modified.toString(Qt::ISODate),
        QStringLiteral("LP=") + flag(p.locked),
        QStringLiteral("PO=") + flag(p.permitOlder),
        QStringLiteral("SysLock=") + flag(p.systemLocked),
    };
    QByteArray line;
    for (const QString &piece : pieces)
        line += Ansi::encode(piece) + char(0xDF);
    return line;
}

SandboxGateway::Answer SandboxGateway::productCount(const RequestTarget &target) const
{
    if (!knownDeveloper(target))
        return text("Invalid Developer ID");
    return Answer{200, QByteArray::number(m_catalogue->count()) + "\r\n"};
}

SandboxGateway::Answer SandboxGateway::productInfo(const RequestTarget &target) const
{
    if (!knownDeveloper(target))
        return text("Invalid Developer ID");
    const std::optional<int> position = integer(target.queryValue("ProdCount"), 1, 32767);
    const std::optional<Catalogue::Product> product =
        position ? m_catalogue->at(*position) : std::nullopt;
    if (!product)
        return text("Invalid Product");
    return Answer{200, productLine(*product) + "\r\n"};
}

SandboxGateway::Answer SandboxGateway::productUpdate(const RequestTarget &target, QDate today)
{
    if (!knownDeveloper(target))
        return text("Invalid Developer ID");
    for (const char *key : {"CPID", "Cost", "PO", "LP", "CurType", "SM", "CurVer", "PDesc"}) {
        if (target.queryValue(key).isNull())
            return Answer{200, QByteArray("Missing ") + key + "\r\n"};
    }
    const std::optional<int> id = integer(target.queryValue("CPID"), 1, 32767);
    const QByteArray cost = target.queryValue("Cost");
    const std::optional<bool> permitOlder = boolean(target.queryValue("PO"));
    const std::optional<bool> locked = boolean(target.queryValue("LP"));
    const std::optional<int> currency = integer(target.queryValue("CurType"), 0, 3);
    const std::optional<int> serviceModel = integer(target.queryValue("SM"), 0, 2);
    if (!id || !isAmount(cost) || !permitOlder || !locked || !currency || !serviceModel)
        return text("Invalid Product Data");

    Catalogue::Product product;
    product.id = *id;
    product.description = Ansi::decode(target.queryValue("PDesc"));
    product.cost = Ansi::decode(cost);
    product.currency = *currency;
    product.serviceModel = *serviceModel;
    product.version = Ansi::decode(target.queryValue("CurVer"));
    product.locked = *locked;
    product.permitOlder = *permitOlder;

    switch (m_catalogue->apply(product, today)) {
    case Catalogue::Change::Added:
        return text("Product Added");
    case Catalogue::Change::Changed:
        return text("Product Updated");
    case Catalogue::Change::SystemLocked:
        return text("Product Locked By Administrator");
    case Catalogue::Change::UnknownProduct:
    case Catalogue::Change::Invalid:
        return text("Invalid Product ID");
    case Catalogue::Change::NotSaved:
        break;
    }
    return text("Update Not Saved", 500);
}

SandboxGateway::Answer SandboxGateway::statistics(const RequestTarget &target, QDate today) const
{
    if (Ansi::decode(target.queryValue("DevID")) != SandboxAccount::statisticsId())
        return text("Invalid Developer ID");
    const std::optional<int> period = integer(target.queryValue("DateRange"), 0, 3);
    if (!period)
        return text("Invalid Date Range");
    const QByteArray body =
        TransactionYear::statisticsAnswer(TransactionYear::generate(today), *period, today);
    return body.isEmpty() ? text("No Transactions") : Answer{200, body};
}

SandboxGateway::Answer SandboxGateway::requestPacket(const Request &request, QDate today) const
{
    if (request.method != "POST")
        return text("Method Not Allowed", 405);
    QString id;
    for (const auto &item : formItems(request.body.trimmed())) {
        if (item.first == "TID") {
            id = Ansi::decode(item.second).trimmed();
            break;
        }
    }

    using TransactionYear::Redelivery;
    switch (TransactionYear::redeliveryFor(id)) {
    case Redelivery::NoTransaction:
        return text("No Transaction");
    case Redelivery::NoEmail:
        return text("No Email");
    case Redelivery::FileMissing:
        return text("File does not exist");
    case Redelivery::Successful:
        break;
    }

    for (const TransactionYear::Transaction &t : TransactionYear::generate(today)) {
        if (t.id != id)
            continue;
        const QByteArray packet = TransactionYear::packetFile(t, SandboxAccount::encryptionKey());
        if (!writePacket(m_outboxDir, id + QStringLiteral(".vrd"), packet))
            return text("Packet Not Written", 500);
        return text("Request Successful");
    }
    return text("No Transaction");
}
