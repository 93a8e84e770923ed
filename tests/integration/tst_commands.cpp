// The gateway commands of `varnell` against the sandbox gateway, which they
// reach at the real addresses through http_proxy.

#include "TestConfig.h"
#include "gateway/modProdUpdate.h"
#include "support/SandboxProcess.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Words split at blanks; "~" stands for a blank inside a word.
Run varnell(const QByteArray &line, const QByteArray &input = QByteArray())
{
    QStringList arguments = QString::fromUtf8(line).split(QLatin1Char(' '));
    for (QString &word : arguments)
        word.replace(QLatin1Char('~'), QLatin1Char(' '));
    QProcess process;
    process.start(QString::fromUtf8(TestConfig::varnellPath), arguments);
    if (!process.waitForStarted(10000))
        qFatal("cannot start varnell");
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000))
        qFatal("varnell did not finish");
    return Run{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
               process.readAllStandardOutput(), process.readAllStandardError()};
}

const QByteArray countFailure =
    "varnell: There has been an error retrieving your account information. The processing "
    "server may not be available at this time.\n";

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void products();
    void stats();
    void statusAndResend();
    void refusedBeforeSending();
    void serverFailures();
    void accountProblems();

private:
    void startSandbox(const QStringList &arguments = {});

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<SandboxProcess> m_sandbox;
};

void TestCommands::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_env->createStore(SandboxProcess::developerKey(), SandboxProcess::encryptionKey());
    for (const char *name : {"HTTP_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"})
        qunsetenv(name);
    // No sandbox yet: a request would find nobody.
    qputenv("http_proxy", "http://127.0.0.1:9");
}

void TestCommands::startSandbox(const QStringList &arguments)
{
    m_sandbox = std::make_unique<SandboxProcess>(arguments);
    QVERIFY(m_sandbox->isListening());
    qputenv("http_proxy", m_sandbox->proxyUrl().toLatin1());
}

void TestCommands::cleanup()
{
    // The runs leave no answer file behind.
    QCOMPARE(QDir(modProdUpdate::GetTempDir()).entryList(QDir::Files), QStringList());
    qunsetenv("http_proxy");
    m_sandbox.reset();
    m_env.reset();
}

void TestCommands::products()
{
    startSandbox();
    QCOMPARE(varnell("products count").out, QByteArray("4\n"));
    Run r = varnell("products show 1");
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("CPID: 1\nPDesc: Zo\xc3\xab's Ledger\nCost: $49.95\n"
                               "CurType: 0 (USD___United_State_Dollar)\nSM: 1 (Standard Service)\n"
                               "CurVer: 3.2.1\nDteC: 14/Mar/2021\nDteE: 02/Nov/2024\nLP: false\n"
                               "PO: true\nSysLock: false\n"));

    // A description with the characters a plain query would cut or alter
    // comes back as it was sent.
    r = varnell("products update --id 2 --price $1,234.5 --version 1.2.10 --currency CAD "
                "--service-model reseller --permit-older "
                "--description Tom~&~Jerry~#1~+~50%~off,~caf\u00e9~\u20ac=5?");
    QCOMPARE(r.out, QByteArray("The product has been updated.\n"));
    r = varnell("products show 2");
    QVERIFY2(r.out.startsWith("CPID: 2\nPDesc: Tom & Jerry #1 + 50% off, caf\u00e9 \u20ac=5?\n"
                              "Cost: $1,234.50\nCurType: 1 (CAD___Canadian_Dollar)\n"
                              "SM: 2 (Reseller Service)\nCurVer: 1.2.10\n") &&
                 r.out.endsWith("LP: false\nPO: true\nSysLock: false\n"),
             r.out.constData());

    // A new product takes the count plus one.
    QCOMPARE(varnell("products update --id 5 --price 12 --description New --version 1 "
                     "--currency 0 --service-model 0 --lock")
                 .exitCode,
             0);
    const QJsonArray list = QJsonDocument::fromJson(varnell("products list --json").out).array();
    QCOMPARE(list.size(), 5);
    QCOMPARE(list.at(3)[u"SysLock"], QJsonValue(true));
    QCOMPARE(list.at(4)[u"LP"], QJsonValue(true));
    QVERIFY(varnell("products list").out.contains("SysLock: true\n\nProduct 5/5\nCPID: 5\n"));
}

void TestCommands::stats()
{
    startSandbox();
    Run r = varnell("stats --period year");
    QCOMPARE(r.exitCode, 0);
    const QStringList tree = QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(tree.size() > 100);
    const QRegularExpression line(QStringLiteral(
        "^(Product ID: (\\d+) - .+|  Date: .+     Result: (Success|Not Processed|Declined)     "
        "Transaction ID: .+     End UserName: .*)$"));
    // The CSV export has one line per transaction, each under its product.
    const QString csv = m_env->path(QStringLiteral("year.csv"));
    QCOMPARE(varnell("stats --period year --csv " + csv.toUtf8()).exitCode, 0);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = file.readAll().split('\n');
    QCOMPARE(rows.first(), QByteArray("\"Product ID\",\"Transaction Date\",\"Result\"\r"));
    qsizetype row = 1;
    QByteArray product;
    for (const QString &text : tree) {
        const QRegularExpressionMatch match = line.match(text);
        QVERIFY2(match.hasMatch(), qPrintable(text));
        if (match.hasCaptured(2))
            product = '"' + match.captured(2).toLatin1() + "\",\"";
        else
            QVERIFY2(rows.value(row++).startsWith(product), qPrintable(text));
    }
    QCOMPARE(rows.size(), row + 1); // and the file ends in a line end

    r = varnell("stats --period day --json");
    QVERIFY(!QJsonDocument::fromJson(r.out).array().at(0)[u"transactions"].toArray().isEmpty());
}

