#include "common/Ansi.h"
#include "sandbox/RequestTarget.h"
#include "sandbox/SandboxOptions.h"
#include "statistics/modStatistics.h"
#include "support/SandboxProcess.h"
#include "support/TestEnvironment.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const QByteArray central = "http://secure.varnell.com/Validator/";
const QByteArray requestPack = "http://www.demo.varnell.com/pack/RequestPack.cgi";
const QByteArray connTest = "GET /ConnTest.txt HTTP/1.1\r\nHost: secure.varnell.com\r\n";

struct Reply
{
    int status = 0; // 0: no answer in time
    QByteArray head;
    QByteArray body;
};

// The answer at the start of bytes; with withBody false, one to a HEAD
// request. Empty when no whole answer is there.
Reply takeAnswer(QByteArray &bytes, bool withBody = true)
{
    const qsizetype headEnd = bytes.indexOf("\r\n\r\n");
    if (!bytes.startsWith("HTTP/1.1 ") || headEnd < 0)
        return {};
    Reply reply{bytes.mid(9, 3).toInt(), bytes.left(headEnd + 2), {}};
    const qsizetype length = reply.head.indexOf("\r\nContent-Length: ") + 18;
    const qsizetype size =
        !withBody || length < 18
            ? 0
            : reply.head.mid(length, reply.head.indexOf('\r', length) - length).toLongLong();
    if (bytes.size() < headEnd + 4 + size)
        return {};
    reply.body = bytes.mid(headEnd + 4, size);
    bytes.remove(0, headEnd + 4 + size);
    return reply;
}

// Everything the server sends on the socket until it closes the
// connection, at most timeoutMs.
QByteArray readToEnd(QTcpSocket &socket, int timeoutMs = 10000)
{
    QByteArray data;
    const QDeadlineTimer deadline(timeoutMs);
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        data += socket.readAll();
    }
    return data + socket.readAll();
}

// Sends the bytes as they are on a fresh connection and reads the one answer
// that ends it.
Reply rawExchange(quint16 port, const QByteArray &bytes, const char *address = "127.0.0.1")
{
    QTcpSocket socket;
    socket.connectToHost(QString::fromLatin1(address), port);
    if (!socket.waitForConnected(10000))
        return {};
    socket.write(bytes);
    QByteArray data = readToEnd(socket);
    return takeAnswer(data);
}

// One request, head as given (each line ending in CR LF), that asks the
// server to close the connection after its answer.
Reply exchange(quint16 port, const QByteArray &head, const QByteArray &body = {})
{
    return rawExchange(port, head + "Content-Length: " + QByteArray::number(body.size()) +
                                 "\r\nConnection: close\r\n\r\n" + body);
}

// A request as a client sends it to its proxy: the whole URL on the request line.
Reply viaProxy(const SandboxProcess &sandbox, const QByteArray &url, const QByteArray &body = {})
{
    return exchange(sandbox.port(),
                    (body.isNull() ? "GET " : "POST ") + url + " HTTP/1.1\r\nHost: x\r\n", body);
}

const QByteArray developer = "DeveloperID=" + Ansi::encode(SandboxProcess::developerKey());

// The body of the central server's page for the sandbox account.
QByteArray page(const SandboxProcess &sandbox, const char *name, const QByteArray &pairs = {})
{
    return viaProxy(sandbox, central + name + '?' + developer + pairs).body;
}

// A client that sends a request a byte at a time and never finishes it.
struct SlowClient
{
    explicit SlowClient(quint16 port)
    {
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        socket.waitForConnected(5000);
    }
    // Takes what came; sends the next byte while the connection is open.
    bool drip(bool send = true)
    {
        if (socket.isOpen())
            received += socket.readAll();
        if (send && socket.state() == QAbstractSocket::ConnectedState) {
            socket.write(QByteArray(1, sent < connTest.size() ? connTest[sent] : 'x'));
            ++sent;
            socket.flush();
        }
        return socket.state() != QAbstractSocket::UnconnectedState;
    }

    QTcpSocket socket;
    qsizetype sent = 0;
    QByteArray received;
};

} // namespace

