#include "gateway/modProdUpdate.h"

#include "BuildConfig.h"
#include "common/Ansi.h"
#include "common/PendingEvents.h"
#include "common/SafeFile.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>

#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace modProdUpdate {

namespace {

const char answerPrefix[] = "VRD";

// The proxy the desktop is set up for (http_proxy and no_proxy in the
// environment, or the desktop's own settings), asked for every request
// whatever the application-wide proxy setting says.
class SystemProxyFactory final : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        return systemProxyForQuery(query);
    }
};

// The private folder's path without its final "/": one per user, so that
// nobody else can read the answers or plant files among them.
QString privateFolderPath()
{
    return QDir::tempPath() + QStringLiteral("/varnell-") + QString::number(::geteuid());
}

// Checks that the folder is a real folder of ours that nobody else can
// enter, tightening its mode when only that is wrong.
bool isPrivateFolder(const QByteArray &native)
{
    struct stat info
    {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid())
        return false;
    return (info.st_mode & 0777) == 0700 || ::chmod(native.constData(), 0700) == 0;
}

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

// One GET; true when a whole, acceptable answer was written to file.
bool attempt(const QUrl &url, const QString &file)
{
    QNetworkAccessManager manager;
    manager.setProxyFactory(new SystemProxyFactory);

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setRawHeader("Cache-Control", "no-cache");
    request.setRawHeader("Pragma", "no-cache");
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QByteArray(QByteArray("Varnell-Decryptor/") + BuildConfig::versionString));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);

    QNetworkReply *reply = manager.get(request);
    QByteArray body;
    bool refused = false; // too large, or out of time
    const auto refuse = [&] {
        refused = true;
        reply->abort();
    };
    const auto take = [&] {
        if (refused)
            return;
        body += reply->readAll();
        if (body.size() > maxAnswerSize)
            refuse();
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [&] {
        bool known = false;
        const qint64 length =
            reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && length > maxAnswerSize)
            refuse();
    });
    QObject::connect(reply, &QIODevice::readyRead, reply, take);

    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, refuse);
    deadline.start(attemptDeadline());

    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    deadline.stop();
    take();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool ok =
        !refused && reply->error() == QNetworkReply::NoError && status >= 200 && status < 300;
    delete reply;
    return ok && SafeFile::write(file, body);
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
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    return isPrivateFolder(native) ? folder + QLatin1Char('/') : QString();
}

QString GetTempFile()
{
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
            return QString();
        }
        // The mode is set outright: a strict umask must not leave the file
        // unwritable for the download.
        const bool ok = ::fchmod(fd, 0600) == 0;
        ::close(fd);
        if (ok)
            return path;
        QFile::remove(path);
        return QString();
    }
    return QString();
}

void sweepStaleAnswerFiles()
{
    const QString folder = privateFolderPath();
    if (!isPrivateFolder(QFile::encodeName(folder)))
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
    const QUrl target(url);
    const QString scheme = target.scheme();
    if (file.isEmpty() || !target.isValid() || target.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return false;
    for (int i = 0; i < 2; ++i) {
        PendingEvents::process();
        if (attempt(target, file))
            return true;
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
