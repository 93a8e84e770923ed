#include "common/Ansi.h"
#include "sandbox/RequestTarget.h"
#include "sandbox/SandboxOptions.h"
#include "statistics/modStatistics.h"
#include "support/SandboxProcess.h"

#include <QElapsedTimer>
#include <QFile>
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
    void parsers();
    void routing();
    void updatesPersist();
    void statistics();
    void faultSwitches();
};

void TestSandbox::parsers()
{
    // The host in lower case without its port; the first pair of a name wins.
    RequestTarget target = RequestTarget::parse("/Validator/A.asp?v=&v=2", "Secure.Varnell.COM:80");
    QCOMPARE(target.host, QStringLiteral("secure.varnell.com"));
    QVERIFY(!target.queryValue("v").isNull() && target.queryValue("v").isEmpty());
    QVERIFY(target.queryValue("w").isNull());
    // Only %XX is decoded: "+" stays a plus, a broken "%" stays as it is.
    target = RequestTarget::parse("/a%2Fb//c?x=0&v=Cr%E8me+%26+Co%3D%zz%4", "h");
    QCOMPARE(target.path, QByteArray("/a/b/c"));
    QCOMPARE(target.queryValue("v"), QByteArray("Cr\xE8me+&+Co=%zz%4"));

    // Options it cannot use are refused with a reason.
    for (const char *bad : {"--port x", "--port 70000", "--status 99", "--delay-ms -5", "--hang=1",
                            "--data", "--bogus", "extra"}) {
        SandboxOptions options;
        QString error;
        QVERIFY2(SandboxOptions::parse(QString::fromLatin1(bad).split(QLatin1Char(' ')), &options,
                                       &error) == SandboxOptions::Parse::Error &&
                     !error.isEmpty(),
                 bad);
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
    // The probe pages are those of the central host and of "www." + the
    // account's server, no other.
    QCOMPARE(viaProxy(sandbox, "http://demo.varnell.com/ConnTest.txt").status, 404);
    QCOMPARE(viaProxy(sandbox, central + "RequestPack.cgi", "TID=T1").status, 404);
    // It listens on 127.0.0.1 alone: another loopback address finds nobody.
    QCOMPARE(exchange(sandbox.port(), "GET / HTTP/1.1\r\n", {}, 3000, "127.0.0.2").status, 0);
}

void TestSandbox::updatesPersist()
{
    // A catalogue that cannot be read is set aside, and the sandbox starts
    // with its own.
    QTemporaryDir data;
    QFile file(data.filePath(QStringLiteral("catalogue.json")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("{\"products\": [") > 0);
    file.close();
    const char *const update = "ProductUpdate.asp";
    {
        SandboxProcess sandbox({}, data.path());
        QVERIFY(sandbox.isListening());
        QCOMPARE(page(sandbox, update, "&CPID=5&Cost=1&PO=1&LP=1&CurType=2&SM=1&CurVer=2&PDesc=N"),
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
    QVERIFY(QFile::exists(data.filePath(QStringLiteral("catalogue.json.bad"))));
    SandboxProcess restarted({}, data.path());
    QVERIFY(restarted.isListening());
    QCOMPARE(page(restarted, "GetProdCount.asp"), QByteArray("5\r\n"));
    // A change keeps the creation date.
    const QByteArray today = QDate::currentDate().toString(Qt::ISODate).toLatin1();
    QCOMPARE(page(restarted, "GetProductInfo.asp", "&ProdCount=2"),
             QByteArray("CPID=2|PDesc=Two|Cost=12|CurType=3|SM=2|CurVer=9|DteC=2022-06-01|DteE=" +
                        today + "|LP=1|PO=1|SysLock=0|\r\n")
                 .replace('|', '\xdf'));
    QVERIFY(page(restarted, "GetProductInfo.asp", "&ProdCount=4")
                .startsWith("CPID=4\xdfPDesc=Cr\xE8me Archiver (retired)\xdf"));
}

void TestSandbox::statistics()
{
    SandboxProcess sandbox;
    QVERIFY(sandbox.isListening());
    const QDate today = QDate::currentDate();
    const QDate firstDay[] = {today, today.addDays(-6), today.addMonths(-1).addDays(1),
                              today.addYears(-1).addDays(1)};
    const QByteArray review = central + "ProdReview.asp?DevID=demovarnellcompack&DateRange=";
    qsizetype previous = 0;
    QSet<QString> captions, results;
    for (int period = 0; period < 4; ++period) {
        const QByteArray body = viaProxy(sandbox, review + QByteArray::number(period)).body;
        // Every line but the end markers becomes a node: none is malformed.
        QSet<QString> ids;
        for (const modStatistics::Product &p : modStatistics::parseStatistics(body)) {
            captions.insert(p.caption);
            for (const modStatistics::Transaction &t : p.transactions) {
                const QDate date = QDate::fromString(t.date, Qt::ISODate);
                QVERIFY2(date >= firstDay[period] && date <= today, qPrintable(t.date));
                results.insert(t.result);
                ids.insert(t.transactionId);
            }
        }
        // IDs are unique: each stands for one transaction.
        QCOMPARE(ids.size(), body.count("\r\n") - body.count("End Products\r\n"));
        QVERIFY(ids.size() > previous);
        previous = ids.size();
        for (const char *answer : {"Request Successful", "No Email", "File does not exist"})
            QVERIFY(ids.contains(sandbox.transactionFor(QLatin1String(answer))));
    }
    QVERIFY(previous >= 200); // in the year
    QCOMPARE(captions,
             (QSet<QString>{QStringLiteral("Café Ledger"), QStringLiteral("Résumé Builder"),
                            QStringLiteral("Widget Pro")}));
    QCOMPARE(results.size(), 3);
    // Nothing for another account or an unknown period.
    for (const QByteArray &url :
         QList<QByteArray>{review + '4', central + "ProdReview.asp?DevID=other&DateRange=3"})
        QVERIFY(!viaProxy(sandbox, url).body.contains("New Product"));
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
