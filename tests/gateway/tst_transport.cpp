#include "gateway/modProdUpdate.h"
#include "shell/PendingEvents.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkProxyFactory>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace modProdUpdate;
using Behaviour = FakeHttpServer::Behaviour;

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// Counts how often the transport lets pending events be processed.
struct EventCounter
{
    int calls = 0;
    EventCounter()
    {
        PendingEvents::setHandler([this] { ++calls; });
    }
    ~EventCounter() { PendingEvents::setHandler({}); }
};

// True when a request for url would go to the proxy on 127.0.0.1:port;
// checked before every request for a name that is not loopback, so that no
// test ever sends one anywhere else.
bool goesToProxy(const QString &url, quint16 port)
{
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(QUrl(url)));
    return !proxies.isEmpty() && proxies.first().type() == QNetworkProxy::HttpProxy &&
           proxies.first().hostName() == QLatin1String("127.0.0.1") &&
           proxies.first().port() == port;
}

} // namespace

class TestTransport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void answerFiles();
    void sweepRemovesOnlyEndedRunsFiles();
    void retriesOnce();
    void everyRequestReachesTheServer();
    void refusedAnswers_data();
    void refusedAnswers();
    void redirects();
    void deadlineEndsSlowServers_data();
    void deadlineEndsSlowServers();
    void proxyFromEnvironment();
    void answerLines_data();
    void answerLines();
    void queryValues_data();
    void queryValues();
};

