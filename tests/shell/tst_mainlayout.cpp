#include "shell/MainLayout.h"

#include <QTest>

using namespace MainLayout;

namespace {

// The client area that gives a frame of the given size.
QSizeF clientFor(double frameWidth, double frameHeight)
{
    return QSizeF(frameWidth + frameLeft + frameRightMargin,
                  frameHeight + frameTop + frameBottomMargin);
}

QRectF rect(const QMap<QString, QRectF> &rects, const char *name)
{
    const QString key = QLatin1String(name);
    if (!rects.contains(key))
        qWarning("no rectangle for %s", name);
    return rects.value(key);
}

} // namespace

class TestMainLayout : public QObject
{
    Q_OBJECT

private slots:
    void minimumWindowSize_data();
    void minimumWindowSize();
    void framesKeepTheirMargins();
    void statisticsButtons_data();
    void statisticsButtons();
    void growingGrowsTheViewsAndMovesTheButtons();
    void columnsAboutTheMiddle();
    void onlyTheSelectedTabIsLaidOut();
    void progressNotePlacement();
};

void TestMainLayout::minimumWindowSize_data()
{
    QTest::addColumn<QSizeF>("outer");
    QTest::addColumn<QSizeF>("expected");
    QTest::newRow("too small both ways") << QSizeF(6000, 4000) << QSizeF(8500, 6500);
    QTest::newRow("too narrow") << QSizeF(8499, 9000) << QSizeF(8500, 9000);
    QTest::newRow("too low") << QSizeF(12000, 6499.5) << QSizeF(12000, 6500);
    QTest::newRow("exactly the minimum") << QSizeF(8500, 6500) << QSizeF(8500, 6500);
    QTest::newRow("larger") << QSizeF(15000, 11000) << QSizeF(15000, 11000);
}

void TestMainLayout::minimumWindowSize()
{
    QFETCH(QSizeF, outer);
    QFETCH(QSizeF, expected);
    QCOMPARE(enforceMinimum(outer), expected);
}

void TestMainLayout::framesKeepTheirMargins()
{
    const QSizeF client(9000, 7000);
    for (int tab = 1; tab <= tabCount; ++tab) {
        const auto rects = layout(tab, client, 400);
        QCOMPARE(rect(rects, "tabForm"), QRectF(0, 0, 9000, 7000));
        QCOMPARE(rects.value(frameName(tab)), QRectF(240, 600, 9000 - 490, 7000 - 850));
    }
    const auto decrypt = layout(DecryptTab, client, 400);
    // 60 twips left and right of the record view, 50 below it, 100 under the
    // toolbar.
    QCOMPARE(rect(decrypt, "txtDecrypt"), QRectF(60, 500, 8510 - 120, 6150 - 400 - 150));
    QCOMPARE(rect(decrypt, "tbarDecypt"), QRectF(0, 0, 8510, 400));
}

void TestMainLayout::statisticsButtons_data()
{
    QTest::addColumn<double>("frameWidth");
    QTest::addColumn<double>("exportLeft");
    QTest::addColumn<double>("requestLeft");
    QTest::newRow("6000") << 6000.0 << 1106.25 << 3540.0;
    QTest::newRow("6495") << 6495.0 << 1230.0 << 3936.0;
}

void TestMainLayout::statisticsButtons()
{
    QFETCH(double, frameWidth);
    QFETCH(double, exportLeft);
    QFETCH(double, requestLeft);
    const auto rects = layout(StatsTab, clientFor(frameWidth, 4335));
    const QRectF exportButton = rect(rects, "cmdExportStats");
    const QRectF request = rect(rects, "cmdReqPackage");
    QCOMPARE(exportButton.width(), 1575.0);
    QCOMPARE(exportButton.left(), exportLeft);
    QCOMPARE(request.left(), requestLeft);
    // Both 150 above the frame's bottom; the tree ends 150 above them.
    QCOMPARE(exportButton.top(), 4335.0 - 495 - 150);
    QCOMPARE(request.top(), exportButton.top());
    const QRectF tree = rect(rects, "tvStats");
    QCOMPARE(tree.left(), 240.0);
    QCOMPARE(tree.top(), 1200.0);
    QCOMPARE(tree.width(), frameWidth - 480);
    QCOMPARE(tree.bottom(), exportButton.top() - 150);
    // The period frame is centred and keeps its top and size.
    const QRectF period = rect(rects, "fraStatPeriod");
    QCOMPARE(period, QRectF(frameWidth / 2 - 5895 / 2.0, 240, 5895, 735));
}

