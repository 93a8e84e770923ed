#include "common/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeFile {

namespace {

std::optional<Fault> injected;

// Links followed at most, as the kernel does before it gives ELOOP.
constexpr int maxLinks = 40;

QString systemReason(int errorCode)
{
    return QString::fromLocal8Bit(std::strerror(errorCode));
}

Result failure(int errorCode, const QString &error)
{
    return Result{false, errorCode, error};
}

// The folder part of a native path: "." for a bare name, "/" for "/name".
QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// A folder that everybody may write to and that has the sticky bit: only
// the owner of an entry may remove or rename it, but anyone may add one.
bool isSharedFolder(const struct stat &folder)
{
    return (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
}

} // namespace

PendingFile::PendingFile(const QString &path, Options options) : m_path(path)
{
    QByteArray current = QFile::encodeName(path);
    if (current.isEmpty()) {
        fail(ENOENT);
        return;
    }
    bool exists = false;
    mode_t mode = 0600;
    for (int links = 0;; ++links) {
        if (links > maxLinks) {
            fail(ELOOP);
            return;
        }
        struct stat status = {};
        if (::lstat(current.constData(), &status) != 0) {
            if (errno != ENOENT) {
                fail(errno);
                return;
            }
            break; // a new file, or the end of a dangling link
        }
        if (S_ISREG(status.st_mode)) {
            // A file its owner made read-only is not replaced behind their
            // back, although the folder would allow the rename.
            if (::faccessat(AT_FDCWD, current.constData(), W_OK, AT_EACCESS) != 0) {
                fail(errno);
                return;
            }
            exists = true;
            mode = status.st_mode & 0777;
            break;
        }
        if (S_ISDIR(status.st_mode)) {
            fail(EISDIR);
            return;
        }
        if (!S_ISLNK(status.st_mode)) {
            fail(EINVAL, QStringLiteral("not a regular file"));
            return;
        }
        const QByteArray folder = folderOf(current);
        struct stat folderStatus = {};
        if (::stat(folder.constData(), &folderStatus) != 0) {
            fail(errno);
            return;
        }
        if (isSharedFolder(folderStatus) && status.st_uid != ::geteuid() &&
            status.st_uid != folderStatus.st_uid) {
            fail(EPERM, QStringLiteral("%1 is a link in the shared folder %2 and belongs to "
                                       "another user; such links are not followed")
                            .arg(QFile::decodeName(current), QFile::decodeName(folder)));
            return;
        }
        QByteArray link(qMax<qsizetype>(qsizetype(status.st_size), 255) + 1, Qt::Uninitialized);
        const ssize_t length = ::readlink(current.constData(), link.data(), size_t(link.size()));
        if (length < 0) {
            fail(errno);
            return;
        }
        if (length >= link.size()) {
            fail(ENAMETOOLONG); // the link changed while it was read
            return;
        }
        link.truncate(length);
        current = link.startsWith('/') ? link : folder + '/' + link;
    }
    m_target = current;
    if (options.ownerOnly || !exists)
        mode = 0600;

    // A long name is cut so that the temporary name stays within the limit.
    QByteArray temporary = folderOf(m_target) + "/." + nameOf(m_target).left(200) + ".XXXXXX";
    m_fd = ::mkostemp(temporary.data(), O_CLOEXEC); // 0600, never an existing file
    if (m_fd < 0) {
        fail(errno);
        return;
    }
    m_temporary = temporary;
    struct stat created = {};
    if (::fchmod(m_fd, mode) != 0 || ::fstat(m_fd, &created) != 0)
        fail(errno);
    m_device = created.st_dev;
}

PendingFile::~PendingFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
}

bool PendingFile::fail(int errorCode, const QString &reason)
{
    if (m_result.ok)
        m_result = failure(errorCode,
                           QStringLiteral("Cannot write %1: %2")
                               .arg(m_path, reason.isEmpty() ? systemReason(errorCode) : reason));
    return false;
}

