#include "TestConfig.h"
#include "gateway/modProdUpdate.h"
#include "support/SandboxProcess.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run varnell(const QStringList &arguments, const QByteArray &input = QByteArray())
{
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

// Words split at blanks ("products show 1").
QStringList args(const char *line)
{
    QStringList list;
    for (const QByteArray &word : QByteArray(line).split(' '))
        list.append(QString::fromUtf8(word));
    return list;
}

QJsonArray listed()
{
    const Run r = varnell(args("products list --json"));
    if (r.exitCode != 0)
        qWarning("%s", r.err.constData());
    return QJsonDocument::fromJson(r.out).array();
}

QStringList update(const QString &id, const QString &description)
{
    return args("products update --price $1,234.5 --version 1.2.10 --currency CAD "
                "--service-model reseller --permit-older") +
           QStringList{QStringLiteral("--id"), id, QStringLiteral("--description"), description};
}

} // namespace

// `varnell products` against the sandbox gateway, reached at the central
// host's real address through http_proxy.
class TestProductsSandbox : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void catalogueRoundTrip();
    void refusedBeforeSending();
    void failures();

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<SandboxProcess> m_sandbox;
    void startSandbox(const QStringList &arguments = {});
};

void TestProductsSandbox::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_env->createStore(SandboxProcess::developerKey(), SandboxProcess::encryptionKey());
    for (const char *name : {"HTTP_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"})
        qunsetenv(name);
    qputenv("VARNELL_HTTP_TIMEOUT_MS", "3000");
}

void TestProductsSandbox::startSandbox(const QStringList &arguments)
{
    m_sandbox = std::make_unique<SandboxProcess>(arguments);
    QVERIFY(m_sandbox->isListening());
    qputenv("http_proxy", m_sandbox->proxyUrl().toLatin1());
}

void TestProductsSandbox::cleanup()
{
    // The runs leave no answer file behind.
    QCOMPARE(QDir(modProdUpdate::GetTempDir()).entryList(QDir::Files | QDir::Hidden),
             QStringList());
    qunsetenv("http_proxy");
    m_sandbox.reset();
    m_env.reset();
}

void TestProductsSandbox::catalogueRoundTrip()
{
    startSandbox();
    Run r = varnell(args("products count"));
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("4\n"));

    r = varnell(args("products show 1"));
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("CPID: 1\n"
                               "PDesc: Zo\xc3\xab's Ledger\n"
                               "Cost: $49.95\n"
                               "CurType: 0 (USD___United_State_Dollar)\n"
                               "SM: 1 (Standard Service)\n"
                               "CurVer: 3.2.1\n"
                               "DteC: 14/Mar/2021\n"
                               "DteE: 02/Nov/2024\n"
                               "LP: false\n"
                               "PO: true\n"
                               "SysLock: false\n"));

    QJsonArray products = listed();
    QCOMPARE(products.size(), 4);
    QCOMPARE(products.at(2).toObject().value(QStringLiteral("Cost")).toString(),
             QStringLiteral("$1,249.00"));
    QCOMPARE(products.at(2).toObject().value(QStringLiteral("SM")).toInt(), 2);
    QCOMPARE(products.at(3).toObject().value(QStringLiteral("SysLock")), QJsonValue(true));
    QCOMPARE(products.at(3).toObject().keys().size(), 11);

    // A description with the characters a plain query would cut or alter
    // comes back as it was sent.
    const QString description = QStringLiteral("Tom & Jerry #1 + 50% off, caf\u00e9 \u20ac=5?");
    r = varnell(update(QStringLiteral("2"), description));
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("The product has been updated.\n"));
    r = varnell(args("products show 2 --json"));
    QCOMPARE(r.exitCode, 0);
    const QJsonObject changed = QJsonDocument::fromJson(r.out).object();
    QCOMPARE(changed.value(QStringLiteral("PDesc")).toString(), description);
    QCOMPARE(changed.value(QStringLiteral("Cost")).toString(), QStringLiteral("$1,234.50"));
    QCOMPARE(changed.value(QStringLiteral("CurType")).toInt(), 1);
    QCOMPARE(changed.value(QStringLiteral("CurVer")).toString(), QStringLiteral("1.2.10"));
    QCOMPARE(changed.value(QStringLiteral("PO")), QJsonValue(true));
    QCOMPARE(changed.value(QStringLiteral("LP")), QJsonValue(false));

    // A new product takes the count plus one.
    r = varnell(args("products update --id 5 --price 12 --description New --version 1 "
                     "--currency 0 --service-model 0 --lock"));
    QCOMPARE(r.exitCode, 0);
    products = listed();
    QCOMPARE(products.size(), 5);
    QCOMPARE(products.at(4).toObject().value(QStringLiteral("PDesc")).toString(),
             QStringLiteral("New"));
    QCOMPARE(products.at(4).toObject().value(QStringLiteral("LP")), QJsonValue(true));

    r = varnell(args("products list"));
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.startsWith("Product 1/5\nCPID: 1\n"));
    QVERIFY(r.out.contains("SysLock: true\n\nProduct 5/5\nCPID: 5\n"));
}

