// brisko-render-icon: writes the program's icon, as the program itself draws
// it, to PNG files for the desktop's icon theme, so the installed icons never
// drift from the one in the window's title bar.
//
// Usage: brisko-render-icon OUTDIR SIZE...   writes OUTDIR/brisko-SIZE.png
//        brisko-render-icon --ico FILE SIZE... writes one Windows icon file

#include "qt/appicon.h"

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool parseSize(const char *text, int *size)
{
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < 16 || value > 256)
        return false;
    *size = int(value);
    return true;
}

// One image of an icon file: 32-bit BGRA bottom-up with its AND mask for the
// small sizes, which every Windows reads; PNG for 256.
QByteArray iconImage(const QImage &drawn)
{
    const QImage image = drawn.convertToFormat(QImage::Format_ARGB32);
    QByteArray bytes;
    if (image.width() >= 256) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    }
    const int w = image.width();
    const int h = image.height();
    const int maskStride = ((w + 31) / 32) * 4;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint32(40) << qint32(w) << qint32(h * 2) << quint16(1) << quint16(32) << quint32(0)
        << quint32(w * h * 4 + maskStride * h) << qint32(0) << qint32(0) << quint32(0)
        << quint32(0);
    for (int y = h - 1; y >= 0; --y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            out << quint8(qBlue(line[x])) << quint8(qGreen(line[x])) << quint8(qRed(line[x]))
                << quint8(qAlpha(line[x]));
    }
    // The alpha channel decides; the mask stays all zero (opaque).
    for (int i = 0; i < maskStride * h; ++i)
        out << quint8(0);
    return bytes;
}

int writeIco(const char *file, int count, char *sizes[])
{
    QList<int> list;
    for (int i = 0; i < count; ++i) {
        int size = 0;
        if (!parseSize(sizes[i], &size)) {
            std::fprintf(stderr, "not an icon size: %s\n", sizes[i]);
            return 2;
        }
        list.append(size);
    }
    QByteArray head;
    QByteArray images;
    QDataStream out(&head, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(list.size());
    quint32 offset = 6 + 16 * quint32(list.size());
    for (const int size : list) {
        const QByteArray image = iconImage(DrawAppIcon(size));
        out << quint8(size >= 256 ? 0 : size) << quint8(size >= 256 ? 0 : size) << quint8(0)
            << quint8(0) << quint16(1) << quint16(32) << quint32(image.size()) << offset;
        offset += quint32(image.size());
        images += image;
    }
    QFile ico(QString::fromLocal8Bit(file));
    if (!ico.open(QIODevice::WriteOnly) ||
        ico.write(head + images) != head.size() + images.size()) {
        std::fprintf(stderr, "cannot write %s\n", file);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 4 && std::strcmp(argv[1], "--ico") == 0)
        return writeIco(argv[2], argc - 3, argv + 3);
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
