#pragma once

#include <QByteArrayView>
#include <QSize>

#include <optional>
#include <vector>

namespace picture {

// The layout of a JPEG file, found by walking its markers (and stepping over the coded data of
// each scan) before anything is decoded; for judging a file's cost and claims up front.
struct JpegFrame
{
    struct Component
    {
        int id = 0;
        int h = 1; // sampling factors
        int v = 1;
    };

    QSize size;
    bool arithmetic = false;  // arithmetic-coded (SOF9..SOF15): compresses far better than Huffman
    bool progressive = false;
    std::vector<Component> components;
    int scans = 0;            // counting stops one past kMaxScans
    bool firstScanPartial = false; // the first scan leaves out components: a multi-scan file
    qint64 scanBlocks = 0;    // 8 x 8 blocks visited by all scans together

    // Progressive encoders write about 10 scans for colour, 6 per component in their simple
    // modes (at most 60 for the widest files libjpeg writes); the largest count in thousands of
    // real files seen was 14. Far more is a file built to keep the decoder busy.
    static constexpr int kMaxScans = 100;
    // Each scan walks the coefficients of its components once, so the work of all scans is
    // bounded in blocks: about twice what libjpeg's own progressive mode needs for the largest
    // photo the memory cap admits (some 350 megapixels), so that empty scans cannot multiply
    // the cost of a large frame.
    static constexpr qint64 kMaxScanBlocks = qint64(80) << 20;

    // Nullopt when the bytes hold no frame header before the first scan.
    static std::optional<JpegFrame> parse(QByteArrayView bytes);

    // The fewest bytes that can hold this many pixels of entropy-coded data: every 8 x 8 block
    // of the first component costs at least one bit in a Huffman-coded scan; arithmetic coding
    // is bounded far lower. A file smaller than this is a header with nothing behind it.
    qint64 minimumDataBytes() const;

    // What libjpeg keeps for the whole image while it reads a progressive or multi-scan file
    // (every coefficient of every component); 0 for a single interleaved scan, decoded row by row.
    qint64 coefficientBytes() const;

    // Blocks of one component, padded to whole MCUs as libjpeg stores them.
    qint64 componentBlocks(const Component &c) const;
};

} // namespace picture
