#pragma once

#include "picture/wmf/WmfHeader.h"

#include <QByteArray>
#include <QImageIOHandler>
#include <QSize>

#include <optional>

namespace picture {

// Reads Windows metafiles for QImageReader (format "wmf"), rendered through WmfRenderer.
//
// Size is the natural size in 96-DPI pixels (twips / 15, rounded); ScaledSize renders at
// exactly that size instead, which is how a caller gets a crisp full-screen picture.
class WmfImageHandler : public QImageIOHandler
{
public:
    // Metafiles larger than this are refused unread.
    static constexpr qint64 kMaxFileBytes = qint64(64) << 20;

    bool canRead() const override;
    bool read(QImage *image) override;
    QVariant option(ImageOption option) const override;
    void setOption(ImageOption option, const QVariant &value) override;
    bool supportsOption(ImageOption option) const override;

    // True when the device's first bytes look like a metafile; the device is left unmoved.
    static bool canRead(QIODevice *device);

    // The natural size in twips: from the headers, else as libwmf measures the drawing.
    // Empty when the bytes are not a usable metafile.
    static QSizeF naturalTwips(const QByteArray &file);

    // Twips to 96-DPI pixels, rounded, at least 1 x 1 for a non-empty size.
    static QSize twipsToPixels(QSizeF twips);

private:
    bool load() const;

    mutable bool m_loaded = false;
    mutable QByteArray m_file;
    mutable std::optional<WmfHeader> m_header;
    mutable QSize m_naturalPixels;
    QSize m_scaledSize;
};

} // namespace picture
