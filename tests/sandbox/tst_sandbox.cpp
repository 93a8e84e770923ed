#include "TestConfig.h"
#include "records/RecordText.h"
#include "shell/Ansi.h"
#include "support/SandboxProcess.h"

#include <QDate>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QUrl>

namespace {

const QByteArray central = "http://secure.varnell.com/Validator/";
const QByteArray package = "http://www.demo.varnell.com/pack/";

struct Reply
{
    int status = 0; // 0: no answer in time
    QByteArray body;
};

// One request on a fresh connection, written as given; waits at most
// timeoutMs for the server to answer and close.
Reply exchange(quint16 port, const QByteArray &requestHead, const QByteArray &body = {},
               int timeoutMs = 10000, const QString &address = QStringLiteral("127.0.0.1"))
{
    QTcpSocket socket;
    socket.connectToHost(address, port);
    if (!socket.waitForConnected(timeoutMs))
        return {};
    socket.write(requestHead + "Connection: close\r\n\r\n" + body);
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray data;
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        data += socket.readAll();
    }
    data += socket.readAll();
    const qsizetype headEnd = data.indexOf("\r\n\r\n");
    if (deadline.hasExpired() || !data.startsWith("HTTP/1.") || headEnd < 0)
        return {};
    return {data.mid(9, 3).toInt(), data.mid(headEnd + 4)};
}

// A GET as a client sends it to its proxy: the whole URL on the request line.
Reply proxyGet(const SandboxProcess &sandbox, const QByteArray &url, int timeoutMs = 10000)
{
    const QByteArray host = QUrl::fromEncoded(url).host().toLatin1();
    return exchange(sandbox.port(), "GET " + url + " HTTP/1.1\r\nHost: " + host + "\r\n", {},
                    timeoutMs);
}

QByteArray encoded(const QString &value)
{
    return Ansi::encode(value).toPercentEncoding();
}

QByteArray developer()
{
    return "DeveloperID=" + encoded(SandboxProcess::developerKey());
}

QByteArray productCount(const SandboxProcess &sandbox)
{
    return proxyGet(sandbox, central + "GetProdCount.asp?" + developer()).body;
}

// The product at a position as key -> value; empty unless the first line
// has exactly twelve pieces.
QMap<QByteArray, QByteArray> product(const SandboxProcess &sandbox, int position)
{
    const QByteArray body = proxyGet(sandbox, central + "GetProductInfo.asp?" + developer() +
                                                  "&ProdCount=" + QByteArray::number(position))
                                .body;
    const QList<QByteArray> pieces = body.left(body.indexOf("\r\n")).split(char(0xDF));
    QMap<QByteArray, QByteArray> fields;
    if (pieces.size() != 12)
        return fields;
    for (const QByteArray &piece : pieces) {
        if (!piece.isEmpty())
            fields.insert(piece.left(piece.indexOf('=')), piece.mid(piece.indexOf('=') + 1));
    }
    return fields;
}

// Values in UTF-8.
QByteArray update(const QList<std::pair<QByteArray, QByteArray>> &fields)
{
    QByteArray query;
    for (const auto &[key, value] : fields)
        query += key + '=' + encoded(QString::fromUtf8(value)) + '&';
    return central + "ProductUpdate.asp?" + query + developer();
}

QByteArray today()
{
    return QDate::currentDate().toString(Qt::ISODate).toLatin1();
}

} // namespace

class TestSandbox : public QObject
{
    Q_OBJECT

private slots:
    void originFormAndProxyForm();
    void productAnswers();
    void updateAddsChangesAndPersists();
    void badCatalogueStartsFromSeed();
    void statistics();
    void connectionTestByHost();
    void packetRedelivery();
    void faultSwitches();
    void loopbackOnlyAndBadArguments();
};

