#include "qt/minutesentry.h"

#include "qt/qtview.h"

#include <QFontMetricsF>
#include <QStyleOptionFrame>

namespace {

// Qt's own space between a line edit's frame and its text, on either side.
constexpr int kQtTextMargin = 2;
// What is left of it here: one pixel of air beside the frame.
constexpr int kAir = 1;
constexpr int kFrame = 1;

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
    // Its face and size depart from the window's font (windowdesign.h says
    // why). Four characters of it are about 24 px wide, more than the box
    // holds, so it is drawn narrower, just as far as they need to fit: the
    // entry scrolls a text that leaves its room no pixel for the cursor.
    QFont font;
    QStringList faces;
    for (std::string_view face : departure::kLinuxEntryFaces)
        faces << ToQString(face);
    font.setFamilies(faces);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(departure::kLinuxEntryPoints);
    const QString widest = ToQString(departure::kEntryWidestText);
    const int room = geometry.width() - 2 * (kFrame + kAir);
    int stretch = 100;
    for (; stretch > 60; --stretch) {
        font.setStretch(stretch);
        if (QFontMetricsF(font).horizontalAdvance(widest) + 1 <= room)
            break;
    }
    setFont(font);
}
