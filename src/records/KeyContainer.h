#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

typedef struct evp_pkey_st EVP_PKEY;

// The current user's own key container: a folder (mode 0700) under the
// user's data folder holding a signature key pair (Ed25519) and a
// key-exchange key pair (X25519), each in a file of mode 0600.
namespace KeyContainer {

// Code of a key that is not in the container.
inline constexpr std::int32_t noKeyCode = std::int32_t(0x8009000D);

enum class KeyKind
{
    Signature,
    Exchange
};

struct KeyDeleter
{
    void operator()(EVP_PKEY *key) const;
};
using Key = std::unique_ptr<EVP_PKEY, KeyDeleter>;

struct Outcome
{
    bool ok = false;
    std::int32_t code = 0; // why it failed
};

// VARNELL_KEY_CONTAINER overrides the folder (tests, portable installs).
QString folder();

// Makes the container folder (0700) when missing; one that is there is
// checked: a link, a file or another user's folder in its place fails, a
// looser mode is tightened.
Outcome ensureFolder(bool *created = nullptr);
// Loads a key; fails with noKeyCode when its file does not exist.
Key load(KeyKind kind, Outcome *outcome);
// Whether the key is in the container and readable, as load() would find;
// a key file that was found good before and has not changed since is not
// parsed again.
Outcome check(KeyKind kind);
Outcome generate(KeyKind kind);

// Sign and verify with the signature key pair.
QByteArray sign(EVP_PKEY *key, QByteArrayView data, Outcome *outcome);
// ok with code 0: valid; ok false with code 0: a signature that does not match.
Outcome verify(EVP_PKEY *key, QByteArrayView data, QByteArrayView signature);

} // namespace KeyContainer
