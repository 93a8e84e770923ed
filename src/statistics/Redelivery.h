#pragma once

#include "common/Messages.h"
#include "statistics/PacketRequest.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Asking the developer's package server to e-mail a transaction's packet
// again: the transaction ID taken out of a transaction node's text, the
// request's address and body, and what the developer is told.
namespace modStatistics {

// What a message box shows.
struct Outcome
{
    Messages::Icon icon = Messages::Icon::None;
    QString title;
    QString text;
    QString details = {}; // what went wrong underneath, for the curious
};

// A transaction node's text carries "Transaction ID"; a product node's not.
bool isTransactionNode(const QString &nodeText);

// The text after "Transaction ID" and the character after it (the colon),
// up to the first "End UserName", without blanks around it.
QString transactionIdFromNodeText(const QString &nodeText);

// "http://www." + server path + "/RequestPack.cgi", the path taken as it
// is (one ending in "/" gives a doubled slash).
QString requestPackUrl(const QString &serverPath);

// "TID=" + the transaction ID, percent-encoded so that "&", "=" or blanks in
// an ID cannot change the form.
QByteArray requestPackBody(const QString &transactionId);

// The server's answer, by the first of "Successful", "No Transaction",
// "No Email", "File does not exist" that it contains (case-sensitive), or
// the unknown-response message.
Outcome classifyRequestAnswer(const QString &answer);

// Messages of the request's start.
Outcome invalidSelection();          // no transaction node selected
Outcome previousRequestInProgress(); // a request is under way
Outcome unknownRequestError();       // the request could not be started
Outcome noPackageServer();           // the developer key names no package server
// What the developer is told when the request could not be started;
// nothing for a request that started.
std::optional<Outcome> startRefusal(PacketRequest::Start start);

// The request ended without an answer (server unreachable, connection
// broken, time up, an answer cut short); reason says which.
Outcome requestFailed(const QString &reason);

} // namespace modStatistics
