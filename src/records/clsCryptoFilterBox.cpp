#include "records/clsCryptoFilterBox.h"

#include "common/Messages.h"
#include "records/KeyContainer.h"

#include <algorithm>

namespace {

void show(const QString &text)
{
    Messages::inform(Messages::Icon::None, Messages::appTitle(), text);
}

void showError(std::int32_t code, const char *during)
{
    show(QStringLiteral("Error %1 during %2").arg(code).arg(QLatin1String(during)));
}

} // namespace

clsCryptoFilterBox::clsCryptoFilterBox()
{
    if (!InitUser())
        show(QStringLiteral("InitUser failed"));
}

bool clsCryptoFilterBox::InitUser()
{
    using namespace KeyContainer;
    const Outcome folderMade = ensureFolder();
    if (!folderMade.ok) {
        show(QStringLiteral("Error creating key container! %1").arg(folderMade.code));
        return false;
    }
    for (KeyKind kind : {KeyKind::Signature, KeyKind::Exchange}) {
        const Outcome loaded = check(kind);
        if (loaded.ok)
            continue;
        if (loaded.code != noKeyCode) {
            show(QStringLiteral("Error during CryptGetUserKey! %1").arg(loaded.code));
            return false;
        }
        const Outcome made = generate(kind);
        if (!made.ok) {
            show(QStringLiteral("Error during CryptGenKey! %1").arg(made.code));
            return false;
        }
    }
    return true;
}

Rc4 clsCryptoFilterBox::cipherFor(const QByteArray &password)
{
    // The schedule of the last password is kept for the thread, across
    // filters: a batch makes a filter per record file, all under one key,
    // and deriving a schedule (a digest and 256 swaps) costs more than
    // decrypting a field.
    thread_local std::optional<Rc4> schedule;
    thread_local QByteArray schedulePassword;
    if (!schedule || schedulePassword != password) {
        schedule = RecordCipher::keyed(password);
        schedulePassword = password;
    }
    return *schedule; // a copy starts the keystream at its first byte
}

void clsCryptoFilterBox::cryptInto(QByteArray &out)
{
    Rc4 cipher = cipherFor(m_password);
    out = m_inBuffer;
    cipher.apply(out.data(), out.size());
}

void clsCryptoFilterBox::DecryptInPlace(char *data, qsizetype size)
{
    m_status = 0;
    // Every field starts the keystream afresh, so under one password every
    // field is XORed with the same keystream: it is made once, as long as
    // the longest field so far, and kept for the thread. Fields beyond the
    // limit (a whole file on one line) run the cipher instead.
    constexpr qsizetype keptKeystream = 64 * 1024;
    thread_local QByteArray keystream;
    thread_local QByteArray keystreamPassword;
    if (size > keptKeystream) {
        cipherFor(m_password).apply(data, size);
        m_status = 1;
        return;
    }
    if (keystreamPassword != m_password || keystream.size() < size) {
        keystream = QByteArray(std::max<qsizetype>({size, 2 * keystream.size(), 256}), '\0');
        keystream.truncate(std::min(keystream.size(), keptKeystream));
        cipherFor(m_password).apply(keystream.data(), keystream.size());
        keystreamPassword = m_password;
    }
    const char *stream = keystream.constData();
    for (qsizetype n = 0; n < size; ++n)
        data[n] = char(data[n] ^ stream[n]);
    m_status = 1;
}

void clsCryptoFilterBox::Encrypt()
{
    m_status = 0;
    cryptInto(m_outBuffer);
    m_status = 1;
}

void clsCryptoFilterBox::Decrypt()
{
    m_status = 0;
    m_outBuffer.clear();
    cryptInto(m_outBuffer);
    m_status = 1;
}

void clsCryptoFilterBox::Sign()
{
    m_status = 0;
    m_signature.clear();
    KeyContainer::Outcome outcome;
    const KeyContainer::Key key = KeyContainer::load(KeyContainer::KeyKind::Signature, &outcome);
    if (key)
        m_signature = KeyContainer::sign(key.get(), m_inBuffer, &outcome);
    if (!outcome.ok)
        showError(outcome.code, "CryptSignHash");
    m_status = 1;
}

void clsCryptoFilterBox::Validate()
{
    m_status = 0;
    KeyContainer::Outcome outcome;
    const KeyContainer::Key key = KeyContainer::load(KeyContainer::KeyKind::Signature, &outcome);
    if (!key) {
        showError(outcome.code, "CryptGetUserKey!");
        m_status = 1;
        return;
    }
    outcome = KeyContainer::verify(key.get(), m_inBuffer, m_signature);
    if (!outcome.ok && outcome.code != 0)
        showError(outcome.code, "CryptVerifySignature!");
    m_status = outcome.ok ? 2 : 1;
}
