#include "shell/ToolbarIcons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

namespace ToolbarIcons {

namespace {

enum class Shape
{
    Open,
    SaveEncrypt,
    SaveDecrypt,
    Print,
    Setting,
    Previous,
    Next
};

const QColor ink(40, 48, 64);
const QColor paper(250, 250, 246);
const QColor folder(232, 180, 64);
const QColor disk(52, 101, 164);
const QColor metal(186, 189, 182);
const QColor brass(196, 160, 0);

// A floppy disk filling the 0..24 design square.
void drawDisk(QPainter &p)
{
    QPainterPath body;
    body.moveTo(3, 3);
    body.lineTo(18, 3);
    body.lineTo(21, 6);
    body.lineTo(21, 21);
    body.lineTo(3, 21);
    body.closeSubpath();
    p.setPen(QPen(ink, 1.2));
    p.setBrush(disk);
    p.drawPath(body);
    p.setBrush(metal);
    p.drawRect(QRectF(7, 3, 9, 6));
    p.setBrush(paper);
    p.drawRect(QRectF(6, 12, 12, 9));
}

void drawLock(QPainter &p)
{
    p.setPen(QPen(ink, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(13.5, 10.5, 7, 8), 0, 180 * 16);
    p.drawLine(QPointF(13.5, 14.5), QPointF(13.5, 16));
    p.drawLine(QPointF(20.5, 14.5), QPointF(20.5, 16));
    p.setPen(QPen(ink, 1));
    p.setBrush(brass);
    p.drawRoundedRect(QRectF(12, 15.5, 10, 7.5), 1, 1);
    p.setBrush(ink);
    p.drawEllipse(QPointF(17, 19), 1, 1);
}

void drawOpen(QPainter &p)
{
    p.setPen(QPen(ink, 1.2));
    p.setBrush(folder.darker(115));
    QPainterPath back;
    back.moveTo(2, 6);
    back.lineTo(8, 6);
    back.lineTo(10, 8);
    back.lineTo(19, 8);
    back.lineTo(19, 20);
    back.lineTo(2, 20);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(folder);
    QPainterPath front;
    front.moveTo(5, 11);
    front.lineTo(23, 11);
    front.lineTo(19, 20);
    front.lineTo(2, 20);
    front.closeSubpath();
    p.drawPath(front);
}

void drawSaveDecrypt(QPainter &p)
{
    drawDisk(p);
    p.setPen(QPen(ink, 1));
    for (double y : {14.5, 16.5, 18.5})
        p.drawLine(QPointF(8, y), QPointF(16, y));
}

void drawPrint(QPainter &p)
{
    p.setPen(QPen(ink, 1.2));
    p.setBrush(paper);
    p.drawRect(QRectF(6, 2.5, 12, 7));
    p.setBrush(metal);
    p.drawRoundedRect(QRectF(2, 9, 20, 9), 1.5, 1.5);
    p.setBrush(paper);
    p.drawRect(QRectF(6, 14, 12, 8));
    p.setPen(QPen(ink, 1));
    p.drawLine(QPointF(8, 17), QPointF(16, 17));
    p.drawLine(QPointF(8, 19.5), QPointF(14, 19.5));
    p.setBrush(QColor(78, 154, 6));
    p.drawEllipse(QPointF(18.5, 11.5), 1, 1);
}

void drawSetting(QPainter &p)
{
    QPainterPath gear;
    const QPointF c(12, 12);
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const double r = (i % 2 == 0) ? 10.0 : 7.6;
        for (int k = 0; k < 2; ++k) {
            const double a = (i + k * 0.999) * M_PI / teeth - M_PI / (2 * teeth);
            const QPointF pt(c.x() + r * qCos(a), c.y() + r * qSin(a));
            if (i == 0 && k == 0)
                gear.moveTo(pt);
            else
                gear.lineTo(pt);
        }
    }
    gear.closeSubpath();
    gear.addEllipse(c, 3.2, 3.2);
    gear.setFillRule(Qt::OddEvenFill);
    p.setPen(QPen(ink, 1.1));
    p.setBrush(metal.darker(110));
    p.drawPath(gear);
}

// A triangle whose tip points the way the picker steps.
void drawArrow(QPainter &p, bool forward)
{
    const double tip = forward ? 19 : 5;
    const double base = forward ? 7 : 17;
    p.setPen(QPen(ink, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(disk);
    p.drawPolygon(QPolygonF{QPointF(base, 4.5), QPointF(tip, 12), QPointF(base, 19.5)});
}

class Engine final : public QIconEngine
{
public:
    explicit Engine(Shape shape) : m_shape(shape) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const double side = qMin(rect.width(), rect.height());
        painter->translate(rect.x() + (rect.width() - side) / 2.0,
                           rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / 24.0, side / 24.0);
        if (mode == QIcon::Disabled)
            painter->setOpacity(0.35);
        switch (m_shape) {
        case Shape::Open:
            drawOpen(*painter);
            break;
        case Shape::SaveEncrypt:
            drawDisk(*painter);
            drawLock(*painter);
            break;
        case Shape::SaveDecrypt:
            drawSaveDecrypt(*painter);
            break;
        case Shape::Print:
            drawPrint(*painter);
            break;
        case Shape::Setting:
            drawSetting(*painter);
            break;
        case Shape::Previous:
        case Shape::Next:
            drawArrow(*painter, m_shape == Shape::Next);
            break;
        }
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override
    {
        QPixmap pixmap(size * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override { return size; }

    QIconEngine *clone() const override { return new Engine(m_shape); }

    QString key() const override { return QStringLiteral("VarnellToolbarIcon"); }

private:
    Shape m_shape;
};

} // namespace

QIcon icon(const QString &key)
{
    if (key == QLatin1String("btOpen"))
        return QIcon(new Engine(Shape::Open));
    if (key == QLatin1String("btSaveEncrypt"))
        return QIcon(new Engine(Shape::SaveEncrypt));
    if (key == QLatin1String("btSaveDecrypt"))
        return QIcon(new Engine(Shape::SaveDecrypt));
    if (key == QLatin1String("btPrint"))
        return QIcon(new Engine(Shape::Print));
    if (key == QLatin1String("btSetting"))
        return QIcon(new Engine(Shape::Setting));
    if (key == QLatin1String("cmdPrevProduct"))
        return QIcon(new Engine(Shape::Previous));
    if (key == QLatin1String("cmdNextProduct"))
        return QIcon(new Engine(Shape::Next));
    return QIcon();
}

} // namespace ToolbarIcons
