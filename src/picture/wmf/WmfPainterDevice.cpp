#include "picture/wmf/WmfPainterDevice.h"

#include "picture/wmf/WmfHeader.h"

#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygonF>
#include <QRegion>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <optional>

extern "C" {
#include <libwmf/api.h>
#include <libwmf/font.h>
#include <libwmf/macro.h>

#include FT_OUTLINE_H
}

namespace picture {

namespace {

// No coordinate or length handed to QPainter goes beyond this many pixels. Drawings are framed
// so that little reaches past the canvas (see WmfRenderer::render); this only keeps a hostile
// mapping from feeding the rasteriser absurd numbers.
constexpr double kCoordLimit = double(1 << 20);
// Bitmaps are converted at no more than twice their size on the canvas, and never beyond this
// many pixels (a bitmap that large is scaled down while converting).
constexpr qint64 kMaxBitmapPixels = qint64(16) << 20;
// Pattern brushes larger than this are filled with their plain colour instead.
constexpr qint64 kMaxPatternPixels = qint64(1) << 20;
// Longest string drawn from one text record.
constexpr int kMaxTextLength = 8192;
// Text whose characters are this many times the canvas is not drawn (nothing of it would be
// recognisable).
constexpr double kMaxEmCanvases = 8.0;
constexpr int kGlyphBatchElements = 1024;
// QPainter's antialiasing rasteriser works through an outline in bands of a few hundred cells
// (pixels its edges cross), running over the whole outline for every band: its time grows with
// the square of the outline's cells (a zigzag of a hundred points over 3000 pixels takes ten
// seconds). Outlines of more than kDirectCells cells are therefore filled in tiles of about
// kTileCells, which keeps the time in step with the cells. A render fills at most
// kMaxTiledCells cells that way, and strokes at most kMaxLineCells pixels of one-pixel lines;
// past that (only hostile files get there) such shapes are left out rather than stalling.
constexpr double kDirectCells = 2000;
constexpr double kTileCells = 1000;
constexpr double kMaxTiledCells = 8e6;
constexpr double kMaxLineCells = 64e6;
// A wide dashed line of more dashes than this is drawn solid.
constexpr double kMaxDashes = 10000;
// A clip region of more rectangles than this is taken as its bounding box.
constexpr unsigned kMaxClipRects = 4096;

// The cells an outline's edges cross: the length of its edges in pixels, across and down.
double cellsOf(const QList<QPolygonF> &polygons)
{
    double cells = 0;
    for (const QPolygonF &polygon : polygons) {
        for (qsizetype i = 0; i < polygon.size(); ++i) {
            const QPointF d = polygon[(i + 1) % polygon.size()] - polygon[i];
            cells += std::abs(d.x()) + std::abs(d.y()) + 1;
        }
    }
    return cells;
}

// The part of a closed polygon on one side of a horizontal (`vertical` false) or vertical line.
// Points inside keep their winding number, so both fill rules come out as before.
QPolygonF clipped(const QPolygonF &polygon, bool vertical, double at, bool keepGreater)
{
    QPolygonF out;
    const qsizetype n = polygon.size();
    auto coord = [vertical](const QPointF &p) { return vertical ? p.x() : p.y(); };
    auto inside = [&](const QPointF &p) { return keepGreater ? coord(p) >= at : coord(p) <= at; };
    for (qsizetype i = 0; i < n; ++i) {
        const QPointF a = polygon[i];
        const QPointF b = polygon[(i + 1) % n];
        const bool aIn = inside(a);
        if (aIn)
            out << a;
        if (aIn != inside(b)) {
            const double t = (at - coord(a)) / (coord(b) - coord(a));
            out << (vertical ? QPointF(at, a.y() + t * (b.y() - a.y())) : QPointF(a.x() + t * (b.x() - a.x()), at));
        }
    }
    return out;
}

// Polygons with their bounding boxes, for cutting into slices.
struct Outline
{
    QList<QPolygonF> polygons;
    QList<QRectF> boxes;

    explicit Outline(QList<QPolygonF> list)
        : polygons(std::move(list))
    {
        boxes.reserve(polygons.size());
        for (const QPolygonF &polygon : polygons)
            boxes << polygon.boundingRect();
    }

    // The parts between `from` and `to` across (`vertical`) or down. A polygon wholly outside
    // adds nothing to the winding numbers there and is left out; one wholly inside is kept as
    // it is.
    Outline slice(bool vertical, double from, double to) const
    {
        QList<QPolygonF> out;
        for (qsizetype i = 0; i < polygons.size(); ++i) {
            const double low = vertical ? boxes[i].left() : boxes[i].top();
            const double high = vertical ? boxes[i].right() : boxes[i].bottom();
            if (high <= from || low >= to)
                continue;
            if (low >= from && high <= to) {
                out << polygons[i];
                continue;
            }
            const QPolygonF part = clipped(clipped(polygons[i], vertical, from, true), vertical, to, false);
            if (part.size() >= 3)
                out << part;
        }
        return Outline(std::move(out));
    }
};

QPainterPath pathOf(const QList<QPolygonF> &polygons, Qt::FillRule rule)
{
    QPainterPath path;
    path.setFillRule(rule);
    for (const QPolygonF &polygon : polygons) {
        path.addPolygon(polygon);
        path.closeSubpath();
    }
    return path;
}

// GDI's dash patterns for thin pens, in pen widths.
const QList<qreal> kDash{18, 6};
const QList<qreal> kDot{3, 3};
const QList<qreal> kDashDot{9, 6, 3, 6};
const QList<qreal> kDashDotDot{9, 3, 3, 3, 3, 3};
const QList<qreal> kAlternate{1, 1};

QColor toColor(const wmfRGB *rgb)
{
    return rgb ? QColor(rgb->r, rgb->g, rgb->b) : QColor(Qt::black);
}

bool finite(wmfD_Coord p)
{
    return std::isfinite(p.x) && std::isfinite(p.y);
}

double clampLength(double v)
{
    return std::isfinite(v) ? std::clamp(v, -kCoordLimit, kCoordLimit) : 0.0;
}

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

// The raster operation of a bitmap drawn with a ternary operation (the common ones).
QPainter::CompositionMode bitmapMode(U32 rop)
{
    switch (rop) {
    case SRCAND: return QPainter::RasterOp_SourceAndDestination;
    case SRCPAINT: return QPainter::RasterOp_SourceOrDestination;
    case SRCINVERT: return QPainter::RasterOp_SourceXorDestination;
    case NOTSRCCOPY: return QPainter::RasterOp_NotSource;
    case SRCERASE: return QPainter::RasterOp_SourceAndNotDestination;
    case NOTSRCERASE: return QPainter::RasterOp_NotSourceAndNotDestination;
    case MERGEPAINT: return QPainter::RasterOp_NotSourceOrDestination;
    default: return QPainter::CompositionMode_SourceOver; // SRCCOPY and the rest
    }
}

// Windows-1252 characters 0x80-0x9F in Unicode (0 where the code page has none); the rest of
// an ANSI string is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char32_t ansiToUnicode(unsigned char c)
{
    if (c >= 0x80 && c < 0xA0)
        return kCp1252High[c - 0x80];
    return c;
}

constexpr int kSymbolCharset = 2;

// Glyph outlines in font units, for filling through QPainter.
qint64 pointsOf(const Outline &outline)
{
    qint64 points = 0;
    for (const QPolygonF &polygon : outline.polygons)
        points += polygon.size();
    return points;
}

// Points of an outline cut for one unit of work (see WmfWork).
constexpr qint64 kPointsPerUnit = 8;

struct OutlineSink
{
    QPainterPath *path;

