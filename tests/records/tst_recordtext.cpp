#include "common/Ansi.h"
#include "records/Rc4.h"
#include "records/RecordFile.h"
#include "records/RecordText.h"
#include "support/RecordingSink.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

namespace {

const QString key = QStringLiteral("encryption key");

// A record line with a value encrypted under the test key.
QByteArray line(const QByteArray &label, const QByteArray &value)
{
    return RecordFile::line(label, value, Ansi::encode(key));
}

QByteArray groups(const QByteArray &plain)
{
    return RecordFile::encodeGroups(RecordCipher::crypt(Ansi::encode(key), plain));
}

} // namespace

class TestRecordText : public QObject
{
    Q_OBJECT

private:
    TestEnvironment m_env;
    RecordingSink m_sink;

private slots:
    void groupDecoding_data();
    void groupDecoding();
    void labelsAndLineLengths();
    void cardNumbers_data();
    void cardNumbers();
    void everyByteValuePassesThrough();
    void wrongKeyKeepsLabelsAndLengths();
    void hookRunsAfterEachField();
    void filesThatCannotBeRead();
    void encodingTabbedText();
    void stripExtension();
};

void TestRecordText::groupDecoding_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("3k") << QByteArray("007200255") << QByteArray("\x07\xc8\xff");
    QTest::newRow("3k+1 drops the last character")
        << QByteArray("0072009") << QByteArray("\x07\xc8");
    QTest::newRow("3k+2 reads two characters")
        << QByteArray("00720012") << QByteArray("\x07\xc8\x0c");
    QTest::newRow("one character makes no group") << QByteArray("5") << QByteArray();
    QTest::newRow("blanks around a number") << QByteArray(" 7 65") << QByteArray("\x07\x41");
    QTest::newRow("blanks inside a group") << QByteArray("1 2065") << QByteArray("\x41");
    QTest::newRow("all blanks") << QByteArray("   065") << QByteArray("\x41");
    QTest::newRow("over 255") << QByteArray("256999065") << QByteArray("\x41");
    QTest::newRow("non-digits") << QByteArray("0x1+12-01abc065") << QByteArray("\x41");
    QTest::newRow("zero") << QByteArray("000") << QByteArray("\0", 1);
}

void TestRecordText::groupDecoding()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(RecordText::decodeGroups(text), bytes);
}

void TestRecordText::labelsAndLineLengths()
{
    const QByteArray label20 = "Heading exactly 20ch";
    QCOMPARE(label20.size(), 20);
    const QByteArray file = "Short\r\n" + label20 + "\r\n" + label20 + "7\r\n" + label20 +
                            groups("A").left(2) + "\r\n" + line("Name:", "ACME LTD") + "\r\n";
    const QString text = RecordText::fromBytes(file, key);
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0], QStringLiteral("Short"));
    QCOMPARE(lines[1], QString::fromLatin1(label20));
    QCOMPARE(lines[2], QString::fromLatin1(label20)); // 21 characters: label alone
    QCOMPARE(lines[3].size(), 21);                    // 22 characters: two digits make one group
    QCOMPARE(lines[4], QStringLiteral("Name:               ACME LTD"));

    // Line ends: CR LF, LF alone and CR alone all end a line; no trailing CR LF.
    QCOMPARE(RecordText::fromBytes("A\nB\rC\r\nD", key), QStringLiteral("A\r\nB\r\nC\r\nD"));
    QCOMPARE(RecordText::fromBytes("", key), QString());
    // An empty first line leaves the record text empty, so no separator follows it.
    QCOMPARE(RecordText::fromBytes("\r\nB\r\n", key), QStringLiteral("B"));
}

void TestRecordText::cardNumbers_data()
{
    QTest::addColumn<QByteArray>("label");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("shown");
    // Sixteen digits in fours: the command line's and the window's tests.
    const QByteArray card = "Card Number:        ";
    QTest::newRow("14 dropped") << card << QByteArray("41111111111111") << QString();
    QTest::newRow("15 in fives") << card << QByteArray("341111111111111")
                                 << QStringLiteral("Card Number:        34111 11111 11111");
    QTest::newRow("17 dropped") << card << QByteArray("41112222333344445") << QString();
    QTest::newRow("other case is plain")
        << QByteArray("CARD NUMBER:        ") << QByteArray("4111222233334444")
        << QStringLiteral("CARD NUMBER:        4111222233334444");
    QTest::newRow("label with a tab is plain")
        << QByteArray("Card Number:\t       ") << QByteArray("4111222233334444")
        << QStringLiteral("Card Number:\t       4111222233334444");
}

void TestRecordText::cardNumbers()
{
    QFETCH(QByteArray, label);
    QFETCH(QByteArray, value);
    QFETCH(QString, shown);
    const QByteArray file = line("Name:", "Ann") + "\r\n" + line(label, value) + "\r\n" +
                            line("Total:", "$1.00") + "\r\n";
    QStringList expected{QStringLiteral("Name:               Ann")};
    if (!shown.isEmpty())
        expected << shown;
    expected << QStringLiteral("Total:              $1.00");
    QCOMPARE(RecordText::fromBytes(file, key), expected.join(QStringLiteral("\r\n")));
}

void TestRecordText::everyByteValuePassesThrough()
{
    QByteArray all;
    for (int i = 0; i < 256; ++i) {
        if (i != '\r' && i != '\n')
            all.append(char(i));
    }
    QByteArray label = "L\x80\x81\x9f\xff";
    label.append(15, ' ');
    const QString text = RecordText::fromBytes(line(label, all), key);
    QCOMPARE(Ansi::encode(text), label + all);
    // A field longer than every one before, and one longer than the
    // keystream that the decoder keeps.
    for (const qsizetype length : {300, 70000}) {
        const QByteArray value = all.repeated(length / all.size() + 1).left(length);
        QCOMPARE(Ansi::encode(RecordText::fromBytes(line(label, value), key)), label + value);
    }
}

