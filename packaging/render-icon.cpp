// brisko-render-icon: writes the program's icon, as the program itself draws
// it, to PNG files for the desktop's icon theme, so the installed icons never
// drift from the one in the window's title bar.
//
// Usage: brisko-render-icon OUTDIR SIZE...   writes OUTDIR/brisko-SIZE.png

#include "qt/appicon.h"

#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "Usage: %s OUTDIR SIZE...\n", argv[0]);
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        char *end = nullptr;
        const long size = std::strtol(argv[i], &end, 10);
        if (*argv[i] == '\0' || *end != '\0' || size < 16 || size > 1024) {
            std::fprintf(stderr, "not an icon size: %s\n", argv[i]);
            return 2;
        }
        const QString file = outDir + QStringLiteral("/brisko-%1.png").arg(size);
        if (!DrawAppIcon(int(size)).save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
