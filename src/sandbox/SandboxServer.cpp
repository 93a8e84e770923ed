#include "sandbox/SandboxServer.h"

#include <QDate>

#include <httplib.h>

SandboxServer::SandboxServer(const SandboxOptions &options, SandboxGateway *gateway)
    : m_options(options), m_gateway(gateway), m_http(std::make_unique<httplib::Server>())
{
    const httplib::Server::Handler handler = [this](const httplib::Request &request,
                                                    httplib::Response &response) {
        handle(request, response);
    };
    // Matches every path: the target is parsed here, not by the library,
    // whose query parsing would turn "+" into a blank.
    const std::string everything = R"([\s\S]*)";
    m_http->Get(everything, handler);
    m_http->Post(everything, handler);
    m_http->Put(everything, handler);
    m_http->Patch(everything, handler);
    m_http->Delete(everything, handler);
    m_http->Options(everything, handler);
    // Short idle connections, so that stopping does not wait long for them.
    m_http->set_keep_alive_timeout(2);
    m_http->set_payload_max_length(1024 * 1024);
}

SandboxServer::~SandboxServer() = default;

int SandboxServer::bind()
{
    if (m_options.port == 0)
        return m_http->bind_to_any_port("127.0.0.1");
    return m_http->bind_to_port("127.0.0.1", m_options.port) ? m_options.port : -1;
}

bool SandboxServer::serve()
{
    return m_http->listen_after_bind();
}

void SandboxServer::stop()
{
    {
        const std::lock_guard lock(m_stateLock);
        m_stopping = true;
    }
    m_stateChanged.notify_all();
    m_http->stop();
}

bool SandboxServer::pause(std::chrono::milliseconds time)
{
    std::unique_lock lock(m_stateLock);
    if (time.count() < 0)
        m_stateChanged.wait(lock, [this] { return m_stopping; });
    else
        m_stateChanged.wait_for(lock, time, [this] { return m_stopping; });
    return !m_stopping;
}

bool SandboxServer::firstRequestFor(const QByteArray &url)
{
    const std::lock_guard lock(m_stateLock);
    return m_requestedUrls.insert(url).second;
}

void SandboxServer::handle(const httplib::Request &request, httplib::Response &response)
{
    const auto reply = [&response](int status, const QByteArray &body) {
        response.status = status;
        response.set_content(body.toStdString(), "text/plain; charset=windows-1252");
    };

    if (m_options.hang || m_options.delayMs > 0) {
        const auto wait = std::chrono::milliseconds(m_options.hang ? -1 : m_options.delayMs);
        if (!pause(wait)) {
            reply(503, "Stopping\r\n");
            response.set_header("Connection", "close");
            return;
        }
    }
    if (m_options.status != 0) {
        reply(m_options.status, "Status " + QByteArray::number(m_options.status) + "\r\n");
        return;
    }

    SandboxGateway::Request gatewayRequest{
        QByteArray::fromStdString(request.method), QByteArray::fromStdString(request.target),
        QByteArray::fromStdString(request.get_header_value("Host")),
        QByteArray::fromStdString(request.body)};

    if (m_options.failFirst) {
        const RequestTarget target =
            RequestTarget::parse(gatewayRequest.target, gatewayRequest.hostHeader);
        const QByteArray url = "http://" + target.host.toLatin1() + target.path +
                               (target.query.isNull() ? QByteArray() : "?" + target.query);
        if (firstRequestFor(url)) {
            reply(500, "Temporary Failure\r\n");
            response.set_header("Connection", "close");
            return;
        }
    }

    SandboxGateway::Answer answer;
    {
        const std::lock_guard lock(m_gatewayLock);
        answer = m_gateway->answer(gatewayRequest, QDate::currentDate());
    }
    reply(answer.status, answer.body);
}
