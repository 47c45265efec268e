#pragma once

// The state of one play and the drawing it does, shared by the metafile device's files:
//   WmfCanvasGeometry.cpp   device units to canvas pixels, region shapes, clipping
//   WmfCanvasPaint.cpp      pens, brushes, shapes and bitmaps
//   WmfCanvasText.cpp       text
//   WmfDeviceCallbacks.cpp  the functions libwmf calls, which hand each record to the above
//   WmfPainterDevice.cpp    a play's canvas from start to finish
// Only those files include it: it brings in libwmf's headers.

#include "picture/wmf/WmfPainterDevice.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>
#include <QSize>
#include <QTransform>

#include <cmath>
#include <optional>

extern "C" {
#include <libwmf/api.h>
#include <libwmf/font.h>
#include <libwmf/macro.h>
}

namespace picture {

struct WmfPainterDevice::Canvas
{
    // No coordinate or length handed to QPainter goes beyond this many pixels. Drawings are framed
    // so that little reaches past the canvas (see WmfRenderer::render); this only keeps a hostile
    // mapping from feeding the rasteriser absurd numbers.
    static constexpr double kCoordLimit = double(1 << 20);

    // How a binary raster operation (SetROP2) changes what is painted. The common R2_COPYPEN paints
    // as is; the constant, inverting and logical ones map onto QPainter's raster operations, which
    // are drawn without antialiasing (blending an XOR edge has no meaning).
    struct Rop
    {
        bool skip = false;
        QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
        enum { Keep, Black, White, Invert } color = Keep;

        QColor apply(const QColor &c) const
        {
            switch (color) {
            case Black: return Qt::black;
            case White: return Qt::white;
            case Invert: return QColor(255 - c.red(), 255 - c.green(), 255 - c.blue());
            case Keep: break;
            }
            return c;
        }

        static Rop of(const wmfDC *dc)
        {
            Rop rop;
            switch (dc ? WMF_DC_ROP(dc) : R2_COPYPEN) {
            case R2_NOP: rop.skip = true; break;
            case R2_BLACK: rop.color = Black; break;
            case R2_WHITE: rop.color = White; break;
            case R2_NOTCOPYPEN: rop.color = Invert; break;
            case R2_NOT: rop.mode = QPainter::RasterOp_NotDestination; break;
            case R2_XORPEN: rop.mode = QPainter::RasterOp_SourceXorDestination; break;
            case R2_MASKPEN: rop.mode = QPainter::RasterOp_SourceAndDestination; break;
            case R2_MERGEPEN: rop.mode = QPainter::RasterOp_SourceOrDestination; break;
            default: break; // R2_COPYPEN and the rarer ones paint as a copy
            }
            return rop;
        }
    };

    static QColor toColor(const wmfRGB *rgb)
    {
        return rgb ? QColor(rgb->r, rgb->g, rgb->b) : QColor(Qt::black);
    }

    static bool finite(wmfD_Coord p)
    {
        return std::isfinite(p.x) && std::isfinite(p.y);
    }

    wmfAPI *api = nullptr;
    QRectF frame;
    QSize size;
    WmfWork *work = nullptr;
    double sx = 1.0; // canvas pixels per device unit
    double sy = 1.0;
    double maxPen = 1.0;

    QImage image;
    QPainter painter;
    bool begun = false;
    bool failed = false;

    // Pattern brushes converted once, by libwmf's bitmap; dropped when libwmf frees it.
    QHash<const void *, QImage> patterns;
    QHash<QPair<unsigned, QRgb>, QImage> hatches;

    struct Glyph
    {
        QPainterPath path;
        double advance = 0;
    };
    QHash<QPair<const void *, FT_UInt>, Glyph> glyphs;
    QHash<const void *, double> averageWidths; // by face, in ems

    double patternScale = 1.0; // canvas pixels per pixel of a hatch or pattern brush
    double tiledCells = 0; // see kMaxTiledCells
    double lineCells = 0;

    static Canvas *of(wmfAPI *api) { return api ? static_cast<Canvas *>(api->device_data) : nullptr; }

    // Asked once at the start of every primitive: counts it.
    bool drawing() const
    {
        work->add(WmfWork::kPerPrimitive);
        return begun && !failed && painter.isActive() && !work->over();
    }

    QRectF canvasRect() const { return QRectF(QPointF(0, 0), QSizeF(size)); }

    // Starts the play's canvas (WmfPainterDevice.cpp).
    void begin();

    // ---- coordinates and clipping (WmfCanvasGeometry.cpp) ----

    QPointF map(wmfD_Coord p) const;
    QRectF mapRect(wmfD_Coord a, wmfD_Coord b) const;
    std::optional<QPolygonF> mapPolygon(const wmfD_Coord *pt, int count) const;
    QPainterPath rectangles(const wmfPolyRectangle_t *r) const;
    void clip(const wmfPolyRectangle_t *r);

    // ---- pens, brushes, shapes and bitmaps (WmfCanvasPaint.cpp) ----

    double penPixels(const wmfPen *pen) const;
    QRectF figureRect(const wmfDC *dc, QRectF rect) const;
    void setMode(const Rop &rop);
    void fill(const wmfDC *dc, const QPainterPath &path);
    QImage hatch(unsigned style, const QColor &color);
    void stroke(const wmfDC *dc, const QPainterPath &path);
    void strokeArea(const QPainterPath &path, const QPen &pen);
    void fillArea(const QPainterPath &path, const QBrush &brush);
    void fillAndStroke(const wmfDC *dc, const QPainterPath &area, const QPainterPath &outline);
    QImage bitmap(const wmfBMP *bmp, QRect crop, QSize limit) const;
    QImage pattern(const wmfBMP *bmp);

    enum class ArcShape { Open, Pie, Chord };

    // One record each; the caller has checked drawing().
    void pixel(const wmfDrawPixel_t *p);
    void arc(const wmfDrawArc_t *a, ArcShape shape);
    void ellipse(const wmfDrawArc_t *a);
    void line(const wmfDrawLine_t *l);
    void polyline(const wmfPolyLine_t *p);
    void polygon(const wmfPolyLine_t *p);
    void polyPolygon(const wmfPolyPoly_t *p);
    void rectangle(const wmfDrawRectangle_t *r);
    void rasterOp(const wmfROP_Draw_t *r);
    void drawBitmap(const wmfBMP_Draw_t *b);
    void frameRegion(const wmfPolyRectangle_t *r);
    void paintRegion(const wmfPolyRectangle_t *r);

    // ---- text (WmfCanvasText.cpp) ----

    const Glyph *glyph(FT_Face face, FT_UInt index);
    QTransform textTransform(const wmfDrawText_t *text, double unitsX, double unitsY) const;
    void drawText(const wmfDrawText_t *text);
    double averageWidth(FT_Face face);
    void drawOutlines(const wmfDrawText_t *text, FT_Face face, const QByteArray &str, double unitX, double unitY,
                      const QColor &color);
    void drawWithQtFont(const wmfDrawText_t *text, const QByteArray &str, double width, double height,
                        const QColor &color);
};

// The device's files name the canvas by this.
using WmfCanvas = WmfPainterDevice::Canvas;

} // namespace picture
