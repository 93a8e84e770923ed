#include "store/RecentFiles.h"

#include "store/RegistrySettings.h"

namespace RecentFiles {

namespace {

QString key(int n)
{
    return QStringLiteral("RecentFile%1").arg(n);
}

} // namespace

QStringList read(const RegistrySettings &settings)
{
    QStringList list;
    for (int n = 1; n <= maxCount; ++n) {
        const QString path = settings.read(key(n));
        if (!path.isEmpty() && !list.contains(path))
            list.append(path);
    }
    return list;
}

QStringList added(QStringList list, const QString &path)
{
    list.removeAll(path);
    list.prepend(path);
    return list.mid(0, maxCount);
}

void write(RegistrySettings &settings, const QStringList &list)
{
    for (int n = 1; n <= maxCount; ++n) {
        if (n <= list.size())
            settings.write(key(n), list.at(n - 1));
        else
            settings.remove(key(n));
    }
}

} // namespace RecentFiles
