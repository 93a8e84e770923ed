#include "common/SafeFile.h"
#include "store/KeyDerivation.h"
#include "store/RegistrySettings.h"
#include "store/StoreDatabase.h"
#include "store/StoreFile.h"
#include "store/modPublic.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>

#include <optional>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

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
    void failuresSayWhyAndChangeNothing_data();
    void failuresSayWhyAndChangeNothing();
    void exclusiveOpen();
    void interruptedWriteRollsBack();
    void installerCreatesAndReplaces();
    void cipherSettingsStated();
    void keyDerivation_data();
    void keyDerivation();
    void leftoversOfAKilledInstaller();
    void placementFile_data();
    void placementFile();
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
    // A sticky folder that others may write to is fine: they cannot replace
    // the store in it.
    QVERIFY(::chmod(QFile::encodeName(env.systemDir()).constData(), 01777) == 0);
    QVERIFY(readWithSentinels().ok);
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

enum class Shape
{
    Missing,
    Folder,
    Fifo,
    Locked,
    OtherKey,
    Damaged,
    Empty,
    NoRecord,
    LooseFile,
    LooseFolder,
    OtherOwner,
};

void TestSettingsStore::failuresSayWhyAndChangeNothing_data()
{
    QTest::addColumn<Shape>("shape");
    QTest::addColumn<QString>("cause");
    QTest::newRow("missing") << Shape::Missing << QStringLiteral("No such file or directory");
    QTest::newRow("folder") << Shape::Folder << QStringLiteral("is a folder");
    QTest::newRow("FIFO") << Shape::Fifo << QStringLiteral("not a regular file");
    QTest::newRow("locked") << Shape::Locked
                            << QStringLiteral("the file is locked by another process");
    QTest::newRow("other key")
        << Shape::OtherKey
        << QStringLiteral("the file is no settings store, or one made with another key");
    QTest::newRow("cut in half") << Shape::Damaged
                                 << QStringLiteral("database disk image is malformed");
    QTest::newRow("empty file") << Shape::Empty << QStringLiteral("no such table: tblEncryptKey");
    QTest::newRow("no record") << Shape::NoRecord
                               << QStringLiteral("the settings table holds no record");
    // A store others could have written or swapped in steers requests
    // elsewhere: refused.
    QTest::newRow("writable by others")
        << Shape::LooseFile
        << QStringLiteral("the store can be written by other users (mode 0666)");
    QTest::newRow("folder writable by others")
        << Shape::LooseFolder
        << QStringLiteral("its folder can be written by other users (mode 0777)");
    QTest::newRow("another user's") << Shape::OtherOwner
                                    << QStringLiteral("the store belongs to another user (uid "
                                                      "65534)");
}

void TestSettingsStore::failuresSayWhyAndChangeNothing()
{
    QFETCH(Shape, shape);
    QFETCH(QString, cause);
    TestEnvironment env;
    const QString path = env.storePath();
    std::optional<StoreFile::ExclusiveLock> otherInstance;
    switch (shape) {
    case Shape::Missing:
        break;
    case Shape::Folder:
        QVERIFY(QDir().mkpath(path));
        break;
    case Shape::Fifo:
        QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {path}), 0);
        break;
    case Shape::Locked:
        env.createStore(QStringLiteral("DEV"), QStringLiteral("ENC"));
        otherInstance.emplace(path);
        QVERIFY(otherInstance->held());
        break;
    case Shape::OtherKey:
        makeStore(
            path, "another password",
            {createTable, QStringLiteral("INSERT INTO tblEncryptKey VALUES (1, 'a', 'b', 'c')")});
        break;
    case Shape::Damaged:
        env.createStore(QStringLiteral("DEV"), QStringLiteral("ENC"));
        QVERIFY(QFile::resize(path, QFileInfo(path).size() / 2));
        break;
    case Shape::Empty:
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        break;
    case Shape::NoRecord:
        makeStore(path, storeKey, {createTable});
        break;
    case Shape::LooseFile:
        env.createStore(QStringLiteral("DEV"), QStringLiteral("ENC"));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0666) == 0);
        break;
    case Shape::LooseFolder:
        env.createStore(QStringLiteral("DEV"), QStringLiteral("ENC"));
        QVERIFY(::chmod(QFile::encodeName(env.systemDir()).constData(), 0777) == 0);
        break;
    case Shape::OtherOwner:
        if (::geteuid() != 0)
            QSKIP("handing a file to another user needs root");
        env.createStore(QStringLiteral("DEV"), QStringLiteral("ENC"));
        QVERIFY(::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0);
        break;
    }
    // A FIFO is never opened here: that would wait for a writer.
    const auto bytes = [&path] {
        return QFileInfo(path).isFile() ? contents(path) : QByteArray("not a file");
    };
    const QByteArray before = bytes();

    QString why;
    Read r{false, QStringLiteral("d?"), QStringLiteral("e?"), QStringLiteral("p?")};
    QVERIFY(!modPublic::ReadSettings(r.developer, r.encryption, r.password, &why));
    QCOMPARE(why, path + QStringLiteral(": ") + cause);
    QCOMPARE(r.developer + r.encryption + r.password, QStringLiteral("d?e?p?"));
    why.clear();
    QVERIFY(!modPublic::WriteSettings(QStringLiteral("x"), QStringLiteral("y"), QString(), &why));
    QCOMPARE(why, path + QStringLiteral(": ") + cause);
    // Nothing written, nothing added, and never a store made by the program.
    QCOMPARE(bytes(), before);
    QCOMPARE(QFileInfo::exists(path), shape != Shape::Missing);
}

