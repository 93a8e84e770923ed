#include "sandbox/SandboxMain.h"

#include "common/PrivateFolder.h"
#include "common/TerminationSignals.h"
#include "sandbox/Catalogue.h"
#include "sandbox/SandboxAccount.h"
#include "sandbox/SandboxGateway.h"
#include "sandbox/SandboxOptions.h"
#include "sandbox/SandboxServer.h"
#include "sandbox/TransactionYear.h"

#include <QCoreApplication>
#include <QDir>

#include <csignal>
#include <cstdio>

namespace SandboxMain {

namespace {

void print(std::FILE *stream, const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int fail(const QString &message)
{
    print(stderr, QStringLiteral("varnell-sandbox: ") + message);
    return 1;
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

    // The default folders live in a folder of this user's own under the
    // shared temporary folder, where nobody else can plant the catalogue or
    // links in the outbox.
    if (options.dataDir.isEmpty() || options.outboxDir.isEmpty()) {
        const QString folder = SandboxOptions::defaultFolder();
        const QString problem =
            PrivateFolder::prepare(folder, QStringLiteral("the sandbox's folder"));
        if (!problem.isEmpty())
            return fail(problem);
        if (options.dataDir.isEmpty())
            options.dataDir = folder + QStringLiteral("/data");
        if (options.outboxDir.isEmpty())
            options.outboxDir = folder + QStringLiteral("/outbox");
    }
    if (!QDir().mkpath(options.dataDir))
        return fail(QStringLiteral("cannot create ") + options.dataDir);
    Catalogue catalogue(QDir(options.dataDir).filePath(QStringLiteral("catalogue.json")));
    const QString note = catalogue.load();
    if (!note.isEmpty())
        print(stderr, QStringLiteral("varnell-sandbox: ") + note);
    SandboxGateway gateway(&catalogue, options.outboxDir);

    // A client that leaves mid-answer must not end the sandbox.
    std::signal(SIGPIPE, SIG_IGN);
    SandboxServer server(options, &gateway);
    TerminationSignals::install(&server, [] { QCoreApplication::quit(); });
    if (!server.listen(&error))
        return fail(error);

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
    print(stdout, QStringLiteral("Listening on http://127.0.0.1:%1/").arg(server.port()));

    // A stop asked for before the event loop runs ends the sandbox here.
    if (TerminationSignals::requested())
        return 0;
    return QCoreApplication::exec();
}

} // namespace SandboxMain
