#include "store/WindowPlacement.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>

namespace WindowPlacement {

std::optional<qint16> parseStored(const QString &text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    // Half-way values go to the even neighbour, as the stored numbers were
    // always converted.
    const double rounded = std::nearbyint(value);
    if (rounded < std::numeric_limits<qint16>::min() ||
        rounded > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return qint16(rounded);
}

QString storedText(double twips)
{
    return QString::number(double(float(twips)), 'g', std::numeric_limits<float>::digits10 + 1);
}

double acceptPosition(const QString &stored, double windowExtent, double screenExtent)
{
    const std::optional<qint16> v = parseStored(stored);
    if (v && *v >= 0 && *v + windowExtent < screenExtent)
        return *v;
    return 0;
}

double acceptSize(const QString &stored, double minimum)
{
    const std::optional<qint16> v = parseStored(stored);
    if (v && *v >= minimum)
        return *v;
    return minimum;
}

int acceptPeriod(const QString &stored)
{
    const std::optional<qint16> v = parseStored(stored);
    if (v && *v >= 0 && *v <= 3)
        return *v;
    return defaultPeriod;
}

QRectF centred(QSizeF window, QSizeF screen)
{
    return QRectF(screen.width() / 2 - window.width() / 2,
                  screen.height() / 2 - window.height() / 2, window.width(), window.height());
}

QSizeF clientSize(QSizeF outer, const FrameMargins &frame)
{
    return QSizeF(outer.width() - frame.left - frame.right,
                  outer.height() - frame.top - frame.bottom);
}

QRectF outerToSave(const QRectF &outer, bool normalState, const QRectF &normalClient,
                   const FrameMargins &frame)
{
    if (normalState || !normalClient.isValid())
        return outer;
    return normalClient.adjusted(-frame.left, -frame.top, frame.right, frame.bottom);
}

QRectF fitToArea(const QRectF &outer, const QRectF &available, QSizeF minimum)
{
    QRectF fitted = outer;
    fitted.setWidth(std::max(std::min(outer.width(), available.width()), minimum.width()));
    fitted.setHeight(std::max(std::min(outer.height(), available.height()), minimum.height()));
    // Pushed back from the right and bottom edges first, so that a window
    // larger than the area keeps its title bar in reach at the top left.
    fitted.moveLeft(std::min(fitted.left(), available.right() - fitted.width()));
    fitted.moveTop(std::min(fitted.top(), available.bottom() - fitted.height()));
    fitted.moveLeft(std::max(fitted.left(), available.left()));
    fitted.moveTop(std::max(fitted.top(), available.top()));
    return fitted;
}

} // namespace WindowPlacement
