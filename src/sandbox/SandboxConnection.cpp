#include "sandbox/SandboxConnection.h"

#include <QDateTime>
#include <QLocale>
#include <QTcpSocket>

#include <sys/socket.h>

namespace {

// What the socket keeps of a client's bytes while a request is handled or
// answered: beyond it, the client waits, and the memory of one connection
// stays bounded.
constexpr qint64 readBufferSize = 64 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    case 505:
        return "HTTP Version Not Supported";
    }
    return status < 400 ? "Status" : "Error";
}

int statusFor(Http::MessageReader::Failure failure)
{
    using Failure = Http::MessageReader::Failure;
    switch (failure) {
    case Failure::HeadTooLarge:
        return 431;
    case Failure::BodyTooLarge:
        return 413;
    case Failure::Unsupported:
        return 501;
    case Failure::None:
    case Failure::Malformed:
    case Failure::Truncated:
        break;
    }
    return 400;
}

// True when one of the Connection headers names the option (such as
// "close" or "keep-alive").
bool hasConnectionOption(const Http::Head &head, QByteArrayView option)
{
    for (const QByteArray &value : head.values("Connection")) {
        for (const QByteArray &name : value.split(',')) {
            if (name.trimmed().compare(option, Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
}

QByteArray httpDate()
{
    return QLocale::c()
               .toString(QDateTime::currentDateTimeUtc(),
                         QStringLiteral("ddd, dd MMM yyyy hh:mm:ss"))
               .toLatin1() +
           " GMT";
}

QString seconds(std::chrono::milliseconds time)
{
    return QString::number(double(time.count()) / 1000.0);
}

} // namespace

SandboxConnection::SandboxConnection(QTcpSocket *socket, const Limits &limits, QObject *parent)
    : QObject(parent), m_socket(socket), m_limits(limits)
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(readBufferSize);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SandboxConnection::timeUp);
    connect(m_socket, &QTcpSocket::readyRead, this, &SandboxConnection::readAvailable);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &SandboxConnection::written);
    connect(m_socket, &QTcpSocket::disconnected, this, &SandboxConnection::finish);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &SandboxConnection::finish);
    enter(State::Idle);
    readAvailable();
}

SandboxConnection::~SandboxConnection()
{
    m_socket->disconnect(this);
}

void SandboxConnection::enter(State state)
{
    m_state = state;
    m_since = std::chrono::steady_clock::now();
    switch (state) {
    case State::Idle:
        m_timer.start(m_limits.idleTime);
        break;
    case State::Reading:
        m_timer.start(m_limits.requestTime);
        break;
    case State::Handling:
        // The server decides how long an answer takes (--delay-ms, --hang).
        m_timer.stop();
        break;
    case State::Writing:
        m_timer.start(m_limits.writeTime);
        break;
    case State::Closing:
        m_timer.start(m_limits.lingerTime);
        break;
    }
}

void SandboxConnection::readAvailable()
{
    if (m_state == State::Closing) {
        m_socket->readAll();
        return;
    }
    // While a request is handled or answered, what follows it waits in the
    // socket's bounded buffer.
    if (m_state == State::Idle || m_state == State::Reading)
        readRequests();
}

void SandboxConnection::readRequests()
{
    while (m_state == State::Idle || m_state == State::Reading) {
        const QByteArray bytes =
            m_pending.isEmpty() ? m_socket->read(readBufferSize) : std::exchange(m_pending, {});
        if (bytes.isEmpty())
            return;
        if (m_state == State::Idle) {
            m_reader = std::make_unique<Http::MessageReader>(Http::MessageReader::Kind::Request,
                                                             m_limits.maxBodySize);
            m_continueSent = false;
            enter(State::Reading);
        }
        switch (m_reader->feed(bytes)) {
        case Http::MessageReader::State::Head:
            break;
        case Http::MessageReader::State::Body: {
            // A client that waits for leave to send its body gets it now;
            // one whose body is too large has been refused already.
            const Http::Head &head = m_reader->head();
            if (!m_continueSent && head.third == "HTTP/1.1" &&
                head.value("Expect").compare("100-continue", Qt::CaseInsensitive) == 0) {
                m_continueSent = true;
                m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
            }
            break;
        }
        case Http::MessageReader::State::Complete:
            m_pending = m_reader->remainder();
            requestComplete();
            break;
        case Http::MessageReader::State::Failed:
            refuse(statusFor(m_reader->failure()), m_reader->error());
            break;
        }
    }
}

void SandboxConnection::requestComplete()
{
    const Http::Head &head = m_reader->head();
    m_method = head.first;
    m_http10 = head.third == "HTTP/1.0";
    if (head.third != "HTTP/1.1" && !m_http10) {
        refuse(505, QStringLiteral("only HTTP/1.1 and HTTP/1.0 are served"));
        return;
    }
    m_closeAfterAnswer =
        m_http10 ? !hasConnectionOption(head, "keep-alive") : hasConnectionOption(head, "close");
    enter(State::Handling);
    emit requestReceived(head, m_reader->body());
}

void SandboxConnection::refuse(int status, const QString &why)
{
    if (m_method.isEmpty() && m_reader && m_reader->state() != Http::MessageReader::State::Head)
        m_method = m_reader->head().first;
    enter(State::Handling);
    answer(status, reasonPhrase(status) + ": " + why.toUtf8() + "\r\n", true);
}

void SandboxConnection::answer(int status, const QByteArray &body, bool close)
{
    if (m_state != State::Handling)
        return;
    m_closeAfterAnswer = m_closeAfterAnswer || close;
    const bool hasBody = status != 204 && status != 304;
    QByteArray message = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
                         "\r\nDate: " + httpDate() +
                         "\r\nContent-Type: text/plain; charset=windows-1252\r\n";
    if (hasBody)
        message += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (m_closeAfterAnswer)
        message += "Connection: close\r\n";
    else if (m_http10)
        message += "Connection: keep-alive\r\n";
    message += "\r\n";
    if (hasBody && m_method != "HEAD")
        message += body;
    m_method.clear();
    enter(State::Writing);
    m_socket->write(message);
}

void SandboxConnection::written()
{
    if (m_state != State::Writing || m_socket->bytesToWrite() > 0)
        return;
    if (m_closeAfterAnswer) {
        // Everything is with the system: send the end of the stream after
        // it, and drop what the client still sends until it closes too.
        enter(State::Closing);
        ::shutdown(int(m_socket->socketDescriptor()), SHUT_WR);
        m_socket->readAll();
        return;
    }
    m_reader.reset();
    enter(State::Idle);
    readRequests();
}

void SandboxConnection::timeUp()
{
    if (m_state == State::Reading)
        refuse(408, QStringLiteral("the request did not come whole within %1 s")
                        .arg(seconds(m_limits.requestTime)));
    else
        finish();
}

void SandboxConnection::abort()
{
    finish();
}

void SandboxConnection::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_timer.stop();
    m_socket->disconnect(this);
    m_socket->abort();
    emit closed();
    deleteLater();
}
