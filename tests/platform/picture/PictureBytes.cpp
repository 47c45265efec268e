#include "PictureBytes.h"

#include <QBuffer>
#include <QtEndian>

namespace {

void put16(QByteArray &out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void put32(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

// A COLORREF: red in the low byte.
quint32 colorRef(QRgb rgb)
{
    return quint32(qRed(rgb)) | (quint32(qGreen(rgb)) << 8) | (quint32(qBlue(rgb)) << 16);
}

// GIF's LZW bit stream, least significant bit first.
class BitWriter
{
public:
    void write(quint32 code, int bits)
    {
        for (int i = 0; i < bits; ++i) {
            if (code & (1u << i))
                m_current |= uchar(1u << m_used);
            if (++m_used == 8)
                flush();
        }
    }
    QByteArray finish()
    {
        if (m_used)
            flush();
        return m_bytes;
    }

private:
    void flush()
    {
        m_bytes.append(char(m_current));
        m_current = 0;
        m_used = 0;
    }
    QByteArray m_bytes;
    uchar m_current = 0;
    int m_used = 0;
};

} // namespace

QByteArray PictureBytes::gif(QSize screen, QSize frame, qint64 pixelCount)
{
    QByteArray out("GIF89a");
    put16(out, quint16(screen.width()));
    put16(out, quint16(screen.height()));
    out.append(char(0x80)); // global table of 2 colours
    out.append(char(0));
    out.append(char(0));
    out.append("\xFF\xFF\xFF\xFF\x00\x00", 6); // white, red
    out.append(char(0x2C));
    put16(out, 0);
    put16(out, 0);
    put16(out, quint16(frame.width()));
    put16(out, quint16(frame.height()));
    out.append(char(0));
    out.append(char(2)); // minimum code size: clear = 4, end = 5, 3-bit codes
    // A clear code before every pixel keeps the table empty and the codes 3 bits wide.
    BitWriter bits;
    for (qint64 i = 0; i < pixelCount; ++i) {
        bits.write(4, 3);
        bits.write(1, 3);
    }
    bits.write(5, 3);
    const QByteArray data = bits.finish();
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        out.append(char(block.size()));
        out.append(block);
    }
    out.append(char(0));
    out.append(char(0x3B));
    return out;
}

QByteArray PictureBytes::icon(const QList<IconImage> &images, bool cursor)
{
    QList<QByteArray> dibs;
    for (const IconImage &image : images) {
        const int w = image.size.width();
        const int h = image.size.height();
        QByteArray dib;
        put32(dib, 40);
        put32(dib, quint32(w));
        put32(dib, quint32(2 * h)); // colour rows, then the AND mask rows
        put16(dib, 1);
        put16(dib, quint16(image.bitsPerPixel));
        for (int i = 0; i < 6; ++i)
            put32(dib, 0);
        const int bytesPerPixel = image.bitsPerPixel / 8;
        const int stride = (w * bytesPerPixel + 3) & ~3;
        for (int y = 0; y < h; ++y) {
            QByteArray row;
            for (int x = 0; x < w; ++x) {
                row.append(char(image.color.blue()));
                row.append(char(image.color.green()));
                row.append(char(image.color.red()));
                if (bytesPerPixel == 4)
                    row.append(char(0xFF));
            }
            row.append(QByteArray(stride - row.size(), '\0'));
            dib.append(row);
        }
        dib.append(QByteArray(((w + 31) / 32) * 4 * h, '\0'));
        dibs.append(dib);
    }
    QByteArray out;
    put16(out, 0);
    put16(out, cursor ? 2 : 1);
    put16(out, quint16(images.size()));
    quint32 offset = quint32(6 + 16 * images.size());
    for (int i = 0; i < images.size(); ++i) {
        const IconImage &image = images[i];
        out.append(char(image.size.width() >= 256 ? 0 : image.size.width()));
        out.append(char(image.size.height() >= 256 ? 0 : image.size.height()));
        out.append(char(0));
        out.append(char(0));
        put16(out, cursor ? 0 : 1);                                  // planes, or hotspot x
        put16(out, cursor ? 0 : quint16(image.bitsPerPixel));       // bit count, or hotspot y
        put32(out, quint32(dibs[i].size()));
        put32(out, offset);
        offset += quint32(dibs[i].size());
    }
    for (const QByteArray &dib : dibs)
        out.append(dib);
    return out;
}

QByteArray PictureBytes::bmpHeaderOnly(QSize size)
{
    QByteArray out("BM");
    put32(out, 54);
    put32(out, 0);
    put32(out, 54);
    put32(out, 40);
    put32(out, quint32(size.width()));
    put32(out, quint32(size.height()));
    put16(out, 1);
    put16(out, 24);
    for (int i = 0; i < 6; ++i)
        put32(out, 0);
    return out;
}

QByteArray PictureBytes::jpegClaiming(const QImage &image, QSize claimed)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    const qsizetype sof = jpeg.indexOf("\xFF\xC0");
    if (sof < 0)
        return {};
    qToBigEndian(quint16(claimed.height()), jpeg.data() + sof + 5);
    qToBigEndian(quint16(claimed.width()), jpeg.data() + sof + 7);
    return jpeg;
}

