#include "TestConfig.h"
#include "gateway/modProdUpdate.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <QTimer>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs varnell while this process keeps serving its fake server.
Run varnell(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess process;
    process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    process.start(QString::fromUtf8(TestConfig::varnellPath), arguments);
    if (!process.waitForStarted(10000))
        qFatal("cannot start varnell");
    process.write(input);
    process.closeWriteChannel();
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    if (process.state() != QProcess::NotRunning)
        qFatal("varnell did not finish");
    return Run{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
               process.readAllStandardOutput(), process.readAllStandardError()};
}

QStringList args(const char *line)
{
    QStringList list;
    for (const QByteArray &word : QByteArray(line).split(' '))
        list.append(QString::fromUtf8(word));
    return list;
}

QByteArray central(const QByteArray &rest)
{
    return modProdUpdate::CentralBaseURL().toLatin1() + rest;
}

const QByteArray first = "CPID=1\xdfPDesc=Caf\xe9 & more\xdf"
                         "Cost=1234.5\xdf"
                         "CurType=1\xdfSM=2\xdf"
                         "CurVer=1.0\xdf"
                         "DteC=2002-11-05\xdf"
                         "DteE=1/31/2003\xdfLP=1\xdfPO=False\xdfSysLock=1\xdf\r\n";
const QByteArray second = "CPID=2\xdfPDesc=Plain\xdf"
                          "Cost=12\xdf"
                          "CurType=0\xdfSM=0\xdf"
                          "CurVer=2\xdf"
                          "DteC=2010-01-01\xdf"
                          "DteE=2010-01-02\xdfLP=0\xdfPO=1\xdf\xdf\r\n";

} // namespace

// `varnell products` against a fake central server: the program's real URLs
// reach it through http_proxy, which points at 127.0.0.1.
class TestCliProducts : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void count();
    void showAndList();
    void update();
    void staleAnswerFilesAreSwept();

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FakeHttpServer> m_server;
};

void TestCliProducts::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_server = std::make_unique<FakeHttpServer>();
    for (const char *name : {"HTTP_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"})
        qunsetenv(name);
    qputenv("http_proxy", m_server->origin().toLatin1());
    qputenv("VARNELL_HTTP_TIMEOUT_MS", "2000");
}

void TestCliProducts::cleanup()
{
    // The runs leave no answer file behind.
    QCOMPARE(QDir(modProdUpdate::GetTempDir()).entryList(QDir::Files | QDir::Hidden),
             QStringList());
    qunsetenv("http_proxy");
    m_server.reset();
    m_env.reset();
}

void TestCliProducts::count()
{
    // No store: nothing is asked.
    Run r = varnell(args("products count"));
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QByteArray("varnell: Unable to access utility settings.\n"));
    QVERIFY(m_server->targets.isEmpty());

    m_env->createStore(QStringLiteral("KEY&1"), QStringLiteral("enc"), QStringLiteral("pw"));
    r = varnell(args("products count --password-stdin"), "wrong\n");
    QCOMPARE(r.exitCode, 1);
    QVERIFY(m_server->targets.isEmpty());

    m_server->replies = {FakeHttpServer::answer(" 3 \r\n")};
    r = varnell(args("products count --password-stdin"), "pw\n");
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("3\n"));
    QCOMPARE(m_server->targets,
             QList<QByteArray>({central("GetProdCount.asp?DeveloperID=KEY%261")}));

    m_server->fallback = FakeHttpServer::answer("Service Unavailable", 503);
    r = varnell(args("products count --password-stdin"), "pw\n");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QByteArray("varnell: There has been an error retrieving your account "
                               "information. The processing server may not be available at "
                               "this time.\n"));
    QVERIFY(r.out.isEmpty());
}

