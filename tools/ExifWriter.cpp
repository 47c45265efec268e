#include "ExifWriter.h"

#include <QtEndian>

namespace ExifWriter {

namespace {

void put16(QByteArray &out, quint16 v)
{
    const quint16 le = qToLittleEndian(v);
    out.append(reinterpret_cast<const char *>(&le), 2);
}

void put32(QByteArray &out, quint32 v)
{
    const quint32 le = qToLittleEndian(v);
    out.append(reinterpret_cast<const char *>(&le), 4);
}

void entry(QByteArray &out, quint16 tag, quint16 type, quint32 value)
{
    put16(out, tag);
    put16(out, type);
    put32(out, 1);
    if (type == 3) {
        put16(out, quint16(value));
        put16(out, 0);
    } else {
        put32(out, value);
    }
}

} // namespace

QByteArray withExif(const QByteArray &jpeg, int orientation, const QByteArray &thumbnail)
{
    // Little-endian TIFF: header, IFD0 (orientation) at 8, IFD1 (the thumbnail) at 26, data at 56.
    QByteArray tiff("II*\0", 4);
    put32(tiff, 8);
    put16(tiff, 1);
    entry(tiff, 0x0112, 3, quint32(orientation));
    put32(tiff, thumbnail.isEmpty() ? 0 : 26);
    if (!thumbnail.isEmpty()) {
        put16(tiff, 2);
        entry(tiff, 0x0201, 4, 56);
        entry(tiff, 0x0202, 4, quint32(thumbnail.size()));
        put32(tiff, 0);
        tiff += thumbnail;
    }
    QByteArray segment("\xFF\xE1", 2);
    const quint16 length = qToBigEndian(quint16(2 + 6 + tiff.size()));
    segment.append(reinterpret_cast<const char *>(&length), 2);
    segment.append("Exif\0\0", 6);
    segment += tiff;
    return jpeg.left(2) + segment + jpeg.mid(2);
}

} // namespace ExifWriter
