// The gateway commands of `varnell` against the sandbox gateway, which they
// reach at the real addresses through http_proxy.

#include "TestConfig.h"
#include "gateway/modProdUpdate.h"
#include "support/SandboxProcess.h"
#include "support/TestEnvironment.h"
#include "support/VarnellRun.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void products();
    void stats();
    void statusResendAndStore();
    void withoutGateway();
    void serverFailures();
    void noCoreFiles();

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
    VarnellRun r = varnell("products show 1");
    QVERIFY2(r.out.startsWith("CPID: 1\nPDesc: Caf\xc3\xa9 Ledger\nCost: $49.95\n") &&
                 r.out.contains("\nDteC: 14/Mar/2021\n"),
             r.out);

    // A new product takes the count plus one; a description with the
    // characters a plain query would cut or alter comes back as it was sent.
    r = varnell("products update --id 5 --price $1,234.5 --version 1.2.10 --currency CAD "
                "--service-model reseller --permit-older --lock "
                "--description Tom~&~Jerry~#1~+~50%~off,~caf\u00e9~\u20ac=5?");
    QCOMPARE(r.out, QByteArray("The product has been updated.\n"));
    r = varnell("products show 5");
    QVERIFY2(r.out.startsWith("CPID: 5\nPDesc: Tom & Jerry #1 + 50% off, caf\u00e9 \u20ac=5?\n"
                              "Cost: $1,234.50\nCurType: 1 (CAD___Canadian_Dollar)\n"
                              "SM: 2 (Reseller Service)\nCurVer: 1.2.10\n") &&
                 r.out.endsWith("LP: true\nPO: true\nSysLock: false\n"),
             r.out.constData());
    const QJsonArray list = QJsonDocument::fromJson(varnell("products list --json").out).array();
    QCOMPARE(list.size(), 5);
    QCOMPARE(list.at(3)[u"SysLock"], QJsonValue(true));
    QVERIFY(varnell("products list").out.contains("SysLock: true\n\nProduct 5/5\nCPID: 5\n"));
}

void TestCommands::stats()
{
    startSandbox();
    // Each period holds more than the one before; the year's tree has its
    // transactions indented under their products.
    qsizetype transactions = 0;
    QByteArray year;
    for (const char *period : {"day", "week", "month", "year"}) {
        const qsizetype before = transactions;
        year = varnell("stats --period " + QByteArray(period)).out;
        transactions = year.count("\n  Date: ");
        QVERIFY2(transactions > before, period);
    }
    for (const QByteArray &line : year.split('\n'))
        QVERIFY2(line.isEmpty() || line.startsWith("  Date: ") || line.startsWith("Product ID: "),
                 line);
    const QByteArray sent =
        m_sandbox->transactionFor(QStringLiteral("Request Successful")).toUtf8();
    QVERIFY(year.contains(QByteArray("Transaction ID: " + sent + " ")));
    // The CSV export: a header and one row per transaction.
    const QString csv = m_env->path(QStringLiteral("year.csv"));
    QCOMPARE(varnell("stats --period year --csv " + csv.toUtf8()).exitCode, 0);
    const QByteArray exported = contents(csv);
    QVERIFY(exported.startsWith("\"Product ID\",\"Transaction Date\",\"Result\"\r\n"));
    QCOMPARE(exported.count("\r\n"), transactions + 1);
    // Each row names its product, then the date.
    static const QRegularExpression row(QStringLiteral("^\"\\d+\",\"\\d{4}-\\d\\d-\\d\\d\",\""));
    for (const QByteArray &line : exported.split('\n').mid(1, transactions))
        QVERIFY2(row.match(QString::fromLatin1(line)).hasMatch(), line.constData());

    const VarnellRun r = varnell("stats --period day --json");
    QVERIFY(!QJsonDocument::fromJson(r.out).array().at(0)[u"transactions"].toArray().isEmpty());
}

