#include "BuildConfig.h"
#include "TestConfig.h"
#include "common/SafeFile.h"
#include "records/RecordFile.h"
#include "support/PdfText.h"
#include "support/TestEnvironment.h"
#include "support/VarnellRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray fileOrMissing(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray path(const TestEnvironment &env, const char *name)
{
    return env.path(QString::fromLatin1(name)).toUtf8();
}

const QByteArray sample = "Customer Name:\tClient Numéro Trois\n"
                          "Card Number:\t4111222233334444\n"
                          "Heading\n"
                          "Total:\t€49.95\n";

const QByteArray sampleText = "Customer Name:      Client Numéro Trois\n"
                              "Card Number:        4111 2222 3333 4444\n"
                              "Heading             \n"
                              "Total:              €49.95\n";

// The decrypted save's form: Windows-1252, CR LF after every line.
const QByteArray savedText = "Customer Name:      Client Num\xe9ro Trois\r\n"
                             "Card Number:        4111 2222 3333 4444\r\n"
                             "Heading             \r\n"
                             "Total:              \x80"
                             "49.95\r\n";

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void encryptAndDecrypt();
    void storeAndLogin();
    void printToPdf();
    void secretsOffTheCommandLine();
    void batchKilledPartWay();
    void usageErrors();
};

void TestCli::encryptAndDecrypt()
{
    TestEnvironment env;
    const QByteArray a = path(env, "a.vrd"), b = path(env, "b.vrd"), out = path(env, "out");
    QCOMPARE(varnell("encrypt --key k --output " + a, sample).exitCode, 0);
    const QByteArray record = fileOrMissing(QString::fromUtf8(a));
    QCOMPARE(varnell("encrypt --key k", sample).out, record);
    QCOMPARE(varnell("encrypt --key k --output " + b, sample).exitCode, 0);

    VarnellRun r = varnell("decrypt --key k " + a);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, sampleText);
    // Standard output on a full disk: the command fails and says why.
    QProcess full;
    full.setStandardOutputFile(QStringLiteral("/dev/full"));
    full.start(QString::fromUtf8(TestConfig::binaryDir) + QStringLiteral("/src/cli/varnell"),
               {QStringLiteral("decrypt"), QStringLiteral("--key"), QStringLiteral("k"),
                QString::fromUtf8(a)});
    QVERIFY(full.waitForFinished(30000));
    QCOMPARE(full.exitCode(), 1);
    QVERIFY(full.readAllStandardError().contains("No space left on device"));

    // A missing input, a folder and a FIFO are reported; the others are
    // still done.
    QVERIFY(QDir().mkpath(QString::fromUtf8(out)));
    QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {env.path(QStringLiteral("fifo.vrd"))}),
             0);
    r = varnell("decrypt --key k --output-dir " + out + ' ' + a + ' ' + path(env, "none.vrd") +
                ' ' + env.path().toUtf8() + ' ' + path(env, "fifo.vrd") + ' ' + b);
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains("none.vrd: no such file"));
    QVERIFY(r.err.contains("is a folder"));
    QVERIFY(r.err.contains("fifo.vrd: not a regular file"));
    // A read error is reported too, and nothing is written for that input.
    r = varnell("decrypt --key k --output " + path(env, "mem.txt") + " /proc/self/mem");
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains("/proc/self/mem: "));
    QVERIFY(!QFile::exists(env.path(QStringLiteral("mem.txt"))));
    // So is a file beyond the size limit (sparse: nothing stored), however
    // good its beginning.
    QVERIFY(QFile::copy(QString::fromUtf8(a), env.path(QStringLiteral("big.vrd"))));
    QVERIFY(QFile::resize(env.path(QStringLiteral("big.vrd")), (64 << 20) + 1));
    r = varnell("decrypt --key k --output " + path(env, "big.txt") + ' ' + path(env, "big.vrd"));
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, "varnell: " + path(env, "big.vrd") + ": the file is larger than 64 MiB\n");
    QVERIFY(!QFile::exists(env.path(QStringLiteral("big.txt"))));
    QCOMPARE(fileOrMissing(QString::fromUtf8(out + "/a.txt")), savedText);
    QCOMPARE(fileOrMissing(QString::fromUtf8(out + "/b.txt")), savedText);

    // The crypto filter's own failure (its key container cannot be made: a
    // file stands in its place) fails the command instead of passing as a
    // note beside a success.
    const QByteArray container = qgetenv("VARNELL_KEY_CONTAINER");
    qputenv("VARNELL_KEY_CONTAINER", a);
    r = varnell("decrypt --key k " + a);
    qputenv("VARNELL_KEY_CONTAINER", container);
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.endsWith("varnell: InitUser failed\n"), r.err);

    // Text from outside the program shows its control characters as
    // escapes: a record's value or a file name can neither steer the
    // terminal nor forge a line.
    QCOMPARE(
        varnell("encrypt --key k --output " + path(env, "esc.vrd"), "Name:\t\x1b[2Jgone\xc2\x9d\n")
            .exitCode,
        0);
    QCOMPARE(varnell("decrypt --key k " + path(env, "esc.vrd")).out,
             QByteArray("Name:               \\x1B[2Jgone\\x9D\n"));
    QCOMPARE(varnell("decrypt --key k " + path(env, "a\nb.vrd")).err,
             "varnell: " + path(env, "a\\x0Ab.vrd") + ": no such file\n");

    // Nothing half-made replaces a good file.
    QCOMPARE(varnell("decrypt --key k --output " + a + ' ' + path(env, "none.vrd")).exitCode, 1);
    QCOMPARE(varnell("encrypt --key k --output " + a, "Name:\t\xe4\xb8\xad\n").exitCode, 1);
    QCOMPARE(fileOrMissing(QString::fromUtf8(a)), record);
    r = varnell("encrypt --key k", "Name:\t\xff\xfe\n");
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains("UTF-8"));
}

