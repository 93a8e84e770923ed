#include "sandbox/RequestTarget.h"
#include "sandbox/SandboxOptions.h"
#include "shell/Ansi.h"
#include "statistics/modStatistics.h"
#include "support/SandboxProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSet>
#include <QTcpSocket>
#include <QTest>

namespace {

const QByteArray central = "http://secure.varnell.com/Validator/";

struct Reply
{
    int status = 0; // 0: no answer in time
    QByteArray body;
};

// One request on a fresh connection, head as given (each line ending in
// CR LF); waits at most timeoutMs for the answer.
Reply exchange(quint16 port, const QByteArray &head, const QByteArray &body = {},
               int timeoutMs = 10000, const char *address = "127.0.0.1")
{
    QTcpSocket socket;
    socket.connectToHost(QString::fromLatin1(address), port);
    if (!socket.waitForConnected(timeoutMs))
        return {};
    socket.write(head + "Content-Length: " + QByteArray::number(body.size()) +
                 "\r\nConnection: close\r\n\r\n" + body);
    // The request asks the server to close the connection after its answer.
    if (!socket.waitForDisconnected(timeoutMs))
        return {};
    const QByteArray data = socket.readAll();
    const qsizetype headEnd = data.indexOf("\r\n\r\n");
    if (!data.startsWith("HTTP/1.") || headEnd < 0)
        return {};
    return {data.mid(9, 3).toInt(), data.mid(headEnd + 4)};
}

// A request as a client sends it to its proxy: the whole URL on the request line.
Reply viaProxy(const SandboxProcess &sandbox, const QByteArray &url, const QByteArray &body = {},
               int timeoutMs = 10000)
{
    return exchange(sandbox.port(),
                    (body.isNull() ? "GET " : "POST ") + url + " HTTP/1.1\r\nHost: x\r\n", body,
                    timeoutMs);
}

const QByteArray developer = "DeveloperID=" + Ansi::encode(SandboxProcess::developerKey());

// The body of the central server's page for the sandbox account.
QByteArray page(const SandboxProcess &sandbox, const char *name, const QByteArray &pairs = {})
{
    return viaProxy(sandbox, central + name + '?' + developer + pairs).body;
}

} // namespace

class TestSandbox : public QObject
{
    Q_OBJECT

private slots:
    void requestTarget_data();
    void requestTarget();
    void badOptions();
    void routing();
    void updatesPersist();
    void badCatalogueIsKept();
    void statistics();
    void faultSwitches();
};

void TestSandbox::requestTarget_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("hostHeader");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("value"); // of the query key "v"
    QTest::newRow("origin form") << QByteArray("/Validator/A.asp?v=1")
                                 << QByteArray("Secure.Varnell.COM:8080")
                                 << QStringLiteral("secure.varnell.com")
                                 << QByteArray("/Validator/A.asp") << QByteArray("1");
    QTest::newRow("absolute form wins over Host")
        << QByteArray("http://www.demo.varnell.com:80/pack//RequestPack.cgi")
        << QByteArray("127.0.0.1:5555") << QStringLiteral("www.demo.varnell.com")
        << QByteArray("/pack/RequestPack.cgi") << QByteArray();
    QTest::newRow("percent decoding keeps plus")
        << QByteArray("/a%2Fb?x=0&v=Cr%E8me+%26+Co%3D%zz%4") << QByteArray("h")
        << QStringLiteral("h") << QByteArray("/a/b") << QByteArray("Cr\xE8me+&+Co=%zz%4");
    QTest::newRow("empty value is present, first wins")
        << QByteArray("/?v=&v=2") << QByteArray("h") << QStringLiteral("h") << QByteArray("/")
        << QByteArray("");
}

void TestSandbox::requestTarget()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, hostHeader);
    QFETCH(QString, host);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, value);
    const RequestTarget parsed = RequestTarget::parse(target, hostHeader);
    QCOMPARE(parsed.host, host);
    QCOMPARE(parsed.path, path);
    QCOMPARE(parsed.queryValue("v").isNull(), value.isNull());
    QCOMPARE(parsed.queryValue("v"), value);
}

