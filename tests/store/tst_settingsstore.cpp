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

const QByteArray storeKey = "7Hq2mT4xK9c";
const QString createTable = QStringLiteral(
    "CREATE TABLE tblEncryptKey (ID INTEGER PRIMARY KEY, DeveloperKey TEXT, EncryptionKey TEXT, "
    "Password TEXT)");

// Runs statements on a connection keyed with key and nothing else; the first
// value of the last one's first row, or the error.
QString sql(const QString &path, const QByteArray &key, const QStringList &statements)
{
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    const auto close = qScopeGuard([db] { sqlite3_close(db); });
    sqlite3_key(db, key.constData(), int(key.size()));
    QString value;
    for (const QString &statement : statements) {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db, statement.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
            return QString::fromUtf8(sqlite3_errmsg(db));
        const int step = sqlite3_step(stmt);
        value = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
        if (step != SQLITE_ROW && step != SQLITE_DONE)
            return QString::fromUtf8(sqlite3_errmsg(db));
    }
    return value;
}

void setLibraryDefaults(int pageSize, int kdfIterations, bool hmac)
{
    sql(QStringLiteral(":memory:"), storeKey,
        {QStringLiteral("PRAGMA cipher_default_page_size = %1").arg(pageSize),
         QStringLiteral("PRAGMA cipher_default_kdf_iter = %1").arg(kdfIterations),
         QStringLiteral("PRAGMA cipher_default_use_hmac = %1")
             .arg(QLatin1String(hmac ? "ON" : "OFF"))});
}

// Builds a store by hand, for shapes the installer never makes.
void makeStore(const QString &path, const QByteArray &key, const QStringList &statements)
{
    QFile::remove(path);
    QCOMPARE(sql(path, key, statements), QString());
}

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
    void failuresSayWhyAndChangeNothing_data();
    void failuresSayWhyAndChangeNothing();
    void exclusiveOpen();
    void interruptedWriteRollsBack();
    void installerCreatesAndReplaces();
    void cipherSettingsStated();
    void keyDerivation();
    void leftoversOfAKilledInstaller();
    void placementFile();
    void serverPath();
};

void TestSettingsStore::readWriteKeepsValuesExactly()
{
    TestEnvironment env;
    env.createStore(QStringLiteral("DEV"), QStringLiteral("ENC"), QString());
    const QString dev = QStringLiteral("  ABCDEFGHIJKLhostyvarnz ");
    const QString enc = QStringLiteral(" key with blanks\t");
    const QString pwd = QStringLiteral("P\u00e4ssw\u00f6rd \u20ac");
    QVERIFY(modPublic::WriteSettings(dev, enc, pwd));
    Read r = readWithSentinels();
    QVERIFY(r.ok);
    QCOMPARE(QStringList({r.developer, r.encryption, r.password}), QStringList({dev, enc, pwd}));
    QVERIFY(modPublic::WriteSettings(QString(), QString(), QString()));
    r = readWithSentinels();
    QCOMPARE(r.developer + r.encryption + r.password, QString());
    // A sticky folder that others may write to is fine: they cannot replace
    // the store in it.
    QVERIFY(::chmod(QFile::encodeName(env.systemDir()).constData(), 01777) == 0);
    QVERIFY(readWithSentinels().ok);

    // Reading goes by position (the first column is never read, NULL reads
    // as empty), writing by name and into the first record only.
    makeStore(env.storePath(), storeKey,
              {QStringLiteral("CREATE TABLE tblEncryptKey (Unused TEXT, DeveloperKey TEXT, "
                              "EncryptionKey TEXT, Password TEXT)"),
               QStringLiteral("INSERT INTO tblEncryptKey VALUES ('x', 'DEV', NULL, 'pw')"),
               QStringLiteral("INSERT INTO tblEncryptKey VALUES ('y', 'second', 'row', '')")});
    r = readWithSentinels();
    QVERIFY(r.ok);
    QCOMPARE(QStringList({r.developer, r.encryption, r.password}),
             QStringList({QStringLiteral("DEV"), QString(), QStringLiteral("pw")}));
    QVERIFY(write("D1", "E1"));
    r = readWithSentinels();
    QCOMPARE(r.developer + r.encryption, QStringLiteral("D1E1"));

    // A table without the password column: the values before it are read,
    // the password keeps the caller's value, and the result is false.
    makeStore(env.storePath(), storeKey,
              {QStringLiteral("CREATE TABLE tblEncryptKey (ID INTEGER, DeveloperKey TEXT, "
                              "EncryptionKey TEXT)"),
               QStringLiteral("INSERT INTO tblEncryptKey VALUES (1, 'DEV', 'ENC')")});
    r = readWithSentinels();
    QVERIFY(!r.ok);
    QCOMPARE(r.developer + r.encryption + r.password, QStringLiteral("DEVENCp?"));
    QVERIFY(!write("a", "b", "c"));
}