void TestSandbox::originFormAndProxyForm()
{
    SandboxProcess sandbox;
    QVERIFY(sandbox.isListening());
    const QStringList lines = sandbox.startupLines();
    QCOMPARE(lines.first(), QStringLiteral("Developer key: SBX-DEMO-001demo.varnellypackz"));
    QCOMPARE(lines[1], QStringLiteral("Encryption key: Varnell sandbox key"));

    const QByteArray query = "/Validator/GetProdCount.asp?" + developer();
    const Reply origin =
        exchange(sandbox.port(), "GET " + query + " HTTP/1.1\r\nHost: secure.varnell.com\r\n");
    QCOMPARE(origin.status, 200);
    QCOMPARE(origin.body, QByteArray("4\r\n"));
    // The absolute URL names the host even when the Host header does not.
    const Reply absolute = exchange(sandbox.port(), "GET http://secure.varnell.com" + query +
                                                        " HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    QCOMPARE(absolute.body, QByteArray("4\r\n"));
    QCOMPARE(exchange(sandbox.port(), "GET " + query + " HTTP/1.1\r\nHost: example.com\r\n").status,
             404);

    // Qt's own client through the sandbox as its HTTP proxy.
    QNetworkAccessManager manager;
    manager.setProxy(
        QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), sandbox.port()));
    QNetworkReply *reply = manager.get(QNetworkRequest(
        QUrl::fromEncoded(central + "GetProdCount.asp?DeveloperID=SBX-UNKNOWN-0demo")));
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QVERIFY(finished.wait(10000));
    const QByteArray unknown = reply->readAll();
    bool isNumber = true;
    unknown.trimmed().toInt(&isNumber);
    QVERIFY2(!unknown.isEmpty() && !isNumber, unknown.constData());
    delete reply;
}

void TestSandbox::productAnswers()
{
    SandboxProcess sandbox;
    QVERIFY(sandbox.isListening());
    for (int position = 1; position <= 4; ++position) {
        const QMap<QByteArray, QByteArray> fields = product(sandbox, position);
        QCOMPARE(fields.keys(), (QList<QByteArray>{"CPID", "Cost", "CurType", "CurVer", "DteC",
                                                   "DteE", "LP", "PDesc", "PO", "SM", "SysLock"}));
        QCOMPARE(fields["CPID"], QByteArray::number(position));
        QCOMPARE(fields["SysLock"], QByteArray(position == 4 ? "1" : "0"));
        QVERIFY(QDate::fromString(QString::fromLatin1(fields["DteC"]), Qt::ISODate).isValid());
    }
    QCOMPARE(product(sandbox, 1)["PDesc"], QByteArray("Zo\xEB's Ledger")); // Windows-1252
    QCOMPARE(product(sandbox, 2)["PDesc"], QByteArray("\xC5ngstr\xF6m Tools"));
    for (const char *position : {"0", "5", "x", ""}) {
        const Reply reply = proxyGet(sandbox, central + "GetProductInfo.asp?" + developer() +
                                                  "&ProdCount=" + position);
        QVERIFY(!reply.body.contains(char(0xDF)));
    }
    QVERIFY(!proxyGet(sandbox, central + "GetProductInfo.asp?DeveloperID=nobody&ProdCount=1")
                 .body.contains("CPID"));
}

