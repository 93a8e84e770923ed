#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

#include <sys/types.h>

// The one place where the program writes and reads whole files.
//
// Writing replaces a file whole or not at all: the bytes go to a temporary
// file beside the file to be replaced, every write is checked, the data is
// synced to the disk, and only then is the temporary file renamed over the
// target. On any failure the earlier file is left as it was and the
// temporary file is removed.
//
// Links are followed: writing through a symbolic link replaces the file the
// link points to (through a chain of links, to its end), and the link stays.
// A link that lies in a folder that everybody may write to and that has the
// sticky bit (such as /tmp) is followed only when it belongs to the caller
// or to the folder's owner, as the kernel's protected_symlinks rule has it:
// otherwise anyone could make the program overwrite another user's file.
//
// A new file is created readable and writable by its owner only (0600),
// whatever the umask; a replaced file keeps its mode.
namespace SafeFile {

struct Result
{
    bool ok = true;
    // The system's error number (errno) of the step that failed.
    int errorCode = 0;
    // Why it failed. A write names the path: "Cannot write PATH: reason".
    QString error;

    explicit operator bool() const { return ok; }
};

struct Options
{
    // The file ends up 0600 even when it existed with a looser mode (for
    // private keys).
    bool ownerOnly = false;
};

// One file being written: a temporary file beside its target, renamed over
// the target by replace(). The steps are separate so that several files can
// be written first, synced together and then put in place one after another.
// Each step fails at once after an earlier failure; result() tells the first.
class PendingFile
{
public:
    // Follows the links of path (see above) and creates the temporary file.
    explicit PendingFile(const QString &path, Options options = {});
    // Removes the temporary file unless it replaced the target.
    ~PendingFile();
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    bool write(QByteArrayView bytes);
    // Syncs the data written to the disk and closes the temporary file.
    bool sync();
    // Closes the temporary file without syncing it: a Batch syncs many such
    // files at once.
    bool closeUnsynced();
    // Renames the temporary file over the target, then syncs the folder
    // (unless told that the caller syncs it). Call it only after the data
    // was synced, by sync() or by a Batch.
    bool replace(bool syncFolder = true);

    const Result &result() const { return m_result; }
    // The folder the file goes into, and the temporary file's path.
    QByteArray folder() const;
    QByteArray temporaryPath() const { return m_temporary; }

private:
    bool fail(int errorCode, const QString &reason = QString());

    QString m_path; // as the caller named it, for messages
    QByteArray m_target;
    QByteArray m_temporary;
    int m_fd = -1;
    dev_t m_device = 0; // the file system the file is written on
    qint64 m_written = 0;
    bool m_synced = false;
    Result m_result;

    friend class Batch;
};

// Many files written as one batch, made durable with one sync instead of one
// per file (the way git's batch mode does it): each file is written under a
// temporary name beside its target; commit() syncs the file systems they lie
// on once, then renames each into place and syncs each folder once. A crash
// or a kill part-way leaves whole files under their names, or temporary
// names, never a half-written file under its final name.
class Batch
{
public:
    Batch();
    ~Batch();
    Batch(const Batch &) = delete;
    Batch &operator=(const Batch &) = delete;

    // Writes one file of the batch, not yet in place. A failure concerns
    // that file alone; the file is then not part of the batch.
    Result add(const QString &path, QByteArrayView bytes, Options options = {});
    // Syncs what was added and puts it in place. On a failed sync nothing
    // is put in place and the temporary files are removed.
    Result commit();
    qsizetype size() const;

private:
    std::vector<std::unique_ptr<PendingFile>> m_files;
    // The files' real targets (links followed), with the names given.
    QHash<QString, QString> m_targets;
};

// Writes a whole file: a PendingFile written, synced and put in place.
Result write(const QString &path, QByteArrayView bytes, Options options = {});

// Creates a folder and the folders above it that are missing, each with at
// most the given mode (whatever the umask); folders that exist are left as
// they are. Fails when a part of the path is no folder.
Result createFolders(const QString &path, mode_t mode);

// Reads a regular file whole into bytes. Anything else (a FIFO, a device, a
// folder) is refused at once: reading a FIFO would wait for a writer that may
// never come. A file larger than maxBytes is refused unread, with EFBIG. On
// a read error, bytes holds what was read before it. The error gives the
// reason without the path.
Result readRegular(const QString &path, qint64 maxBytes, QByteArray &bytes);

// A size as "64 MiB", "16 KiB" or "100 bytes".
QString sizeText(qint64 bytes);

// A failure that the writer plays instead of the system's, for tests of what
// callers do on a full disk or a failing device: a write fails with
// errorCode once afterBytes bytes of the file were written (the bytes before
// that are written), or the sync fails. In force until cleared with nullopt.
struct Fault
{
    enum class Step
    {
        Write,
        Sync
    };
    Step step = Step::Write;
    qint64 afterBytes = 0;
    int errorCode = 0;
};
void setFault(std::optional<Fault> fault);

} // namespace SafeFile
