#include "qt/qtview.h"

#include <QFontMetrics>
#include <QLabel>

void SetAutoSizeText(QLabel *label, const QString &text)
{
    label->setWordWrap(false);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setText(text);
    label->adjustSize();
    if (text.isEmpty())
        return;
    // Qt sizes a label to its font's line height, but the Song face's glyphs
    // reach a row below it, and an underline can too: make room for both,
    // with the text kept at the top.
    const QFontMetrics metrics(label->font());
    const QRect glyphs = metrics.boundingRect(text);
    int bottom = metrics.ascent() + glyphs.bottom() + 1;
    if (label->font().underline())
        bottom = qMax(bottom, metrics.ascent() + metrics.underlinePos() + metrics.lineWidth() + 1);
    label->resize(qMax(label->width(), glyphs.right() + 1), qMax(label->height(), bottom));
}