    static QPointF at(const FT_Vector *v, void *)
    {
        return QPointF(double(v->x), double(v->y));
    }
    static int moveTo(const FT_Vector *to, void *user)
    {
        static_cast<OutlineSink *>(user)->path->moveTo(at(to, user));
        return 0;
    }
    static int lineTo(const FT_Vector *to, void *user)
    {
        static_cast<OutlineSink *>(user)->path->lineTo(at(to, user));
        return 0;
    }
    static int conicTo(const FT_Vector *control, const FT_Vector *to, void *user)
    {
        static_cast<OutlineSink *>(user)->path->quadTo(at(control, user), at(to, user));
        return 0;
    }
    static int cubicTo(const FT_Vector *c1, const FT_Vector *c2, const FT_Vector *to, void *user)
    {
        static_cast<OutlineSink *>(user)->path->cubicTo(at(c1, user), at(c2, user), at(to, user));
        return 0;
    }
};

} // namespace

struct WmfPainterDevice::Canvas
{
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

    // ---- coordinates ----

    QPointF map(wmfD_Coord p) const
    {
        return QPointF(clampLength((double(p.x) - frame.left()) * sx), clampLength((double(p.y) - frame.top()) * sy));
    }

    QRectF mapRect(wmfD_Coord a, wmfD_Coord b) const { return QRectF(map(a), map(b)).normalized(); }

    std::optional<QPolygonF> mapPolygon(const wmfD_Coord *pt, int count) const
    {
        if (!pt || count <= 0)
            return std::nullopt;
        QPolygonF polygon;
        polygon.reserve(count);
        for (int i = 0; i < count; ++i) {
            if (!finite(pt[i]))
                return std::nullopt;
            polygon << map(pt[i]);
        }
        return polygon;
    }

    // ---- pens and brushes ----

    // The pen's width on the canvas: at least a pixel (GDI never draws a line thinner).
    double penPixels(const wmfPen *pen) const
    {
        const double w = (std::abs(WMF_PEN_WIDTH(pen)) * sx + std::abs(WMF_PEN_HEIGHT(pen)) * sy) / 2;
        return std::isfinite(w) ? std::clamp(w, 1.0, maxPen) : 1.0;
    }

    static bool insideFrame(const wmfDC *dc)
    {
        const wmfPen *pen = dc ? WMF_DC_PEN(dc) : nullptr;
        return pen && WMF_PEN_STYLE(pen) == PS_INSIDEFRAME;
    }

    // A figure drawn with an inside-frame pen keeps its pen within its bounding box.
    QRectF figureRect(const wmfDC *dc, QRectF rect) const
    {
        if (insideFrame(dc)) {
            const double half = penPixels(WMF_DC_PEN(dc)) / 2;
            if (rect.width() > 2 * half && rect.height() > 2 * half)
                rect.adjust(half, half, -half, -half);
        }
        return rect;
    }

    void setMode(const Rop &rop)
    {
        painter.setCompositionMode(rop.mode);
        painter.setRenderHint(QPainter::Antialiasing, rop.mode == QPainter::CompositionMode_SourceOver);
    }

    void fill(const wmfDC *dc, const QPainterPath &path)
    {
        const wmfBrush *brush = dc ? WMF_DC_BRUSH(dc) : nullptr;
        if (!brush || WMF_BRUSH_STYLE(brush) == BS_NULL || path.isEmpty())
            return;
        const Rop rop = Rop::of(dc);
        if (rop.skip)
            return;
        setMode(rop);
        const QColor color = rop.apply(toColor(WMF_BRUSH_COLOR(brush)));
        switch (WMF_BRUSH_STYLE(brush)) {
        case BS_HATCHED: {
            const QImage texture = hatch(WMF_BRUSH_HATCH(brush), color);
            if (texture.isNull()) {
                fillArea(path, color);
                break;
            }
            // The gaps between the hatch lines show the background colour only in OPAQUE mode.
            if (WMF_DC_OPAQUE(dc))
                fillArea(path, rop.apply(toColor(WMF_DC_BACKGROUND(dc))));
            fillArea(path, QBrush(texture));
            break;
        }
        case BS_PATTERN:
        case BS_DIBPATTERN:
        case BS_DIBPATTERNPT:
        case BS_DIBPATTERN8X8:
        case BS_PATTERN8X8: {
            const QImage texture = rop.color == Rop::Keep ? pattern(WMF_BRUSH_BITMAP(brush)) : QImage();
            if (texture.isNull())
                fillArea(path, color);
            else
                fillArea(path, QBrush(texture));
            break;
        }
        default:
            fillArea(path, color);
            break;
        }
        setMode(Rop());
    }