void TestSandbox::badOptions()
{
    for (const char *bad : {"--port x", "--port 70000", "--status 99", "--delay-ms -5", "--hang=1",
                            "--data", "--bogus", "extra"}) {
        SandboxOptions options;
        QString error;
        QCOMPARE(SandboxOptions::parse(QString::fromLatin1(bad).split(QLatin1Char(' ')), &options,
                                       &error),
                 SandboxOptions::Parse::Error);
        QVERIFY2(!error.isEmpty(), bad);
    }
}

void TestSandbox::routing()
{
    SandboxProcess sandbox;
    QVERIFY(sandbox.isListening());
    QCOMPARE(sandbox.startupLines().value(0),
             QStringLiteral("Developer key: ") + SandboxProcess::developerKey());
    const QByteArray query = "/Validator/GetProdCount.asp?" + developer;
    QCOMPARE(
        exchange(sandbox.port(), "GET " + query + " HTTP/1.1\r\nHost: secure.varnell.com\r\n").body,
        QByteArray("4\r\n"));
    QCOMPARE(exchange(sandbox.port(), "GET " + query + " HTTP/1.1\r\nHost: example.com\r\n").status,
             404);
    QCOMPARE(viaProxy(sandbox, "http://secure.varnell.com/ConnTest.txt").status, 200);
    QCOMPARE(viaProxy(sandbox, "http://www.demo.varnell.com/ConnTest.txt").status, 200);
    QCOMPARE(viaProxy(sandbox, "http://demo.varnell.com/ConnTest.txt").status, 404);
    QCOMPARE(viaProxy(sandbox, central + "RequestPack.cgi", "TID=T1").status, 404);
    // It listens on 127.0.0.1 alone: another loopback address finds nobody.
    QCOMPARE(exchange(sandbox.port(), "GET / HTTP/1.1\r\n", {}, 3000, "127.0.0.2").status, 0);
}

void TestSandbox::updatesPersist()
{
    QTemporaryDir data;
    const QByteArray description = Ansi::encode(QStringLiteral("Crème & Co + 100% = “best”"));
    const char *const update = "ProductUpdate.asp";
    {
        SandboxProcess sandbox({}, data.path());
        QVERIFY(sandbox.isListening());
        QCOMPARE(page(sandbox, update,
                      "&CPID=5&Cost=1234.5&PO=True&LP=false&CurType=2&SM=1&CurVer=2.1&PDesc=" +
                          description.toPercentEncoding()),
                 QByteArray("Product Added\r\n"));
        QCOMPARE(
            page(sandbox, update, "&CPID=2&Cost=12&PO=1&LP=true&CurType=3&SM=2&CurVer=9&PDesc=Two"),
            QByteArray("Product Updated\r\n"));
        // Refused: the system-locked product, an ID beyond count + 1, a bad code.
        for (const char *id : {"4", "7", "6&CurType=7"})
            page(sandbox, update,
                 "&CPID=" + QByteArray(id) + "&Cost=1&PO=1&LP=1&CurType=0&SM=0&CurVer=1&PDesc=X");
        QCOMPARE(sandbox.stop(), 0);
    }
    SandboxProcess restarted({}, data.path());
    QVERIFY(restarted.isListening());
    QCOMPARE(page(restarted, "GetProdCount.asp"), QByteArray("5\r\n"));
    const QByteArray today = QDate::currentDate().toString(Qt::ISODate).toLatin1();
    QCOMPARE(page(restarted, "GetProductInfo.asp", "&ProdCount=5"),
             QByteArray("CPID=5|PDesc=" + description +
                        "|Cost=1234.5|CurType=2|SM=1|CurVer=2.1|DteC=" + today + "|DteE=" + today +
                        "|LP=0|PO=1|SysLock=0|\r\n")
                 .replace('|', '\xdf'));
    // A change keeps the creation date.
    QCOMPARE(page(restarted, "GetProductInfo.asp", "&ProdCount=2"),
             QByteArray("CPID=2|PDesc=Two|Cost=12|CurType=3|SM=2|CurVer=9|DteC=2022-06-01|DteE=" +
                        today + "|LP=1|PO=1|SysLock=0|\r\n")
                 .replace('|', '\xdf'));
    QVERIFY(page(restarted, "GetProductInfo.asp", "&ProdCount=4")
                .startsWith("CPID=4\xdfPDesc=Cr\xE8me Archiver (retired)\xdf"));
}