void TestMainLayout::growingGrowsTheViewsAndMovesTheButtons()
{
    const QSizeF small(8200, 5800);
    const QSizeF large(9200, 6800);
    const double toolbar = 420;
    for (int tab = 1; tab <= tabCount; ++tab) {
        const auto before = layout(tab, small, toolbar);
        const auto after = layout(tab, large, toolbar);
        const QRectF frameBefore = before.value(frameName(tab));
        const QRectF frameAfter = after.value(frameName(tab));
        QCOMPARE(frameAfter.size() - frameBefore.size(), QSizeF(1000, 1000));
        QCOMPARE(frameAfter.topLeft(), frameBefore.topLeft());
    }
    const auto grows = [&](int tab, const char *name) {
        const QRectF a = rect(layout(tab, small, toolbar), name);
        const QRectF b = rect(layout(tab, large, toolbar), name);
        QCOMPARE(b.size() - a.size(), QSizeF(1000, 1000));
        QCOMPARE(b.topLeft(), a.topLeft());
    };
    grows(DecryptTab, "txtDecrypt");
    grows(StatsTab, "tvStats");
    const auto movesDown = [&](int tab, const char *name) {
        const QRectF a = rect(layout(tab, small, toolbar), name);
        const QRectF b = rect(layout(tab, large, toolbar), name);
        QCOMPARE(b.top() - a.top(), 1000.0);
        QCOMPARE(b.size(), a.size());
    };
    for (const char *name : {"cmdSave", "cmdResetForm", "cmdNewProduct"}) {
        movesDown(ProductTab, name);
        // The product buttons keep their designed Left.
        QCOMPARE(rect(layout(ProductTab, large), name).left(),
                 designGeometry().value(QLatin1String(name)).left());
    }
    movesDown(StatsTab, "cmdExportStats");
    movesDown(StatsTab, "cmdReqPackage");
}

void TestMainLayout::columnsAboutTheMiddle()
{
    const double W = 7000;
    const auto settings = layout(SettingsTab, clientFor(W, 4335));
    const double labelLeft = W / 2 - (1815 + 2895) / 2.0;
    for (const char *name : {"lblDeveloperKey", "lblEncryptionKey", "lblPassword"})
        QCOMPARE(rect(settings, name).left(), labelLeft);
    for (const char *name : {"txtDeveloperKey", "txtEncryptionKey", "txtPassword"})
        QCOMPARE(rect(settings, name).left(), W / 2);
    // The rows keep their designed tops.
    QCOMPARE(rect(settings, "txtEncryptionKey").top(), 1440.0);
    QCOMPARE(rect(settings, "cmdUpdate").left(), W / 5);
    QCOMPARE(rect(settings, "cmdUndo").left(), 3 * W / 5);

    const auto server = layout(ServerInfoTab, clientFor(W, 4335));
    for (const char *name : {"lblServerName", "lblServerStatus", "lblConnTime"})
        QCOMPARE(rect(server, name).left(), labelLeft);
    for (const char *name : {"cboServer", "txtServerStatus", "txtConnTime"})
        QCOMPARE(rect(server, name).left(), W / 2);
    QCOMPARE(rect(server, "lblServerName").top(), 960.0);
    QCOMPARE(rect(server, "txtConnTime").top(), 1920.0);
    QCOMPARE(rect(server, "cmdRefreshServer"), QRectF(W / 2 - 1575 / 2.0, 2760, 1575, 495));

    const auto product = layout(ProductTab, clientFor(W, 5000));
    QCOMPARE(rect(product, "picSelectProd"), QRectF(W - 2175 - 100, 240, 2175, 495));
    QCOMPARE(rect(product, "cmdNewProduct").top(), 5000.0 - 495 - 75);
}

void TestMainLayout::onlyTheSelectedTabIsLaidOut()
{
    const auto rects = layout(ServerInfoTab, QSizeF(9000, 7000));
    QVERIFY(rects.contains(QStringLiteral("fraServerInfo")));
    for (const char *other : {"fraDecrypt", "fraSettings", "fraProduct", "fraStats", "tvStats",
                              "txtDecrypt", "txtProgress"})
        QVERIFY2(!rects.contains(QLatin1String(other)), other);
    // No tab: only the strip.
    QCOMPARE(layout(0, QSizeF(9000, 7000)).keys(), QStringList{QStringLiteral("tabForm")});
}

void TestMainLayout::progressNotePlacement()
{
    const double W = 8000;
    const auto product = layout(ProductTab, clientFor(W, 5000));
    const QRectF note = rect(product, "txtProgress");
    QCOMPARE(note.top(), 840.0);
    // Centred over the frame, in window coordinates.
    QCOMPARE(note.center().x(), 240 + W / 2);

    const QRectF stats(240, 600, 8000, 5000);
    const QRectF period(1052.5, 240, 5895, 735);
    QCOMPARE(progressOverPeriodFrame(stats, period, QSizeF(5895, 375)),
             QRectF(1292.5, 1090, 5895, 375));
}

QTEST_GUILESS_MAIN(TestMainLayout)
#include "tst_mainlayout.moc"
