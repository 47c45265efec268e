#include "PictureBytes.h"

#include <QtEndian>

#include <functional>

namespace {

// Appends each value little-endian, at its own width.
template<typename... T>
void put(QByteArray &out, T... values)
{
    const auto one = [&out](auto v) {
        char b[sizeof(v)];
        qToLittleEndian(v, b);
        out.append(b, sizeof(v));
    };
    (one(values), ...);
}

// A BITMAPINFOHEADER of an uncompressed bitmap.
void putInfoHeader(QByteArray &out, QSize size, int bitsPerPixel)
{
    put(out, quint32(40), quint32(size.width()), quint32(size.height()), quint16(1), quint16(bitsPerPixel));
    out.append(QByteArray(24, '\0'));
}

// DIB rows of 24 or 32 bits, bottom row first, each padded to four bytes.
QByteArray dibRows(QSize size, int bitsPerPixel, const std::function<QRgb(int, int)> &pixel)
{
    QByteArray out;
    for (int y = size.height() - 1; y >= 0; --y) {
        QByteArray row;
        for (int x = 0; x < size.width(); ++x) {
            const QRgb p = pixel(x, y);
            row.append(char(qBlue(p))).append(char(qGreen(p))).append(char(qRed(p))).append(bitsPerPixel / 8 - 3, char(0xFF));
        }
        out.append(row.leftJustified((row.size() + 3) & ~3, '\0'));
    }
    return out;
}

} // namespace

QByteArray PictureBytes::gif(QSize screen, QSize frame, qint64 pixelCount)
{
    QByteArray out("GIF89a");
    put(out, quint16(screen.width()), quint16(screen.height()));
    out.append("\x80\0\0\xFF\xFF\xFF\xFF\0\0\x2C", 10); // global table of 2 colours (white, red), a frame
    put(out, quint32(0), quint16(frame.width()), quint16(frame.height()));
    out.append("\0\x02", 2); // minimum code size: clear = 4, end = 5, 3-bit codes
    // A clear code before every pixel keeps the table empty and the codes 3 bits wide; the bit
    // stream is least significant bit first.
    QByteArray data;
    quint32 pending = 0;
    int bits = 0;
    const auto code = [&](quint32 c) {
        pending |= c << bits;
        for (bits += 3; bits >= 8; bits -= 8, pending >>= 8)
            data.append(char(pending & 0xFF));
    };
    for (qint64 i = 0; i < pixelCount; ++i)
        code(4), code(1);
    code(5);
    if (bits)
        data.append(char(pending));
    for (qsizetype at = 0; at < data.size(); at += 255)
        out.append(char(data.mid(at, 255).size())).append(data.mid(at, 255));
    return out.append("\0\x3B", 2);
}

QByteArray PictureBytes::icon(const QList<IconImage> &images, bool cursor)
{
    QByteArray out;
    put(out, quint16(0), quint16(cursor ? 2 : 1), quint16(images.size()));
    QByteArray dibs;
    for (const IconImage &image : images) {
        const QSize size = image.size;
        QByteArray dib;
        putInfoHeader(dib, {size.width(), 2 * size.height()}, image.bitsPerPixel); // colour, then AND mask
        dib.append(dibRows(size, image.bitsPerPixel, [&](int, int) { return image.color.rgb(); }));
        dib.append(QByteArray(((size.width() + 31) / 32) * 4 * size.height(), '\0'));
        out.append(char(size.width() >= 256 ? 0 : size.width())).append(char(size.height() >= 256 ? 0 : size.height()));
        // Colours and reserved; planes and bit count, or the hotspot; size; offset.
        put(out, quint16(0), quint16(cursor ? 0 : 1), quint16(cursor ? 0 : image.bitsPerPixel), quint32(dib.size()),
            quint32(6 + 16 * images.size() + dibs.size()));
        dibs.append(dib);
    }
    return out + dibs;
}

QByteArray PictureBytes::bmpHeaderOnly(QSize size)
{
    QByteArray out("BM\x36\0\0\0\0\0\0\0\x36\0\0\0", 14); // file of 54 bytes, pixels at 54
    putInfoHeader(out, size, 24);
    return out;
}

