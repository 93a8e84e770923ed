#include "shell/NameOnlyIconProvider.h"

#include <QFileIconProvider>
#include <QFileInfo>

NameOnlyIconProvider::NameOnlyIconProvider()
{
    const QFileIconProvider standard;
    m_file = standard.icon(File);
    m_folder = standard.icon(Folder);
    m_drive = standard.icon(Drive);
    m_computer = standard.icon(Computer);
}

QIcon NameOnlyIconProvider::icon(IconType type) const
{
    switch (type) {
    case Computer:
        return m_computer;
    case Drive:
        return m_drive;
    case Folder:
        return m_folder;
    default:
        return m_file;
    }
}

QIcon NameOnlyIconProvider::icon(const QFileInfo &info) const
{
    if (info.isRoot())
        return m_drive;
    return info.isDir() ? m_folder : m_file;
}

QString NameOnlyIconProvider::type(const QFileInfo &info) const
{
    if (info.isDir())
        return QAbstractFileIconProvider::type(info);
    return m_types.mimeTypeForFile(info, QMimeDatabase::MatchExtension).comment();
}
