#pragma once

#include <QSize>

#include <optional>

class QIODevice;

namespace platform {

// The frame header of a JPEG file, found by walking its markers from the start; for judging a
// file's claims before decoding it.
struct JpegFrame
{
    QSize size;
    bool arithmetic = false; // arithmetic-coded (SOF9..SOF15): compresses far better than Huffman

    // Nullopt when the device holds no frame header before the first scan (or within the first
    // kMaxSearchBytes). Reads from the device's current position and leaves it moved.
    static std::optional<JpegFrame> read(QIODevice *device);

    // The fewest bytes that can hold this many pixels of entropy-coded data: every 8 x 8 block
    // of the first component costs at least one bit in a Huffman-coded scan; arithmetic coding
    // is bounded far lower. A file smaller than this is a header with nothing behind it.
    qint64 minimumDataBytes() const;

    static constexpr qint64 kMaxSearchBytes = qint64(16) << 20;
};

} // namespace platform