class TestSandbox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void parsers();
    void routing();
    void malformedRequests_data();
    void malformedRequests();
    void keepAlive();
    void slowClients();
    void bodyLimit();
    void stopsAtOnce();
    void portInUse();
    void defaultFolders_data();
    void defaultFolders();
    void outboxLink();
    void updatesPersist();
    void statistics();
    void faultSwitches();

private:
    std::unique_ptr<SandboxProcess> m_sandbox; // for tests that change nothing
};

void TestSandbox::initTestCase()
{
    m_sandbox = std::make_unique<SandboxProcess>();
    QVERIFY(m_sandbox->isListening());
}

void TestSandbox::cleanupTestCase()
{
    QCOMPARE(m_sandbox->stop(), 0);
}

void TestSandbox::parsers()
{
    // The host in lower case without its port; the first pair of a name wins.
    RequestTarget target = RequestTarget::parse("/Validator/A.asp?v=&v=2", "Secure.Varnell.COM:80");
    QCOMPARE(target.host, QStringLiteral("secure.varnell.com"));
    QVERIFY(!target.queryValue("v").isNull() && target.queryValue("v").isEmpty());
    QVERIFY(target.queryValue("w").isNull());
    // Only %XX is decoded: "+" stays a plus, a broken "%" stays as it is.
    target = RequestTarget::parse("/a%2Fb//c?x=0&v=Cr%E8me+%26+Co%3D%zz%4", "h");
    QCOMPARE(target.path, QByteArray("/a/b/c"));
    QCOMPARE(target.queryValue("v"), QByteArray("Cr\xE8me+&+Co=%zz%4"));
    // A URL's host wins over the header; one in the query is no URL.
    QCOMPARE(RequestTarget::parse("HTTP://u@WWW.Demo.com.:81?x", "h").host,
             QStringLiteral("www.demo.com"));
    QCOMPARE(RequestTarget::parse("/?u=http://e/", "h").host, QStringLiteral("h"));

    // Each option reaches its own field; options it cannot use are refused
    // with a reason.
    SandboxOptions o;
    QString error;
    QCOMPARE(SandboxOptions::parse(QStringLiteral("-port=8080 --data d --outbox o --delay-ms 5 "
                                                  "--fail-first --hang --status 503")
                                       .split(QLatin1Char(' ')),
                                   &o, &error),
             SandboxOptions::Parse::Run);
    QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                 .arg(o.port)
                 .arg(o.dataDir, o.outboxDir)
                 .arg(o.delayMs)
                 .arg(o.failFirst)
                 .arg(o.hang)
                 .arg(o.status),
             QStringLiteral("8080 d o 5 1 1 503"));
    QCOMPARE(SandboxOptions::parse({QStringLiteral("-h")}, &o, &error),
             SandboxOptions::Parse::Help);
    for (const char *bad : {"--port 65536", "--status 99", "--delay-ms -5", "--hang=1",
                            "--data=", "--bogus", "extra"}) {
        error.clear();
        QVERIFY2(SandboxOptions::parse(QString::fromLatin1(bad).split(QLatin1Char(' ')), &o,
                                       &error) == SandboxOptions::Parse::Error &&
                     !error.isEmpty(),
                 bad);
    }
}

void TestSandbox::routing()
{
    SandboxProcess &sandbox = *m_sandbox;
    QCOMPARE(sandbox.startupLines().value(0),
             QStringLiteral("Developer key: ") + SandboxProcess::developerKey());
    const QByteArray query = "/Validator/GetProdCount.asp?" + developer;
    QCOMPARE(
        exchange(sandbox.port(), "GET " + query + " HTTP/1.1\r\nHost: secure.varnell.com\r\n").body,
        QByteArray("4\r\n"));
    QCOMPARE(exchange(sandbox.port(), "GET " + query + " HTTP/1.1\r\nHost: example.com\r\n").status,
             404);
    // The probe pages are those of the central host and of "www." + the
    // account's server, no other.
    QCOMPARE(viaProxy(sandbox, "http://demo.varnell.com/ConnTest.txt").status, 404);
    QCOMPARE(viaProxy(sandbox, central + "RequestPack.cgi", "TID=T1").status, 404);
    // It listens on 127.0.0.1 alone: another loopback address finds nobody.
    QCOMPARE(rawExchange(sandbox.port(), connTest + "\r\n", "127.0.0.2").status, 0);
}

