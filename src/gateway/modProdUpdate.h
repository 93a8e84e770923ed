#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>

// Talking to the gateway's servers: every request is an HTTP GET whose whole
// request lies in the URL and whose answer is downloaded into a fresh answer
// file, read from there as single-byte text.
namespace modProdUpdate {

// The gateway's central server, fixed when the program is built.
QString centralHost();
// "http://" + central host + "/Validator/"
QString CentralBaseURL();

// The private folder (mode 0700) of answer files inside the system's
// temporary folder, ending in "/"; made when missing, its mode tightened
// when it is looser. Empty when the folder cannot be made or is not ours
// alone (a link, a file, another user's folder); lastFailure() says which.
QString GetTempDir();
// A new, empty answer file (mode 0600) whose name begins with "VRD", or the
// empty string when none could be made (lastFailure() says why). Its name
// carries the process id, so that a later run can tell a crashed run's
// files from a live one's.
QString GetTempFile();
// Why the last answer file or download of this process failed, in words for
// the user ("the temporary folder /tmp/varnell-0 is a symbolic link ..."),
// or empty after a success.
QString lastFailure();
// Removes answer files that runs which have ended left behind.
void sweepStaleAnswerFiles();

// An answer file that is removed when it goes.
class AnswerFile
{
public:
    AnswerFile();
    ~AnswerFile();
    AnswerFile(const AnswerFile &) = delete;
    AnswerFile &operator=(const AnswerFile &) = delete;

    const QString &path() const { return m_path; }
    // What the file holds (at most the largest answer accepted).
    QByteArray readAll() const;

private:
    QString m_path;
};

// The largest answer accepted; a larger one fails the download.
inline constexpr qint64 maxAnswerSize = 16 * 1024 * 1024;
// How long one attempt may take in all: VARNELL_HTTP_TIMEOUT_MS, or 15 s.
std::chrono::milliseconds attemptDeadline();

// GET url into file, replacing its contents; no cached answer is used.
// Pending events are processed (PendingEvents) before each attempt; a failed
// first attempt is tried once more, and nothing else is ever resent. True
// when an attempt succeeded: the server sent a whole answer (as long as it
// announced) with a 2xx status, within the deadline, with no more than
// maxAnswerSize bytes, and the file was written. Only http URLs are fetched;
// redirects are followed only within the same origin.
bool DownloadFile(const QString &url, const QString &file);

// An answer's lines: a line ends at CR, optionally followed by LF. A lone LF
// is part of its line, so a value holding one (a description, an end user's
// name) does not split its product or transaction. An empty answer has no
// line; a final line end adds no empty line.
QList<QByteArray> answerLines(const QByteArray &answer);

// A value as it goes into a query: its Windows-1252 bytes, percent-encoded
// except for the unreserved characters A-Z a-z 0-9 - . _ ~
QString queryValue(const QString &value);

} // namespace modProdUpdate
