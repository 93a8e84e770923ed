#include "shell/AppIcon.h"

#include "BuildConfig.h"

#include <QDir>
#include <QFileInfo>

namespace AppIcon {

QIcon icon()
{
    // One file per size ("16.png"). A window's icon is drawn at 64 pixels
    // at most (title bar, task bar, window switcher); the launcher takes the
    // installed icons. Each image is decoded once, when the icon is first
    // asked for: an icon reads every file it is given.
    static const QIcon images = [] {
        QIcon made;
        const QDir folder(QStringLiteral(":/appicon"));
        const QStringList files = folder.entryList(QDir::Files);
        for (const QString &file : files) {
            const int side = QFileInfo(file).completeBaseName().toInt();
            if (side > 0 && side <= 64)
                made.addFile(folder.filePath(file), QSize(side, side));
        }
        return made;
    }();
    return images;
}

QString desktopId()
{
    return QString::fromUtf8(BuildConfig::appId);
}

} // namespace AppIcon