void TestSandbox::malformedRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    const QByteArray close = "Connection: close\r\n\r\n";
    const auto get = [&close](const char *target) -> QByteArray {
        return "GET " + QByteArray(target) + " HTTP/1.1\r\nHost: secure.varnell.com\r\n" + close;
    };
    QTest::newRow("http URL, scheme in capitals")
        << get("HTTP://secure.varnell.com/ConnTest.txt") << 200;
    QTest::newRow("HTTP/1.0 without Host")
        << QByteArray("GET /ConnTest.txt HTTP/1.0\r\n\r\n") << 200;
    QTest::newRow("two Content-Length")
        << connTest + "Content-Length: 1\r\nContent-Length: 1\r\n" + close + "x" << 400;
    QTest::newRow("https URL") << get("https://secure.varnell.com/ConnTest.txt") << 400;
    QTest::newRow("URL with a port alone") << get("http://:80/ConnTest.txt") << 400;
    QTest::newRow("authority form")
        << "CONNECT secure.varnell.com:443 HTTP/1.1\r\nHost: secure.varnell.com\r\n" + close << 400;
    QTest::newRow("HTTP/1.1 without Host") << "GET /ConnTest.txt HTTP/1.1\r\n" + close << 400;
    QTest::newRow("two Host headers") << connTest + "Host: secure.varnell.com\r\n" + close << 400;
    QTest::newRow("HTTP/2.0") << QByteArray("GET /ConnTest.txt HTTP/2.0\r\nHost: x\r\n\r\n") << 505;
    QTest::newRow("gzip coding") << connTest + "Transfer-Encoding: gzip\r\n" + close << 501;
    QTest::newRow("head too large")
        << connTest + "X: " + QByteArray(70000, 'a') + "\r\n" + close << 431;
    // Refused before the body is sent.
    QTest::newRow("body too large") << connTest + "Content-Length: 1048577\r\n" + close << 413;
}

void TestSandbox::malformedRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    const Reply reply = rawExchange(m_sandbox->port(), request);
    QCOMPARE(reply.status, status);
    // A refusal says why and closes the connection (readToEnd saw it close).
    if (status != 200)
        QVERIFY2(reply.body.contains(": ") && reply.head.contains("\r\nConnection: close\r\n"),
                 reply.body.constData());
}

void TestSandbox::keepAlive()
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), m_sandbox->port());
    QVERIFY(socket.waitForConnected(5000));
    // Three requests in one go: the HEAD's answer has no body, and the
    // connection stays open until the one that asks to close it.
    socket.write(connTest + "\r\n" +
                 "HEAD /ConnTest.txt HTTP/1.1\r\nHost: secure.varnell.com\r\n\r\n" + connTest +
                 "Connection: close\r\n\r\n");
    QByteArray stream = readToEnd(socket);
    const Reply first = takeAnswer(stream);
    const Reply head = takeAnswer(stream, false);
    const Reply last = takeAnswer(stream);
    QCOMPARE(first.body, QByteArray("Connection OK\r\n"));
    QVERIFY(!first.head.contains("Connection: close"));
    QCOMPARE(head.status, 200);
    QVERIFY(head.head.contains("\r\nContent-Length: 15\r\n"));
    QCOMPARE(last.body, QByteArray("Connection OK\r\n"));
    QVERIFY(last.head.contains("\r\nConnection: close\r\n"));
    QCOMPARE(stream, QByteArray());
}

