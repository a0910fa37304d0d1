#include "qt/appicon.h"

#include <QHash>
#include <QIconEngine>
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

namespace {

// Paints a size when it is first asked for, not before. The window system
// is offered the sizes a title bar and a task bar show (under X11 Qt paints
// and sends every offered size when the window is created); a larger one is
// still drawn sharp for whoever asks for it.
class DrawnIconEngine : public QIconEngine {
public:
    QPixmap pixmap(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = qMax(1, qMin(size.width(), size.height()));
        auto drawn = pixmaps_.constFind(side);
        if (drawn == pixmaps_.constEnd())
            drawn = pixmaps_.insert(side, QPixmap::fromImage(DrawAppIcon(side)));
        return *drawn;
    }
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }
    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = qMin(size.width(), size.height());
        return QSize(side, side);
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {QSize(16, 16), QSize(32, 32), QSize(48, 48)};
    }
    QString key() const override { return QStringLiteral("brisko-drawn"); }
    QIconEngine *clone() const override { return new DrawnIconEngine(*this); }

private:
    QHash<int, QPixmap> pixmaps_;
};

} // namespace

QIcon AppIcon()
{
    // One engine: every window and the application share its pixmaps.
    static const QIcon icon(new DrawnIconEngine);
    return icon;
}
