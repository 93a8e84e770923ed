#pragma once

#include "common/SafeFile.h"

#include <QByteArray>
#include <QString>

// Writing record files and their readable text form.
namespace RecordFile {

// Ciphertext bytes as three-digit decimal groups: 7 then 200 gives "007200".
QByteArray encodeGroups(QByteArrayView cipherText);

// One record file line without its line end: the label cut or padded with
// blanks to 20 bytes, then the value encrypted on its own under the key.
QByteArray line(QByteArrayView label, QByteArrayView value, QByteArrayView key);

struct Encoded
{
    QByteArray bytes;
    QString error; // empty on success
};

// Builds a record file from lines "label<TAB>value" (a line without a TAB
// is a label alone), each ending in CR LF. Labels and values must be
// writable in the record files' code page.
Encoded fromTabbedText(const QString &text, const QString &encryptionKey);

// The decrypted record as a text file holds it: the record text in the
// record files' code page followed by CR LF.
QByteArray savedTextForm(const QString &recordText);

// The path without its file name's extension: the file name is cut at its
// last dot. Dots in folder names and a file name's leading dot are no
// extension; a path without an extension comes back unchanged.
QString StripExtension(const QString &path);

// Copies a record file byte for byte to a new path, through the safe writer:
// the target is replaced whole or not at all. A failure names the file that
// could not be read or written and the system's reason.
SafeFile::Result copy(const QString &from, const QString &to);

} // namespace RecordFile
