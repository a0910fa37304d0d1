#pragma once

#include <QIcon>
#include <QImage>

// The program's icon, a small stopwatch, drawn in code (for the windows, and
// at build time for desktop menus) so no binary image has to be kept in sync.
QImage DrawAppIcon(int size);
// Each size is drawn when it is first shown.
QIcon AppIcon();
