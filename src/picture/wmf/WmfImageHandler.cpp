#include "picture/wmf/WmfImageHandler.h"

#include "picture/wmf/WmfRenderer.h"

#include <QIODevice>
#include <QImage>
#include <QVariant>

#include <algorithm>
#include <climits>
#include <cmath>

namespace picture {

namespace {

// Reads the whole device, refusing anything larger than the cap.
std::optional<QByteArray> readCapped(QIODevice *device, qint64 cap)
{
    if (!device->isSequential() && device->size() - device->pos() > cap)
        return std::nullopt;
    QByteArray data = device->read(cap + 1);
    if (data.size() > cap)
        return std::nullopt;
    return data;
}

} // namespace

bool WmfImageHandler::canRead(QIODevice *device)
{
    if (!device)
        return false;
    return WmfHeader::looksLikeWmf(device->peek(WmfHeader::kMetaHeaderSize));
}

bool WmfImageHandler::canRead() const
{
    if (m_loaded)
        return m_header.has_value();
    if (!canRead(device()))
        return false;
    setFormat("wmf");
    return true;
}

QSize WmfImageHandler::twipsToPixels(QSizeF twips)
{
    if (twips.isEmpty())
        return {};
    const double w = std::max(1.0, std::round(twips.width() / 15.0));
    const double h = std::max(1.0, std::round(twips.height() / 15.0));
    if (w > INT_MAX || h > INT_MAX)
        return {};
    return QSize(int(w), int(h));
}

QSizeF WmfImageHandler::naturalTwips(const QByteArray &file)
{
    const std::optional<WmfHeader> header = WmfHeader::parse(file);
    if (!header)
        return {};
    const QSizeF twips = header->naturalTwips();
    if (!twips.isEmpty())
        return twips;
    return WmfRenderer::measuredTwips(file, *header);
}

bool WmfImageHandler::load() const
{
    if (m_loaded)
        return m_header.has_value();
    m_loaded = true;
    if (!device())
        return false;
    std::optional<QByteArray> file = readCapped(device(), kMaxFileBytes);
    if (!file)
        return false;
    m_file = std::move(*file);
    m_header = WmfHeader::parse(m_file);
    if (!m_header)
        return false;
    QSizeF twips = m_header->naturalTwips();
    if (twips.isEmpty())
        twips = WmfRenderer::measuredTwips(m_file, *m_header);
    m_naturalPixels = twipsToPixels(twips);
    if (m_naturalPixels.isEmpty()) {
        m_header.reset();
        return false;
    }
    return true;
}

bool WmfImageHandler::read(QImage *image)
{
    if (!load())
        return false;
    const QSize size = m_scaledSize.isEmpty() ? m_naturalPixels : m_scaledSize;
    QImage rendered = WmfRenderer::render(m_file, *m_header, size);
    if (rendered.isNull())
        return false;
    *image = std::move(rendered);
    return true;
}

QVariant WmfImageHandler::option(ImageOption option) const
{
    switch (option) {
    case Size:
        return load() ? QVariant(m_naturalPixels) : QVariant();
    case ScaledSize:
        return m_scaledSize;
    case ImageFormat:
        return QImage::Format_ARGB32;
    default:
        return {};
    }
}

void WmfImageHandler::setOption(ImageOption option, const QVariant &value)
{
    if (option == ScaledSize)
        m_scaledSize = value.toSize();
}

bool WmfImageHandler::supportsOption(ImageOption option) const
{
    return option == Size || option == ScaledSize || option == ImageFormat;
}

} // namespace picture
