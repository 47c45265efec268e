#pragma once

#include "picture/wmf/WmfHeader.h"

#include <QByteArrayView>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>

#include <optional>

namespace picture {

// Plays metafiles through libwmf, drawn by our own device layer (WmfPainterDevice: QPainter,
// antialiased).
//
// libwmf is not known to be thread-safe (it keeps global state), so every call into it holds
// one process-wide lock; pictures decoded ahead on a worker thread wait their turn. Hostile
// files are bounded: the canvas size is capped, libwmf's own allocations draw from a fixed
// budget, playing stops once its work is spent (see WmfWork), and the bytes handed to libwmf are first made
// consistent (see WmfHeader::sanitized), files whose bitmaps claim more than their data holds
// are refused, and pens are narrowed to a sane width on the canvas.
class WmfRenderer
{
public:
    static constexpr int kMaxSide = 16384;
    static constexpr qint64 kMaxCanvasBytes = qint64(256) << 20;
    static constexpr qint64 kLibraryBudgetBytes = qint64(128) << 20;
    // A drawing more than this many times the frame's size is shown whole (see render()).
    static constexpr double kMaxOverdraw = 8.0;
    // Pens are narrowed to this many canvas pixels (see WmfHeader::clampPenWidths).
    static constexpr double kMaxPenPixels = 64.0;

    // True when a canvas of this size may be rendered.
    static bool canvasAllowed(QSize size);

    // The drawing's extent as libwmf measures it, in twips; for files whose headers give no
    // size. Empty on failure.
    static QSizeF measuredTwips(QByteArrayView file, const WmfHeader &header);

    // Renders the picture's frame (the window the file sets up, else its placeable box)
    // stretched to exactly `size`.
    // Null on any failure.
    static QImage render(QByteArrayView file, const WmfHeader &header, QSize size);

    // Whether this thread's last render stopped because its work was spent.
    static bool lastPlayOverBudget();

    // The frame in libwmf's device units, from the mapping in force at the first drawing
    // record; nullopt when the file gives no frame or the mapping is unusable.
    static std::optional<QRectF> frameInDeviceUnits(const WmfHeader &header);

    // libwmf's device units per logical unit (signed, x and y) under that mapping.
    static std::optional<QPointF> deviceScale(const WmfHeader &header);
};

} // namespace picture
