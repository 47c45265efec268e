#include "picture/wmf/WmfRenderer.h"

#include "picture/wmf/WmfPainterDevice.h"

#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libwmf/api.h>
}

namespace picture {

namespace {

QMutex &libwmfLock()
{
    static QMutex lock;
    return lock;
}

// libwmf's own allocations (record buffers, object tables, regions, fonts) draw from a fixed
// budget, so a file that claims huge tables fails instead of taking the machine's memory.
struct Budget
{
    size_t used = 0;
    size_t limit = 0;
};

constexpr size_t kBlockHeader = 16; // keeps the payload 16-byte aligned

void *budgetMalloc(void *context, size_t size)
{
    auto *budget = static_cast<Budget *>(context);
    if (size > budget->limit - budget->used)
        return nullptr;
    auto *block = static_cast<unsigned char *>(std::malloc(size + kBlockHeader));
    if (!block)
        return nullptr;
    std::memcpy(block, &size, sizeof size);
    budget->used += size;
    return block + kBlockHeader;
}

void budgetFree(void *context, void *mem)
{
    if (!mem)
        return;
    auto *budget = static_cast<Budget *>(context);
    auto *block = static_cast<unsigned char *>(mem) - kBlockHeader;
    size_t size = 0;
    std::memcpy(&size, block, sizeof size);
    budget->used -= size;
    std::free(block);
}

void *budgetRealloc(void *context, void *mem, size_t size)
{
    if (!mem)
        return budgetMalloc(context, size);
    auto *budget = static_cast<Budget *>(context);
    auto *block = static_cast<unsigned char *>(mem) - kBlockHeader;
    size_t old = 0;
    std::memcpy(&old, block, sizeof old);
    if (size > old && size - old > budget->limit - budget->used)
        return nullptr;
    auto *grown = static_cast<unsigned char *>(std::realloc(block, size + kBlockHeader));
    if (!grown)
        return nullptr;
    std::memcpy(grown, &size, sizeof size);
    budget->used = budget->used - old + size;
    return grown + kBlockHeader;
}

// Called by libwmf after each record it plays; non-zero stops the play.
int recordPlayed(void *context, float)
{
    auto *work = static_cast<WmfWork *>(context);
    work->add(WmfWork::kPerRecord);
    return work->over() ? 1 : 0;
}

thread_local bool t_overBudget = false;

// One libwmf session on a file: created, opened and scanned, and torn down on scope exit.
class Session
{
public:
    explicit Session(QByteArray bytes)
        : m_bytes(std::move(bytes))
    {
        m_bytes.detach(); // libwmf keeps reading this buffer; it must never move
        m_budget.limit = size_t(WmfRenderer::kLibraryBudgetBytes);
        wmfAPI_Options options;
        std::memset(&options, 0, sizeof options);
        options.function = WmfPainterDevice::install;
        options.context = &m_budget;
        options.malloc = budgetMalloc;
        options.realloc = budgetRealloc;
        options.free = budgetFree;
        const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_ALLOC | WMF_OPT_IGNORE_NONFATAL
                                    | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        if (wmf_api_create(&m_api, flags, &options) != wmf_E_None) {
            m_api = nullptr;
            return;
        }
        // libwmf reads but does not write the buffer; its signature just predates const.
        if (wmf_mem_open(m_api, reinterpret_cast<unsigned char *>(m_bytes.data()), long(m_bytes.size()))
            != wmf_E_None)
            return;
        m_open = true;
        m_scanned = wmf_scan(m_api, 0, &m_scanBox) == wmf_E_None;
    }

    ~Session()
    {
        if (!m_api)
            return;
        if (m_open)
            wmf_mem_close(m_api);
        wmf_api_destroy(m_api);
    }

    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    bool scanned() const { return m_api && m_scanned; }

    // Playing reads the records again from the buffer, so pens can be narrowed after the scan.
    void clampPenWidths(const WmfHeader &header, int maxWidth) { header.clampPenWidths(m_bytes, maxWidth); }
    QRectF scanBox() const
    {
        return QRectF(QPointF(m_scanBox.TL.x, m_scanBox.TL.y), QPointF(m_scanBox.BR.x, m_scanBox.BR.y));
    }

