#include "store/modPublic.h"

#include "BuildConfig.h"
#include "store/StoreDatabase.h"
#include "store/StoreFile.h"

#include <QtGlobal>

#include <sqlite3.h>

namespace modPublic {

QString SystemDirectory;
bool LoginAccepted = false;

QString systemDirectoryFromEnvironment()
{
    const QString fromEnvironment = qEnvironmentVariable("VARNELL_SYSTEM_DIR");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QString::fromUtf8(BuildConfig::systemDirectory);
}

void determineSystemDirectory()
{
    SystemDirectory = systemDirectoryFromEnvironment();
}

QString storePath()
{
    return SystemDirectory + QLatin1Char('/') + storeFileName();
}

namespace {

bool failed(QString *why, const QString &path, const QString &cause)
{
    if (why)
        *why = path + QLatin1String(": ") + cause;
    return false;
}

const QString noRecord = QStringLiteral("the settings table holds no record");

QString columnText(sqlite3_stmt *stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return QString();
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(stmt, column));
}

} // namespace

bool ReadSettings(QString &developerKey, QString &encryptionKey, QString &password, QString *why)
{
    const QString path = storePath();
    const StoreFile::ExclusiveLock lock(path);
    if (!lock.held())
        return failed(why, path, lock.failure());
    // Opened for writing although only read: a write cut off half-way leaves
    // a journal that only a writable connection can roll back, and without
    // that the store could never be read again.
    const StoreDatabase::Connection db(path);
    if (!db.isOpen())
        return failed(why, path, db.failure());

    // Columns are read by position: 0 is not used, then the three values.
    const StoreDatabase::Statement query(db, "SELECT * FROM tblEncryptKey LIMIT 1");
    if (!query.get())
        return failed(why, path, db.failure());
    const int step = sqlite3_step(query.get());
    if (step == SQLITE_DONE)
        return failed(why, path, noRecord);
    if (step != SQLITE_ROW)
        return failed(why, path, db.failure());
    const int columns = sqlite3_column_count(query.get());
    QString *outputs[] = {&developerKey, &encryptionKey, &password};
    for (int i = 0; i < 3; ++i) {
        if (i + 1 >= columns)
            return failed(why, path, QStringLiteral("the settings table has too few columns"));
        *outputs[i] = columnText(query.get(), i + 1);
    }
    return true;
}

bool ReadSettings(Settings &settings, QString *why)
{
    return ReadSettings(settings.developerKey, settings.encryptionKey, settings.password, why);
}

QString storedDeveloperKey()
{
    Settings settings;
    ReadSettings(settings);
    return settings.developerKey;
}

bool WriteSettings(const QString &developerKey, const QString &encryptionKey,
                   const QString &password, QString *why)
{
    const QString path = storePath();
    const StoreFile::ExclusiveLock lock(path);
    if (!lock.held())
        return failed(why, path, lock.failure());
    const StoreDatabase::Connection db(path);
    if (!db.isOpen())
        return failed(why, path, db.failure());

    // Columns are written by name, in the first record only; a table without
    // records stays without records.
    StoreDatabase::Statement update(
        db, "UPDATE tblEncryptKey SET DeveloperKey = ?1, EncryptionKey = ?2, "
            "Password = ?3 WHERE rowid = (SELECT rowid FROM tblEncryptKey LIMIT 1)");
    if (!update.bindText(1, developerKey) || !update.bindText(2, encryptionKey) ||
        !update.bindText(3, password) || sqlite3_step(update.get()) != SQLITE_DONE)
        return failed(why, path, db.failure());
    if (sqlite3_changes(db.handle()) != 1)
        return failed(why, path, noRecord);
    return true;
}

QString GetServerPath(const QString &developerKey)
{
    QString path = developerKey.mid(12).toLower();
    path.replace(QLatin1Char('x'), QLatin1String(".ca/"));
    path.replace(QLatin1Char('y'), QLatin1String(".com/"));
    path.replace(QLatin1Char('z'), QLatin1String("/"));
    return path;
}

} // namespace modPublic
