#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstdint>

// The RC4 stream cipher: a key schedule, then a keystream that is XORed into
// the data. Copying a freshly keyed object restarts the keystream.
class Rc4
{
public:
    explicit Rc4(QByteArrayView key);

    // XORs the next bytes of the keystream into data.
    void apply(char *data, qsizetype size);
    QByteArray apply(QByteArrayView data);

private:
    std::array<std::uint8_t, 256> m_state{};
    std::uint8_t m_i = 0;
    std::uint8_t m_j = 0;
};

// The record cipher: RC4 keyed with the first five bytes of the MD5 digest of
// the password followed by eleven zero bytes (a 40-bit key with a zero salt).
// Encrypting and decrypting are the same operation.
namespace RecordCipher {

using Key = std::array<char, 16>;

Key deriveKey(QByteArrayView password);
Rc4 keyed(QByteArrayView password);
QByteArray crypt(QByteArrayView password, QByteArrayView data);

} // namespace RecordCipher
