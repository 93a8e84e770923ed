#include "records/RecordText.h"

#include "common/Ansi.h"
#include "common/SafeFile.h"
#include "records/clsCryptoFilterBox.h"

#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

namespace RecordText {

namespace {

bool isBlank(char c)
{
    return c == ' ';
}

// A group read as a decimal number: blanks around the digits, nothing else.
int groupValue(QByteArrayView group)
{
    qsizetype begin = 0;
    qsizetype end = group.size();
    while (begin < end && isBlank(group[begin]))
        ++begin;
    while (end > begin && isBlank(group[end - 1]))
        --end;
    if (begin == end)
        return -1;
    int value = 0;
    for (qsizetype i = begin; i < end; ++i) {
        const char c = group[i];
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value <= 255 ? value : -1;
}

// The record files' code page as a table, built once.
const char16_t *ansiTable()
{
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        for (int b = 0; b < 256; ++b)
            t[std::size_t(b)] = Ansi::charFromByte(static_cast<unsigned char>(b)).unicode();
        return t;
    }();
    return table.data();
}

const char cardLabelBytes[] = "Card Number:        ";
static_assert(sizeof cardLabelBytes - 1 == labelLength);

// The groups of a value as bytes into out, which holds (size + 1) / 3 of
// them; the number written.
qsizetype decodeGroupsInto(QByteArrayView valueText, char *out)
{
    const qsizetype groups = (valueText.size() + 1) / 3;
    const char *text = valueText.data();
    qsizetype written = 0;
    for (qsizetype i = 0; i < groups; ++i, text += 3) {
        const qsizetype length = std::min<qsizetype>(3, valueText.size() - 3 * i);
        // Nearly every group is three digits; the rest take the long way.
        const unsigned d0 = unsigned(text[0] - '0');
        if (length == 3) {
            const unsigned d1 = unsigned(text[1] - '0');
            const unsigned d2 = unsigned(text[2] - '0');
            if (d0 < 10 && d1 < 10 && d2 < 10) {
                const unsigned value = d0 * 100 + d1 * 10 + d2;
                if (value <= 255)
                    out[written++] = char(value);
                continue;
            }
        }
        const int value = groupValue(QByteArrayView(text, length));
        if (value >= 0)
            out[written++] = char(value);
    }
    return written;
}

} // namespace

QByteArray decodeGroups(QByteArrayView valueText)
{
    QByteArray bytes((valueText.size() + 1) / 3, Qt::Uninitialized);
    bytes.truncate(decodeGroupsInto(valueText, bytes.data()));
    return bytes;
}

Decoder::Decoder() = default;
Decoder::~Decoder() = default;

QString fromBytes(QByteArrayView fileBytes, const QString &encryptionKey,
                  const FieldHook &afterField)
{
    return Decoder().text(fileBytes, encryptionKey, afterField);
}

QString Decoder::text(QByteArrayView fileBytes, const QString &encryptionKey,
                      const FieldHook &afterField)
{
    const QByteArray key = Ansi::encode(encryptionKey);
    const char16_t *const table = ansiTable();
    const char *const bytes = fileBytes.data();
    const qsizetype size = fileBytes.size();

    // Written straight into the text's characters. A byte gives at most one
    // character but for line ends (a lone LF becomes CR LF) and a card
    // number's blanks; room is made line by line.
    QString text(size + 16, Qt::Uninitialized);
    char16_t *begin = reinterpret_cast<char16_t *>(text.data());
    char16_t *out = begin;
    const auto makeRoom = [&](qsizetype lineSize) {
        const qsizetype used = out - begin;
        const qsizetype needed = used + lineSize + 8;
        if (needed > text.size()) {
            text.resize(std::max(needed, 2 * text.size()));
            begin = reinterpret_cast<char16_t *>(text.data());
            out = begin + used;
        }
    };
    const auto startLine = [&] {
        if (out != begin) {
            *out++ = u'\r';
            *out++ = u'\n';
        }
    };
    const auto put = [&](const char *from, qsizetype count) {
        // Plain ASCII, the usual case, widens in a loop the compiler
        // vectorises; other bytes go through the table.
        const auto *u = reinterpret_cast<const unsigned char *>(from);
        unsigned char any = 0;
        for (qsizetype i = 0; i < count; ++i)
            any |= u[i];
        if (any < 0x80) {
            for (qsizetype i = 0; i < count; ++i)
                out[i] = u[i];
        } else {
            for (qsizetype i = 0; i < count; ++i)
                out[i] = table[u[i]];
        }
        out += count;
    };
    // A value's bytes: at most a third of the line, and lines are short.
    QVarLengthArray<char, 256> value;

    qsizetype pos = 0;
    while (pos < size) {
        qsizetype end = pos;
        while (end<size &&static_cast<unsigned char>(bytes[end])> '\r')
            ++end;
        while (end < size && bytes[end] != '\r' && bytes[end] != '\n') {
            ++end;
            while (end<size &&static_cast<unsigned char>(bytes[end])> '\r')
                ++end;
        }
        const char *const line = bytes + pos;
        const qsizetype lineSize = end - pos;
        pos = end;
        if (pos < size && bytes[pos] == '\r')
            ++pos;
        if (pos < size && bytes[pos] == '\n')
            ++pos;
        makeRoom(lineSize);

        const qsizetype labelSize = std::min(lineSize, labelLength);
        value.resize((std::max<qsizetype>(lineSize - labelLength, 0) + 1) / 3);
        const qsizetype valueSize =
            lineSize > labelLength
                ? decodeGroupsInto(QByteArrayView(line + labelLength, lineSize - labelLength),
                                   value.data())
                : 0;
        if (valueSize == 0) {
            startLine();
            put(line, labelSize);
            continue;
        }

        if (!m_filter)
            m_filter = std::make_unique<clsCryptoFilterBox>();
        m_filter->setPassword(key);
        m_filter->DecryptInPlace(value.data(), valueSize);
        if (afterField)
            afterField();

        if (labelSize != labelLength || std::memcmp(line, cardLabelBytes, labelLength) != 0) {
            startLine();
            put(line, labelSize);
            put(value.data(), valueSize);
            continue;
        }
        if (afterField)
            afterField();
        // A card number of 15 digits shows as 5 5 5, one of 16 as 4 4 4 4;
        // any other is left out.
        if (valueSize != 15 && valueSize != 16)
            continue;
        const qsizetype group = valueSize == 15 ? 5 : 4;
        startLine();
        put(line, labelSize);
        for (qsizetype i = 0; i < valueSize; i += group) {
            if (i > 0)
                *out++ = u' ';
            put(value.data() + i, group);
        }
    }
    text.truncate(out - begin);
    return text;
}

FileText fromFile(const QString &path, const QString &encryptionKey, const FieldHook &afterField)
{
    Decoder decoder;
    return fromFile(decoder, path, encryptionKey, afterField);
}

FileText fromFile(Decoder &decoder, const QString &path, const QString &encryptionKey,
                  const FieldHook &afterField)
{
    QByteArray bytes;
    const SafeFile::Result read = SafeFile::readRegular(path, maxFileSize, bytes);
    if (read.errorCode == EFBIG)
        return FileText{QString(), read.error, true};
    return FileText{decoder.text(bytes, encryptionKey, afterField), read.error, false};
}

} // namespace RecordText
