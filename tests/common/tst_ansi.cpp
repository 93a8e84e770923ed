#include "common/Ansi.h"

#include <QTest>

class TestAnsi : public QObject
{
    Q_OBJECT

private slots:
    void everyByteRoundTrips();
    void unmappableCharacters();
};

void TestAnsi::everyByteRoundTrips()
{
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    const QString text = Ansi::decode(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(Ansi::encode(text), all);
    QVERIFY(Ansi::canEncode(text));
    // A few characters of the upper half, as browsers map them.
    QCOMPARE(text.at(0x80), QChar(0x20AC));
    QCOMPARE(text.at(0x8A), QChar(0x0160));
    QCOMPARE(text.at(0x9F), QChar(0x0178));
    QCOMPARE(text.at(0x8D), QChar(0x008D));
    QCOMPARE(text.at(0xDF), QChar(0x00DF));
    QCOMPARE(text.at(0xFF), QChar(0x00FF));
}

void TestAnsi::unmappableCharacters()
{
    QCOMPARE(Ansi::encode(QStringLiteral("a\u4e2db\u0100")), QByteArray("a?b?"));
    QVERIFY(!Ansi::canEncode(QStringLiteral("\u2603")));
    QCOMPARE(Ansi::encode(QStringLiteral("\u201c\u2122\u201d")), QByteArray("\x93\x99\x94"));
}

QTEST_GUILESS_MAIN(TestAnsi)
#include "tst_ansi.moc"
