#pragma once

#include "sandbox/SandboxGateway.h"
#include "sandbox/SandboxOptions.h"

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

// The HTTP side of the sandbox: listens on the loopback address only, takes
// every method and every request target (origin-form and absolute-form
// alike), applies the fault switches and hands the rest to the gateway.
class SandboxServer
{
public:
    SandboxServer(const SandboxOptions &options, SandboxGateway *gateway);
    ~SandboxServer();

    SandboxServer(const SandboxServer &) = delete;
    SandboxServer &operator=(const SandboxServer &) = delete;

    // Binds 127.0.0.1 at the options' port; the port bound, or -1.
    int bind();

    // Answers requests until stop(); false when it could not serve.
    bool serve();

    // Safe from any thread: ends serve() and lets go of the requests that
    // --hang or --delay-ms hold back.
    void stop();

private:
    void handle(const httplib::Request &request, httplib::Response &response);
    // Waits for the time given, or for ever when it is negative; false when
    // the server was stopped meanwhile.
    bool pause(std::chrono::milliseconds time);
    bool firstRequestFor(const QByteArray &url);

    SandboxOptions m_options;
    SandboxGateway *m_gateway;
    std::unique_ptr<httplib::Server> m_http;

    std::mutex m_gatewayLock;
    std::mutex m_stateLock;
    std::condition_variable m_stateChanged;
    bool m_stopping = false;
    std::set<QByteArray> m_requestedUrls;
};
