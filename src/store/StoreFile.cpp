#include "store/StoreFile.h"

#include "common/SafeFile.h"
#include "store/StoreDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace StoreFile {

namespace {

const QLatin1String newStorePrefix(".vemtu-new-");

QString systemReason(int errorCode)
{
    return QString::fromLocal8Bit(std::strerror(errorCode));
}

// Why a file or folder of the store is not to be trusted, or an empty text.
QString untrusted(const struct stat &status, bool isFolder)
{
    const uid_t me = ::geteuid();
    if (status.st_uid != 0 && status.st_uid != me)
        return QStringLiteral("belongs to another user (uid %1)").arg(status.st_uid);
    const bool sticky = isFolder && (status.st_mode & S_ISVTX);
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) && !sticky)
        return QStringLiteral("can be written by other users (mode %1)")
            .arg(status.st_mode & 07777, 4, 8, QLatin1Char('0'));
    return QString();
}

bool processRuns(pid_t pid)
{
    // EPERM: it runs, under another user.
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

} // namespace

ExclusiveLock::ExclusiveLock(const QString &path, Trust trust)
{
    const QByteArray native = QFile::encodeName(path);
    // Not blocking on open: a FIFO in the store's place would otherwise wait
    // for a writer forever. Only a regular file can be the store.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_failure = systemReason(errno);
        return;
    }
    struct stat status = {};
    if (::fstat(fd, &status) != 0)
        m_failure = systemReason(errno);
    else if (S_ISDIR(status.st_mode))
        m_failure = QStringLiteral("is a folder");
    else if (!S_ISREG(status.st_mode))
        m_failure = QStringLiteral("not a regular file");
    else if (trust == Trust::Required && !untrusted(status, false).isEmpty())
        m_failure = QStringLiteral("the store ") + untrusted(status, false);
    else if (struct stat folder = {};
             trust == Trust::Required &&
             ::stat(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &folder) == 0 &&
             !untrusted(folder, true).isEmpty())
        m_failure = QStringLiteral("its folder ") + untrusted(folder, true);
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        m_failure = errno == EWOULDBLOCK ? QStringLiteral("the file is locked by another process")
                                         : systemReason(errno);
    if (!m_failure.isEmpty()) {
        ::close(fd);
        return;
    }
    m_fd = fd;
    removeLeftovers(QFileInfo(path).absolutePath());
}

ExclusiveLock::~ExclusiveLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing releases the lock
}

void removeLeftovers(const QString &folder)
{
    static const QRegularExpression name(
        QStringLiteral("^\\.vemtu-new-([1-9][0-9]{0,9})(-journal)?$"));
    const QDir dir(folder);
    const QStringList entries = dir.entryList({newStorePrefix + QLatin1Char('*')},
                                              QDir::AllEntries | QDir::Hidden | QDir::System);
    for (const QString &entry : entries) {
        const QRegularExpressionMatch match = name.match(entry);
        if (!match.hasMatch())
            continue;
        const qint64 pid = match.captured(1).toLongLong();
        if (pid > std::numeric_limits<pid_t>::max() || pid == ::getpid() || processRuns(pid_t(pid)))
            continue;
        const QByteArray path = QFile::encodeName(dir.filePath(entry));
        struct stat status = {};
        // unlink() removes a link itself, never what it points to; the check
        // keeps it from removing anything but a file.
        if (::lstat(path.constData(), &status) == 0 && S_ISREG(status.st_mode))
            ::unlink(path.constData());
    }
}

namespace {

Result failure(const QString &text)
{
    return Result{false, text};
}

// The cause of a failure, or an empty text when the new store is complete.
QString fillNewStore(const QString &path, const QString &developerKey, const QString &encryptionKey,
                     const QString &password)
{
    StoreDatabase::Connection db(path);
    if (!db.isOpen())
        return db.failure();
    if (sqlite3_exec(db.handle(),
                     "CREATE TABLE tblEncryptKey (ID INTEGER PRIMARY KEY, "
                     "DeveloperKey TEXT, EncryptionKey TEXT, Password TEXT)",
                     nullptr, nullptr, nullptr) != SQLITE_OK)
        return db.failure();
    StoreDatabase::Statement insert(db, "INSERT INTO tblEncryptKey "
                                        "(ID, DeveloperKey, EncryptionKey, Password) "
                                        "VALUES (1, ?1, ?2, ?3)");
    if (!insert.bindText(1, developerKey) || !insert.bindText(2, encryptionKey) ||
        !insert.bindText(3, password) || sqlite3_step(insert.get()) != SQLITE_DONE)
        return db.failure();
    return QString();
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
    // Everybody reads through the folder; nobody but its owner may add or
    // swap files in it, whatever the umask.
    if (const SafeFile::Result made = SafeFile::createFolders(target.absolutePath(), 0755); !made)
        return failure(made.error + QLatin1Char('.'));
    // A store in a folder that others may write to would be refused when
    // read: it is not made there.
    struct stat folderStatus = {};
    if (::stat(QFile::encodeName(target.absolutePath()).constData(), &folderStatus) == 0) {
        if (const QString why = untrusted(folderStatus, true); !why.isEmpty())
            return failure(QStringLiteral("Cannot make the settings store in %1: the folder %2.")
                               .arg(target.absolutePath(), why));
    }

    // Keep every other user of the old store out while it is replaced.
    std::optional<ExclusiveLock> lock;
    if (exists) {
        lock.emplace(path, ExclusiveLock::Trust::NotRequired);
        if (!lock->held())
            return failure(QStringLiteral("Cannot replace the settings store %1: %2.")
                               .arg(path, lock->failure()));
    } else {
        removeLeftovers(target.absolutePath());
    }

    // Build the new store beside the target, then move it into place, so that
    // a failure never leaves half a store behind.
    const QString temp =
        target.absolutePath() + QLatin1Char('/') + newStorePrefix + QString::number(::getpid());
    const QByteArray nativeTemp = QFile::encodeName(temp);
    const auto removeTemp = [&temp] {
        QFile::remove(temp);
        QFile::remove(temp + QStringLiteral("-journal"));
    };
    removeTemp();
    // The machine's store is read by every user of the machine and changed
    // by its administrator: made by root, every user may read it (they all
    // need its keys); a store that a user makes for themselves stays theirs
    // alone. Either way, whatever the umask.
    const mode_t mode = ::geteuid() == 0 ? 0644 : 0600;
    const int fd = ::open(nativeTemp.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return failure(QStringLiteral("Cannot create %1: %2.").arg(temp, systemReason(errno)));
    const bool modeSet = ::fchmod(fd, mode) == 0;
    const int modeError = errno;
    ::close(fd);
    if (!modeSet) {
        removeTemp();
        return failure(QStringLiteral("Cannot create %1: %2.").arg(temp, systemReason(modeError)));
    }

    if (const QString cause = fillNewStore(temp, developerKey, encryptionKey, password);
        !cause.isEmpty()) {
        removeTemp();
        return failure(QStringLiteral("Cannot write the settings store %1: %2.").arg(path, cause));
    }
    if (::rename(nativeTemp.constData(), QFile::encodeName(path).constData()) != 0) {
        const int why = errno;
        removeTemp();
        return failure(
            QStringLiteral("Cannot move the new store to %1: %2.").arg(path, systemReason(why)));
    }
    // The rename is on disk once the folder is synced; the store's own
    // writes were synced when its transaction ended.
    const int folder = ::open(QFile::encodeName(target.absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return Result{true, {}};
}

} // namespace StoreFile