    // GDI's 8 x 8 hatch pattern in `color` on transparent, each of its pixels patternScale
    // canvas pixels wide; null for an unknown hatch.
    QImage hatch(unsigned style, const QColor &color)
    {
        if (style > HS_DIAGCROSS)
            return {};
        const int k = int(patternScale);
        const QPair<unsigned, QRgb> key(style, color.rgb());
        if (const auto found = hatches.constFind(key); found != hatches.cend())
            return *found;
        QImage image(8 * k, 8 * k, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        const bool horizontal = style == HS_HORIZONTAL || style == HS_CROSS;
        const bool vertical = style == HS_VERTICAL || style == HS_CROSS;
        const bool down = style == HS_FDIAGONAL || style == HS_DIAGCROSS; // going down to the right
        const bool up = style == HS_BDIAGONAL || style == HS_DIAGCROSS;
        if (k == 1) { // GDI's own pixels
            for (int i = 0; i < 8; ++i) {
                if (horizontal)
                    image.setPixelColor(i, 0, color);
                if (vertical)
                    image.setPixelColor(0, i, color);
                if (down)
                    image.setPixelColor(i, i, color);
                if (up)
                    image.setPixelColor(7 - i, i, color);
            }
        } else { // smooth lines as wide as a pattern pixel, through the same pixel centres
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(QPen(color, k, Qt::SolidLine, Qt::FlatCap));
            const double c = k / 2.0;
            const double t = 8.0 * k;
            if (horizontal)
                p.drawLine(QPointF(0, c), QPointF(t, c));
            if (vertical)
                p.drawLine(QPointF(c, 0), QPointF(c, t));
            for (double shift : {-t, 0.0, t}) { // the neighbouring tiles' lines reach in too
                if (down)
                    p.drawLine(QPointF(shift - c, -c), QPointF(shift + t + c, t + c));
                if (up)
                    p.drawLine(QPointF(shift + t + c, -c), QPointF(shift - c, t + c));
            }
        }
        hatches.insert(key, image);
        return image;
    }

    void stroke(const wmfDC *dc, const QPainterPath &path)
    {
        const wmfPen *pen = dc ? WMF_DC_PEN(dc) : nullptr;
        if (!pen || WMF_PEN_STYLE(pen) == PS_NULL || path.isEmpty())
            return;
        const Rop rop = Rop::of(dc);
        if (rop.skip)
            return;
        const double width = penPixels(pen);
        QPen qpen(rop.apply(toColor(WMF_PEN_COLOR(pen))), width);
        switch (WMF_PEN_ENDCAP(pen)) {
        case PS_ENDCAP_SQUARE: qpen.setCapStyle(Qt::SquareCap); break;
        case PS_ENDCAP_FLAT: qpen.setCapStyle(Qt::FlatCap); break;
        default: qpen.setCapStyle(Qt::RoundCap); break;
        }
        switch (WMF_PEN_JOIN(pen)) {
        case PS_JOIN_BEVEL: qpen.setJoinStyle(Qt::BevelJoin); break;
        case PS_JOIN_MITER: qpen.setJoinStyle(Qt::MiterJoin); break;
        default: qpen.setJoinStyle(Qt::RoundJoin); break;
        }
        // GDI styles only pens one logical unit wide; wider ones draw solid.
        const double unit = std::abs(dc->pixel_width);
        const bool thin = unit <= 0 || !std::isfinite(unit) || WMF_PEN_WIDTH(pen) <= 1.5 * unit;
        const QList<qreal> *dashes = nullptr;
        switch (WMF_PEN_STYLE(pen)) {
        case PS_DASH: dashes = &kDash; break;
        case PS_DOT: dashes = &kDot; break;
        case PS_DASHDOT: dashes = &kDashDot; break;
        case PS_DASHDOTDOT: dashes = &kDashDotDot; break;
        case PS_ALTERNATE: dashes = &kAlternate; break;
        default: break;
        }
        // A line of an odd number of pixels centred on a pixel edge would smear over two rows:
        // moved half a pixel it covers whole pixels, as GDI draws it.
        const double shift = (std::lround(width) % 2) ? 0.5 : 0.0;
        const QPainterPath shifted = path.translated(shift, shift);
        setMode(rop);
        if (dashes && thin) {
            qpen.setCapStyle(Qt::FlatCap);
            if (WMF_DC_OPAQUE(dc)) { // the gaps show the background colour
                QPen gaps(qpen);
                gaps.setColor(rop.apply(toColor(WMF_DC_BACKGROUND(dc))));
                strokeArea(shifted, gaps);
            }
            qpen.setDashPattern(*dashes);
        }
        strokeArea(shifted, qpen);
        setMode(Rop());
    }

    // Strokes `path` (canvas pixels). Lines of a pixel go to QPainter's own line drawer, which
    // takes any outline in its stride; wider ones become an outline filled through fillArea().
    void strokeArea(const QPainterPath &path, const QPen &pen)
    {
        if (pen.widthF() <= 1.0) {
            const QRectF bounds = path.controlPointRect();
            if (path.isEmpty() || !bounds.intersects(canvasRect().adjusted(-1, -1, 1, 1)))
                return;
            const double cells = cellsOf(path.toSubpathPolygons());
            lineCells += cells;
            work->addPixels(cells);
            if (lineCells <= kMaxLineCells)
                painter.strokePath(path, pen);
            return;
        }
        QPen outline(pen);
        if (pen.style() == Qt::CustomDashLine) {
            // As QPainter does: dashes repeated beyond count along a path are drawn as a line.
            double pattern = 0;
            for (const qreal dash : pen.dashPattern())
                pattern += dash * pen.widthF();
            if (pattern <= 0 || cellsOf(path.toSubpathPolygons()) / pattern > kMaxDashes)
                outline.setStyle(Qt::SolidLine);
        }
        QPainterPathStroker stroker(outline);
        fillArea(stroker.createStroke(path), pen.brush());
    }

    // Fills `path` (canvas pixels) with `brush`, cut down to the canvas, and in tiles when its
    // outline is complex (see kDirectCells).
    void fillArea(const QPainterPath &path, const QBrush &brush)
    {
        const QRectF canvas = canvasRect();
        const QRectF bounds = path.controlPointRect();
        if (path.isEmpty() || !bounds.intersects(canvas))
            return;
        const QRectF within = canvas.adjusted(-1, -1, 1, 1);
        // Once the budget for tiled shapes is spent, only shapes that cannot need tiles go on
        // (bounded by their elements times their size, without flattening them first).
        const QRectF seen = bounds & within;
        work->addPixels(seen.width() * seen.height());
        if (tiledCells > kMaxTiledCells && path.elementCount() * (seen.width() + seen.height() + 2) > kDirectCells)
            return;
        Outline outline(path.toSubpathPolygons());
        // Cutting an outline costs in its points, once here and once per tile row and column.
        const qint64 outlineUnits = pointsOf(outline) / kPointsPerUnit;
        work->add(outlineUnits);
        if (!within.contains(bounds))
            outline = outline.slice(true, within.left(), within.right()).slice(false, within.top(), within.bottom());
        const double cells = cellsOf(outline.polygons);
        if (cells <= kDirectCells) {
            painter.fillPath(within.contains(bounds) ? path : pathOf(outline.polygons, path.fillRule()), brush);
            return;
        }
        tiledCells += cells;
        if (tiledCells > kMaxTiledCells)
            return;
        // Rows, and where a row is still complex, columns; on whole pixels, so that no pixel
        // is shared by two tiles (that would leave a seam).
        QRectF box;
        for (const QRectF &polygonBox : outline.boxes)
            box |= polygonBox;
        const int top = int(std::floor(box.top()));
        const int bottom = int(std::ceil(box.bottom()));
        const int left = int(std::floor(box.left()));
        const int right = int(std::ceil(box.right()));
        const int rows = std::clamp(int(std::ceil(std::sqrt(cells / kTileCells))), 1, std::max(1, bottom - top));
        for (int row = 0; row < rows; ++row) {
            if (work->over())
                return;
            const int y0 = top + int(qint64(bottom - top) * row / rows);
            const int y1 = top + int(qint64(bottom - top) * (row + 1) / rows);
            work->add(outlineUnits);
            const Outline band = outline.slice(false, y0, y1);
            const double bandCells = cellsOf(band.polygons);
            if (bandCells <= kTileCells) {
                if (!band.polygons.isEmpty())
                    painter.fillPath(pathOf(band.polygons, path.fillRule()), brush);
                continue;
            }
            const int columns = std::clamp(int(std::ceil(bandCells / kTileCells)), 1, std::max(1, right - left));
            const qint64 bandUnits = pointsOf(band) / kPointsPerUnit;
            for (int column = 0; column < columns; ++column) {
                work->add(bandUnits);
                if (work->over())
                    return;
                const int x0 = left + int(qint64(right - left) * column / columns);
                const int x1 = left + int(qint64(right - left) * (column + 1) / columns);
                const Outline tile = band.slice(true, x0, x1);
                if (!tile.polygons.isEmpty())
                    painter.fillPath(pathOf(tile.polygons, path.fillRule()), brush);
            }
        }
    }

    void fillAndStroke(const wmfDC *dc, const QPainterPath &area, const QPainterPath &outline)
    {
        fill(dc, area);
        stroke(dc, outline);
    }

    // ---- bitmaps ----

    // libwmf's bitmap (rows counted from the bottom) as an image: the `crop` part, sampled
    // down to at most `limit` pixels. Null on failure or once the work is spent.
    QImage bitmap(const wmfBMP *bmp, QRect crop, QSize limit) const
    {
        if (!bmp || !bmp->data || crop.isEmpty() || crop.left() < 0 || crop.top() < 0
            || crop.right() >= bmp->width || crop.bottom() >= bmp->height)
            return {};
        QSize out = crop.size().boundedTo(limit.expandedTo(QSize(1, 1)));
        const qint64 pixels = qint64(out.width()) * out.height();
        if (pixels > kMaxBitmapPixels) {
            const double f = std::sqrt(double(kMaxBitmapPixels) / double(pixels));
            out = QSize(std::max(1, int(out.width() * f)), std::max(1, int(out.height() * f)));
        }
        QImage image(out, QImage::Format_RGB32);
        if (image.isNull())
            return {};
        wmfBMP source = *bmp;
        for (int row = 0; row < out.height(); ++row) {
            work->addPixels(out.width());
            if ((row & 63) == 0 && work->over())
                return {};
            const int j = crop.height() - 1 - int((row + 0.5) * crop.height() / out.height());
            const unsigned y = unsigned(crop.top() + std::clamp(j, 0, crop.height() - 1));
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(row));
            for (int col = 0; col < out.width(); ++col) {
                const unsigned x = unsigned(crop.left() + int((col + 0.5) * crop.width() / out.width()));
                wmfRGB rgb{0, 0, 0};
                wmf_ipa_bmp_color(api, &source, &rgb, x, y);
                line[col] = qRgb(rgb.r, rgb.g, rgb.b);
            }
        }
        return image;
    }

