#include "picture/wmf/WmfCanvas.h"

#include <QRegion>

#include <algorithm>
#include <cmath>

namespace picture {

namespace {

// A clip region of more rectangles than this is taken as its bounding box.
constexpr unsigned kMaxClipRects = 4096;

double clampLength(double v)
{
    return std::isfinite(v) ? std::clamp(v, -WmfCanvas::kCoordLimit, WmfCanvas::kCoordLimit) : 0.0;
}

} // namespace

QPointF WmfCanvas::map(wmfD_Coord p) const
{
    return QPointF(clampLength((double(p.x) - frame.left()) * sx), clampLength((double(p.y) - frame.top()) * sy));
}

QRectF WmfCanvas::mapRect(wmfD_Coord a, wmfD_Coord b) const
{
    return QRectF(map(a), map(b)).normalized();
}

std::optional<QPolygonF> WmfCanvas::mapPolygon(const wmfD_Coord *pt, int count) const
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

QPainterPath WmfCanvas::rectangles(const wmfPolyRectangle_t *r) const
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

void WmfCanvas::clip(const wmfPolyRectangle_t *r)
{
    if (r->count == 0) { // no clipping
        painter.setClipping(false);
        return;
    }
    // Whole pixels: a clip edge is the edge of a pixel row or column.
    QRegion region;
    QRect bounds;
    for (unsigned i = 0; i < r->count && r->TL && r->BR; ++i) {
        if (!finite(r->TL[i]) || !finite(r->BR[i]))
            continue;
        const QRectF area = mapRect(r->TL[i], r->BR[i]) & canvasRect();
        const QRect pixels(QPoint(int(std::lround(area.left())), int(std::lround(area.top()))),
                           QPoint(int(std::lround(area.right())) - 1, int(std::lround(area.bottom())) - 1));
        if (pixels.isEmpty())
            continue;
        bounds |= pixels;
        if (r->count <= kMaxClipRects)
            region += pixels;
    }
    painter.setClipRegion(r->count <= kMaxClipRects ? region : QRegion(bounds));
}

} // namespace picture
