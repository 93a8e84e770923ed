#include "gateway/modProdUpdate.h"

#include "BuildConfig.h"
#include "common/Ansi.h"
#include "common/PendingEvents.h"
#include "common/PrivateFolder.h"
#include "gateway/HttpClient.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace modProdUpdate {

namespace {

const char answerPrefix[] = "VRD";

// Why the last request of this process failed.
QString lastFailureText;

// The private folder's path without its final "/": one per user, so that
// nobody else can read the answers or plant files among them.
QString privateFolderPath()
{
    return QDir::tempPath() + QStringLiteral("/varnell-") + QString::number(::geteuid());
}

// How failures name the answer files' folder.
constexpr QLatin1String folderRole("the temporary folder");

// The answer file's name: the prefix, this process's id, a dash and random
// letters ("VRD4711-k3Jx9qTb").
QString answerFileName()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString name = QLatin1String(answerPrefix) + QString::number(::getpid()) + QLatin1Char('-');
    for (int i = 0; i < 8; ++i)
        name += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))]);
    return name;
}

// The process id in an answer file's name, or 0 when the name is not one of
// ours.
pid_t ownerOf(const QString &name)
{
    if (!name.startsWith(QLatin1String(answerPrefix)))
        return 0;
    const qsizetype dash = name.indexOf(QLatin1Char('-'));
    if (dash <= 3)
        return 0;
    const QStringView digits = QStringView(name).mid(3, dash - 3);
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
    }
    bool ok = false;
    const int pid = digits.toInt(&ok);
    return ok && pid > 0 ? pid_t(pid) : 0;
}

bool processExists(pid_t pid)
{
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

// Replaces the answer file's contents with the body. The file is this
// user's own, in a folder nobody else can enter, and is read once and
// removed: a direct write, checked to its end, is all it needs.
bool writeAnswer(const QString &file, const QByteArray &body, QString &error)
{
    const int fd =
        ::open(QFile::encodeName(file).constData(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = QStringLiteral("cannot write the answer file %1: %2")
                    .arg(file, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    qsizetype written = 0;
    while (written < body.size()) {
        const ssize_t n = ::write(fd, body.constData() + written, size_t(body.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = QStringLiteral("cannot write the answer file %1: %2")
                        .arg(file, QString::fromLocal8Bit(std::strerror(n < 0 ? errno : EIO)));
            ::close(fd);
            return false;
        }
        written += n;
    }
    if (::close(fd) != 0) {
        error = QStringLiteral("cannot write the answer file %1: %2")
                    .arg(file, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

// One GET; true when a whole, acceptable answer was written to file. An
// attempt the user or the program's end abandoned sets abandoned.
bool attempt(const QUrl &url, const QString &file, QString &error, bool &abandoned)
{
    Http::Request request;
    request.url = url;
    request.maxAnswerSize = maxAnswerSize;
    request.deadline = attemptDeadline();
    request.followSameOriginRedirects = true;
    const Http::Answer answer = Http::fetch(request);
    abandoned = answer.abandoned;
    if (!answer.complete) {
        error = answer.error;
        return false;
    }
    if (!answer.isSuccess()) {
        error = QStringLiteral("the server answered with status %1").arg(answer.status);
        return false;
    }
    return writeAnswer(file, answer.body, error);
}

} // namespace

QString centralHost()
{
    return QString::fromUtf8(BuildConfig::centralHost);
}

QString CentralBaseURL()
{
    return QStringLiteral("http://") + centralHost() + QStringLiteral("/Validator/");
}

QString GetTempDir()
{
    const QString folder = privateFolderPath();
    const QString problem = PrivateFolder::prepare(folder, folderRole);
    if (!problem.isEmpty()) {
        lastFailureText = problem;
        return QString();
    }
    return folder + QLatin1Char('/');
}

QString GetTempFile()
{
    lastFailureText.clear();
    const QString folder = GetTempDir();
    if (folder.isEmpty())
        return QString();
    for (int tries = 0; tries < 100; ++tries) {
        const QString path = folder + answerFileName();
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            lastFailureText = QStringLiteral("cannot make an answer file in %1: %2")
                                  .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
            return QString();
        }
        // The mode is set outright: a strict umask must not leave the file
        // unwritable for the download.
        const bool ok = ::fchmod(fd, 0600) == 0;
        ::close(fd);
        if (ok)
            return path;
        QFile::remove(path);
        lastFailureText = QStringLiteral("cannot make an answer file in %1").arg(folder);
        return QString();
    }
    lastFailureText = QStringLiteral("cannot make an answer file in %1").arg(folder);
    return QString();
}

QString lastFailure()
{
    return lastFailureText;
}

void sweepStaleAnswerFiles()
{
    const QString folder = privateFolderPath();
    if (!PrivateFolder::checkAndTighten(folder, folderRole).isEmpty())
        return;
    const QDir dir(folder);
    const QStringList names = dir.entryList({QLatin1String(answerPrefix) + QLatin1Char('*')},
                                            QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const pid_t owner = ownerOf(name);
        if (owner == 0 || owner == ::getpid() || processExists(owner))
            continue;
        const QString path = dir.filePath(name);
        struct stat info
        {};
        if (::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode))
            QFile::remove(path);
    }
}

AnswerFile::AnswerFile() : m_path(GetTempFile()) {}

AnswerFile::~AnswerFile()
{
    if (!m_path.isEmpty())
        QFile::remove(m_path);
}

QByteArray AnswerFile::readAll() const
{
    QFile file(m_path);
    if (m_path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(maxAnswerSize);
}

std::chrono::milliseconds attemptDeadline()
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue("VARNELL_HTTP_TIMEOUT_MS", &ok);
    if (ok && value > 0)
        return std::chrono::milliseconds(value);
    return std::chrono::milliseconds(15000);
}

bool DownloadFile(const QString &url, const QString &file)
{
    if (file.isEmpty()) {
        if (lastFailureText.isEmpty())
            lastFailureText = QStringLiteral("no answer file to download into");
        return false;
    }
    lastFailureText.clear();
    const QUrl target(url);
    if (!target.isValid() || target.host().isEmpty() || target.scheme() != QLatin1String("http")) {
        lastFailureText = QStringLiteral("%1 is no http:// address").arg(url);
        return false;
    }
    // Exactly two attempts: the client below never resends on its own. An
    // abandoned wait ends the request, as if both had failed.
    for (int i = 0; i < 2; ++i) {
        PendingEvents::process();
        bool abandoned = false;
        if (attempt(target, file, lastFailureText, abandoned)) {
            lastFailureText.clear();
            return true;
        }
        if (abandoned)
            break;
    }
    return false;
}

QList<QByteArray> answerLines(const QByteArray &answer)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype size = answer.size();
    for (qsizetype i = 0; i < size; ++i) {
        if (answer.at(i) != '\r')
            continue;
        lines.append(answer.mid(start, i - start));
        if (i + 1 < size && answer.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines.append(answer.mid(start));
    return lines;
}

QString queryValue(const QString &value)
{
    return QString::fromLatin1(Ansi::encode(value).toPercentEncoding());
}

} // namespace modProdUpdate
