#include "shell/AppIcon.h"

#include "BuildConfig.h"

#include <QDir>

namespace AppIcon {

QIcon icon()
{
    // One file per size; the icon picks the nearest for each use.
    QIcon images;
    const QDir folder(QStringLiteral(":/appicon"));
    const QStringList files = folder.entryList(QDir::Files);
    for (const QString &file : files)
        images.addFile(folder.filePath(file));
    return images;
}

QString desktopId()
{
    return QString::fromUtf8(BuildConfig::appId);
}

} // namespace AppIcon
