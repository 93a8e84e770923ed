#include "store/StoreFile.h"
#include "store/modPublic.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <sqlite3.h>

namespace {

// Builds a store by hand, for shapes the installer never makes.
void makeStore(const QString &path, const QByteArray &databaseKey, const QStringList &statements)
{
    QFile::remove(path);
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_key(db, databaseKey.constData(), int(databaseKey.size())), SQLITE_OK);
    for (const QString &sql : statements) {
        char *error = nullptr;
        const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error);
        QVERIFY2(rc == SQLITE_OK, error);
    }
    sqlite3_close(db);
}

const QByteArray storeKey = "7Hq2mT4xK9c";
const QString createTable = QStringLiteral(
    "CREATE TABLE tblEncryptKey (ID INTEGER PRIMARY KEY, DeveloperKey TEXT, EncryptionKey TEXT, "
    "Password TEXT)");

struct Read
{
    bool ok;
    QString developer, encryption, password;
};

bool write(const char *developer, const char *encryption, const char *password = "")
{
    return modPublic::WriteSettings(QString::fromUtf8(developer), QString::fromUtf8(encryption),
                                    QString::fromUtf8(password));
}

Read readWithSentinels()
{
    Read r{false, QStringLiteral("d?"), QStringLiteral("e?"), QStringLiteral("p?")};
    r.ok = modPublic::ReadSettings(r.developer, r.encryption, r.password);
    return r;
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void readWriteKeepsValuesExactly();
    void nullColumnsAndPositions();
    void unusableStoresChangeNothing();
    void exclusiveOpen();
    void interruptedWriteAndSpecialFiles();
    void installerCreatesAndReplaces();
    void serverPath_data();
    void serverPath();
};

void TestSettingsStore::readWriteKeepsValuesExactly()
{
    TestEnvironment env;
    env.createStore(QStringLiteral("DEV"), QStringLiteral("ENC"), QString());
    QCOMPARE(unixMode(env.storePath()), 0600);
    const QString dev = QStringLiteral("  ABCDEFGHIJKLhostyvarnz ");
    const QString enc = QStringLiteral(" key with blanks\t");
    const QString pwd = QStringLiteral("Pässwörd €");
    QVERIFY(modPublic::WriteSettings(dev, enc, pwd));
    Read r = readWithSentinels();
    QVERIFY(r.ok);
    QCOMPARE(r.developer, dev);
    QCOMPARE(r.encryption, enc);
    QCOMPARE(r.password, pwd);

    QVERIFY(modPublic::WriteSettings(QString(), QString(), QString()));
    r = readWithSentinels();
    QVERIFY(r.ok);
    QCOMPARE(r.developer, QString());
    QCOMPARE(r.password, QString());
}

void TestSettingsStore::nullColumnsAndPositions()
{
    TestEnvironment env;
    // Reading goes by position (the first column is never read), writing by name.
    makeStore(env.storePath(), storeKey,
              {QStringLiteral("CREATE TABLE tblEncryptKey (Unused TEXT, DeveloperKey TEXT, "
                              "EncryptionKey TEXT, Password TEXT)"),
               QStringLiteral("INSERT INTO tblEncryptKey VALUES ('x', 'DEV', NULL, 'pw')"),
               QStringLiteral("INSERT INTO tblEncryptKey VALUES ('y', 'second', 'row', '')")});
    Read r = readWithSentinels();
    QVERIFY(r.ok);
    QCOMPARE(r.developer, QStringLiteral("DEV"));
    QCOMPARE(r.encryption, QString());
    QCOMPARE(r.password, QStringLiteral("pw"));

    // Only the first record is written.
    QVERIFY(write("D1", "E1"));
    r = readWithSentinels();
    QCOMPARE(r.developer, QStringLiteral("D1"));
    QCOMPARE(r.encryption, QStringLiteral("E1"));

    // A table without the password column: the values before it are read,
    // the password keeps the caller's value, and the result is false.
    makeStore(env.storePath(), storeKey,
              {QStringLiteral("CREATE TABLE tblEncryptKey (ID INTEGER, DeveloperKey TEXT, "
                              "EncryptionKey TEXT)"),
               QStringLiteral("INSERT INTO tblEncryptKey VALUES (1, 'DEV', 'ENC')")});
    r = readWithSentinels();
    QVERIFY(!r.ok);
    QCOMPARE(r.developer, QStringLiteral("DEV"));
    QCOMPARE(r.encryption, QStringLiteral("ENC"));
    QCOMPARE(r.password, QStringLiteral("p?"));
    QVERIFY(!write("a", "b", "c"));
}

