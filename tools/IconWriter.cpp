#include "IconWriter.h"

#include <QBuffer>

namespace {

void putWord(QByteArray &out, quint32 value)
{
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

void putDword(QByteArray &out, quint32 value)
{
    putWord(out, value & 0xFFFF);
    putWord(out, value >> 16);
}

QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    return bytes;
}

} // namespace

bool IconWriter::addImage(const QImage &image, Storage storage, QPoint hotSpot)
{
    if (image.isNull() || image.width() > 256 || image.height() > 256 || hotSpot.x() < 0 || hotSpot.y() < 0
        || hotSpot.x() >= image.width() || hotSpot.y() >= image.height()) {
        return false;
    }
    m_entries.append({image.convertToFormat(QImage::Format_ARGB32), storage, hotSpot});
    return true;
}

QByteArray IconWriter::dib(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();
    const int maskStride = ((w + 31) / 32) * 4;
    QByteArray out;
    putDword(out, 40);
    putDword(out, quint32(w));
    putDword(out, quint32(h * 2)); // colour rows followed by mask rows
    putWord(out, 1);
    putWord(out, 32);
    putDword(out, 0); // uncompressed
    putDword(out, quint32(w * h * 4 + maskStride * h));
    putDword(out, 0);
    putDword(out, 0);
    putDword(out, 0);
    putDword(out, 0);
    for (int y = h - 1; y >= 0; --y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            out.append(char(qBlue(line[x])));
            out.append(char(qGreen(line[x])));
            out.append(char(qRed(line[x])));
            out.append(char(qAlpha(line[x])));
        }
    }
    // AND mask: set where nothing is drawn, for readers that ignore the alpha byte.
    for (int y = h - 1; y >= 0; --y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < w; ++x) {
            if (qAlpha(line[x]) == 0)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        }
        out.append(row);
    }
    return out;
}

QByteArray IconWriter::encode(Kind kind) const
{
    QList<QByteArray> payloads;
    for (const Entry &entry : m_entries) {
        payloads.append(entry.storage == Storage::Png ? png(entry.image) : dib(entry.image));
        if (payloads.last().isEmpty())
            return {};
    }

    QByteArray out;
    putWord(out, 0);
    putWord(out, quint32(kind));
    putWord(out, quint32(m_entries.size()));
    quint32 offset = 6 + 16 * quint32(m_entries.size());
    for (int i = 0; i < m_entries.size(); ++i) {
        const Entry &entry = m_entries.at(i);
        out.append(char(entry.image.width() & 0xFF)); // 256 is stored as 0
        out.append(char(entry.image.height() & 0xFF));
        out.append(char(0)); // no palette
        out.append(char(0));
        if (kind == Kind::Cursor) {
            putWord(out, quint32(entry.hotSpot.x()));
            putWord(out, quint32(entry.hotSpot.y()));
        } else {
            putWord(out, 1);  // planes
            putWord(out, 32); // bits per pixel
        }
        putDword(out, quint32(payloads.at(i).size()));
        putDword(out, offset);
        offset += quint32(payloads.at(i).size());
    }
    for (const QByteArray &payload : payloads)
        out.append(payload);
    return out;
}