enum class Shape
{
    Missing,
    Folder,
    Fifo,
    OtherKey,
    NoRecord,
    // Those below start from an installed store.
    Locked,
    Damaged,
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
    if (shape == Shape::OtherOwner && ::geteuid() != 0)
        QSKIP("handing a file to another user needs root");
    TestEnvironment env;
    const QString path = env.storePath();
    const QByteArray name = QFile::encodeName(path);
    std::optional<StoreFile::ExclusiveLock> otherInstance;
    if (shape >= Shape::Locked)
        env.createStore(QStringLiteral("DEV"), QStringLiteral("ENC"));
    switch (shape) {
    case Shape::Missing:
        break;
    case Shape::Folder:
        QVERIFY(QDir().mkpath(path));
        break;
    case Shape::Fifo:
        QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {path}), 0);
        break;
    case Shape::OtherKey:
        makeStore(
            path, "another password",
            {createTable, QStringLiteral("INSERT INTO tblEncryptKey VALUES (1, 'a', 'b', 'c')")});
        break;
    case Shape::NoRecord:
        makeStore(path, storeKey, {createTable});
        break;
    case Shape::Locked:
        otherInstance.emplace(path);
        QVERIFY(otherInstance->held());
        break;
    case Shape::Damaged:
        QVERIFY(QFile::resize(path, QFileInfo(path).size() / 2));
        break;
    case Shape::LooseFile:
        QVERIFY(::chmod(name.constData(), 0666) == 0);
        break;
    case Shape::LooseFolder:
        QVERIFY(::chmod(QFile::encodeName(env.systemDir()).constData(), 0777) == 0);
        break;
    case Shape::OtherOwner:
        QVERIFY(::chown(name.constData(), 65534, 65534) == 0);
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
        // The lock holds against another process as well.
        QProcess flock;
        flock.start(QStringLiteral("flock"),
                    {QStringLiteral("-n"), env.storePath(), QStringLiteral("true")});
        QVERIFY(flock.waitForFinished(10000));
        QCOMPARE(flock.exitCode(), 1);
    }
    QCOMPARE(readWithSentinels().encryption, QStringLiteral("ENC"));
}

void TestSettingsStore::interruptedWriteRollsBack()
{
    TestEnvironment env;
    env.createStore(QStringLiteral("DEV"), QStringLiteral("ENC"));
    // A write cut off half-way (the process killed) leaves its journal beside
    // the store; the next read rolls it back instead of failing for good.
    const QString journal = env.storePath() + QStringLiteral("-journal");
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
    QVERIFY(QFile::rename(journal + QStringLiteral(".left"), journal));

    QCOMPARE(readWithSentinels().developer, QStringLiteral("DEV"));
    QVERIFY(write("D2", "E2"));
    QCOMPARE(readWithSentinels().developer, QStringLiteral("D2"));
}

