#include "cli/Cli.h"

#include "common/SafeFile.h"
#include "records/PagePainter.h"
#include "records/PrintLayout.h"
#include "records/RecordFile.h"
#include "records/RecordText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>

#include <cstdio>
#include <optional>
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

namespace {

// The options of a command that reads record files and writes one output
// per record: the key, the one output file (fileOption), an output folder,
// the login, and the record files.
void addRecordOptions(Command &command, const QString &fileOption, const QString &fileHelp,
                      const QString &folderHelp)
{
    command.addSecretOption(QStringLiteral("key"),
                            QStringLiteral("Encryption key (default: the one in the settings "
                                           "store)."),
                            QStringLiteral("KEY"));
    command.addOption({fileOption, fileHelp, QStringLiteral("FILE")});
    command.addOption({QStringLiteral("output-dir"), folderHelp, QStringLiteral("DIR")});
    command.addLoginOption();
}

// The usage errors of those options: no record, both outputs (or, when an
// output is required, neither), one output file for several records.
// Gives -1 to go on, or the exit code.
int checkRecordOptions(const Command &command, const QString &fileOption, bool outputRequired)
{
    const bool toFile = command.isSet(fileOption);
    const bool toDir = command.isSet(QStringLiteral("output-dir"));
    if (command.positional().isEmpty())
        return command.usageError(QStringLiteral("no record file given"));
    if (toFile && toDir)
        return command.usageError(
            QStringLiteral("--%1 and --output-dir exclude each other").arg(fileOption));
    if (outputRequired && !toFile && !toDir)
        return command.usageError(
            QStringLiteral("give either --%1 or --output-dir").arg(fileOption));
    if (toFile && command.positional().size() != 1)
        return command.usageError(
            QStringLiteral("--%1 takes exactly one record file").arg(fileOption));
    if (toDir && !QFileInfo(command.value(QStringLiteral("output-dir"))).isDir())
        return fail(
            QStringLiteral("%1: no such folder").arg(command.value(QStringLiteral("output-dir"))));
    return -1;
}

// The encryption key given with --key or --key-file, or else the store's.
// Gives -1 to go on, or the exit code, the message printed.
int readKey(const Command &command, QString &key)
{
    if (command.secretGiven(QStringLiteral("key")))
        return command.readSecret(QStringLiteral("key"), QStringLiteral("Encryption key: "), key);
    Settings settings;
    if (const int done =
            readStoreWithLogin(command, settings, QStringLiteral("No decryption key found."));
        done >= 0)
        return done;
    key = settings.encryptionKey;
    return -1;
}

// The record text of one input; false, the reason printed, when the input
// cannot be done.
bool readRecord(RecordText::Decoder &decoder, const QString &input, const QString &key,
                QString &text)
{
    if (!QFileInfo::exists(input)) {
        error(QStringLiteral("%1: no such file").arg(input));
        return false;
    }
    const int messagesBefore = raisedMessages();
    RecordText::FileText read = RecordText::fromFile(decoder, input, key);
    if (!read.error.isEmpty()) {
        error(QStringLiteral("%1: %2").arg(input, read.error));
        return false;
    }
    // The crypto filter said something went wrong (printed above): the input
    // is not done.
    if (raisedMessages() != messagesBefore)
        return false;
    text = std::move(read.text);
    return true;
}

// Where a command's outputs go: the one file named, or one file per input in
// a folder, written as a batch that is made durable with one sync at the end.
class Outputs
{
public:
    // file, when one is named, takes the output of the one input.
    Outputs(const std::optional<QString> &file, const QString &folder, const QString &extension)
        : m_file(file), m_folder(folder), m_extension(extension)
    {}

    // Writes the output of one input; false, the reason printed, when it
    // was not written.
    bool put(const QString &input, const QByteArray &bytes)
    {
        const QString target =
            m_file ? *m_file
                   : QDir(m_folder).filePath(QFileInfo(input).completeBaseName() + m_extension);
        const QString absolute = QFileInfo(target).absoluteFilePath();
        if (m_written.contains(absolute)) {
            error(QStringLiteral("%1: another input already wrote %2").arg(input, target));
            return false;
        }
        // A single output is synced on its own.
        const SafeFile::Result done =
            m_file ? SafeFile::write(target, bytes) : m_batch.add(target, bytes);
        if (!done) {
            error(done.error);
            return false;
        }
        m_written.insert(absolute);
        return true;
    }

