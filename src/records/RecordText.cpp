#include "records/RecordText.h"

#include "common/Ansi.h"
#include "common/SafeFile.h"
#include "records/clsCryptoFilterBox.h"

#include <cerrno>
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

QString groupedCardNumber(const QString &value)
{
    const QChar blank = QLatin1Char(' ');
    if (value.size() == 15)
        return value.mid(0, 5) + blank + value.mid(5, 5) + blank + value.mid(10, 5);
    if (value.size() == 16)
        return value.mid(0, 4) + blank + value.mid(4, 4) + blank + value.mid(8, 4) + blank +
               value.mid(12, 4);
    return QString();
}

// A piece becomes the record text while that is still empty, otherwise it
// follows a CR LF.
void append(QString &text, const QString &piece)
{
    if (!text.isEmpty())
        text += QLatin1String("\r\n");
    text += piece;
}

} // namespace

QByteArray decodeGroups(QByteArrayView valueText)
{
    const qsizetype groups = (valueText.size() + 1) / 3;
    QByteArray bytes;
    bytes.reserve(groups);
    for (qsizetype i = 0; i < groups; ++i) {
        const int value =
            groupValue(valueText.sliced(3 * i, qMin<qsizetype>(3, valueText.size() - 3 * i)));
        if (value >= 0)
            bytes.append(char(value));
    }
    return bytes;
}

QString fromBytes(QByteArrayView fileBytes, const QString &encryptionKey,
                  const FieldHook &afterField, Options options)
{
    const QString cardLabel = cardNumberLabel();
    const QByteArray key = Ansi::encode(encryptionKey);
    std::unique_ptr<clsCryptoFilterBox> filter; // made at the first field that needs it

    QString text;

    qsizetype pos = 0;
    const qsizetype size = fileBytes.size();
    while (pos < size) {
        qsizetype end = pos;
        while (end < size && fileBytes[end] != '\r' && fileBytes[end] != '\n')
            ++end;
        const QByteArrayView line = fileBytes.sliced(pos, end - pos);
        pos = end;
        if (pos < size && fileBytes[pos] == '\r')
            ++pos;
        if (pos < size && fileBytes[pos] == '\n')
            ++pos;

        const QString label = Ansi::decode(line.first(qMin(line.size(), labelLength)));
        const QByteArray cipherText =
            decodeGroups(line.size() > labelLength ? line.sliced(labelLength) : QByteArrayView());
        if (cipherText.isEmpty()) {
            append(text, label);
            continue;
        }

        if (!filter) {
            filter = std::make_unique<clsCryptoFilterBox>();
            filter->setReuseKeySchedule(options.reuseKeySchedule);
        }
        filter->setInBuffer(cipherText);
        filter->setPassword(key);
        filter->Decrypt();
        if (afterField)
            afterField();
        const QString value = Ansi::decode(filter->OutBuffer());

        if (label != cardLabel) {
            append(text, label + value);
        } else {
            if (afterField)
                afterField();
            const QString grouped = groupedCardNumber(value);
            if (!grouped.isEmpty())
                append(text, label + grouped);
        }
    }
    return text;
}

FileText fromFile(const QString &path, const QString &encryptionKey, const FieldHook &afterField,
                  Options options)
{
    QByteArray bytes;
    const SafeFile::Result read = SafeFile::readRegular(path, maxFileSize, bytes);
    if (read.errorCode == EFBIG)
        return FileText{QString(), read.error, true};
    return FileText{fromBytes(bytes, encryptionKey, afterField, options), read.error, false};
}

} // namespace RecordText