void TestCli::storeAndLogin()
{
    TestEnvironment env;
    const QByteArray record = path(env, "a.vrd");
    varnell("encrypt --key stored~key --output " + record, sample);
    // A store failure names the store and the cause after the usual text.
    const QByteArray cause = " (" + env.storePath().toUtf8() + ": No such file or directory)\n";
    QCOMPARE(varnell("decrypt " + record).err, "varnell: No decryption key found." + cause);
    QCOMPARE(varnell("store show").err, "varnell: Unable to access utility settings." + cause);

    QCOMPARE(varnell("store init --developer-key ABCDEFGHIJKLdemoyshopz --encryption-key "
                     "stored~key --password Secret~")
                 .exitCode,
             0);
    QCOMPARE(varnell("store init --developer-key X --encryption-key Y").exitCode, 1);

    // The password guards every command that reads the store: exactly, the
    // trailing blank included; without a terminal it must come on stdin.
    for (const QByteArray &typed : {QByteArray("secret \n"), QByteArray("Secret\n")}) {
        const VarnellRun r = varnell("decrypt --password-stdin " + record, typed);
        QCOMPARE(r.err, QByteArray("varnell: The password entered is an invalid password.\n"));
        QVERIFY(r.out.isEmpty());
    }
    QCOMPARE(varnell("decrypt " + record).exitCode, 1);
    QCOMPARE(varnell("store set --encryption-key E2 --password-stdin", "nope\n").exitCode, 1);
    QCOMPARE(varnell("decrypt --password-stdin " + record, "Secret \n").out, sampleText);

    VarnellRun r = varnell("store show --password-stdin", "Secret \n");
    QCOMPARE(r.out, QByteArray("Developer key: ABCDEFGHIJKLdemoyshopz\n"
                               "Encryption key: stored key\n"
                               "Password: ********\n"
                               "Server path: demo.com/shop/\n"));
    QVERIFY(varnell("store show --reveal --password-stdin", "Secret \n")
                .out.contains("Password: Secret \n"));

    // set changes only what it is given; an empty password removes the login.
    QCOMPARE(
        varnell("store set --encryption-key E2 --password= --password-stdin", "Secret \n").exitCode,
        0);
    r = varnell("store show");
    QVERIFY(r.out.contains("Developer key: ABCDEFGHIJKLdemoyshopz\nEncryption key: E2\n"
                           "Password: (none)\n"));
    QCOMPARE(varnell("store init --force --developer-key D3 --encryption-key E3").exitCode, 0);
    QVERIFY(varnell("store show").out.startsWith("Developer key: D3\nEncryption key: E3\n"));

    // The machine's store, made by root, is read by every user; only root
    // changes it.
    if (::geteuid() == 0 && !QStandardPaths::findExecutable(QStringLiteral("runuser")).isEmpty()) {
        const QString command = env.path(QStringLiteral("varnell"));
        QVERIFY(QFile::copy(QString::fromUtf8(TestConfig::binaryDir) +
                                QStringLiteral("/src/cli/varnell"),
                            command));
        QVERIFY(::chmod(QFile::encodeName(env.path()).constData(), 0755) == 0 &&
                ::chmod(QFile::encodeName(command).constData(), 0755) == 0);
        const auto asNobody = [&](const QStringList &arguments) -> QString {
            QProcess process;
            process.start(QStringLiteral("runuser"),
                          QStringList{QStringLiteral("-u"), QStringLiteral("nobody"),
                                      QStringLiteral("--"), command} +
                              arguments);
            process.closeWriteChannel();
            process.waitForFinished(30000);
            return QString::number(process.exitCode()) + QLatin1Char(' ') +
                   QString::fromUtf8(process.readAllStandardOutput() +
                                     process.readAllStandardError());
        };
        const QString shown = asNobody({QStringLiteral("store"), QStringLiteral("show")});
        QVERIFY2(shown.startsWith(QStringLiteral("0 Developer key: D3\n")), qPrintable(shown));
        QVERIFY(asNobody({QStringLiteral("store"), QStringLiteral("set"),
                          QStringLiteral("--developer-key"), QStringLiteral("D4")})
                    .startsWith(QStringLiteral("1 varnell: Unable to update keys.")));
        QVERIFY(varnell("store show").out.startsWith("Developer key: D3\n"));
        // A file that its owner made read-only is not replaced.
        const QString own = env.path(QStringLiteral("nobody's"));
        QVERIFY(QDir().mkpath(own));
        QFile kept(own + QStringLiteral("/kept.vrd"));
        QVERIFY(kept.open(QIODevice::WriteOnly) && kept.write("kept") == 4);
        kept.close();
        const passwd *nobody = ::getpwnam("nobody");
        QVERIFY(nobody && kept.setPermissions(QFile::ReadOwner | QFile::ReadOther) &&
                ::chown(QFile::encodeName(own).constData(), nobody->pw_uid, nobody->pw_gid) == 0 &&
                ::chown(QFile::encodeName(kept.fileName()).constData(), nobody->pw_uid,
                        nobody->pw_gid) == 0);
        const QString refused =
            asNobody({QStringLiteral("encrypt"), QStringLiteral("--key"), QStringLiteral("k"),
                      QStringLiteral("--output"), own + QStringLiteral("/kept.vrd")});
        QVERIFY2(refused.startsWith(QStringLiteral("1 ")) &&
                     refused.contains(QLatin1String("Permission denied")),
                 qPrintable(refused));
        QCOMPARE(fileOrMissing(own + QStringLiteral("/kept.vrd")), QByteArray("kept"));
    }

    QCOMPARE(varnell("about").out,
             "Varnell Decryptor, version 2.0.0\nSettings store: " + env.storePath().toUtf8() +
                 "\nCentral host: " + BuildConfig::centralHost + "\n");
}

