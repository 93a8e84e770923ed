#include "TestConfig.h"
#include "support/SandboxProcess.h"
#include "support/TestEnvironment.h"

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

Run varnell(const QStringList &arguments)
{
    QProcess process;
    process.start(QString::fromUtf8(TestConfig::varnellPath), arguments);
    if (!process.waitForStarted(10000))
        qFatal("cannot start varnell");
    process.closeWriteChannel();
    if (!process.waitForFinished(60000))
        qFatal("varnell did not finish");
    return Run{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
               process.readAllStandardOutput(), process.readAllStandardError()};
}

QJsonArray listed()
{
    const Run r =
        varnell({QStringLiteral("products"), QStringLiteral("list"), QStringLiteral("--json")});
    if (r.exitCode != 0)
        qWarning("%s", r.err.constData());
    return QJsonDocument::fromJson(r.out).array();
}

QStringList update(const QString &id, const QString &price, const QString &description,
                   const QString &version, const QString &currency, const QString &serviceModel)
{
    return {QStringLiteral("products"),
            QStringLiteral("update"),
            QStringLiteral("--id"),
            id,
            QStringLiteral("--price"),
            price,
            QStringLiteral("--description"),
            description,
            QStringLiteral("--version"),
            version,
            QStringLiteral("--currency"),
            currency,
            QStringLiteral("--service-model"),
            serviceModel};
}

} // namespace

// `varnell products` against the sandbox gateway, reached at the central
// host's real address through http_proxy.
class TestProductsSandbox : public QObject
{
    Q_OBJECT

private slots:
    void catalogueRoundTrip();
    void unknownDeveloper();
};

void TestProductsSandbox::catalogueRoundTrip()
{
    TestEnvironment env;
    env.createStore(SandboxProcess::developerKey(), SandboxProcess::encryptionKey());
    SandboxProcess sandbox;
    QVERIFY(sandbox.isListening());
    qputenv("http_proxy", sandbox.proxyUrl().toLatin1());
    qunsetenv("no_proxy");

    Run r = varnell({QStringLiteral("products"), QStringLiteral("count")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("4\n"));

    QJsonArray products = listed();
    QCOMPARE(products.size(), 4);
    const QJsonObject first = products.at(0).toObject();
    QCOMPARE(first.value(QStringLiteral("PDesc")).toString(), QStringLiteral("Zo\u00eb's Ledger"));
    QCOMPARE(first.value(QStringLiteral("Cost")).toString(), QStringLiteral("$49.95"));
    QCOMPARE(first.value(QStringLiteral("DteC")).toString(), QStringLiteral("14/Mar/2021"));
    QCOMPARE(first.value(QStringLiteral("PO")), QJsonValue(true));
    QCOMPARE(products.at(2).toObject().value(QStringLiteral("Cost")).toString(),
             QStringLiteral("$1,249.00"));
    QCOMPARE(products.at(3).toObject().value(QStringLiteral("SysLock")), QJsonValue(true));

    // A description with the characters a plain query would cut or alter
    // comes back as it was sent.
    const QString description = QStringLiteral("Tom & Jerry #1 + 50% off, caf\u00e9 \u20ac=5?");
    r = varnell(update(QStringLiteral("2"), QStringLiteral("$1,234.5"), description,
                       QStringLiteral("1.2.10"), QStringLiteral("CAD"),
                       QStringLiteral("reseller")) +
                QStringList{QStringLiteral("--permit-older")});
    QCOMPARE(r.exitCode, 0);
    r = varnell({QStringLiteral("products"), QStringLiteral("show"), QStringLiteral("2")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(QByteArray("PDesc: " + description.toUtf8() + "\n")), r.out.constData());
    QVERIFY(r.out.contains("Cost: $1,234.50\n"));
    QVERIFY(r.out.contains("CurType: 1 (CAD___Canadian_Dollar)\n"));
    QVERIFY(r.out.contains("SM: 2 (Reseller Service)\n"));
    QVERIFY(r.out.contains("CurVer: 1.2.10\n"));
    QVERIFY(r.out.contains("PO: true\n"));

    // A new product takes the count plus one.
    r = varnell(update(QStringLiteral("5"), QStringLiteral("12"), QStringLiteral("New one"),
                       QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("0")) +
                QStringList{QStringLiteral("--lock")});
    QCOMPARE(r.exitCode, 0);
    products = listed();
    QCOMPARE(products.size(), 5);
    const QJsonObject added = products.at(4).toObject();
    QCOMPARE(added.value(QStringLiteral("CPID")).toString(), QStringLiteral("5"));
    QCOMPARE(added.value(QStringLiteral("PDesc")).toString(), QStringLiteral("New one"));
    QCOMPARE(added.value(QStringLiteral("LP")), QJsonValue(true));
    QCOMPARE(added.value(QStringLiteral("SysLock")), QJsonValue(false));

    // The editor's checks refuse before anything is sent.
    r = varnell(update(QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("x"),
                       QStringLiteral("1"), QStringLiteral("EUR"), QStringLiteral("reseller")));
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains("Invalid Selection"));
    QCOMPARE(listed().at(1).toObject().value(QStringLiteral("PDesc")).toString(), description);
    qunsetenv("http_proxy");
}

void TestProductsSandbox::unknownDeveloper()
{
    TestEnvironment env;
    env.createStore(QStringLiteral("SBX-NOBODY-01nobodyyz"), QStringLiteral("k"));
    SandboxProcess sandbox;
    QVERIFY(sandbox.isListening());
    qputenv("http_proxy", sandbox.proxyUrl().toLatin1());
    qunsetenv("no_proxy");
    Run r = varnell({QStringLiteral("products"), QStringLiteral("count")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains("There has been an error retrieving your account information."));
    r = varnell({QStringLiteral("products"), QStringLiteral("show"), QStringLiteral("1")});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err,
             QByteArray("varnell: There was an error retrieving the product information.\n"));
    qunsetenv("http_proxy");
}

QTEST_GUILESS_MAIN(TestProductsSandbox)
#include "tst_products_sandbox.moc"
