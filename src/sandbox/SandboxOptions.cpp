#include "sandbox/SandboxOptions.h"

#include <QCommandLineParser>
#include <QDir>

#include <unistd.h>

namespace {

const QLatin1String programName("varnell-sandbox");

struct NumberOption
{
    const char *name;
    int low;
    int high;
    int SandboxOptions::*field;
};

const NumberOption numberOptions[] = {
    {"port", 0, 65535, &SandboxOptions::port},
    {"delay-ms", 0, 600000, &SandboxOptions::delayMs},
    {"status", 200, 599, &SandboxOptions::status},
};

void describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("A local Varnell gateway on 127.0.0.1 for the sandbox account. Point "
                       "http_proxy at it to reach it with the gateway's real addresses."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    const auto value = [&parser](const char *name, const char *text, const char *valueName) {
        parser.addOption(
            QCommandLineOption(QLatin1String(name), QLatin1String(text), QLatin1String(valueName)));
    };
    const auto flag = [&parser](const char *name, const char *text) {
        parser.addOption(QCommandLineOption(QLatin1String(name), QLatin1String(text)));
    };
    value("port", "Port to listen on (default 0: any free port).", "N");
    value("data", "Folder of the product catalogue.", "DIR");
    value("outbox", "Folder that receives re-delivered packets.", "DIR");
    value("delay-ms", "Wait N milliseconds before every answer.", "N");
    flag("fail-first", "Answer the first request for each URL with status 500.");
    flag("hang", "Accept requests and never answer them.");
    value("status", "Answer every request with HTTP status N (200 to 599).", "N");
}

} // namespace

QString SandboxOptions::usage()
{
    QCommandLineParser parser;
    describe(parser);
    // The parser names the program by the path it was started with.
    QString help = parser.helpText();
    const qsizetype options = help.indexOf(QLatin1String(" [options]"));
    if (options >= 0 && options < help.indexOf(QLatin1Char('\n')))
        help.replace(0, options, QStringLiteral("Usage: ") + programName);
    return help.trimmed();
}

SandboxOptions::Parse SandboxOptions::parse(const QStringList &arguments, SandboxOptions *options,
                                            QString *error)
{
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(QStringList{programName} + arguments)) {
        *error = parser.errorText();
        return Parse::Error;
    }
    if (parser.isSet(QStringLiteral("help")))
        return Parse::Help;
    if (!parser.positionalArguments().isEmpty()) {
        *error =
            QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
        return Parse::Error;
    }

    SandboxOptions result;
    for (const NumberOption &option : numberOptions) {
        const QString name = QLatin1String(option.name);
        if (!parser.isSet(name))
            continue;
        bool ok = false;
        const int value = parser.value(name).toInt(&ok);
        if (!ok || value < option.low || value > option.high) {
            *error = QStringLiteral("--%1 takes a number from %2 to %3, not \"%4\"")
                         .arg(name)
                         .arg(option.low)
                         .arg(option.high)
                         .arg(parser.value(name));
            return Parse::Error;
        }
        result.*option.field = value;
    }
    for (auto [name, field] : {std::pair{"data", &SandboxOptions::dataDir},
                               std::pair{"outbox", &SandboxOptions::outboxDir}}) {
        if (!parser.isSet(QLatin1String(name)))
            continue;
        result.*field = parser.value(QLatin1String(name));
        if ((result.*field).isEmpty()) {
            *error = QStringLiteral("--%1 needs a folder").arg(QLatin1String(name));
            return Parse::Error;
        }
    }
    result.failFirst = parser.isSet(QStringLiteral("fail-first"));
    result.hang = parser.isSet(QStringLiteral("hang"));
    *options = result;
    return Parse::Run;
}

QString SandboxOptions::defaultFolder()
{
    return QDir::tempPath() + QStringLiteral("/varnell-sandbox-") + QString::number(::geteuid());
}
