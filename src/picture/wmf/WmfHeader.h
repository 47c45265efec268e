#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QSizeF>

#include <cstdint>
#include <optional>

namespace picture {

// What a Windows metafile says about itself, read from its bytes without libwmf: the headers,
// the record chain, and the mapping set up before the first drawing record.
//
// Natural size (twips, 1/1440 inch):
//  - placeable files: the bounding box in the placeable header, (right - left) * 1440 / inch
//    (an inch of 0 is taken as 1440, the common value, rather than refusing the file);
//  - other files: the last window extent set before the first drawing record, in the units of
//    the mapping mode then in force. The metric modes (LOMETRIC, HIMETRIC, LOENGLISH,
//    HIENGLISH, TWIPS) convert exactly. TEXT, ISOTROPIC and ANISOTROPIC units have no physical
//    size: an extent up to kMaxPixelExtent on both sides is taken as 96-DPI pixels (what the
//    system's own renderer does with such files), a larger one as twips (drawing programs
//    that write fine logical units; read as pixels they would be wall-sized);
//  - no window extent: unknown here (the renderer measures the drawing instead).
struct WmfHeader
{
    static constexpr uint32_t kPlaceableMagic = 0x9AC6CDD7;
    static constexpr int kPlaceableSize = 22;
    static constexpr int kMetaHeaderSize = 18;
    static constexpr int kMaxPixelExtent = 2048;

    // Mapping modes as the format numbers them; 0 = none set by the file.
    enum MapMode { MapNone = 0, MapText = 1, MapLoMetric, MapHiMetric, MapLoEnglish,
                   MapHiEnglish, MapTwips, MapIsotropic, MapAnisotropic };

    bool placeable = false;
    QRect placeableBox;       // left, top, right, bottom as stored (may be reversed)
    int unitsPerInch = 0;     // placeable header "inch"
    int effectiveUnitsPerInch() const { return unitsPerInch > 0 ? unitsPerInch : 1440; }

    int bodyOffset = 0;       // where the METAHEADER starts (0 or 22)
    int firstRecord = 0;      // offset of the first record
    int chainEnd = 0;         // offset just past the last whole record (META_EOF included)
    bool endsWithEof = false; // the chain reached a META_EOF record
    uint32_t largestRecordWords = 0;
    uint32_t recordCount = 0;
    uint32_t primitiveCount = 0; // records that draw (lines, shapes, text, bitmaps, regions)
    // A bitmap record claims more pixels than its data can hold (a hostile file: libwmf's
    // bitmap reader would allocate what the header claims).
    bool implausibleBitmap = false;

    // State at the first drawing record (last value set before it).
    int mapMode = MapNone;
    QPoint windowOrg;
    QSize windowExt{0, 0};    // signed, as stored; 0 x 0 when never set
    QSize viewportExt{0, 0};  // signed, as stored; 0 x 0 when never set

    // Parses the whole file. Nullopt when the bytes are not a metafile (bad magic, header
    // fields out of range, no record at all).
    static std::optional<WmfHeader> parse(QByteArrayView data);

    // True when the first bytes carry the placeable magic or a plausible METAHEADER.
    static bool looksLikeWmf(QByteArrayView head);

    // False for a device-independent bitmap (header, palette, pixels) that libwmf's bitmap
    // reader must not be given: a header it would loop or over-allocate on, or more pixels
    // than the bytes behind it can hold.
    static bool plausibleDib(QByteArrayView dib);

    // See above; empty when the file does not say.
    QSizeF naturalTwips() const;

    // The frame in logical units: the window the file sets up before drawing (what a player
    // maps onto its output), else the placeable box. Normalized; nullopt when there is none.
    std::optional<QRect> logicalFrame() const;

    // A copy of the file that libwmf can take safely: the header's largest-record field and
    // size set from the real chain (libwmf allocates what the header claims and gives up on
    // records larger than it), a chain cut short by a truncated file closed with META_EOF, a
    // placeable inch of 0 replaced as in naturalTwips() (libwmf would divide by it), and the
    // window extent repeated after a switch to a scaled mapping mode (see the definition).
    QByteArray sanitized(QByteArrayView data) const;

    // Narrows every pen in `file` (a sanitized copy) to at most `maxWidth` logical units, in
    // place. A hostile pen thousands of pixels wide only buries the picture, and stroking every
    // line with it costs time for nothing.
    void clampPenWidths(QByteArray &file, int maxWidth) const;
};

} // namespace picture
