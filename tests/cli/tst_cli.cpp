#include "BuildConfig.h"
#include "TestConfig.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
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

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

const QByteArray sample = "Customer Name:\tZoë Ångström\n"
                          "Card Number:\t4111222233334444\n"
                          "Heading\n"
                          "Total:\t€49.95\n";

const QByteArray sampleText = "Customer Name:      Zoë Ångström\n"
                              "Card Number:        4111 2222 3333 4444\n"
                              "Heading             \n"
                              "Total:              €49.95\n";

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void encryptThenDecrypt();
    void decryptToFiles();
    void decryptWithStoreAndLogin();
    void storeCommands();
    void usageErrorsAndHelp();
};

void TestCli::encryptThenDecrypt()
{
    TestEnvironment env;
    const QString record = env.path(QStringLiteral("a.vrd"));
    Run r = varnell({QStringLiteral("encrypt"), QStringLiteral("--key"), QStringLiteral("k1"),
                     QStringLiteral("--output"), record},
                    sample);
    QCOMPARE(r.exitCode, 0);
    const QByteArray file = contents(record);
    QVERIFY(file.startsWith("Customer Name:      "));
    QVERIFY(file.contains("\r\nHeading             \r\n"));
    QVERIFY(file.endsWith("\r\n"));

    r = varnell({QStringLiteral("decrypt"), QStringLiteral("--key"), QStringLiteral("k1"), record});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, sampleText);

    // Encrypting to stdout from a file gives the same bytes.
    const QString input = env.path(QStringLiteral("in.txt"));
    QFile in(input);
    QVERIFY(in.open(QIODevice::WriteOnly));
    in.write(sample);
    in.close();
    r = varnell({QStringLiteral("encrypt"), QStringLiteral("--key"), QStringLiteral("k1"), input});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, file);

    // Text that a record file cannot hold is refused and nothing is written.
    r = varnell({QStringLiteral("encrypt"), QStringLiteral("--key"), QStringLiteral("k1"),
                 QStringLiteral("--output"), record},
                "Name:\t\xe4\xb8\xad\n");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(contents(record), file);
    r = varnell({QStringLiteral("encrypt"), QStringLiteral("--key"), QStringLiteral("k1")},
                "Name:\t\xff\xfe\n");
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains("UTF-8"));
}

void TestCli::decryptToFiles()
{
    TestEnvironment env;
    const QString a = env.path(QStringLiteral("a.vrd"));
    const QString b = env.path(QStringLiteral("b.vrd"));
    for (const QString &path : {a, b}) {
        QCOMPARE(varnell({QStringLiteral("encrypt"), QStringLiteral("--key"), QStringLiteral("k"),
                          QStringLiteral("--output"), path},
                         sample)
                     .exitCode,
                 0);
    }
    // --output writes the Windows-1252 text followed by CR LF.
    const QString single = env.path(QStringLiteral("single.txt"));
    Run r = varnell({QStringLiteral("decrypt"), QStringLiteral("--key"), QStringLiteral("k"),
                     QStringLiteral("--output"), single, a});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(contents(single), QByteArray("Customer Name:      Zo\xeb \xc5ngstr\xf6m\r\n"
                                          "Card Number:        4111 2222 3333 4444\r\n"
                                          "Heading             \r\n"
                                          "Total:              \x80"
                                          "49.95\r\n"));

    // A missing input and a folder are reported; the others are still done.
    const QString outDir = env.path(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(outDir));
    r = varnell({QStringLiteral("decrypt"), QStringLiteral("--key"), QStringLiteral("k"),
                 QStringLiteral("--output-dir"), outDir, a, env.path(QStringLiteral("none.vrd")),
                 env.path(), b});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains("none.vrd: no such file"));
    QVERIFY(r.err.contains("is a folder"));
    QCOMPARE(contents(outDir + QStringLiteral("/a.txt")), contents(single));
    QCOMPARE(contents(outDir + QStringLiteral("/b.txt")), contents(single));

    // A failed --output leaves an existing file as it was.
    QFile keep(single);
    QVERIFY(keep.open(QIODevice::WriteOnly | QIODevice::Truncate));
    keep.write("keep me");
    keep.close();
    r = varnell({QStringLiteral("decrypt"), QStringLiteral("--key"), QStringLiteral("k"),
                 QStringLiteral("--output"), single, env.path(QStringLiteral("none.vrd"))});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(contents(single), QByteArray("keep me"));
}

void TestCli::decryptWithStoreAndLogin()
{
    TestEnvironment env;
    const QString record = env.path(QStringLiteral("a.vrd"));
    varnell({QStringLiteral("encrypt"), QStringLiteral("--key"), QStringLiteral("stored key"),
             QStringLiteral("--output"), record},
            sample);

    Run r = varnell({QStringLiteral("decrypt"), record});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QByteArray("varnell: No decryption key found.\n"));

    env.createStore(QStringLiteral("DEVELOPERKEY"), QStringLiteral("stored key"),
                    QStringLiteral("Secret "));
    r = varnell({QStringLiteral("decrypt"), QStringLiteral("--password-stdin"), record},
                "secret \n");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QByteArray("varnell: The password entered is an invalid password.\n"));
    QVERIFY(r.out.isEmpty());
    r = varnell({QStringLiteral("decrypt"), QStringLiteral("--password-stdin"), record},
                "Secret\n"); // the trailing blank is part of the password
    QCOMPARE(r.exitCode, 1);
    r = varnell({QStringLiteral("decrypt"), record}); // no terminal, no --password-stdin
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.isEmpty());

    r = varnell({QStringLiteral("decrypt"), QStringLiteral("--password-stdin"), record},
                "Secret \n");
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, sampleText);
}

