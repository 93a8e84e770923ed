// The desktop program's start as a user meets it, in whole processes,
// offscreen: from the start of the process until its window has been shown
// and painted once (VARNELL_QUIT_WHEN_SHOWN ends it there), with a settings
// store made by the installer's code and the gateway played by a loopback
// server of this benchmark. Beside it, as the floor, an empty Qt window with
// the same five tabs (empty_window). The year fetched at start-up is empty,
// then 100,000 transactions. The starts of the three take turns, so that
// the machine's other work weighs on each alike; each figure is the median
// of the starts: wall time, and the peak resident size of the process.
//
//   bench_startup [OTHER-PROGRAM]
//
// times another build of the program as well (one from before a change,
// say), in the same turns.
#include "StatisticsAnswer.h"
#include "store/StoreFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int starts = 7;

// Answers every request on 127.0.0.1, one connection at a time: the
// statistics page with the answer set, anything else (the server probe)
// with "OK".
class LoopbackGateway
{
public:
    LoopbackGateway()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 ||
            ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            ::listen(m_listener, 16) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }

    ~LoopbackGateway()
    {
        m_stop = true;
        if (m_listener >= 0)
            ::shutdown(m_listener, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener >= 0)
            ::close(m_listener);
    }

    int port() const { return m_port; }
    int statisticsRequests() const { return m_statisticsRequests; }
    void setAnswer(const QByteArray &answer)
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_answer = answer;
    }

private:
    void serve()
    {
        while (!m_stop) {
            const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                continue;
            answer(connection);
            ::close(connection);
        }
    }

    void answer(int connection)
    {
        const timeval limit{5, 0};
        ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        QByteArray head;
        char buffer[4096];
        while (!head.contains("\r\n\r\n") && head.size() < 65536) {
            const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0)
                return;
            head.append(buffer, got);
        }
        const QByteArray target = head.left(head.indexOf("\r\n")).split(' ').value(1);
        QByteArray body = "OK";
        if (target.contains("ProdReview.asp")) {
            ++m_statisticsRequests;
            const std::lock_guard<std::mutex> guard(m_lock);
            body = m_answer;
        }
        const QByteArray reply = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                                 QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
                                 body;
        for (qsizetype sent = 0; sent < reply.size();) {
            const ssize_t n = ::send(connection, reply.constData() + sent,
                                     std::size_t(reply.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += n;
        }
    }

    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_statisticsRequests{0};
    std::mutex m_lock;
    QByteArray m_answer;
};

struct Start
{
    double seconds = 0;
    double peakMiB = 0;
    bool ok = false;
};

double now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Starts the program with the environment, its output thrown away, and
// waits for its end.
Start run(const QByteArray &program, const QList<QByteArray> &environment)
{
    std::vector<char *> envp;
    for (const QByteArray &entry : environment)
        envp.push_back(const_cast<char *>(entry.constData()));
    envp.push_back(nullptr);
    char *argv[] = {const_cast<char *>(program.constData()), nullptr};

    Start start;
    const double begun = now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execve(program.constData(), argv, envp.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child)
        return start;
    start.seconds = now() - begun;
    start.peakMiB = double(usage.ru_maxrss) / 1024.0;
    start.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return start;
}

struct Figures
{
    std::vector<Start> starts;

    bool ok() const
    {
        return std::all_of(starts.begin(), starts.end(), [](const Start &s) { return s.ok; });
    }
    double median(double Start::*field) const
    {
        std::vector<double> values;
        for (const Start &s : starts)
            values.push_back(s.*field);
        std::sort(values.begin(), values.end());
        return values.empty() ? 0 : values[values.size() / 2];
    }
    double seconds() const { return median(&Start::seconds); }
    double peakMiB() const { return median(&Start::peakMiB); }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString binaries = QCoreApplication::applicationDirPath();
    const QByteArray program = QFile::encodeName(
        QDir::cleanPath(binaries + QStringLiteral("/../src/app/varnell-decryptor")));
    const QByteArray emptyWindow = QFile::encodeName(binaries + QStringLiteral("/empty_window"));

