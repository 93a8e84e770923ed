#pragma once

#include <QString>
#include <QStringList>

class RegistrySettings;

// The record files opened last, newest first, kept in the user's settings
// file beside the window's placement as RecentFile1, RecentFile2 and so on.
namespace RecentFiles {

inline constexpr int maxCount = 6;

// The stored list: empty entries skipped, at most maxCount.
QStringList read(const RegistrySettings &settings);
// The list with path in front, an earlier mention of it dropped, cut to
// maxCount.
QStringList added(QStringList list, const QString &path);
// Stores the list, removing the entries that it no longer fills.
void write(RegistrySettings &settings, const QStringList &list);

} // namespace RecentFiles
