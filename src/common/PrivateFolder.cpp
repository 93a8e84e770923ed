#include "common/PrivateFolder.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateFolder {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString prepare(const QString &folder, const QString &role)
{
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("%1 %2 cannot be made: %3").arg(role, folder, systemError());
    return checkAndTighten(folder, role);
}

QString checkAndTighten(const QString &folder, const QString &role)
{
    struct stat info
    {};
    const QByteArray native = QFile::encodeName(folder);
    if (::lstat(native.constData(), &info) != 0)
        return QStringLiteral("%1 %2 cannot be used: %3").arg(role, folder, systemError());
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("%1 %2 is a symbolic link, not a folder of this user's own")
            .arg(role, folder);
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("%1 %2 is not a folder").arg(role, folder);
    if (info.st_uid != ::geteuid())
        return QStringLiteral("%1 %2 belongs to another user").arg(role, folder);
    if ((info.st_mode & 0777) != 0700 && ::chmod(native.constData(), 0700) != 0)
        return QStringLiteral("%1 %2 cannot be made private: %3").arg(role, folder, systemError());
    return QString();
}

} // namespace PrivateFolder