    QImage pattern(const wmfBMP *bmp)
    {
        if (!bmp || !bmp->data || qint64(bmp->width) * bmp->height > kMaxPatternPixels)
            return {};
        const auto found = patterns.constFind(bmp->data);
        if (found != patterns.cend())
            return *found;
        QImage image = bitmap(bmp, QRect(0, 0, bmp->width, bmp->height), QSize(bmp->width, bmp->height));
        const double k = patternScale;
        if (k > 1 && double(image.width()) * image.height() * k * k <= kMaxPatternPixels)
            image = image.scaled(image.size() * int(k)); // pixel for pixel, like a hatch
        if (!image.isNull())
            patterns.insert(bmp->data, image);
        return image;
    }

    // ---- text ----

    // The glyph of `code` in `face`: through the Unicode map (the string is ANSI), else, and
    // first for symbol fonts, through the font's own encoding.
    static FT_UInt glyphIndex(FT_Face face, unsigned char code, bool symbol)
    {
        FT_CharMap unicode = nullptr;
        FT_CharMap custom = nullptr;
        for (int i = 0; i < face->num_charmaps; ++i) {
            FT_CharMap map = face->charmaps[i];
            if (map->encoding == FT_ENCODING_UNICODE)
                unicode = unicode ? unicode : map;
            else
                custom = custom ? custom : map;
        }
        auto lookup = [&](FT_CharMap map) -> FT_UInt {
            if (!map || FT_Set_Charmap(face, map) != 0)
                return 0;
            if (map->encoding == FT_ENCODING_UNICODE)
                return ansiToUnicode(code) ? FT_Get_Char_Index(face, ansiToUnicode(code)) : 0;
            FT_UInt index = FT_Get_Char_Index(face, code);
            if (!index && map->encoding == FT_ENCODING_MS_SYMBOL)
                index = FT_Get_Char_Index(face, 0xF000u | code);
            return index;
        };
        const FT_UInt first = lookup(symbol ? custom : unicode);
        return first ? first : lookup(symbol ? unicode : custom);
    }

    const Glyph *glyph(FT_Face face, FT_UInt index)
    {
        const QPair<const void *, FT_UInt> key(face, index);
        auto found = glyphs.find(key);
        if (found != glyphs.end())
            return &*found;
        Glyph g;
        if (FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING) != 0)
            return nullptr;
        g.advance = double(face->glyph->metrics.horiAdvance);
        if (face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
            OutlineSink sink{&g.path};
            FT_Outline_Funcs funcs{};
            funcs.move_to = OutlineSink::moveTo;
            funcs.line_to = OutlineSink::lineTo;
            funcs.conic_to = OutlineSink::conicTo;
            funcs.cubic_to = OutlineSink::cubicTo;
            FT_Outline_Decompose(&face->glyph->outline, &funcs, &sink);
            g.path.setFillRule(Qt::WindingFill);
        }
        return &*glyphs.insert(key, g);
    }

