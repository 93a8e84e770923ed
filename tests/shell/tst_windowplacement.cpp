#include "shell/CommandLine.h"
#include "shell/RegistrySettings.h"
#include "shell/WindowPlacement.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace WindowPlacement;

class TestWindowPlacement : public QObject
{
    Q_OBJECT

private slots:
    void storedNumbers_data();
    void storedNumbers();
    void positionRules_data();
    void positionRules();
    void sizeAndPeriodRules_data();
    void sizeAndPeriodRules();
    void storedTextRoundTrips();
    void registryFileAndSection();
    void registryGarbage();
    void commandLineRecord_data();
    void commandLineRecord();
};

void TestWindowPlacement::storedNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << "1750" << true << 1750;
    QTest::newRow("negative") << "-15" << true << -15;
    QTest::newRow("blanks around") << "  42 " << true << 42;
    QTest::newRow("fraction rounds") << "1106.75" << true << 1107;
    QTest::newRow("half to even down") << "2.5" << true << 2;
    QTest::newRow("half to even up") << "3.5" << true << 4;
    QTest::newRow("exponent") << "1E3" << true << 1000;
    QTest::newRow("16-bit top") << "32767" << true << 32767;
    QTest::newRow("16-bit bottom") << "-32768" << true << -32768;
    QTest::newRow("just above") << "32767.6" << false << 0;
    QTest::newRow("minimised window") << "-48000" << false << 0;
    QTest::newRow("very wide screen") << "40000" << false << 0;
    QTest::newRow("huge") << "1e300" << false << 0;
    QTest::newRow("infinite") << "inf" << false << 0;
    QTest::newRow("not a number") << "nan" << false << 0;
    QTest::newRow("letters") << "abc" << false << 0;
    QTest::newRow("number then letters") << "12abc" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("blank") << "   " << false << 0;
    QTest::newRow("grouped") << "1,000" << true << 1000;
    QTest::newRow("two numbers") << "1 2" << false << 0;
}

void TestWindowPlacement::storedNumbers()
{
    QFETCH(QString, text);
    QFETCH(bool, isNumber);
    QFETCH(int, value);
    const std::optional<qint16> parsed = parseStored(text);
    QCOMPARE(parsed.has_value(), isNumber);
    if (isNumber)
        QCOMPARE(int(*parsed), value);
}

void TestWindowPlacement::positionRules_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<double>("window");
    QTest::addColumn<double>("screen");
    QTest::addColumn<double>("expected");
    QTest::newRow("fits") << "1200" << 6500.0 << 9000.0 << 1200.0;
    QTest::newRow("at zero") << "0" << 6500.0 << 9000.0 << 0.0;
    QTest::newRow("negative top") << "-15" << 6500.0 << 9000.0 << 0.0;
    QTest::newRow("edge just inside") << "2499" << 6500.0 << 9000.0 << 2499.0;
    QTest::newRow("edge reaches the screen's edge") << "2500" << 6500.0 << 9000.0 << 0.0;
    QTest::newRow("past the edge") << "9000" << 8500.0 << 12000.0 << 0.0;
    QTest::newRow("window larger than screen") << "0" << 13000.0 << 12000.0 << 0.0;
    QTest::newRow("not a number") << "left" << 8500.0 << 12000.0 << 0.0;
    QTest::newRow("outside 16 bits") << "70000" << 8500.0 << 1e6 << 0.0;
}

void TestWindowPlacement::positionRules()
{
    QFETCH(QString, stored);
    QFETCH(double, window);
    QFETCH(double, screen);
    QFETCH(double, expected);
    QCOMPARE(acceptPosition(stored, window, screen), expected);
}

void TestWindowPlacement::sizeAndPeriodRules_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<int>("period");
    QTest::newRow("absent") << "" << 8500.0 << 6500.0 << 3;
    QTest::newRow("too small") << "6000" << 8500.0 << 6500.0 << 3;
    QTest::newRow("not a number") << "abc" << 8500.0 << 6500.0 << 3;
    QTest::newRow("large") << "9999" << 9999.0 << 9999.0 << 3;
    QTest::newRow("beyond 16 bits") << "33000" << 8500.0 << 6500.0 << 3;
    QTest::newRow("week") << "1" << 8500.0 << 6500.0 << 1;
    QTest::newRow("day") << "0" << 8500.0 << 6500.0 << 0;
    QTest::newRow("seven") << "7" << 8500.0 << 6500.0 << 3;
    QTest::newRow("minus one") << "-1" << 8500.0 << 6500.0 << 3;
    QTest::newRow("7000 wide") << "7000" << 8500.0 << 7000.0 << 3;
}