void TestRecordText::wrongKeyKeepsLabelsAndLengths()
{
    const QByteArray file = line("Name:", "ACME LTD") + "\r\n" +
                            line("Card Number:        ", "4111222233334444") + "\r\n";
    const QStringList lines =
        RecordText::fromBytes(file, QStringLiteral("wrong key")).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].startsWith(QStringLiteral("Name:               ")));
    QCOMPARE(lines[0].size(), 28);
    QVERIFY(lines[0] != QStringLiteral("Name:               ACME LTD"));
    QVERIFY(lines[1].startsWith(QStringLiteral("Card Number:        ")));
    QCOMPARE(lines[1].size(), 20 + 19); // still grouped
    QCOMPARE(lines[1].at(24), QLatin1Char(' '));

    // One decoder for a batch follows each file's key: the kept key
    // schedule is never one of another key.
    RecordText::Decoder decoder;
    const QString right = RecordText::fromBytes(file, key);
    QCOMPARE(decoder.text(file, QStringLiteral("wrong key")), lines.join(QStringLiteral("\r\n")));
    QCOMPARE(decoder.text(file, key), right);
    QCOMPARE(decoder.text(file, QStringLiteral("wrong key")), lines.join(QStringLiteral("\r\n")));
    QVERIFY(right.startsWith(QStringLiteral("Name:               ACME LTD\r\n")));
}

void TestRecordText::hookRunsAfterEachField()
{
    const QByteArray file = "Heading\r\n" + line("Name:", "Ann") + "\r\n" +
                            line("Card Number:        ", "4111") + "\r\n" + line("Empty:", "") +
                            "\r\n";
    int calls = 0;
    RecordText::fromBytes(file, key, [&calls] { ++calls; });
    QCOMPARE(calls, 3); // one per decrypted field, one more for the card number
}

void TestRecordText::filesThatCannotBeRead()
{
    const auto read = [](const QString &path) -> QString {
        const RecordText::FileText file = RecordText::fromFile(path, key);
        return file.text + QLatin1Char('|') + file.error +
               (file.tooLarge ? QStringLiteral("|too large") : QString());
    };
    QCOMPARE(read(m_env.path(QStringLiteral("missing.vrd"))),
             QStringLiteral("|No such file or directory"));
    QCOMPARE(read(m_env.path()), QStringLiteral("|is a folder"));
    // A FIFO or a device is not waited on nor read without end.
    const QString fifo = m_env.path(QStringLiteral("fifo.vrd"));
    QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {fifo}), 0);
    QCOMPARE(read(fifo), QStringLiteral("|not a regular file"));
    QCOMPARE(read(QStringLiteral("/dev/zero")), QStringLiteral("|not a regular file"));
    const QString path = m_env.path(QStringLiteral("ok.vrd"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(line("Name:", "Ann") + "\r\n");
    QVERIFY(file.flush());
    QCOMPARE(read(path), QStringLiteral("Name:               Ann|"));
    // Beyond the limit (a sparse file, so nothing is stored): refused whole
    // rather than cut, though it begins with a good record.
    QVERIFY(file.resize(RecordText::maxFileSize + 1));
    QCOMPARE(read(path), QStringLiteral("|the file is larger than 64 MiB|too large"));
}

void TestRecordText::encodingTabbedText()
{
    const RecordFile::Encoded encoded = RecordFile::fromTabbedText(
        QStringLiteral("Customer Name:\tNuméro\r\nA label longer than twenty\tv\nHeading\n"), key);
    QVERIFY(encoded.error.isEmpty());
    QVERIFY(encoded.bytes.endsWith("Heading             \r\n"));
    QCOMPARE(RecordText::fromBytes(encoded.bytes, key),
             QStringLiteral(
                 "Customer Name:      Numéro\r\nA label longer than v\r\nHeading             "));
    const RecordFile::Encoded bad =
        RecordFile::fromTabbedText(QStringLiteral("Ok:\tfine\nName:\t\u4e2d\n"), key);
    QCOMPARE(bad.error, QStringLiteral("Line 2 holds characters that a record file cannot hold."));
    QCOMPARE(RecordFile::fromTabbedText(QStringLiteral("A\rB\tv\n"), key).error,
             QStringLiteral("Line 1 holds characters that a record file cannot hold."));
    QVERIFY(bad.bytes.isEmpty());
    QCOMPARE(RecordFile::savedTextForm(QStringLiteral("€")), QByteArray("\x80\r\n"));
    QCOMPARE(RecordFile::savedTextForm(QString()), QByteArray("\r\n"));
}

void TestRecordText::stripExtension()
{
    // Only the file name's last extension goes; a dot in a folder's name or
    // at the start of a hidden file's name is no extension. (The window's
    // tests save beside a record in a dotted folder.)
    QCOMPARE(RecordFile::StripExtension(QStringLiteral("/r/orders.2026/a")),
             QStringLiteral("/r/orders.2026/a"));
    QCOMPARE(RecordFile::StripExtension(QStringLiteral("a.tar.vrd")), QStringLiteral("a.tar"));
    QCOMPARE(RecordFile::StripExtension(QStringLiteral("/r/.vrd")), QStringLiteral("/r/.vrd"));
}

QTEST_GUILESS_MAIN(TestRecordText)
#include "tst_recordtext.moc"
