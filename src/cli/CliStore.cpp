#include "cli/Cli.h"

#include "store/StoreFile.h"
#include "store/modPublic.h"

#include <algorithm>
#include <array>

#include <unistd.h>

namespace Cli {

namespace {

const QString secretNames[] = {QStringLiteral("developer-key"), QStringLiteral("encryption-key"),
                               QStringLiteral("password")};
const QString secretPrompts[] = {QStringLiteral("Developer key: "),
                                 QStringLiteral("Encryption key: "),
                                 QStringLiteral("Password (Enter for none): ")};

void addSecretOptions(Command &command, const std::array<QString, 3> &descriptions)
{
    const QString valueNames[] = {QStringLiteral("D"), QStringLiteral("E"), QStringLiteral("P")};
    for (std::size_t i = 0; i < 3; ++i)
        command.addSecretOption(secretNames[i], descriptions[i], valueNames[i]);
}

// Reads the secrets given into settings, in their order; with ask, every one
// not given is asked for on the terminal.
int readSecrets(const Command &command, Settings &settings, bool ask)
{
    QString *values[] = {&settings.developerKey, &settings.encryptionKey, &settings.password};
    for (std::size_t i = 0; i < 3; ++i) {
        if (ask && !command.secretGiven(secretNames[i])) {
            if (!askHidden(secretPrompts[i], *values[i]))
                return fail(QStringLiteral("nothing typed"));
            continue;
        }
        if (const int done = command.readSecret(secretNames[i], secretPrompts[i], *values[i]);
            done >= 0)
            return done;
    }
    return -1;
}

int storeInit(const QStringList &arguments)
{
    Command command(QStringLiteral("store init"),
                    QStringLiteral("Create the settings store (the installer's step)."));
    addSecretOptions(command, {QStringLiteral("Developer key."), QStringLiteral("Encryption key."),
                               QStringLiteral("Login password (default: none).")});
    command.addOption({QStringLiteral("force"), QStringLiteral("Replace an existing store.")});
    if (const int done = command.parse(arguments); done >= 0)
        return done;
    if (!command.positional().isEmpty())
        return command.usageError(QStringLiteral("unexpected argument"));
    // On a terminal, what is not given is asked for; a script gives the keys.
    const bool asking = ::isatty(STDIN_FILENO) && !command.secretGiven(secretNames[0]) &&
                        !command.secretGiven(secretNames[1]);
    if (!asking && (!command.secretGiven(secretNames[0]) || !command.secretGiven(secretNames[1])))
        return command.usageError(QStringLiteral("the developer key and the encryption key are "
                                                 "required (--developer-key[-file], "
                                                 "--encryption-key[-file])"));
    Settings settings;
    if (const int done = readSecrets(command, settings, asking); done >= 0)
        return done;
    const StoreFile::Result result =
        StoreFile::create(modPublic::storePath(), settings.developerKey, settings.encryptionKey,
                          settings.password, command.isSet(QStringLiteral("force")));
    if (!result.ok)
        return fail(result.error);
    out(QStringLiteral("Created %1").arg(modPublic::storePath()));
    return Success;
}

int storeShow(const QStringList &arguments)
{
    Command command(QStringLiteral("store show"), QStringLiteral("Show the stored settings."));
    command.addOption({QStringLiteral("reveal"), QStringLiteral("Show the password in clear.")});
    command.addLoginOption();
    if (const int done = command.parse(arguments); done >= 0)
        return done;
    if (!command.positional().isEmpty())
        return command.usageError(QStringLiteral("unexpected argument"));
    Settings settings;
    if (const int done = readStoreWithLogin(command, settings, modPublic::storeFailureText());
        done >= 0)
        return done;
    QString shownPassword = settings.password;
    if (!command.isSet(QStringLiteral("reveal")))
        shownPassword =
            settings.password.isEmpty() ? QStringLiteral("(none)") : QStringLiteral("********");
    out(QStringLiteral("Developer key: %1").arg(settings.developerKey));
    out(QStringLiteral("Encryption key: %1").arg(settings.encryptionKey));
    out(QStringLiteral("Password: %1").arg(shownPassword));
    out(QStringLiteral("Server path: %1").arg(modPublic::GetServerPath(settings.developerKey)));
    return Success;
}

int storeSet(const QStringList &arguments)
{
    Command command(QStringLiteral("store set"),
                    QStringLiteral("Change stored settings; the others are kept."));
    addSecretOptions(command,
                     {QStringLiteral("New developer key."), QStringLiteral("New encryption key."),
                      QStringLiteral("New login password (empty: no login).")});
    command.addLoginOption();
    if (const int done = command.parse(arguments); done >= 0)
        return done;
    if (!command.positional().isEmpty())
        return command.usageError(QStringLiteral("unexpected argument"));
    if (std::none_of(std::begin(secretNames), std::end(secretNames),
                     [&](const QString &name) { return command.secretGiven(name); }))
        return command.usageError(QStringLiteral("nothing to set"));

    // The login comes first, then the new values (standard input in the
    // same order).
    Settings settings;
    if (const int done = readStoreWithLogin(command, settings, modPublic::storeFailureText());
        done >= 0)
        return done;
    if (const int done = readSecrets(command, settings, false); done >= 0)
        return done;
    QString why;
    if (!modPublic::WriteSettings(settings.developerKey, settings.encryptionKey, settings.password,
                                  &why))
        return fail(withCause(QStringLiteral("Unable to update keys."), why));
    return Success;
}

} // namespace

int store(const QStringList &arguments)
{
    const QString action = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    if (action == QLatin1String("init"))
        return storeInit(rest);
    if (action == QLatin1String("show"))
        return storeShow(rest);
    if (action == QLatin1String("set"))
        return storeSet(rest);
    if (action == QLatin1String("--help") || action == QLatin1String("-h")) {
        outText(QStringLiteral("Usage: varnell store init|show|set [options]\n\n"
                               "  init   Create the settings store\n"
                               "  show   Show the stored settings\n"
                               "  set    Change stored settings\n\n"
                               "Run 'varnell store <action> --help' for its options."));
        return Success;
    }
    error(action.isEmpty() ? QStringLiteral("store needs an action: init, show or set")
                           : QStringLiteral("unknown store action '%1'").arg(action));
    return UsageError;
}

} // namespace Cli