void TestSandbox::updateAddsChangesAndPersists()
{
    QTemporaryDir data;
    const QString description = QStringLiteral("Crème & Co + 100% = “best”");
    {
        SandboxProcess sandbox({}, data.path());
        QVERIFY(sandbox.isListening());
        Reply reply = proxyGet(sandbox, update({{"CPID", "5"},
                                                {"Cost", "1234.5"},
                                                {"PO", "True"},
                                                {"LP", "False"},
                                                {"CurType", "2"},
                                                {"SM", "1"},
                                                {"CurVer", "2.1"},
                                                {"PDesc", description.toUtf8()}}));
        QCOMPARE(reply.status, 200);
        QVERIFY(!reply.body.isEmpty());
        QCOMPARE(productCount(sandbox), QByteArray("5\r\n"));
        // Changing product 2 keeps its creation date.
        proxyGet(sandbox, update({{"CPID", "2"},
                                  {"Cost", "12"},
                                  {"PO", "1"},
                                  {"LP", "true"},
                                  {"CurType", "3"},
                                  {"SM", "2"},
                                  {"CurVer", "9"},
                                  {"PDesc", "Two"}}));
        // Refused: the system-locked product, an ID beyond count + 1, a bad code.
        proxyGet(sandbox, update({{"CPID", "4"},
                                  {"Cost", "1"},
                                  {"PO", "True"},
                                  {"LP", "True"},
                                  {"CurType", "0"},
                                  {"SM", "0"},
                                  {"CurVer", "1"},
                                  {"PDesc", "X"}}));
        proxyGet(sandbox, update({{"CPID", "9"},
                                  {"Cost", "1"},
                                  {"PO", "True"},
                                  {"LP", "True"},
                                  {"CurType", "0"},
                                  {"SM", "0"},
                                  {"CurVer", "1"},
                                  {"PDesc", "X"}}));
        proxyGet(sandbox, update({{"CPID", "6"},
                                  {"Cost", "1"},
                                  {"PO", "True"},
                                  {"LP", "True"},
                                  {"CurType", "7"},
                                  {"SM", "0"},
                                  {"CurVer", "1"},
                                  {"PDesc", "X"}}));
        QCOMPARE(productCount(sandbox), QByteArray("5\r\n"));
        QCOMPARE(sandbox.stop(), 0);
    }

    SandboxProcess restarted({}, data.path());
    QVERIFY(restarted.isListening());
    QCOMPARE(productCount(restarted), QByteArray("5\r\n"));
    QMap<QByteArray, QByteArray> added = product(restarted, 5);
    QCOMPARE(added["PDesc"], Ansi::encode(description));
    QCOMPARE(added["Cost"], QByteArray("1234.5"));
    QCOMPARE(added["PO"] + added["LP"] + added["CurType"] + added["SM"], QByteArray("1021"));
    QCOMPARE(added["DteC"], today());
    QCOMPARE(added["DteE"], today());
    QMap<QByteArray, QByteArray> changed = product(restarted, 2);
    QCOMPARE(changed["PDesc"] + changed["Cost"] + changed["CurVer"], QByteArray("Two129"));
    QCOMPARE(changed["DteC"], QByteArray("2022-06-01"));
    QCOMPARE(changed["DteE"], today());
    QMap<QByteArray, QByteArray> locked = product(restarted, 4);
    QVERIFY(locked["PDesc"].startsWith("Cr\xE8me Archiver"));
    QCOMPARE(locked["SysLock"], QByteArray("1"));
}