void TestCli::printToPdf()
{
    TestEnvironment env;
    QVERIFY(QDir().mkpath(env.path(QStringLiteral("in"))) &&
            QDir().mkpath(env.path(QStringLiteral("out"))));
    const QByteArray a = path(env, "in/a.vrd"), b = path(env, "in/b.r2.vrd");
    QCOMPARE(varnell("encrypt --key k --output " + a, sample).exitCode, 0);
    // Sixty rows: two pages.
    QByteArray longer;
    for (int n = 1; n <= 60; ++n)
        longer += "Row " + QByteArray::number(n) + ":\tvalue " + QByteArray::number(n) + '\n';
    QCOMPARE(varnell("encrypt --key k --output " + b, longer).exitCode, 0);

    // One record to the file named; the footer names the record's full path.
    QCOMPARE(varnell("print --key k --pdf " + path(env, "one.pdf") + ' ' + a).exitCode, 0);
    QStringList pages = pdfPages(env.path(QStringLiteral("one.pdf")));
    QCOMPARE(pages.size(), 1);
    QVERIFY(pages.at(0).contains(QStringLiteral("Client Numéro Trois")));
    QVERIFY(pages.at(0).contains(QStringLiteral("€49.95")));
    QVERIFY2(pages.at(0).contains(QStringLiteral("File Name: ") + QString::fromUtf8(a)),
             qPrintable(pages.at(0)));
    QCOMPARE(unixMode(env.path(QStringLiteral("one.pdf"))), 0600);

    // A batch: one NAME.pdf per record, the missing one reported and the
    // others written all the same.
    const VarnellRun r = varnell("print --key k --output-dir " + path(env, "out") + ' ' + a + ' ' +
                                 path(env, "in/none.vrd") + ' ' + b);
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, "varnell: " + path(env, "in/none.vrd") + ": no such file\n");
    QCOMPARE(QDir(env.path(QStringLiteral("out"))).entryList(QDir::Files),
             (QStringList{QStringLiteral("a.pdf"), QStringLiteral("b.r2.pdf")}));
    // The same page but for the time of printing.
    const auto undated = [](QStringList pages) {
        for (QString &page : pages)
            page.truncate(page.indexOf(QLatin1String("Date Printed: ")));
        return pages;
    };
    QCOMPARE(undated(pdfPages(env.path(QStringLiteral("out/a.pdf")))), undated(pages));
    pages = pdfPages(env.path(QStringLiteral("out/b.r2.pdf")));
    QCOMPARE(pages.size(), 2);
    QVERIFY(pages.at(0).contains(QLatin1String("value 38\n")) &&
            !pages.at(0).contains(QLatin1String("value 39\n")));
    QVERIFY(pages.at(1).contains(QLatin1String("value 60\n")) &&
            pages.at(1).contains(QLatin1String("Page 2 of 2")));

    // Nothing written over a good file when the record cannot be read.
    const QByteArray earlier = fileOrMissing(env.path(QStringLiteral("one.pdf")));
    QCOMPARE(
        varnell("print --key k --pdf " + path(env, "one.pdf") + ' ' + path(env, "in")).exitCode, 1);
    QCOMPARE(fileOrMissing(env.path(QStringLiteral("one.pdf"))), earlier);
}

