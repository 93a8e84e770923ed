#include "records/RecordFile.h"

#include "common/Ansi.h"
#include "records/Rc4.h"
#include "records/RecordText.h"

#include <QStringList>

namespace RecordFile {

QByteArray encodeGroups(QByteArrayView cipherText)
{
    QByteArray text;
    text.reserve(cipherText.size() * 3);
    for (char c : cipherText) {
        const int value = static_cast<unsigned char>(c);
        text.append(char('0' + value / 100));
        text.append(char('0' + value / 10 % 10));
        text.append(char('0' + value % 10));
    }
    return text;
}

QByteArray line(QByteArrayView label, QByteArrayView value, QByteArrayView key)
{
    QByteArray out = label.first(qMin(label.size(), RecordText::labelLength)).toByteArray();
    out.append(RecordText::labelLength - out.size(), ' ');
    out.append(encodeGroups(RecordCipher::crypt(key, value)));
    return out;
}

Encoded fromTabbedText(const QString &text, const QString &encryptionKey)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    const QByteArray key = Ansi::encode(encryptionKey);
    Encoded result;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QString entry = lines[n];
        if (entry.endsWith(QLatin1Char('\r')))
            entry.chop(1);
        const qsizetype tab = entry.indexOf(QLatin1Char('\t'));
        const QString label = tab < 0 ? entry : entry.left(tab);
        const QString value = tab < 0 ? QString() : entry.mid(tab + 1);
        // A label is written as plain text: a CR inside it would end the
        // line early when the file is read.
        if (!Ansi::canEncode(label) || !Ansi::canEncode(value) ||
            label.contains(QLatin1Char('\r'))) {
            result.error =
                QStringLiteral("Line %1 holds characters that a record file cannot hold.")
                    .arg(n + 1);
            result.bytes.clear();
            return result;
        }
        result.bytes += line(Ansi::encode(label), Ansi::encode(value), key);
        result.bytes += "\r\n";
    }
    return result;
}

QByteArray savedTextForm(const QString &recordText)
{
    return Ansi::encode(recordText) + "\r\n";
}

QString StripExtension(const QString &path)
{
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= nameStart)
        return path;
    return path.left(dot);
}

SafeFile::Result copy(const QString &from, const QString &to)
{
    QByteArray bytes;
    SafeFile::Result read = SafeFile::readRegular(from, RecordText::maxFileSize, bytes);
    if (!read) {
        read.error = QStringLiteral("Cannot read %1: %2").arg(from, read.error);
        return read;
    }
    return SafeFile::write(to, bytes);
}

} // namespace RecordFile
