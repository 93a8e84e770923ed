#include "BuildConfig.h"
#include "TestConfig.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using Reply = LoopbackHttpServer::Reply;

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs varnell while this process's event loop keeps serving the fake server.
Run varnell(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QString::fromUtf8(TestConfig::varnellPath), arguments);
    if (!process.waitForStarted(10000))
        qFatal("cannot start varnell");
    process.write(input);
    process.closeWriteChannel();
    if (finished.isEmpty() && !finished.wait(60000))
        qFatal("varnell did not finish");
    return Run{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
               process.readAllStandardOutput(), process.readAllStandardError()};
}

const QByteArray sandboxKey = "SBX-DEMO-001demo.varnellypackz";

const QByteArray answer = "New Product |7|Widget \xe9|x|1/2/2003|0|T100|Ann\r\n"
                          "|1/3/2003|-1|T101|Bob\r\n"
                          "New Product |9|Gadget|x|1/4/2003 10:15|3|T 200|\"Cy\"\r\n"
                          "End Products\r\n";

} // namespace

class TestCliStatistics : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void stats();
    void statsExport();
    void statsFailures();
    void status();
    void resend();

private:
    LoopbackHttpServer *m_server = nullptr;
};

void TestCliStatistics::initTestCase()
{
    m_server = new LoopbackHttpServer(this);
    // The child processes inherit the proxy and the short deadline.
    qputenv("http_proxy", m_server->proxyUrl());
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
    qputenv("VARNELL_HTTP_TIMEOUT_MS", "3000");
}

void TestCliStatistics::cleanupTestCase()
{
    qunsetenv("http_proxy");
    qunsetenv("VARNELL_HTTP_TIMEOUT_MS");
}

void TestCliStatistics::init()
{
    m_server->requests.clear();
    m_server->setHandler([](const LoopbackHttpServer::Request &) { return Reply{200, answer}; });
}

void TestCliStatistics::stats()
{
    TestEnvironment env;
    env.createStore(QString::fromLatin1(sandboxKey), QStringLiteral("k"), QStringLiteral("pw"));
    Run r = varnell({QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("week"),
                     QStringLiteral("--password-stdin")},
                    "pw\n");
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("Product ID: 7 - Widget \xc3\xa9\n"
                               "  Date: 1/2/2003     Result: Success     Transaction ID: T100     "
                               "End UserName: Ann\n"
                               "  Date: 1/3/2003     Result: Not Processed     Transaction ID: "
                               "T101     End UserName: Bob\n"
                               "Product ID: 9 - Gadget\n"
                               "  Date: 1/4/2003 10:15     Result: Declined     Transaction ID: "
                               "T 200     End UserName: \"Cy\"\n"));
    QCOMPARE(m_server->requests.size(), 1);
    QCOMPARE(m_server->requests.first().target,
             QByteArray("http://") + BuildConfig::centralHost +
                 "/Validator/ProdReview.asp?DevID=demovarnellcompack&DateRange=1");

    // A wrong password sends nothing.
    r = varnell({QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("day"),
                 QStringLiteral("--password-stdin")},
                "nope\n");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(m_server->requests.size(), 1);

    r = varnell({QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("Year"),
                 QStringLiteral("--json"), QStringLiteral("--password-stdin")},
                "pw\n");
    QCOMPARE(r.exitCode, 0);
    QVERIFY(m_server->requests.last().target.endsWith("&DateRange=3"));
    QJsonParseError parseError;
    const QJsonArray products = QJsonDocument::fromJson(r.out, &parseError).array();
    QCOMPARE(parseError.error, QJsonParseError::NoError);
    QCOMPARE(products.size(), 2);
    const QJsonObject widget = products[0].toObject();
    QCOMPARE(widget.value(QStringLiteral("id")).toInt(), 7);
    QCOMPARE(widget.value(QStringLiteral("caption")).toString(), QStringLiteral("Widget é"));
    const QJsonArray transactions = widget.value(QStringLiteral("transactions")).toArray();
    QCOMPARE(transactions.size(), 2);
    QCOMPARE(transactions[1].toObject(),
             (QJsonObject{{QStringLiteral("date"), QStringLiteral("1/3/2003")},
                          {QStringLiteral("result"), QStringLiteral("Not Processed")},
                          {QStringLiteral("transactionId"), QStringLiteral("T101")},
                          {QStringLiteral("endUser"), QStringLiteral("Bob")}}));
    QCOMPARE(products[1]
                 .toObject()
                 .value(QStringLiteral("transactions"))
                 .toArray()[0]
                 .toObject()
                 .value(QStringLiteral("endUser"))
                 .toString(),
             QStringLiteral("\"Cy\""));
}