void TestSandbox::slowClients()
{
    // Clients that connect and say nothing, and many more that send their
    // requests a byte at a time, do not keep a normal request from its
    // answer. They are cut off: by the deadline for a whole request (408),
    // or, past 64 open connections, closed without an answer.
    SandboxProcess sandbox;
    QVERIFY(sandbox.isListening());
    std::vector<std::unique_ptr<SlowClient>> silent, slow;
    for (int i = 0; i < 120; ++i) {
        auto &group = i < 20 ? silent : slow;
        group.push_back(std::make_unique<SlowClient>(sandbox.port()));
        group.back()->drip(&group == &slow);
    }
    SlowClient normal(sandbox.port());
    normal.socket.write(connTest + "Connection: close\r\n\r\n");
    // Bounded: 160 rounds of a quarter second.
    for (int round = 0; round < 160; ++round) {
        QTest::qWait(250);
        bool open = normal.drip(false);
        for (auto &client : slow)
            open = client->drip() || open;
        if (!open)
            break;
    }
    QCOMPARE(takeAnswer(normal.received).body, QByteArray("Connection OK\r\n"));
    int timedOut = 0;
    int dropped = 0;
    for (auto &client : slow) {
        QVERIFY2(!client->drip(false), "a slow client was never cut off");
        timedOut += client->received.startsWith("HTTP/1.1 408 ");
        dropped += client->received.isEmpty();
    }
    QVERIFY(timedOut > 0);
    // 121 connections in all, at most 64 at once, the silent ones among the
    // first to go.
    QCOMPARE(timedOut + dropped, 100);
    QVERIFY2(dropped >= 121 - 64 - 20, qPrintable(QString::number(dropped)));
}

void TestSandbox::bodyLimit()
{
    // A chunked body is refused once it passes 1 MiB, before the client has
    // sent it all; the sandbox then still answers others.
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), m_sandbox->port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write("POST /Validator/ProductUpdate.asp HTTP/1.1\r\nHost: secure.varnell.com\r\n"
                 "Transfer-Encoding: chunked\r\n\r\n");
    const QByteArray chunk = "10000\r\n" + QByteArray(0x10000, 'x') + "\r\n";
    for (int i = 0; i < 16; ++i)
        socket.write(chunk);
    socket.write("10000\r\n" + QByteArray(100, 'x'));
    QByteArray stream = readToEnd(socket);
    QCOMPARE(takeAnswer(stream).status, 413);
    QCOMPARE(exchange(m_sandbox->port(), connTest).status, 200);
}

void TestSandbox::stopsAtOnce()
{
    // Each stop signal ends the sandbox while a client is in the middle of
    // its request, and while --hang holds one.
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SandboxProcess sandbox;
        QVERIFY(sandbox.isListening());
        SlowClient client(sandbox.port());
        client.drip();
        QTest::qWait(200);
        QCOMPARE(::kill(pid_t(sandbox.processId()), signal), 0);
        bool ended = false;
        for (int round = 0; round < 40 && !ended; ++round) {
            client.drip();
            ended = sandbox.waitForEnd(250);
        }
        QVERIFY2(ended, qPrintable(QStringLiteral("signal %1").arg(signal)));
        QCOMPARE(sandbox.stop(), 0);
    }

    SandboxProcess sandbox({QStringLiteral("--hang")});
    QVERIFY(sandbox.isListening());
    QTcpSocket held;
    held.connectToHost(QStringLiteral("127.0.0.1"), sandbox.port());
    QVERIFY(held.waitForConnected(5000));
    held.write(connTest + "\r\n");
    QVERIFY(!held.waitForReadyRead(1000)); // held, not answered
    QCOMPARE(::kill(pid_t(sandbox.processId()), SIGTERM), 0);
    QVERIFY(sandbox.waitForEnd(10000));
    QCOMPARE(sandbox.stop(), 0);
}

void TestSandbox::portInUse()
{
    // A second sandbox on a port in use refuses it instead of sharing it.
    SandboxProcess second({QStringLiteral("--port"), QString::number(m_sandbox->port())});
    QVERIFY(!second.isListening());
    QCOMPARE(second.stop(), 1);
    const QString error = second.errorOutput();
    QVERIFY2(error.contains(QStringLiteral("127.0.0.1:%1").arg(m_sandbox->port())) &&
                 error.contains(QLatin1String("already in use")),
             qPrintable(error));
}

void TestSandbox::defaultFolders_data()
{
    QTest::addColumn<QString>("before"); // in the folder's place at the start
    QTest::addColumn<QString>("refusal");
    QTest::newRow("nothing") << QString() << QString();
    QTest::newRow("open folder") << "open folder" << QString();
    QTest::newRow("link") << "link"
                          << "is a symbolic link";
    QTest::newRow("another user's folder") << "another user's"
                                           << "belongs to another user";
}