void TestSandbox::badCatalogueIsKept()
{
    QTemporaryDir data;
    QFile file(data.filePath(QStringLiteral("catalogue.json")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("{\"products\": [") > 0);
    file.close();
    SandboxProcess sandbox({}, data.path());
    QVERIFY(sandbox.isListening());
    QCOMPARE(page(sandbox, "GetProdCount.asp"), QByteArray("4\r\n"));
    QVERIFY(QFile::exists(data.filePath(QStringLiteral("catalogue.json.bad"))));
}

void TestSandbox::statistics()
{
    SandboxProcess sandbox;
    QVERIFY(sandbox.isListening());
    const QDate today = QDate::currentDate();
    const QDate firstDay[] = {today, today.addDays(-6), today.addMonths(-1).addDays(1),
                              today.addYears(-1).addDays(1)};
    qsizetype previous = 0;
    for (int period = 0; period < 4; ++period) {
        const QByteArray body =
            viaProxy(sandbox, central + "ProdReview.asp?DevID=demovarnellcompack&DateRange=" +
                                  QByteArray::number(period))
                .body;
        // Every line but the end markers becomes a node: none is malformed.
        qsizetype transactions = 0;
        QSet<QString> captions, results, ids;
        for (const modStatistics::Product &p : modStatistics::parseStatistics(body)) {
            captions.insert(p.caption);
            for (const modStatistics::Transaction &t : p.transactions) {
                const QDate date = QDate::fromString(t.date, Qt::ISODate);
                QVERIFY2(date >= firstDay[period] && date <= today, qPrintable(t.date));
                results.insert(t.result);
                ids.insert(t.transactionId);
                ++transactions;
            }
        }
        QCOMPARE(transactions, body.count("\r\n") - body.count("End Products\r\n"));
        QVERIFY(transactions > previous);
        previous = transactions;
        for (const char *answer : {"Request Successful", "No Email", "File does not exist"})
            QVERIFY(ids.contains(sandbox.transactionFor(QLatin1String(answer))));
        if (period == 3) {
            QVERIFY(transactions >= 200);
            QCOMPARE(captions, (QSet<QString>{QStringLiteral("Zoë's Ledger"),
                                              QStringLiteral("Ångström Tools"),
                                              QStringLiteral("Varnell Widget Pro")}));
            QCOMPARE(results.size(), 3);
        }
    }
    for (const char *query :
         {"DevID=someoneelse&DateRange=3", "DevID=demovarnellcompack&DateRange=4"})
        QVERIFY(
            !viaProxy(sandbox, central + "ProdReview.asp?" + query).body.contains("New Product"));
}

void TestSandbox::faultSwitches()
{
    const QByteArray url = central + "GetProdCount.asp?" + developer;
    {
        SandboxProcess sandbox({QStringLiteral("--fail-first")});
        QVERIFY(sandbox.isListening());
        QCOMPARE(viaProxy(sandbox, url).status, 500);
        QCOMPARE(viaProxy(sandbox, url).body, QByteArray("4\r\n"));
        QCOMPARE(viaProxy(sandbox, url + "&x=1").status, 500);
    }
    {
        SandboxProcess sandbox({QStringLiteral("--status"), QStringLiteral("503")});
        QVERIFY(sandbox.isListening());
        QCOMPARE(viaProxy(sandbox, url).status, 503);
    }
    {
        SandboxProcess sandbox({QStringLiteral("--delay-ms"), QStringLiteral("600")});
        QVERIFY(sandbox.isListening());
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(viaProxy(sandbox, url).body, QByteArray("4\r\n"));
        QVERIFY(timer.elapsed() >= 600);
    }
    {
        SandboxProcess sandbox({QStringLiteral("--hang")});
        QVERIFY(sandbox.isListening());
        QCOMPARE(viaProxy(sandbox, url, {}, 1500).status, 0); // no answer in time
        // Held requests do not keep the sandbox from stopping.
        QCOMPARE(sandbox.stop(), 0);
    }
}

QTEST_GUILESS_MAIN(TestSandbox)
#include "tst_sandbox.moc"