    // Canvas transform of a string's own space: x along the baseline from the reference point,
    // y up, in units of `unitsX` x `unitsY` device units.
    QTransform textTransform(const wmfDrawText_t *text, double unitsX, double unitsY) const
    {
        QTransform t;
        t.translate(double(text->pt.x), double(text->pt.y));
        t.rotateRadians(-WMF_TEXT_ANGLE(WMF_DC_FONT(text->dc)));
        t.scale(unitsX, -unitsY);
        const QTransform device(sx, 0, 0, sy, -frame.left() * sx, -frame.top() * sy);
        return t * device;
    }

    void drawText(const wmfDrawText_t *text)
    {
        const wmfDC *dc = text->dc;
        wmfFont *font = dc ? WMF_DC_FONT(dc) : nullptr;
        if (!font || !text->str || !finite(text->pt))
            return;
        const double height = text->font_height; // the em, in device units
        const double emPixels = std::max(std::abs(height * sy), std::abs(height * sx));
        if (!std::isfinite(height) || height <= 0 || emPixels < 0.5
            || emPixels > kMaxEmCanvases * std::max(size.width(), size.height()))
            return;
        const QByteArray str(text->str, qsizetype(qstrnlen(text->str, kMaxTextLength)));
        if (str.isEmpty())
            return;

        // The whole string's cell in OPAQUE mode and an ETO_OPAQUE rectangle: libwmf passes
        // the cell with the first call of a string it spaces out character by character.
        const bool firstCall = text->bbox.TL.x != 0 || text->bbox.TL.y != 0 || text->bbox.BR.x != 0
                               || text->bbox.BR.y != 0;
        const QColor background = toColor(WMF_DC_BACKGROUND(dc));
        if (firstCall && (text->flags & ETO_OPAQUE) && finite(text->TL) && finite(text->BR)) {
            const QRectF box = mapRect(text->TL, text->BR) & canvasRect();
            work->addPixels(box.width() * box.height());
            painter.fillRect(box, background);
        }
        if (firstCall && WMF_DC_OPAQUE(dc) && finite(text->bbox.TL) && finite(text->bbox.TR)
            && finite(text->bbox.BR) && finite(text->bbox.BL)) {
            QPainterPath cell;
            cell.addPolygon(QPolygonF{map(text->bbox.TL), map(text->bbox.TR), map(text->bbox.BR), map(text->bbox.BL)});
            fillArea(cell, background);
        }
        const bool clipped = (text->flags & ETO_CLIPPED) && finite(text->TL) && finite(text->BR)
                             && (text->TL.x != text->BR.x || text->TL.y != text->BR.y);
        if (clipped) {
            painter.save();
            painter.setClipRect(mapRect(text->TL, text->BR), Qt::IntersectClip);
        }
        const QColor color = toColor(WMF_DC_TEXTCOLOR(dc));
        const double squeeze = squeezed(text);
        if (FT_Face face = WMF_FONT_FTFACE(font); face && face->units_per_EM > 0) {
            const double em = face->units_per_EM;
            drawOutlines(text, face, str, height * squeeze * stretch(font, averageWidth(face)) / em, height / em,
                         color);
        } else {
            drawWithQtFont(text, str, height * squeeze * stretch(font, kTypicalAverageWidth), height, color);
        }
        if (clipped)
            painter.restore();
    }

    // A font's average character width, in ems, when the face cannot tell.
    static constexpr double kTypicalAverageWidth = 0.45;

    // The average advance of the lower-case letters and the space, in ems: what a font's width
    // field is measured against.
    double averageWidth(FT_Face face)
    {
        const auto found = averageWidths.constFind(face);
        if (found != averageWidths.cend())
            return *found;
        const FT_CharMap previous = face->charmap;
        double sum = 0;
        int count = 0;
        for (const char c : QByteArrayView(" abcdefghijklmnopqrstuvwxyz")) {
            const FT_UInt index = glyphIndex(face, static_cast<unsigned char>(c), false);
            if (const Glyph *g = index ? glyph(face, index) : nullptr; g && g->advance > 0) {
                sum += g->advance;
                ++count;
            }
        }
        if (previous)
            FT_Set_Charmap(face, previous);
        const double average = count ? sum / count / face->units_per_EM : kTypicalAverageWidth;
        averageWidths.insert(face, average);
        return average;
    }

    // How much libwmf narrowed a character to fit the spacing an ExtTextOut gives it (the face
    // standing in for the file's font may be wider). A character given no room at all (the
    // last one usually) is drawn at its own width, as GDI draws it.
    static double squeezed(const wmfDrawText_t *text)
    {
        const wmfFont *font = WMF_DC_FONT(text->dc);
        const double own = WMF_FONT_HEIGHT(font) > 0 ? double(WMF_FONT_WIDTH(font)) / WMF_FONT_HEIGHT(font) : 1.0;
        const double given = text->font_ratio;
        if (!std::isfinite(given) || own <= 0 || given < own * 0.05)
            return 1.0;
        return std::min(1.0, given / own);
    }

    // How much wider than its design a font is drawn. A font's width field asks for an average
    // character width (libwmf fills in the height when it is 0, meaning the design width).
    static double stretch(const wmfFont *font, double averageEms)
    {
        const double width = WMF_FONT_WIDTH(font);
        const double height = WMF_FONT_HEIGHT(font);
        if (width <= 0 || height <= 0 || width == height || averageEms <= 0)
            return 1.0;
        return std::clamp(width / height / averageEms, 0.05, 20.0);
    }

