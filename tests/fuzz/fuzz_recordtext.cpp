// The record decoder: a record file's bytes into the record text, and a
// value's three-digit groups into ciphertext bytes.
#include "FuzzSupport.h"

#include "common/Ansi.h"
#include "records/Rc4.h"
#include "records/RecordFile.h"
#include "records/RecordText.h"

#include <QList>
#include <QTemporaryDir>

#include <fuzzer/FuzzedDataProvider.h>

#include <optional>

namespace {

// The sandbox's encryption key: the seed records are encrypted under it.
const QString key = QStringLiteral("Varnell sandbox key");

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A file's lines as a text reader finds them: CR LF, CR and LF each end a
// line, and a line end at the very end adds no empty line.
QList<QByteArrayView> fileLines(QByteArrayView bytes)
{
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        lines.append(bytes.sliced(start, i - start));
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.append(bytes.sliced(start));
    return lines;
}

// How a label and its decrypted value are shown: a label without a value
// alone, the card number in groups of five (15 characters) or four (16), and
// dropped at any other length.
std::optional<QString> shown(const QString &label, const QString &value)
{
    if (value.isEmpty() || label != RecordText::cardNumberLabel())
        return label + value;
    QStringList groups;
    const qsizetype width = value.size() == 15 ? 5 : value.size() == 16 ? 4 : 0;
    if (width == 0)
        return std::nullopt;
    for (qsizetype i = 0; i < value.size(); i += width)
        groups.append(value.mid(i, width));
    return label + groups.join(QLatin1Char(' '));
}

// What one file line adds to the record text, each value decrypted on its
// own with a fresh keystream.
std::optional<QString> expectedPiece(QByteArrayView line)
{
    const QString label = Ansi::decode(line.first(qMin(line.size(), RecordText::labelLength)));
    const QByteArray cipherText = RecordText::decodeGroups(
        line.size() > RecordText::labelLength ? line.sliced(RecordText::labelLength)
                                              : QByteArrayView());
    // A copy of the keyed cipher starts the keystream at its first byte; the
    // key schedule is made once, as RecordCipher::crypt would make it.
    static const Rc4 keyed = RecordCipher::keyed(Ansi::encode(key));
    Rc4 cipher = keyed;
    return shown(label, Ansi::decode(cipher.apply(cipherText)));
}

void appendPiece(QString &text, const QString &piece)
{
    if (!text.isEmpty())
        text += QLatin1String("\r\n");
    text += piece;
}

void checkGroups(QByteArrayView text)
{
    const QByteArray bytes = RecordText::decodeGroups(text);
    const qsizetype groups = (text.size() + 1) / 3;
    FUZZ_CHECK(bytes.size() <= groups);

    // Each group stands on its own: decoding the groups one by one gives the
    // same bytes. A group of three digits is its value, when that fits a byte.
    QByteArray oneByOne;
    for (qsizetype i = 0; i < groups; ++i) {
        const QByteArrayView group = text.sliced(3 * i, qMin<qsizetype>(3, text.size() - 3 * i));
        const QByteArray decoded = RecordText::decodeGroups(group);
        FUZZ_CHECK(decoded.size() <= 1);
        if (group.size() == 3 && isDigit(group[0]) && isDigit(group[1]) && isDigit(group[2])) {
            const int value = (group[0] - '0') * 100 + (group[1] - '0') * 10 + (group[2] - '0');
            FUZZ_CHECK(value > 255 ? decoded.isEmpty() : decoded == QByteArray(1, char(value)));
        }
        for (char c : group)
            FUZZ_CHECK(c == ' ' || isDigit(c) || decoded.isEmpty());
        oneByOne += decoded;
    }
    FUZZ_CHECK(oneByOne == bytes);

    // Any bytes written as groups read back unchanged.
    FUZZ_CHECK(RecordText::decodeGroups(RecordFile::encodeGroups(text)) == text);
}

void checkRecordText(QByteArrayView file)
{
    QString expected;
    for (QByteArrayView line : fileLines(file)) {
        if (const std::optional<QString> piece = expectedPiece(line))
            appendPiece(expected, *piece);
    }
    FUZZ_CHECK(RecordText::fromBytes(file, key) == expected);
}

// The input taken as fields, each a 20-byte label without line ends and a
// value of any bytes: written with RecordFile::line and read back, every
// field shows as its label followed by its value.
void checkRoundTrip(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    const QByteArray keyBytes = Ansi::encode(key);
    QByteArray file;
    QString expected;
    while (provider.remaining_bytes() >= std::size_t(RecordText::labelLength)) {
        QByteArray label = QByteArray::fromStdString(
            provider.ConsumeBytesAsString(std::size_t(RecordText::labelLength)));
        label.replace('\r', ' ').replace('\n', ' ');
        const QByteArray value = QByteArray::fromStdString(provider.ConsumeRandomLengthString());
        file += RecordFile::line(label, value, keyBytes) + "\r\n";
        if (const std::optional<QString> piece = shown(Ansi::decode(label), Ansi::decode(value)))
            appendPiece(expected, *piece);
    }
    FUZZ_CHECK(RecordText::fromBytes(file, key) == expected);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Decrypting makes sure the user's key container holds its key pairs;
    // the run gets a container of its own instead of the user's.
    static QTemporaryDir container;
    if (!container.isValid())
        std::abort();
    qputenv("VARNELL_KEY_CONTAINER", container.path().toLocal8Bit());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input = FuzzSupport::bytes(data, size);
    checkGroups(input);
    checkRecordText(input);
    checkRoundTrip(data, size);
    return 0;
}