QByteArray PictureBytes::withExifOrientation(const QByteArray &jpeg, int orientation)
{
    // Little-endian TIFF, first IFD at 8 with one SHORT entry, no next IFD.
    QByteArray body("Exif\0\0II\x2A\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 24);
    put(body, quint16(orientation), quint16(0), quint32(0));
    QByteArray length(2, '\0');
    qToBigEndian(quint16(body.size() + 2), length.data());
    return jpeg.left(2) + QByteArray("\xFF\xE1", 2) + length + body + jpeg.mid(2);
}

PictureBytes::WmfRecord PictureBytes::polygon(const QList<QPoint> &points, quint16 function)
{
    WmfRecord r{function, {qint16(points.size())}, {}};
    for (const QPoint &p : points)
        r.params << qint16(p.x()) << qint16(p.y());
    return r;
}

PictureBytes::WmfRecord PictureBytes::font(int height, const QByteArray &name)
{
    // Height, width, escapement, orientation, weight, italic/underline, strike-out/charset,
    // precisions, quality/pitch, then the face name.
    return {0x02FB, {qint16(height), 0, 0, 0, 400, 0, 0, 0, 0}, name.left(31).leftJustified(32, '\0')};
}

PictureBytes::WmfRecord PictureBytes::textOut(int x, int y, const QByteArray &text)
{
    WmfRecord r{0x0521, {qint16(text.size())}, text + QByteArray(text.size() % 2, '\0')};
    put(r.extra, qint16(y), qint16(x));
    return r;
}

PictureBytes::WmfRecord PictureBytes::stretchDibPixels(const QRect &target, QSize size, const QList<QRgb> &pixels)
{
    // Destination, source origin and size, colour usage, raster operation SRCCOPY.
    WmfRecord r = reversed(0x0F43, {target.left(), target.top(), target.width(), target.height(), 0, 0, size.width(),
                                    size.height(), 0, 0xCC, 0x20});
    putInfoHeader(r.extra, size, 24);
    r.extra.append(dibRows(size, 24, [&](int x, int y) { return pixels.value(y * size.width() + x); }));
    return r;
}

PictureBytes::WmfRecord PictureBytes::stretchDib(QSize claimed, int dataBytes)
{
    WmfRecord r{0x0F43, {0x0020, 0x00CC, 0, 10, 10, 0, 0, 10, 10, 0, 0}, {}};
    putInfoHeader(r.extra, claimed, 24);
    r.extra.append(QByteArray(dataBytes + dataBytes % 2, '\x55'));
    return r;
}

QByteArray PictureBytes::wmf(const QList<WmfRecord> &records, int inch, int boxWidth, int boxHeight, int objects)
{
    QByteArray body;
    quint32 largest = 3;
    for (const WmfRecord &r : records + QList<WmfRecord>{{0x0000, {}, {}}}) { // ends with META_EOF
        const quint32 words = 3 + quint32(r.params.size()) + quint32(r.extra.size() / 2);
        largest = qMax(largest, words);
        put(body, words, r.function);
        for (qint16 p : r.params)
            put(body, p);
        body.append(r.extra);
    }
    QByteArray out;
    if (inch > 0) {
        // Key, handle, left, top, right, bottom, units per inch, reserved, then the checksum.
        put(out, quint32(0x9AC6CDD7), quint64(quint64(boxWidth) << 48), quint16(boxHeight), quint16(inch), quint32(0));
        quint16 checksum = 0;
        for (int i = 0; i < 10; ++i)
            checksum ^= qFromLittleEndian<quint16>(out.constData() + 2 * i);
        put(out, checksum);
    }
    put(out, quint16(1), quint16(9), quint16(0x0300), quint32((18 + body.size()) / 2), quint16(objects), largest, quint16(0));
    return out + body;
}

QByteArray PictureBytes::wmfRedLeftHalf(int inch, int boxWidth, int boxHeight)
{
    return wmf({setWindowExt(boxWidth, boxHeight), solidBrush(qRgb(255, 0, 0)), selectObject(0),
                rectangle(0, 0, boxWidth / 2, boxHeight)}, inch, boxWidth, boxHeight, 1);
}
