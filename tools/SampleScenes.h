#pragma once

#include <QImage>
#include <QSize>

// The drawings behind the raster samples. Everything is shapes, gradients and paths (no
// text: a fresh machine may have no fonts), scaled to the requested size, with fixed seeds.
class SampleScenes
{
public:
    // Opaque scenes (Format_RGB32).
    static QImage sunset(QSize size);
    static QImage alpinePanorama(QSize size);
    static QImage aurora(QSize size);
    static QImage lighthouse(QSize size);
    static QImage bloom(QSize size);
    static QImage nightCity(QSize size);
    static QImage dunes(QSize size);
    static QImage truchetTiles(QSize size);
    static QImage colorWheel(QSize size);
    static QImage bauhaus(QSize size);
    static QImage bubbles(QSize size);
    static QImage balloons(QSize size);
    static QImage spinnerFrame(QSize size, int frame);
    static QImage pixelHouse(QSize size);
    static QImage mosaic(QSize size);

    // Transparent backgrounds (Format_ARGB32).
    static QImage sticker(QSize size);
    // A different drawing per size, so a viewer's choice of entry can be seen.
    static QImage compassIcon(int size);
    static QImage starIcon(int size);
    static QImage appIcon(int size);
    static QImage leafIcon(int size);
    static QImage arrowCursor(int size);
    static QImage crosshairCursor(int size);
    static QImage pencilCursor(int size);
};
