#pragma once

#include "records/Rc4.h"

#include <QByteArray>

#include <cstdint>
#include <optional>

// A small stateful filter that runs one operation at a time over InBuffer:
// Encrypt and Decrypt with the record cipher under Password, Sign and Validate
// with the current user's own signature key pair. All strings are byte
// strings (one character per byte). Messages go through the message seam.
class clsCryptoFilterBox
{
public:
    // Makes sure the user's key container holds both key pairs; says
    // "InitUser failed" when it could not, and is usable all the same.
    clsCryptoFilterBox();

    QByteArray InBuffer() const { return m_inBuffer; }
    void setInBuffer(const QByteArray &value) { m_inBuffer = value; }
    QByteArray OutBuffer() const { return m_outBuffer; }
    QByteArray Password() const { return m_password; }
    void setPassword(const QByteArray &value) { m_password = value; }
    QByteArray Signature() const { return m_signature; }
    void setSignature(const QByteArray &value) { m_signature = value; }
    // 0 while an operation runs, 1 when it has ended, 2 after a valid signature.
    std::int32_t Status() const { return m_status; }

    void Encrypt();
    void Decrypt();
    void Sign();
    void Validate();

    // Decrypt without the buffers: the bytes are decrypted in place under
    // Password, for the record decoder's many small fields.
    void DecryptInPlace(char *data, qsizetype size);

private:
    bool InitUser();
    Rc4 cipherFor(const QByteArray &password);
    void cryptInto(QByteArray &out);

    QByteArray m_inBuffer;
    QByteArray m_outBuffer;
    QByteArray m_password;
    QByteArray m_signature;
    std::int32_t m_status = 0;
};
