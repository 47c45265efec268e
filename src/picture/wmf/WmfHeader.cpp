#include "picture/wmf/WmfHeader.h"

#include <QtEndian>

#include <algorithm>
#include <cstdlib>

namespace picture {

namespace {

enum : uint16_t {
    kMetaEof = 0x0000,
    kSetMapMode = 0x0103,
    kSetWindowOrg = 0x020B,
    kSetWindowExt = 0x020C,
    kSetViewportOrg = 0x020D,
    kSetViewportExt = 0x020E,
    kOffsetWindowOrg = 0x020F,
    kScaleWindowExt = 0x0410,
};

// Records that set up state but draw nothing; the mapping is read until the first record that
// is not one of these.
bool isSetupRecord(uint16_t function)
{
    switch (function) {
    case kSetMapMode: case kSetWindowOrg: case kSetWindowExt: case kSetViewportOrg:
    case kSetViewportExt: case kOffsetWindowOrg:
    case 0x0102: // SETBKMODE
    case 0x0104: // SETROP2
    case 0x0105: // SETRELABS
    case 0x0106: // SETPOLYFILLMODE
    case 0x0107: // SETSTRETCHBLTMODE
    case 0x0108: // SETTEXTCHAREXTRA
    case 0x012E: // SETTEXTALIGN
    case 0x0201: // SETBKCOLOR
    case 0x0209: // SETTEXTCOLOR
    case 0x020A: // SETTEXTJUSTIFICATION
    case 0x0231: // SETMAPPERFLAGS
    case 0x0626: // ESCAPE (comments)
    case 0x00F7: // CREATEPALETTE
    case 0x0035: // REALIZEPALETTE
    case 0x0037: // SETPALENTRIES
    case 0x0234: // SELECTPALETTE
    case 0x02FA: // CREATEPENINDIRECT
    case 0x02FB: // CREATEFONTINDIRECT
    case 0x02FC: // CREATEBRUSHINDIRECT
    case 0x0142: // DIBCREATEPATTERNBRUSH
    case 0x01F9: // CREATEPATTERNBRUSH
    case 0x06FF: // CREATEREGION
    case 0x012D: // SELECTOBJECT
    case 0x01F0: // DELETEOBJECT
    case 0x001E: // SAVEDC
    case 0x0214: // MOVETO
    case 0x0415: // EXCLUDECLIPRECT
    case 0x0416: // INTERSECTCLIPRECT
    case 0x012C: // SELECTCLIPREGION
        return true;
    default:
        return false;
    }
}

uint16_t u16At(QByteArrayView d, qsizetype at) { return qFromLittleEndian<uint16_t>(d.data() + at); }
int16_t s16At(QByteArrayView d, qsizetype at) { return qFromLittleEndian<int16_t>(d.data() + at); }
uint32_t u32At(QByteArrayView d, qsizetype at) { return qFromLittleEndian<uint32_t>(d.data() + at); }

enum : uint16_t {
    kCreatePenIndirect = 0x02FA,
    kDibBitBlt = 0x0940,
    kDibStretchBlt = 0x0B41,
    kStretchDib = 0x0F43,
    kSetDibToDev = 0x0D33,
    kDibCreatePatternBrush = 0x0142,
};

// Where the device-independent bitmap starts inside a record's parameters, or -1.
int dibOffset(uint16_t function, uint32_t paramWords)
{
    // The blits have a short form without a bitmap: its size is the function's high byte + 3.
    const bool hasBitmap = paramWords != uint32_t(function >> 8);
    switch (function) {
    case kDibBitBlt: return hasBitmap ? 16 : -1;
    case kDibStretchBlt: return hasBitmap ? 20 : -1;
    case kStretchDib: return 22;
    case kSetDibToDev: return 18;
    case kDibCreatePatternBrush: return 4;
    default: return -1;
    }
}

bool plausibleMetaHeader(QByteArrayView d, qsizetype at)
{
    if (d.size() < at + WmfHeader::kMetaHeaderSize)
        return false;
    const uint16_t type = u16At(d, at);
    const uint16_t headerWords = u16At(d, at + 2);
    const uint16_t version = u16At(d, at + 4);
    return (type == 1 || type == 2) && headerWords == 9 && (version == 0x0100 || version == 0x0300);
}

} // namespace

bool WmfHeader::plausibleDib(QByteArrayView dib)
{
    // libwmf's reader skips what a header holds beyond its 40 bytes one byte at a time, and
    // reads the palette it is told of: a header size below 40 (other than the 12-byte core
    // header) or beyond the data, or a palette larger than the data, sends it into billions of
    // steps or a huge allocation.
    if (dib.size() < 12)
        return false;
    const uint32_t headerSize = qFromLittleEndian<uint32_t>(dib.data());
    qint64 width = 0;
    qint64 height = 0;
    int bitCount = 0;
    uint32_t compression = 0;
    qint64 paletteBytes = 0;
    if (headerSize == 12) {
        width = qFromLittleEndian<uint16_t>(dib.data() + 4);
        height = qFromLittleEndian<uint16_t>(dib.data() + 6);
        bitCount = qFromLittleEndian<uint16_t>(dib.data() + 10);
        paletteBytes = bitCount <= 8 ? 3 * (qint64(1) << bitCount) : 0;
    } else if (headerSize >= 40 && headerSize <= uint32_t(dib.size())) {
        width = qFromLittleEndian<int32_t>(dib.data() + 4);
        height = std::abs(qint64(qFromLittleEndian<int32_t>(dib.data() + 8)));
        bitCount = qFromLittleEndian<uint16_t>(dib.data() + 14);
        compression = qFromLittleEndian<uint32_t>(dib.data() + 16);
        const qint64 colorsUsed = qFromLittleEndian<uint32_t>(dib.data() + 32);
        paletteBytes = 4 * (bitCount <= 8 ? std::min(colorsUsed, qint64(1) << bitCount) : colorsUsed);
    } else {
        return false;
    }
    if (bitCount < 1 || bitCount > 32 || headerSize + paletteBytes > dib.size())
        return false;
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535)
        return false;
    const bool uncompressed = compression == 0 || compression == 3;
    if (!uncompressed)
        return width * height <= (qint64(64) << 20); // run-length data may skip; bound it plainly
    const qint64 stride = ((width * bitCount + 31) / 32) * 4;
    // One row of slack: some writers drop the padding of the last row.
    return stride * (height - 1) <= dib.size();
}

