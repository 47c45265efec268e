#include "picture/wmf/WmfCanvas.h"

#include <algorithm>
#include <cmath>

namespace picture {

void WmfCanvas::begin()
{
    if (begun)
        return;
    begun = true;
    image = QImage(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull() || !painter.begin(&image)) {
        failed = true;
        return;
    }
    image.fill(Qt::white); // the page a metafile is drawn on
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
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
