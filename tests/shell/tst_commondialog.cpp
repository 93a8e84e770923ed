#include "shell/CommonDialog.h"
#include "support/ScriptedDialog.h"

#include <QTest>

class TestCommonDialog : public QObject
{
    Q_OBJECT

private slots:
    void propertiesCarryOverBetweenUses();
    void cancelKeepsEverything();
    void noBackendCountsAsCancel();
    void printerBox();
    void nameFilters_data();
    void nameFilters();
    void defaultExtension_data();
    void defaultExtension();
};

void TestCommonDialog::propertiesCarryOverBetweenUses()
{
    ScriptedDialog script;
    CommonDialog dialog;
    dialog.setBackend(&script);

    // An Open box, as the record commands show it.
    dialog.CancelError = true;
    dialog.Flags = CommonDialog::HideReadOnly;
    dialog.Filter = QStringLiteral("Encrypted Files (*.vrd)|*.vrd|All Files (*.*)|*.*");
    dialog.FilterIndex = 1;
    script.choose(QStringLiteral("/data/first.vrd"), 2);
    QCOMPARE(dialog.ShowOpen(), CommonDialog::Result::Accepted);
    QCOMPARE(dialog.FileName, QStringLiteral("/data/first.vrd"));
    QCOMPARE(dialog.FilterIndex, 2);
    QCOMPARE(script.shown.last().request.kind, CommonDialog::FileRequest::Open);
    QCOMPARE(script.shown.last().request.fileName, QString());

    // An export sets only some properties: the rest is what the Open box
    // left, and its box proposes the last name.
    dialog.DefaultExt = QStringLiteral("csv");
    dialog.Filter = QStringLiteral("CSV Files (*.csv)|*.csv|Text Files (*.txt)|*.txt|All Files "
                                   "(*.*)|*.*|");
    dialog.Flags = CommonDialog::OverwritePrompt;
    script.choose(QStringLiteral("/data/export"));
    QCOMPARE(dialog.ShowSave(), CommonDialog::Result::Accepted);
    const CommonDialog::FileRequest exportBox = script.shown.last().request;
    QCOMPARE(exportBox.kind, CommonDialog::FileRequest::Save);
    QCOMPARE(exportBox.fileName, QStringLiteral("/data/first.vrd"));
    QCOMPARE(exportBox.filterIndex, 2);
    QCOMPARE(exportBox.defaultExt, QStringLiteral("csv"));
    QCOMPARE(dialog.FileName, QStringLiteral("/data/export.csv"));

    // A later Open box still carries the export's default extension and name.
    dialog.Flags = CommonDialog::HideReadOnly;
    dialog.Filter = QStringLiteral("Encrypted Files (*.vrd)|*.vrd|All Files (*.*)|*.*");
    dialog.FilterIndex = 1;
    script.choose(QStringLiteral("/data/typed"));
    QCOMPARE(dialog.ShowOpen(), CommonDialog::Result::Accepted);
    QCOMPARE(script.shown.last().request.fileName, QStringLiteral("/data/export.csv"));
    QCOMPARE(script.shown.last().request.defaultExt, QStringLiteral("csv"));
    QCOMPARE(dialog.FileName, QStringLiteral("/data/typed.csv"));
    QCOMPARE(dialog.FilterIndex, 1);
}

void TestCommonDialog::cancelKeepsEverything()
{
    ScriptedDialog script;
    CommonDialog dialog;
    dialog.setBackend(&script);
    dialog.CancelError = true;
    dialog.FileName = QStringLiteral("/keep/me.vrd");
    dialog.FilterIndex = 1;
    script.cancel();
    QCOMPARE(dialog.ShowSave(), CommonDialog::Result::Cancelled);
    QCOMPARE(dialog.FileName, QStringLiteral("/keep/me.vrd"));
    QCOMPARE(dialog.FilterIndex, 1);
    // An accepted box with no name is a cancel too.
    script.choose(QString(), 2);
    QCOMPARE(dialog.ShowOpen(), CommonDialog::Result::Cancelled);
    QCOMPARE(dialog.FileName, QStringLiteral("/keep/me.vrd"));
    QCOMPARE(dialog.FilterIndex, 1);
}

void TestCommonDialog::noBackendCountsAsCancel()
{
    CommonDialog dialog;
    dialog.FileName = QStringLiteral("x");
    QCOMPARE(dialog.ShowOpen(), CommonDialog::Result::Cancelled);
    QCOMPARE(dialog.ShowSave(), CommonDialog::Result::Cancelled);
    QCOMPARE(dialog.ShowPrinter(), CommonDialog::Result::Cancelled);
    QCOMPARE(dialog.FileName, QStringLiteral("x"));
}

void TestCommonDialog::printerBox()
{
    ScriptedDialog script;
    CommonDialog dialog;
    dialog.setBackend(&script);
    dialog.Flags = CommonDialog::PrintSetup;
    dialog.FileName = QStringLiteral("/untouched");
    script.confirmPrinter(true);
    script.confirmPrinter(false);
    QCOMPARE(dialog.ShowPrinter(), CommonDialog::Result::Accepted);
    QCOMPARE(dialog.ShowPrinter(), CommonDialog::Result::Cancelled);
    QCOMPARE(script.shown.size(), 2);
    QVERIFY(script.shown.first().printer);
    QCOMPARE(script.shown.first().printerFlags, 64);
    QCOMPARE(dialog.FileName, QStringLiteral("/untouched"));
}

void TestCommonDialog::nameFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("open box") << "Encrypted Files (*.vrd)|*.vrd|All Files (*.*)|*.*"
                              << QStringList{QStringLiteral("Encrypted Files (*.vrd)"),
                                             QStringLiteral("All Files (*)")};
    QTest::newRow("trailing bar") << "CSV Files (*.csv)|*.csv|Text Files (*.txt)|*.txt|"
                                  << QStringList{QStringLiteral("CSV Files (*.csv)"),
                                                 QStringLiteral("Text Files (*.txt)")};
    QTest::newRow("description without patterns")
        << "Records|*.vrd;*.VRD" << QStringList{QStringLiteral("Records (*.vrd *.VRD)")};
    QTest::newRow("odd piece ignored")
        << "Records|*.vrd|Dangling" << QStringList{QStringLiteral("Records (*.vrd)")};
    QTest::newRow("empty pattern") << "Anything|" << QStringList{QStringLiteral("Anything (*)")};
    QTest::newRow("empty") << "" << QStringList{};
}

void TestCommonDialog::nameFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(CommonDialog::nameFilters(filter), expected);
}

void TestCommonDialog::defaultExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("expected");
    QTest::newRow("added") << "/a/b"
                           << "csv"
                           << "/a/b.csv";
    QTest::newRow("has one") << "/a/b.txt"
                             << "csv"
                             << "/a/b.txt";
    QTest::newRow("dot in folder only") << "/a.d/b"
                                        << "csv"
                                        << "/a.d/b.csv";
    QTest::newRow("no default") << "/a/b"
                                << ""
                                << "/a/b";
    QTest::newRow("folder") << "/a/"
                            << "csv"
                            << "/a/";
}

void TestCommonDialog::defaultExtension()
{
    QFETCH(QString, name);
    QFETCH(QString, ext);
    QFETCH(QString, expected);
    QCOMPARE(CommonDialog::withDefaultExt(name, ext), expected);
}

QTEST_GUILESS_MAIN(TestCommonDialog)
#include "tst_commondialog.moc"
