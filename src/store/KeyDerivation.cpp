#include "store/KeyDerivation.h"

// The low-level digest keeps its state in a plain structure: the states
// after HMAC's inner and outer key blocks are made once and copied for
// every round. The EVP interface allocates for every copy, which makes the
// 64,000 rounds of a store's key more than twice as slow.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <array>
#include <cstring>

namespace KeyDerivation {

QByteArray pbkdf2HmacSha1(QByteArrayView password, QByteArrayView salt, int iterations, int length)
{
    constexpr std::size_t block = SHA_CBLOCK;
    constexpr std::size_t digest = SHA_DIGEST_LENGTH;
    if (iterations < 1 || length < 0)
        return QByteArray();

    // HMAC's key: the password, or its digest when longer than a block.
    std::array<unsigned char, block> key{};
    if (std::size_t(password.size()) > block)
        SHA1(reinterpret_cast<const unsigned char *>(password.data()), std::size_t(password.size()),
             key.data());
    else
        std::memcpy(key.data(), password.data(), std::size_t(password.size()));
    std::array<unsigned char, block> pad{};
    SHA_CTX inner{};
    SHA_CTX outer{};
    for (std::size_t i = 0; i < block; ++i)
        pad[i] = key[i] ^ 0x36;
    bool ok = SHA1_Init(&inner) && SHA1_Update(&inner, pad.data(), block);
    for (std::size_t i = 0; i < block; ++i)
        pad[i] = key[i] ^ 0x5c;
    ok = ok && SHA1_Init(&outer) && SHA1_Update(&outer, pad.data(), block);

    QByteArray derived(length, Qt::Uninitialized);
    std::array<unsigned char, digest> u{};
    std::array<unsigned char, digest> t{};
    for (quint32 index = 1; ok && qsizetype(index - 1) * qsizetype(digest) < length; ++index) {
        // U1 = HMAC(salt || INT(index)), then U(n) = HMAC(U(n-1)); the
        // block is their exclusive or.
        const unsigned char counter[4] = {uchar(index >> 24), uchar(index >> 16), uchar(index >> 8),
                                          uchar(index)};
        SHA_CTX context = inner;
        ok = SHA1_Update(&context, salt.data(), std::size_t(salt.size())) &&
             SHA1_Update(&context, counter, sizeof counter) && SHA1_Final(u.data(), &context);
        context = outer;
        ok = ok && SHA1_Update(&context, u.data(), digest) && SHA1_Final(u.data(), &context);
        t = u;
        for (int round = 1; ok && round < iterations; ++round) {
            context = inner;
            ok = SHA1_Update(&context, u.data(), digest) && SHA1_Final(u.data(), &context);
            context = outer;
            ok = ok && SHA1_Update(&context, u.data(), digest) && SHA1_Final(u.data(), &context);
            for (std::size_t i = 0; i < digest; ++i)
                t[i] ^= u[i];
        }
        const qsizetype offset = qsizetype(index - 1) * qsizetype(digest);
        std::memcpy(derived.data() + offset, t.data(),
                    std::size_t(std::min<qsizetype>(qsizetype(digest), length - offset)));
    }
    OPENSSL_cleanse(key.data(), key.size());
    OPENSSL_cleanse(pad.data(), pad.size());
    OPENSSL_cleanse(u.data(), u.size());
    OPENSSL_cleanse(t.data(), t.size());
    OPENSSL_cleanse(&inner, sizeof inner);
    OPENSSL_cleanse(&outer, sizeof outer);
    if (!ok) {
        OPENSSL_cleanse(derived.data(), std::size_t(derived.size()));
        return QByteArray();
    }
    return derived;
}

} // namespace KeyDerivation