    // The glyph outlines of the face libwmf measured the string with (its layout of the string
    // assumes that face's advances).
    void drawOutlines(const wmfDrawText_t *text, FT_Face face, const QByteArray &str, double unitX, double unitY,
                      const QColor &color)
    {
        const wmfFont *font = WMF_DC_FONT(text->dc);
        const bool symbol = WMF_FONT_CHARSET(font) == kSymbolCharset;
        const FT_CharMap previous = face->charmap; // libwmf measures through the face's map
        const QTransform toCanvas = textTransform(text, unitX, unitY);
        const QRectF canvas = canvasRect();
        QPainterPath path;
        path.setFillRule(Qt::WindingFill);
        double x = 0;
        FT_UInt before = 0;
        for (qsizetype i = 0; i < str.size(); ++i) {
            work->add(WmfWork::kPerGlyph);
            if ((i & 63) == 63 && work->over())
                break;
            const FT_UInt index = glyphIndex(face, static_cast<unsigned char>(str[i]), symbol);
            if (!index)
                continue;
            if (before && FT_HAS_KERNING(face)) {
                FT_Vector kern{0, 0};
                if (FT_Get_Kerning(face, before, index, FT_KERNING_UNSCALED, &kern) == 0)
                    x += double(kern.x);
            }
            if (const Glyph *g = glyph(face, index)) {
                // Only glyphs that reach the canvas: a long string in a huge font would
                // otherwise hand the rasteriser a path millions of pixels long.
                const QPainterPath placed = g->path.translated(x, 0);
                if (toCanvas.mapRect(placed.controlPointRect()).intersects(canvas))
                    path.addPath(placed);
                // Filled in batches: one path of thousands of overlapping glyphs is far slower
                // to rasterise than the same glyphs a few at a time.
                if (path.elementCount() > kGlyphBatchElements) {
                    fillArea(toCanvas.map(path), color);
                    path.clear();
                }
                x += g->advance;
            }
            before = index;
        }
        if (previous)
            FT_Set_Charmap(face, previous);
        if (WMF_TEXT_UNDERLINE(font) || WMF_TEXT_STRIKEOUT(font)) {
            const double em = face->units_per_EM;
            const double thickness = face->underline_thickness > 0 ? face->underline_thickness : em / 20;
            if (WMF_TEXT_UNDERLINE(font)) {
                const double at = face->underline_position < 0 ? face->underline_position : -em / 10;
                path.addRect(QRectF(0, at - thickness / 2, x, thickness));
            }
            if (WMF_TEXT_STRIKEOUT(font))
                path.addRect(QRectF(0, em * 0.28 - thickness / 2, x, thickness));
        }
        if (path.isEmpty())
            return;
        fillArea(toCanvas.map(path), color);
    }

    QRectF canvasRect() const { return QRectF(QPointF(0, 0), QSizeF(size)); }

    // Without a face from libwmf, Qt's own sans-serif, where there is an application to provide
    // fonts (text would need one even on a QImage).
    void drawWithQtFont(const wmfDrawText_t *text, const QByteArray &str, double width, double height,
                        const QColor &color)
    {
        if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            return;
        constexpr int kPixelSize = 64;
        QFont qfont(QStringLiteral("sans-serif"));
        qfont.setPixelSize(kPixelSize);
        QString decoded;
        decoded.reserve(str.size());
        for (const char c : str)
            if (const char32_t u = ansiToUnicode(static_cast<unsigned char>(c)))
                decoded.append(QChar(char16_t(u)));
        painter.save();
        // Qt's text space has y down: undo the flip textTransform() makes for outlines.
        painter.setTransform(QTransform::fromScale(1, -1)
                             * textTransform(text, width / kPixelSize, height / kPixelSize));
        painter.setFont(qfont);
        painter.setPen(color);
        work->add(WmfWork::kPerGlyph * decoded.size());
        painter.drawText(QPointF(0, 0), decoded);
        painter.restore();
    }

    // ---- libwmf's device functions ----

    static void deviceBegin(wmfAPI *api)
    {
        Canvas *c = of(api);
        if (!c || c->begun)
            return;
        c->begun = true;
        c->image = QImage(c->size, QImage::Format_ARGB32_Premultiplied);
        if (c->image.isNull() || !c->painter.begin(&c->image)) {
            c->failed = true;
            return;
        }
        c->image.fill(Qt::white); // the page a metafile is drawn on
        c->painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    }

    static void deviceEnd(wmfAPI *api)
    {
        if (Canvas *c = of(api); c && c->painter.isActive())
            c->painter.end();
    }

    static void drawPixel(wmfAPI *api, wmfDrawPixel_t *p)
    {
        Canvas *c = of(api);
        if (!c || !c->drawing() || !finite(p->pt))
            return;
        const double w = std::clamp(p->pixel_width * c->sx, 1.0, kCoordLimit);
        const double h = std::clamp(p->pixel_height * c->sy, 1.0, kCoordLimit);
        c->painter.fillRect(QRectF(c->map(p->pt), QSizeF(std::isfinite(w) ? w : 1, std::isfinite(h) ? h : 1)),
                            toColor(&p->color));
    }

    enum class ArcShape { Open, Pie, Chord };

    void arc(const wmfDrawArc_t *a, ArcShape shape)
    {
        if (!finite(a->TL) || !finite(a->BR) || !finite(a->start) || !finite(a->end))
            return;
        const QRectF rect = figureRect(a->dc, mapRect(a->TL, a->BR));
        const double rx = rect.width() / 2;
        const double ry = rect.height() / 2;
        if (rx <= 0 || ry <= 0)
            return;
        // libwmf gives the radial points relative to the centre, and names them the other way
        // round: its `end` is the record's start. GDI draws counter-clockwise (as seen) from
        // the record's start to its end. The angle where a radial meets the ellipse, in Qt's
        // terms (degrees counter-clockwise as seen), is the parametric one.
        auto angle = [&](wmfD_Coord v) {
            return std::atan2(-double(v.y) * sy / ry, double(v.x) * sx / rx) * 180.0 / M_PI;
        };
        const double from = angle(a->end);
        double sweep = angle(a->start) - from;
        while (sweep <= 1e-9)
            sweep += 360.0; // equal radials draw the whole ellipse
        QPainterPath path;
        if (shape == ArcShape::Pie) {
            path.moveTo(rect.center());
            path.arcTo(rect, from, sweep);
            path.closeSubpath();
        } else {
            path.arcMoveTo(rect, from);
            path.arcTo(rect, from, sweep);
            if (shape == ArcShape::Chord)
                path.closeSubpath();
        }
        if (shape == ArcShape::Open)
            stroke(a->dc, path);
        else
            fillAndStroke(a->dc, path, path);
    }

    static void drawPie(wmfAPI *api, wmfDrawArc_t *a)
    {
        if (Canvas *c = of(api); c && c->drawing())
            c->arc(a, ArcShape::Pie);
    }

    static void drawChord(wmfAPI *api, wmfDrawArc_t *a)
    {
        if (Canvas *c = of(api); c && c->drawing())
            c->arc(a, ArcShape::Chord);
    }

    static void drawArc(wmfAPI *api, wmfDrawArc_t *a)
    {
        if (Canvas *c = of(api); c && c->drawing())
            c->arc(a, ArcShape::Open);
    }

    static void drawEllipse(wmfAPI *api, wmfDrawArc_t *a)
    {
        Canvas *c = of(api);
        if (!c || !c->drawing() || !finite(a->TL) || !finite(a->BR))
            return;
        QPainterPath path;
        path.addEllipse(c->figureRect(a->dc, c->mapRect(a->TL, a->BR)));
        c->fillAndStroke(a->dc, path, path);
    }

