#include "cli/Cli.h"

#include "BuildConfig.h"
#include "common/Messages.h"
#include "common/SafeFile.h"
#include "gateway/modProdUpdate.h"
#include "shell/HelpLinks.h"
#include "store/modPublic.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace Cli {

namespace {

// C0 and C1 controls, DEL, and the characters that reorder text on screen.
bool isControl(char16_t c)
{
    return c < 0x20 || c == 0x7f || (c >= 0x80 && c <= 0x9f) || (c >= 0x202a && c <= 0x202e) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0x200e || c == 0x200f;
}

void write(std::FILE *stream, const QString &text)
{
    const QByteArray utf8 = text.toUtf8() + '\n';
    std::fwrite(utf8.constData(), 1, std::size_t(utf8.size()), stream);
}

// The core's messages (the crypto filter's, say) as error lines; each one
// counts against the command's success.
class ErrorSink final : public Messages::Sink
{
public:
    void inform(Messages::Icon, const QString &, const QString &text,
                const QString &details) override
    {
        ++raised;
        QString flat = text;
        flat.replace(QLatin1String("\r\n"), QLatin1String(" "));
        error(withCause(flat, details));
    }
    bool ask(const QString &title, const QString &text) override
    {
        inform(Messages::Icon::None, title, text, QString());
        return false;
    }

    int raised = 0;
};

ErrorSink errorSink;

} // namespace

int raisedMessages()
{
    return errorSink.raised;
}

QString visible(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\t' || !isControl(u))
            shown += c;
        else if (u < 0x100)
            shown += QLatin1String("\\x") +
                     QString::number(u, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else
            shown += QLatin1String("\\u") +
                     QString::number(u, 16).toUpper().rightJustified(4, QLatin1Char('0'));
    }
    return shown;
}

void out(const QString &line)
{
    write(stdout, visible(line));
}

void outText(const QString &text)
{
    write(stdout, text);
}

void error(const QString &message)
{
    write(stderr, QStringLiteral("varnell: ") + visible(message));
}

int fail(const QString &message)
{
    error(message);
    return Failure;
}

QString withCause(const QString &message, const QString &cause)
{
    return cause.isEmpty() ? message : message + QLatin1String(" (") + cause + QLatin1Char(')');
}

int failRequest(const QString &message)
{
    return fail(withCause(message, modProdUpdate::lastFailure()));
}

Command::Command(const QString &name, const QString &description) : m_name(name)
{
    m_parser.setApplicationDescription(description);
    m_parser.addHelpOption();
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
}

void Command::addLoginOption()
{
    m_parser.addOption(QCommandLineOption(
        QStringLiteral("password-stdin"),
        QStringLiteral("Read the login password as one line of standard input.")));
}

int Command::parse(const QStringList &arguments)
{
    if (!m_parser.parse(QStringList{QStringLiteral("varnell ") + m_name} + arguments))
        return usageError(m_parser.errorText());
    // --help-all as well: the command has no options of the toolkit to add,
    // and it must never run the command instead.
    if (m_parser.isSet(QStringLiteral("help")) || m_parser.isSet(QStringLiteral("help-all"))) {
        // The parser names the program by its path; name the subcommand.
        QString help = m_parser.helpText();
        const qsizetype lineEnd = help.indexOf(QLatin1Char('\n'));
        const qsizetype options = help.indexOf(QLatin1String(" [options]"));
        if (options >= 0 && options < lineEnd)
            help.replace(0, options, QStringLiteral("Usage: varnell ") + m_name);
        outText(help.trimmed());
        return Success;
    }
    return -1;
}

int Command::usageError(const QString &message) const
{
    error(QStringLiteral("%1 (see varnell %2 --help)").arg(message, m_name));
    return UsageError;
}

namespace {

// The longest line of standard input taken for a secret, as for a file.
constexpr qsizetype maxSecretLine = 64 * 1024;

// One line of standard input, without its line end. False at the end of
// the input, or, with why set, for a line beyond the limit (an endless
// stream would otherwise be read until memory runs out).
bool readLine(QString &line, QString *why = nullptr)
{
    QByteArray bytes;
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') {
        if (bytes.size() == maxSecretLine) {
            if (why)
                *why = QStringLiteral("the line on standard input is longer than 64 KiB");
            return false;
        }
        bytes.append(char(c));
    }
    if (c == EOF && bytes.isEmpty())
        return false;
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    line = QString::fromUtf8(bytes);
    return true;
}

// The first line of a small file, without its line end.
bool firstLineOf(const QString &path, QString &line, QString &why)
{
    QByteArray bytes;
    const SafeFile::Result read = SafeFile::readRegular(path, 64 * 1024, bytes);
    if (!read.ok) {
        why = read.error;
        return false;
    }
    const qsizetype end = bytes.indexOf('\n');
    if (end >= 0)
        bytes.truncate(end);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    line = QString::fromUtf8(bytes);
    return true;
}

} // namespace

