#pragma once

#include <QFont>

// The window's Chinese captions are designed for a Song-style serif face.
// Maps the Windows face names onto CJK serif faces found on Linux, so they
// neither fall back to a Latin sans face nor show boxes.
void InstallFontSubstitutions();

// "宋体" at the given point size.
QFont SongFont(qreal pointSize);