bool WmfHeader::looksLikeWmf(QByteArrayView head)
{
    if (head.size() >= 4 && u32At(head, 0) == kPlaceableMagic)
        return true;
    return plausibleMetaHeader(head, 0);
}

namespace {

bool isPrimitive(uint16_t function)
{
    switch (function) {
    case 0x0213: case 0x0325: case 0x0324: case 0x0538: case 0x041B: case 0x061C: case 0x0418: // lines, shapes
    case 0x0817: case 0x0830: case 0x081A:                                                      // arcs
    case 0x0521: case 0x0A32:                                                                   // text
    case 0x061D: case 0x0922: case 0x0940: case 0x0B23: case 0x0B41: case 0x0F43: case 0x0D33: // blits
    case 0x041F: case 0x0419: case 0x0548:                                                      // pixels, floods
    case 0x0228: case 0x0429: case 0x012B: case 0x012A:                                         // regions
        return true;
    default:
        return false;
    }
}

} // namespace

std::optional<WmfHeader> WmfHeader::parse(QByteArrayView data)
{
    WmfHeader h;
    if (data.size() >= 4 && u32At(data, 0) == kPlaceableMagic) {
        if (data.size() < kPlaceableSize + kMetaHeaderSize)
            return std::nullopt;
        h.placeable = true;
        h.placeableBox = QRect(QPoint(s16At(data, 6), s16At(data, 8)),
                               QPoint(s16At(data, 10), s16At(data, 12)));
        h.unitsPerInch = u16At(data, 14);
        h.bodyOffset = kPlaceableSize;
        // The placeable header vouches for the file; writers differ in the METAHEADER's
        // version field, so only the header size is held to the format.
        const uint16_t type = u16At(data, h.bodyOffset);
        if ((type != 1 && type != 2) || u16At(data, h.bodyOffset + 2) != 9)
            return std::nullopt;
    } else if (!plausibleMetaHeader(data, 0)) {
        return std::nullopt;
    }

    h.firstRecord = h.bodyOffset + 2 * int(u16At(data, h.bodyOffset + 2));
    h.chainEnd = h.firstRecord;

    bool drawing = false;
    qsizetype pos = h.firstRecord;
    while (pos + 6 <= data.size()) {
        const uint32_t words = u32At(data, pos);
        const uint16_t function = u16At(data, pos + 4);
        if (words < 3 || qint64(words) * 2 > data.size() - pos)
            break; // broken or cut short: the chain ends at the last whole record
        const qsizetype params = pos + 6;
        const uint32_t paramWords = words - 3;
        if (!drawing && !isSetupRecord(function) && function != kMetaEof)
            drawing = true;
        if (!drawing) {
            if (function == kSetMapMode && paramWords >= 1) {
                const int mode = u16At(data, params);
                if (mode >= MapText && mode <= MapAnisotropic)
                    h.mapMode = mode;
            } else if (paramWords >= 2) {
                const int y = s16At(data, params);
                const int x = s16At(data, params + 2);
                if (function == kSetWindowOrg)
                    h.windowOrg = QPoint(x, y);
                else if (function == kOffsetWindowOrg)
                    h.windowOrg += QPoint(x, y);
                else if (function == kSetWindowExt)
                    h.windowExt = QSize(x, y);
                else if (function == kSetViewportExt)
                    h.viewportExt = QSize(x, y);
            }
        }
        const int dib = dibOffset(function, paramWords);
        if (dib >= 0 && qint64(paramWords) * 2 > dib
            && !plausibleDib(data.sliced(params + dib, qsizetype(paramWords) * 2 - dib)))
            h.implausibleBitmap = true;
        h.largestRecordWords = qMax(h.largestRecordWords, words);
        ++h.recordCount;
        h.primitiveCount += isPrimitive(function);
        pos += qsizetype(words) * 2;
        h.chainEnd = int(pos);
        if (function == kMetaEof) {
            h.endsWithEof = true;
            break;
        }
    }
    if (h.recordCount == 0)
        return std::nullopt;
    return h;
}

