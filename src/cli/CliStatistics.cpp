#include "cli/Cli.h"

#include "common/Ansi.h"
#include "statistics/PacketRequest.h"
#include "statistics/Redelivery.h"
#include "statistics/StatsExport.h"
#include "statistics/modStatistics.h"
#include "status/ServerStatus.h"
#include "store/modPublic.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace Cli {

namespace {

// "day", "week", "month" or "year" (any letter case) as a period index, or -1.
int periodIndex(const QString &name)
{
    const QString periods[] = {QStringLiteral("day"), QStringLiteral("week"),
                               QStringLiteral("month"), QStringLiteral("year")};
    for (int i = 0; i < 4; ++i) {
        if (name.compare(periods[i], Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void printStats(const QList<modStatistics::Product> &products)
{
    for (const modStatistics::Product &product : products) {
        out(product.text());
        for (const modStatistics::Transaction &transaction : product.transactions)
            out(QLatin1String("  ") + modStatistics::transactionText(transaction));
    }
}

QByteArray statsJson(const QList<modStatistics::Product> &products)
{
    QJsonArray array;
    for (const modStatistics::Product &product : products) {
        QJsonArray transactions;
        for (const modStatistics::Transaction &t : product.transactions)
            transactions.append(QJsonObject{{QStringLiteral("date"), t.date},
                                            {QStringLiteral("result"), t.result},
                                            {QStringLiteral("transactionId"), t.transactionId},
                                            {QStringLiteral("endUser"), t.endUser}});
        array.append(QJsonObject{{QStringLiteral("id"), int(product.id)},
                                 {QStringLiteral("caption"), product.caption},
                                 {QStringLiteral("transactions"), transactions}});
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

void printOutcome(const modStatistics::Outcome &outcome)
{
    out(outcome.title);
    for (const QString &line : outcome.text.split(QLatin1String("\r\n")))
        out(line);
    if (!outcome.details.isEmpty())
        out(QLatin1Char('(') + outcome.details + QLatin1Char(')'));
}

} // namespace

int stats(const QStringList &arguments)
{
    Command command(QStringLiteral("stats"),
                    QStringLiteral("Show the transactions of the last day, week, month or year "
                                   "as the Usage Statistics tab does, or export them."));
    command.addOption({QStringLiteral("period"),
                       QStringLiteral("The period: day, week, month or year."),
                       QStringLiteral("PERIOD")});
    command.addOption({QStringLiteral("csv"),
                       QStringLiteral("Write the CSV export to FILE instead of printing."),
                       QStringLiteral("FILE")});
    command.addOption({QStringLiteral("json"),
                       QStringLiteral("Print the products and their transactions as JSON.")});
    command.addLoginOption();
    if (const int done = command.parse(arguments); done >= 0)
        return done;
    if (!command.positional().isEmpty())
        return command.usageError(QStringLiteral("unexpected argument"));
    if (!command.isSet(QStringLiteral("period")))
        return command.usageError(QStringLiteral("--period is required"));
    const int period = periodIndex(command.value(QStringLiteral("period")));
    if (period < 0)
        return command.usageError(QStringLiteral("--period must be day, week, month or year"));
    const bool toCsv = command.isSet(QStringLiteral("csv"));
    if (toCsv && command.isSet(QStringLiteral("json")))
        return command.usageError(QStringLiteral("--csv and --json exclude each other"));

    Settings settings;
    if (const int done = readStoreWithLogin(command, settings, modPublic::storeFailureText());
        done >= 0)
        return done;
    // The retrieval reads the store again itself, as every request does.
    const modStatistics::Retrieval retrieval = modStatistics::RetrieveStatistics(period);
    if (!retrieval.downloaded)
        return failRequest(QStringLiteral("Unable to retrieve statistics."));

    const modStatistics::Statistics &statistics = retrieval.statistics;
    if (toCsv) {
        if (statistics.isEmpty())
            return fail(QStringLiteral("There is no data to export."));
        QString reason;
        if (!modStatistics::writeCsv(command.value(QStringLiteral("csv")), statistics.nodeTexts(),
                                     &reason))
            return fail(reason);
        return Success;
    }
    if (command.isSet(QStringLiteral("json"))) {
        const QByteArray json = statsJson(statistics.products());
        std::fwrite(json.constData(), 1, std::size_t(json.size()), stdout);
        return Success;
    }
    printStats(statistics.products());
    return Success;
}

int status(const QStringList &arguments)
{
    Command command(QStringLiteral("status"),
                    QStringLiteral("Probe the central server (Server 0) and the package server "
                                   "(Server 1) as the Server Information tab does. Exits with 1 "
                                   "when a server is down."));
    command.addLoginOption();
    if (const int done = command.parse(arguments); done >= 0)
        return done;
    if (!command.positional().isEmpty())
        return command.usageError(QStringLiteral("status takes no arguments"));

    Settings settings;
    if (const int done = readStoreWithLogin(command, settings, modPublic::storeFailureText());
        done >= 0)
        return done;
    bool allActive = true;
    for (const QString &entry : {QStringLiteral("Server 0"), QStringLiteral("Server 1")}) {
        const ServerStatus::Outcome outcome =
            ServerStatus::probeServer(entry, modPublic::GetServerPath(settings.developerKey));
        allActive = allActive && outcome.active;
        if (outcome.active)
            out(entry + QLatin1String(": Active ") + outcome.connectionTime);
        else
            out(entry + QLatin1String(": Down"));
    }
    return allActive ? Success : Failure;
}

int resend(const QStringList &arguments)
{
    Command command(QStringLiteral("resend"),
                    QStringLiteral("Ask the package server to e-mail a transaction's packet "
                                   "again. Exits with 0 only when the request was sent."));
    command.addPositional(QStringLiteral("TRANSACTION-ID"),
                          QStringLiteral("The transaction's ID, as the statistics show it."));
    command.addLoginOption();
    if (const int done = command.parse(arguments); done >= 0)
        return done;
    if (command.positional().size() != 1 || command.positional().first().isEmpty())
        return command.usageError(QStringLiteral("resend takes one transaction ID"));

    Settings settings;
    if (const int done = readStoreWithLogin(command, settings, modPublic::storeFailureText());
        done >= 0)
        return done;

    PacketRequest request;
    bool done = false;
    bool answered = false;
    modStatistics::Outcome outcome;
    QString failure;
    QEventLoop loop;
    QObject::connect(&request, &PacketRequest::completed, &loop, [&](const QByteArray &body) {
        done = answered = true;
        outcome = modStatistics::classifyRequestAnswer(Ansi::decode(body));
        loop.quit();
    });
    QObject::connect(&request, &PacketRequest::failed, &loop, [&](const QString &reason) {
        done = true;
        failure = reason;
        loop.quit();
    });
    if (const auto refused = modStatistics::startRefusal(request.start(
            modPublic::GetServerPath(settings.developerKey), command.positional().first()))) {
        printOutcome(*refused);
        return Failure;
    }
    if (!done)
        loop.exec();
    if (!answered) {
        printOutcome(modStatistics::requestFailed(failure));
        return Failure;
    }
    printOutcome(outcome);
    return outcome.title == QLatin1String("Request Sent") ? Success : Failure;
}

} // namespace Cli
