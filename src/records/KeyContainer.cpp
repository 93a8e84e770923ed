#include "records/KeyContainer.h"

#include "common/PrivateFolder.h"
#include "common/SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cerrno>

namespace KeyContainer {

void KeyDeleter::operator()(EVP_PKEY *key) const
{
    EVP_PKEY_free(key);
}

namespace {

// Far beyond any PEM key file this program writes.
constexpr qint64 maxKeyFileSize = 64 * 1024;

// The library's latest error, or errno when the library has none.
std::int32_t lastErrorCode()
{
    const unsigned long sslError = ERR_get_error();
    ERR_clear_error();
    if (sslError != 0)
        return std::int32_t(std::uint32_t(sslError));
    return errno != 0 ? errno : -1;
}

Outcome failed()
{
    return Outcome{false, lastErrorCode()};
}

QString keyFile(KeyKind kind)
{
    return folder() + (kind == KeyKind::Signature ? QStringLiteral("/signature.pem")
                                                  : QStringLiteral("/exchange.pem"));
}

// What identifies one version of a key file.
struct Fingerprint
{
    QString path;
    qint64 size = -1;
    QDateTime modified;
    bool operator==(const Fingerprint &) const = default;
};

Fingerprint fingerprint(const QString &path)
{
    const QFileInfo info(path);
    return Fingerprint{path, info.size(), info.lastModified()};
}

// Key files found good in this process, by kind.
Fingerprint knownGood[2];

} // namespace

QString folder()
{
    const QString override = qEnvironmentVariable("VARNELL_KEY_CONTAINER");
    if (!override.isEmpty())
        return override;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/varnell-decryptor/keys");
}

Outcome ensureFolder(bool *created)
{
    const QString path = folder();
    if (created)
        *created = false;
    const bool existed = QFileInfo::exists(path);
    // The folders above are the user's own data folders; the container
    // itself is this user's alone: a link, a file or another user's folder
    // in its place is refused, a looser mode tightened.
    if (!existed) {
        if (const SafeFile::Result made =
                SafeFile::createFolders(QFileInfo(path).absolutePath(), 0700);
            !made)
            return Outcome{false, made.errorCode};
    }
    const QString role = QStringLiteral("the key container");
    if (!(existed ? PrivateFolder::checkAndTighten(path, role) : PrivateFolder::prepare(path, role))
             .isEmpty())
        return Outcome{false, EACCES};
    if (created)
        *created = !existed;
    return Outcome{true, 0};
}

Key load(KeyKind kind, Outcome *outcome)
{
    QFile file(keyFile(kind));
    if (!file.exists()) {
        *outcome = Outcome{false, noKeyCode};
        return nullptr;
    }
    // A key file is small; a FIFO or device in its place is refused rather
    // than waited on.
    QByteArray pem;
    if (const SafeFile::Result read = SafeFile::readRegular(file.fileName(), maxKeyFileSize, pem);
        !read) {
        *outcome = Outcome{false, read.errorCode};
        return nullptr;
    }
    BIO *bio = BIO_new_mem_buf(pem.constData(), int(pem.size()));
    Key key(bio ? PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr) : nullptr);
    BIO_free(bio);
    const int expected = kind == KeyKind::Signature ? EVP_PKEY_ED25519 : EVP_PKEY_X25519;
    if (!key || EVP_PKEY_get_id(key.get()) != expected) {
        *outcome = Outcome{false, key ? -1 : lastErrorCode()};
        return nullptr;
    }
    *outcome = Outcome{true, 0};
    return key;
}

Outcome check(KeyKind kind)
{
    const QString path = keyFile(kind);
    Fingerprint &good = knownGood[kind == KeyKind::Signature ? 0 : 1];
    const Fingerprint now = fingerprint(path);
    if (now.size >= 0 && now == good)
        return Outcome{true, 0};
    Outcome outcome;
    if (load(kind, &outcome))
        good = now;
    return outcome;
}

Outcome generate(KeyKind kind)
{
    const int type = kind == KeyKind::Signature ? EVP_PKEY_ED25519 : EVP_PKEY_X25519;
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new_id(type, nullptr);
    EVP_PKEY *raw = nullptr;
    const bool made = ctx && EVP_PKEY_keygen_init(ctx) == 1 && EVP_PKEY_keygen(ctx, &raw) == 1;
    EVP_PKEY_CTX_free(ctx);
    const Key key(raw);
    if (!made)
        return failed();

    BIO *bio = BIO_new(BIO_s_mem());
    if (!bio ||
        PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        BIO_free(bio);
        return failed();
    }
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    const QByteArray pem(data, size);
    BIO_free(bio);

    const SafeFile::Result written = SafeFile::write(keyFile(kind), pem, {.ownerOnly = true});
    return Outcome{written.ok, written.errorCode};
}

QByteArray sign(EVP_PKEY *key, QByteArrayView data, Outcome *outcome)
{
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    QByteArray signature;
    std::size_t length = 0;
    const auto *bytes = reinterpret_cast<const unsigned char *>(data.data());
    bool ok = ctx && EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, key) == 1 &&
              EVP_DigestSign(ctx, nullptr, &length, bytes, std::size_t(data.size())) == 1;
    if (ok) {
        signature.resize(qsizetype(length));
        ok = EVP_DigestSign(ctx, reinterpret_cast<unsigned char *>(signature.data()), &length,
                            bytes, std::size_t(data.size())) == 1;
        signature.resize(qsizetype(length));
    }
    EVP_MD_CTX_free(ctx);
    *outcome = ok ? Outcome{true, 0} : failed();
    return ok ? signature : QByteArray();
}

Outcome verify(EVP_PKEY *key, QByteArrayView data, QByteArrayView signature)
{
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    if (!ctx || EVP_DigestVerifyInit(ctx, nullptr, nullptr, nullptr, key) != 1) {
        EVP_MD_CTX_free(ctx);
        return failed();
    }
    const int result = EVP_DigestVerify(
        ctx, reinterpret_cast<const unsigned char *>(signature.data()),
        std::size_t(signature.size()), reinterpret_cast<const unsigned char *>(data.data()),
        std::size_t(data.size()));
    EVP_MD_CTX_free(ctx);
    if (result == 1)
        return Outcome{true, 0};
    // Ed25519 answers 0 for a signature that does not match, and a failure
    // for one of the wrong length; both are simply not valid.
    ERR_clear_error();
    return Outcome{false, 0};
}

} // namespace KeyContainer
