#include "sandbox/SandboxOptions.h"

#include <QDir>

namespace {

bool number(const QString &text, int low, int high, int *value)
{
    bool ok = false;
    const int parsed = text.toInt(&ok);
    if (!ok || parsed < low || parsed > high)
        return false;
    *value = parsed;
    return true;
}

} // namespace

QString SandboxOptions::usage()
{
    return QStringLiteral(
        "Usage: varnell-sandbox [--port N] [--data DIR] [--outbox DIR]\n"
        "                       [--delay-ms N] [--fail-first] [--hang] [--status N]\n"
        "A local Varnell gateway on 127.0.0.1 for the sandbox account. Point http_proxy\n"
        "at it to reach it with the gateway's real addresses.\n"
        "  --port N      port to listen on (default 0: any free port)\n"
        "  --data DIR    folder of the product catalogue\n"
        "  --outbox DIR  folder that receives re-delivered packets\n"
        "  --delay-ms N  wait N milliseconds before every answer\n"
        "  --fail-first  answer the first request for each URL with status 500\n"
        "  --hang        accept requests and never answer\n"
        "  --status N    answer every request with HTTP status N\n");
}

SandboxOptions::Parse SandboxOptions::parse(const QStringList &arguments, SandboxOptions *options,
                                            QString *error)
{
    SandboxOptions result;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments[i];
        QString value;
        bool inlineValue = false;
        const qsizetype equals = name.indexOf(QLatin1Char('='));
        if (name.startsWith(QLatin1String("--")) && equals > 0) {
            value = name.mid(equals + 1);
            name.truncate(equals);
            inlineValue = true;
        }
        const auto takeValue = [&]() {
            if (inlineValue)
                return true;
            if (i + 1 >= arguments.size())
                return false;
            value = arguments[++i];
            return true;
        };
        const auto flag = [&](bool *target) {
            if (inlineValue)
                return false;
            *target = true;
            return true;
        };

        bool ok = false;
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            return Parse::Help;
        } else if (name == QLatin1String("--port")) {
            ok = takeValue() && number(value, 0, 65535, &result.port);
        } else if (name == QLatin1String("--data")) {
            ok = takeValue() && !value.isEmpty();
            result.dataDir = value;
        } else if (name == QLatin1String("--outbox")) {
            ok = takeValue() && !value.isEmpty();
            result.outboxDir = value;
        } else if (name == QLatin1String("--delay-ms")) {
            ok = takeValue() && number(value, 0, 600000, &result.delayMs);
        } else if (name == QLatin1String("--status")) {
            ok = takeValue() && number(value, 200, 599, &result.status);
        } else if (name == QLatin1String("--fail-first")) {
            ok = flag(&result.failFirst);
        } else if (name == QLatin1String("--hang")) {
            ok = flag(&result.hang);
        } else {
            *error = QStringLiteral("unknown argument: %1").arg(arguments[i]);
            return Parse::Error;
        }
        if (!ok) {
            *error = QStringLiteral("bad or missing value for %1").arg(name);
            return Parse::Error;
        }
    }
    const QString base = QDir::temp().filePath(QStringLiteral("varnell-sandbox"));
    if (result.dataDir.isEmpty())
        result.dataDir = base + QStringLiteral("/data");
    if (result.outboxDir.isEmpty())
        result.outboxDir = base + QStringLiteral("/outbox");
    *options = result;
    return Parse::Run;
}
