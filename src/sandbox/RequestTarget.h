#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Where one request goes. A client that talks to the gateway directly sends
// an origin-form target ("/path?query") and names the host in its Host
// header; a client that uses the gateway as its HTTP proxy sends the whole
// URL ("http://host/path?query"), whose host wins over the header.
struct RequestTarget
{
    QString host;     // lower case, without port or trailing dot
    QByteArray path;  // percent-decoded, runs of "/" made one
    QByteArray query; // as sent, without the "?"

    static RequestTarget parse(QByteArrayView target, QByteArrayView hostHeader);

    // Why a request with this target and these Host headers is refused, or
    // an empty string when it is served. Served are an origin-form target
    // ("/path?query") with one Host header (or none when hostOptional, as
    // HTTP/1.0 allows) and an http:// URL with a host. Refused are other
    // schemes (https:// cannot be proxied in plain text), URLs without a
    // host, the authority form of CONNECT, anything else, and a request
    // with more than one Host header.
    static QString refusal(QByteArrayView target, const QList<QByteArray> &hostHeaders,
                           bool hostOptional);

    // The query's pairs in order, each name and value percent-decoded. Only
    // %XX sequences are decoded: "+" stays a plus sign, and a "%" that starts
    // no valid sequence stays as it is.
    QList<QPair<QByteArray, QByteArray>> queryItems() const;

    // The value of the first pair with that exact name, or a null array.
    QByteArray queryValue(QByteArrayView name) const;
};

QByteArray percentDecode(QByteArrayView text);

// Pairs "name=value" joined by "&", as in a query or a form body.
QList<QPair<QByteArray, QByteArray>> formItems(QByteArrayView text);