void TestCliStatistics::statsExport()
{
    TestEnvironment env;
    env.createStore(QString::fromLatin1(sandboxKey), QStringLiteral("k"));
    const QString csv = env.path(QStringLiteral("stats.csv"));
    Run r = varnell({QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("month"),
                     QStringLiteral("--csv"), csv});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.isEmpty());
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
             QByteArray("\"Product ID\",\"Transaction Date\",\"Result\"\r\n"
                        "\"7\",\"1/2/2003\",\"Success     Transaction ID: T100     End UserName: "
                        "Ann\"\r\n"
                        "\"7\",\"1/3/2003\",\"Not Processed     Transaction ID: T101     End "
                        "UserName: Bob\"\r\n"
                        "\"9\",\"1/4/2003 10:15\",\"Declined     Transaction ID: T 200     End "
                        "UserName: \"\"Cy\"\"\"\r\n"));
    file.close();

    // Nothing to export: no file is written.
    m_server->setHandler([](const LoopbackHttpServer::Request &) {
        return Reply{200, QByteArray("End Products")};
    });
    const QString empty = env.path(QStringLiteral("empty.csv"));
    r = varnell({QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("day"),
                 QStringLiteral("--csv"), empty});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QByteArray("varnell: There is no data to export.\n"));
    QVERIFY(!QFile::exists(empty));
    // An empty period prints nothing.
    r = varnell({QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("day")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.isEmpty());
}

void TestCliStatistics::statsFailures()
{
    TestEnvironment env;
    env.createStore(QString::fromLatin1(sandboxKey), QStringLiteral("k"));
    m_server->setHandler([](const LoopbackHttpServer::Request &) {
        return Reply{200, answer, Reply::Drop};
    });
    const QString csv = env.path(QStringLiteral("stats.csv"));
    Run r = varnell({QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("day"),
                     QStringLiteral("--csv"), csv});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QByteArray("varnell: Unable to retrieve statistics.\n"));
    QVERIFY(!QFile::exists(csv));

    m_server->setHandler([](const LoopbackHttpServer::Request &) { return Reply{200, answer}; });
    r = varnell({QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("day"),
                 QStringLiteral("--csv"), env.path(QStringLiteral("missing/dir/x.csv"))});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains("missing/dir/x.csv"));

    const QList<QStringList> wrong = {
        {QStringLiteral("stats")},
        {QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("fortnight")},
        {QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("day"),
         QStringLiteral("--json"), QStringLiteral("--csv"), QStringLiteral("x.csv")},
        {QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("day"),
         QStringLiteral("extra")},
        {QStringLiteral("status"), QStringLiteral("extra")},
        {QStringLiteral("resend")},
        {QStringLiteral("resend"), QStringLiteral("a"), QStringLiteral("b")},
    };
    const qsizetype sent = m_server->requests.size();
    for (const QStringList &arguments : wrong) {
        r = varnell(arguments);
        QVERIFY2(r.exitCode == 2, qPrintable(arguments.join(QLatin1Char(' '))));
    }
    QCOMPARE(m_server->requests.size(), sent);
    for (const char *command : {"stats", "status", "resend"}) {
        r = varnell({QString::fromLatin1(command), QStringLiteral("--help")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.startsWith(QByteArray(QByteArray("Usage: varnell ") + command)));
    }
}

