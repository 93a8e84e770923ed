#pragma once

#include <QByteArray>
#include <QString>

// The single-byte code page of record files, server answers and written
// files: Windows-1252 as browsers map it. The five bytes that Windows-1252
// leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of
// the same value, so every byte 0-255 turns into one character and back.
namespace Ansi {

QString decode(QByteArrayView bytes);

// Characters without a byte of their own become '?'.
QByteArray encode(QStringView text);

// True when every character of the text has a byte of its own.
bool canEncode(QStringView text);

QChar charFromByte(unsigned char byte);

} // namespace Ansi
