#include "statistics/Redelivery.h"

#include "statistics/modStatistics.h"

#include "gateway/modProdUpdate.h"

namespace modStatistics {
namespace {

const QString idLabel = QStringLiteral("Transaction ID");
const QString userLabel = QStringLiteral("End UserName");

} // namespace

bool isTransactionNode(const QString &nodeText)
{
    return nodeText.contains(idLabel);
}

QString transactionIdFromNodeText(const QString &nodeText)
{
    const qsizetype label = nodeText.indexOf(idLabel);
    if (label < 0)
        return QString();
    QStringView rest =
        QStringView(nodeText).mid(std::min(label + idLabel.size() + 1, nodeText.size()));
    const qsizetype user = rest.indexOf(userLabel);
    if (user >= 0)
        rest = rest.left(user);
    return trimBlanks(rest).toString();
}

QString requestPackUrl(const QString &serverPath)
{
    return QLatin1String("http://www.") + serverPath + QLatin1String("/RequestPack.cgi");
}

QByteArray requestPackBody(const QString &transactionId)
{
    return "TID=" + modProdUpdate::queryValue(transactionId).toLatin1();
}

Outcome classifyRequestAnswer(const QString &answer)
{
    using Messages::Icon;
    if (answer.contains(QLatin1String("Successful")))
        return {Icon::Information, QStringLiteral("Request Sent"),
                Messages::lines({QStringLiteral("A request has been sent for the packet."),
                                 QStringLiteral("You should receive it in your email shortly.")})};
    if (answer.contains(QLatin1String("No Transaction")))
        return {
            Icon::Exclamation, QStringLiteral("Invalid Request"),
            Messages::lines({QStringLiteral("The selected transaction is invalid."),
                             QStringLiteral("Please retry requesting this packet at a later date."),
                             QStringLiteral("If this problem persists, please contact Ostrand.")})};
    if (answer.contains(QLatin1String("No Email")))
        return {Icon::Information, QStringLiteral("No email address"),
                Messages::lines({QStringLiteral("There is no email address assigned."),
                                 QStringLiteral("An email address is assigned when a transaction "
                                                "is processed.")})};
    if (answer.contains(QLatin1String("File does not exist")))
        return {Icon::Information, QStringLiteral("No Available Packet"),
                QStringLiteral("The packet for the selected transaction no longer exists.")};
    return {Icon::Critical, QStringLiteral("Unknown Server Response"),
            Messages::lines(
                {QStringLiteral("An unexpected error has occured upon the request of this packet."),
                 QStringLiteral("Please retry requesting this packet at a later date."),
                 QStringLiteral("If this problem persists, please contact Ostrand")})};
}

Outcome invalidSelection()
{
    return {Messages::Icon::Information, QStringLiteral("Invalid Selection"),
            QStringLiteral("Please select a transaction.")};
}

Outcome previousRequestInProgress()
{
    return {Messages::Icon::Exclamation, QStringLiteral("Previous Request In Progress"),
            Messages::lines({QStringLiteral("The system is still requesting the previous packet."),
                             QStringLiteral("Please wait until you receive a response from the "
                                            "previous request.")})};
}

Outcome unknownRequestError()
{
    return {Messages::Icon::Exclamation, QStringLiteral("Unknown Request Error"),
            Messages::lines({QStringLiteral("There was an unknown error requesting the packet."),
                             QStringLiteral("Please retry requesting the packet."),
                             QStringLiteral("If you continue to receive this error, please "
                                            "contact Ostrand")})};
}

std::optional<Outcome> startRefusal(PacketRequest::Start start)
{
    switch (start) {
    case PacketRequest::Start::Started:
        break;
    case PacketRequest::Start::StillExecuting:
        return previousRequestInProgress();
    case PacketRequest::Start::NoServerPath:
        return noPackageServer();
    case PacketRequest::Start::OtherError:
        return unknownRequestError();
    }
    return std::nullopt;
}

Outcome requestFailed(const QString &reason)
{
    return {Messages::Icon::Exclamation, QStringLiteral("Unknown Request Error"),
            Messages::lines({QStringLiteral("The package server gave no answer to the request "
                                            "for the packet."),
                             QStringLiteral("Please retry requesting the packet."),
                             QStringLiteral("If you continue to receive this error, please "
                                            "contact Ostrand")}),
            reason};
}

Outcome noPackageServer()
{
    return {Messages::Icon::Exclamation, QStringLiteral("No Package Server"),
            Messages::lines({QStringLiteral("The developer key names no package server, so the "
                                            "request cannot be sent."),
                             QStringLiteral("Please check the developer key in the settings.")})};
}

} // namespace modStatistics
