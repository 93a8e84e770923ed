#include "cli/Cli.h"

#include "store/StoreFile.h"
#include "store/modPublic.h"

namespace Cli {

namespace {

const QString storeFailure = QStringLiteral("Unable to access utility settings.");

int storeInit(const QStringList &arguments)
{
    Command command(QStringLiteral("store init"),
                    QStringLiteral("Create the settings store (the installer's step)."));
    command.addOption(
        {QStringLiteral("developer-key"), QStringLiteral("Developer key."), QStringLiteral("D")});
    command.addOption(
        {QStringLiteral("encryption-key"), QStringLiteral("Encryption key."), QStringLiteral("E")});
    command.addOption({QStringLiteral("password"),
                       QStringLiteral("Login password (default: none)."), QStringLiteral("P")});
    command.addOption({QStringLiteral("force"), QStringLiteral("Replace an existing store.")});
    if (const int done = command.parse(arguments); done >= 0)
        return done;
    if (!command.positional().isEmpty())
        return command.usageError(QStringLiteral("unexpected argument"));
    if (!command.isSet(QStringLiteral("developer-key")) ||
        !command.isSet(QStringLiteral("encryption-key")))
        return command.usageError(
            QStringLiteral("--developer-key and --encryption-key are required"));
    const StoreFile::Result result = StoreFile::create(
        modPublic::storePath(), command.value(QStringLiteral("developer-key")),
        command.value(QStringLiteral("encryption-key")), command.value(QStringLiteral("password")),
        command.isSet(QStringLiteral("force")));
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
    if (const int done = readStoreWithLogin(command, settings, storeFailure); done >= 0)
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
    command.addOption({QStringLiteral("developer-key"), QStringLiteral("New developer key."),
                       QStringLiteral("D")});
    command.addOption({QStringLiteral("encryption-key"), QStringLiteral("New encryption key."),
                       QStringLiteral("E")});
    command.addOption({QStringLiteral("password"),
                       QStringLiteral("New login password (empty: no login)."),
                       QStringLiteral("P")});
    command.addLoginOption();
    if (const int done = command.parse(arguments); done >= 0)
        return done;
    if (!command.positional().isEmpty())
        return command.usageError(QStringLiteral("unexpected argument"));
    const QString names[] = {QStringLiteral("developer-key"), QStringLiteral("encryption-key"),
                             QStringLiteral("password")};
    if (!command.isSet(names[0]) && !command.isSet(names[1]) && !command.isSet(names[2]))
        return command.usageError(QStringLiteral("nothing to set"));

    Settings settings;
    if (const int done = readStoreWithLogin(command, settings, storeFailure); done >= 0)
        return done;
    QString *values[] = {&settings.developerKey, &settings.encryptionKey, &settings.password};
    for (int i = 0; i < 3; ++i) {
        if (command.isSet(names[i]))
            *values[i] = command.value(names[i]);
    }
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
        out(QStringLiteral("Usage: varnell store init|show|set [options]\n\n"
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
