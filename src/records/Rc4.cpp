#include "records/Rc4.h"

#include <QCryptographicHash>

#include <utility>

Rc4::Rc4(QByteArrayView key)
{
    for (int i = 0; i < 256; ++i)
        m_state[i] = std::uint8_t(i);
    if (key.isEmpty())
        return;
    std::uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = std::uint8_t(j + m_state[i] + std::uint8_t(key[i % key.size()]));
        std::swap(m_state[i], m_state[j]);
    }
}

void Rc4::apply(char *data, qsizetype size)
{
    // The indices in locals: the data's bytes may alias the object, so the
    // members would be stored and loaded again for every byte.
    std::uint8_t i = m_i;
    std::uint8_t j = m_j;
    std::uint8_t *const state = m_state.data();
    for (qsizetype n = 0; n < size; ++n) {
        i = std::uint8_t(i + 1);
        const std::uint8_t si = state[i];
        j = std::uint8_t(j + si);
        const std::uint8_t sj = state[j];
        state[i] = sj;
        state[j] = si;
        data[n] = char(std::uint8_t(data[n]) ^ state[std::uint8_t(si + sj)]);
    }
    m_i = i;
    m_j = j;
}

QByteArray Rc4::apply(QByteArrayView data)
{
    QByteArray out = data.toByteArray();
    apply(out.data(), out.size());
    return out;
}

namespace RecordCipher {

Key deriveKey(QByteArrayView password)
{
    const QByteArray digest = QCryptographicHash::hash(password, QCryptographicHash::Md5);
    Key key{};
    for (int i = 0; i < 5; ++i)
        key[i] = digest[i];
    return key;
}

Rc4 keyed(QByteArrayView password)
{
    const Key key = deriveKey(password);
    return Rc4(QByteArrayView(key.data(), qsizetype(key.size())));
}

QByteArray crypt(QByteArrayView password, QByteArrayView data)
{
    Rc4 cipher = keyed(password);
    return cipher.apply(data);
}

} // namespace RecordCipher
