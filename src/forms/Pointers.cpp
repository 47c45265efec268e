#include "forms/Pointers.h"

#include <QBitmap>
#include <QImage>

#include <cstdlib>

namespace forms {

namespace {

QBitmap toBitmap(const QImage &image)
{
    return QBitmap::fromImage(image, Qt::ThresholdDither);
}

bool inSplitterShape(int x, int y)
{
    // Two bars, two pixels apart, with a shaft and an arrowhead on each outer side.
    const int dy = std::abs(y - 15);
    const bool bars = y >= 8 && y <= 22 && (x == 13 || x == 14 || x == 17 || x == 18);
    const bool leftHead = x >= 4 && x <= 8 && dy <= x - 4;
    const bool rightHead = x >= 23 && x <= 27 && dy <= 27 - x;
    const bool shafts = dy == 0 && ((x >= 4 && x <= 11) || (x >= 20 && x <= 27));
    return bars || leftHead || rightHead || shafts;
}

} // namespace

QCursor SplitterCursor()
{
    // Bitmap bit set + mask bit set: black; bitmap clear + mask set: white; mask clear: clear.
    QImage shape(32, 32, QImage::Format_Mono);
    QImage mask(32, 32, QImage::Format_Mono);
    shape.fill(0);
    mask.fill(0);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx)
                    near = inSplitterShape(x + dx, y + dy);
            if (inSplitterShape(x, y))
                shape.setPixel(x, y, 1);
            if (near)
                mask.setPixel(x, y, 1);
        }
    }
    return QCursor(toBitmap(shape), toBitmap(mask), 15, 15);
}

QCursor InvisibleCursor()
{
    QBitmap empty(32, 32);
    empty.clear();
    return QCursor(empty, empty, 0, 0);
}

} // namespace forms
