#pragma once

#include <QImage>
#include <QRectF>
#include <QSize>

#include <memory>

class QDeadlineTimer;
struct _wmfAPI;

namespace platform {

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
    // picture looks alike at any size. Drawing stops (and finish() fails) once `deadline` has
    // passed.
    WmfPainterDevice(_wmfAPI *api, const QRectF &frame, QSize size, double zoom, const QDeadlineTimer &deadline);
    ~WmfPainterDevice();

    WmfPainterDevice(const WmfPainterDevice &) = delete;
    WmfPainterDevice &operator=(const WmfPainterDevice &) = delete;

    // The canvas after the play, as RGB32 (it is always opaque). Null when the canvas could not
    // be allocated, the play never began, or the deadline passed.
    QImage finish();

    struct Canvas;

private:
    _wmfAPI *m_api;
    std::unique_ptr<Canvas> m_canvas;
};

} // namespace platform
