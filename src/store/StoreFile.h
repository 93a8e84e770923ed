#pragma once

#include <QString>

// Creating a settings store is the installer's job, never the program's: it
// makes the folder (0755 at most), the file (readable by its owner only), the
// table and its one record. An existing store is replaced only when asked,
// and atomically: the new store is built beside it as ".vemtu-new-<pid>" and
// renamed into place.
namespace StoreFile {

struct Result
{
    bool ok = false;
    QString error;
};

Result create(const QString &path, const QString &developerKey, const QString &encryptionKey,
              const QString &password, bool replaceExisting);

// Removes from the folder the new stores, and their journals, that a killed
// installer left behind: regular files named ".vemtu-new-<pid>" or
// ".vemtu-new-<pid>-journal" whose process no longer runs. Links and other
// names are left alone.
void removeLeftovers(const QString &folder);

// Holds the store's exclusive lock for as long as it lives (used to keep other
// callers out, and by tests to play a second program instance). Taking the
// lock also removes the installer's leftovers from the store's folder.
class ExclusiveLock
{
public:
    enum class Trust
    {
        // The store's values steer where requests and packets go: a file
        // another user could have written or swapped in is refused, as ssh
        // refuses loose key files. Its owner must be root or the caller,
        // and neither it nor its folder may be writable by other users (a
        // sticky folder, whose files others cannot replace, may be).
        Required,
        // Only for replacing the store with a new one of the caller's own.
        NotRequired
    };

    explicit ExclusiveLock(const QString &path, Trust trust = Trust::Required);
    ~ExclusiveLock();
    ExclusiveLock(const ExclusiveLock &) = delete;
    ExclusiveLock &operator=(const ExclusiveLock &) = delete;

    bool held() const { return m_fd >= 0; }
    // Why the lock is not held: "the file is locked by another process",
    // "No such file or directory" and the like.
    QString failure() const { return m_failure; }

private:
    int m_fd = -1;
    QString m_failure;
};

} // namespace StoreFile
