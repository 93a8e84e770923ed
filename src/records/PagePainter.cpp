#include "records/PagePainter.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

namespace PagePainter {

namespace {

void drawPage(QPainter &painter, const PrintLayout::Page &page)
{
    const QPaintDevice *device = painter.device();
    const double dpiX = device->logicalDpiX();
    const double dpiY = device->logicalDpiY();
    const auto at = [&](double x, double y) {
        return QPointF((PrintLayout::originOffset + x) * dpiX,
                       (PrintLayout::originOffset + y) * dpiY);
    };
    // The thinnest line the device draws.
    painter.setPen(QPen(Qt::black, 0));
    for (const PrintLayout::Item &item : page) {
        if (item.kind == PrintLayout::Item::Kind::Border) {
            painter.drawRect(
                QRectF(at(item.x, item.y), at(item.x + item.width, item.y + item.height)));
            continue;
        }
        QFont font;
        font.setPointSizeF(item.pointSize);
        font.setBold(item.bold);
        font.setUnderline(item.underline);
        painter.setFont(font);
        // Measured on the device, whose resolution sets the font's size in
        // its units.
        const QFontMetricsF metrics(font, device);
        painter.drawText(at(item.x, item.y) + QPointF(0, metrics.ascent()), item.text);
    }
}

} // namespace

bool paint(QPagedPaintDevice &device, const QList<PrintLayout::Page> &pages)
{
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    for (qsizetype i = 0; i < pages.size(); ++i) {
        if (i > 0 && !device.newPage()) {
            painter.end();
            return false;
        }
        drawPage(painter, pages.at(i));
    }
    return painter.end();
}

QByteArray pdf(const QList<PrintLayout::Page> &pages, const QString &title,
               const std::optional<QPageLayout> &layout)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Varnell Decryptor"));
        if (layout && !writer.setPageLayout(*layout))
            return QByteArray();
        if (!paint(writer, pages))
            return QByteArray();
    }
    return buffer.data();
}

} // namespace PagePainter