QSizeF WmfHeader::naturalTwips() const
{
    if (placeable) {
        const double inch = effectiveUnitsPerInch();
        const double w = std::abs(placeableBox.right() - placeableBox.left()) * 1440.0 / inch;
        const double h = std::abs(placeableBox.bottom() - placeableBox.top()) * 1440.0 / inch;
        if (w > 0 && h > 0)
            return QSizeF(w, h);
    }
    const double ew = std::abs(windowExt.width());
    const double eh = std::abs(windowExt.height());
    if (ew <= 0 || eh <= 0)
        return {};
    double twipsPerUnit = 1.0;
    switch (mapMode) {
    case MapLoMetric: twipsPerUnit = 1440.0 / 254.0; break;
    case MapHiMetric: twipsPerUnit = 1440.0 / 2540.0; break;
    case MapLoEnglish: twipsPerUnit = 14.4; break;
    case MapHiEnglish: twipsPerUnit = 1.44; break;
    case MapTwips: twipsPerUnit = 1.0; break;
    default: // no physical unit: see the header comment
        twipsPerUnit = (ew <= kMaxPixelExtent && eh <= kMaxPixelExtent) ? 15.0 : 1.0;
        break;
    }
    return QSizeF(ew * twipsPerUnit, eh * twipsPerUnit);
}

