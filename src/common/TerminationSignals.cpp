#include "common/TerminationSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace TerminationSignals {

namespace {

int pipeEnds[2] = {-1, -1};
volatile std::sig_atomic_t requestSeen = 0;

extern "C" void onSignal(int)
{
    requestSeen = 1;
    const char byte = 1;
    // Only async-signal-safe work here; a full pipe already carries a request.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
}

sigset_t terminationSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&set, signal);
    return set;
}

} // namespace

void holdUntilInstalled()
{
    const sigset_t set = terminationSignals();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void install(QObject *context, std::function<void()> onRequest)
{
    if (pipeEnds[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeEnds) != 0)
            return;
        struct sigaction action
        {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : {SIGTERM, SIGINT, SIGHUP})
            ::sigaction(signal, &action, nullptr);
        const sigset_t set = terminationSignals();
        ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    }
    auto *notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context,
                     [onRequest = std::move(onRequest)] {
                         char buffer[16];
                         while (::read(pipeEnds[0], buffer, sizeof buffer) > 0) {
                         }
                         onRequest();
                     });
}

void request()
{
    onSignal(0);
}

bool requested()
{
    return requestSeen != 0;
}

} // namespace TerminationSignals
