#include "store/StoreDatabase.h"

#include <QFile>

#include <cstring>

#include <sqlite3.h>

namespace StoreDatabase {
namespace {

// The store file's own password.
constexpr char databasePassword[] = "7Hq2mT4xK9c";

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

Connection::Connection(const QString &path)
{
    const int flags = SQLITE_OPEN_READWRITE;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr) != SQLITE_OK ||
        sqlite3_key(db, databasePassword, int(sizeof databasePassword - 1)) != SQLITE_OK) {
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
