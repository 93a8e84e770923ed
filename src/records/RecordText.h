#pragma once

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <memory>

class clsCryptoFilterBox;

// Turns an encrypted record file into the record text: one line per file
// line, the 20-character label as written followed by the decrypted value,
// the card number grouped, lines joined by CR LF with none after the last.
namespace RecordText {

// Called after each decrypted field; the window lets pending events run.
using FieldHook = std::function<void()>;

inline constexpr qsizetype labelLength = 20;

inline QString cardNumberLabel()
{
    return QStringLiteral("Card Number:        ");
}

// Larger files are refused unread: no record file comes near this size, and
// cutting one would show a record that the file does not hold.
inline constexpr qint64 maxFileSize = 64 * 1024 * 1024;

// The value text's three-digit groups as ciphertext bytes: (length + 1) / 3
// groups, the last one shorter when the text ends sooner; a group that is not
// a number from 0 to 255 (blanks around it allowed) adds nothing.
QByteArray decodeGroups(QByteArrayView valueText);

// Decodes record files with one crypto filter, made at the first field that
// needs it: one decoder for a batch of files sets the user's key container
// up once, not once per file. The key schedule is derived once per key, and
// each byte goes to its character through a table.
class Decoder
{
public:
    Decoder();
    ~Decoder();
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    QString text(QByteArrayView fileBytes, const QString &encryptionKey,
                 const FieldHook &afterField = {});

private:
    std::unique_ptr<clsCryptoFilterBox> m_filter;
};

// The record text of one file's bytes, with a decoder of its own.
QString fromBytes(QByteArrayView fileBytes, const QString &encryptionKey,
                  const FieldHook &afterField = {});

struct FileText
{
    QString text;
    // Why the file could not be read whole (without the path); empty when it
    // could.
    QString error;
    // The file is larger than maxFileSize and was not read.
    bool tooLarge = false;
};

// A file that cannot be opened (or is no regular file) gives the empty text;
// a read error ends the record where it happened.
FileText fromFile(const QString &path, const QString &encryptionKey,
                  const FieldHook &afterField = {});
FileText fromFile(Decoder &decoder, const QString &path, const QString &encryptionKey,
                  const FieldHook &afterField = {});

} // namespace RecordText