void TestCliStatistics::status()
{
    TestEnvironment env;
    env.createStore(QString::fromLatin1(sandboxKey), QStringLiteral("k"));
    m_server->setHandler([](const LoopbackHttpServer::Request &request) {
        if (request.target.startsWith("http://www."))
            return Reply{500, QByteArray("Server Error")};
        return Reply{200, QByteArray("OK")};
    });
    Run r = varnell({QStringLiteral("status")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^Server 0: Active (\\d+\\.\\d\\d ms|< 0\\.1 ms)\n"
                                               "Server 1: Down\n$"))
                 .match(QString::fromUtf8(r.out))
                 .hasMatch(),
             r.out.constData());
    QCOMPARE(m_server->requests.size(), 3); // the package server is tried twice
    QCOMPARE(m_server->requests[0].target,
             QByteArray("http://") + BuildConfig::centralHost + "/ConnTest.txt");
    QCOMPARE(m_server->requests[1].target, QByteArray("http://www.demo.varnell.com/ConnTest.txt"));

    m_server->setHandler([](const LoopbackHttpServer::Request &) {
        return Reply{200, QByteArray(), Reply::Answer, 30};
    });
    r = varnell({QStringLiteral("status")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(QRegularExpression(QStringLiteral("^Server 0: Active \\d+\\.\\d\\d ms\n"
                                               "Server 1: Active \\d+\\.\\d\\d ms\n$"))
                 .match(QString::fromUtf8(r.out))
                 .hasMatch(),
             r.out.constData());

    // A developer key that names no package server: Down without a request.
    env.createStore(QStringLiteral("SHORTKEY"), QStringLiteral("k"));
    m_server->requests.clear();
    r = varnell({QStringLiteral("status")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.endsWith("\nServer 1: Down\n"));
    QCOMPARE(m_server->requests.size(), 1);
}

void TestCliStatistics::resend()
{
    TestEnvironment env;
    env.createStore(QString::fromLatin1(sandboxKey), QStringLiteral("k"));
    m_server->setHandler([](const LoopbackHttpServer::Request &) {
        return Reply{200, QByteArray("<p>Request Successful</p>")};
    });
    Run r = varnell({QStringLiteral("resend"), QStringLiteral("T 100")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("Request Sent\n"
                               "A request has been sent for the packet.\n"
                               "You should receive it in your email shortly.\n"));
    QCOMPARE(m_server->requests.size(), 1);
    QCOMPARE(m_server->requests[0].method, QByteArray("POST"));
    QCOMPARE(m_server->requests[0].target,
             QByteArray("http://www.demo.varnell.com/pack//RequestPack.cgi"));
    QCOMPARE(m_server->requests[0].body, QByteArray("TID=T%20100"));

    m_server->setHandler([](const LoopbackHttpServer::Request &) {
        return Reply{200, QByteArray("No Email")};
    });
    r = varnell({QStringLiteral("resend"), QStringLiteral("T100")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.startsWith("No email address\nThere is no email address assigned.\n"));

    m_server->setHandler([](const LoopbackHttpServer::Request &) {
        return Reply{200, QByteArray(), Reply::Drop};
    });
    r = varnell({QStringLiteral("resend"), QStringLiteral("T100")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.isEmpty());
    QVERIFY(r.err.startsWith("varnell: The package server gave no answer"));

    env.createStore(QStringLiteral("SHORTKEY"), QStringLiteral("k"));
    m_server->requests.clear();
    r = varnell({QStringLiteral("resend"), QStringLiteral("T100")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.startsWith("No Package Server\n"));
    QCOMPARE(m_server->requests.size(), 0);
}

QTEST_GUILESS_MAIN(TestCliStatistics)
#include "tst_cli_statistics.moc"
