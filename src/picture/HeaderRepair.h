#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace picture {

// Fixes headers that Qt's readers turn down although the picture behind them is sound; each
// returns the repaired copy, or nullopt when there is nothing it can (or needs to) fix.
struct HeaderRepair
{
    // Icon and cursor directories whose entries misstate their data size (Qt wants at least
    // 40 bytes in the first entry), bit count or planes.
    static std::optional<QByteArray> icon(QByteArrayView file);

    // BMPs with the 52- and 56-byte info headers (bit-field masks inside the header), which Qt
    // does not know: for 16, 24 and 32 bits the header is cut back to the 40-byte one, whose
    // bit-field masks follow it in the very same place. An alpha mask is lost.
    static std::optional<QByteArray> bmp(QByteArrayView file);

    // Files are only repaired up to this size.
    static constexpr qint64 kMaxBytes = qint64(256) << 20;
};

} // namespace picture
