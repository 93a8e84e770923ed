#include "records/KeyContainer.h"
#include "records/Rc4.h"
#include "records/clsCryptoFilterBox.h"
#include "support/RecordingSink.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>

class TestCipher : public QObject
{
    Q_OBJECT

private slots:
    void rc4PublishedVectors_data();
    void rc4PublishedVectors();
    void recordCipherKnownAnswers();
    void filterOperations();
    void signaturesAndKeyContainer();
};

void TestCipher::rc4PublishedVectors_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");
    // A short key, and one of the record cipher's length.
    QTest::newRow("Key/Plaintext") << QByteArray("Key") << QByteArray("Plaintext")
                                   << QByteArray::fromHex("bbf316e8d940af0ad3");
    QTest::newRow("128-bit keystream")
        << QByteArray::fromHex("0102030405060708090a0b0c0d0e0f10") << QByteArray(16, 0)
        << QByteArray::fromHex("9ac7cc9a609d1ef7b2932899cde41b97");
}

void TestCipher::rc4PublishedVectors()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);
    QCOMPARE(Rc4(key).apply(plain), cipher);
    // Encrypting in two pieces continues the keystream.
    Rc4 split(key);
    const qsizetype half = plain.size() / 2;
    const QByteArray head = split.apply(plain.first(half));
    QCOMPARE(head + split.apply(plain.sliced(half)), cipher);
}

void TestCipher::recordCipherKnownAnswers()
{
    // Reference values from an independent implementation of the recipe:
    // RC4 over MD5(password)[0..5] followed by eleven zero bytes.
    QCOMPARE(RecordCipher::crypt("secret", "ACME LTD"), QByteArray::fromHex("4e892fbf279676ee"));
    QCOMPARE(RecordCipher::crypt("", QByteArray(8, 0)), QByteArray::fromHex("02957a220ca614e1"));
    QCOMPARE(RecordCipher::crypt("caf\xe9", "4111111111111111"),
             QByteArray::fromHex("3133feb625ec218606e5a7e9aab6cabf"));
    // Only the first five digest bytes count: these two passwords share them.
    QCOMPARE(RecordCipher::crypt("pw725316", "same bytes"),
             QByteArray::fromHex("d17d025364db6e97c161"));
    QCOMPARE(RecordCipher::crypt("pw1248796", "same bytes"),
             QByteArray::fromHex("d17d025364db6e97c161"));
}

void TestCipher::filterOperations()
{
    TestEnvironment env;
    RecordingSink sink;
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));

    clsCryptoFilterBox reused;
    QCOMPARE(reused.Status(), 0);
    reused.setPassword("key");
    reused.Decrypt();
    QCOMPARE(reused.OutBuffer(), QByteArray());
    QCOMPARE(reused.Status(), 1);

    // Every byte value round-trips; the keystream restarts with every call,
    // and the kept key schedule follows a changed password.
    const QByteArray passwords[] = {QByteArray(), "k", QByteArray("\0\xff\x80", 3), "k"};
    for (const QByteArray &password : passwords) {
        reused.setPassword(password);
        reused.setInBuffer(all);
        reused.Encrypt();
        QCOMPARE(reused.OutBuffer(), RecordCipher::crypt(password, all));
        QByteArray inPlace = reused.OutBuffer();
        reused.setInBuffer(reused.OutBuffer());
        reused.Decrypt();
        QCOMPARE(reused.OutBuffer(), all);
        QCOMPARE(reused.Status(), 1);
        reused.DecryptInPlace(inPlace.data(), inPlace.size());
        QCOMPARE(inPlace, all);
    }
    QVERIFY(sink.messages.isEmpty());
}

void TestCipher::signaturesAndKeyContainer()
{
    TestEnvironment env;
    RecordingSink sink;
    const QString folder = KeyContainer::folder();
    QVERIFY(!QFileInfo::exists(folder));
    clsCryptoFilterBox signer;
    const QString signatureKey = folder + QStringLiteral("/signature.pem");
    QCOMPARE(unixMode(folder), 0700);
    QCOMPARE(unixMode(signatureKey), 0600);
    QCOMPARE(unixMode(folder + QStringLiteral("/exchange.pem")), 0600);
    const QByteArray keyBefore = contents(signatureKey);

    signer.setInBuffer(QByteArray("record\0bytes\xff", 13));
    signer.Sign();
    QCOMPARE(signer.Status(), 1);

    // A second object finds the pair, changes nothing and validates the
    // first one's signature; a changed input or a cut signature does not.
    clsCryptoFilterBox checker;
    QCOMPARE(contents(signatureKey), keyBefore);
    checker.setInBuffer(signer.InBuffer());
    checker.setSignature(signer.Signature());
    checker.Validate();
    QCOMPARE(checker.Status(), 2);
    checker.setInBuffer("other bytes");
    checker.Validate();
    QCOMPARE(checker.Status(), 1);
    checker.setSignature(signer.Signature().chopped(1));
    checker.Validate();
    QCOMPARE(checker.Status(), 1);
    QVERIFY2(sink.messages.isEmpty(), qPrintable(sink.texts().join(QLatin1Char('|'))));

    // A damaged key file is reported; decrypting still works.
    QFile damaged(signatureKey);
    QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("not a key");
    damaged.close();
    clsCryptoFilterBox filter;
    QCOMPARE(sink.messages.size(), 2);
    QVERIFY(sink.messages[0].text.startsWith(QStringLiteral("Error during CryptGetUserKey! ")));
    QCOMPARE(sink.messages[1].text, QStringLiteral("InitUser failed"));
    QCOMPARE(sink.messages[1].title, QStringLiteral("Varnell Decryptor"));
    filter.setPassword("secret");
    filter.setInBuffer(QByteArray::fromHex("4e892fbf279676ee"));
    filter.Decrypt();
    QCOMPARE(filter.OutBuffer(), QByteArray("ACME LTD"));
    sink.clear();
    filter.Sign();
    QCOMPARE(sink.texts().size(), 1);
    QVERIFY(sink.texts()[0].endsWith(QStringLiteral(" during CryptSignHash")));

    // A FIFO in a key file's place is reported the same way, not waited on.
    sink.clear();
    QVERIFY(QFile::remove(signatureKey));
    QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {signatureKey}), 0);
    clsCryptoFilterBox blocked;
    QCOMPARE(sink.texts().size(), 2);
    QCOMPARE(sink.messages[1].text, QStringLiteral("InitUser failed"));
    QVERIFY(QFile::remove(signatureKey));

    // An existing container folder is checked: a loose mode is tightened, a
    // link planted in its place is refused.
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0777) == 0);
    QVERIFY(KeyContainer::ensureFolder().ok);
    QCOMPARE(unixMode(folder), 0700);
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(QFile::link(env.path(), folder));
    QVERIFY(!KeyContainer::ensureFolder().ok);
}

QTEST_GUILESS_MAIN(TestCipher)
#include "tst_cipher.moc"
