// Decrypts a batch of generated record files twice in one process: with the
// program's decoder, and with the plain per-field way a script would take
// (the key digested and scheduled afresh for every field, every piece a
// string of its own). Both give the same text.

#include "common/Ansi.h"
#include "records/Rc4.h"
#include "records/RecordFile.h"
#include "records/RecordText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QStringList>
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

// The plain way: every field on its own, from the key's digest on.
QString perFieldText(const QByteArray &file, const QString &key)
{
    const QByteArray keyBytes = Ansi::encode(key);
    QStringList lines;
    for (QByteArray line : file.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const QString label = Ansi::decode(line.left(RecordText::labelLength));
        const QByteArray cipher = RecordText::decodeGroups(line.mid(RecordText::labelLength));
        QString value = Ansi::decode(RecordCipher::crypt(keyBytes, cipher));
        if (label == RecordText::cardNumberLabel())
            value = value.left(4) + QLatin1Char(' ') + value.mid(4, 4) + QLatin1Char(' ') +
                    value.mid(8, 4) + QLatin1Char(' ') + value.mid(12, 4);
        lines.append(label + value);
    }
    return lines.join(QLatin1String("\r\n"));
}

Run decryptAll(const QList<QByteArray> &records, const QString &key, bool program)
{
    QElapsedTimer timer;
    timer.start();
    qsizetype chars = 0;
    RecordText::Decoder decoder; // one for the batch, as varnell decrypt has
    for (const QByteArray &record : records)
        chars += (program ? decoder.text(record, key) : perFieldText(record, key)).size();
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

    for (const QByteArray &record : records.mid(0, 200)) {
        if (RecordText::fromBytes(record, key) != perFieldText(record, key)) {
            std::fprintf(stderr, "the two ways disagree\n");
            return 1;
        }
    }
    const Run perFile = decryptAll(records, key, true);
    const Run perField = decryptAll(records, key, false);

    std::printf("Record decryption: %d records x %d fields, %.1f MB of record files\n", recordCount,
                fieldsPerRecord, double(bytes) / 1e6);
    const auto line = [&](const char *name, const Run &run) {
        std::printf("  %-34s %8.3f s  %10.0f fields/s  %7.2f MB/s\n", name, run.seconds,
                    fields / run.seconds, double(bytes) / 1e6 / run.seconds);
    };
    line("the program's decoder:", perFile);
    line("per field, as a script would:", perField);
    std::printf("  ratio (per field / program):       %.2fx\n", perField.seconds / perFile.seconds);
    return 0;
}
