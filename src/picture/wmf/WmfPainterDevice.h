#pragma once

#include <algorithm>
#include <cmath>

#include <QImage>
#include <QRectF>
#include <QSize>

#include <memory>

struct _wmfAPI;

namespace picture {

// The work one play may do, counted in the file's own units (records played, primitives drawn,
// glyphs, and pixels filled, copied or sampled) rather than by the clock, so that a file gives
// the same result on every machine. The weights follow what each costs here (about 20 us a
// primitive, 5 us a record, 3 ns a pixel filled): the limit lets some 120,000 primitives through
// (six times the busiest metafile seen in real collections), or 8 gigapixels of fills, a few
// seconds of drawing at most.
struct WmfWork
{
    static constexpr qint64 kLimit = 8'000'000;
    static constexpr qint64 kPerRecord = 4;
    static constexpr qint64 kPerPrimitive = 64;
    static constexpr qint64 kPerGlyph = 4;
    static constexpr double kPixelsPerUnit = 1024;

    qint64 spent = 0;

    void add(qint64 units) { spent += units; }
    void addPixels(double pixels)
    {
        if (std::isfinite(pixels) && pixels > 0)
            spent += qint64(std::min(pixels, 1e15) / kPixelsPerUnit);
    }
    bool over() const { return spent > kLimit; }
};

// A libwmf device layer that draws with QPainter, antialiased, onto an opaque canvas.
//
// libwmf parses the records and keeps the device context; this layer turns its drawing calls
// (device units) into painting on a `size` canvas showing the device rectangle `frame`, the
// way libwmf's own gd layer maps its bounding box. Brushes (solid, hatched, pattern), pens
// (styles, widths, caps), arcs, polygons with either fill rule, bitmaps, regions, rectangular
// clipping and text (glyph outlines of the faces libwmf measured the text with, so no
// QGuiApplication is needed) are drawn; flood fills are not.
//
// A hostile file cannot stall or flood QPainter: coordinates are clamped, shapes are cut down
// to the canvas, complex outlines are filled in tiles (QPainter's antialiasing rasteriser is
// quadratic in an outline's size), and a render spends a bounded amount of such work.
//
// Only QPainter on a QImage is used, so a device may draw on any thread; libwmf itself is the
// caller's to serialise.
class WmfPainterDevice
{
public:
    // Fills libwmf's table of drawing functions; pass as wmfAPI_Options::function. Until a
    // device is attached, the functions draw nothing (a session that only measures).
    static void install(_wmfAPI *api);

    // Attaches a fresh white canvas to `api` for one play; detached again on destruction.
    // `zoom` is how much larger than its natural size the picture is drawn: hatch and pattern
    // brushes, which GDI lays out in device pixels, grow with it (by whole pixels) so that the
    // picture looks alike at any size. Drawing stops (and finish() fails) once `work` is spent.
    WmfPainterDevice(_wmfAPI *api, const QRectF &frame, QSize size, double zoom, WmfWork &work);
    ~WmfPainterDevice();

    WmfPainterDevice(const WmfPainterDevice &) = delete;
    WmfPainterDevice &operator=(const WmfPainterDevice &) = delete;

    // The canvas after the play, as RGB32 (it is always opaque). Null when the canvas could not
    // be allocated, the play never began, or the work was spent.
    QImage finish();

    struct Canvas;

private:
    _wmfAPI *m_api;
    std::unique_ptr<Canvas> m_canvas;
};

} // namespace picture