void TestSettingsStore::exclusiveOpen()
{
    TestEnvironment env;
    // The key prepared in the background at start-up takes no lock and
    // waits on nothing: a FIFO or a missing file in the store's place is
    // passed over.
    QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {env.path(QStringLiteral("fifo"))}), 0);
    for (const char *path : {"fifo", "missing"})
        StoreDatabase::KeyPreparation(env.path(QString::fromLatin1(path)));
    env.createStore(QStringLiteral("DEV"), QStringLiteral("ENC"));
    {
        const StoreDatabase::KeyPreparation prepared(env.storePath());
        const StoreFile::ExclusiveLock held(env.storePath());
        QVERIFY(held.held());
    }
    QVERIFY(readWithSentinels().ok);
    {
        const StoreFile::ExclusiveLock other(env.storePath());
        QVERIFY(other.held());
        QVERIFY(!readWithSentinels().ok);
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

void TestSettingsStore::interruptedWriteRollsBack()
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
}

void TestSettingsStore::installerCreatesAndReplaces()
{
    TestEnvironment env;
    // The folders it makes are 0755 at most, whatever the umask; one that is
    // there already is left as it is, and one that others may write to is
    // refused.
    const QString nested = env.path(QStringLiteral("a/b/vemtu.sys"));
    const QString loose = env.path(QStringLiteral("loose"));
    QVERIFY(QDir().mkpath(loose));
    QVERIFY(::chmod(QFile::encodeName(loose).constData(), 0777) == 0);
    const mode_t umask = ::umask(0);
    const bool made =
        StoreFile::create(nested, QStringLiteral("D"), QStringLiteral("E"), QString(), false).ok;
    const StoreFile::Result inLoose =
        StoreFile::create(loose + QStringLiteral("/vemtu.sys"), QStringLiteral("D"),
                          QStringLiteral("E"), QString(), false);
    ::umask(umask);
    QVERIFY(made);
    QCOMPARE(inLoose.error,
             QStringLiteral("Cannot make the settings store in %1: the folder can be written by "
                            "other users (mode 0777).")
                 .arg(loose));
    QCOMPARE(
        QStringList({QString::number(unixMode(env.path(QStringLiteral("a"))), 8),
                     QString::number(unixMode(env.path(QStringLiteral("a/b"))), 8),
                     QString::number(unixMode(nested), 8), QString::number(unixMode(loose), 8)}),
        QStringList({QStringLiteral("755"), QStringLiteral("755"), QStringLiteral("600"),
                     QStringLiteral("777")}));
    const StoreFile::Result again =
        StoreFile::create(nested, QStringLiteral("D2"), QStringLiteral("E2"), QString(), false);
    QVERIFY(!again.ok);
    QVERIFY(again.error.contains(QStringLiteral("already exists")));

    env.createStore(QStringLiteral("D"), QStringLiteral("E"), QStringLiteral("P"));
    QCOMPARE(readWithSentinels().developer, QStringLiteral("D"));
    {
        const StoreFile::ExclusiveLock busy(env.storePath());
        QCOMPARE(StoreFile::create(env.storePath(), QStringLiteral("D2"), QStringLiteral("E2"),
                                   QString(), true)
                     .error,
                 QStringLiteral("Cannot replace the settings store %1: the file is locked by "
                                "another process.")
                     .arg(env.storePath()));
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

namespace {

// Runs statements on a connection keyed with the store's password and
// nothing else; the first value of the last one's first row, or the error.
QString plainConnection(const QString &path, const QStringList &statements)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    const auto close = qScopeGuard([db] { sqlite3_close(db); });
    if (sqlite3_key(db, storeKey.constData(), int(storeKey.size())) != SQLITE_OK)
        return QStringLiteral("not keyed");
    QString value;
    for (const QString &sql : statements) {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
            return QString::fromUtf8(sqlite3_errmsg(db));
        const int step = sqlite3_step(stmt);
        value =
            step == SQLITE_ROW
                ? QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)))
                : QString();
        sqlite3_finalize(stmt);
        if (step != SQLITE_ROW && step != SQLITE_DONE)
            return QString::fromUtf8(sqlite3_errmsg(db));
    }
    return value;
}

