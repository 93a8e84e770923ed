#include "store/StoreDatabase.h"

#include <QFile>

#include <sqlite3.h>

namespace StoreDatabase {
namespace {

// The store file's own password.
constexpr char databasePassword[] = "7Hq2mT4xK9c";

} // namespace

Connection::Connection(const QString &path)
{
    const int flags = SQLITE_OPEN_READWRITE;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr) != SQLITE_OK ||
        sqlite3_key(db, databasePassword, int(sizeof databasePassword - 1)) != SQLITE_OK) {
        sqlite3_close(db);
        return;
    }
    m_db = db;
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