void TestSandbox::defaultFolders()
{
    QFETCH(QString, before);
    QFETCH(QString, refusal);
    // The catalogue and outbox default to a folder of this user's own
    // (0700) under the temporary folder, which nobody else may have made.
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("varnell-sandbox-%1").arg(::geteuid()));
    const QString elsewhere = tmp.filePath(QStringLiteral("elsewhere"));
    const QByteArray native = QFile::encodeName(folder);
    QVERIFY(QDir().mkdir(elsewhere));
    if (before == QLatin1String("link"))
        QVERIFY(QFile::link(elsewhere, folder));
    else if (!before.isEmpty())
        QVERIFY(QDir().mkdir(folder) && ::chmod(native.constData(), 0777) == 0);
    if (before == QLatin1String("another user's")) {
        if (::geteuid() != 0)
            QSKIP("giving a folder to another user needs root; the tests run as root in CI");
        QVERIFY(::chown(native.constData(), 65534, 65534) == 0);
    }

    qputenv("TMPDIR", QFile::encodeName(tmp.path()));
    SandboxProcess sandbox{SandboxProcess::DefaultFolders()};
    qunsetenv("TMPDIR");
    if (!refusal.isEmpty()) {
        QCOMPARE(sandbox.stop(), 1);
        const QString error = sandbox.errorOutput();
        QVERIFY2(error.contains(folder + QLatin1Char(' ') + refusal), qPrintable(error));
        QVERIFY(QDir(elsewhere).isEmpty());
        return;
    }
    QVERIFY(sandbox.isListening());
    struct stat info
    {};
    QVERIFY(::lstat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode));
    QCOMPARE(int(info.st_mode & 07777), 0700);
    QCOMPARE(info.st_uid, ::geteuid());
    const QString id = sandbox.transactionFor(QStringLiteral("Request Successful"));
    QCOMPARE(viaProxy(sandbox, requestPack, "TID=" + id.toLatin1()).body,
             QByteArray("Request Successful\r\n"));
    QVERIFY(QFileInfo(folder + QStringLiteral("/data")).isDir());
    QVERIFY(QFile::exists(folder + QStringLiteral("/outbox/") + id + QStringLiteral(".vrd")));
}

void TestSandbox::outboxLink()
{
    // A link planted in the outbox under a packet's name is replaced by the
    // packet; the file it points to stays as it was.
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(QStringLiteral("victim.txt"));
    QFile file(victim);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("precious") == 8);
    file.close();
    const QString id = m_sandbox->transactionFor(QStringLiteral("Request Successful"));
    const QString packet = QDir(m_sandbox->outboxDir()).filePath(id + QStringLiteral(".vrd"));
    QVERIFY(QDir().mkpath(m_sandbox->outboxDir()) && QFile::link(victim, packet));

    QCOMPARE(viaProxy(*m_sandbox, requestPack, "TID=" + id.toLatin1()).body,
             QByteArray("Request Successful\r\n"));
    QCOMPARE(contents(victim), QByteArray("precious"));
    QVERIFY(!QFileInfo(packet).isSymLink() && contents(packet).startsWith("Transaction ID:"));
    // Nothing but the packet is left in the outbox.
    QCOMPARE(QDir(m_sandbox->outboxDir()).entryList(QDir::Files | QDir::Hidden),
             QStringList{id + QStringLiteral(".vrd")});
}

