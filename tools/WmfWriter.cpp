#include "WmfWriter.h"

#include <algorithm>

namespace {

enum RecordFunction : quint16 {
    MetaEof = 0x0000,
    MetaSetBkMode = 0x0102,
    MetaSetPolyFillMode = 0x0106,
    MetaSetWindowOrg = 0x020B,
    MetaSetWindowExt = 0x020C,
    MetaLineTo = 0x0213,
    MetaMoveTo = 0x0214,
    MetaSelectObject = 0x012D,
    MetaDeleteObject = 0x01F0,
    MetaCreatePenIndirect = 0x02FA,
    MetaCreateBrushIndirect = 0x02FC,
    MetaPolygon = 0x0324,
    MetaPolyline = 0x0325,
    MetaEllipse = 0x0418,
    MetaRectangle = 0x041B,
    MetaRoundRect = 0x061C,
};

constexpr quint32 placeableKey = 0x9AC6CDD7u;
constexpr int headerWords = 9;

void putWord(QByteArray &out, quint16 value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

void putDword(QByteArray &out, quint32 value)
{
    putWord(out, quint16(value & 0xFFFF));
    putWord(out, quint16(value >> 16));
}

// A ColorRef is red, green, blue, then a zero byte: as two words, (g << 8 | r) and b.
void appendColor(QList<qint16> &params, const QColor &color)
{
    params.append(qint16(quint16(color.green() << 8 | color.red())));
    params.append(qint16(color.blue()));
}

} // namespace

WmfWriter::WmfWriter(QSize designSize, int scale) : m_designSize(designSize), m_scale(std::max(1, scale))
{
    const QSize extent = logicalSize();
    record(MetaSetWindowOrg, {0, 0});
    // Both window records take y before x.
    record(MetaSetWindowExt, {coord(designSize.height()), coord(designSize.width())});
    if (extent.width() > 0x7FFF || extent.height() > 0x7FFF)
        m_valid = false;
}

qint16 WmfWriter::coord(int designValue)
{
    const qint64 value = qint64(designValue) * m_scale;
    if (value < -0x8000 || value > 0x7FFF) {
        m_valid = false;
        return qint16(std::clamp<qint64>(value, -0x8000, 0x7FFF));
    }
    return qint16(value);
}

void WmfWriter::record(quint16 function, const QList<qint16> &params)
{
    const quint32 words = 3 + quint32(params.size());
    putDword(m_records, words);
    putWord(m_records, function);
    for (qint16 p : params)
        putWord(m_records, quint16(p));
    m_maxRecordWords = std::max(m_maxRecordWords, words);
}

int WmfWriter::createObject()
{
    // Playback gives each new object the lowest free slot of the object table.
    for (int i = 0; i < m_slots.size(); ++i) {
        if (!m_slots.at(i)) {
            m_slots[i] = true;
            return i;
        }
    }
    m_slots.append(true);
    return int(m_slots.size() - 1);
}

void WmfWriter::setPen(PenStyle style, int width, const QColor &color)
{
    QList<qint16> params{qint16(style), coord(width), 0};
    appendColor(params, color);
    record(MetaCreatePenIndirect, params);
    const int index = createObject();
    record(MetaSelectObject, {qint16(index)});
    if (m_pen >= 0) {
        record(MetaDeleteObject, {qint16(m_pen)});
        m_slots[m_pen] = false;
    }
    m_pen = index;
}

void WmfWriter::setBrush(BrushStyle style, const QColor &color, Hatch hatch)
{
    QList<qint16> params{qint16(style)};
    appendColor(params, color);
    params.append(qint16(hatch));
    record(MetaCreateBrushIndirect, params);
    const int index = createObject();
    record(MetaSelectObject, {qint16(index)});
    if (m_brush >= 0) {
        record(MetaDeleteObject, {qint16(m_brush)});
        m_slots[m_brush] = false;
    }
    m_brush = index;
}

void WmfWriter::setBackgroundTransparent(bool transparent)
{
    record(MetaSetBkMode, {qint16(transparent ? 1 : 2)});
}

void WmfWriter::setWindingFill(bool winding)
{
    record(MetaSetPolyFillMode, {qint16(winding ? 2 : 1)});
}

void WmfWriter::rectangle(const QRect &r)
{
    // Corners go bottom, right, top, left; right and bottom are exclusive.
    record(MetaRectangle, {coord(r.y() + r.height()), coord(r.x() + r.width()), coord(r.y()), coord(r.x())});
}

void WmfWriter::roundRect(const QRect &r, int cornerWidth, int cornerHeight)
{
    record(MetaRoundRect, {coord(cornerHeight), coord(cornerWidth), coord(r.y() + r.height()),
                           coord(r.x() + r.width()), coord(r.y()), coord(r.x())});
}

void WmfWriter::ellipse(const QRect &r)
{
    record(MetaEllipse, {coord(r.y() + r.height()), coord(r.x() + r.width()), coord(r.y()), coord(r.x())});
}

void WmfWriter::polygon(const QPolygon &points)
{
    QList<qint16> params{qint16(points.size())};
    for (const QPoint &pt : points) {
        params.append(coord(pt.x()));
        params.append(coord(pt.y()));
    }
    record(MetaPolygon, params);
}

void WmfWriter::polyline(const QPolygon &points)
{
    QList<qint16> params{qint16(points.size())};
    for (const QPoint &pt : points) {
        params.append(coord(pt.x()));
        params.append(coord(pt.y()));
    }
    record(MetaPolyline, params);
}

void WmfWriter::line(const QPoint &from, const QPoint &to)
{
    record(MetaMoveTo, {coord(from.y()), coord(from.x())});
    record(MetaLineTo, {coord(to.y()), coord(to.x())});
}

QByteArray WmfWriter::finished() const
{
    QByteArray records = m_records;
    // Release what is still selected, then the end record (three words, function 0).
    for (int index : {m_pen, m_brush}) {
        if (index >= 0) {
            putDword(records, 4);
            putWord(records, MetaDeleteObject);
            putWord(records, quint16(index));
        }
    }
    putDword(records, 3);
    putWord(records, MetaEof);

    QByteArray out;
    putWord(out, 1);            // memory metafile, as nearly every .wmf file says
    putWord(out, headerWords);
    putWord(out, 0x0300);       // version with device-independent bitmaps
    putDword(out, quint32(headerWords + records.size() / 2));
    putWord(out, quint16(m_slots.size()));
    putDword(out, std::max<quint32>(m_maxRecordWords, 4));
    putWord(out, 0);
    out.append(records);
    return out;
}

QByteArray WmfWriter::toStandard() const
{
    return finished();
}

QByteArray WmfWriter::toPlaceable(int unitsPerInch) const
{
    const QSize extent = logicalSize();
    QByteArray out;
    putDword(out, placeableKey);
    putWord(out, 0); // handle, always 0 on disk
    putWord(out, 0);
    putWord(out, 0);
    putWord(out, quint16(std::min(extent.width(), 0x7FFF)));
    putWord(out, quint16(std::min(extent.height(), 0x7FFF)));
    putWord(out, quint16(std::clamp(unitsPerInch, 1, 0xFFFF)));
    putDword(out, 0);
    quint16 checksum = 0;
    for (int i = 0; i < 10; ++i)
        checksum ^= quint16(uchar(out[2 * i]) | uchar(out[2 * i + 1]) << 8);
    putWord(out, checksum);
    return out + finished();
}