void TestCommands::statusAndResend()
{
    startSandbox();
    Run r = varnell("status");
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(QRegularExpression(QStringLiteral("^Server 0: Active (\\d+\\.\\d\\d ms|< 0\\.1 ms)\n"
                                               "Server 1: Active (\\d+\\.\\d\\d ms|< 0\\.1 ms)\n$"))
                 .match(QString::fromUtf8(r.out))
                 .hasMatch(),
             r.out.constData());

    const QByteArray sent =
        m_sandbox->transactionFor(QStringLiteral("Request Successful")).toUtf8();
    r = varnell("resend " + sent);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("Request Sent\nA request has been sent for the packet.\n"
                               "You should receive it in your email shortly.\n"));
    // The packet arrived and decrypts with the account's key.
    r = varnell("decrypt " +
                QDir(m_sandbox->outboxDir()).filePath(QString::fromUtf8(sent + ".vrd")).toUtf8());
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.contains(QByteArray("Transaction ID:     " + sent + "\n")));

    for (const char *title :
         {"No Email:No email address\n", "File does not exist:No Available Packet\n",
          "No Transaction:Invalid Request\n"}) {
        const QStringList parts = QString::fromLatin1(title).split(QLatin1Char(':'));
        r = varnell("resend " + m_sandbox->transactionFor(parts[0]).toUtf8());
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.startsWith(parts[1].toUtf8()), r.out.constData());
    }
}

void TestCommands::refusedBeforeSending()
{
    // No sandbox runs: a check that let a request through would fail on the
    // unreachable proxy with another message.
    Run r = varnell("products update --id 5 --price 12 --version 3 --currency 0 --service-model 0");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QByteArray("varnell: Missing Information: All fields must be filled out to "
                               "add or update a product.\n"));
    r = varnell("products update --id 5 --price 0.99 --description x --version 1 --currency 1 "
                "--service-model 2");
    QCOMPARE(r.err, QByteArray("varnell: Invalid Option: The purchase price of a product using "
                               "the reseller service cannot be less than $1.00\n"));
    for (const char *wrong :
         {"products frob", "products show 0", "products count 1",
          "products update --id 5 --price 1 --description x --version 1 --currency 4 "
          "--service-model 0",
          "stats --period fortnight", "stats --period day --json --csv x.csv", "status extra",
          "resend a b"}) {
        QVERIFY2(varnell(wrong).exitCode == 2, wrong);
    }
}

void TestCommands::serverFailures()
{
    // Nobody answers.
    Run r = varnell("status");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, QByteArray("Server 0: Down\nServer 1: Down\n"));
    r = varnell("resend T1");
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.startsWith("varnell: The package server gave no answer"));

    // The gateway answers every request with an error status.
    startSandbox({QStringLiteral("--status"), QStringLiteral("503")});
    r = varnell("products count");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, countFailure);
    QCOMPARE(varnell("products show 1").err,
             QByteArray("varnell: There was an error retrieving the product information.\n"));
    QCOMPARE(varnell("products update --id 1 --price 1 --description x --version 1 --currency 0 "
                     "--service-model 0")
                 .err,
             QByteArray("varnell: Update Not Successful: The product could not be updated.\n"));
    QCOMPARE(varnell("stats --period day").err,
             QByteArray("varnell: Unable to retrieve statistics.\n"));
    // An error page is an answer, though not one the program knows.
    QVERIFY(varnell("resend T1").out.startsWith("Unknown Server Response\n"));

    // Every answer is an empty page: an empty period, nothing to export.
    startSandbox({QStringLiteral("--status"), QStringLiteral("200")});
    QCOMPARE(varnell("stats --period day").out, QByteArray());
    const QByteArray csv = m_env->path(QStringLiteral("empty.csv")).toUtf8();
    r = varnell("stats --period day --csv " + csv);
    QCOMPARE(r.err, QByteArray("varnell: There is no data to export.\n"));
    QVERIFY(!QFile::exists(QString::fromUtf8(csv)));
}

void TestCommands::accountProblems()
{
    startSandbox();
    // The gateway does not know the key; the store asks for a password.
    m_env->createStore(QStringLiteral("SBX-NOBODY-01nobodyyz"), QStringLiteral("k"),
                       QStringLiteral("pw"));
    QCOMPARE(varnell("products count --password-stdin", "wrong\n").err,
             QByteArray("varnell: The password entered is an invalid password.\n"));
    QCOMPARE(varnell("products count --password-stdin", "pw\n").err, countFailure);

    // A developer key of twelve characters names no package server.
    m_env->createStore(QStringLiteral("SBX-DEMO-001"), QStringLiteral("k"));
    Run r = varnell("status");
    QVERIFY2(r.out.startsWith("Server 0: Active ") && r.out.endsWith("\nServer 1: Down\n"),
             r.out.constData());
    r = varnell("resend " +
                m_sandbox->transactionFor(QStringLiteral("Request Successful")).toUtf8());
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.startsWith("No Package Server\n"));
    QVERIFY(QDir(m_sandbox->outboxDir()).isEmpty());

    // Without a store nothing is asked.
    QVERIFY(QFile::remove(m_env->storePath()));
    QCOMPARE(varnell("products list").err,
             QByteArray("varnell: Unable to access utility settings.\n"));
}

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