    bool commit()
    {
        if (const SafeFile::Result committed = m_batch.commit(); !committed) {
            error(committed.error);
            return false;
        }
        return true;
    }

private:
    std::optional<QString> m_file;
    QString m_folder;
    QString m_extension;
    QSet<QString> m_written;
    SafeFile::Batch m_batch;
};

} // namespace

int decrypt(const QStringList &arguments)
{
    Command command(QStringLiteral("decrypt"),
                    QStringLiteral("Decrypt record files and print their text, or save it as "
                                   "the program's Save Decrypt does."));
    addRecordOptions(command, QStringLiteral("output"),
                     QStringLiteral("Write the text of the one input to FILE."),
                     QStringLiteral("Write DIR/<base name>.txt for every input."));
    command.addPositional(QStringLiteral("FILE"), QStringLiteral("Record files (.vrd)."),
                          QStringLiteral("FILE..."));
    if (const int done = command.parse(arguments); done >= 0)
        return done;
    if (const int done = checkRecordOptions(command, QStringLiteral("output"), false); done >= 0)
        return done;
    const QStringList inputs = command.positional();
    const bool toFile = command.isSet(QStringLiteral("output"));
    const bool toDir = command.isSet(QStringLiteral("output-dir"));
    const QString outputDir = command.value(QStringLiteral("output-dir"));

    QString key;
    if (const int done = readKey(command, key); done >= 0)
        return done;

    int status = Success;
    // One decoder for the batch: the key container is set up once.
    RecordText::Decoder decoder;
    Outputs outputs(toFile ? std::optional(command.value(QStringLiteral("output"))) : std::nullopt,
                    outputDir, QStringLiteral(".txt"));
    for (const QString &input : inputs) {
        QString text;
        if (!readRecord(decoder, input, key, text)) {
            status = Failure;
            continue;
        }
        if (!toFile && !toDir) {
            if (inputs.size() > 1)
                out(QStringLiteral("==> %1 <==").arg(input));
            printRecord(text);
            continue;
        }
        if (!outputs.put(input, RecordFile::savedTextForm(text)))
            status = Failure;
    }
    if (!outputs.commit())
        status = Failure;
    return status;
}

int print(const QStringList &arguments)
{
    Command command(QStringLiteral("print"),
                    QStringLiteral("Lay record files out as the program prints them and write "
                                   "the pages as PDF documents."));
    addRecordOptions(command, QStringLiteral("pdf"),
                     QStringLiteral("Write the pages of the one record to FILE."),
                     QStringLiteral("Write DIR/<base name>.pdf for every record."));
    command.addPositional(QStringLiteral("RECORD"), QStringLiteral("Record files (.vrd)."),
                          QStringLiteral("RECORD..."));
    if (const int done = command.parse(arguments); done >= 0)
        return done;
    if (const int done = checkRecordOptions(command, QStringLiteral("pdf"), true); done >= 0)
        return done;
    const QStringList inputs = command.positional();
    const bool toFile = command.isSet(QStringLiteral("pdf"));
    const QString outputDir = command.value(QStringLiteral("output-dir"));

    QString key;
    if (const int done = readKey(command, key); done >= 0)
        return done;

    // Every record of the batch shows the same time of printing.
    const QString printedAt = PrintLayout::printedAtText(QDateTime::currentDateTime());
    int status = Success;
    RecordText::Decoder decoder;
    Outputs outputs(toFile ? std::optional(command.value(QStringLiteral("pdf"))) : std::nullopt,
                    outputDir, QStringLiteral(".pdf"));
    for (const QString &input : inputs) {
        QString text;
        if (!readRecord(decoder, input, key, text)) {
            status = Failure;
            continue;
        }
        const QFileInfo record(input);
        const QByteArray pdf = PagePainter::pdf(
            PrintLayout::pages(text, record.absoluteFilePath(), printedAt), record.fileName());
        if (pdf.isEmpty()) {
            error(QStringLiteral("%1: the pages could not be drawn").arg(input));
            status = Failure;
            continue;
        }
        if (!outputs.put(input, pdf))
            status = Failure;
    }
    if (!outputs.commit())
        status = Failure;
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
