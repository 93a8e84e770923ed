#include "store/WindowPlacement.h"

#include <QLocale>

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

} // namespace WindowPlacement
