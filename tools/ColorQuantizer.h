#pragma once

#include <QImage>
#include <QList>

// Reduces a picture to a palette of at most 256 colours for the GIF writer and 8-bit BMPs.
class ColorQuantizer
{
public:
    enum class Dither { None, FloydSteinberg };

    // Returns an Indexed8 image. Pixels with alpha below 128 share one fully transparent entry,
    // placed last in the colour table; the other entries are opaque. A picture with few enough
    // colours keeps them exactly and is never dithered.
    static QImage toIndexed(const QImage &image, int maxColors, Dither dither);

    // Median cut over the opaque pixels: at most maxColors opaque colours.
    static QList<QRgb> medianCut(const QImage &image, int maxColors);
};