void TestSandbox::badCatalogueStartsFromSeed()
{
    QTemporaryDir data;
    QFile file(data.filePath(QStringLiteral("catalogue.json")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{\"products\": [{\"CPID\": \"one\"}");
    file.close();
    SandboxProcess sandbox({}, data.path());
    QVERIFY(sandbox.isListening());
    QCOMPARE(productCount(sandbox), QByteArray("4\r\n"));
    QVERIFY(sandbox.errorOutput().contains(QLatin1String("starting from the seed")));
    QVERIFY(QFile::exists(data.filePath(QStringLiteral("catalogue.json.bad"))));
}

void TestSandbox::statistics()
{
    SandboxProcess sandbox;
    QVERIFY(sandbox.isListening());
    const QDate now = QDate::currentDate();
    const QDate firstDay[] = {now, now.addDays(-6), now.addMonths(-1).addDays(1),
                              now.addYears(-1).addDays(1)};
    const QRegularExpression header(QStringLiteral(
        "^New Product \\|(\\d+)\\|([^|]+)\\|[^|]*\\|([-\\d]+)\\|(-?\\d+)\\|(T\\d+)\\|([^|]+)$"));
    const QRegularExpression sale(QStringLiteral("^\\|([-\\d]+)\\|(-?\\d+)\\|(T\\d+)\\|([^|]+)$"));
    qsizetype previousCount = 0;
    for (int period = 0; period < 4; ++period) {
        const QByteArray body =
            proxyGet(sandbox, central + "ProdReview.asp?DevID=demovarnellcompack&DateRange=" +
                                  QByteArray::number(period))
                .body;
        QVERIFY(body.endsWith("End Products\r\n"));
        const QStringList lines = Ansi::decode(body.chopped(2)).split(QStringLiteral("\r\n"));
        qsizetype count = 0;
        QSet<QString> captions, results;
        bool inProduct = false;
        for (const QString &line : lines) {
            QVERIFY2(!line.contains(QLatin1Char('\n')) && !line.contains(QLatin1Char('\r')),
                     qPrintable(line));
            QRegularExpressionMatch match = header.match(line);
            if (match.hasMatch()) {
                QVERIFY(!inProduct);
                captions.insert(match.captured(2));
            } else if (line == QLatin1String("End Products")) {
                QVERIFY(inProduct);
                inProduct = false;
                continue;
            } else {
                match = sale.match(line);
                QVERIFY2(match.hasMatch() && inProduct, qPrintable(line));
            }
            inProduct = true;
            const int offset = match.lastCapturedIndex() - 4;
            const QDate date = QDate::fromString(match.captured(offset + 1), Qt::ISODate);
            QVERIFY(date >= firstDay[period] && date <= now);
            results.insert(match.captured(offset + 2));
            ++count;
        }
        QVERIFY(count > previousCount);
        previousCount = count;
        if (period == 0) {
            for (const char *answer :
                 {"Request Successful", "No Email", "File does not exist", "No Transaction"})
                QVERIFY(body.contains(QByteArray(
                    '|' + sandbox.transactionFor(QLatin1String(answer)).toLatin1() + '|')));
        }
        if (period == 3) {
            QVERIFY(count >= 200);
            QCOMPARE(captions, (QSet<QString>{QStringLiteral("Zoë's Ledger"),
                                              QStringLiteral("Ångström Tools"),
                                              QStringLiteral("Varnell Widget Pro")}));
            QVERIFY(results.contains(QStringLiteral("0")) &&
                    results.contains(QStringLiteral("-1")));
            QVERIFY(results.size() > 2);
        }
    }
    for (const QByteArray &query : {QByteArray("DevID=someoneelse&DateRange=3"),
                                    QByteArray("DevID=demovarnellcompack&DateRange=4")}) {
        const Reply reply = proxyGet(sandbox, central + "ProdReview.asp?" + query);
        QVERIFY(!reply.body.contains("New Product |"));
    }
}

void TestSandbox::connectionTestByHost()
{
    SandboxProcess sandbox;
    QVERIFY(sandbox.isListening());
    QCOMPARE(proxyGet(sandbox, "http://secure.varnell.com/ConnTest.txt").status, 200);
    QCOMPARE(proxyGet(sandbox, "http://www.demo.varnell.com/ConnTest.txt").status, 200);
    QCOMPARE(proxyGet(sandbox, "http://www.example.com/ConnTest.txt").status, 404);
    QCOMPARE(proxyGet(sandbox, "http://demo.varnell.com/ConnTest.txt").status, 404);
}

void TestSandbox::packetRedelivery()
{
    SandboxProcess sandbox;
    QVERIFY(sandbox.isListening());
    const auto post = [&](const QByteArray &url, const QString &id) {
        const QByteArray body = "TID=" + id.toLatin1();
        return exchange(sandbox.port(),
                        "POST " + url + " HTTP/1.1\r\nHost: www.demo.varnell.com\r\n" +
                            "Content-Type: application/x-www-form-urlencoded\r\n" +
                            "Content-Length: " + QByteArray::number(body.size()) + "\r\n",
                        body);
    };
    for (const char *answer : {"No Email", "File does not exist", "No Transaction"}) {
        const QString id = sandbox.transactionFor(QLatin1String(answer));
        QVERIFY(!id.isEmpty());
        QCOMPARE(post(package + "RequestPack.cgi", id).body, QByteArray(answer) + "\r\n");
    }
    QCOMPARE(post(package + "RequestPack.cgi", QStringLiteral("T1")).body,
             QByteArray("No Transaction\r\n"));
    QCOMPARE(QDir(sandbox.outboxDir()).entryList(QDir::Files), QStringList());

    // The program writes the server path's own slash and another one.
    const QString id = sandbox.transactionFor(QStringLiteral("Request Successful"));
    QCOMPARE(post(package + "/RequestPack.cgi", id).body, QByteArray("Request Successful\r\n"));
    QCOMPARE(post(central + "RequestPack.cgi", id).status, 404);
    const QString text =
        RecordText::fromFile(sandbox.outboxDir() + QLatin1Char('/') + id + QStringLiteral(".vrd"),
                             SandboxProcess::encryptionKey());
    QVERIFY2(text.contains(QRegularExpression(
                 QStringLiteral("(^|\r\n)Card Number: {8}\\d{4} \\d{4} \\d{4} \\d{4}(\r\n|$)"))),
             qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("\r\nTotal:              ")));
    QVERIFY(text.contains(QStringLiteral("Transaction ID:     ") + id));
}

void TestSandbox::faultSwitches()
{
    const QByteArray count = central + "GetProdCount.asp?" + developer();
    {
        SandboxProcess sandbox({QStringLiteral("--fail-first")});
        QVERIFY(sandbox.isListening());
        QCOMPARE(proxyGet(sandbox, count).status, 500);
        QCOMPARE(proxyGet(sandbox, count).body, QByteArray("4\r\n"));
        QCOMPARE(proxyGet(sandbox, count + "&x=1").status, 500);
        QCOMPARE(proxyGet(sandbox, count).status, 200);
    }
    {
        SandboxProcess sandbox({QStringLiteral("--status"), QStringLiteral("503")});
        QVERIFY(sandbox.isListening());
        QCOMPARE(proxyGet(sandbox, count).status, 503);
        QCOMPARE(proxyGet(sandbox, "http://www.demo.varnell.com/ConnTest.txt").status, 503);
    }
    {
        SandboxProcess sandbox({QStringLiteral("--delay-ms"), QStringLiteral("600")});
        QVERIFY(sandbox.isListening());
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(proxyGet(sandbox, count).body, QByteArray("4\r\n"));
        QVERIFY(timer.elapsed() >= 600);
    }
    {
        SandboxProcess sandbox({QStringLiteral("--hang")});
        QVERIFY(sandbox.isListening());
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(proxyGet(sandbox, count, 1500).status, 0); // the client gives up
        QVERIFY(timer.elapsed() >= 1400);
        // Held requests do not keep the sandbox from stopping.
        QCOMPARE(sandbox.stop(), 0);
    }
}

void TestSandbox::loopbackOnlyAndBadArguments()
{
    SandboxProcess sandbox;
    QVERIFY(sandbox.isListening());
    const QByteArray request = "GET /ConnTest.txt HTTP/1.1\r\nHost: secure.varnell.com\r\n";
    QCOMPARE(exchange(sandbox.port(), request).status, 200);
    // Another loopback address of this machine finds no listener there.
    QCOMPARE(exchange(sandbox.port(), request, {}, 3000, QStringLiteral("127.0.0.2")).status, 0);

    const QList<QStringList> bad = {
        {QStringLiteral("--port"), QStringLiteral("x")},
        {QStringLiteral("--port"), QStringLiteral("70000")},
        {QStringLiteral("--status"), QStringLiteral("99")},
        {QStringLiteral("--delay-ms"), QStringLiteral("-5")},
        {QStringLiteral("--hang=1")},
        {QStringLiteral("--data")},
        {QStringLiteral("--bogus")},
        {QStringLiteral("extra")},
    };
    for (const QStringList &arguments : bad) {
        QProcess process;
        process.start(QString::fromUtf8(TestConfig::sandboxPath), arguments);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardOutput().isEmpty());
        QVERIFY(!process.readAllStandardError().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestSandbox)
#include "tst_sandbox.moc"
