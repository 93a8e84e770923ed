#include "common/PendingEvents.h"
#include "gateway/Amount.h"
#include "gateway/ProductQueries.h"
#include "gateway/ProductRecord.h"
#include "gateway/modProdUpdate.h"
#include "store/modPublic.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <unistd.h>

using namespace modProdUpdate;
using Behaviour = FakeHttpServer::Behaviour;

namespace {

// The store's developer key, "DEV&KEY+1 é", as a query value.
const QByteArray sentKey = "DEV%26KEY%2B1%20%E9";

QByteArray central(const QByteArray &rest)
{
    return CentralBaseURL().toLatin1() + rest;
}

FakeHttpServer::Reply product(const QByteArray &lastPiece)
{
    return FakeHttpServer::answer(
        "CPID=3\xdfPDesc=Tom & Jerry\xdf\xdf\xdf\xdf\xdf\xdf\xdf\xdf\xdf" + lastPiece + "\xdf\r\n");
}

} // namespace

// The download transport against a fake server on 127.0.0.1, and the product
// requests, which reach the central host's real URLs through it as a proxy.
class TestRequests : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void answerFiles();
    void downloadFile();
    void productQueries();
    void updateProduct();

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FakeHttpServer> m_server;
    int m_events = 0;
};

void TestRequests::init()
{
    for (const char *name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(name);
    m_env = std::make_unique<TestEnvironment>();
    m_env->createStore(QStringLiteral("DEV&KEY+1 \u00e9"), QStringLiteral("enc"));
    m_server = std::make_unique<FakeHttpServer>();
    m_events = 0;
    PendingEvents::setHandler([this] { ++m_events; });
}

void TestRequests::cleanup()
{
    qunsetenv("VARNELL_HTTP_TIMEOUT_MS");
    PendingEvents::setHandler({});
    m_server.reset();
    m_env.reset();
}

void TestRequests::answerFiles()
{
    const QString folder = GetTempDir();
    QCOMPARE(folder, m_env->path(QStringLiteral("tmp/varnell-%1/").arg(::geteuid())));
    QCOMPARE(unixMode(folder), 0700);

    const QString earlier = GetTempFile();
    QString held;
    {
        const AnswerFile answer;
        held = answer.path();
        QVERIFY(held != earlier);
        for (const QString &path : {earlier, held}) {
            QVERIFY2(path.startsWith(folder + QLatin1String("VRD")), qPrintable(path));
            QCOMPARE(unixMode(path), 0600);
        }
    }
    // An answer file goes with its holder; other files stay.
    QVERIFY(!QFile::exists(held));
    QVERIFY(QFile::exists(earlier));

    // Files that runs which have ended left behind are swept; others stay.
    QProcess ended;
    ended.start(QStringLiteral("/bin/true"), QStringList());
    QVERIFY(ended.waitForStarted());
    const QString gone = folder + QStringLiteral("VRD%1-abcdEFGH").arg(ended.processId());
    QVERIFY(ended.waitForFinished());
    const QString living = folder + QStringLiteral("VRD%1-abcdEFGH").arg(::getppid());
    const QString notOurs = folder + QStringLiteral("notes.txt");
    for (const QString &path : {gone, living, notOurs})
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    sweepStaleAnswerFiles();
    QVERIFY(!QFile::exists(gone));
    for (const QString &path : {earlier, living, notOurs})
        QVERIFY2(QFile::exists(path), qPrintable(path));

    // A folder that is not ours alone (a link someone planted, a file) is
    // not used, and the failure says what is wrong with it.
    const QString planted = QStringLiteral("varnell-%1").arg(::geteuid());
    qputenv("TMPDIR", QFile::encodeName(m_env->path(QStringLiteral("config"))));
    QVERIFY(QFile::link(m_env->path(QStringLiteral("data")),
                        m_env->path(QStringLiteral("config/") + planted)));
    qputenv("TMPDIR", QFile::encodeName(m_env->path(QStringLiteral("data"))));
    QVERIFY(QFile(m_env->path(QStringLiteral("data/") + planted)).open(QIODevice::WriteOnly));
    for (const char *folder : {"config", "data"}) {
        qputenv("TMPDIR", QFile::encodeName(m_env->path(QString::fromLatin1(folder))));
        QCOMPARE(GetTempFile(), QString());
        QVERIFY(!DownloadFile(QStringLiteral("http://127.0.0.1:9/"), GetTempFile()));
        const QString why = lastFailure();
        QVERIFY2(
            why.contains(m_env->path(QString::fromLatin1(folder) + QLatin1Char('/') + planted)) &&
                why.contains(QLatin1String(qstrcmp(folder, "config") == 0 ? "is a symbolic link"
                                                                          : "is not a folder")),
            qPrintable(why));
    }
}

void TestRequests::downloadFile()
{
    const QString url = m_server->origin() + QStringLiteral("/GetProdCount.asp?DeveloperID=D");
    const AnswerFile answer;
    // The same URL twice reaches the server twice; the second time its first
    // attempt fails and the retry's answer replaces what the file held.
    m_server->replies = {FakeHttpServer::answer("the first, longer answer"),
                         FakeHttpServer::answer("busy", 503), FakeHttpServer::answer("second")};
    QVERIFY(DownloadFile(url, answer.path()));
    QVERIFY(DownloadFile(url, answer.path()));
    QCOMPARE(answer.readAll(), QByteArray("second"));
    QCOMPARE(m_server->requests.size(), 3);

    // Two failures: false, after exactly two attempts, whatever broke them;
    // a connection closed before the answer is not sent again underneath.
    m_server->replies = {FakeHttpServer::answer("no", 500), FakeHttpServer::answer("no", 404)};
    QVERIFY(!DownloadFile(url, answer.path()));
    QCOMPARE(m_server->requests.size(), 5);
    QCOMPARE(m_events, 5); // pending events before every attempt
    QCOMPARE(lastFailure(), QStringLiteral("the server answered with status 404"));
    m_server->fallback = FakeHttpServer::behave(Behaviour::Close);
    QVERIFY(!DownloadFile(url, answer.path()));
    QCOMPARE(m_server->requests.size(), 7);

    // An answer cut short of its announced length or of its last chunk is
    // no answer, however it began.
    for (const QByteArray &cut :
         {QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nRequest Successful"),
          QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n42\r\n")}) {
        m_server->fallback = {.body = cut, .behaviour = Behaviour::Raw};
        QVERIFY(!DownloadFile(url, answer.path()));
        QVERIFY2(lastFailure().contains(QLatin1String("before the whole answer")),
                 qPrintable(lastFailure()));
    }
    QCOMPARE(answer.readAll(), QByteArray("second"));
    QCOMPARE(m_server->requests.size(), 11);

    // An answer beyond the limit fails (twice) and leaves the file as it
    // was; an empty one is an answer.
    for (const QByteArray &body :
         {QByteArray(maxAnswerSize + 1, 'a'), QByteArray(), QByteArray(maxAnswerSize, 'a')}) {
        m_server->fallback = FakeHttpServer::answer(body);
        const bool ok = body.size() <= maxAnswerSize;
        QCOMPARE(DownloadFile(url, answer.path()), ok);
        QCOMPARE(answer.readAll(), ok ? body : QByteArray("second"));
    }

    // A redirect to another host is not followed.
    FakeHttpServer elsewhere;
    m_server->fallback = FakeHttpServer::answer({}, 302);
    m_server->fallback.headers = "Location: " + elsewhere.origin().toLatin1() + "/x\r\n";
    QVERIFY(!DownloadFile(url, answer.path()));
    QCOMPARE(m_server->requests.size(), 17);
    QVERIFY(elsewhere.requests.isEmpty());

    // A server that accepts and never answers, and one that drips a byte at
    // a time: two attempts of 800 ms each, with room for a loaded machine.
    qputenv("VARNELL_HTTP_TIMEOUT_MS", "800");
    for (const Behaviour behaviour : {Behaviour::Hang, Behaviour::Drip}) {
        m_server->fallback = FakeHttpServer::behave(behaviour);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!DownloadFile(url, answer.path()));
        QVERIFY2(clock.elapsed() < 12000, qPrintable(QString::number(clock.elapsed())));
    }
    QCOMPARE(m_server->requests.size(), 21);
}

void TestRequests::productQueries()
{
    QVERIFY(m_server->useAsProxy());
    ProductRecord record;
    m_server->replies = {product("SysLock=1"), product("Colour=blue"), product("SysLock=0\xdf"),
                         product("SysLock=False"), FakeHttpServer::answer("  7  \r\nmore")};
    m_server->fallback = FakeHttpServer::answer("x", 503);
    QVERIFY(GetProductInfo(10, record));
    QCOMPARE(m_events, 2); // before the attempt, and once more after the download
    QCOMPARE(record.description, QStringLiteral("Tom & Jerry"));
    QVERIFY(IsSystemLocked());
    // An answer without SysLock keeps the lock; a refused one touches nothing.
    QVERIFY(GetProductInfo(1, record));
    QVERIFY(IsSystemLocked());
    QVERIFY(!GetProductInfo(2, record));
    QVERIFY(IsSystemLocked());
    QVERIFY(GetProductInfo(3, record));
    QVERIFY(!IsSystemLocked());
    // The key is read from the store at each request.
    QVERIFY(modPublic::WriteSettings(QStringLiteral("NEWKEY"), QStringLiteral("enc"), QString()));
    QCOMPARE(GetProductCount(), qint16(7));
    QCOMPARE(GetProductCount(), qint16(-1)); // unreachable
    QVERIFY(!GetProductInfo(4, record));
    QCOMPARE(m_server->targets().first(),
             central("GetProductInfo.asp?DeveloperID=") + sentKey + "&ProdCount=10");
    QCOMPARE(m_server->targets().at(4), central("GetProdCount.asp?DeveloperID=NEWKEY"));
    // No answer file outlives its request.
    QCOMPARE(QDir(GetTempDir()).entryList(QDir::Files), QStringList());
}

void TestRequests::updateProduct()
{
    QVERIFY(m_server->useAsProxy());
    // Whatever the server answers, an error text included, is a success.
    m_server->replies = {FakeHttpServer::answer("Error: not saved")};
    m_server->fallback = FakeHttpServer::answer("Error", 500);
    QVERIFY(UpdateProduct(4, *Amount::parse(QStringLiteral("19.95")),
                          QStringLiteral("Deluxe edition"), true, false, 0, 1,
                          QStringLiteral("2.1-b_c~d")));
    QVERIFY(!UpdateProduct(12, *Amount::parse(QStringLiteral("$1,234.50")),
                           QStringLiteral("Tom & Jerry #1 + 50% off/day=\u20ac?"), false, true, 3,
                           2, QStringLiteral("10")));
    const auto sent = [](const char *pairs) -> QByteArray {
        return central("ProductUpdate.asp?") + pairs + "&DeveloperID=" + sentKey;
    };
    const QByteArray second =
        sent("CPID=12&Cost=1234.5&PO=False&LP=True&CurType=3&SM=2&CurVer=10&"
             "PDesc=Tom%20%26%20Jerry%20%231%20%2B%2050%25%20off%2Fday%3D%80%3F");
    QCOMPARE(m_server->targets(), QList<QByteArray>({sent("CPID=4&Cost=19.95&PO=True&LP=False&"
                                                          "CurType=0&SM=1&CurVer=2.1-b_c~d&"
                                                          "PDesc=Deluxe%20edition"),
                                                     second, second}));
}

QTEST_GUILESS_MAIN(TestRequests)
#include "tst_requests.moc"
