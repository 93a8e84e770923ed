#include "records/KeyContainer.h"
#include "records/Rc4.h"
#include "records/clsCryptoFilterBox.h"
#include "support/RecordingSink.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

class TestCipher : public QObject
{
    Q_OBJECT

private slots:
    void rc4PublishedVectors_data();
    void rc4PublishedVectors();
    void recordCipherKnownAnswers();
    void filterRoundTripsEveryByte();
    void filterStatusAndFreshKeystream();
    void keyScheduleReuseGivesSameBytes();
    void signAndValidate();
    void keyContainerCreatedOnceAndReused();
    void damagedKeyContainerIsReported();
};

void TestCipher::rc4PublishedVectors_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");
    QTest::newRow("Key/Plaintext") << QByteArray("Key") << QByteArray("Plaintext")
                                   << QByteArray::fromHex("bbf316e8d940af0ad3");
    QTest::newRow("Wiki/pedia") << QByteArray("Wiki") << QByteArray("pedia")
                                << QByteArray::fromHex("1021bf0420");
    QTest::newRow("40-bit keystream") << QByteArray::fromHex("0102030405") << QByteArray(16, 0)
                                      << QByteArray::fromHex("b2396305f03dc027ccc3524a0a1118a8");
    QTest::newRow("128-bit keystream")
        << QByteArray::fromHex("0102030405060708090a0b0c0d0e0f10") << QByteArray(16, 0)
        << QByteArray::fromHex("9ac7cc9a609d1ef7b2932899cde41b97");
}

void TestCipher::rc4PublishedVectors()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);
    Rc4 rc4(key);
    QCOMPARE(rc4.apply(plain), cipher);
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

void TestCipher::filterRoundTripsEveryByte()
{
    TestEnvironment env;
    RecordingSink sink;
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    const QByteArray passwords[] = {QByteArray(), QByteArray("k"), QByteArray("\0\xff\x80", 3)};
    for (const QByteArray &password : passwords) {
        clsCryptoFilterBox filter;
        filter.setPassword(password);
        filter.setInBuffer(all);
        filter.Encrypt();
        const QByteArray encrypted = filter.OutBuffer();
        QCOMPARE(encrypted.size(), all.size());
        QVERIFY(encrypted != all);
        filter.setInBuffer(encrypted);
        filter.Decrypt();
        QCOMPARE(filter.OutBuffer(), all);
    }
    QVERIFY(sink.messages.isEmpty());
}

void TestCipher::filterStatusAndFreshKeystream()
{
    TestEnvironment env;
    RecordingSink sink;
    clsCryptoFilterBox filter;
    QCOMPARE(filter.Status(), 0);
    filter.setPassword("key");
    filter.Decrypt();
    QCOMPARE(filter.OutBuffer(), QByteArray());
    QCOMPARE(filter.Status(), 1);

    filter.setInBuffer("abc");
    filter.Decrypt();
    const QByteArray first = filter.OutBuffer();
    filter.Decrypt();
    QCOMPARE(filter.OutBuffer(), first); // the keystream restarts every call
    QCOMPARE(first, RecordCipher::crypt("key", "abc"));
}

void TestCipher::keyScheduleReuseGivesSameBytes()
{
    TestEnvironment env;
    RecordingSink sink;
    clsCryptoFilterBox reused;
    clsCryptoFilterBox fresh;
    fresh.setReuseKeySchedule(false);
    const QByteArray keys[] = {"one", "two", "one"};
    for (const QByteArray &key : keys) {
        for (clsCryptoFilterBox *filter : {&reused, &fresh}) {
            filter->setPassword(key);
            filter->setInBuffer("field value");
            filter->Decrypt();
        }
        QCOMPARE(reused.OutBuffer(), fresh.OutBuffer());
        QCOMPARE(reused.OutBuffer(), RecordCipher::crypt(key, "field value"));
    }
}

void TestCipher::signAndValidate()
{
    TestEnvironment env;
    RecordingSink sink;
    clsCryptoFilterBox filter;
    filter.setInBuffer(QByteArray("record\0bytes\xff", 13));
    filter.Sign();
    QCOMPARE(filter.Status(), 1);
    QVERIFY(!filter.Signature().isEmpty());

    filter.Validate();
    QCOMPARE(filter.Status(), 2);

    filter.setInBuffer("other bytes");
    filter.Validate();
    QCOMPARE(filter.Status(), 1);
    QByteArray truncated = filter.Signature();
    truncated.chop(1);
    filter.setSignature(truncated);
    filter.Validate();
    QCOMPARE(filter.Status(), 1);
    QVERIFY2(sink.messages.isEmpty(), qPrintable(sink.texts().join(QLatin1Char('|'))));
}

void TestCipher::keyContainerCreatedOnceAndReused()
{
    TestEnvironment env;
    RecordingSink sink;
    const QString folder = KeyContainer::folder();
    QVERIFY(!QFileInfo::exists(folder));
    {
        clsCryptoFilterBox first;
    }
    const QString signature = folder + QStringLiteral("/signature.pem");
    const QString exchange = folder + QStringLiteral("/exchange.pem");
    QCOMPARE(unixMode(signature), 0600);
    QCOMPARE(unixMode(exchange), 0600);
    QCOMPARE(unixMode(folder), 0700);

    QFile file(signature);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    {
        clsCryptoFilterBox second;
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    QVERIFY(sink.messages.isEmpty());

    // A signature made by one object validates in another: the pair is the user's.
    clsCryptoFilterBox signer;
    signer.setInBuffer("data");
    signer.Sign();
    clsCryptoFilterBox checker;
    checker.setInBuffer("data");
    checker.setSignature(signer.Signature());
    checker.Validate();
    QCOMPARE(checker.Status(), 2);
}

void TestCipher::damagedKeyContainerIsReported()
{
    TestEnvironment env;
    RecordingSink sink;
    {
        clsCryptoFilterBox first;
    }
    QFile damaged(KeyContainer::folder() + QStringLiteral("/signature.pem"));
    QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("not a key");
    damaged.close();

    clsCryptoFilterBox filter;
    QCOMPARE(sink.messages.size(), 2);
    QVERIFY(sink.messages[0].text.startsWith(QStringLiteral("Error during CryptGetUserKey! ")));
    QCOMPARE(sink.messages[1].text, QStringLiteral("InitUser failed"));
    QCOMPARE(sink.messages[1].title, QStringLiteral("Varnell Decryptor"));

    // Decrypting does not need the key pairs.
    filter.setPassword("secret");
    filter.setInBuffer(QByteArray::fromHex("4e892fbf279676ee"));
    filter.Decrypt();
    QCOMPARE(filter.OutBuffer(), QByteArray("ACME LTD"));

    sink.clear();
    filter.Sign();
    QCOMPARE(sink.messages.size(), 1);
    QVERIFY(sink.messages[0].text.contains(QStringLiteral(" during CryptSignHash")));
    QCOMPARE(filter.Status(), 1);
}

QTEST_GUILESS_MAIN(TestCipher)
#include "tst_cipher.moc"