    static void drawLine(wmfAPI *api, wmfDrawLine_t *l)
    {
        Canvas *c = of(api);
        if (!c || !c->drawing() || !finite(l->from) || !finite(l->to))
            return;
        QPainterPath path(c->map(l->from));
        path.lineTo(c->map(l->to));
        c->stroke(l->dc, path);
    }

    static void polyLine(wmfAPI *api, wmfPolyLine_t *p)
    {
        Canvas *c = of(api);
        if (!c || !c->drawing() || p->count < 2)
            return;
        if (const std::optional<QPolygonF> points = c->mapPolygon(p->pt, p->count)) {
            QPainterPath path;
            path.addPolygon(*points);
            c->stroke(p->dc, path);
        }
    }

    static Qt::FillRule fillRule(const wmfDC *dc)
    {
        return dc && WMF_DC_POLYFILL(dc) == WINDING ? Qt::WindingFill : Qt::OddEvenFill;
    }

    static void drawPolygon(wmfAPI *api, wmfPolyLine_t *p)
    {
        Canvas *c = of(api);
        if (!c || !c->drawing() || p->count < 2)
            return;
        if (const std::optional<QPolygonF> points = c->mapPolygon(p->pt, p->count)) {
            QPainterPath path;
            path.setFillRule(fillRule(p->dc));
            path.addPolygon(*points);
            path.closeSubpath();
            c->fillAndStroke(p->dc, path, path);
        }
    }

    static void drawPolyPolygon(wmfAPI *api, wmfPolyPoly_t *p)
    {
        Canvas *c = of(api);
        if (!c || !c->drawing() || !p->pt || !p->count)
            return;
        QPainterPath path;
        path.setFillRule(fillRule(p->dc));
        for (int i = 0; i < p->npoly; ++i) {
            if (p->count[i] < 2)
                continue;
            if (const std::optional<QPolygonF> points = c->mapPolygon(p->pt[i], p->count[i])) {
                path.addPolygon(*points);
                path.closeSubpath();
            }
        }
        c->fillAndStroke(p->dc, path, path);
    }

    static void drawRectangle(wmfAPI *api, wmfDrawRectangle_t *r)
    {
        Canvas *c = of(api);
        if (!c || !c->drawing() || !finite(r->TL) || !finite(r->BR))
            return;
        const QRectF rect = c->figureRect(r->dc, c->mapRect(r->TL, r->BR));
        QPainterPath path;
        // width and height are the axes of the corner ellipses of a rounded rectangle.
        const double rx = std::isfinite(r->width) ? std::min(std::abs(r->width * c->sx) / 2, rect.width() / 2) : 0;
        const double ry = std::isfinite(r->height) ? std::min(std::abs(r->height * c->sy) / 2, rect.height() / 2) : 0;
        if (rx > 0 && ry > 0)
            path.addRoundedRect(rect, rx, ry);
        else
            path.addRect(rect);
        c->fillAndStroke(r->dc, path, path);
    }

    static void ropDraw(wmfAPI *api, wmfROP_Draw_t *r)
    {
        Canvas *c = of(api);
        if (!c || !c->drawing() || !r->dc || !finite(r->TL) || !finite(r->BR))
            return;
        const QRectF rect = c->mapRect(r->TL, r->BR) & c->canvasRect();
        c->work->addPixels(rect.width() * rect.height());
        QPainterPath path;
        path.addRect(rect);
        switch (r->ROP) {
        case PATCOPY: {
            // The pattern is copied whatever raster operation the pens and brushes have.
            const U16 saved = r->dc->ROPmode;
            r->dc->ROPmode = R2_COPYPEN;
            c->fill(r->dc, path);
            r->dc->ROPmode = saved;
            break;
        }
        case BLACKNESS: c->painter.fillRect(rect, Qt::black); break;
        case WHITENESS: c->painter.fillRect(rect, Qt::white); break;
        case DSTINVERT:
        case PATINVERT: {
            const wmfBrush *brush = WMF_DC_BRUSH(r->dc);
            const QColor color = r->ROP == DSTINVERT || !brush ? QColor(Qt::white) : toColor(WMF_BRUSH_COLOR(brush));
            Rop rop;
            rop.mode = r->ROP == DSTINVERT ? QPainter::RasterOp_NotDestination
                                           : QPainter::RasterOp_SourceXorDestination;
            c->setMode(rop);
            c->painter.fillRect(rect, color);
            c->setMode(Rop());
            break;
        }
        default: // operations that need a source: there is none here
            break;
        }
    }

    static void bmpDraw(wmfAPI *api, wmfBMP_Draw_t *b)
    {
        Canvas *c = of(api);
        if (!c || !c->drawing() || !finite(b->pt))
            return;
        const QRect crop(b->crop.x, b->crop.y, b->crop.w, b->crop.h);
        const double w = crop.width() * b->pixel_width * c->sx;
        const double h = crop.height() * b->pixel_height * c->sy;
        if (!std::isfinite(w) || !std::isfinite(h) || w <= 0 || h <= 0)
            return;
        const QRectF target(c->map(b->pt), QSizeF(std::min(w, kCoordLimit), std::min(h, kCoordLimit)));
        // No need for more detail than twice what the canvas shows of it.
        const QRectF shown = target.intersected(QRectF(QPointF(0, 0), QSizeF(c->size)));
        if (shown.isEmpty())
            return;
        const QSize limit(int(std::min(2.0 * target.width(), 2.0 * c->size.width())) + 1,
                          int(std::min(2.0 * target.height(), 2.0 * c->size.height())) + 1);
        const QImage image = c->bitmap(&b->bmp, crop, limit);
        if (image.isNull())
            return;
        Rop rop;
        rop.mode = bitmapMode(b->type);
        c->setMode(rop);
        c->work->addPixels(shown.width() * shown.height());
        c->painter.drawImage(target, image);
        c->setMode(Rop());
    }

    static void bmpRead(wmfAPI *api, wmfBMP_Read_t *r)
    {
        // The file was checked as a whole before playing; this catches a bitmap reached through
        // a record chain that libwmf walks differently. Left unread, the record is skipped.
        if (!r->buffer || r->length <= 0
            || !WmfHeader::plausibleDib(QByteArrayView(r->buffer, qsizetype(r->length))))
            return;
        wmf_ipa_bmp_read(api, r);
    }

    static void bmpFree(wmfAPI *api, wmfBMP *bmp)
    {
        if (Canvas *c = of(api); c && bmp->data)
            c->patterns.remove(bmp->data);
        wmf_ipa_bmp_free(api, bmp);
    }

    static void drawTextRecord(wmfAPI *api, wmfDrawText_t *t)
    {
        if (Canvas *c = of(api); c && c->drawing())
            c->drawText(t);
    }

