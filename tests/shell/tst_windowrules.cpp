// The main window's rules without a window: stored placement values, the
// record named on the command line, the layout and the shared file dialog.
#include "shell/CommandLine.h"
#include "shell/CommonDialog.h"
#include "shell/MainLayout.h"
#include "shell/WindowPlacement.h"
#include "support/ScriptedDialog.h"

#include <QTest>

using namespace WindowPlacement;
using namespace MainLayout;

class TestWindowRules : public QObject
{
    Q_OBJECT

private slots:
    void storedNumbers_data();
    void storedNumbers();
    void commandLineRecord_data();
    void commandLineRecord();
    void layoutRules();
    void dialogPropertiesCarryOver();
};

void TestWindowRules::storedNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value"); // -99999: not a number
    const auto row = [](const char *text, int value) {
        QTest::newRow(text) << QString::fromUtf8(text) << value;
    };
    row(" -15 ", -15);
    row("2.5", 2); // half to even
    row("1E3", 1000);
    row("-32768", -32768);
    for (const char *none : {"32767.6", "-48000", "1e300", "nan", "12abc", "   ", "1 2"})
        row(none, -99999);
}

void TestWindowRules::storedNumbers()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    const std::optional<qint16> parsed = parseStored(text);
    QCOMPARE(parsed ? int(*parsed) : -99999, value);
}

void TestWindowRules::commandLineRecord_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *line, const char *expected) {
        QTest::newRow(line) << QString::fromUtf8(line) << QString::fromUtf8(expected);
    };
    row("\"/tmp/my records/a b.vrd\"", "/tmp/my records/a b.vrd");
    row("/tmp/A.Vrd", "/tmp/A.Vrd");
    row("/tmp/a.vrd  ", "/tmp/a.vrd  "); // blanks kept
    row("/t\"mp/a.v\"rd", "/tmp/a.vrd");
    row("a.vrd", "a.vrd");
    for (const char *ignored : {"/tmp/a.txt", ".vrd", "\".vrd\"", "/tmp/a.vrd.bak"})
        row(ignored, "");
}

void TestWindowRules::commandLineRecord()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, expected);
    QCOMPARE(CommandLine::recordFile(commandLine), expected);
}

void TestWindowRules::layoutRules()
{
    QCOMPARE(enforceMinimum(QSizeF(12000, 6499.5)), QSizeF(12000, 6500));

    // Growing by 1000 each way grows the selected frame (only it is laid
    // out) and the views, and moves the bottom buttons down as much.
    const QSizeF small(8200, 5800), large(9200, 6800);
    const auto at = [](int tab, QSizeF client, const QString &name) {
        return layout(tab, client, 420).value(name);
    };
    for (int tab = 1; tab <= tabCount; ++tab) {
        QCOMPARE(at(tab, large, frameName(tab)),
                 at(tab, small, frameName(tab)).adjusted(0, 0, 1000, 1000));
        for (int other = 1; other <= tabCount; ++other)
            QCOMPARE(layout(tab, small).contains(frameName(other)), other == tab);
    }
    QCOMPARE(at(DecryptTab, large, QStringLiteral("txtDecrypt")),
             at(DecryptTab, small, QStringLiteral("txtDecrypt")).adjusted(0, 0, 1000, 1000));
    const std::pair<int, const char *> buttons[] = {
        {ProductTab, "cmdSave"}, {ProductTab, "cmdNewProduct"}, {StatsTab, "cmdReqPackage"}};
    for (const auto &[tab, name] : buttons)
        QCOMPARE(at(tab, large, QLatin1String(name)).top() -
                     at(tab, small, QLatin1String(name)).top(),
                 1000.0);

    // Frame width 6000 and 6495: the statistics buttons, the tree with equal
    // margins ending 150 above them, the period frame centred.
    for (const double W : {6000.0, 6495.0}) {
        const auto rects = layout(StatsTab, QSizeF(W + 490, 4335 + 850));
        const QRectF exportButton = rects.value(QStringLiteral("cmdExportStats"));
        QCOMPARE(exportButton, QRectF(W == 6000 ? 1106.25 : 1230, 3690, 1575, 495));
        QCOMPARE(rects.value(QStringLiteral("cmdReqPackage")).topLeft(),
                 QPointF(W == 6000 ? 3540 : 3936, 3690));
        QCOMPARE(rects.value(QStringLiteral("tvStats")),
                 QRectF(240, 1200, W - 480, 3690 - 150 - 1200));
        QCOMPARE(rects.value(QStringLiteral("fraStatPeriod")),
                 QRectF(W / 2 - 5895 / 2.0, 240, 5895, 735));
    }

    // The progress note at the period frame's left edge, 250 below its top.
    QCOMPARE(progressOverPeriodFrame(QRectF(240, 600, 8000, 5000), QRectF(1052.5, 240, 5895, 735),
                                     QSizeF(5895, 375)),
             QRectF(1292.5, 1090, 5895, 375));
}

void TestWindowRules::dialogPropertiesCarryOver()
{
    ScriptedDialog script;
    CommonDialog dialog;
    dialog.setBackend(&script);
    dialog.FilterIndex = 1;
    script.choose(QStringLiteral("/data/first.vrd"), 2);
    QCOMPARE(dialog.ShowOpen(), CommonDialog::Result::Accepted);
    QCOMPARE(dialog.FileName, QStringLiteral("/data/first.vrd"));
    QCOMPARE(dialog.FilterIndex, 2);

    // An export sets only some properties; its box proposes the last name,
    // and a later Open box still adds the export's extension.
    dialog.DefaultExt = QStringLiteral("csv");
    script.choose(QStringLiteral("/data/export"));
    QCOMPARE(dialog.ShowSave(), CommonDialog::Result::Accepted);
    QCOMPARE(script.shown.last().request.fileName, QStringLiteral("/data/first.vrd"));
    QCOMPARE(script.shown.last().request.filterIndex, 2);
    QCOMPARE(dialog.FileName, QStringLiteral("/data/export.csv"));
    script.choose(QStringLiteral("/a.d/typed"));
    QCOMPARE(dialog.ShowOpen(), CommonDialog::Result::Accepted);
    QCOMPARE(dialog.FileName, QStringLiteral("/a.d/typed.csv"));

    // Cancelled, accepted without a name, or no box at all: nothing changes.
    script.cancel();
    script.choose(QString(), 1);
    QCOMPARE(dialog.ShowSave(), CommonDialog::Result::Cancelled);
    QCOMPARE(dialog.ShowOpen(), CommonDialog::Result::Cancelled);
    dialog.setBackend(nullptr);
    QCOMPARE(dialog.ShowPrinter(), CommonDialog::Result::Cancelled);
    QCOMPARE(dialog.FileName, QStringLiteral("/a.d/typed.csv"));
    QCOMPARE(dialog.FilterIndex, 2);

    QCOMPARE(CommonDialog::nameFilters(QStringLiteral("Records|*.vrd;*.VRD|All (*.*)|*.*|")),
             (QStringList{QStringLiteral("Records (*.vrd *.VRD)"), QStringLiteral("All (*)")}));
}

QTEST_GUILESS_MAIN(TestWindowRules)
#include "tst_windowrules.moc"
