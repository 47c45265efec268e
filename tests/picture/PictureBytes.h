#pragma once

#include <QByteArray>
#include <QColor>
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

    struct IconImage { QSize size; QColor color; int bitsPerPixel = 32; /* 24 or 32 */ };
    // An icon (type 1) or cursor (type 2) directory with one uncompressed DIB per entry.
    static QByteArray icon(const QList<IconImage> &images, bool cursor);
    // A BMP that claims `size` at 24 bits but carries no pixel data.
    static QByteArray bmpHeaderOnly(QSize size);
    // `jpeg` with an EXIF APP1 segment carrying the given Orientation tag right after SOI.
    static QByteArray withExifOrientation(const QByteArray &jpeg, int orientation);

    // Windows metafile records, for building files.
    struct WmfRecord
    {
        quint16 function = 0;
        QList<qint16> params;
        QByteArray extra; // raw bytes after the parameters (bitmaps, text)
    };
    // Most records store their arguments last to first: give them in reading order.
    static WmfRecord reversed(quint16 function, const QList<int> &args)
    {
        WmfRecord r{function, {}, {}};
        for (auto it = args.crbegin(); it != args.crend(); ++it)
            r.params << qint16(*it);
        return r;
    }
    static WmfRecord setMapMode(int mode) { return {0x0103, {qint16(mode)}, {}}; }
    static WmfRecord setWindowExt(int w, int h) { return reversed(0x020C, {w, h}); }
    static WmfRecord selectObject(int index) { return {0x012D, {qint16(index)}, {}}; }
    // Colours are COLORREFs: red and green in the first word, blue in the second.
    static WmfRecord solidBrush(QRgb c) { return {0x02FC, {0, rg(c), qint16(qBlue(c)), 0}, {}}; }
    // A pen of `style` (0 solid, 1 dash, 5 null, ...).
    static WmfRecord pen(int width, QRgb c, int style = 0) { return {0x02FA, {qint16(style), qint16(width), 0, rg(c), qint16(qBlue(c))}, {}}; }
    static WmfRecord rectangle(int l, int t, int r, int b) { return reversed(0x041B, {l, t, r, b}); }
    static WmfRecord ellipse(int l, int t, int r, int b) { return reversed(0x0418, {l, t, r, b}); }
    static WmfRecord lineTo(int x, int y) { return reversed(0x0213, {x, y}); }
    static WmfRecord polygon(const QList<QPoint> &points, quint16 function = 0x0324); // 0x0325: a polyline
    // A font `height` units high (the em when negative) of the face `name`.
    static WmfRecord font(int height, const QByteArray &name);
    static WmfRecord textOut(int x, int y, const QByteArray &text);
    // A STRETCHDIB drawing a 24-bit bitmap of `size`, `pixels` given top row first, into `target`.
    static WmfRecord stretchDibPixels(const QRect &target, QSize size, const QList<QRgb> &pixels);
    // A STRETCHDIB whose bitmap header claims `claimed` pixels at 24 bits over `dataBytes` bytes.
    static WmfRecord stretchDib(QSize claimed, int dataBytes);

    // A metafile: placeable header (when `inch` > 0) with box (0, 0, boxWidth, boxHeight), the
    // METAHEADER, the records and META_EOF. `objects` is the header's object count.
    static QByteArray wmf(const QList<WmfRecord> &records, int inch, int boxWidth, int boxHeight, int objects = 2);
    // The usual test drawing: window = box, a red rectangle over the left half on white.
    static QByteArray wmfRedLeftHalf(int inch, int boxWidth, int boxHeight);

private:
    static qint16 rg(QRgb c) { return qint16(qRed(c) | (qGreen(c) << 8)); }
};
