#pragma once

// Small helpers the Qt windows share to show what the core decides.

#include "core/ui/colours.h"
#include "core/ui/twips.h"

#include <QColor>
#include <QRect>

class QLabel;
class QString;

// Sets a label's text and fits the label to it; such labels never wrap.
void SetAutoSizeText(QLabel *label, const QString &text);

inline QColor ToQColor(const Rgb &rgb)
{
    return QColor(rgb.red, rgb.green, rgb.blue);
}

// A design rectangle in twips as pixels.
inline QRect FromTwips(int left, int top, int width, int height)
{
    const PixelRect r = TwipsRect(left, top, width, height);
    return QRect(r.left, r.top, r.width, r.height);
}

inline PixelRect ToPixelRect(const QRect &rect)
{
    return {rect.x(), rect.y(), rect.width(), rect.height()};
}