void TestWindowPlacement::sizeAndPeriodRules()
{
    QFETCH(QString, stored);
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(int, period);
    QCOMPARE(acceptSize(stored, 8500), width);
    QCOMPARE(acceptSize(stored, 6500), height);
    QCOMPARE(acceptPeriod(stored), period);
}

void TestWindowPlacement::storedTextRoundTrips()
{
    QCOMPARE(storedText(8505), QStringLiteral("8505"));
    QCOMPARE(storedText(1106.25), QStringLiteral("1106.25"));
    for (double v : {0.0, 15.0, 1755.0, 8500.0, 32767.0, -15.0}) {
        const std::optional<qint16> back = parseStored(storedText(v));
        QVERIFY(back);
        QCOMPARE(double(*back), v);
    }
}

void TestWindowPlacement::registryFileAndSection()
{
    TestEnvironment env;
    {
        RegistrySettings settings;
        QCOMPARE(settings.read(QStringLiteral("posTop"), QStringLiteral("d")), QStringLiteral("d"));
        settings.write(QStringLiteral("posTop"), QStringLiteral("1755"));
        settings.write(QStringLiteral("StatPeriod"), QStringLiteral("1"));
        QVERIFY(settings.sync());
        QCOMPARE(settings.fileName(), env.path(QStringLiteral("config/VR_Decrypt/VR_Decrypt.ini")));
    }
    QFile file(env.path(QStringLiteral("config/VR_Decrypt/VR_Decrypt.ini")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray ini = file.readAll();
    QVERIFY2(ini.contains("[Settings]"), ini.constData());
    QVERIFY2(ini.contains("posTop=1755"), ini.constData());
    QVERIFY2(ini.contains("StatPeriod=1"), ini.constData());

    // A second environment sees its own folder, not the first one's.
    TestEnvironment other;
    RegistrySettings fresh;
    QCOMPARE(fresh.read(QStringLiteral("posTop"), QStringLiteral("none")), QStringLiteral("none"));
    QVERIFY(fresh.fileName().startsWith(other.path()));
}

void TestWindowPlacement::registryGarbage()
{
    TestEnvironment env;
    const QString path = env.path(QStringLiteral("config/VR_Decrypt/VR_Decrypt.ini"));
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk.append(char((i * 37 + 11) & 0xFF));
    file.write("[Settings]\nposTop=@Variant(\\0\\0\\0\\x7f)\nposLeft=1, 2\nposWidth=\"x\ny\"\n");
    file.write(junk);
    file.write("\nposHeight=7000\n");
    file.close();

    RegistrySettings settings;
    // Values that are no numbers read as text or as the default; the rules
    // then fall back to their limits.
    for (const char *key : {"posTop", "posLeft", "posWidth"}) {
        const QString text = settings.read(QLatin1String(key), QStringLiteral("dflt"));
        QVERIFY2(!parseStored(text).has_value(), qPrintable(text));
    }
    QCOMPARE(acceptPosition(settings.read(QStringLiteral("posTop")), 6500, 9000), 0.0);
    QCOMPARE(acceptSize(settings.read(QStringLiteral("posWidth")), 8500), 8500.0);
    QCOMPARE(acceptPeriod(settings.read(QStringLiteral("StatPeriod"), QStringLiteral("3"))), 3);
}

void TestWindowPlacement::commandLineRecord_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "/tmp/a.vrd"
                           << "/tmp/a.vrd";
    QTest::newRow("quoted with blanks") << "\"/tmp/my records/a b.vrd\""
                                        << "/tmp/my records/a b.vrd";
    QTest::newRow("mixed case") << "/tmp/A.Vrd"
                                << "/tmp/A.Vrd";
    QTest::newRow("upper case") << "C.VRD"
                                << "C.VRD";
    QTest::newRow("trailing blanks kept") << "/tmp/a.vrd  "
                                          << "/tmp/a.vrd  ";
    QTest::newRow("quotes anywhere") << "/t\"mp/a.v\"rd"
                                     << "/tmp/a.vrd";
    QTest::newRow("text file") << "/tmp/a.txt"
                               << "";
    QTest::newRow("four characters") << ".vrd"
                                     << "";
    QTest::newRow("quotes do not count") << "\".vrd\""
                                         << "";
    QTest::newRow("five characters") << "a.vrd"
                                     << "a.vrd";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("extension inside") << "/tmp/a.vrd.bak"
                                      << "";
}

void TestWindowPlacement::commandLineRecord()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, expected);
    QCOMPARE(CommandLine::recordFile(commandLine), expected);
}

QTEST_GUILESS_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"