bool PendingFile::write(QByteArrayView bytes)
{
    if (!m_result.ok)
        return false;
    if (m_fd < 0)
        return fail(EBADF);
    const char *data = bytes.data();
    qint64 left = bytes.size();
    while (left > 0) {
        qint64 piece = left;
        if (injected && injected->step == Fault::Step::Write) {
            const qint64 room = std::max<qint64>(0, injected->afterBytes - m_written);
            if (room == 0)
                return fail(injected->errorCode);
            piece = std::min(piece, room);
        }
        const ssize_t written = ::write(m_fd, data, size_t(piece));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return fail(errno);
        if (written == 0)
            return fail(EIO);
        data += written;
        left -= written;
        m_written += written;
    }
    return true;
}

bool PendingFile::sync()
{
    if (!m_result.ok)
        return false;
    if (m_fd < 0)
        return fail(EBADF);
    if (injected && injected->step == Fault::Step::Sync)
        return fail(injected->errorCode);
    // A full disk or a failing device shows at the latest here: written
    // data may still sit in the page cache until it is synced.
    if (::fsync(m_fd) != 0)
        return fail(errno);
    const int closed = ::close(m_fd);
    m_fd = -1;
    // After EINTR the descriptor is closed all the same on Linux.
    if (closed != 0 && errno != EINTR)
        return fail(errno);
    m_synced = true;
    return true;
}

bool PendingFile::closeUnsynced()
{
    if (!m_result.ok)
        return false;
    if (m_fd < 0)
        return fail(EBADF);
    // Not synced here: the batch's one sync writes out and waits for all of
    // its files at once, which costs far less than starting each on its own.
    const int closed = ::close(m_fd);
    m_fd = -1;
    if (closed != 0 && errno != EINTR)
        return fail(errno);
    return true;
}

QByteArray PendingFile::folder() const
{
    return folderOf(m_target);
}