    QImage play(const QRectF &frame, QSize size, double zoom)
    {
        WmfWork work;
        WmfPainterDevice device(m_api, frame, size, zoom, work);
        wmf_status_function(m_api, &work, recordPlayed);
        wmfD_Rect box = m_scanBox;
        const bool played = wmf_play(m_api, 0, &box) == wmf_E_None;
        t_overBudget = work.over();
        if (!played)
            return {};
        return device.finish();
    }

private:
    QByteArray m_bytes;
    Budget m_budget;
    wmfAPI *m_api = nullptr;
    bool m_open = false;
    bool m_scanned = false;
    wmfD_Rect m_scanBox{};
};

// libwmf's device units per logical unit for the fixed mapping modes: device units are
// points, except in TEXT mode where they are the logical units themselves.
double fixedScale(int mode, int unitsPerInch)
{
    switch (mode) {
    case WmfHeader::MapText: return 1.0;
    case WmfHeader::MapLoMetric: return 72.0 * 0.1 / 25.4;
    case WmfHeader::MapHiMetric: return 72.0 * 0.01 / 25.4;
    case WmfHeader::MapLoEnglish: return 0.72;
    case WmfHeader::MapHiEnglish: return 0.072;
    case WmfHeader::MapTwips: return 0.05;
    default: return 72.0 / unitsPerInch; // placeable files play in their own inch
    }
}

// A box in libwmf's device units in twips. TEXT mode plays in the file's own units, taken as
// 96-DPI pixels; the others in points.
QSizeF boxTwips(const QRectF &box, const WmfHeader &header)
{
    const bool textMode = header.mapMode == WmfHeader::MapText
                          || (header.mapMode == WmfHeader::MapNone && !header.placeable);
    const double twipsPerUnit = textMode ? 15.0 : 20.0;
    return QSizeF(box.width() * twipsPerUnit, box.height() * twipsPerUnit);
}

bool usableBox(const QRectF &box)
{
    return box.isValid() && box.width() > 1e-3 && box.height() > 1e-3 && box.width() < 1e9
           && box.height() < 1e9;
}

} // namespace

bool WmfRenderer::canvasAllowed(QSize size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= kMaxSide
           && size.height() <= kMaxSide && qint64(size.width()) * size.height() * 4 <= kMaxCanvasBytes;
}

std::optional<QPointF> WmfRenderer::deviceScale(const WmfHeader &header)
{
    int mode = header.mapMode;
    if (mode == WmfHeader::MapNone)
        mode = header.placeable ? 0 : WmfHeader::MapText;
    if (mode == WmfHeader::MapIsotropic || mode == WmfHeader::MapAnisotropic) {
        if (header.windowExt.width() == 0 || header.windowExt.height() == 0)
            return std::nullopt;
        // libwmf's viewport is 1024 x 1024 until the file sets one.
        const bool viewportSet = header.viewportExt.width() != 0 && header.viewportExt.height() != 0;
        const QSizeF viewport = viewportSet ? QSizeF(header.viewportExt) : QSizeF(1024, 1024);
        return QPointF(viewport.width() / header.windowExt.width(), viewport.height() / header.windowExt.height());
    }
    const double scale = fixedScale(mode, header.effectiveUnitsPerInch());
    return QPointF(header.windowExt.width() < 0 ? -scale : scale, header.windowExt.height() < 0 ? -scale : scale);
}

std::optional<QRectF> WmfRenderer::frameInDeviceUnits(const WmfHeader &header)
{
    const std::optional<QRect> logical = header.logicalFrame();
    const std::optional<QPointF> scale = deviceScale(header);
    if (!logical || !scale)
        return std::nullopt;
    // Corners as libwmf maps them: (logical - window origin) * scale.
    const QRectF l(*logical);
    const QPointF origin(header.windowOrg);
    const QPointF a((l.left() - origin.x()) * scale->x(), (l.top() - origin.y()) * scale->y());
    const QPointF b((l.right() - origin.x()) * scale->x(), (l.bottom() - origin.y()) * scale->y());
    const QRectF device = QRectF(a, b).normalized();
    if (!usableBox(device))
        return std::nullopt;
    return device;
}

QSizeF WmfRenderer::measuredTwips(QByteArrayView file, const WmfHeader &header)
{
    QMutexLocker locker(&libwmfLock());
    Session session(header.sanitized(file));
    if (!session.scanned())
        return {};
    const QRectF box = session.scanBox();
    if (!usableBox(box))
        return {};
    return boxTwips(box, header);
}

QImage WmfRenderer::render(QByteArrayView file, const WmfHeader &header, QSize size)
{
    // Every drawing record costs at least its primitive: a file with more than the work allows
    // is refused before it is played.
    t_overBudget = qint64(header.primitiveCount) * (WmfWork::kPerRecord + WmfWork::kPerPrimitive) > WmfWork::kLimit;
    if (t_overBudget || !canvasAllowed(size) || header.implausibleBitmap)
        return {};
    QMutexLocker locker(&libwmfLock());
    Session session(header.sanitized(file));
    if (!session.scanned())
        return {};
    // Draw the file's own frame. The drawing stands in when there is no frame or the frame
    // misses it altogether (a mapping not followed here), and is taken in whole when it reaches
    // far beyond the frame: a tiny frame under a large drawing would blow every line up to
    // millions of pixels (long dash runs, wide strokes) and show next to nothing of it.
    const QRectF drawn = session.scanBox();
    const std::optional<QRectF> ownFrame = frameInDeviceUnits(header);
    std::optional<QRectF> frame = ownFrame;
    if (usableBox(drawn)) {
        const bool farBeyond = frame
                               && (drawn.width() > kMaxOverdraw * frame->width()
                                   || drawn.height() > kMaxOverdraw * frame->height());
        if (!frame || !frame->intersects(drawn))
            frame = drawn;
        else if (farBeyond)
            frame = frame->united(drawn);
    }
    if (!frame || !usableBox(*frame))
        return {};
    // Pens wider than kMaxPenPixels on the canvas are narrowed to it (as the first mapping puts
    // logical units on the canvas).
    if (const std::optional<QPointF> scale = deviceScale(header)) {
        const double pixelsPerUnit = std::max(std::abs(scale->x()) * size.width() / frame->width(),
                                              std::abs(scale->y()) * size.height() / frame->height());
        if (pixelsPerUnit > 0)
            session.clampPenWidths(header, int(std::min(32767.0, kMaxPenPixels / pixelsPerUnit)));
    }
    // How much larger than its natural size the picture is drawn (when the frame is the one
    // that size comes from).
    double zoom = 1.0;
    QSizeF twips = header.naturalTwips();
    if (twips.isEmpty() && !ownFrame && frame == drawn)
        twips = boxTwips(drawn, header); // the size as measured
    else if (frame != ownFrame)
        twips = QSizeF();
    if (!twips.isEmpty())
        zoom = std::min(size.width() * 15.0 / twips.width(), size.height() * 15.0 / twips.height());
    return session.play(*frame, size, zoom);
}

bool WmfRenderer::lastPlayOverBudget() { return t_overBudget; }

} // namespace picture