void TestTransport::init()
{
    for (const char *name :
         {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"})
        qunsetenv(name);
    qputenv("VARNELL_HTTP_TIMEOUT_MS", "800");
}

void TestTransport::answerFiles()
{
    TestEnvironment env;
    const QString folder = env.path(QStringLiteral("tmp/varnell-%1/").arg(::geteuid()));
    QCOMPARE(GetTempDir(), folder);
    QCOMPARE(unixMode(folder), 0700);

    const QString first = GetTempFile();
    const QString second = GetTempFile();
    QVERIFY(first != second);
    const QString prefix = QStringLiteral("VRD%1-").arg(::getpid());
    for (const QString &path : {first, second}) {
        QCOMPARE(QFileInfo(path).absolutePath() + QLatin1Char('/'), folder);
        QVERIFY2(QFileInfo(path).fileName().startsWith(prefix), qPrintable(path));
        QCOMPARE(unixMode(path), 0600);
        QCOMPARE(QFileInfo(path).size(), 0);
    }

    // A strict umask still gives a file the download can write.
    const mode_t saved = ::umask(0277);
    const QString strict = GetTempFile();
    ::umask(saved);
    QCOMPARE(unixMode(strict), 0600);

    // A folder that others could enter is closed again.
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
    QCOMPARE(GetTempDir(), folder);
    QCOMPARE(unixMode(folder), 0700);

    // An answer file goes with its holder; earlier files stay.
    QString held;
    {
        const AnswerFile answer;
        held = answer.path();
        QVERIFY(QFile::exists(held));
        writeFile(held, "answer");
        QCOMPARE(answer.readAll(), QByteArray("answer"));
    }
    QVERIFY(!QFile::exists(held));
    QVERIFY(QFile::exists(first));

    // No limit on the length of the path.
    const QString deep = env.path(QStringLiteral("tmp/") + QString(120, QLatin1Char('d')));
    QVERIFY(QDir().mkpath(deep));
    qputenv("TMPDIR", QFile::encodeName(deep));
    const QString longPath = GetTempFile();
    QVERIFY(longPath.size() > 130);
    QVERIFY(QFile::exists(longPath));

    // A folder that is not ours alone (here a link someone planted) is not
    // used: no answer file, and a download into none fails.
    const QString hostile = env.path(QStringLiteral("hostile"));
    QVERIFY(QDir().mkpath(hostile));
    qputenv("TMPDIR", QFile::encodeName(hostile));
    QVERIFY(QFile::link(env.path(QStringLiteral("data")),
                        hostile + QStringLiteral("/varnell-%1").arg(::geteuid())));
    QCOMPARE(GetTempDir(), QString());
    QCOMPARE(GetTempFile(), QString());
    QVERIFY(!DownloadFile(QStringLiteral("http://127.0.0.1:9/x"), QString()));
}

void TestTransport::sweepRemovesOnlyEndedRunsFiles()
{
    TestEnvironment env;
    const QString folder = GetTempDir();
    QVERIFY(!folder.isEmpty());

    QProcess ended;
    ended.start(QStringLiteral("/bin/true"), QStringList());
    QVERIFY(ended.waitForStarted());
    const qint64 endedPid = ended.processId();
    QVERIFY(ended.waitForFinished());

    const QString gone = folder + QStringLiteral("VRD%1-abcdEFGH").arg(endedPid);
    const QString goneHalfWritten = gone + QStringLiteral(".Xy12Zq");
    const QString mine = GetTempFile();
    const QString living = folder + QStringLiteral("VRD%1-abcdEFGH").arg(::getppid());
    const QString notOurs = folder + QStringLiteral("notes.txt");
    const QString oddName = folder + QStringLiteral("VRDx%1-abc").arg(endedPid);
    for (const QString &path : {gone, goneHalfWritten, living, notOurs, oddName})
        writeFile(path, "x");
    const QString goneFolder = folder + QStringLiteral("VRD%1-folder").arg(endedPid);
    QVERIFY(QDir().mkpath(goneFolder));

    sweepStaleAnswerFiles();
    QVERIFY(!QFile::exists(gone));
    QVERIFY(!QFile::exists(goneHalfWritten));
    for (const QString &path : {mine, living, notOurs, oddName, goneFolder})
        QVERIFY2(QFileInfo::exists(path), qPrintable(path));

    // Without the private folder there is nothing to sweep, and none is made.
    qputenv("TMPDIR", QFile::encodeName(env.path(QStringLiteral("data"))));
    sweepStaleAnswerFiles();
    QVERIFY(QDir(env.path(QStringLiteral("data"))).isEmpty());
}

void TestTransport::retriesOnce()
{
    TestEnvironment env;
    FakeHttpServer server;
    const QString url = server.origin() + QStringLiteral("/Validator/ConnTest.txt");
    const AnswerFile answer;

    // The first attempt fails, the second answers.
    {
        EventCounter events;
        server.replies = {FakeHttpServer::answer("busy", 503), FakeHttpServer::answer("second")};
        QVERIFY(DownloadFile(url, answer.path()));
        QCOMPARE(server.targets.size(), 2);
        QCOMPARE(events.calls, 2);
        QCOMPARE(contents(answer.path()), QByteArray("second"));
    }
    // Two failures: false, after exactly two attempts.
    {
        EventCounter events;
        server.targets.clear();
        server.replies = {FakeHttpServer::answer("no", 500), FakeHttpServer::answer("no", 404),
                          FakeHttpServer::answer("never")};
        QVERIFY(!DownloadFile(url, answer.path()));
        QCOMPARE(server.targets.size(), 2);
        QCOMPARE(events.calls, 2);
        QCOMPARE(server.replies.size(), 1);
    }
    // A dropped connection is a failure too. (Qt's HTTP layer itself sends a
    // GET again once when the connection drops before any answer, so the
    // server may hear more requests than there are attempts.)
    {
        EventCounter events;
        server.targets.clear();
        server.replies.clear();
        server.fallback = FakeHttpServer::behave(Behaviour::Close);
        QVERIFY(!DownloadFile(url, answer.path()));
        QCOMPARE(events.calls, 2);
        QVERIFY(server.targets.size() >= 2);
    }
    // Nothing listening: false.
    QString gone;
    {
        const FakeHttpServer closed;
        gone = closed.origin() + QStringLiteral("/none");
    }
    QVERIFY(!DownloadFile(gone, answer.path()));
}

void TestTransport::everyRequestReachesTheServer()
{
    TestEnvironment env;
    FakeHttpServer server;
    const QString url =
        server.origin() + QStringLiteral("/Validator/GetProdCount.asp?DeveloperID=D");
    server.replies = {FakeHttpServer::answer("one"), FakeHttpServer::answer("two"),
                      FakeHttpServer::answer("new")};

    // The same URL twice: both requests reach the server, each into its own
    // answer file.
    const AnswerFile first;
    const AnswerFile second;
    QVERIFY(first.path() != second.path());
    QVERIFY(DownloadFile(url, first.path()));
    QVERIFY(DownloadFile(url, second.path()));
    QCOMPARE(server.targets.size(), 2);
    QCOMPARE(server.targets.at(0), QByteArray("/Validator/GetProdCount.asp?DeveloperID=D"));
    QCOMPARE(contents(first.path()), QByteArray("one"));
    QCOMPARE(contents(second.path()), QByteArray("two"));
    QVERIFY(server.heads.at(1).contains("\r\nCache-Control: no-cache"));

    // The answer replaces what the file held.
    writeFile(first.path(), "an older and much longer answer");
    QVERIFY(DownloadFile(url, first.path()));
    QCOMPARE(contents(first.path()), QByteArray("new"));

    // An empty body is an answer: the file is left empty.
    QVERIFY(DownloadFile(url, first.path()));
    QCOMPARE(contents(first.path()), QByteArray());

    // Not an HTTP URL: nothing is fetched.
    writeFile(second.path(), "kept");
    QVERIFY(!DownloadFile(QStringLiteral("file://") + first.path(), second.path()));
    QVERIFY(!DownloadFile(QStringLiteral("no url at all"), second.path()));
    QCOMPARE(contents(second.path()), QByteArray("kept"));
}

void TestTransport::refusedAnswers_data()
{
    QTest::addColumn<FakeHttpServer::Reply>("reply");
    QTest::addColumn<bool>("ok");

    QTest::newRow("404") << FakeHttpServer::answer("Not Found", 404) << false;
    QTest::newRow("500") << FakeHttpServer::answer("Server Error", 500) << false;
    QTest::newRow("204") << FakeHttpServer::answer(QByteArray(), 204) << true;
    QTest::newRow("largest accepted")
        << FakeHttpServer::answer(QByteArray(maxAnswerSize, 'a')) << true;
    QTest::newRow("one byte too many")
        << FakeHttpServer::answer(QByteArray(maxAnswerSize + 1, 'a')) << false;
    FakeHttpServer::Reply unannounced = FakeHttpServer::answer(QByteArray(maxAnswerSize + 1, 'a'));
    unannounced.withLength = false;
    QTest::newRow("too many without a length") << unannounced << false;
    FakeHttpServer::Reply announced = FakeHttpServer::answer("short");
    announced.withLength = false;
    announced.headers = "Content-Length: 99999999999\r\n";
    QTest::newRow("announced too large") << announced << false;
}

void TestTransport::refusedAnswers()
{
    QFETCH(FakeHttpServer::Reply, reply);
    QFETCH(bool, ok);
    TestEnvironment env;
    FakeHttpServer server;
    server.fallback = reply;
    const AnswerFile answer;
    writeFile(answer.path(), "before");
    QCOMPARE(DownloadFile(server.origin() + QStringLiteral("/a"), answer.path()), ok);
    QCOMPARE(server.targets.size(), ok ? 1 : 2);
    if (ok)
        QCOMPARE(QFileInfo(answer.path()).size(), reply.body.size());
    else
        QCOMPARE(contents(answer.path()), QByteArray("before"));
}

void TestTransport::redirects()
{
    TestEnvironment env;
    FakeHttpServer server;
    FakeHttpServer elsewhere;
    const AnswerFile answer;

    // Within the same server a redirect is followed.
    FakeHttpServer::Reply moved = FakeHttpServer::answer(QByteArray(), 302);
    moved.headers = "Location: /final\r\n";
    server.replies = {moved, FakeHttpServer::answer("final")};
    QVERIFY(DownloadFile(server.origin() + QStringLiteral("/first"), answer.path()));
    QCOMPARE(server.targets, QList<QByteArray>({"/first", "/final"}));
    QCOMPARE(contents(answer.path()), QByteArray("final"));

    // To another server it is not: the download fails and the other server
    // hears nothing.
    server.targets.clear();
    moved.headers = "Location: " + elsewhere.origin().toLatin1() + "/final\r\n";
    server.fallback = moved;
    elsewhere.fallback = FakeHttpServer::answer("elsewhere");
    QVERIFY(!DownloadFile(server.origin() + QStringLiteral("/first"), answer.path()));
    QCOMPARE(server.targets.size(), 2);
    QVERIFY(elsewhere.targets.isEmpty());
}

void TestTransport::deadlineEndsSlowServers_data()
{
    QTest::addColumn<int>("behaviour");
    QTest::newRow("accepts and never answers") << int(Behaviour::Hang);
    QTest::newRow("drips one byte at a time") << int(Behaviour::Drip);
}

void TestTransport::deadlineEndsSlowServers()
{
    QFETCH(int, behaviour);
    TestEnvironment env;
    FakeHttpServer server;
    server.fallback = FakeHttpServer::behave(Behaviour(behaviour));
    const AnswerFile answer;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!DownloadFile(server.origin() + QStringLiteral("/slow"), answer.path()));
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(server.targets.size(), 2);
    // Two attempts of 800 ms each, with room for a slow machine.
    QVERIFY2(elapsed >= 1500 && elapsed < 4000, qPrintable(QString::number(elapsed)));
    qputenv("VARNELL_HTTP_TIMEOUT_MS", "soon");
    QCOMPARE(attemptDeadline(), std::chrono::milliseconds(15000));
}

void TestTransport::proxyFromEnvironment()
{
    TestEnvironment env;
    FakeHttpServer proxy;
    FakeHttpServer direct;
    proxy.fallback = FakeHttpServer::answer("through the proxy");
    direct.fallback = FakeHttpServer::answer("direct");
    qputenv("http_proxy", proxy.origin().toLatin1());

    const QString central = CentralBaseURL() + QStringLiteral("ConnTest.txt");
    if (!goesToProxy(central, proxy.port()))
        QFAIL("http_proxy is not honoured; no request is sent");
    const AnswerFile answer;
    QVERIFY(DownloadFile(central, answer.path()));
    QCOMPARE(contents(answer.path()), QByteArray("through the proxy"));
    QCOMPARE(proxy.targets, QList<QByteArray>({central.toLatin1()}));
    QVERIFY(proxy.heads.first().contains(QByteArray("\r\nHost: " + centralHost().toLatin1())));

    // A host named in no_proxy is reached directly.
    proxy.targets.clear();
    qputenv("no_proxy", "localhost,127.0.0.1");
    QVERIFY(DownloadFile(direct.origin() + QStringLiteral("/ConnTest.txt"), answer.path()));
    QCOMPARE(contents(answer.path()), QByteArray("direct"));
    QCOMPARE(direct.targets, QList<QByteArray>({"/ConnTest.txt"}));
    QVERIFY(proxy.targets.isEmpty());
}

void TestTransport::answerLines_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::newRow("empty") << QByteArray() << QList<QByteArray>();
    QTest::newRow("one empty line") << QByteArray("\r\n") << QList<QByteArray>({""});
    QTest::newRow("no line end") << QByteArray("7") << QList<QByteArray>({"7"});
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QList<QByteArray>({"a", "b"});
    QTest::newRow("CR alone and LF alone")
        << QByteArray("a\rb\nc") << QList<QByteArray>({"a", "b", "c"});
    QTest::newRow("LF CR is two ends") << QByteArray("a\n\rb") << QList<QByteArray>({"a", "", "b"});
    QTest::newRow("blank lines kept")
        << QByteArray("a\r\n\r\n\r\nb") << QList<QByteArray>({"a", "", "", "b"});
    QTest::newRow("bytes kept") << QByteArray("\xdf\x80\x00z", 4)
                                << QList<QByteArray>({QByteArray("\xdf\x80\x00z", 4)});
}

void TestTransport::answerLines()
{
    QFETCH(QByteArray, answer);
    QFETCH(QList<QByteArray>, lines);
    QCOMPARE(modProdUpdate::answerLines(answer), lines);
}

void TestTransport::queryValues_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("sent");
    QTest::newRow("unreserved kept")
        << QStringLiteral("AZaz09-._~") << QStringLiteral("AZaz09-._~");
    QTest::newRow("space") << QStringLiteral("Deluxe edition")
                           << QStringLiteral("Deluxe%20edition");
    QTest::newRow("delimiters") << QStringLiteral("a&b#c+d%e=f?g/h")
                                << QStringLiteral("a%26b%23c%2Bd%25e%3Df%3Fg%2Fh");
    QTest::newRow("Windows-1252 bytes")
        << QStringLiteral("\u00e9\u20ac\u00df") << QStringLiteral("%E9%80%DF");
    QTest::newRow("empty") << QString() << QString();
}

void TestTransport::queryValues()
{
    QFETCH(QString, value);
    QFETCH(QString, sent);
    QCOMPARE(queryValue(value), sent);
}

QTEST_GUILESS_MAIN(TestTransport)
#include "tst_transport.moc"
