#pragma once

#include <QMap>
#include <QRectF>
#include <QSizeF>
#include <QString>

// The main window's layout, in twips (1/1440 inch). A pure function from the
// selected tab and the client area's size to the rectangles of the tab strip,
// the selected tab's frame and that frame's controls; the window applies it
// on every resize and tab switch.
namespace MainLayout {

inline constexpr double minWindowWidth = 8500;
inline constexpr double minWindowHeight = 6500;
inline constexpr double frameLeft = 240;
inline constexpr double frameTop = 600;
inline constexpr double frameRightMargin = 250;
inline constexpr double frameBottomMargin = 250;
inline constexpr double recordViewLeft = 60;
inline constexpr double recordViewGap = 100;
inline constexpr double statisticsButtonGap = 150;
inline constexpr double productButtonGap = 75;
inline constexpr double pickerRightMargin = 100;
inline constexpr double productProgressTop = 840;
// How far below the period frame's top the progress note sits while the
// statistics of a chosen period are fetched.
inline constexpr double periodProgressOffset = 250;

// Tabs of the tab strip, numbered from 1 as the window counts them.
enum Tab
{
    DecryptTab = 1,
    SettingsTab = 2,
    ProductTab = 3,
    ServerInfoTab = 4,
    StatsTab = 5
};
inline constexpr int tabCount = 5;

// The objectName of the frame that a tab shows, or an empty string.
QString frameName(int tab);

// Every control's design geometry (Left, Top, width, height in twips inside
// its container: the frame's controls inside the frame, the product picker's
// inside the picker, txtProgress on the window). The layout keeps what its
// rules do not change.
const QMap<QString, QRectF> &designGeometry();
// The size a frame was designed with.
inline constexpr QSizeF designFrameSize{6495, 4335};

// The outer window size after the minimum is enforced.
QSizeF enforceMinimum(QSizeF outer);

// Rectangles by objectName: tabForm and the selected tab's frame (on the
// window) and that frame's controls (inside the frame). Tab 1 also needs the
// toolbar's current height. A tab outside 1 to 5 lays out the tab strip only.
QMap<QString, QRectF> layout(int tab, QSizeF client, double toolbarHeight = 0);

// Where the progress note goes while a period's statistics are fetched: at
// the period frame's left edge and 250 below its top, in window coordinates.
QRectF progressOverPeriodFrame(const QRectF &fraStats, const QRectF &fraStatPeriod,
                               QSizeF progressSize);

} // namespace MainLayout
