#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace Http {
class Exchange;
struct Answer;
} // namespace Http

// The transfer channel of the packet re-delivery request: one asynchronous
// HTTP POST at a time to the package server's RequestPack.cgi, sent exactly
// once. A second start while a request is under way is refused and leaves
// the running one alone. Every request ends in exactly one signal:
// completed with the whole answer body once the server has answered
// (whatever its status), or failed when no whole answer came (server
// unreachable, connection broken, time up, an answer cut short or larger
// than accepted, a redirect).
class PacketRequest : public QObject
{
    Q_OBJECT

public:
    enum class Start
    {
        Started,
        StillExecuting, // a request is under way; nothing was sent
        NoServerPath,   // the developer key names no package server; nothing was sent
        OtherError      // the address cannot be used; nothing was sent
    };

    // The largest answer accepted.
    static constexpr qint64 maxAnswerSize = 1024 * 1024;

    explicit PacketRequest(QObject *parent = nullptr);
    ~PacketRequest() override;

    // POSTs "TID=" + transaction ID to "www." + server path +
    // "/RequestPack.cgi" over HTTP, within modProdUpdate::attemptDeadline().
    Start start(const QString &serverPath, const QString &transactionId);

signals:
    void completed(const QByteArray &body);
    void failed(const QString &reason);

private:
    void finish(const Http::Answer &answer);

    Http::Exchange *m_exchange = nullptr;
};