void TestCommands::statusResendAndStore()
{
    startSandbox();
    VarnellRun r = varnell("status");
    QCOMPARE(r.exitCode, 0);
    // The time as the tab shows it, which its own tests check.
    QVERIFY2(r.out.startsWith("Server 0: Active ") && r.out.contains(" ms\nServer 1: Active ") &&
                 r.out.endsWith(" ms\n") && r.out.count('\n') == 2,
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

    r = varnell("resend " + m_sandbox->transactionFor(QStringLiteral("No Email")).toUtf8());
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.out.startsWith("No email address\n"), r.out.constData());

    // The store asks for a password.
    m_env->createStore(SandboxProcess::developerKey(), QStringLiteral("k"), QStringLiteral("pw"));
    QCOMPARE(varnell("products count --password-stdin", "wrong\n").err,
             QByteArray("varnell: The password entered is an invalid password.\n"));

    // A developer key of twelve characters names no package server: nothing
    // is sent.
    m_env->createStore(QStringLiteral("SBX-DEMO-001"), QStringLiteral("k"));
    r = varnell("resend " + sent);
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.startsWith("No Package Server\n"));
}

void TestCommands::withoutGateway()
{
    // Nobody answers.
    VarnellRun r = varnell("status");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, QByteArray("Server 0: Down\nServer 1: Down\n"));
    r = varnell("resend T1");
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.out.startsWith("Unknown Request Error\nThe package server gave no answer to the "
                              "request for the packet.\n") &&
                 r.out.contains("Connection refused)\n"),
             r.out);

    // A check that let a request through would fail on the unreachable
    // proxy with another message.
    r = varnell("products update --id 5 --price 12 --version 3 --currency 0 --service-model 0");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QByteArray("varnell: Missing Information: All fields must be filled out to "
                               "add or update a product.\n"));
    for (const char *wrong :
         {"products show 0",
          "products update --id 5 --price 1 --description x --version 1 --currency 4 "
          "--service-model 0",
          "stats --period fortnight", "stats --period day --json --csv x.csv", "resend a b"})
        QVERIFY2(varnell(wrong).exitCode == 2, wrong);
}

void TestCommands::serverFailures()
{
    // The gateway answers every request with an error status: each command
    // keeps its message and adds why the request failed.
    startSandbox({QStringLiteral("--status"), QStringLiteral("503")});
    const QByteArray why = " (the server answered with status 503)\n";
    VarnellRun r = varnell("products count");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, "varnell: There has been an error retrieving your account information. The "
                    "processing server may not be available at this time." +
                        why);
    QCOMPARE(varnell("products show 1").err,
             "varnell: There was an error retrieving the product information." + why);
    QCOMPARE(varnell("products update --id 1 --price 1 --description x --version 1 --currency 0 "
                     "--service-model 0")
                 .err,
             "varnell: Update Not Successful: The product could not be updated." + why);
    QCOMPARE(varnell("stats --period day").err, "varnell: Unable to retrieve statistics." + why);
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

void TestCommands::noCoreFiles()
{
    // The three programs, each while it holds secrets and waits (the sandbox
    // serving, varnell and the window at the password): none may write a
    // core file.
    m_env->createStore(SandboxProcess::developerKey(), SandboxProcess::encryptionKey(),
                       QStringLiteral("pw"));
    startSandbox();
    QProcess command;
    command.start(
        QString::fromUtf8(TestConfig::varnellPath),
        {QStringLiteral("store"), QStringLiteral("show"), QStringLiteral("--password-stdin")});
    QProcess window;
    QProcessEnvironment environment = m_env->processEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    window.setProcessEnvironment(environment);
    window.start(QString::fromUtf8(TestConfig::binaryDir) +
                 QStringLiteral("/src/app/varnell-decryptor"));
    QVERIFY(command.waitForStarted() && window.waitForStarted());
    QTest::qWait(500);
    for (const qint64 pid : {m_sandbox->processId(), command.processId(), window.processId()}) {
        const QByteArray limits = contents(QStringLiteral("/proc/%1/limits").arg(pid));
        const qsizetype line = limits.indexOf("Max core file size");
        QVERIFY2(line >= 0, limits);
        const QList<QByteArray> words =
            limits.mid(line, limits.indexOf('\n', line) - line).simplified().split(' ');
        QCOMPARE(words.mid(4, 2), (QList<QByteArray>{"0", "0"}));
    }
    command.kill();
    window.kill();
    command.waitForFinished();
    window.waitForFinished();
}

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