void TestCli::secretsOffTheCommandLine()
{
    // Every secret can come from a file (its first line) or from a line of
    // standard input instead of the command line, which other users see.
    TestEnvironment env;
    const QByteArray devFile = path(env, "dev.txt"), keyFile = path(env, "key.txt");
    QVERIFY(SafeFile::write(QString::fromUtf8(devFile), "ABCDEFGHIJKLdemoyshopz\r\nnot this\n"));
    QVERIFY(SafeFile::write(QString::fromUtf8(keyFile), "file key"));
    QCOMPARE(varnell("store init --developer-key-file " + devFile +
                         " --encryption-key-file - --password-file -",
                     "line key\npass word\n")
                 .exitCode,
             0);
    QCOMPARE(varnell("store show --reveal --password-stdin", "pass word\n").out,
             QByteArray("Developer key: ABCDEFGHIJKLdemoyshopz\nEncryption key: line key\n"
                        "Password: pass word\nServer path: demo.com/shop/\n"));
    // set: the login first, then the new values, on standard input.
    QCOMPARE(varnell("store set --password-stdin --encryption-key-file - --password-file -",
                     "pass word\nnew key\n\n")
                 .exitCode,
             0);
    QVERIFY(varnell("store show").out.contains("Encryption key: new key\nPassword: (none)\n"));

    const QByteArray record = path(env, "r.vrd");
    QCOMPARE(varnell("encrypt --key-file " + keyFile + " " + path(env, "in.txt")).exitCode, 1);
    QVERIFY(SafeFile::write(env.path(QStringLiteral("in.txt")), sample));
    QCOMPARE(
        varnell("encrypt --key-file - --output " + record + " " + path(env, "in.txt"), "file key\n")
            .exitCode,
        0);
    QCOMPARE(varnell("decrypt --key-file " + keyFile + " " + record).out, sampleText);
    // A line without end on standard input is refused, not read until memory
    // runs out.
    QCOMPARE(varnell("decrypt --key-file - " + record, QByteArray(70000, 'k')).err,
             QByteArray("varnell: the line on standard input is longer than 64 KiB\n"));
    QCOMPARE(varnell("decrypt --key-file - " + record, "file key\n").out, sampleText);

    // Refused: both forms at once, the key and the text both on standard
    // input without a terminal, a key file that is missing.
    QCOMPARE(varnell("decrypt --key k --key-file " + keyFile + " " + record).exitCode, 2);
    QCOMPARE(varnell("encrypt --key-file -", "k\n" + sample).exitCode, 2);
    QCOMPARE(varnell("encrypt", sample).exitCode, 2);
    const VarnellRun missing = varnell("decrypt --key-file " + path(env, "none") + " " + record);
    QCOMPARE(missing.exitCode, 1);
    QVERIFY(missing.err.contains(QByteArray(path(env, "none") + ": No such file")));

    // On a terminal, store init asks for what it is not given, without
    // echoing what is typed.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const QByteArray slave = ::ptsname(master);
    QProcess program;
    program.setProcessEnvironment(env.processEnvironment());
    program.setChildProcessModifier([slave] {
        ::setsid();
        const int fd = ::open(slave.constData(), O_RDWR);
        ::ioctl(fd, TIOCSCTTY, 0);
        ::dup2(fd, STDIN_FILENO);
    });
    program.start(QString::fromUtf8(TestConfig::varnellPath),
                  {QStringLiteral("store"), QStringLiteral("init"), QStringLiteral("--force")});
    QByteArray prompts;
    for (const char *answer : {"typed dev\n", "typed key\n", "\n"}) {
        const qsizetype before = prompts.count(':');
        QTRY_VERIFY_WITH_TIMEOUT((prompts += program.readAllStandardError()).count(':') > before,
                                 10000);
        QTest::qWait(50);
        QVERIFY(::write(master, answer, std::strlen(answer)) > 0);
    }
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitCode(), 0);
    QVERIFY2(prompts.startsWith("Developer key: \nEncryption key: \nPassword"), prompts);
    char echoed[256] = {};
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    const ssize_t n = ::read(master, echoed, sizeof echoed - 1);
    ::close(master);
    QVERIFY2(n <= 0 || !QByteArray(echoed).contains("typed"), echoed);
    QVERIFY(varnell("store show")
                .out.startsWith(
                    "Developer key: typed dev\nEncryption key: typed key\nPassword: (none)\n"));
}

