#pragma once

#include <QString>

// Creating a settings store is the installer's job, never the program's: it
// makes the folder, the file (readable by its owner only), the table and its
// one record. An existing store is replaced only when asked, and atomically.
namespace StoreFile {

struct Result
{
    bool ok = false;
    QString error;
};

Result create(const QString &path, const QString &developerKey, const QString &encryptionKey,
              const QString &password, bool replaceExisting);

// Holds the store's exclusive lock for as long as it lives (used to keep other
// callers out, and by tests to play a second program instance).
class ExclusiveLock
{
public:
    explicit ExclusiveLock(const QString &path);
    ~ExclusiveLock();
    ExclusiveLock(const ExclusiveLock &) = delete;
    ExclusiveLock &operator=(const ExclusiveLock &) = delete;

    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace StoreFile
