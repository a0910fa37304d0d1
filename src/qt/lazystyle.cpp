#include "qt/lazystyle.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QWidget>

namespace {

// Asks the style for its icon only when the icon is first drawn or measured.
class DeferredStyleIconEngine : public QIconEngine {
public:
    DeferredStyleIconEngine(const QStyle *style, QStyle::StandardPixmap which,
                            const QWidget *widget)
        : style_(style), widget_(widget), which_(which)
    {
    }
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override
    {
        return icon().pixmap(size, scale, mode, state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    bool isNull() override { return false; }
    QString key() const override { return QStringLiteral("brisko-deferred-style"); }
    QIconEngine *clone() const override { return new DeferredStyleIconEngine(*this); }

private:
    const QIcon &icon()
    {
        if (!looked_) {
            looked_ = true;
            if (style_)
                icon_ = style_->standardIcon(which_, nullptr, widget_);
        }
        return icon_;
    }
    QPointer<const QStyle> style_;
    QPointer<const QWidget> widget_;
    QStyle::StandardPixmap which_;
    bool looked_ = false;
    QIcon icon_;
};

class LazyIconStyle : public QProxyStyle {
public:
    QIcon standardIcon(StandardPixmap which, const QStyleOption *option,
                       const QWidget *widget) const override
    {
        if (!option && (which == SP_ToolBarHorizontalExtensionButton ||
                        which == SP_ToolBarVerticalExtensionButton))
            return QIcon(new DeferredStyleIconEngine(baseStyle(), which, widget));
        return QProxyStyle::standardIcon(which, option, widget);
    }
};

} // namespace

void InstallLazyStyleIcons()
{
    // The proxy's base is the style the application would have had.
    QApplication::setStyle(new LazyIconStyle);
}
