#include "common/Ansi.h"

#include <array>

namespace {

// Characters of the bytes 0x80 to 0x9F; every other byte is its own code point.
constexpr std::array<char16_t, 32> highControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int byteFromChar(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (std::size_t i = 0; i < highControls.size(); ++i) {
        if (highControls[i] == c)
            return int(0x80 + i);
    }
    return -1;
}

} // namespace

namespace Ansi {

QChar charFromByte(unsigned char byte)
{
    if (byte >= 0x80 && byte < 0xA0)
        return QChar(highControls[byte - 0x80]);
    return QChar(char16_t(byte));
}

QString decode(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (char b : bytes)
        *out++ = charFromByte(static_cast<unsigned char>(b));
    return text;
}

QByteArray encode(QStringView text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char *out = bytes.data();
    for (QChar c : text) {
        const int b = byteFromChar(c.unicode());
        *out++ = b < 0 ? '?' : char(b);
    }
    return bytes;
}

bool canEncode(QStringView text)
{
    for (QChar c : text) {
        if (byteFromChar(c.unicode()) < 0)
            return false;
    }
    return true;
}

} // namespace Ansi
