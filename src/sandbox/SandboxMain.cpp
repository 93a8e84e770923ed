#include "sandbox/SandboxMain.h"

#include "sandbox/Catalogue.h"
#include "sandbox/SandboxAccount.h"
#include "sandbox/SandboxGateway.h"
#include "sandbox/SandboxOptions.h"
#include "sandbox/SandboxServer.h"
#include "sandbox/TransactionYear.h"

#include <QDir>

#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <thread>

namespace SandboxMain {

namespace {

void print(std::FILE *stream, const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int run(const QStringList &arguments)
{
    SandboxOptions options;
    QString error;
    switch (SandboxOptions::parse(arguments, &options, &error)) {
    case SandboxOptions::Parse::Help:
        print(stdout, SandboxOptions::usage());
        return 0;
    case SandboxOptions::Parse::Error:
        print(stderr, QStringLiteral("varnell-sandbox: ") + error);
        print(stderr, SandboxOptions::usage());
        return 2;
    case SandboxOptions::Parse::Run:
        break;
    }

    if (!QDir().mkpath(options.dataDir)) {
        print(stderr, QStringLiteral("varnell-sandbox: cannot create ") + options.dataDir);
        return 1;
    }
    Catalogue catalogue(QDir(options.dataDir).filePath(QStringLiteral("catalogue.json")));
    const QString note = catalogue.load();
    if (!note.isEmpty())
        print(stderr, QStringLiteral("varnell-sandbox: ") + note);
    SandboxGateway gateway(&catalogue, options.outboxDir);

    // Stop signals are taken by one waiting thread, never by a request's
    // thread (every thread started from here inherits the blocked set).
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&stopSignals, signal);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    SandboxServer server(options, &gateway);
    const int port = server.bind();
    if (port < 0) {
        print(stderr,
              QStringLiteral("varnell-sandbox: cannot listen on 127.0.0.1:%1").arg(options.port));
        return 1;
    }

    using TransactionYear::Redelivery;
    using TransactionYear::transactionFor;
    print(stdout, QStringLiteral("Developer key: ") + SandboxAccount::developerKey());
    print(stdout, QStringLiteral("Encryption key: ") + SandboxAccount::encryptionKey());
    print(stdout, QStringLiteral("Request Successful: ") + transactionFor(Redelivery::Successful));
    print(stdout, QStringLiteral("No Email: ") + transactionFor(Redelivery::NoEmail));
    print(stdout,
          QStringLiteral("File does not exist: ") + transactionFor(Redelivery::FileMissing));
    print(stdout, QStringLiteral("No Transaction: ") + transactionFor(Redelivery::NoTransaction) +
                      QStringLiteral(" and any other transaction ID"));
    print(stderr, QStringLiteral("varnell-sandbox: catalogue %1, packets to %2")
                      .arg(catalogue.filePath(), QDir(options.outboxDir).absolutePath()));
    print(stdout, QStringLiteral("Listening on http://127.0.0.1:%1/").arg(port));

    std::thread signalWaiter([&server, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.stop();
    });
    const bool served = server.serve();
    // Wakes the waiter when serving ended without a signal.
    pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
    return served ? 0 : 1;
}

} // namespace SandboxMain
