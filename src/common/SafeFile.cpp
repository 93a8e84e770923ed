#include "common/SafeFile.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeFile {

bool write(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error)
        *error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
    return false;
}

bool readRegular(const QString &path, qint64 maxBytes, QByteArray &bytes, QString *error)
{
    bytes.clear();
    const auto refuse = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return refuse(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return refuse(S_ISDIR(status.st_mode) ? QStringLiteral("is a folder")
                                              : QStringLiteral("not a regular file"));
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return refuse(file.errorString());
    }
    // Read in pieces, so that a read error keeps what came before it.
    constexpr qint64 piece = 1 << 20;
    while (bytes.size() < maxBytes) {
        const QByteArray more = file.read(std::min(piece, maxBytes - bytes.size()));
        if (file.error() != QFileDevice::NoError)
            return refuse(file.errorString());
        if (more.isEmpty())
            break;
        bytes += more;
    }
    return true;
}

} // namespace SafeFile