    QPainterPath rectangles(const wmfPolyRectangle_t *r) const
    {
        QPainterPath path;
        path.setFillRule(Qt::WindingFill);
        if (!r->TL || !r->BR)
            return path;
        for (unsigned i = 0; i < r->count; ++i)
            if (finite(r->TL[i]) && finite(r->BR[i]))
                path.addRect(mapRect(r->TL[i], r->BR[i]));
        return path;
    }

    static void regionFrame(wmfAPI *api, wmfPolyRectangle_t *r)
    {
        Canvas *c = of(api);
        if (!c || !c->drawing() || r->count == 0 || !r->TL || !r->BR)
            return;
        const double fw = std::isfinite(r->width) ? std::clamp(double(r->width) * c->sx, 1.0, kCoordLimit) : 1.0;
        const double fh = std::isfinite(r->height) ? std::clamp(double(r->height) * c->sy, 1.0, kCoordLimit) : 1.0;
        // The frame lies inside each rectangle of the region, painted with the frame brush.
        QPainterPath frame;
        frame.setFillRule(Qt::OddEvenFill);
        for (unsigned i = 0; i < r->count; ++i) {
            if (!finite(r->TL[i]) || !finite(r->BR[i]))
                continue;
            const QRectF outer = c->mapRect(r->TL[i], r->BR[i]);
            frame.addRect(outer);
            if (outer.width() > 2 * fw && outer.height() > 2 * fh)
                frame.addRect(outer.adjusted(fw, fh, -fw, -fh));
        }
        c->fill(r->dc, frame);
    }

    static void regionPaint(wmfAPI *api, wmfPolyRectangle_t *r)
    {
        Canvas *c = of(api);
        if (!c || !c->drawing() || r->count == 0)
            return;
        c->fill(r->dc, c->rectangles(r));
    }

    static void regionClip(wmfAPI *api, wmfPolyRectangle_t *r)
    {
        Canvas *c = of(api);
        if (!c || !c->begun || c->failed || !c->painter.isActive())
            return;
        if (r->count == 0) { // no clipping
            c->painter.setClipping(false);
            return;
        }
        // Whole pixels: a clip edge is the edge of a pixel row or column.
        QRegion region;
        QRect bounds;
        for (unsigned i = 0; i < r->count && r->TL && r->BR; ++i) {
            if (!finite(r->TL[i]) || !finite(r->BR[i]))
                continue;
            const QRectF area = c->mapRect(r->TL[i], r->BR[i]) & c->canvasRect();
            const QRect pixels(QPoint(int(std::lround(area.left())), int(std::lround(area.top()))),
                               QPoint(int(std::lround(area.right())) - 1, int(std::lround(area.bottom())) - 1));
            if (pixels.isEmpty())
                continue;
            bounds |= pixels;
            if (r->count <= kMaxClipRects)
                region += pixels;
        }
        c->painter.setClipRegion(r->count <= kMaxClipRects ? region : QRegion(bounds));
    }
};

void WmfPainterDevice::install(wmfAPI *api)
{
    auto *fr = static_cast<wmfFunctionReference *>(api->function_reference);
    api->device_data = nullptr;
    if (!fr)
        return;
    fr->device_open = [](wmfAPI *) {};
    fr->device_close = [](wmfAPI *) {};
    fr->device_begin = Canvas::deviceBegin;
    fr->device_end = Canvas::deviceEnd;
    fr->flood_interior = [](wmfAPI *, wmfFlood_t *) {}; // flood fills are not drawn
    fr->flood_exterior = [](wmfAPI *, wmfFlood_t *) {};
    fr->draw_pixel = Canvas::drawPixel;
    fr->draw_pie = Canvas::drawPie;
    fr->draw_chord = Canvas::drawChord;
    fr->draw_arc = Canvas::drawArc;
    fr->draw_ellipse = Canvas::drawEllipse;
    fr->draw_line = Canvas::drawLine;
    fr->poly_line = Canvas::polyLine;
    fr->draw_polygon = Canvas::drawPolygon;
    fr->draw_polypolygon = Canvas::drawPolyPolygon;
    fr->draw_rectangle = Canvas::drawRectangle;
    fr->rop_draw = Canvas::ropDraw;
    fr->bmp_draw = Canvas::bmpDraw;
    fr->bmp_read = Canvas::bmpRead;
    fr->bmp_free = Canvas::bmpFree;
    fr->draw_text = Canvas::drawTextRecord;
    fr->udata_init = [](wmfAPI *, wmfUserData_t *) {};
    fr->udata_copy = [](wmfAPI *, wmfUserData_t *) {};
    fr->udata_set = [](wmfAPI *, wmfUserData_t *) {};
    fr->udata_free = [](wmfAPI *, wmfUserData_t *) {};
    fr->region_frame = Canvas::regionFrame;
    fr->region_paint = Canvas::regionPaint;
    fr->region_clip = Canvas::regionClip;
}

WmfPainterDevice::WmfPainterDevice(wmfAPI *api, const QRectF &frame, QSize size, double zoom,
                                   WmfWork &work)
    : m_api(api)
    , m_canvas(std::make_unique<Canvas>())
{
    Canvas &c = *m_canvas;
    c.patternScale = std::isfinite(zoom) ? std::clamp(std::round(zoom), 1.0, 64.0) : 1.0;
    c.api = api;
    c.frame = frame;
    c.size = size;
    c.work = &work;
    c.sx = frame.width() > 0 ? size.width() / frame.width() : 0;
    c.sy = frame.height() > 0 ? size.height() / frame.height() : 0;
    c.failed = !std::isfinite(c.sx) || !std::isfinite(c.sy) || c.sx <= 0 || c.sy <= 0 || size.isEmpty();
    // Nothing is gained by a pen wider than the canvas.
    c.maxPen = 2.0 * std::max(size.width(), size.height()) + 1;
    if (m_api)
        m_api->device_data = m_canvas.get();
}

WmfPainterDevice::~WmfPainterDevice()
{
    if (m_canvas->painter.isActive())
        m_canvas->painter.end();
    if (m_api && m_api->device_data == m_canvas.get())
        m_api->device_data = nullptr;
}

QImage WmfPainterDevice::finish()
{
    Canvas &c = *m_canvas;
    if (c.painter.isActive())
        c.painter.end();
    if (!c.begun || c.failed || c.work->over())
        return {};
    QImage image = std::move(c.image);
    image.reinterpretAsFormat(QImage::Format_RGB32); // opaque throughout: cheaper to draw
    return image;
}

} // namespace picture
