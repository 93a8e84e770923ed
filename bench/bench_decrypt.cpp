// Decrypts a batch of generated record files twice in one process: with the
// key schedule derived once per file, and derived afresh for every field.

#include "common/Ansi.h"
#include "records/RecordFile.h"
#include "records/RecordText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int recordCount = 10000;
constexpr int fieldsPerRecord = 30;

QList<QByteArray> makeRecords(const QByteArray &key)
{
    QList<QByteArray> records;
    records.reserve(recordCount);
    for (int r = 0; r < recordCount; ++r) {
        QByteArray file;
        for (int f = 0; f < fieldsPerRecord; ++f) {
            const QByteArray label = "Field " + QByteArray::number(f) + ':';
            const QByteArray value =
                f == 3 ? QByteArray("4111222233334444")
                       : "value " + QByteArray::number(r * 31 + f) + " of the generated record";
            file += RecordFile::line(label, value, key) + "\r\n";
        }
        records.append(file);
    }
    return records;
}

struct Run
{
    double seconds;
    qsizetype outputChars;
};

Run decryptAll(const QList<QByteArray> &records, const QString &key, bool reuse)
{
    QElapsedTimer timer;
    timer.start();
    qsizetype chars = 0;
    for (const QByteArray &record : records)
        chars += RecordText::fromBytes(record, key, {}, RecordText::Options{reuse}).size();
    return Run{double(timer.nsecsElapsed()) / 1e9, chars};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir keys;
    qputenv("VARNELL_KEY_CONTAINER", QFile::encodeName(keys.filePath(QStringLiteral("keys"))));

    const QString key = QStringLiteral("benchmark encryption key");
    const QList<QByteArray> records = makeRecords(Ansi::encode(key));
    qint64 bytes = 0;
    for (const QByteArray &r : records)
        bytes += r.size();
    const double fields = double(recordCount) * fieldsPerRecord;

    decryptAll(records.mid(0, 100), key, true); // warm up
    const Run perFile = decryptAll(records, key, true);
    const Run perField = decryptAll(records, key, false);
    if (perFile.outputChars != perField.outputChars) {
        std::fprintf(stderr, "the two runs disagree\n");
        return 1;
    }

    std::printf("Record decryption: %d records x %d fields, %.1f MB of record files\n", recordCount,
                fieldsPerRecord, double(bytes) / 1e6);
    const auto line = [&](const char *name, const Run &run) {
        std::printf("  %-34s %8.3f s  %10.0f fields/s  %7.2f MB/s\n", name, run.seconds,
                    fields / run.seconds, double(bytes) / 1e6 / run.seconds);
    };
    line("key schedule once per file:", perFile);
    line("key schedule afresh per field:", perField);
    std::printf("  ratio (afresh / once per file):    %.2fx\n", perField.seconds / perFile.seconds);
    return 0;
}
