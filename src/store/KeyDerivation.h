#pragma once

#include <QByteArray>
#include <QByteArrayView>

// PBKDF2 with HMAC-SHA1 (RFC 8018), the key derivation of the settings
// store's cipher.
namespace KeyDerivation {

// The first `length` bytes of the key derived from the password and the
// salt in `iterations` rounds; empty when the digest cannot be made.
QByteArray pbkdf2HmacSha1(QByteArrayView password, QByteArrayView salt, int iterations, int length);

} // namespace KeyDerivation
