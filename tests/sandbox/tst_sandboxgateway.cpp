#include "sandbox/RequestTarget.h"
#include "sandbox/SandboxAccount.h"
#include "sandbox/SandboxOptions.h"

#include <QTest>

class TestSandboxGateway : public QObject
{
    Q_OBJECT

private slots:
    void requestTarget_data();
    void requestTarget();
    void accountFollowsFromDeveloperKey();
    void options();
};

void TestSandboxGateway::requestTarget_data()
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
    QTest::newRow("absolute form without path")
        << QByteArray("HTTP://user@Host.example.?v=x") << QByteArray()
        << QStringLiteral("host.example") << QByteArray("/") << QByteArray("x");
    QTest::newRow("IPv6 host header")
        << QByteArray("/ConnTest.txt") << QByteArray("[::1]:99") << QStringLiteral("[::1]")
        << QByteArray("/ConnTest.txt") << QByteArray();
    QTest::newRow("percent decoding keeps plus")
        << QByteArray("/a%2Fb?x=0&v=Cr%E8me+%26+Co%3D%zz%4") << QByteArray("h")
        << QStringLiteral("h") << QByteArray("/a/b") << QByteArray("Cr\xE8me+&+Co=%zz%4");
    QTest::newRow("empty value is present")
        << QByteArray("/?v=&v=2") << QByteArray("h") << QStringLiteral("h") << QByteArray("/")
        << QByteArray("");
    QTest::newRow("fragment dropped") << QByteArray("/p?v=1#v=2") << QByteArray("h")
                                      << QStringLiteral("h") << QByteArray("/p") << QByteArray("1");
    QTest::newRow("scheme-like query is no host")
        << QByteArray("/r?v=http://evil/") << QByteArray("h") << QStringLiteral("h")
        << QByteArray("/r") << QByteArray("http://evil/");
}

void TestSandboxGateway::requestTarget()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, hostHeader);
    QFETCH(QString, host);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, value);

    const RequestTarget parsed = RequestTarget::parse(target, hostHeader);
    QCOMPARE(parsed.host, host);
    QCOMPARE(parsed.path, path);
    const QByteArray found = parsed.queryValue("v");
    QCOMPARE(found.isNull(), value.isNull());
    QCOMPARE(found, value);
}

void TestSandboxGateway::accountFollowsFromDeveloperKey()
{
    QCOMPARE(SandboxAccount::packageHost(), QStringLiteral("www.demo.varnell.com"));
    QCOMPARE(SandboxAccount::packageFolder(), QStringLiteral("/pack/"));
    QCOMPARE(SandboxAccount::statisticsId(), QStringLiteral("demovarnellcompack"));
}

void TestSandboxGateway::options()
{
    SandboxOptions options;
    QString error;
    QCOMPARE(SandboxOptions::parse({QStringLiteral("--port=8080"), QStringLiteral("--delay-ms"),
                                    QStringLiteral("250"), QStringLiteral("--fail-first"),
                                    QStringLiteral("--status"), QStringLiteral("503")},
                                   &options, &error),
             SandboxOptions::Parse::Run);
    QCOMPARE(options.port, 8080);
    QCOMPARE(options.delayMs, 250);
    QVERIFY(options.failFirst && !options.hang);
    QCOMPARE(options.status, 503);
    QVERIFY(!options.dataDir.isEmpty() && !options.outboxDir.isEmpty());
    QVERIFY(options.dataDir != options.outboxDir);
}

QTEST_GUILESS_MAIN(TestSandboxGateway)
#include "tst_sandboxgateway.moc"