QByteArray PictureBytes::withExifOrientation(const QByteArray &jpeg, int orientation)
{
    QByteArray tiff("II\x2A\x00", 4);
    put32(tiff, 8);      // first IFD
    put16(tiff, 1);      // one entry
    put16(tiff, 0x0112); // Orientation
    put16(tiff, 3);      // SHORT
    put32(tiff, 1);
    put16(tiff, quint16(orientation));
    put16(tiff, 0);
    put32(tiff, 0);      // no next IFD
    QByteArray app1("\xFF\xE1", 2);
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    char length[2];
    qToBigEndian(quint16(body.size() + 2), length);
    app1.append(length, 2);
    app1.append(body);
    return jpeg.left(2) + app1 + jpeg.mid(2);
}

PictureBytes::WmfRecord PictureBytes::solidBrush(QRgb rgb)
{
    const quint32 ref = colorRef(rgb);
    return {0x02FC, {0, qint16(ref & 0xFFFF), qint16(ref >> 16), 0}, {}};
}

PictureBytes::WmfRecord PictureBytes::pen(int width, QRgb rgb, int style)
{
    const quint32 ref = colorRef(rgb);
    return {0x02FA, {qint16(style), qint16(width), 0, qint16(ref & 0xFFFF), qint16(ref >> 16)}, {}};
}

PictureBytes::WmfRecord PictureBytes::hatchBrush(int hatch, QRgb rgb)
{
    const quint32 ref = colorRef(rgb);
    return {0x02FC, {2, qint16(ref & 0xFFFF), qint16(ref >> 16), qint16(hatch)}, {}};
}

PictureBytes::WmfRecord PictureBytes::setBkColor(QRgb rgb)
{
    const quint32 ref = colorRef(rgb);
    return {0x0201, {qint16(ref & 0xFFFF), qint16(ref >> 16)}, {}};
}

PictureBytes::WmfRecord PictureBytes::setTextColor(QRgb rgb)
{
    const quint32 ref = colorRef(rgb);
    return {0x0209, {qint16(ref & 0xFFFF), qint16(ref >> 16)}, {}};
}

PictureBytes::WmfRecord PictureBytes::polygon(const QList<QPoint> &points)
{
    WmfRecord r{0x0324, {qint16(points.size())}, {}};
    for (const QPoint &p : points)
        r.params << qint16(p.x()) << qint16(p.y());
    return r;
}

PictureBytes::WmfRecord PictureBytes::font(int height, const QByteArray &name)
{
    // Height, width, escapement, orientation, weight, italic/underline, strike-out/charset,
    // precisions, quality/pitch, then the face name.
    WmfRecord r{0x02FB, {qint16(height), 0, 0, 0, 400, 0, 0, 0, 0}, {}};
    r.extra = name.left(31) + QByteArray(32 - qMin<qsizetype>(name.size(), 31), '\0');
    return r;
}