void TestSettingsStore::installerCreatesAndReplaces()
{
    TestEnvironment env;
    // The folders it makes are 0755 at most, whatever the umask; one that
    // others may write to is refused.
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
    QCOMPARE(QList<int>({unixMode(env.path(QStringLiteral("a"))),
                         unixMode(env.path(QStringLiteral("a/b"))), unixMode(nested)}),
             QList<int>({0755, 0755, ::geteuid() == 0 ? 0644 : 0600}));
    QVERIFY(StoreFile::create(nested, QStringLiteral("D2"), QStringLiteral("E2"), QString(), false)
                .error.contains(QStringLiteral("already exists")));

    // Replacing: refused while another holds the lock, then atomic, with
    // nothing left beside the store.
    env.createStore(QStringLiteral("D"), QStringLiteral("E"), QStringLiteral("P"));
    const auto replace = [&env] {
        return StoreFile::create(env.storePath(), QStringLiteral("D2"), QStringLiteral("E2"),
                                 QString(), true);
    };
    {
        const StoreFile::ExclusiveLock busy(env.storePath());
        QCOMPARE(replace().error,
                 QStringLiteral("Cannot replace the settings store %1: the file is locked by "
                                "another process.")
                     .arg(env.storePath()));
    }
    QVERIFY(replace().ok);
    const Read r = readWithSentinels();
    QCOMPARE(r.developer + r.password, QStringLiteral("D2"));
    QCOMPARE(QDir(env.systemDir()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("vemtu.sys")});

    // Something other than a file in the store's place is left alone.
    const QString fifo = env.path(QStringLiteral("fifo.sys"));
    QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {fifo}), 0);
    QCOMPARE(
        StoreFile::create(fifo, QStringLiteral("D"), QStringLiteral("E"), QString(), true).error,
        fifo + QStringLiteral(" is not a regular file."));
    QVERIFY(!QFileInfo(fifo).isFile());
}

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
    QCOMPARE(readWithSentinels().developer, QStringLiteral("OLD2"));
    env.createStore(QStringLiteral("NEW"), QStringLiteral("E"));
    const QString read = QStringLiteral("SELECT DeveloperKey FROM tblEncryptKey");
    QCOMPARE(sql(env.storePath(), storeKey, {read}),
             QStringLiteral("file is encrypted or is not a database"));
    QCOMPARE(sql(env.storePath(), storeKey,
                 {QStringLiteral("PRAGMA cipher_page_size = 1024"),
                  QStringLiteral("PRAGMA kdf_iter = 64000"),
                  QStringLiteral("PRAGMA cipher_use_hmac = ON"), read}),
             QStringLiteral("NEW"));
}

void TestSettingsStore::keyDerivation()
{
    // Every store test derives the store's key. These vectors (RFC 6070 and
    // RFC 3962) add NUL bytes, which a salt read from the file may hold, and
    // passwords as long as a digest block and longer (which HMAC digests
    // first).
    const struct
    {
        QByteArray password, salt;
        int iterations;
        QByteArray key;
    } vectors[] = {
        {QByteArray("pass\0word", 9), QByteArray("sa\0lt", 5), 4096,
         "56fa6aa75548099dcc37d7f03425e0c3"},
        {QByteArray(64, 'X'), "pass phrase equals block size", 1200,
         "139c30c0966bc32ba55fdbf212530ac9c5ec59f1a452f5cc9ad940fea0598ed1"},
        {QByteArray(65, 'X'), "pass phrase exceeds block size", 1200,
         "9ccad6d468770cd51b10e6a68721be611a8b4d282601db3b36be9246915ec82a"},
    };
    for (const auto &v : vectors)
        QCOMPARE(
            KeyDerivation::pbkdf2HmacSha1(v.password, v.salt, v.iterations, int(v.key.size() / 2))
                .toHex(),
            v.key);
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
        id = QStringLiteral(".vemtu-new-") + QString::number(ended.processId());
        QVERIFY(ended.waitForFinished());
    }
    const QString running = QStringLiteral(".vemtu-new-") + QString::number(::getppid());
    const QString outside = env.path(QStringLiteral("outside"));
    QFile(outside).open(QIODevice::WriteOnly);
    const QDir folder(env.systemDir());
    const QString journal = QStringLiteral("-journal");
    for (const QString &name :
         QStringList{dead[0], dead[0] + journal, dead[0] + QStringLiteral("-wal"), running,
                     QStringLiteral(".vemtu-new-0")})
        QVERIFY(QFile(folder.filePath(name)).open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(outside, folder.filePath(dead[1])));
    QVERIFY(folder.mkdir(dead[1] + journal));

    // Nothing goes before the store's lock is taken; taking it removes the
    // files of the ended process, and only those: not other names, nor
    // links or folders, nor those of a process that runs.
    const QDir::Filters all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    QCOMPARE(folder.entryList(all).size(), 8);
    QVERIFY(readWithSentinels().ok);
    QStringList left = folder.entryList(all);
    QStringList kept = {QStringLiteral(".vemtu-new-0"),
                        dead[0] + QStringLiteral("-wal"),
                        dead[1],
                        dead[1] + journal,
                        running,
                        QStringLiteral("vemtu.sys")};
    left.sort();
    kept.sort();
    QCOMPARE(left, kept);
    QVERIFY(QFileInfo::exists(outside));
}

