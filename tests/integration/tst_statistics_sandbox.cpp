// varnell stats, status and resend against the sandbox gateway, reached
// through http_proxy as the program's real addresses.

#include "TestConfig.h"
#include "support/SandboxProcess.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run varnell(const QStringList &arguments, const QString &proxy)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("http_proxy"), proxy);
    environment.remove(QStringLiteral("no_proxy"));
    environment.remove(QStringLiteral("NO_PROXY"));
    process.setProcessEnvironment(environment);
    process.start(QString::fromUtf8(TestConfig::varnellPath), arguments);
    if (!process.waitForStarted(10000))
        qFatal("cannot start varnell");
    process.closeWriteChannel();
    if (!process.waitForFinished(60000))
        qFatal("varnell did not finish");
    return Run{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
               process.readAllStandardOutput(), process.readAllStandardError()};
}

QStringList outputLines(const QByteArray &out)
{
    return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestStatisticsSandbox : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void stats();
    void status();
    void resend();
    void faults();
    void commandLine();
};

void TestStatisticsSandbox::init()
{
    qputenv("VARNELL_HTTP_TIMEOUT_MS", "5000");
}

void TestStatisticsSandbox::cleanup()
{
    qunsetenv("VARNELL_HTTP_TIMEOUT_MS");
}

void TestStatisticsSandbox::stats()
{
    TestEnvironment env;
    env.createStore(SandboxProcess::developerKey(), SandboxProcess::encryptionKey());
    SandboxProcess sandbox;
    QVERIFY(sandbox.isListening());

    Run r = varnell({QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("year")},
                    sandbox.proxyUrl());
    QCOMPARE(r.exitCode, 0);
    const QStringList year = outputLines(r.out);
    QVERIFY(year.size() > 100);
    const QRegularExpression productLine(QStringLiteral("^Product ID: \\d+ - .+$"));
    const QRegularExpression transactionLine(
        QStringLiteral("^  Date: .+     Result: (Success|Not Processed|Declined)     "
                       "Transaction ID: .+     End UserName: .*$"));
    qsizetype transactions = 0;
    for (const QString &line : year) {
        if (line.startsWith(QLatin1String("  "))) {
            QVERIFY2(transactionLine.match(line).hasMatch(), qPrintable(line));
            ++transactions;
        } else {
            QVERIFY2(productLine.match(line).hasMatch(), qPrintable(line));
        }
    }
    QVERIFY(year.first().startsWith(QLatin1String("Product ID: ")));

    // The CSV export has one line per transaction, each under its product.
    const QString csv = env.path(QStringLiteral("year.csv"));
    r = varnell({QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("year"),
                 QStringLiteral("--csv"), csv},
                sandbox.proxyUrl());
    QCOMPARE(r.exitCode, 0);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = file.readAll().split('\n');
    QCOMPARE(rows.first(), QByteArray("\"Product ID\",\"Transaction Date\",\"Result\"\r"));
    QCOMPARE(rows.last(), QByteArray()); // the file ends in CR LF
    QCOMPARE(rows.size() - 2, transactions);
    QString product;
    qsizetype row = 1;
    for (const QString &line : year) {
        if (!line.startsWith(QLatin1String("  "))) {
            product = line.section(QLatin1Char(' '), 2, 2);
            continue;
        }
        QVERIFY2(rows[row].startsWith(QByteArray('"' + product.toLatin1() + "\",\"")),
                 rows[row].constData());
        QVERIFY(rows[row].endsWith("\"\r"));
        ++row;
    }

    // Today's transactions hold the four that the sandbox names.
    r = varnell({QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("day"),
                 QStringLiteral("--json")},
                sandbox.proxyUrl());
    QCOMPARE(r.exitCode, 0);
    QSet<QString> ids;
    const QJsonArray products = QJsonDocument::fromJson(r.out).array();
    QVERIFY(!products.isEmpty());
    for (const QJsonValue &p : products) {
        QVERIFY(p.toObject().value(QStringLiteral("id")).toInt() >= 0);
        for (const QJsonValue &t : p.toObject().value(QStringLiteral("transactions")).toArray())
            ids.insert(t.toObject().value(QStringLiteral("transactionId")).toString());
    }
    for (const char *answer :
         {"Request Successful", "No Email", "File does not exist", "No Transaction"}) {
        const QString id = sandbox.transactionFor(QString::fromLatin1(answer));
        QVERIFY(!id.isEmpty());
        if (QLatin1String(answer) != QLatin1String("No Transaction"))
            QVERIFY2(ids.contains(id), qPrintable(id));
    }

    // A shorter period holds no more transactions than a longer one.
    r = varnell({QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("week")},
                sandbox.proxyUrl());
    QCOMPARE(r.exitCode, 0);
    QVERIFY(outputLines(r.out).size() <= year.size());
}

void TestStatisticsSandbox::status()
{
    TestEnvironment env;
    env.createStore(SandboxProcess::developerKey(), SandboxProcess::encryptionKey());
    SandboxProcess sandbox;
    QVERIFY(sandbox.isListening());
    const Run r = varnell({QStringLiteral("status")}, sandbox.proxyUrl());
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(QRegularExpression(QStringLiteral("^Server 0: Active (\\d+\\.\\d\\d ms|< 0\\.1 ms)\n"
                                               "Server 1: Active (\\d+\\.\\d\\d ms|< 0\\.1 ms)\n$"))
                 .match(QString::fromUtf8(r.out))
                 .hasMatch(),
             r.out.constData());
}