PictureBytes::WmfRecord PictureBytes::textOut(int x, int y, const QByteArray &text)
{
    WmfRecord r{0x0521, {qint16(text.size())}, text};
    if (r.extra.size() % 2)
        r.extra.append('\0');
    put16(r.extra, quint16(qint16(y)));
    put16(r.extra, quint16(qint16(x)));
    return r;
}

PictureBytes::WmfRecord PictureBytes::stretchDibPixels(const QRect &target, QSize size, const QList<QRgb> &pixels)
{
    WmfRecord r{0x0F43,
                {0x0020, 0x00CC, 0, qint16(size.height()), qint16(size.width()), 0, 0, qint16(target.height()),
                 qint16(target.width()), qint16(target.top()), qint16(target.left())},
                {}};
    put32(r.extra, 40);
    put32(r.extra, quint32(size.width()));
    put32(r.extra, quint32(size.height()));
    put16(r.extra, 1);
    put16(r.extra, 24);
    for (int i = 0; i < 6; ++i)
        put32(r.extra, 0);
    const int stride = (size.width() * 3 + 3) & ~3;
    for (int y = size.height() - 1; y >= 0; --y) { // bottom row first
        QByteArray row;
        for (int x = 0; x < size.width(); ++x) {
            const QRgb p = pixels.value(y * size.width() + x);
            row.append(char(qBlue(p))).append(char(qGreen(p))).append(char(qRed(p)));
        }
        r.extra.append(row.leftJustified(stride, '\0'));
    }
    return r;
}

PictureBytes::WmfRecord PictureBytes::stretchDib(QSize claimed, int dataBytes)
{
    WmfRecord r{0x0F43, {0x0020, 0x00CC, 0, 10, 10, 0, 0, 10, 10, 0, 0}, {}};
    put32(r.extra, 40);
    put32(r.extra, quint32(claimed.width()));
    put32(r.extra, quint32(claimed.height()));
    put16(r.extra, 1);
    put16(r.extra, 24);
    for (int i = 0; i < 6; ++i)
        put32(r.extra, 0);
    r.extra.append(QByteArray(dataBytes, '\x55'));
    if (r.extra.size() % 2)
        r.extra.append('\0');
    return r;
}

QByteArray PictureBytes::wmf(const QList<WmfRecord> &records, int inch, int boxWidth, int boxHeight,
                             int objects)
{
    QByteArray body;
    quint32 largest = 3;
    auto append = [&](const WmfRecord &r) {
        const quint32 words = 3 + quint32(r.params.size()) + quint32(r.extra.size() / 2);
        largest = qMax(largest, words);
        put32(body, words);
        put16(body, r.function);
        for (qint16 p : r.params)
            put16(body, quint16(p));
        body.append(r.extra);
    };
    for (const WmfRecord &r : records)
        append(r);
    append({0x0000, {}, {}});

    QByteArray out;
    if (inch > 0) {
        put32(out, 0x9AC6CDD7);
        put16(out, 0);
        put16(out, 0);
        put16(out, 0);
        put16(out, quint16(boxWidth));
        put16(out, quint16(boxHeight));
        put16(out, quint16(inch));
        put32(out, 0);
        quint16 checksum = 0;
        for (int i = 0; i < 10; ++i)
            checksum ^= qFromLittleEndian<quint16>(out.constData() + 2 * i);
        put16(out, checksum);
    }
    put16(out, 1);
    put16(out, 9);
    put16(out, 0x0300);
    put32(out, quint32((18 + body.size()) / 2));
    put16(out, quint16(objects));
    put32(out, largest);
    put16(out, 0);
    return out + body;
}

QByteArray PictureBytes::wmfRedLeftHalf(int inch, int boxWidth, int boxHeight)
{
    return wmf({setWindowOrg(0, 0), setWindowExt(boxWidth, boxHeight), solidBrush(qRgb(255, 0, 0)),
                selectObject(0), rectangle(0, 0, boxWidth / 2, boxHeight)},
               inch, boxWidth, boxHeight, 1);
}