void TestSettingsStore::unusableStoresChangeNothing()
{
    TestEnvironment env;
    Read r = readWithSentinels();
    QVERIFY(!r.ok);
    QCOMPARE(r.developer, QStringLiteral("d?"));
    QVERIFY(!write("a", "b"));
    QVERIFY(!QFile::exists(env.storePath())); // never created by the program

    makeStore(env.storePath(), storeKey, {createTable});
    r = readWithSentinels();
    QVERIFY(!r.ok);
    QCOMPARE(r.developer, QStringLiteral("d?"));
    QCOMPARE(r.encryption, QStringLiteral("e?"));
    QCOMPARE(r.password, QStringLiteral("p?"));
    QVERIFY(!write("a", "b"));
    QVERIFY(!readWithSentinels().ok); // the write added no record

    makeStore(env.storePath(), "another password",
              {createTable, QStringLiteral("INSERT INTO tblEncryptKey VALUES (1, 'a', 'b', 'c')")});
    const QByteArray keyedElsewhere = contents(env.storePath());
    QVERIFY(!readWithSentinels().ok);
    QVERIFY(!write("x", "y", "z"));
    QCOMPARE(contents(env.storePath()), keyedElsewhere);

    env.createStore(QStringLiteral("DEV"), QStringLiteral("ENC"));
    const QByteArray good = contents(env.storePath());
    const QByteArray damaged[] = {good.left(good.size() / 2), QByteArray(),
                                  QByteArray(4096, '\xA5'), "SQLite format 3" + QByteArray(100, 0)};
    for (const QByteArray &bytes : damaged) {
        QFile file(env.storePath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        QVERIFY(!readWithSentinels().ok);
        QVERIFY(!write("x", "y"));
        QCOMPARE(contents(env.storePath()), bytes);
    }

    QFile::remove(env.storePath());
    QVERIFY(QDir().mkpath(env.storePath())); // a folder where the file should be
    QVERIFY(!readWithSentinels().ok);
}

void TestSettingsStore::exclusiveOpen()
{
    TestEnvironment env;
    env.createStore(QStringLiteral("DEV"), QStringLiteral("ENC"));
    {
        const StoreFile::ExclusiveLock other(env.storePath());
        QVERIFY(other.held());
        QVERIFY(!readWithSentinels().ok);
        QVERIFY(!write("x", "y"));
        // The lock holds against another process as well.
        QProcess flock;
        flock.start(QStringLiteral("flock"),
                    {QStringLiteral("-n"), env.storePath(), QStringLiteral("true")});
        if (flock.waitForFinished(10000))
            QCOMPARE(flock.exitCode(), 1);
    }
    const Read r = readWithSentinels();
    QVERIFY(r.ok);
    QCOMPARE(r.encryption, QStringLiteral("ENC"));
}

void TestSettingsStore::interruptedWriteAndSpecialFiles()
{
    TestEnvironment env;
    env.createStore(QStringLiteral("DEV"), QStringLiteral("ENC"));
    // A write cut off half-way (the process killed) leaves its journal beside
    // the store; the next read rolls it back instead of failing for good.
    const QString journal = env.storePath() + QStringLiteral("-journal");
    {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(env.storePath()).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_key(db, storeKey.constData(), int(storeKey.size())), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db,
                              "PRAGMA synchronous = OFF; BEGIN; "
                              "UPDATE tblEncryptKey SET DeveloperKey = 'half written'",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        QVERIFY(QFile::copy(journal, journal + QStringLiteral(".left")));
        sqlite3_close(db);
        QVERIFY(!QFile::exists(journal));
        QVERIFY(QFile::rename(journal + QStringLiteral(".left"), journal));
    }
    Read r = readWithSentinels();
    QVERIFY(r.ok);
    QCOMPARE(r.developer, QStringLiteral("DEV"));
    QVERIFY(write("D2", "E2"));
    QCOMPARE(readWithSentinels().developer, QStringLiteral("D2"));

    // A FIFO or a device in the store's place is refused at once, not waited on.
    QFile::remove(env.storePath());
    QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {env.storePath()}), 0);
    QVERIFY(!readWithSentinels().ok);
    QVERIFY(!write("x", "y"));
    QVERIFY(!StoreFile::ExclusiveLock(QStringLiteral("/dev/null")).held());
}

void TestSettingsStore::installerCreatesAndReplaces()
{
    TestEnvironment env;
    const QString nested = env.path(QStringLiteral("a/b/vemtu.sys"));
    QVERIFY(
        StoreFile::create(nested, QStringLiteral("D"), QStringLiteral("E"), QString(), false).ok);
    const StoreFile::Result again =
        StoreFile::create(nested, QStringLiteral("D2"), QStringLiteral("E2"), QString(), false);
    QVERIFY(!again.ok);
    QVERIFY(again.error.contains(QStringLiteral("already exists")));

    env.createStore(QStringLiteral("D"), QStringLiteral("E"), QStringLiteral("P"));
    {
        const StoreFile::ExclusiveLock busy(env.storePath());
        QVERIFY(!StoreFile::create(env.storePath(), QStringLiteral("D2"), QStringLiteral("E2"),
                                   QString(), true)
                     .ok);
    }
    QVERIFY(StoreFile::create(env.storePath(), QStringLiteral("D2"), QStringLiteral("E2"),
                              QString(), true)
                .ok);
    const Read r = readWithSentinels();
    QVERIFY(r.ok);
    QCOMPARE(r.developer, QStringLiteral("D2"));
    QCOMPARE(r.password, QString());
    QCOMPARE(QDir(env.systemDir()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("vemtu.sys")});

    // Something other than a file in the store's place is left alone.
    const QString fifo = env.path(QStringLiteral("fifo.sys"));
    QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {fifo}), 0);
    const StoreFile::Result special =
        StoreFile::create(fifo, QStringLiteral("D"), QStringLiteral("E"), QString(), true);
    QCOMPARE(special.error, fifo + QStringLiteral(" is not a regular file."));
    QVERIFY(!QFileInfo(fifo).isFile());
}

void TestSettingsStore::serverPath_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("path");
    QTest::newRow("com") << QStringLiteral("ABCDEFGHIJKLHostYPathZ")
                         << QStringLiteral("host.com/path/");
    QTest::newRow("ca") << QStringLiteral("ABCDEFGHIJKLhostxpathz")
                        << QStringLiteral("host.ca/path/");
    QTest::newRow("code letters in a word")
        << QStringLiteral("123456789012boxyz") << QStringLiteral("bo.ca/.com//");
    QTest::newRow("12 characters") << QStringLiteral("ABCDEFGHIJKL") << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("first 12 ignored") << QStringLiteral("xyzxyzxyzxyzwww") << QStringLiteral("www");
}

void TestSettingsStore::serverPath()
{
    QFETCH(QString, key);
    QFETCH(QString, path);
    QCOMPARE(modPublic::GetServerPath(key), path);
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