bool askHidden(const QString &prompt, QString &answer)
{
    if (!::isatty(STDIN_FILENO))
        return false;
    const QByteArray text = prompt.toUtf8();
    std::fwrite(text.constData(), 1, std::size_t(text.size()), stderr);
    std::fflush(stderr);
    termios saved{};
    const bool haveTerminal = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (haveTerminal) {
        termios silent = saved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    const bool ok = readLine(answer);
    if (haveTerminal)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputs("\n", stderr);
    return ok;
}

void Command::addSecretOption(const QString &name, const QString &description,
                              const QString &valueName)
{
    m_parser.addOption({name,
                        description +
                            QStringLiteral(" Other local users can see it while "
                                           "the command runs; prefer --") +
                            name + QStringLiteral("-file."),
                        valueName});
    m_parser.addOption(
        {name + QStringLiteral("-file"),
         QStringLiteral("Read the %1 from the first line of FILE; - reads one line of standard "
                        "input (asking for it on a terminal).")
             .arg(name.split(QLatin1Char('-')).join(QLatin1Char(' '))),
         QStringLiteral("FILE")});
}

bool Command::secretGiven(const QString &name) const
{
    return isSet(name) || isSet(name + QStringLiteral("-file"));
}

int Command::readSecret(const QString &name, const QString &prompt, QString &value) const
{
    const QString fileOption = name + QStringLiteral("-file");
    if (isSet(name) && isSet(fileOption))
        return usageError(QStringLiteral("give --%1 or --%2, not both").arg(name, fileOption));
    if (isSet(name)) {
        value = this->value(name);
        return -1;
    }
    if (!isSet(fileOption))
        return -1;
    const QString source = this->value(fileOption);
    if (source == QLatin1String("-")) {
        QString why;
        if (::isatty(STDIN_FILENO) ? askHidden(prompt, value) : readLine(value, &why))
            return -1;
        if (!why.isEmpty())
            return fail(why);
        return fail(QStringLiteral("standard input ended before the %1")
                        .arg(name.split(QLatin1Char('-')).join(QLatin1Char(' '))));
    }
    QString why;
    if (!firstLineOf(source, value, why))
        return fail(QStringLiteral("%1: %2").arg(source, why));
    return -1;
}

int readStoreWithLogin(const Command &command, Settings &settings, const QString &storeFailure)
{
    QString why;
    if (!modPublic::ReadSettings(settings, &why))
        return fail(withCause(storeFailure, why));
    if (settings.password.isEmpty())
        return -1;
    QString typed;
    QString tooLong;
    const bool asked = command.isSet(QStringLiteral("password-stdin"))
                           ? readLine(typed, &tooLong)
                           : askHidden(QStringLiteral("Password: "), typed);
    if (!tooLong.isEmpty())
        return fail(tooLong);
    if (!asked)
        return fail(QStringLiteral(
            "A password is needed: type it on a terminal or give it with --password-stdin."));
    if (typed != settings.password)
        return fail(QStringLiteral("The password entered is an invalid password."));
    return -1;
}

int about(const QStringList &arguments)
{
    Command command(QStringLiteral("about"), QStringLiteral("Show the version and where the "
                                                            "settings store is."));
    if (const int done = command.parse(arguments); done >= 0)
        return done;
    if (!command.positional().isEmpty())
        return command.usageError(QStringLiteral("about takes no arguments"));
    out(HelpLinks::versionLine());
    out(QStringLiteral("Settings store: %1")
            .arg(QFileInfo(modPublic::storePath()).absoluteFilePath()));
    out(QStringLiteral("Central host: %1").arg(QString::fromUtf8(BuildConfig::centralHost)));
    return Success;
}

namespace {

const char usage[] = "Usage: varnell <command> [options]\n"
                     "\n"
                     "Commands:\n"
                     "  decrypt   Show or save the readable text of record files\n"
                     "  encrypt   Write a record file from label<TAB>value lines\n"
                     "  print     Write record files as PDF documents of their printed pages\n"
                     "  store     Create, show or change the settings store (init, show, set)\n"
                     "  products  Show or change your products on the central server\n"
                     "            (count, show, list, update)\n"
                     "  stats     Show or export the transactions of a period\n"
                     "  status    Probe the central server and the package server\n"
                     "  resend    Ask the package server to e-mail a packet again\n"
                     "  about     Show the version and where the settings store is\n"
                     "\n"
                     "Run 'varnell <command> --help' for the options of a command.\n";

} // namespace

int run(const QStringList &arguments)
{
    Messages::setSink(&errorSink);
    modPublic::determineSystemDirectory();
    modProdUpdate::sweepStaleAnswerFiles();
    if (arguments.isEmpty()) {
        std::fputs(usage, stderr);
        return UsageError;
    }
    const QString name = arguments.first();
    const QStringList rest = arguments.mid(1);
    if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
        name == QLatin1String("help")) {
        std::fputs(usage, stdout);
        return Success;
    }
    if (name == QLatin1String("--version")) {
        out(QString::fromLatin1(BuildConfig::versionString));
        return Success;
    }
    if (name == QLatin1String("decrypt"))
        return decrypt(rest);
    if (name == QLatin1String("encrypt"))
        return encrypt(rest);
    if (name == QLatin1String("print"))
        return print(rest);
    if (name == QLatin1String("store"))
        return store(rest);
    if (name == QLatin1String("products"))
        return products(rest);
    if (name == QLatin1String("stats"))
        return stats(rest);
    if (name == QLatin1String("status"))
        return status(rest);
    if (name == QLatin1String("resend"))
        return resend(rest);
    if (name == QLatin1String("about"))
        return about(rest);
    error(QStringLiteral("unknown command '%1' (see varnell --help)").arg(name));
    return UsageError;
}

} // namespace Cli
