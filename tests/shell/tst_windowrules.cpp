// The main window's rules without a window: stored placement values, the
// record named on the command line, the layout and the shared file dialog.
#include "common/CommandLine.h"
#include "shell/CommonDialog.h"
#include "shell/MainLayout.h"
#include "store/WindowPlacement.h"
#include "support/ScriptedDialog.h"

#include <QTest>

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
    QTest::addColumn<int>("value");  // -99999: not a number
    QTest::addColumn<int>("period"); // the statistics period it gives
    const auto row = [](const char *text, int value, int period = 3) {
        QTest::newRow(text) << QString::fromUtf8(text) << value << period;
    };
    row(" -15 ", -15);
    row("2.5", 2, 2); // half to even
    row("1E3", 1000);
    row("-32768", -32768);
    // The periods 0 to 3 and their neighbours; anything else is Year.
    row("-1", -1);
    row("0", 0, 0);
    row(" 1 ", 1, 1);
    row("3", 3, 3);
    row("4", 4);
    for (const char *none : {"32767.6", "-48000", "1e300", "nan", "12abc", "   ", "1 2", "Week"})
        row(none, -99999);
}

void TestWindowRules::storedNumbers()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QFETCH(int, period);
    const std::optional<qint16> parsed = WindowPlacement::parseStored(text);
    QCOMPARE(parsed ? int(*parsed) : -99999, value);
    QCOMPARE(WindowPlacement::acceptPeriod(text), period);
}

void TestWindowRules::commandLineRecord_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("expected"); // empty: no record
    const auto row = [](const char *line, const char *expected) {
        QTest::newRow(line) << QString::fromUtf8(line) << QString::fromUtf8(expected);
    };
    row("/tmp/A.Vrd", "/tmp/A.Vrd");
    row("/tmp/a.vrd  ", "/tmp/a.vrd  "); // blanks kept
    row("/t\"mp/a.v\"rd", "/tmp/a.vrd"); // quotes go wherever they stand
    for (const char *ignored : {"/tmp/a.txt", ".vrd", "\".vrd\"", "/tmp/a.vrd.bak"})
        row(ignored, "");
}

void TestWindowRules::commandLineRecord()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, expected);
    QCOMPARE(CommandLine::recordFile(commandLine), expected);
}

namespace {

// Rectangles as "name left top width height", in name order.
QStringList described(const QMap<QString, QRectF> &rects)
{
    QStringList out;
    for (auto it = rects.cbegin(); it != rects.cend(); ++it) {
        const QRectF &r = it.value();
        out.append(QStringList{it.key(), QString::number(r.left()), QString::number(r.top()),
                               QString::number(r.width()), QString::number(r.height())}
                       .join(u' '));
    }
    return out;
}

} // namespace

