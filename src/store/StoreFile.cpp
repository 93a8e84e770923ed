#include "store/StoreFile.h"

#include "store/StoreDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace StoreFile {

ExclusiveLock::ExclusiveLock(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    // Not blocking on open: a FIFO in the store's place would otherwise wait
    // for a writer forever. Only a regular file can be the store.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }
    m_fd = fd;
}

ExclusiveLock::~ExclusiveLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing releases the lock
}

namespace {

Result failure(const QString &text)
{
    return Result{false, text};
}

bool exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool fillNewStore(const QString &path, const QString &developerKey, const QString &encryptionKey,
                  const QString &password)
{
    StoreDatabase::Connection db(path);
    if (!db.isOpen())
        return false;
    if (!exec(db.handle(), "CREATE TABLE tblEncryptKey (ID INTEGER PRIMARY KEY, "
                           "DeveloperKey TEXT, EncryptionKey TEXT, Password TEXT)"))
        return false;
    StoreDatabase::Statement insert(db, "INSERT INTO tblEncryptKey "
                                        "(ID, DeveloperKey, EncryptionKey, Password) "
                                        "VALUES (1, ?1, ?2, ?3)");
    return insert.bindText(1, developerKey) && insert.bindText(2, encryptionKey) &&
           insert.bindText(3, password) && sqlite3_step(insert.get()) == SQLITE_DONE;
}

} // namespace

Result create(const QString &path, const QString &developerKey, const QString &encryptionKey,
              const QString &password, bool replaceExisting)
{
    const QFileInfo target(path);
    if (target.isDir())
        return failure(QStringLiteral("%1 is a folder.").arg(path));
    const bool exists = target.exists();
    if (exists && !target.isFile())
        return failure(QStringLiteral("%1 is not a regular file.").arg(path));
    if (exists && !replaceExisting)
        return failure(
            QStringLiteral("A settings store already exists at %1 (use --force to replace it).")
                .arg(path));
    if (!QDir().mkpath(target.absolutePath()))
        return failure(QStringLiteral("Cannot create the folder %1.").arg(target.absolutePath()));

    // Keep every other user of the old store out while it is replaced.
    std::optional<ExclusiveLock> lock;
    if (exists) {
        lock.emplace(path);
        if (!lock->held())
            return failure(QStringLiteral("The settings store %1 is in use.").arg(path));
    }

    // Build the new store beside the target, then move it into place, so that
    // a failure never leaves half a store behind.
    const QString temp =
        target.absolutePath() + QStringLiteral("/.vemtu-new-") + QString::number(::getpid());
    QFile::remove(temp);
    const QByteArray nativeTemp = QFile::encodeName(temp);
    const int fd = ::open(nativeTemp.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return failure(QStringLiteral("Cannot create %1.").arg(temp));
    ::close(fd);

    if (!fillNewStore(temp, developerKey, encryptionKey, password)) {
        QFile::remove(temp);
        return failure(QStringLiteral("Cannot write the settings store %1.").arg(path));
    }
    if (::rename(nativeTemp.constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(temp);
        return failure(QStringLiteral("Cannot move the new store to %1.").arg(path));
    }
    return Result{true, {}};
}

} // namespace StoreFile