void TestStatisticsSandbox::resend()
{
    TestEnvironment env;
    env.createStore(SandboxProcess::developerKey(), SandboxProcess::encryptionKey());
    SandboxProcess sandbox;
    QVERIFY(sandbox.isListening());

    const QString sent = sandbox.transactionFor(QStringLiteral("Request Successful"));
    Run r = varnell({QStringLiteral("resend"), sent}, sandbox.proxyUrl());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("Request Sent\nA request has been sent for the packet.\n"
                               "You should receive it in your email shortly.\n"));
    // The packet arrived and decrypts with the account's key.
    const QString packet = QDir(sandbox.outboxDir()).filePath(sent + QLatin1String(".vrd"));
    QVERIFY2(QFile::exists(packet), qPrintable(packet));
    r = varnell({QStringLiteral("decrypt"), packet}, sandbox.proxyUrl());
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.contains(sent.toUtf8()));

    const struct
    {
        const char *answer;
        const char *title;
    } outcomes[] = {{"No Email", "No email address\n"},
                    {"File does not exist", "No Available Packet\n"},
                    {"No Transaction", "Invalid Request\n"}};
    for (const auto &outcome : outcomes) {
        r = varnell(
            {QStringLiteral("resend"), sandbox.transactionFor(QString::fromLatin1(outcome.answer))},
            sandbox.proxyUrl());
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.startsWith(outcome.title), r.out.constData());
    }
}

void TestStatisticsSandbox::faults()
{
    TestEnvironment env;
    env.createStore(SandboxProcess::developerKey(), SandboxProcess::encryptionKey());
    {
        SandboxProcess sandbox({QStringLiteral("--status"), QStringLiteral("500")});
        QVERIFY(sandbox.isListening());
        Run r =
            varnell({QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("day")},
                    sandbox.proxyUrl());
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, QByteArray("varnell: Unable to retrieve statistics.\n"));
        r = varnell({QStringLiteral("status")}, sandbox.proxyUrl());
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QByteArray("Server 0: Down\nServer 1: Down\n"));
        // An error page is an answer, though not one the program knows.
        r = varnell({QStringLiteral("resend"), QStringLiteral("T1")}, sandbox.proxyUrl());
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.startsWith("Unknown Server Response\n"), r.out.constData());
    }
    {
        // Every answer is an empty page: an empty period.
        SandboxProcess sandbox({QStringLiteral("--status"), QStringLiteral("200")});
        QVERIFY(sandbox.isListening());
        Run r =
            varnell({QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("day")},
                    sandbox.proxyUrl());
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.isEmpty());
        const QString csv = env.path(QStringLiteral("empty.csv"));
        r = varnell({QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("day"),
                     QStringLiteral("--csv"), csv},
                    sandbox.proxyUrl());
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, QByteArray("varnell: There is no data to export.\n"));
        QVERIFY(!QFile::exists(csv));
    }
    {
        // The first request for each URL fails; the transport's second
        // attempt succeeds.
        SandboxProcess sandbox({QStringLiteral("--fail-first")});
        QVERIFY(sandbox.isListening());
        const Run r =
            varnell({QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("day")},
                    sandbox.proxyUrl());
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.startsWith("Product ID: "));
    }
    {
        qputenv("VARNELL_HTTP_TIMEOUT_MS", "500");
        SandboxProcess sandbox({QStringLiteral("--hang")});
        QVERIFY(sandbox.isListening());
        Run r = varnell({QStringLiteral("status")}, sandbox.proxyUrl());
        QCOMPARE(r.out, QByteArray("Server 0: Down\nServer 1: Down\n"));
        r = varnell({QStringLiteral("resend"), QStringLiteral("T1")}, sandbox.proxyUrl());
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.startsWith("varnell: The package server gave no answer"));
    }
}

void TestStatisticsSandbox::commandLine()
{
    TestEnvironment env;
    SandboxProcess sandbox;
    QVERIFY(sandbox.isListening());
    const QList<QStringList> wrong = {
        {QStringLiteral("stats")},
        {QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("fortnight")},
        {QStringLiteral("stats"), QStringLiteral("--period"), QStringLiteral("day"),
         QStringLiteral("--json"), QStringLiteral("--csv"), QStringLiteral("x.csv")},
        {QStringLiteral("status"), QStringLiteral("extra")},
        {QStringLiteral("resend")},
        {QStringLiteral("resend"), QStringLiteral("a"), QStringLiteral("b")},
    };
    for (const QStringList &arguments : wrong) {
        const Run r = varnell(arguments, sandbox.proxyUrl());
        QVERIFY2(r.exitCode == 2, qPrintable(arguments.join(QLatin1Char(' '))));
    }
    for (const char *command : {"stats", "status", "resend"}) {
        const Run r =
            varnell({QString::fromLatin1(command), QStringLiteral("--help")}, sandbox.proxyUrl());
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.startsWith(QByteArray(QByteArray("Usage: varnell ") + command)));
    }

    // A developer key of twelve characters names no package server.
    env.createStore(QStringLiteral("SBX-DEMO-001"), SandboxProcess::encryptionKey());
    Run r = varnell({QStringLiteral("status")}, sandbox.proxyUrl());
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.out.startsWith("Server 0: Active ") && r.out.endsWith("\nServer 1: Down\n"),
             r.out.constData());
    r = varnell(
        {QStringLiteral("resend"), sandbox.transactionFor(QStringLiteral("Request Successful"))},
        sandbox.proxyUrl());
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.out.startsWith("No Package Server\n"), r.out.constData());
    QVERIFY(QDir(sandbox.outboxDir()).entryList(QDir::Files).isEmpty());
}

QTEST_GUILESS_MAIN(TestStatisticsSandbox)
#include "tst_statistics_sandbox.moc"
