#pragma once

#include <QFont>

// Declared in core/design/windowdesign.h, which is left out here: its
// FontRole::Display would shadow Xlib's Display where both are seen.
enum class FontRole;

// The window's Chinese captions are designed for a Song-style serif face.
// Maps the Windows face names onto CJK serif faces found on Linux, so they
// neither fall back to a Latin sans face nor show boxes.
void InstallFontSubstitutions();

// "宋体" at the given point size.
QFont SongFont(qreal pointSize);

// The font of a design's role, as the Linux windows draw it (with the sizes
// the Song face needs here).
QFont DesignQFont(FontRole role);
