#pragma once

#include "sandbox/Catalogue.h"
#include "sandbox/RequestTarget.h"

#include <QByteArray>
#include <QDate>
#include <QString>

// The gateway's pages for the sandbox account: the central server's product
// queries, product update, statistics and connection test, and the package
// server's connection test and packet re-delivery.
class SandboxGateway
{
public:
    struct Request
    {
        QByteArray method;
        QByteArray target;     // as on the request line
        QByteArray hostHeader; // the Host header, used for an origin-form target
        QByteArray body;
    };

    struct Answer
    {
        int status = 200;
        QByteArray body; // Windows-1252
    };

    SandboxGateway(Catalogue *catalogue, const QString &outboxDir);

    Answer answer(const Request &request, QDate today);

    // The first line of the product answer: the eleven keyed fields each
    // followed by the byte 0xDF, so that the twelfth piece is empty.
    static QByteArray productLine(const Catalogue::Product &product);

    // A request for the central host, or for the loopback address itself (a
    // browser or curl pointed straight at the sandbox).
    static bool isCentralHost(const QString &host);

private:
    Answer productCount(const RequestTarget &target) const;
    Answer productInfo(const RequestTarget &target) const;
    Answer productUpdate(const RequestTarget &target, QDate today);
    Answer statistics(const RequestTarget &target, QDate today) const;
    Answer requestPacket(const Request &request, QDate today) const;

    Catalogue *m_catalogue;
    QString m_outboxDir;
};