void TestCliProducts::showAndList()
{
    m_env->createStore(QStringLiteral("KEY"), QStringLiteral("enc"));
    m_server->replies = {FakeHttpServer::answer(first)};
    Run r = varnell(args("products show 1"));
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("CPID: 1\n"
                               "PDesc: Caf\xc3\xa9 & more\n"
                               "Cost: $1,234.50\n"
                               "CurType: 1 (CAD___Canadian_Dollar)\n"
                               "SM: 2 (Reseller Service)\n"
                               "CurVer: 1.0\n"
                               "DteC: 05/Nov/2002\n"
                               "DteE: 31/Jan/2003\n"
                               "LP: true\n"
                               "PO: false\n"
                               "SysLock: true\n"));
    QCOMPARE(m_server->targets.last(), central("GetProductInfo.asp?DeveloperID=KEY&ProdCount=1"));

    m_server->replies = {FakeHttpServer::answer(second)};
    r = varnell(args("products show 2 --json"));
    QCOMPARE(r.exitCode, 0);
    const QJsonObject shown = QJsonDocument::fromJson(r.out).object();
    QCOMPARE(shown.value(QStringLiteral("CPID")).toString(), QStringLiteral("2"));
    QCOMPARE(shown.value(QStringLiteral("Cost")).toString(), QStringLiteral("$12.00"));
    QCOMPARE(shown.value(QStringLiteral("CurType")).toInt(-9), 0);
    QCOMPARE(shown.value(QStringLiteral("SM")).toInt(-9), 0);
    QCOMPARE(shown.value(QStringLiteral("DteE")).toString(), QStringLiteral("02/Jan/2010"));
    QCOMPARE(shown.value(QStringLiteral("PO")), QJsonValue(true));
    QCOMPARE(shown.value(QStringLiteral("SysLock")), QJsonValue(false));
    QCOMPARE(shown.keys().size(), 11);

    // The list: count, then each product; the second has no SysLock and
    // keeps the first's.
    m_server->targets.clear();
    m_server->replies = {FakeHttpServer::answer("2"), FakeHttpServer::answer(first),
                         FakeHttpServer::answer(second)};
    r = varnell(args("products list --json"));
    QCOMPARE(r.exitCode, 0);
    const QJsonArray list = QJsonDocument::fromJson(r.out).array();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).toObject().value(QStringLiteral("PDesc")).toString(),
             QStringLiteral("Caf\u00e9 & more"));
    QCOMPARE(list.at(0).toObject().value(QStringLiteral("LP")), QJsonValue(true));
    QCOMPARE(list.at(1).toObject().value(QStringLiteral("CPID")).toString(), QStringLiteral("2"));
    QCOMPARE(list.at(1).toObject().value(QStringLiteral("SysLock")), QJsonValue(true));
    QCOMPARE(m_server->targets,
             QList<QByteArray>({central("GetProdCount.asp?DeveloperID=KEY"),
                                central("GetProductInfo.asp?DeveloperID=KEY&ProdCount=1"),
                                central("GetProductInfo.asp?DeveloperID=KEY&ProdCount=2")}));

    m_server->replies = {FakeHttpServer::answer("2"), FakeHttpServer::answer(first),
                         FakeHttpServer::answer(second)};
    r = varnell(args("products list"));
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.startsWith("Product 1/2\nCPID: 1\n"));
    QVERIFY(r.out.contains("\n\nProduct 2/2\nCPID: 2\n"));

    m_server->replies = {FakeHttpServer::answer("0")};
    r = varnell(args("products list --json"));
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("[\n]\n"));

    // A product answer that does not convert is a failed fetch.
    m_server->replies = {
        FakeHttpServer::answer("2"), FakeHttpServer::answer(first),
        FakeHttpServer::answer("CPID=2\xdf"
                               "Cost=cheap\xdf\xdf\xdf\xdf\xdf\xdf\xdf\xdf\xdf\xdf")};
    r = varnell(args("products list"));
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.isEmpty());
    QVERIFY(r.err.startsWith("varnell: There was an error retrieving the product information."));
    m_server->replies = {FakeHttpServer::answer("CPID=1\xdf")};
    r = varnell(args("products show 1"));
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err,
             QByteArray("varnell: There was an error retrieving the product information.\n"));

    const int before = int(m_server->targets.size());
    for (const char *wrong :
         {"products show", "products show 0", "products show x", "products show 1 2",
          "products list 1", "products count 1", "products", "products frob"}) {
        r = varnell(args(wrong));
        QVERIFY2(r.exitCode == 2, wrong);
    }
    for (const char *help : {"products --help", "products count --help", "products show --help",
                             "products list --help", "products update --help"}) {
        r = varnell(args(help));
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.startsWith("Usage: varnell products"));
    }
    QCOMPARE(int(m_server->targets.size()), before);
}