std::optional<QRect> WmfHeader::logicalFrame() const
{
    if (windowExt.width() != 0 && windowExt.height() != 0)
        return QRect(windowOrg, windowExt).normalized();
    if (placeable && placeableBox.left() != placeableBox.right() && placeableBox.top() != placeableBox.bottom())
        return placeableBox.normalized();
    return std::nullopt;
}

QByteArray WmfHeader::sanitized(QByteArrayView data) const
{
    const QByteArrayView chain = data.first(qMin<qsizetype>(chainEnd, data.size()));
    QByteArray out(chain.first(qMin<qsizetype>(firstRecord, chain.size())).toByteArray());
    out.reserve(chain.size() + 64);
    uint32_t largest = qMax<uint32_t>(largestRecordWords, 3);
    // libwmf works out the scale of a switch to ISOTROPIC or ANISOTROPIC only at the next
    // extent record, so pens created in between would be scaled for the previous mode (much
    // too thin or too wide). The window extent in force is announced again right after such a
    // switch, which changes nothing else.
    bool haveExtent = false; // libwmf still has the last SETWINDOWEXT:
    int16_t extentX = 0;
    int16_t extentY = 0;
    for (qsizetype pos = firstRecord; pos + 6 <= chain.size();) {
        const uint32_t words = u32At(chain, pos);
        if (words < 3 || qint64(words) * 2 > chain.size() - pos)
            break;
        const uint16_t function = u16At(chain, pos + 4);
        out.append(chain.sliced(pos, qsizetype(words) * 2));
        if (function == kSetWindowExt && words >= 5) {
            haveExtent = true;
            extentY = s16At(chain, pos + 6);
            extentX = s16At(chain, pos + 8);
        } else if (function == kScaleWindowExt) {
            haveExtent = false;
        } else if (function == kSetMapMode && words >= 4 && haveExtent) {
            const int mode = u16At(chain, pos + 6);
            if (mode == MapIsotropic || mode == MapAnisotropic) {
                char record[10];
                qToLittleEndian<uint32_t>(5, record);
                qToLittleEndian<uint16_t>(kSetWindowExt, record + 4);
                qToLittleEndian<int16_t>(extentY, record + 6);
                qToLittleEndian<int16_t>(extentX, record + 8);
                out.append(record, sizeof record);
                largest = qMax<uint32_t>(largest, 5);
            }
        }
        pos += qsizetype(words) * 2;
    }
    if (!endsWithEof)
        out.append("\x03\x00\x00\x00\x00\x00", 6);
    const uint32_t fileWords = uint32_t((out.size() - bodyOffset) / 2);
    qToLittleEndian<uint32_t>(fileWords, out.data() + bodyOffset + 6);
    qToLittleEndian<uint32_t>(largest, out.data() + bodyOffset + 12);
    if (placeable && unitsPerInch == 0)
        qToLittleEndian<uint16_t>(uint16_t(effectiveUnitsPerInch()), out.data() + 14);
    return out;
}

void WmfHeader::clampPenWidths(QByteArray &file, int maxWidth) const
{
    maxWidth = qBound(0, maxWidth, 32767);
    char *bytes = file.data();
    for (qsizetype pos = firstRecord; pos + 6 <= file.size();) {
        const uint32_t words = u32At(file, pos);
        if (words < 3 || qint64(words) * 2 > file.size() - pos)
            break;
        if (u16At(file, pos + 4) == kCreatePenIndirect && words >= 3 + 3) {
            char *width = bytes + pos + 8; // after the pen style
            if (std::abs(qFromLittleEndian<int16_t>(width)) > maxWidth)
                qToLittleEndian<int16_t>(int16_t(maxWidth), width);
        }
        pos += qsizetype(words) * 2;
    }
}

} // namespace picture
