#include "picture/wmf/WmfCanvas.h"

#include <QPainterPathStroker>

#include <algorithm>
#include <cmath>

namespace picture {

namespace {

// Bitmaps are converted at no more than twice their size on the canvas, and never beyond this
// many pixels (a bitmap that large is scaled down while converting).
constexpr qint64 kMaxBitmapPixels = qint64(16) << 20;
// Pattern brushes larger than this are filled with their plain colour instead.
constexpr qint64 kMaxPatternPixels = qint64(1) << 20;
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

qint64 pointsOf(const Outline &outline)
{
    qint64 points = 0;
    for (const QPolygonF &polygon : outline.polygons)
        points += polygon.size();
    return points;
}

// Points of an outline cut for one unit of work (see WmfWork).
constexpr qint64 kPointsPerUnit = 8;

// GDI's dash patterns for thin pens, in pen widths.
const QList<qreal> kDash{18, 6};
const QList<qreal> kDot{3, 3};
const QList<qreal> kDashDot{9, 6, 3, 6};
const QList<qreal> kDashDotDot{9, 3, 3, 3, 3, 3};
const QList<qreal> kAlternate{1, 1};

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

bool insideFrame(const wmfDC *dc)
{
    const wmfPen *pen = dc ? WMF_DC_PEN(dc) : nullptr;
    return pen && WMF_PEN_STYLE(pen) == PS_INSIDEFRAME;
}

Qt::FillRule fillRule(const wmfDC *dc)
{
    return dc && WMF_DC_POLYFILL(dc) == WINDING ? Qt::WindingFill : Qt::OddEvenFill;
}

} // namespace

// The pen's width on the canvas: at least a pixel (GDI never draws a line thinner).
double WmfCanvas::penPixels(const wmfPen *pen) const
{
    const double w = (std::abs(WMF_PEN_WIDTH(pen)) * sx + std::abs(WMF_PEN_HEIGHT(pen)) * sy) / 2;
    return std::isfinite(w) ? std::clamp(w, 1.0, maxPen) : 1.0;
}

// A figure drawn with an inside-frame pen keeps its pen within its bounding box.
QRectF WmfCanvas::figureRect(const wmfDC *dc, QRectF rect) const
{
    if (insideFrame(dc)) {
        const double half = penPixels(WMF_DC_PEN(dc)) / 2;
        if (rect.width() > 2 * half && rect.height() > 2 * half)
            rect.adjust(half, half, -half, -half);
    }
    return rect;
}

void WmfCanvas::setMode(const Rop &rop)
{
    painter.setCompositionMode(rop.mode);
    painter.setRenderHint(QPainter::Antialiasing, rop.mode == QPainter::CompositionMode_SourceOver);
}

void WmfCanvas::fill(const wmfDC *dc, const QPainterPath &path)
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
QImage WmfCanvas::hatch(unsigned style, const QColor &color)
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

void WmfCanvas::stroke(const wmfDC *dc, const QPainterPath &path)
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
void WmfCanvas::strokeArea(const QPainterPath &path, const QPen &pen)
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
void WmfCanvas::fillArea(const QPainterPath &path, const QBrush &brush)
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

void WmfCanvas::fillAndStroke(const wmfDC *dc, const QPainterPath &area, const QPainterPath &outline)
{
    fill(dc, area);
    stroke(dc, outline);
}

// ---- bitmaps ----

// libwmf's bitmap (rows counted from the bottom) as an image: the `crop` part, sampled
// down to at most `limit` pixels. Null on failure or once the work is spent.
QImage WmfCanvas::bitmap(const wmfBMP *bmp, QRect crop, QSize limit) const
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

QImage WmfCanvas::pattern(const wmfBMP *bmp)
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

// ---- records ----

void WmfCanvas::pixel(const wmfDrawPixel_t *p)
{
    if (!finite(p->pt))
        return;
    const double w = std::clamp(p->pixel_width * sx, 1.0, kCoordLimit);
    const double h = std::clamp(p->pixel_height * sy, 1.0, kCoordLimit);
    painter.fillRect(QRectF(map(p->pt), QSizeF(std::isfinite(w) ? w : 1, std::isfinite(h) ? h : 1)),
                     toColor(&p->color));
}

void WmfCanvas::arc(const wmfDrawArc_t *a, ArcShape shape)
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

void WmfCanvas::ellipse(const wmfDrawArc_t *a)
{
    if (!finite(a->TL) || !finite(a->BR))
        return;
    QPainterPath path;
    path.addEllipse(figureRect(a->dc, mapRect(a->TL, a->BR)));
    fillAndStroke(a->dc, path, path);
}

void WmfCanvas::line(const wmfDrawLine_t *l)
{
    if (!finite(l->from) || !finite(l->to))
        return;
    QPainterPath path(map(l->from));
    path.lineTo(map(l->to));
    stroke(l->dc, path);
}

void WmfCanvas::polyline(const wmfPolyLine_t *p)
{
    if (p->count < 2)
        return;
    if (const std::optional<QPolygonF> points = mapPolygon(p->pt, p->count)) {
        QPainterPath path;
        path.addPolygon(*points);
        stroke(p->dc, path);
    }
}

void WmfCanvas::polygon(const wmfPolyLine_t *p)
{
    if (p->count < 2)
        return;
    if (const std::optional<QPolygonF> points = mapPolygon(p->pt, p->count)) {
        QPainterPath path;
        path.setFillRule(fillRule(p->dc));
        path.addPolygon(*points);
        path.closeSubpath();
        fillAndStroke(p->dc, path, path);
    }
}

void WmfCanvas::polyPolygon(const wmfPolyPoly_t *p)
{
    if (!p->pt || !p->count)
        return;
    QPainterPath path;
    path.setFillRule(fillRule(p->dc));
    for (int i = 0; i < p->npoly; ++i) {
        if (p->count[i] < 2)
            continue;
        if (const std::optional<QPolygonF> points = mapPolygon(p->pt[i], p->count[i])) {
            path.addPolygon(*points);
            path.closeSubpath();
        }
    }
    fillAndStroke(p->dc, path, path);
}

void WmfCanvas::rectangle(const wmfDrawRectangle_t *r)
{
    if (!finite(r->TL) || !finite(r->BR))
        return;
    const QRectF rect = figureRect(r->dc, mapRect(r->TL, r->BR));
    QPainterPath path;
    // width and height are the axes of the corner ellipses of a rounded rectangle.
    const double rx = std::isfinite(r->width) ? std::min(std::abs(r->width * sx) / 2, rect.width() / 2) : 0;
    const double ry = std::isfinite(r->height) ? std::min(std::abs(r->height * sy) / 2, rect.height() / 2) : 0;
    if (rx > 0 && ry > 0)
        path.addRoundedRect(rect, rx, ry);
    else
        path.addRect(rect);
    fillAndStroke(r->dc, path, path);
}

void WmfCanvas::rasterOp(const wmfROP_Draw_t *r)
{
    if (!r->dc || !finite(r->TL) || !finite(r->BR))
        return;
    const QRectF rect = mapRect(r->TL, r->BR) & canvasRect();
    work->addPixels(rect.width() * rect.height());
    QPainterPath path;
    path.addRect(rect);
    switch (r->ROP) {
    case PATCOPY: {
        // The pattern is copied whatever raster operation the pens and brushes have.
        const U16 saved = r->dc->ROPmode;
        r->dc->ROPmode = R2_COPYPEN;
        fill(r->dc, path);
        r->dc->ROPmode = saved;
        break;
    }
    case BLACKNESS: painter.fillRect(rect, Qt::black); break;
    case WHITENESS: painter.fillRect(rect, Qt::white); break;
    case DSTINVERT:
    case PATINVERT: {
        const wmfBrush *brush = WMF_DC_BRUSH(r->dc);
        const QColor color = r->ROP == DSTINVERT || !brush ? QColor(Qt::white) : toColor(WMF_BRUSH_COLOR(brush));
        Rop rop;
        rop.mode = r->ROP == DSTINVERT ? QPainter::RasterOp_NotDestination
                                       : QPainter::RasterOp_SourceXorDestination;
        setMode(rop);
        painter.fillRect(rect, color);
        setMode(Rop());
        break;
    }
    default: // operations that need a source: there is none here
        break;
    }
}

void WmfCanvas::drawBitmap(const wmfBMP_Draw_t *b)
{
    if (!finite(b->pt))
        return;
    const QRect crop(b->crop.x, b->crop.y, b->crop.w, b->crop.h);
    const double w = crop.width() * b->pixel_width * sx;
    const double h = crop.height() * b->pixel_height * sy;
    if (!std::isfinite(w) || !std::isfinite(h) || w <= 0 || h <= 0)
        return;
    const QRectF target(map(b->pt), QSizeF(std::min(w, kCoordLimit), std::min(h, kCoordLimit)));
    // No need for more detail than twice what the canvas shows of it.
    const QRectF shown = target.intersected(QRectF(QPointF(0, 0), QSizeF(size)));
    if (shown.isEmpty())
        return;
    const QSize limit(int(std::min(2.0 * target.width(), 2.0 * size.width())) + 1,
                      int(std::min(2.0 * target.height(), 2.0 * size.height())) + 1);
    const QImage image = bitmap(&b->bmp, crop, limit);
    if (image.isNull())
        return;
    Rop rop;
    rop.mode = bitmapMode(b->type);
    setMode(rop);
    work->addPixels(shown.width() * shown.height());
    painter.drawImage(target, image);
    setMode(Rop());
}

void WmfCanvas::frameRegion(const wmfPolyRectangle_t *r)
{
    if (r->count == 0 || !r->TL || !r->BR)
        return;
    const double fw = std::isfinite(r->width) ? std::clamp(double(r->width) * sx, 1.0, kCoordLimit) : 1.0;
    const double fh = std::isfinite(r->height) ? std::clamp(double(r->height) * sy, 1.0, kCoordLimit) : 1.0;
    // The frame lies inside each rectangle of the region, painted with the frame brush.
    QPainterPath border;
    border.setFillRule(Qt::OddEvenFill);
    for (unsigned i = 0; i < r->count; ++i) {
        if (!finite(r->TL[i]) || !finite(r->BR[i]))
            continue;
        const QRectF outer = mapRect(r->TL[i], r->BR[i]);
        border.addRect(outer);
        if (outer.width() > 2 * fw && outer.height() > 2 * fh)
            border.addRect(outer.adjusted(fw, fh, -fw, -fh));
    }
    fill(r->dc, border);
}

void WmfCanvas::paintRegion(const wmfPolyRectangle_t *r)
{
    if (r->count == 0)
        return;
    fill(r->dc, rectangles(r));
}

} // namespace picture