void TestSandbox::updatesPersist()
{
    // A catalogue that cannot be read is set aside, and the sandbox starts
    // with its own.
    QTemporaryDir data;
    QFile file(data.filePath(QStringLiteral("catalogue.json")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("{\"products\": [") > 0);
    file.close();
    const char *const update = "ProductUpdate.asp";
    {
        SandboxProcess sandbox({}, data.path());
        QVERIFY(sandbox.isListening());
        QCOMPARE(page(sandbox, update, "&CPID=5&Cost=1&PO=1&LP=1&CurType=2&SM=1&CurVer=2&PDesc=N"),
                 QByteArray("Product Added\r\n"));
        QCOMPARE(
            page(sandbox, update, "&CPID=2&Cost=12&PO=1&LP=true&CurType=3&SM=2&CurVer=9&PDesc=Two"),
            QByteArray("Product Updated\r\n"));
        // Refused: the system-locked product, an ID beyond count + 1, a bad code.
        for (const char *id : {"4", "7", "6&CurType=7"})
            page(sandbox, update,
                 "&CPID=" + QByteArray(id) + "&Cost=1&PO=1&LP=1&CurType=0&SM=0&CurVer=1&PDesc=X");
        QCOMPARE(sandbox.stop(), 0);
    }
    QVERIFY(QFile::exists(data.filePath(QStringLiteral("catalogue.json.bad"))));
    SandboxProcess restarted({}, data.path());
    QVERIFY(restarted.isListening());
    QCOMPARE(page(restarted, "GetProdCount.asp"), QByteArray("5\r\n"));
    // A change keeps the creation date.
    const QByteArray today = QDate::currentDate().toString(Qt::ISODate).toLatin1();
    QCOMPARE(page(restarted, "GetProductInfo.asp", "&ProdCount=2"),
             QByteArray("CPID=2|PDesc=Two|Cost=12|CurType=3|SM=2|CurVer=9|DteC=2022-06-01|DteE=" +
                        today + "|LP=1|PO=1|SysLock=0|\r\n")
                 .replace('|', '\xdf'));
    QVERIFY(page(restarted, "GetProductInfo.asp", "&ProdCount=4")
                .startsWith("CPID=4\xdfPDesc=Cr\xE8me Archiver (retired)\xdf"));
}

void TestSandbox::statistics()
{
    // That each period holds more than the one before is checked through
    // the stats command.
    SandboxProcess &sandbox = *m_sandbox;
    const QDate today = QDate::currentDate();
    const QDate firstDay[] = {today, today.addDays(-6), today.addMonths(-1).addDays(1),
                              today.addYears(-1).addDays(1)};
    const QByteArray review = central + "ProdReview.asp?DevID=demovarnellcompack&DateRange=";
    for (int period = 0; period < 4; ++period) {
        const QByteArray body = viaProxy(sandbox, review + QByteArray::number(period)).body;
        // Every line but the end markers becomes a node: none is malformed.
        QSet<QString> ids;
        for (const modStatistics::Product &p : modStatistics::parseStatistics(body).products()) {
            for (const modStatistics::Transaction &t : p.transactions) {
                const QDate date = QDate::fromString(t.date, Qt::ISODate);
                QVERIFY2(date >= firstDay[period] && date <= today, qPrintable(t.date));
                ids.insert(t.transactionId);
            }
        }
        // IDs are unique: each stands for one transaction.
        QCOMPARE(ids.size(), body.count("\r\n") - body.count("End Products\r\n"));
        for (const char *answer : {"Request Successful", "No Email", "File does not exist"})
            QVERIFY(ids.contains(sandbox.transactionFor(QLatin1String(answer))));
    }
    // Nothing for another account or an unknown period.
    for (const QByteArray &url :
         QList<QByteArray>{review + '4', central + "ProdReview.asp?DevID=other&DateRange=3"})
        QVERIFY(!viaProxy(sandbox, url).body.contains("New Product"));
}

void TestSandbox::faultSwitches()
{
    const QByteArray url = central + "GetProdCount.asp?" + developer;
    {
        SandboxProcess sandbox({QStringLiteral("--fail-first")});
        QVERIFY(sandbox.isListening());
        QCOMPARE(viaProxy(sandbox, url).status, 500);
        QCOMPARE(viaProxy(sandbox, url).body, QByteArray("4\r\n"));
        QCOMPARE(viaProxy(sandbox, url + "&x=1").status, 500);
    }
    {
        SandboxProcess sandbox({QStringLiteral("--delay-ms"), QStringLiteral("600")});
        QVERIFY(sandbox.isListening());
        // A client that leaves during the delay takes its answer with it.
        QTcpSocket leaving;
        leaving.connectToHost(QStringLiteral("127.0.0.1"), sandbox.port());
        QVERIFY(leaving.waitForConnected(5000));
        leaving.write("GET " + url + " HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(leaving.waitForBytesWritten(5000));
        QTest::qWait(100);
        leaving.abort();
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(viaProxy(sandbox, url).body, QByteArray("4\r\n"));
        QVERIFY(timer.elapsed() >= 600);
    }
}

QTEST_GUILESS_MAIN(TestSandbox)
#include "tst_sandbox.moc"
