// Batch decryption as a user runs it: `varnell decrypt --output-dir` over
// 10,000 record files of 30 fields on the disk, beside a plain copy of the
// same files (cp), both as whole processes in one run. The ratio says what
// decrypting and making the batch durable cost over moving the bytes.
#include "BuildConfig.h"
#include "common/Ansi.h"
#include "records/RecordFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int recordCount = 10000;
constexpr int fieldsPerRecord = 30;

double run(const QString &program, const QStringList &arguments)
{
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(600000) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
                     process.readAllStandardError().constData());
        return -1;
    }
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // On the disk the build is on, not in a memory file system: the syncs
    // are what is measured.
    QTemporaryDir work(QCoreApplication::applicationDirPath() + QStringLiteral("/batch-XXXXXX"));
    qputenv("VARNELL_KEY_CONTAINER", QFile::encodeName(work.filePath(QStringLiteral("keys"))));
    const QString key = QStringLiteral("benchmark encryption key");
    const QString in = work.filePath(QStringLiteral("in"));
    QDir().mkpath(in);
    QStringList inputs;
    for (int r = 0; r < recordCount; ++r) {
        QByteArray file;
        for (int f = 0; f < fieldsPerRecord; ++f)
            file += RecordFile::line(
                        QByteArray("Field " + QByteArray::number(f) + ':'),
                        QByteArray("value " + QByteArray::number(r * 31 + f) + " of a record"),
                        Ansi::encode(key)) +
                    "\r\n";
        const QString path = in + QStringLiteral("/record%1.vrd").arg(r);
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size())
            return 1;
        inputs.append(path);
    }
    const QString varnell =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../src/cli/varnell");
    const QString decrypted = work.filePath(QStringLiteral("decrypted"));
    QDir().mkpath(decrypted);
    // Each timed step starts with nothing waiting to be written, so that
    // the batch's sync writes its own files, not the inputs or the copy.
    ::sync();
    const double copy = run(QStringLiteral("cp"),
                            {QStringLiteral("-r"), in, work.filePath(QStringLiteral("copy"))});
    ::sync();
    const double batch =
        run(varnell, QStringList{QStringLiteral("decrypt"), QStringLiteral("--key"), key,
                                 QStringLiteral("--output-dir"), decrypted} +
                         inputs);
    if (copy < 0 || batch < 0)
        return 1;
    std::printf("Batch decryption: %d record files x %d fields, on disk\n", recordCount,
                fieldsPerRecord);
    std::printf("  %-44s %8.3f s\n", "plain copy (cp -r):", copy);
    std::printf("  %-44s %8.3f s\n", "varnell decrypt --output-dir (durable):", batch);
    std::printf("  ratio (decrypt / copy):                      %.2fx\n", batch / copy);
    return 0;
}