void TestCliProducts::update()
{
    m_env->createStore(QStringLiteral("KEY"), QStringLiteral("enc"));
    m_server->fallback = FakeHttpServer::answer("OK");
    Run r =
        varnell({QStringLiteral("products"), QStringLiteral("update"), QStringLiteral("--id"),
                 QStringLiteral("4"), QStringLiteral("--price"), QStringLiteral("$1,234.50"),
                 QStringLiteral("--description"), QStringLiteral("Tom & Jerry #1 + 50%"),
                 QStringLiteral("--version"), QStringLiteral("2.1"), QStringLiteral("--currency"),
                 QStringLiteral("CAD"), QStringLiteral("--service-model"),
                 QStringLiteral("reseller"), QStringLiteral("--permit-older")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("The product has been updated.\n"));
    QCOMPARE(m_server->targets,
             QList<QByteArray>({central("ProductUpdate.asp?CPID=4&Cost=1234.5&PO=True&LP=False&"
                                        "CurType=1&SM=2&CurVer=2.1&"
                                        "PDesc=Tom%20%26%20Jerry%20%231%20%2B%2050%25&"
                                        "DeveloperID=KEY")}));

    m_server->targets.clear();
    r = varnell(args("products update --id 5 --price 12 --description x --version 3 --currency 3 "
                     "--service-model 0 --lock"));
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(m_server->targets,
             QList<QByteArray>({central("ProductUpdate.asp?CPID=5&Cost=12&PO=False&LP=True&"
                                        "CurType=3&SM=0&CurVer=3&PDesc=x&DeveloperID=KEY")}));

    // Refusals come before any request, with the editor's texts.
    m_server->targets.clear();
    const struct
    {
        const char *arguments;
        const char *message;
    } refused[] = {
        {"products update --id 5 --price 12 --version 3 --currency 0 --service-model 0",
         "Missing Information: All fields must be filled out to add or update a product."},
        {"products update --id 5 --price 12 --description x --currency 0 --service-model 0",
         "Missing Information: All fields must be filled out to add or update a product."},
        {"products update --id 5 --price 12 --description x --version 3 --service-model 0",
         "Missing Information: All fields must be filled out to add or update a product."},
        {"products update --id 5 --price 12 --description x --version 1.2b --currency 0 "
         "--service-model 0",
         "Invalid Version: You can only include numbers and periods in the version field."},
        {"products update --id 5 --price 12 --description x --version 1 --currency EUR "
         "--service-model 2",
         "Invalid Selection: The only available currencies available for the reseller service "
         "are US Dollars and Canadian Dollars."},
        {"products update --id 5 --price 0.99 --description x --version 1 --currency 1 "
         "--service-model 2",
         "Invalid Option: The purchase price of a product using the reseller service cannot be "
         "less than $1.00"},
        {"products update --id 5 --price $0.00 --description x --version 1 --currency 1 "
         "--service-model 0",
         "Invalid Price: The price of the product must be greater than $0.00"},
        {"products update --id 5 --price free --description x --version 1 --currency 1 "
         "--service-model 0",
         "Invalid Format: The Price must be a numeric value."},
        {"products update --id five --price 1 --description x --version 1 --currency 1 "
         "--service-model 0",
         "Invalid Format: The Product ID must be numeric."},
    };
    for (const auto &row : refused) {
        r = varnell(args(row.arguments));
        QVERIFY2(r.exitCode == 1, row.arguments);
        QCOMPARE(r.err, QByteArray("varnell: ") + row.message + '\n');
    }
    for (const char *wrong :
         {"products update --id 5 --price 1 --description x --version 1 --currency 4 "
          "--service-model 0",
          "products update --id 5 --price 1 --description x --version 1 --currency 1 "
          "--service-model premium",
          "products update extra"}) {
        r = varnell(args(wrong));
        QVERIFY2(r.exitCode == 2, wrong);
    }
    QVERIFY(m_server->targets.isEmpty());

    m_server->fallback = FakeHttpServer::answer("down", 500);
    r = varnell(args("products update --id 5 --price 12 --description x --version 3 --currency 3 "
                     "--service-model 0"));
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QByteArray("varnell: Update Not Successful: The product could not be "
                               "updated.\n"));
    QCOMPARE(m_server->targets.size(), 2);
}

void TestCliProducts::staleAnswerFilesAreSwept()
{
    const QString folder = modProdUpdate::GetTempDir();
    QProcess ended;
    ended.start(QStringLiteral("/bin/true"), QStringList());
    QVERIFY(ended.waitForStarted());
    const qint64 pid = ended.processId();
    QVERIFY(ended.waitForFinished());
    const QString stale = folder + QStringLiteral("VRD%1-crashed1").arg(pid);
    QFile file(stale);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QCOMPARE(varnell(args("about")).exitCode, 0);
    QVERIFY(!QFile::exists(stale));
}

QTEST_GUILESS_MAIN(TestCliProducts)
#include "tst_cli_products.moc"