void TestCli::batchKilledPartWay()
{
    // A batch killed at any moment leaves whole files under their names,
    // and temporary (hidden) names, never a half-written file.
    TestEnvironment env;
    const QByteArray record =
        RecordFile::fromTabbedText(QString::fromUtf8(sample), QStringLiteral("k")).bytes;
    QStringList arguments{QStringLiteral("decrypt"), QStringLiteral("--key"), QStringLiteral("k"),
                          QStringLiteral("--output-dir"), env.path(QStringLiteral("out"))};
    for (int i = 0; i < 3000; ++i) {
        const QString input = env.path(QStringLiteral("in/r%1.vrd").arg(i));
        if (i == 0)
            QVERIFY(QDir().mkpath(QFileInfo(input).absolutePath()));
        QVERIFY(SafeFile::write(input, record, {}));
        arguments.append(input);
    }
    bool seenPartWay = false;
    for (int run = 0; run < 10 && !seenPartWay; ++run) {
        QDir(env.path(QStringLiteral("out"))).removeRecursively();
        QVERIFY(QDir().mkpath(env.path(QStringLiteral("out"))));
        QProcess program;
        program.start(QString::fromUtf8(TestConfig::varnellPath), arguments);
        QVERIFY(program.waitForStarted());
        QTest::qWait(20 + 40 * run);
        program.kill();
        program.waitForFinished(10000);
        const QStringList names = QDir(env.path(QStringLiteral("out")))
                                      .entryList(QDir::Files | QDir::Hidden | QDir::System);
        qsizetype finals = 0;
        for (const QString &name : names) {
            if (name.startsWith(QLatin1Char('.')))
                continue;
            ++finals;
            QCOMPARE(fileOrMissing(env.path(QStringLiteral("out/") + name)), savedText);
        }
        seenPartWay = finals > 0 && finals < 3000;
        if (program.exitStatus() == QProcess::NormalExit)
            QCOMPARE(finals, 3000);
    }
}

void TestCli::usageErrors()
{
    TestEnvironment env;
    // Every command's help is checked against its manual page by the
    // installation's test.
    for (const char *line :
         {"", "frobnicate", "decrypt", "decrypt --bogus a.vrd", "decrypt --output x a.vrd b.vrd",
          "store", "store init --developer-key D", "store set", "print a.vrd",
          "print --pdf x.pdf --output-dir . a.vrd", "print --pdf x.pdf a.vrd b.vrd"}) {
        const VarnellRun r = varnell(line);
        QVERIFY2(r.exitCode == 2 && !r.err.isEmpty(), line);
    }
    // Asked for help, a command shows it and does nothing else.
    const VarnellRun help = varnell("stats --help-all");
    QVERIFY2(help.exitCode == 0 && help.out.startsWith("Usage: varnell stats"), help.err);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
