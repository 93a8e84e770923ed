#include "gateway/HttpMessage.h"

#include <QTest>

using Http::MessageReader;

namespace {

// "Complete:<body>", or "Failed:<failure>" with the failure's number, or
// "Waiting" when the message is not over yet.
QString outcome(const MessageReader &reader)
{
    switch (reader.state()) {
    case MessageReader::State::Complete:
        return QStringLiteral("Complete:") + QString::fromLatin1(reader.body());
    case MessageReader::State::Failed:
        return QStringLiteral("Failed:%1").arg(int(reader.failure()));
    default:
        return QStringLiteral("Waiting");
    }
}

QString failed(MessageReader::Failure failure)
{
    return QStringLiteral("Failed:%1").arg(int(failure));
}

} // namespace

class TestHttpMessage : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void requestsOnOneConnection();
};

void TestHttpMessage::read_data()
{
    using F = MessageReader::Failure;
    QTest::addColumn<bool>("isRequest");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("connectionEnds");
    QTest::addColumn<QString>("expected");
    // (The sandbox's tests put more bad requests through this reader.)

    const auto answer = [](const char *name, const QByteArray &bytes, bool ends,
                           const QString &expected) {
        QTest::newRow(name) << false << bytes << ends << expected;
    };
    const auto request = [](const char *name, const QByteArray &bytes, const QString &expected) {
        QTest::newRow(name) << true << bytes << false << expected;
    };

    answer("length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloEXTRA", false,
           QStringLiteral("Complete:hello"));
    answer("chunked, extensions and trailer",
           "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n5;x=y\r\nhello\r\n6 \r\n"
           " world\r\n0\r\nTrailer: v\r\n\r\n",
           false, QStringLiteral("Complete:hello world"));
    answer("to the end of the connection", "HTTP/1.0 200 OK\n\nabc", true,
           QStringLiteral("Complete:abc"));
    answer("not over before the connection ends", "HTTP/1.0 200 OK\r\n\r\nabc", false,
           QStringLiteral("Waiting"));
    answer("interim answer skipped",
           "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200\r\nContent-Length: 2\r\n\r\nok", false,
           QStringLiteral("Complete:ok"));
    answer("interim answers without end",
           QByteArray("HTTP/1.1 100 Continue\r\n\r\n").repeated(50000) +
               "HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nok",
           false, failed(F::HeadTooLarge));
    answer("no body for 204", "HTTP/1.1 204 No Content\r\nContent-Length: 9\r\n\r\n", false,
           QStringLiteral("Complete:"));
    answer("empty body", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false,
           QStringLiteral("Complete:"));

    // Cut short: whatever the answer began with, it is no answer.
    answer("cut inside a length",
           "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nRequest Successful", true,
           failed(F::Truncated));
    answer("cut before the last chunk",
           "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n12\r\nRequest Successful\r\n",
           true, failed(F::Truncated));
    answer("cut inside the head", "HTTP/1.1 200 OK\r\nContent-Len", true, failed(F::Truncated));
    answer("nothing at all", "", true, failed(F::Truncated));

    answer("two lengths", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 2\r\n\r\nok",
           false, failed(F::Malformed));
    answer("length and chunked",
           "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\n", false,
           failed(F::Malformed));
    answer("signed length", "HTTP/1.1 200 OK\r\nContent-Length: +2\r\n\r\nok", false,
           failed(F::Malformed));
    answer("gzip coding", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n", false,
           failed(F::Unsupported));
    answer("announced length over the limit", "HTTP/1.1 200 OK\r\nContent-Length: 1025\r\n\r\n",
           false, failed(F::BodyTooLarge));
    answer("chunks over the limit",
           "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n200\r\n" + QByteArray(512, 'a') +
               "\r\n201\r\n",
           false, failed(F::BodyTooLarge));
    answer("unannounced body over the limit", "HTTP/1.1 200 OK\r\n\r\n" + QByteArray(1025, 'a'),
           false, failed(F::BodyTooLarge));
    answer("chunk longer than said",
           "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nhello\r\n0\r\n\r\n", false,
           failed(F::Malformed));
    answer("chunk size not hex", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
           false, failed(F::Malformed));
    answer("no status code", "HTTP/1.1 OK\r\n\r\n", false, failed(F::Malformed));
    answer("not HTTP", "SSH-2.0-OpenSSH\r\n\r\n", false, failed(F::Malformed));

    request("no body", "GET /x HTTP/1.1\r\nHost: a\r\n\r\n", QStringLiteral("Complete:"));
    request("form body", "POST /x HTTP/1.1\r\nContent-Length: 5\r\n\r\nTID=1",
            QStringLiteral("Complete:TID=1"));
    request("chunked over the limit",
            "POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n401\r\n",
            failed(F::BodyTooLarge));
    request("folded header", "GET /x HTTP/1.1\r\nHost: a\r\n b\r\n\r\n", failed(F::Malformed));
    request("blank before the colon", "GET /x HTTP/1.1\r\nHost : a\r\n\r\n", failed(F::Malformed));
    request("stray CR", "GET /x HTTP/1.1\r\nHost: a\rb\r\n\r\n", failed(F::Malformed));
    request("control in a value", "GET /x HTTP/1.1\r\nHost: a\x01\r\n\r\n", failed(F::Malformed));
    request("two blanks in the request line", "GET  /x HTTP/1.1\r\n\r\n", failed(F::Malformed));
    request("bad version", "GET /x HTTP/11\r\n\r\n", failed(F::Malformed));
    request("line without end too large", "GET /" + QByteArray(70000, 'a'),
            failed(F::HeadTooLarge));
    QByteArray many = "GET /x HTTP/1.1\r\n";
    for (int i = 0; i < 101; ++i)
        many += "X: y\r\n";
    request("too many header lines", many + "\r\n", failed(F::HeadTooLarge));
}

void TestHttpMessage::read()
{
    QFETCH(bool, isRequest);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, connectionEnds);
    QFETCH(QString, expected);
    const auto kind = isRequest ? MessageReader::Kind::Request : MessageReader::Kind::Answer;

    // Whole, and one byte at a time: where the pieces break changes nothing.
    MessageReader whole(kind, 1024);
    whole.feed(bytes);
    MessageReader bytewise(kind, 1024);
    for (char c : bytes)
        bytewise.feed(QByteArrayView(&c, 1));
    if (connectionEnds) {
        whole.finish();
        bytewise.finish();
    }
    QCOMPARE(outcome(whole), expected);
    QCOMPARE(outcome(bytewise), expected);
}

void TestHttpMessage::requestsOnOneConnection()
{
    MessageReader reader(MessageReader::Kind::Request, 1024);
    QCOMPARE(reader.feed("\r\nPOST /a?b=c HTTP/1.1\r\nhost:  Example \r\nContent-Length: 2\r\n"
                         "\r\nokGET /next HTTP/1.1\r\n"),
             MessageReader::State::Complete);
    const Http::Head &head = reader.head();
    QCOMPARE(head.first + ' ' + head.second + ' ' + head.third, QByteArray("POST /a?b=c HTTP/1.1"));
    QCOMPARE(head.value("Host"), QByteArray("Example"));
    QVERIFY(head.value("Missing").isNull());
    QCOMPARE(reader.body(), QByteArray("ok"));
    QCOMPARE(reader.remainder(), QByteArray("GET /next HTTP/1.1\r\n"));
}

QTEST_GUILESS_MAIN(TestHttpMessage)
#include "tst_httpmessage.moc"