void TestSettingsStore::placementFile()
{
    TestEnvironment env;
    const QString file = env.path(QStringLiteral("config/VR_Decrypt/VR_Decrypt.ini"));
    // Values that the file's quoting and escapes must carry through: read
    // back exactly, through QSettings as well, and a value written earlier
    // stays.
    const QStringList values = {
        QStringLiteral(" a, b; 3 = x #y say \"\\x41\" "),
        QStringLiteral("\t\n\x01"
                       "a9\x7f"
                       "F"),
        QStringLiteral("@Variant(\\0\\0)"),
        QStringLiteral("caf\u00e9 \u20ac \U0001F600"),
    };
    {
        RegistrySettings first;
        first.write(QStringLiteral("Other"), QStringLiteral("kept"));
        QVERIFY(first.sync());
    }
    RegistrySettings settings;
    for (qsizetype i = 0; i < values.size(); ++i)
        settings.write(QStringLiteral("Value%1").arg(i), values.at(i));
    QVERIFY(settings.sync());
    const RegistrySettings again;
    QCOMPARE(again.read(QStringLiteral("Other")), QStringLiteral("kept"));
    const QSettings plain(file, QSettings::IniFormat);
    for (qsizetype i = 0; i < values.size(); ++i) {
        QCOMPARE(again.read(QStringLiteral("Value%1").arg(i), QStringLiteral("absent")),
                 values.at(i));
        QCOMPARE(plain.value(QStringLiteral("Settings/Value%1").arg(i)), QVariant(values.at(i)));
    }

    // A write that fails keeps the earlier file and says why.
    const QByteArray earlier = contents(file);
    settings.write(QStringLiteral("Value0"), QStringLiteral("lost"));
    SafeFile::setFault(SafeFile::Fault{SafeFile::Fault::Step::Write, 3, ENOSPC});
    QString why;
    const bool synced = settings.sync(&why);
    SafeFile::setFault(std::nullopt);
    QVERIFY(!synced);
    QCOMPARE(why, QStringLiteral("Cannot write %1: No space left on device").arg(file));
    QCOMPARE(contents(file), earlier);
}

void TestSettingsStore::serverPath()
{
    // The first 12 characters are passed over; x, y and z become ".ca/",
    // ".com/" and "/" in one pass, whatever their case.
    QCOMPARE(modPublic::GetServerPath(QStringLiteral("ABCDEFGHIJKLHostYPathZ")),
             QStringLiteral("host.com/path/"));
    QCOMPARE(modPublic::GetServerPath(QStringLiteral("123456789012boxyz")),
             QStringLiteral("bo.ca/.com//"));
    QCOMPARE(modPublic::GetServerPath(QStringLiteral("ABCDEFGHIJKL")), QString());
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