void setLibraryDefaults(int pageSize, int kdfIterations, bool hmac)
{
    plainConnection(QStringLiteral(":memory:"),
                    {QStringLiteral("PRAGMA cipher_default_page_size = %1").arg(pageSize),
                     QStringLiteral("PRAGMA cipher_default_kdf_iter = %1").arg(kdfIterations),
                     QStringLiteral("PRAGMA cipher_default_use_hmac = %1")
                         .arg(QLatin1String(hmac ? "ON" : "OFF"))});
}

} // namespace

void TestSettingsStore::cipherSettingsStated()
{
    // A store made as stores were made before, with the library's plain
    // settings (those of SQLCipher 3).
    TestEnvironment env;
    makeStore(
        env.storePath(), storeKey,
        {createTable, QStringLiteral("INSERT INTO tblEncryptKey VALUES (1, 'OLD', 'E', '')")});
    // A release of the library whose defaults differ, as later ones do: the
    // old store still reads and writes, and a store made now is made with
    // the settings of the old ones, so that a connection stating them, and
    // nothing else, reads it.
    setLibraryDefaults(4096, 4000, false);
    const auto restore = qScopeGuard([] { setLibraryDefaults(1024, 64000, true); });
    QCOMPARE(readWithSentinels().developer, QStringLiteral("OLD"));
    QVERIFY(write("OLD2", "E"));
    QCOMPARE(plainConnection(env.storePath(), {QStringLiteral("PRAGMA cipher_page_size = 1024"),
                                               QStringLiteral("PRAGMA kdf_iter = 64000"),
                                               QStringLiteral("PRAGMA cipher_use_hmac = ON"),
                                               QStringLiteral("SELECT DeveloperKey FROM "
                                                              "tblEncryptKey")}),
             QStringLiteral("OLD2"));
    env.createStore(QStringLiteral("NEW"), QStringLiteral("E"));
    const QString read = QStringLiteral("SELECT DeveloperKey FROM tblEncryptKey");
    QCOMPARE(plainConnection(env.storePath(), {read}),
             QStringLiteral("file is encrypted or is not a database"));
    QCOMPARE(
        plainConnection(env.storePath(), {QStringLiteral("PRAGMA cipher_page_size = 1024"),
                                          QStringLiteral("PRAGMA kdf_iter = 64000"),
                                          QStringLiteral("PRAGMA cipher_use_hmac = ON"), read}),
        QStringLiteral("NEW"));
    QCOMPARE(readWithSentinels().developer, QStringLiteral("NEW"));
    // A 1 KiB page each: the file's header and the table.
    QCOMPARE(QFileInfo(env.storePath()).size(), 2048);
}

void TestSettingsStore::keyDerivation_data()
{
    // The test vectors of RFC 6070, and two of RFC 3962 for a password as
    // long as a digest block and one longer (which HMAC digests first).
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("salt");
    QTest::addColumn<int>("iterations");
    QTest::addColumn<QByteArray>("key"); // hex
    QTest::newRow("1 round") << QByteArray("password") << QByteArray("salt") << 1
                             << QByteArray("0c60c80f961f0e71f3a9b524af6012062fe037a6");
    QTest::newRow("2 rounds") << QByteArray("password") << QByteArray("salt") << 2
                              << QByteArray("ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957");
    QTest::newRow("4096 rounds") << QByteArray("password") << QByteArray("salt") << 4096
                                 << QByteArray("4b007901b765489abead49d926f721d065a429c1");
    QTest::newRow("two blocks") << QByteArray("passwordPASSWORDpassword")
                                << QByteArray("saltSALTsaltSALTsaltSALTsaltSALTsalt") << 4096
                                << QByteArray("3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038");
    QTest::newRow("NUL bytes") << QByteArray("pass\0word", 9) << QByteArray("sa\0lt", 5) << 4096
                               << QByteArray("56fa6aa75548099dcc37d7f03425e0c3");
    QTest::newRow("block-long password")
        << QByteArray(64, 'X') << QByteArray("pass phrase equals block size") << 1200
        << QByteArray("139c30c0966bc32ba55fdbf212530ac9c5ec59f1a452f5cc9ad940fea0598ed1");
    QTest::newRow("longer password")
        << QByteArray(65, 'X') << QByteArray("pass phrase exceeds block size") << 1200
        << QByteArray("9ccad6d468770cd51b10e6a68721be611a8b4d282601db3b36be9246915ec82a");
}

