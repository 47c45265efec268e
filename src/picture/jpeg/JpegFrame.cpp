#include "picture/jpeg/JpegFrame.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace picture {

namespace {

bool isFrameMarker(uchar m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }

// The position just past the coded data starting at `from`: the next marker that is neither a
// stuffed zero nor a restart marker.
qsizetype skipCodedData(QByteArrayView bytes, qsizetype from)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = from;
    while (i < n) {
        const void *hit = std::memchr(data + i, 0xFF, size_t(n - i));
        if (!hit)
            return n;
        qsizetype j = static_cast<const uchar *>(hit) - data;
        qsizetype k = j + 1;
        while (k < n && data[k] == 0xFF)
            ++k;
        if (k >= n)
            return n;
        if (data[k] == 0x00 || (data[k] >= 0xD0 && data[k] <= 0xD7)) {
            i = k + 1;
            continue;
        }
        return j;
    }
    return n;
}

} // namespace

std::optional<JpegFrame> JpegFrame::parse(QByteArrayView bytes)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype n = bytes.size();
    if (n < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return std::nullopt;
    std::optional<JpegFrame> frame;
    qsizetype i = 2;
    while (i < n) {
        if (data[i] != 0xFF) {
            ++i; // stray byte between segments: resynchronise on the next marker
            continue;
        }
        while (i < n && data[i] == 0xFF) // fill bytes
            ++i;
        if (i >= n)
            break;
        const uchar marker = data[i++];
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue; // no length follows
        if (marker == 0xD9)
            break; // end of image
        if (i + 2 > n)
            break;
        const int length = qFromBigEndian<quint16>(data + i);
        if (length < 2)
            break;
        const qsizetype body = i + 2;
        const qsizetype bodyLength = std::min<qsizetype>(length - 2, n - body);
        if (isFrameMarker(marker) && !frame) {
            if (bodyLength < 6)
                return std::nullopt;
            JpegFrame f;
            f.size = QSize(qFromBigEndian<quint16>(data + body + 3), qFromBigEndian<quint16>(data + body + 1));
            f.arithmetic = marker >= 0xC9;
            f.progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            const int count = data[body + 5];
            for (int c = 0; c < count && 6 + 3 * c + 2 < bodyLength; ++c) {
                const uchar *p = data + body + 6 + 3 * c;
                f.components.push_back({p[0], std::clamp(p[1] >> 4, 1, 4), std::clamp(p[1] & 15, 1, 4)});
            }
            frame = std::move(f);
        } else if (marker == 0xDA) {
            if (!frame)
                return std::nullopt; // a scan before any frame header
            const int count = bodyLength >= 1 ? data[body] : 0;
            if (++frame->scans > kMaxScans)
                return frame;
            if (frame->scans == 1)
                frame->firstScanPartial = count < int(frame->components.size());
            for (int c = 0; c < count && 1 + 2 * c < bodyLength; ++c) {
                const int id = data[body + 1 + 2 * c];
                for (const Component &component : frame->components)
                    if (component.id == id) {
                        frame->scanBlocks += frame->componentBlocks(component);
                        break;
                    }
            }
            i = skipCodedData(bytes, body + bodyLength);
            continue;
        }
        i = body + (length - 2);
    }
    return frame;
}

qint64 JpegFrame::minimumDataBytes() const
{
    const qint64 pixels = qint64(size.width()) * size.height();
    return arithmetic ? pixels / 65536 : pixels / 512;
}

qint64 JpegFrame::componentBlocks(const Component &c) const
{
    int hMax = 1, vMax = 1;
    for (const Component &other : components) {
        hMax = std::max(hMax, other.h);
        vMax = std::max(vMax, other.v);
    }
    const auto blocks = [](qint64 pixels, int factor, int maxFactor) {
        const qint64 samples = (pixels * factor + maxFactor - 1) / maxFactor;
        const qint64 b = (samples + 7) / 8;
        return (b + factor - 1) / factor * factor;
    };
    return blocks(size.width(), c.h, hMax) * blocks(size.height(), c.v, vMax);
}

qint64 JpegFrame::coefficientBytes() const
{
    if (!progressive && !firstScanPartial)
        return 0;
    qint64 bytes = 0;
    for (const Component &c : components)
        bytes += componentBlocks(c) * 64 * 2;
    return bytes;
}

} // namespace picture
