#include "common/Ansi.h"

#include <QTest>

namespace {

// Windows-1252 as browsers map it, for the bytes 0x80 to 0x9F; the five
// bytes it leaves unassigned stand for the C1 controls of the same value.
// Every other byte is the character of the same value.
constexpr char16_t upperControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

} // namespace

class TestAnsi : public QObject
{
    Q_OBJECT

private slots:
    void everyByte();
};

void TestAnsi::everyByte()
{
    QByteArray all;
    QString expected;
    for (int i = 0; i < 256; ++i) {
        all.append(char(i));
        expected.append(QChar(i >= 0x80 && i < 0xA0 ? upperControls[i - 0x80] : char16_t(i)));
    }
    // Each byte its own character, and back again.
    QCOMPARE(Ansi::decode(all), expected);
    QCOMPARE(Ansi::encode(expected), all);
    QVERIFY(Ansi::canEncode(expected));
    for (int i = 0; i < 256; ++i)
        QCOMPARE(Ansi::charFromByte(uchar(i)), expected.at(i));
    // A character the code page lacks becomes "?".
    QCOMPARE(Ansi::encode(QStringLiteral("a\u4e2db\u0100")), QByteArray("a?b?"));
    QVERIFY(!Ansi::canEncode(QStringLiteral("\u2603")));
}

QTEST_GUILESS_MAIN(TestAnsi)
#include "tst_ansi.moc"
