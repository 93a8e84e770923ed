#pragma once

#include "store/modPublic.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <functional>

// The `varnell` command: shared plumbing of its subcommands.
namespace Cli {

enum Exit
{
    Success = 0,
    Failure = 1,
    UsageError = 2
};

// Text from outside the program (server answers, decrypted values, file
// names) with every control character shown as an escape ("\\x1B",
// "\\u202E"), so that it can neither steer the terminal nor forge a line.
QString visible(const QString &text);
// Prints one line to stdout (UTF-8), made visible.
void out(const QString &line);
// Prints text of the program's own (help, JSON) to stdout as it is.
void outText(const QString &text);
// Prints "varnell: <message>" to stderr, made visible.
void error(const QString &message);
// Prints the message and gives Failure.
int fail(const QString &message);
// How many messages the core has raised (through the message seam) in this
// run; each was printed as an error. A command that sees one is not a
// success.
int raisedMessages();
// The message followed by its cause in brackets: "Unable to update keys.
// (/var/lib/varnell/vemtu.sys: No space left on device)".
QString withCause(const QString &message, const QString &cause);
// For a failed request to the gateway: the message followed by why the
// request failed, when it failed in transport, and gives Failure.
int failRequest(const QString &message);

// A subcommand's parser: parses the arguments after the subcommand's name
// and answers --help itself.
class Command
{
public:
    Command(const QString &name, const QString &description);

    void addOption(const QCommandLineOption &option) { m_parser.addOption(option); }
    void addPositional(const QString &name, const QString &description,
                       const QString &syntax = QString())
    {
        m_parser.addPositionalArgument(name, description, syntax);
    }
    // Adds --password-stdin, for subcommands that read the settings store.
    void addLoginOption();

    // A secret can be given three ways: --NAME VALUE (readable by every
    // local user in ps while the command runs; kept for scripts), --NAME-file
    // FILE (the file's first line), or --NAME-file - (one line of standard
    // input; on a terminal, a prompt without echo).
    void addSecretOption(const QString &name, const QString &description, const QString &valueName);
    bool secretGiven(const QString &name) const;
    // Reads the secret given for name into value. Gives -1 when it was read
    // (or not given at all: value stays as it was); otherwise the exit code,
    // the message printed. prompt names the secret on a terminal.
    int readSecret(const QString &name, const QString &prompt, QString &value) const;

    // Parses; returns -1 to go on, or the exit code when --help was asked for
    // or the arguments are wrong.
    int parse(const QStringList &arguments);

    bool isSet(const QString &name) const { return m_parser.isSet(name); }
    QString value(const QString &name) const { return m_parser.value(name); }
    QStringList positional() const { return m_parser.positionalArguments(); }
    int usageError(const QString &message) const;

private:
    QString m_name;
    QCommandLineParser m_parser;
};

// The settings as read from the store by a subcommand.
using Settings = modPublic::Settings;

// Asks on the terminal with echo off; false when standard input is no
// terminal or ends first.
bool askHidden(const QString &prompt, QString &answer);

// Reads the store and, when it holds a password, asks for it (without echo
// on a terminal, or one line of stdin with --password-stdin). Gives -1 with
// the settings filled when the command may go on; otherwise the exit code,
// the message printed. storeFailure is the command's own message for an
// unreadable store; the store's path and the cause follow it.
int readStoreWithLogin(const Command &command, Settings &settings, const QString &storeFailure);

// Subcommands; each gets the arguments after its own name.
int decrypt(const QStringList &arguments);
int encrypt(const QStringList &arguments);
// Needs a GUI application (for the fonts of its pages).
int print(const QStringList &arguments);
int store(const QStringList &arguments);
int products(const QStringList &arguments);
int stats(const QStringList &arguments);
int status(const QStringList &arguments);
int resend(const QStringList &arguments);
int about(const QStringList &arguments);

int run(const QStringList &arguments);

} // namespace Cli
