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
    for (qsizetype n = 0; n < size; ++n) {
        m_i = std::uint8_t(m_i + 1);
        m_j = std::uint8_t(m_j + m_state[m_i]);
        std::swap(m_state[m_i], m_state[m_j]);
        data[n] = char(std::uint8_t(data[n]) ^ m_state[std::uint8_t(m_state[m_i] + m_state[m_j])]);
    }
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
