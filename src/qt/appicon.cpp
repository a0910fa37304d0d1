#include "qt/appicon.h"

#include <QPainter>
#include <QPainterPath>

QImage DrawAppIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, size > 16);
    const qreal s = size / 32.0;
    p.scale(s, s);

    // Crown and button on top of the case.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(128, 0, 0));
    p.drawRect(QRectF(13, 1, 6, 3));
    p.drawRect(QRectF(15, 3, 2, 3));
    // Case: dark red ring around a light cyan face, the time display's colours.
    p.setBrush(QColor(192, 0, 0));
    p.drawEllipse(QRectF(3, 5, 26, 26));
    p.setBrush(QColor(192, 255, 255));
    p.drawEllipse(QRectF(6, 8, 20, 20));
    // Hands in the display's blue.
    QPen hand(QColor(0, 0, 255), 2.2, Qt::SolidLine, Qt::RoundCap);
    p.setPen(hand);
    p.drawLine(QPointF(16, 18), QPointF(16, 10.5));
    p.drawLine(QPointF(16, 18), QPointF(21.5, 21));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 128));
    p.drawEllipse(QPointF(16, 18), 1.6, 1.6);
    return image;
}

QIcon AppIcon()
{
    // Painted once; every window and the application share it.
    static const QIcon icon = [] {
        QIcon sizes;
        for (int size : {16, 32, 48, 64, 128})
            sizes.addPixmap(QPixmap::fromImage(DrawAppIcon(size)));
        return sizes;
    }();
    return icon;
}
