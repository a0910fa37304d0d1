#pragma once

#include <QIcon>
#include <QImage>

// The program's icon, a small stopwatch, drawn in code at 16 and 32 pixels
// (and larger for desktop menus) so no binary image has to be kept in sync.
QImage DrawAppIcon(int size);
QIcon AppIcon();
