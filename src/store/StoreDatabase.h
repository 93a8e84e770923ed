#pragma once

#include <QString>

#include <thread>

struct sqlite3;
struct sqlite3_stmt;

// One keyed SQLCipher connection to a store file, closed when it goes.
namespace StoreDatabase {

// Derives the key of the store at path in the background, from the moment
// it is made, so that the first read of the store finds the key ready
// instead of spending a dozen milliseconds on it: the desktop program makes
// one first thing at start, while the toolkit starts up. Only the salt is
// read from the file's first bytes, with no connection and no lock; every
// read of the store still opens it as before. The work is waited for when
// the object goes.
class KeyPreparation
{
public:
    explicit KeyPreparation(const QString &path);
    ~KeyPreparation();
    KeyPreparation(const KeyPreparation &) = delete;
    KeyPreparation &operator=(const KeyPreparation &) = delete;

private:
    std::thread m_thread;
};

class Connection
{
public:
    // Opens for reading and writing, or for reading only when the file is
    // write-protected. Never creates the file: a missing file leaves the
    // connection closed.
    explicit Connection(const QString &path);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool isOpen() const { return m_db != nullptr; }
    sqlite3 *handle() const { return m_db; }

    // The cause of the latest failure on this connection (opening it, or
    // the last statement), in words: "database or disk is full: No space
    // left on device".
    QString failure() const;

private:
    sqlite3 *m_db = nullptr;
    QString m_openFailure;
};

// A prepared statement, finalized when it goes; null when preparing failed.
class Statement
{
public:
    Statement(const Connection &db, const char *sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    sqlite3_stmt *get() const { return m_stmt; }
    bool bindText(int index, const QString &value);

private:
    sqlite3_stmt *m_stmt = nullptr;
};

} // namespace StoreDatabase
