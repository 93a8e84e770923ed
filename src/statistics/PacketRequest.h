#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

// The transfer channel of the packet re-delivery request: one asynchronous
// HTTP POST at a time to the package server's RequestPack.cgi. A second
// start while a request is under way is refused and leaves the running one
// alone. Every request ends in exactly one signal: completed with the whole
// answer body once the server has answered (whatever its status), or failed
// when no answer came (server unreachable, connection broken, time up, an
// answer larger than accepted).
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
    bool isRunning() const { return m_reply != nullptr; }

signals:
    void completed(const QByteArray &body);
    void failed(const QString &reason);

private:
    // Appends what the reply holds; false (with the reason kept) when the
    // answer grows beyond maxAnswerSize.
    bool take(QNetworkReply *reply);
    void readAvailable();
    void stop(const QString &reason);
    void finish();

    QNetworkAccessManager m_manager;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_body;
    QString m_stopReason;
    QTimer m_deadline;
};
