// The window placement with a window manager's frame around the client
// area: what is saved at close comes back at the next start.
#include "store/WindowPlacement.h"

#include <QTest>

using namespace WindowPlacement;

class TestPlacement : public QObject
{
    Q_OBJECT

private slots:
    void framedWindowKeepsItsPlace();
};

void TestPlacement::framedWindowKeepsItsPlace()
{
    // 2 px sides and a 25 px title bar at 96 dpi; a 1280 x 900 px screen
    // with a 30 px panel at the bottom.
    const FrameMargins frame{30, 375, 30, 30};
    const QRectF available(0, 0, 19200, 13050);
    const QSizeF minimum(8500, 6500);

    // Several starts and closes: the window is restored from what the last
    // close saved, takes its client size once framed, and saves its outer
    // rectangle again. Nothing grows.
    QRectF saved(1200, 900, 9000, 7005);
    for (int cycle = 0; cycle < 4; ++cycle) {
        const QRectF restored = fitToArea(saved, available, minimum);
        const QSizeF client = clientSize(restored.size(), frame);
        QCOMPARE(client, QSizeF(8940, 6600));
        const QRectF outer(restored.topLeft(), client + QSizeF(60, 405));
        saved = outerToSave(outer, true, QRectF(), frame);
        QCOMPARE(saved, QRectF(1200, 900, 9000, 7005));
    }

    // Closed while maximised: the normal geometry (a client rectangle) with
    // its frame is saved, not the screen-filling one.
    QCOMPARE(outerToSave(QRectF(0, 0, 19200, 13050), false, QRectF(1230, 1275, 8940, 6600), frame),
             QRectF(1200, 900, 9000, 7005));
    // A minimised window that never had a normal geometry saves what it is.
    QCOMPARE(outerToSave(QRectF(5, 6, 8500, 6500), false, QRectF(), frame),
             QRectF(5, 6, 8500, 6500));

    // Saved on a larger screen: shrunk to the available area, top-left kept
    // in reach; pulled back in when only its position is out; never below
    // the minimum, even on a tiny screen.
    QCOMPARE(fitToArea(QRectF(3000, 2000, 30000, 20000), available, minimum), available);
    QCOMPARE(fitToArea(QRectF(15000, 9000, 9000, 7000), available, minimum),
             QRectF(10200, 6050, 9000, 7000));
    QCOMPARE(fitToArea(QRectF(100, 200, 9000, 7000), QRectF(0, 0, 6000, 5000), minimum),
             QRectF(0, 0, 8500, 6500));
    // Panels at the top or left push the window past them.
    QCOMPARE(fitToArea(QRectF(0, 0, 9000, 7000), QRectF(600, 450, 18600, 12600), minimum),
             QRectF(600, 450, 9000, 7000));
}

QTEST_GUILESS_MAIN(TestPlacement)
#include "tst_placement.moc"