void TestCli::storeCommands()
{
    TestEnvironment env;
    Run r = varnell({QStringLiteral("store"), QStringLiteral("show")});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QByteArray("varnell: Unable to access utility settings.\n"));

    r = varnell({QStringLiteral("store"), QStringLiteral("init"), QStringLiteral("--developer-key"),
                 QStringLiteral("ABCDEFGHIJKLdemoyshopz"), QStringLiteral("--encryption-key"),
                 QStringLiteral("E1")});
    QCOMPARE(r.exitCode, 0);
    r = varnell({QStringLiteral("store"), QStringLiteral("show")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("Developer key: ABCDEFGHIJKLdemoyshopz\n"
                               "Encryption key: E1\n"
                               "Password: (none)\n"
                               "Server path: demo.com/shop/\n"));

    r = varnell({QStringLiteral("store"), QStringLiteral("init"), QStringLiteral("--developer-key"),
                 QStringLiteral("X"), QStringLiteral("--encryption-key"), QStringLiteral("Y")});
    QCOMPARE(r.exitCode, 1); // an existing store is kept

    r = varnell({QStringLiteral("store"), QStringLiteral("set"), QStringLiteral("--password"),
                 QStringLiteral("pw")});
    QCOMPARE(r.exitCode, 0);
    r = varnell(
        {QStringLiteral("store"), QStringLiteral("show"), QStringLiteral("--password-stdin")},
        "pw\n");
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.contains("Encryption key: E1\nPassword: ********\n"));
    r = varnell({QStringLiteral("store"), QStringLiteral("show"), QStringLiteral("--reveal"),
                 QStringLiteral("--password-stdin")},
                "pw\n");
    QVERIFY(r.out.contains("Password: pw\n"));

    // A wrong password changes nothing.
    r = varnell({QStringLiteral("store"), QStringLiteral("set"), QStringLiteral("--encryption-key"),
                 QStringLiteral("E2"), QStringLiteral("--password-stdin")},
                "nope\n");
    QCOMPARE(r.exitCode, 1);
    r = varnell({QStringLiteral("store"), QStringLiteral("set"), QStringLiteral("--encryption-key"),
                 QStringLiteral("E2"), QStringLiteral("--password"), QString(),
                 QStringLiteral("--password-stdin")},
                "pw\n");
    QCOMPARE(r.exitCode, 0);
    r = varnell({QStringLiteral("store"), QStringLiteral("show")});
    QCOMPARE(r.out, QByteArray("Developer key: ABCDEFGHIJKLdemoyshopz\n"
                               "Encryption key: E2\n"
                               "Password: (none)\n"
                               "Server path: demo.com/shop/\n"));

    r = varnell({QStringLiteral("store"), QStringLiteral("init"), QStringLiteral("--force"),
                 QStringLiteral("--developer-key"), QStringLiteral("D3"),
                 QStringLiteral("--encryption-key"), QStringLiteral("E3")});
    QCOMPARE(r.exitCode, 0);
    r = varnell({QStringLiteral("store"), QStringLiteral("show")});
    QVERIFY(r.out.startsWith("Developer key: D3\nEncryption key: E3\n"));

    r = varnell({QStringLiteral("about")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out,
             "Varnell Decryptor, version 2.0.0\nSettings store: " + env.storePath().toUtf8() +
                 "\nCentral host: " + BuildConfig::centralHost + "\n");
}

void TestCli::usageErrorsAndHelp()
{
    TestEnvironment env;
    const QList<QStringList> wrong = {
        {},
        {QStringLiteral("frobnicate")},
        {QStringLiteral("decrypt")},
        {QStringLiteral("decrypt"), QStringLiteral("--bogus"), QStringLiteral("a.vrd")},
        {QStringLiteral("decrypt"), QStringLiteral("--output"), QStringLiteral("x"),
         QStringLiteral("a.vrd"), QStringLiteral("b.vrd")},
        {QStringLiteral("encrypt")},
        {QStringLiteral("store")},
        {QStringLiteral("store"), QStringLiteral("init"), QStringLiteral("--developer-key"),
         QStringLiteral("D")},
        {QStringLiteral("store"), QStringLiteral("set")},
    };
    for (const QStringList &arguments : wrong) {
        const Run r = varnell(arguments);
        QVERIFY2(r.exitCode == 2, qPrintable(arguments.join(QLatin1Char(' '))));
        QVERIFY(!r.err.isEmpty());
    }
    const QList<QStringList> helps = {
        {QStringLiteral("--help")},
        {QStringLiteral("decrypt"), QStringLiteral("--help")},
        {QStringLiteral("encrypt"), QStringLiteral("--help")},
        {QStringLiteral("store"), QStringLiteral("init"), QStringLiteral("--help")},
        {QStringLiteral("store"), QStringLiteral("show"), QStringLiteral("--help")},
        {QStringLiteral("store"), QStringLiteral("set"), QStringLiteral("--help")},
        {QStringLiteral("about"), QStringLiteral("--help")},
    };
    for (const QStringList &arguments : helps) {
        const Run r = varnell(arguments);
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("Usage: varnell"));
    }
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