    // A private world: the store, the user's settings, the answer files.
    QTemporaryDir world;
    const auto folder = [&world](const char *name) {
        const QString path = world.filePath(QLatin1String(name));
        QDir().mkpath(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    };
    const StoreFile::Result store = StoreFile::create(
        folder("system") + QStringLiteral("/vemtu.sys"),
        QStringLiteral("ABCDEFGHIJKLbenchyvarnellz"), QStringLiteral("key"), QString(), false);
    LoopbackGateway gateway;
    if (!store.ok || gateway.port() == 0) {
        std::fprintf(stderr, "cannot set up: %s\n", qPrintable(store.error));
        return 1;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"HTTP_PROXY", "NO_PROXY", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QLatin1String(name));
    const QString messages = world.filePath(QStringLiteral("messages.log"));
    const std::pair<const char *, QString> settings[] = {
        {"QT_QPA_PLATFORM", QStringLiteral("offscreen")},
        {"VARNELL_QUIT_WHEN_SHOWN", QStringLiteral("1")},
        {"VARNELL_SYSTEM_DIR", folder("system")},
        {"VARNELL_MESSAGE_LOG", messages},
        {"XDG_CONFIG_HOME", folder("config")},
        {"XDG_DATA_HOME", folder("data")},
        {"XDG_RUNTIME_DIR", folder("runtime")},
        {"TMPDIR", folder("tmp")},
        {"http_proxy", QStringLiteral("http://127.0.0.1:%1").arg(gateway.port())},
        {"no_proxy", QString()},
    };
    for (const auto &[name, value] : settings)
        environment.insert(QLatin1String(name), value);
    QList<QByteArray> env;
    for (const QString &entry : environment.toStringList())
        env.append(QFile::encodeName(entry));

    const QByteArray other = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    const QByteArray year = makeStatisticsAnswer(100, 1000);
    Figures floor, emptyYear, fullYear, otherEmptyYear, otherFullYear;
    for (int i = 0; i < starts; ++i) {
        floor.starts.push_back(run(emptyWindow, env));
        gateway.setAnswer(QByteArray());
        emptyYear.starts.push_back(run(program, env));
        if (!other.isEmpty())
            otherEmptyYear.starts.push_back(run(other, env));
        gateway.setAnswer(year);
        fullYear.starts.push_back(run(program, env));
        if (!other.isEmpty())
            otherFullYear.starts.push_back(run(other, env));
    }
    const int programs = other.isEmpty() ? 1 : 2;
    if (!floor.ok() || !emptyYear.ok() || !fullYear.ok() || !otherEmptyYear.ok() ||
        !otherFullYear.ok() || gateway.statisticsRequests() != 2 * starts * programs ||
        QFile::exists(messages)) {
        std::fprintf(stderr, "a start failed, fetched no statistics or said something (%s)\n",
                     messages.toLocal8Bit().constData());
        return 1;
    }

    std::printf("Start-up until the window is shown and painted: whole processes, offscreen,\n"
                "the gateway on loopback (median of %d starts each, taking turns)\n",
                starts);
    const auto line = [](const char *name, const Figures &f) {
        std::printf("  %-48s %7.3f s %7.1f MiB peak\n", name, f.seconds(), f.peakMiB());
    };
    line("empty window with the same five tabs (floor):", floor);
    line("the program, an empty year:", emptyYear);
    line("the program, a year of 100,000 transactions:", fullYear);
    std::printf("  ratio empty year / empty window:   %5.2fx time (goal <= 2x)  %5.2fx memory\n",
                emptyYear.seconds() / floor.seconds(), emptyYear.peakMiB() / floor.peakMiB());
    std::printf("  ratio 100,000 year / empty window: %5.2fx time              %5.2fx memory\n",
                fullYear.seconds() / floor.seconds(), fullYear.peakMiB() / floor.peakMiB());
    std::printf("  100,000 year: %.3f s (goal <= 0.5 s), %.1f MiB peak (goal <= 60 MiB)\n",
                fullYear.seconds(), fullYear.peakMiB());
    if (!other.isEmpty()) {
        std::printf("The other build (%s):\n", other.constData());
        line("  an empty year:", otherEmptyYear);
        line("  a year of 100,000 transactions:", otherFullYear);
        std::printf("  ratio other / this build: %5.2fx time %5.2fx memory (empty year), "
                    "%5.2fx time %5.2fx memory (100,000)\n",
                    otherEmptyYear.seconds() / emptyYear.seconds(),
                    otherEmptyYear.peakMiB() / emptyYear.peakMiB(),
                    otherFullYear.seconds() / fullYear.seconds(),
                    otherFullYear.peakMiB() / fullYear.peakMiB());
    }
    return 0;
}