void TestProductsSandbox::refusedBeforeSending()
{
    // No sandbox runs: a check that let a request through would fail on the
    // unreachable proxy with another message.
    qputenv("http_proxy", "http://127.0.0.1:9");
    const char *const missing =
        "Missing Information: All fields must be filled out to add or update a product.";
    const struct
    {
        const char *arguments;
        const char *message;
    } refused[] = {
        {"--id 5 --price 12 --version 3 --currency 0 --service-model 0", missing},
        {"--id 5 --price 12 --description x --currency 0 --service-model 0", missing},
        {"--id 5 --price 12 --description x --version 3 --service-model 0", missing},
        {"--id 5 --price 12 --description x --version 1.2b --currency 0 --service-model 0",
         "Invalid Version: You can only include numbers and periods in the version field."},
        {"--id 5 --price 12 --description x --version 1 --currency EUR --service-model 2",
         "Invalid Selection: The only available currencies available for the reseller service "
         "are US Dollars and Canadian Dollars."},
        {"--id 5 --price 0.99 --description x --version 1 --currency 1 --service-model 2",
         "Invalid Option: The purchase price of a product using the reseller service cannot be "
         "less than $1.00"},
        {"--id 5 --price $0.00 --description x --version 1 --currency 1 --service-model 0",
         "Invalid Price: The price of the product must be greater than $0.00"},
        {"--id 5 --price free --description x --version 1 --currency 1 --service-model 0",
         "Invalid Format: The Price must be a numeric value."},
        {"--id five --price 1 --description x --version 1 --currency 1 --service-model 0",
         "Invalid Format: The Product ID must be numeric."},
    };
    for (const auto &row : refused) {
        const Run r = varnell(args("products update") + args(row.arguments));
        QVERIFY2(r.exitCode == 1, row.arguments);
        QCOMPARE(r.err, QByteArray("varnell: ") + row.message + '\n');
    }
    for (const char *wrong :
         {"products", "products frob", "products show", "products show 0", "products show x",
          "products list 1", "products count 1", "products update extra",
          "products update --id 5 --price 1 --description x --version 1 --currency 4 "
          "--service-model 0",
          "products update --id 5 --price 1 --description x --version 1 --currency 1 "
          "--service-model premium"}) {
        const Run r = varnell(args(wrong));
        QVERIFY2(r.exitCode == 2, wrong);
    }
}

void TestProductsSandbox::failures()
{
    const QByteArray countFailure =
        "varnell: There has been an error retrieving your account information. "
        "The processing server may not be available at this time.\n";
    const QByteArray productFailure =
        "varnell: There was an error retrieving the product information.\n";

    // The gateway answers every request with an error status.
    startSandbox({QStringLiteral("--status"), QStringLiteral("503")});
    Run r = varnell(args("products count"));
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, countFailure);
    QVERIFY(r.out.isEmpty());
    QCOMPARE(varnell(args("products show 1")).err, productFailure);
    r = varnell(update(QStringLiteral("1"), QStringLiteral("x")));
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QByteArray("varnell: Update Not Successful: The product could not be "
                               "updated.\n"));

    // A gateway that does not know the key answers with a text.
    startSandbox();
    m_env->createStore(QStringLiteral("SBX-NOBODY-01nobodyyz"), QStringLiteral("k"),
                       QStringLiteral("pw"));
    r = varnell(args("products count --password-stdin"), "wrong\n");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QByteArray("varnell: The password entered is an invalid password.\n"));
    r = varnell(args("products count --password-stdin"), "pw\n");
    QCOMPARE(r.err, countFailure);
    r = varnell(args("products show 1 --password-stdin"), "pw\n");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, productFailure);

    // Without a store nothing is asked.
    QVERIFY(QFile::remove(m_env->storePath()));
    r = varnell(args("products list"));
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QByteArray("varnell: Unable to access utility settings.\n"));

    // Answer files of a run that has ended are swept when varnell starts.
    QProcess ended;
    ended.start(QStringLiteral("/bin/true"), QStringList());
    QVERIFY(ended.waitForStarted());
    const QString stale =
        modProdUpdate::GetTempDir() + QStringLiteral("VRD%1-crashed1").arg(ended.processId());
    QVERIFY(ended.waitForFinished());
    QFile file(stale);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QCOMPARE(varnell(args("about")).exitCode, 0);
    QVERIFY(!QFile::exists(stale));
}

QTEST_GUILESS_MAIN(TestProductsSandbox)
#include "tst_products_sandbox.moc"
