#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// Hand-made picture files for the loader tests: small, exact, and with headers that can say
// what the data behind them does not.
class PictureBytes
{
public:
    // A GIF89a with a two-colour table, logical screen `screen`, one frame of `frame` pixels
    // filled with colour 1 (`pixelCount` pixels of LZW data; fewer than the frame is truncated).
    static QByteArray gif(QSize screen, QSize frame, qint64 pixelCount);
    static QByteArray gif(QSize size) { return gif(size, size, qint64(size.width()) * size.height()); }

    struct IconImage
    {
        QSize size;
        QColor color;
        int bitsPerPixel = 32; // 24 or 32
    };
    // An icon (type 1) or cursor (type 2) directory with one uncompressed DIB per entry.
    static QByteArray icon(const QList<IconImage> &images, bool cursor);

    // A BITMAPINFOHEADER BMP that claims `size` at 24 bits but carries no pixel data.
    static QByteArray bmpHeaderOnly(QSize size);

    // A real JPEG of `image` with its frame header patched to claim `claimed` pixels.
    static QByteArray jpegClaiming(const QImage &image, QSize claimed);

    // `jpeg` with an EXIF APP1 segment carrying the given Orientation tag right after SOI.
    static QByteArray withExifOrientation(const QByteArray &jpeg, int orientation);

    // Windows metafile records, for building files.
    struct WmfRecord
    {
        quint16 function = 0;
        QList<qint16> params;
        QByteArray extra; // raw bytes after the parameters (bitmaps)
    };
    static WmfRecord setMapMode(int mode) { return {0x0103, {qint16(mode)}, {}}; }
    static WmfRecord setWindowOrg(int x, int y) { return {0x020B, {qint16(y), qint16(x)}, {}}; }
    static WmfRecord setWindowExt(int w, int h) { return {0x020C, {qint16(h), qint16(w)}, {}}; }
    static WmfRecord solidBrush(QRgb rgb);
    // A hatched brush (0 horizontal ... 5 diagonal cross).
    static WmfRecord hatchBrush(int hatch, QRgb rgb);
    // A pen of `style` (0 solid, 1 dash, 5 null, ...).
    static WmfRecord pen(int width, QRgb rgb, int style = 0);
    static WmfRecord setBkMode(int mode) { return {0x0102, {qint16(mode)}, {}}; } // 1 transparent, 2 opaque
    static WmfRecord setBkColor(QRgb rgb);
    static WmfRecord setPolyFillMode(int mode) { return {0x0106, {qint16(mode)}, {}}; } // 1 alternate, 2 winding
    static WmfRecord ellipse(int left, int top, int right, int bottom)
    {
        return {0x0418, {qint16(bottom), qint16(right), qint16(top), qint16(left)}, {}};
    }
    // A pie slice of the ellipse in the box, from the radial through `start` counter-clockwise
    // to the one through `end`.
    static WmfRecord pie(int left, int top, int right, int bottom, QPoint start, QPoint end)
    {
        // The record lists its points last to first.
        return {0x081A,
                {qint16(end.y()), qint16(end.x()), qint16(start.y()), qint16(start.x()), qint16(bottom),
                 qint16(right), qint16(top), qint16(left)},
                {}};
    }
    static WmfRecord polygon(const QList<QPoint> &points);
    static WmfRecord polyline(const QList<QPoint> &points)
    {
        WmfRecord r = polygon(points);
        r.function = 0x0325;
        return r;
    }
    static WmfRecord intersectClipRect(int left, int top, int right, int bottom)
    {
        return {0x0416, {qint16(bottom), qint16(right), qint16(top), qint16(left)}, {}};
    }
    // A font `height` units high (the em when negative) of the face `name`.
    static WmfRecord font(int height, const QByteArray &name);
    static WmfRecord setTextColor(QRgb rgb);
    static WmfRecord textOut(int x, int y, const QByteArray &text);
    // A STRETCHDIB drawing a 24-bit bitmap of `size`, `pixels` given top row first, into `target`.
    static WmfRecord stretchDibPixels(const QRect &target, QSize size, const QList<QRgb> &pixels);
    static WmfRecord selectObject(int index) { return {0x012D, {qint16(index)}, {}}; }
    static WmfRecord rectangle(int left, int top, int right, int bottom)
    {
        return {0x041B, {qint16(bottom), qint16(right), qint16(top), qint16(left)}, {}};
    }
    static WmfRecord lineTo(int x, int y) { return {0x0213, {qint16(y), qint16(x)}, {}}; }
    // A STRETCHDIB whose bitmap header claims `claimed` pixels at 24 bits over `dataBytes` bytes.
    static WmfRecord stretchDib(QSize claimed, int dataBytes);

    // A metafile: placeable header (when `inch` > 0) with box (0, 0, boxWidth, boxHeight), the
    // METAHEADER, the records and META_EOF. `objects` is the header's object count.
    static QByteArray wmf(const QList<WmfRecord> &records, int inch, int boxWidth, int boxHeight,
                          int objects = 2);
    // The usual test drawing: window = box, a red rectangle over the left half on white.
    static QByteArray wmfRedLeftHalf(int inch, int boxWidth, int boxHeight);
};
