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
// temporary folder, ending in "/"; made when missing.
QString GetTempDir();
// A new, empty answer file (mode 0600) whose name begins with "VRD", or the
// empty string when none could be made.
QString GetTempFile();
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
// first attempt is tried once more. True when an attempt succeeded.
bool DownloadFile(const QString &url, const QString &file);

// An answer's lines: a line ends at CR (optionally followed by LF) or at LF.
QList<QByteArray> answerLines(const QByteArray &answer);

} // namespace modProdUpdate
