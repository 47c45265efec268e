#include "platform/picture/JpegFrame.h"

#include <QIODevice>
#include <QtEndian>

namespace platform {

std::optional<JpegFrame> JpegFrame::read(QIODevice *device)
{
    if (!device)
        return std::nullopt;
    const QByteArray soi = device->read(2);
    if (soi.size() != 2 || uchar(soi[0]) != 0xFF || uchar(soi[1]) != 0xD8)
        return std::nullopt;
    while (device->pos() < kMaxSearchBytes) {
        char c = 0;
        if (!device->getChar(&c))
            return std::nullopt;
        if (uchar(c) != 0xFF)
            continue; // stray byte between segments: resynchronise on the next marker
        uchar marker = 0xFF;
        while (marker == 0xFF) { // fill bytes
            if (!device->getChar(&c))
                return std::nullopt;
            marker = uchar(c);
        }
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue; // no length follows
        if (marker == 0xD9 || marker == 0xDA)
            return std::nullopt; // end of image, or a scan before any frame header
        const QByteArray lengthBytes = device->read(2);
        if (lengthBytes.size() != 2)
            return std::nullopt;
        const int length = qFromBigEndian<quint16>(lengthBytes.constData());
        if (length < 2)
            return std::nullopt;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8
                           && marker != 0xCC;
        if (frame) {
            const QByteArray body = device->read(5);
            if (body.size() != 5)
                return std::nullopt;
            JpegFrame f;
            f.size = QSize(qFromBigEndian<quint16>(body.constData() + 3),
                           qFromBigEndian<quint16>(body.constData() + 1));
            f.arithmetic = marker >= 0xC9;
            return f;
        }
        if (!device->skip(length - 2))
            return std::nullopt;
    }
    return std::nullopt;
}

qint64 JpegFrame::minimumDataBytes() const
{
    const qint64 pixels = qint64(size.width()) * size.height();
    return arithmetic ? pixels / 65536 : pixels / 512;
}

} // namespace platform