void TestSettingsStore::keyDerivation()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, salt);
    QFETCH(int, iterations);
    QFETCH(QByteArray, key);
    QCOMPARE(KeyDerivation::pbkdf2HmacSha1(password, salt, iterations, int(key.size() / 2)).toHex(),
             key);
}

void TestSettingsStore::leftoversOfAKilledInstaller()
{
    TestEnvironment env;
    env.createStore(QStringLiteral("DEV"), QStringLiteral("ENC"));
    // Ids of processes that have ended.
    QString dead[2];
    for (QString &id : dead) {
        QProcess ended;
        ended.start(QStringLiteral("true"));
        QVERIFY(ended.waitForStarted());
        id = QString::number(ended.processId());
        QVERIFY(ended.waitForFinished());
    }
    const QString running = QString::number(::getppid());
    const QString outside = env.path(QStringLiteral("outside"));
    QFile(outside).open(QIODevice::WriteOnly);
    const QDir folder(env.systemDir());
    const auto plantFile = [&folder](const QString &name) {
        QVERIFY(QFile(folder.filePath(name)).open(QIODevice::WriteOnly));
    };
    const QString prefix = QStringLiteral(".vemtu-new-");
    plantFile(prefix + dead[0]);
    plantFile(prefix + dead[0] + QStringLiteral("-journal"));
    plantFile(prefix + running);
    plantFile(prefix + dead[0] + QStringLiteral("-wal"));
    plantFile(prefix + QStringLiteral("0"));
    QVERIFY(QFile::link(outside, folder.filePath(prefix + dead[1])));
    QVERIFY(folder.mkdir(prefix + dead[1] + QStringLiteral("-journal")));
    QStringList kept = {prefix + QStringLiteral("0"),
                        prefix + dead[0] + QStringLiteral("-wal"),
                        prefix + dead[1],
                        prefix + dead[1] + QStringLiteral("-journal"),
                        prefix + running,
                        QStringLiteral("vemtu.sys")};

    // Nothing goes before the store's lock is taken; taking it removes the
    // files of the ended process, and only those.
    const QDir::Filters all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    QCOMPARE(folder.entryList(all).size(), kept.size() + 2);
    QVERIFY(readWithSentinels().ok);
    QStringList left = folder.entryList(all);
    left.sort();
    kept.sort();
    QCOMPARE(left, kept);
    QVERIFY(QFileInfo::exists(outside));
}

void TestSettingsStore::placementFile_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("number") << QStringLiteral("-4500");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks at the ends") << QStringLiteral(" a b ");
    QTest::newRow("list and comment marks") << QStringLiteral("1, 2; 3 = x #y");
    QTest::newRow("quotes and backslashes") << QStringLiteral("say \"\\x41\"");
    QTest::newRow("control characters then hex digits") << QStringLiteral("\t\n\x01"
                                                                          "a9\x7f"
                                                                          "F");
    QTest::newRow("typed-value marker") << QStringLiteral("@Variant(\\0\\0)");
    QTest::newRow("beyond ASCII") << QStringLiteral("caf\u00e9 \u20ac \U0001F600");
}

void TestSettingsStore::placementFile()
{
    QFETCH(QString, value);
    TestEnvironment env;
    const QString file = env.path(QStringLiteral("config/VR_Decrypt/VR_Decrypt.ini"));
    // The file is created with its folder; what it held stays, and the
    // value reads back exactly, through QSettings as well.
    {
        RegistrySettings first;
        QCOMPARE(first.fileName(), file);
        first.write(QStringLiteral("Other"), QStringLiteral("kept"));
        QVERIFY(first.sync());
    }
    RegistrySettings settings;
    settings.write(QStringLiteral("Value"), value);
    QVERIFY(settings.sync());
    QCOMPARE(RegistrySettings().read(QStringLiteral("Value"), QStringLiteral("absent")), value);
    QCOMPARE(RegistrySettings().read(QStringLiteral("Other")), QStringLiteral("kept"));
    QCOMPARE(QSettings(file, QSettings::IniFormat).value(QStringLiteral("Settings/Value")),
             QVariant(value));

    // A write that fails keeps the earlier file and says why.
    const QByteArray earlier = contents(file);
    settings.write(QStringLiteral("Value"), QStringLiteral("lost"));
    SafeFile::setFault(SafeFile::Fault{SafeFile::Fault::Step::Write, 3, ENOSPC});
    QString why;
    const bool synced = settings.sync(&why);
    SafeFile::setFault(std::nullopt);
    QVERIFY(!synced);
    QCOMPARE(why, QStringLiteral("Cannot write %1: No space left on device").arg(file));
    QCOMPARE(contents(file), earlier);
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
