#pragma once

#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

// The rules by which the main window's placement and the statistics period
// are taken back from the per-user settings. Positions and sizes are in
// twips; screen and window sizes are those of the screen the window is on.
namespace WindowPlacement {

inline constexpr double twipsPerInch = 1440.0;

// A stored text as a 16-bit signed number: blanks around it allowed, a
// decimal number (with fraction or exponent) rounded half to even. Text that
// is not a number, or a number outside -32768..32767, gives nothing.
std::optional<qint16> parseStored(const QString &text);

// The text form in which a position or size is stored: the value as a
// single-precision number, in its shortest decimal form.
QString storedText(double twips);

// posTop / posLeft: a number v with v >= 0 and v + window extent < screen
// extent; anything else puts the window at 0.
double acceptPosition(const QString &stored, double windowExtent, double screenExtent);
// posWidth / posHeight: a number of at least the minimum, else the minimum.
double acceptSize(const QString &stored, double minimum);
// StatPeriod: 0 (Day) to 3 (Year); anything else is Year.
int acceptPeriod(const QString &stored);
inline constexpr int defaultPeriod = 3;

// Conversions at a screen's logical resolution.
inline double toTwips(double pixels, double logicalDpi)
{
    return pixels * twipsPerInch / logicalDpi;
}
inline double toPixels(double twips, double logicalDpi)
{
    return twips * logicalDpi / twipsPerInch;
}

// Where the window goes on first start: centred on the screen.
QRectF centred(QSizeF window, QSizeF screen);

// What the window manager adds around the window's client area, in twips.
// The stored placement values are the outer rectangle, frame included.
struct FrameMargins
{
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

// The client size that gives a window of this outer size.
QSizeF clientSize(QSizeF outer, const FrameMargins &frame);

// The outer rectangle that the unload saves. A maximised or minimised
// window saves its normal geometry (a client rectangle) with the frame
// around it, never the screen-filling or iconic one, so that the next start
// opens the window as the user last had it in its normal state.
QRectF outerToSave(const QRectF &outer, bool normalState, const QRectF &normalClient,
                   const FrameMargins &frame);

// The restored outer rectangle moved, then shrunk, as little as needed to
// lie within the available area (the screen less its panels); it never
// becomes smaller than the minimum, and its top-left corner stays inside
// the area.
QRectF fitToArea(const QRectF &outer, const QRectF &available, QSizeF minimum);

} // namespace WindowPlacement