namespace {

void syncFolderOf(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool PendingFile::replace(bool syncFolder)
{
    if (!m_result.ok)
        return false;
    if (!m_synced)
        return fail(EINVAL, QStringLiteral("the data was not synced before the file was replaced"));
    if (::rename(m_temporary.constData(), m_target.constData()) != 0)
        return fail(errno);
    m_temporary.clear();
    // The rename is on disk once its folder is synced. A failure here is not
    // reported: the new file is in place and the earlier one gone, so
    // telling the caller that the write failed would be untrue.
    if (syncFolder)
        syncFolderOf(folderOf(m_target));
    return true;
}

Batch::Batch() = default;
Batch::~Batch() = default;

qsizetype Batch::size() const
{
    return qsizetype(m_files.size());
}

Result Batch::add(const QString &path, QByteArrayView bytes, Options options)
{
    auto file = std::make_unique<PendingFile>(path, options);
    // Two names that end at the same file (through a link) would have the
    // second replace the first when the batch is put in place.
    const QString target =
        QDir::cleanPath(QFileInfo(QFile::decodeName(file->m_target)).absoluteFilePath());
    if (const auto earlier = m_targets.constFind(target);
        file->result() && earlier != m_targets.cend())
        return failure(EEXIST, QStringLiteral("Cannot write %1: %2, another file of the same "
                                              "batch, is written there")
                                   .arg(path, earlier.value()));
    if (file->write(bytes) && file->closeUnsynced()) {
        m_targets.insert(target, path);
        m_files.push_back(std::move(file));
    }
    return file ? file->result() : Result{};
}

Result Batch::commit()
{
    std::vector<std::unique_ptr<PendingFile>> files = std::move(m_files);
    m_files.clear();
    m_targets.clear();
    // One sync per file system the batch lies on: syncfs() writes out and
    // waits for every file written there, and reports a write-back error
    // (a full disk, a failing device) of any of them.
    std::vector<dev_t> synced;
    for (const auto &file : files) {
        if (std::find(synced.begin(), synced.end(), file->m_device) != synced.end())
            continue;
        int error = 0;
        const int fd = ::open(file->folder().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            error = errno;
        else if (injected && injected->step == Fault::Step::Sync)
            error = injected->errorCode;
        else if (::syncfs(fd) != 0)
            error = errno;
        if (fd >= 0)
            ::close(fd);
        if (error != 0)
            return failure(error, QStringLiteral("Cannot write the files in %1: %2")
                                      .arg(QFile::decodeName(file->folder()), systemReason(error)));
        synced.push_back(file->m_device);
    }
    // The renames are made durable by a sync of each folder, also those
    // made before a rename that failed.
    std::vector<QByteArray> folders;
    Result result;
    for (const auto &file : files) {
        file->m_synced = true;
        if (!file->replace(false)) {
            result = file->result();
            break;
        }
        if (std::find(folders.begin(), folders.end(), file->folder()) == folders.end())
            folders.push_back(file->folder());
    }
    for (const QByteArray &folder : folders)
        syncFolderOf(folder);
    return result;
}

Result write(const QString &path, QByteArrayView bytes, Options options)
{
    PendingFile file(path, options);
    file.write(bytes) && file.sync() && file.replace();
    return file.result();
}

Result createFolders(const QString &path, mode_t mode)
{
    const QByteArray native =
        QFile::encodeName(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    for (qsizetype end = native.indexOf('/', 1);; end = native.indexOf('/', end + 1)) {
        const QByteArray folder = end < 0 ? native : native.left(end);
        const auto refuse = [&folder](int errorCode) {
            return failure(errorCode, QStringLiteral("Cannot create the folder %1: %2")
                                          .arg(QFile::decodeName(folder), systemReason(errorCode)));
        };
        struct stat status = {};
        if (::mkdir(folder.constData(), mode) == 0) {
            // The mode asked for is the most the folder gets, even where a
            // default ACL stands in for the umask.
            if (::stat(folder.constData(), &status) != 0)
                return refuse(errno);
            if ((status.st_mode & 0777 & ~mode) &&
                ::chmod(folder.constData(), status.st_mode & (07000 | mode)) != 0)
                return refuse(errno);
        } else {
            const int why = errno == EEXIST ? ENOTDIR : errno;
            if (::stat(folder.constData(), &status) != 0 || !S_ISDIR(status.st_mode))
                return refuse(why);
        }
        if (end < 0)
            return Result{};
    }
}

Result readRegular(const QString &path, qint64 maxBytes, QByteArray &bytes)
{
    bytes.clear();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return failure(errno, systemReason(errno));
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return S_ISDIR(status.st_mode) ? failure(EISDIR, QStringLiteral("is a folder"))
                                       : failure(EINVAL, QStringLiteral("not a regular file"));
    }
    const Result tooLarge =
        failure(EFBIG, QStringLiteral("the file is larger than %1").arg(sizeText(maxBytes)));
    if (status.st_size > maxBytes) {
        ::close(fd);
        return tooLarge;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return failure(EIO, file.errorString());
    }
    // Read in pieces, so that a read error keeps what came before it. One
    // byte more than allowed shows a file that grew, or whose size the
    // system does not tell (as in /proc), beyond the limit.
    constexpr qint64 piece = 1 << 20;
    while (bytes.size() <= maxBytes) {
        errno = 0;
        const QByteArray more = file.read(std::min(piece, maxBytes + 1 - bytes.size()));
        if (file.error() != QFileDevice::NoError)
            return failure(errno != 0 ? errno : EIO, file.errorString());
        if (more.isEmpty())
            return Result{};
        bytes += more;
    }
    bytes.clear();
    return tooLarge;
}

QString sizeText(qint64 bytes)
{
    constexpr qint64 kib = 1024;
    if (bytes > 0 && bytes % (kib * kib) == 0)
        return QStringLiteral("%1 MiB").arg(bytes / (kib * kib));
    if (bytes > 0 && bytes % kib == 0)
        return QStringLiteral("%1 KiB").arg(bytes / kib);
    return QStringLiteral("%1 bytes").arg(bytes);
}

void setFault(std::optional<Fault> fault)
{
    injected = fault;
}

} // namespace SafeFile
