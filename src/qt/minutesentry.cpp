#include "qt/minutesentry.h"

#include <QFontMetricsF>
#include <QStyleOptionFrame>

namespace {

// Qt's own space between a line edit's frame and its text, on either side.
constexpr int kQtTextMargin = 2;
// What is left of it here: one pixel of air beside the frame.
constexpr int kAir = 1;
constexpr int kFrame = 1;
// The widest number the box is made for.
const QString kWidest = QStringLiteral("00.0");

} // namespace

MinutesEntry::MinutesEntry(QWidget *parent) : QLineEdit(parent)
{
    setTextMargins(kAir - kQtTextMargin, 0, kAir - kQtTextMargin, 0);
}

void MinutesEntry::initStyleOption(QStyleOptionFrame *option) const
{
    QLineEdit::initStyleOption(option);
    // The style draws a one-pixel line but keeps two pixels for it; the text
    // may come up to the line.
    if (hasFrame())
        option->lineWidth = kFrame;
}

void MinutesEntry::place(const QRect &geometry)
{
    setGeometry(geometry);
    // A sans face at 8.25 pt (11 px), whose 5 is 8 px of ink. Four
    // characters of it are about 24 px wide, more than the box holds, so it
    // is drawn narrower, just as far as they need to fit: the entry scrolls a
    // text that leaves its room no pixel for the cursor.
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Zen Hei")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    const int room = geometry.width() - 2 * (kFrame + kAir);
    int stretch = 100;
    for (; stretch > 60; --stretch) {
        font.setStretch(stretch);
        if (QFontMetricsF(font).horizontalAdvance(kWidest) + 1 <= room)
            break;
    }
    setFont(font);
}
