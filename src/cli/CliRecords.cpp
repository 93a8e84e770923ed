#include "cli/Cli.h"

#include "common/SafeFile.h"
#include "records/RecordFile.h"
#include "records/RecordText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>

#include <cstdio>
#include <unistd.h>

namespace Cli {

namespace {

void printRecord(const QString &recordText)
{
    if (recordText.isEmpty())
        return;
    const QStringList lines = recordText.split(QLatin1String("\r\n"));
    for (const QString &line : lines)
        out(line);
}

} // namespace

int decrypt(const QStringList &arguments)
{
    Command command(QStringLiteral("decrypt"),
                    QStringLiteral("Decrypt record files and print their text, or save it as "
                                   "the program's Save Decrypt does."));
    command.addSecretOption(QStringLiteral("key"),
                            QStringLiteral("Encryption key (default: the one in the settings "
                                           "store)."),
                            QStringLiteral("KEY"));
    command.addOption({QStringLiteral("output"),
                       QStringLiteral("Write the text of the one input to FILE."),
                       QStringLiteral("FILE")});
    command.addOption({QStringLiteral("output-dir"),
                       QStringLiteral("Write DIR/<base name>.txt for every input."),
                       QStringLiteral("DIR")});
    command.addLoginOption();
    command.addPositional(QStringLiteral("FILE"), QStringLiteral("Record files (.vrd)."),
                          QStringLiteral("FILE..."));
    if (const int done = command.parse(arguments); done >= 0)
        return done;

    const QStringList inputs = command.positional();
    const bool toFile = command.isSet(QStringLiteral("output"));
    const bool toDir = command.isSet(QStringLiteral("output-dir"));
    if (inputs.isEmpty())
        return command.usageError(QStringLiteral("no record file given"));
    if (toFile && toDir)
        return command.usageError(QStringLiteral("--output and --output-dir exclude each other"));
    if (toFile && inputs.size() != 1)
        return command.usageError(QStringLiteral("--output takes exactly one record file"));

    QString key;
    if (command.secretGiven(QStringLiteral("key"))) {
        if (const int done =
                command.readSecret(QStringLiteral("key"), QStringLiteral("Encryption key: "), key);
            done >= 0)
            return done;
    } else {
        Settings settings;
        if (const int done =
                readStoreWithLogin(command, settings, QStringLiteral("No decryption key found."));
            done >= 0)
            return done;
        key = settings.encryptionKey;
    }

    const QString outputDir = command.value(QStringLiteral("output-dir"));
    if (toDir && !QFileInfo(outputDir).isDir())
        return fail(QStringLiteral("%1: no such folder").arg(outputDir));

    int status = Success;
    QSet<QString> written;
    // One decoder for the batch: the key container is set up once.
    RecordText::Decoder decoder;
    SafeFile::Batch batch;
    for (const QString &input : inputs) {
        if (!QFileInfo::exists(input)) {
            error(QStringLiteral("%1: no such file").arg(input));
            status = Failure;
            continue;
        }
        const int messagesBefore = raisedMessages();
        const RecordText::FileText read = RecordText::fromFile(decoder, input, key);
        if (!read.error.isEmpty()) {
            error(QStringLiteral("%1: %2").arg(input, read.error));
            status = Failure;
            continue;
        }
        // The crypto filter said something went wrong (printed above): the
        // input is not done.
        if (raisedMessages() != messagesBefore) {
            status = Failure;
            continue;
        }
        const QString &text = read.text;
        if (!toFile && !toDir) {
            if (inputs.size() > 1)
                out(QStringLiteral("==> %1 <==").arg(input));
            printRecord(text);
            continue;
        }
        const QString target = toFile
                                   ? command.value(QStringLiteral("output"))
                                   : QDir(outputDir).filePath(QFileInfo(input).completeBaseName() +
                                                              QStringLiteral(".txt"));
        if (written.contains(QFileInfo(target).absoluteFilePath())) {
            error(QStringLiteral("%1: another input already wrote %2").arg(input, target));
            status = Failure;
            continue;
        }
        // A single output is synced on its own; a folder's outputs are made
        // durable together, with one sync at the end.
        const QByteArray bytes = RecordFile::savedTextForm(text);
        if (const SafeFile::Result done =
                toDir ? batch.add(target, bytes) : SafeFile::write(target, bytes);
            !done) {
            error(done.error);
            status = Failure;
            continue;
        }
        written.insert(QFileInfo(target).absoluteFilePath());
    }
    if (const SafeFile::Result committed = batch.commit(); !committed) {
        error(committed.error);
        status = Failure;
    }
    return status;
}

int encrypt(const QStringList &arguments)
{
    Command command(QStringLiteral("encrypt"),
                    QStringLiteral("Write a record file from lines 'label<TAB>value' (UTF-8); a "
                                   "line without a TAB is a label alone."));
    command.addSecretOption(QStringLiteral("key"), QStringLiteral("Encryption key."),
                            QStringLiteral("KEY"));
    command.addOption({QStringLiteral("output"),
                       QStringLiteral("Write the record file to FILE (default: standard output)."),
                       QStringLiteral("FILE")});
    command.addPositional(QStringLiteral("INPUT"),
                          QStringLiteral("Text to encrypt (default: standard input)."),
                          QStringLiteral("[INPUT]"));
    if (const int done = command.parse(arguments); done >= 0)
        return done;
    const QStringList inputs = command.positional();
    if (inputs.size() > 1)
        return command.usageError(QStringLiteral("at most one INPUT"));
    // Without a key given, one is asked for on a terminal.
    const bool keyFromStdin = !command.secretGiven(QStringLiteral("key")) ||
                              command.value(QStringLiteral("key-file")) == QLatin1String("-");
    if (keyFromStdin && !::isatty(STDIN_FILENO) &&
        (inputs.isEmpty() || !command.secretGiven(QStringLiteral("key"))))
        return command.usageError(command.secretGiven(QStringLiteral("key"))
                                      ? QStringLiteral("the key and the text cannot both come "
                                                       "from standard input: give INPUT")
                                      : QStringLiteral("--key or --key-file is required"));
    QString key;
    if (!command.secretGiven(QStringLiteral("key"))) {
        if (!askHidden(QStringLiteral("Encryption key: "), key))
            return fail(QStringLiteral("no encryption key given"));
    } else if (const int done = command.readSecret(QStringLiteral("key"),
                                                   QStringLiteral("Encryption key: "), key);
               done >= 0) {
        return done;
    }

    QByteArray raw;
    if (inputs.isEmpty()) {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read standard input"));
        raw = in.readAll();
    } else {
        // Any readable input will do, a pipe or a FIFO as well.
        const QString input = inputs.first();
        if (!QFileInfo::exists(input))
            return fail(QStringLiteral("%1: no such file").arg(input));
        if (QFileInfo(input).isDir())
            return fail(QStringLiteral("%1: is a folder").arg(input));
        QFile in(input);
        if (!in.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("%1: %2").arg(input, in.errorString()));
        raw = in.readAll();
        if (in.error() != QFileDevice::NoError)
            return fail(QStringLiteral("%1: %2").arg(input, in.errorString()));
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(raw);
    if (utf8.hasError())
        return fail(QStringLiteral("the input is not UTF-8 text"));

    const RecordFile::Encoded encoded = RecordFile::fromTabbedText(text, key);
    if (!encoded.error.isEmpty())
        return fail(encoded.error);
    if (command.isSet(QStringLiteral("output"))) {
        const SafeFile::Result written =
            SafeFile::write(command.value(QStringLiteral("output")), encoded.bytes);
        if (!written)
            return fail(written.error);
        return Success;
    }
    std::fwrite(encoded.bytes.constData(), 1, std::size_t(encoded.bytes.size()), stdout);
    return Success;
}

} // namespace Cli
