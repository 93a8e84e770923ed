#include "store/StoreDatabase.h"

#include "store/KeyDerivation.h"

#include <QFile>

#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sqlite3.h>

namespace StoreDatabase {
namespace {

// The store file's own password.
constexpr char databasePassword[] = "7Hq2mT4xK9c";

// The cipher's settings, the ones every store has been made with (the
// defaults of SQLCipher 3): 1 KiB pages, the key derived from the password
// by PBKDF2-HMAC-SHA1 in 64,000 rounds, every page authenticated by
// HMAC-SHA1. Later releases of the library have other defaults, so each
// connection states them all; a release that does not know a setting (3.x
// knows neither algorithm) passes over it.
constexpr const char *cipherSettings[] = {
    "PRAGMA cipher_page_size = 1024",
    "PRAGMA kdf_iter = 64000",
    "PRAGMA cipher_use_hmac = ON",
    "PRAGMA cipher_hmac_algorithm = HMAC_SHA1",
    "PRAGMA cipher_kdf_algorithm = PBKDF2_HMAC_SHA1",
};
constexpr int kdfIterations = 64000;
constexpr int saltSize = 16; // at the start of the file
constexpr int keySize = 32;  // AES-256

// The salt that begins the file the connection opened; empty for a file
// that has none yet (a store being made).
QByteArray fileSalt(sqlite3 *db)
{
    sqlite3_file *file = nullptr;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
        !file->pMethods)
        return QByteArray();
    QByteArray salt(saltSize, Qt::Uninitialized);
    if (file->pMethods->xRead(file, salt.data(), saltSize, 0) != SQLITE_OK)
        return QByteArray();
    return salt;
}

// The key the cipher would derive from the password and the salt, as a raw
// key ("x'<hex>'") that the cipher takes as it is. Deriving it takes tens of
// milliseconds and gives the same key every time for the same salt, so it is
// done once per salt: every later connection to the store still opens and
// reads the file afresh, and a store made anew (with a new salt) gets its
// own key. The key says no more than the password, which is in the program.
QByteArray rawKeyFor(const QByteArray &salt)
{
    static std::mutex lock;
    static QByteArray knownSalt;
    static QByteArray knownKey;
    const std::lock_guard<std::mutex> guard(lock);
    if (salt != knownSalt) {
        const QByteArray key = KeyDerivation::pbkdf2HmacSha1(
            QByteArrayView(databasePassword, qsizetype(sizeof databasePassword - 1)), salt,
            kdfIterations, keySize);
        if (key.isEmpty())
            return QByteArray();
        knownKey = "x'" + key.toHex() + '\'';
        knownSalt = salt;
    }
    return knownKey;
}

// Keys the connection and states the cipher's settings.
bool keyAndPin(sqlite3 *db)
{
    const QByteArray salt = fileSalt(db);
    const QByteArray rawKey = salt.isEmpty() ? QByteArray() : rawKeyFor(salt);
    const int keyed = rawKey.isEmpty()
                          ? sqlite3_key(db, databasePassword, int(sizeof databasePassword - 1))
                          : sqlite3_key(db, rawKey.constData(), int(rawKey.size()));
    if (keyed != SQLITE_OK)
        return false;
    for (const char *setting : cipherSettings) {
        if (sqlite3_exec(db, setting, nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
    }
    return true;
}

QString describe(sqlite3 *db)
{
    if (!db)
        return QStringLiteral("out of memory");
    const int code = sqlite3_extended_errcode(db) & 0xff;
    // The cipher cannot tell a damaged file from one keyed otherwise.
    if (code == SQLITE_NOTADB)
        return QStringLiteral("the file is no settings store, or one made with another key");
    QString text = QString::fromUtf8(sqlite3_errmsg(db));
    // The system's reason is the one that counts for a failed file access;
    // for other failures it may be left over from a harmless probe.
    const int system = sqlite3_system_errno(db);
    if (system != 0 && (code == SQLITE_FULL || code == SQLITE_IOERR || code == SQLITE_CANTOPEN ||
                        code == SQLITE_READONLY || code == SQLITE_PERM))
        text += QLatin1String(": ") + QString::fromLocal8Bit(std::strerror(system));
    return text;
}

} // namespace

KeyPreparation::KeyPreparation(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    m_thread = std::thread([native] {
        // Not blocking on a FIFO in the store's place; only a regular file
        // can be a store.
        const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat status = {};
        QByteArray salt(saltSize, Qt::Uninitialized);
        const bool read = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
                          ::pread(fd, salt.data(), saltSize, 0) == saltSize;
        ::close(fd);
        if (read)
            rawKeyFor(salt);
    });
}

KeyPreparation::~KeyPreparation()
{
    if (m_thread.joinable())
        m_thread.join();
}

Connection::Connection(const QString &path)
{
    const int flags = SQLITE_OPEN_READWRITE;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr) != SQLITE_OK ||
        !keyAndPin(db)) {
        m_openFailure = describe(db);
        sqlite3_close(db);
        return;
    }
    m_db = db;
}

QString Connection::failure() const
{
    return m_db ? describe(m_db) : m_openFailure;
}

Connection::~Connection()
{
    if (m_db)
        sqlite3_close(m_db);
}

Statement::Statement(const Connection &db, const char *sql)
{
    if (!db.isOpen() || sqlite3_prepare_v2(db.handle(), sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

bool Statement::bindText(int index, const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    return m_stmt && sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()),
                                       SQLITE_TRANSIENT) == SQLITE_OK;
}

} // namespace StoreDatabase