void TestWindowRules::layoutRules()
{
    QCOMPARE(enforceMinimum(QSizeF(12000, 6499.5)), QSizeF(12000, 6500));

    // A client area of 9000 by 7000 with a toolbar 420 high: every frame is
    // 8510 by 6150 at (240, 600), and every control that a tab places.
    const char *const placed[tabCount] = {
        "fraDecrypt 240 600 8510 6150; tbarDecypt 0 0 8510 420; txtDecrypt 60 520 8390 5580",
        "fraSettings 240 600 8510 6150; lblDeveloperKey 1900 960 1815 375;"
        "lblEncryptionKey 1900 1440 1815 375; lblPassword 1900 1920 1815 375;"
        "txtDeveloperKey 4255 960 2895 360; txtEncryptionKey 4255 1440 2895 360;"
        "txtPassword 4255 1920 2895 360; cmdUpdate 1702 2760 1575 495;"
        "cmdUndo 5106 2760 1575 495",
        "fraProduct 240 600 8510 6150; picSelectProd 6235 240 2175 495;"
        "cmdSave 120 5580 1575 495; cmdResetForm 2400 5580 1575 495;"
        "cmdNewProduct 4680 5580 1575 495; txtProgress 1547.5 840 5895 375",
        "fraServerInfo 240 600 8510 6150; lblServerName 1900 960 1815 375;"
        "lblServerStatus 1900 1440 1815 375; lblConnTime 1900 1920 1815 375;"
        "cboServer 4255 960 2895 360; txtServerStatus 4255 1440 2895 360;"
        "txtConnTime 4255 1920 2895 360; cmdRefreshServer 3467.5 2760 1575 495",
        "fraStats 240 600 8510 6150; cmdExportStats 1733.75 5505 1575 495;"
        "cmdReqPackage 5548 5505 1575 495; fraStatPeriod 1307.5 240 5895 735;"
        "txtStatsFilter 240 1065 8030 330; tvStats 240 1455 8030 3900",
    };
    for (int tab = 1; tab <= tabCount; ++tab) {
        QStringList expected = QString::fromLatin1(placed[tab - 1]).split(u';');
        for (QString &entry : expected)
            entry = entry.trimmed();
        expected.append(QStringLiteral("tabForm 0 0 9000 7000"));
        expected.sort();
        QCOMPARE(described(layout(tab, QSizeF(9000, 7000), 420)), expected);
    }
    // Growing by 1000 each way grows each tab's frame and the views by as
    // much, and moves the bottom buttons down by as much.
    const auto growth = [](int tab, const QString &name) {
        const QRectF a = layout(tab, QSizeF(8200, 5800), 420).value(name);
        const QRectF b = layout(tab, QSizeF(9200, 6800), 420).value(name);
        return QRectF(b.left() - a.left(), b.top() - a.top(), b.width() - a.width(),
                      b.height() - a.height());
    };
    for (int tab = 1; tab <= tabCount; ++tab)
        QCOMPARE(growth(tab, frameName(tab)), QRectF(0, 0, 1000, 1000));
    QCOMPARE(growth(DecryptTab, QStringLiteral("txtDecrypt")), QRectF(0, 0, 1000, 1000));
    QCOMPARE(growth(StatsTab, QStringLiteral("tvStats")), QRectF(0, 0, 1000, 1000));
    for (const char *button : {"cmdSave", "cmdNewProduct"})
        QCOMPARE(growth(ProductTab, QLatin1String(button)).top(), 1000.0);
    QCOMPARE(growth(StatsTab, QStringLiteral("cmdReqPackage")).top(), 1000.0);
    // The filter box lies between the period frame and the tree, as wide as
    // the tree.
    QCOMPARE(growth(StatsTab, QStringLiteral("txtStatsFilter")), QRectF(0, 0, 1000, 0));
    const auto stats = layout(StatsTab, QSizeF(8200, 5800));
    const QRectF filterBox = stats.value(QStringLiteral("txtStatsFilter"));
    const QRectF tree = stats.value(QStringLiteral("tvStats"));
    QVERIFY(filterBox.top() > stats.value(QStringLiteral("fraStatPeriod")).bottom() &&
            filterBox.bottom() < tree.top() && filterBox.height() >= 300);
    QCOMPARE(QPair(filterBox.left(), filterBox.width()), QPair(tree.left(), tree.width()));

    // Frame width 6000 and 6495: the statistics buttons.
    for (const double W : {6000.0, 6495.0}) {
        const auto rects = layout(StatsTab, QSizeF(W + 490, 4335 + 850));
        QCOMPARE(rects.value(QStringLiteral("cmdExportStats")),
                 QRectF(W == 6000 ? 1106.25 : 1230, 3690, 1575, 495));
        QCOMPARE(rects.value(QStringLiteral("cmdReqPackage")).topLeft(),
                 QPointF(W == 6000 ? 3540 : 3936, 3690));
    }
    // The progress note at the period frame's left edge, 250 below its top.
    QCOMPARE(progressOverPeriodFrame(QRectF(240, 600, 8000, 5000), QRectF(1052.5, 240, 5895, 735),
                                     QSizeF(5895, 375)),
             QRectF(1292.5, 1090, 5895, 375));
}

void TestWindowRules::dialogPropertiesCarryOver()
{
    // After an export the Open box proposes its file and adds its extension
    // to a name typed without one (the folder's dot does not count); a box
    // cancelled, or accepted without a name, changes nothing.
    ScriptedDialog script;
    CommonDialog dialog;
    dialog.setBackend(&script);
    dialog.DefaultExt = QStringLiteral("csv");
    script.choose(QStringLiteral("/data/export"), 2);
    QCOMPARE(dialog.ShowSave(), CommonDialog::Result::Accepted);
    script.choose(QStringLiteral("/a.d/typed"));
    QCOMPARE(dialog.ShowOpen(), CommonDialog::Result::Accepted);
    QCOMPARE(script.shown.last().fileName, QStringLiteral("/data/export.csv"));
    script.cancel();
    script.choose(QString(), 1);
    QCOMPARE(dialog.ShowSave(), CommonDialog::Result::Cancelled);
    QCOMPARE(dialog.ShowOpen(), CommonDialog::Result::Cancelled);
    QCOMPARE(dialog.FileName + QString::number(dialog.FilterIndex),
             QStringLiteral("/a.d/typed.csv2"));

    QCOMPARE(CommonDialog::nameFilters(QStringLiteral("Records|*.vrd;*.VRD|All (*.*)|*.*|")),
             (QStringList{QStringLiteral("Records (*.vrd *.VRD)"), QStringLiteral("All (*)")}));
}

QTEST_GUILESS_MAIN(TestWindowRules)
#include "tst_windowrules.moc"
