#include "app/app_icon.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace app {

QPixmap appIconPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, size > 16);
    const qreal s = size / 48.0;

    // Body, lying on its side, with the plus terminal on the right.
    const QRectF body(3 * s, 12 * s, 38 * s, 24 * s);
    const QRectF terminal(41 * s, 19 * s, 5 * s, 10 * s);
    const QColor outline(16, 40, 112);
    p.setPen(Qt::NoPen);
    p.setBrush(outline);
    p.drawRect(terminal);
    p.drawRoundedRect(body, 3 * s, 3 * s);
    p.setBrush(Qt::white);
    const qreal wall = std::max<qreal>(1.0, 3 * s);
    const QRectF inside = body.adjusted(wall, wall, -wall, -wall);
    p.drawRect(inside);

    // Charge gauge: three quarters full.
    p.setBrush(QColor(40, 170, 60));
    p.drawRect(QRectF(inside.left(), inside.top(), inside.width() * 0.75, inside.height()));

    // Lightning bolt across the gauge.
    QPainterPath bolt;
    bolt.moveTo(25 * s, 8 * s);
    bolt.lineTo(14 * s, 26 * s);
    bolt.lineTo(22 * s, 26 * s);
    bolt.lineTo(18 * s, 41 * s);
    bolt.lineTo(31 * s, 21 * s);
    bolt.lineTo(23 * s, 21 * s);
    bolt.closeSubpath();
    p.setBrush(QColor(255, 204, 0));
    // At 16 pixels an outline would swallow the bolt.
    p.setPen(size > 16 ? QPen(outline, 1.5 * s) : QPen(Qt::NoPen));
    p.drawPath(bolt);
    return pixmap;
}

QIcon appIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addPixmap(appIconPixmap(size));
    return icon;
}

} // namespace app
