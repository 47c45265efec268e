#include "picture/thumbs/ThumbnailDecode.h"

#include "base/FileSys.h"
#include "picture/Budget.h"
#include "picture/jpeg/JpegFrame.h"
#include "picture/jpeg/JpegSplit.h"

#include <QBuffer>
#include <QByteArrayView>
#include <QImageReader>
#include <QTransform>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace picture {

namespace {

// Where a JPEG keeps its EXIF block: in an APP1 segment (at most 64 KiB) near the start, after
// at most a few other application segments.
constexpr qsizetype kHeadBytes = 192 * 1024;
// Cameras store 160 x 120, some up to VGA; a larger claim inside 64 KiB is not a thumbnail.
constexpr int kMaxExifThumbnailSide = 2048;
// How far a stored thumbnail's shape may be from the picture's before it is taken for a
// letterboxed one (rounding of a 160-pixel thumbnail stays well under this).
constexpr double kShapeTolerance = 0.02;

// The first bytes of a regular file, opened without blocking (a FIFO put in its place is
// refused, never waited on).
QByteArray readHead(const QString &path)
{
    const int fd = ::open(base::EncodePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return {};
    struct stat st {};
    QByteArray head;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        head.resize(qsizetype(std::min<qint64>(st.st_size, kHeadBytes)));
        base::ReadFully(fd, head);
    }
    ::close(fd);
    return head;
}

struct ExifFacts
{
    int orientation = 1;
    QByteArrayView thumbnail; // the embedded JPEG, inside the bytes read
    QSize stored;             // the picture's frame as stored (before orientation)
};

// The TIFF structure inside an EXIF segment: IFD0's orientation and IFD1's JPEG thumbnail.
// Every offset is checked against the segment.
void readTiff(const uchar *t, qsizetype n, ExifFacts &facts)
{
    if (n < 8)
        return;
    const bool little = t[0] == 'I' && t[1] == 'I';
    if (!little && !(t[0] == 'M' && t[1] == 'M'))
        return;
    const auto u16 = [&](qsizetype at) -> quint32 {
        if (at < 0 || at + 2 > n)
            return 0;
        return little ? qFromLittleEndian<quint16>(t + at) : qFromBigEndian<quint16>(t + at);
    };
    const auto u32 = [&](qsizetype at) -> quint32 {
        if (at < 0 || at + 4 > n)
            return 0;
        return little ? qFromLittleEndian<quint32>(t + at) : qFromBigEndian<quint32>(t + at);
    };
    if (u16(2) != 42)
        return;
    // Calls `entry(tag, type, at)` for each entry of the IFD at `ifd`; returns the next IFD's offset.
    const auto walk = [&](qsizetype ifd, const auto &entry) -> qsizetype {
        if (ifd < 8 || ifd + 2 > n)
            return 0;
        const qsizetype count = u16(ifd);
        for (qsizetype k = 0; k < count; ++k) {
            const qsizetype at = ifd + 2 + 12 * k;
            if (at + 12 > n)
                return 0;
            entry(u16(at), u16(at + 2), at + 8);
        }
        return u32(ifd + 2 + 12 * count);
    };
    const auto value = [&](quint32 type, qsizetype at) { return type == 3 ? u16(at) : type == 4 ? u32(at) : 0; };
    const qsizetype ifd1 = walk(u32(4), [&](quint32 tag, quint32 type, qsizetype at) {
        if (tag == 0x0112 && type == 3) {
            const int o = int(u16(at));
            facts.orientation = o >= 1 && o <= 8 ? o : 1;
        }
    });
    qint64 offset = 0, length = 0;
    walk(ifd1, [&](quint32 tag, quint32 type, qsizetype at) {
        if (tag == 0x0201)
            offset = value(type, at);
        else if (tag == 0x0202)
            length = value(type, at);
    });
    if (offset > 0 && length > 0 && offset <= n && length <= n - offset)
        facts.thumbnail = QByteArrayView(t + offset, length);
}

bool isFrameMarker(uchar m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }

// Walks the segments before the first frame header.
ExifFacts readExif(const QByteArray &head)
{
    ExifFacts facts;
    const auto *d = reinterpret_cast<const uchar *>(head.constData());
    const qsizetype n = head.size();
    if (n < 4 || d[0] != 0xFF || d[1] != 0xD8)
        return facts;
    bool exifSeen = false;
    qsizetype i = 2;
    while (i + 4 <= n && d[i] == 0xFF) {
        while (i < n && d[i] == 0xFF)
            ++i;
        if (i + 3 > n)
            break;
        const uchar marker = d[i++];
        if (marker == 0xD9 || marker == 0xDA)
            break;
        const qsizetype length = qFromBigEndian<quint16>(d + i);
        const qsizetype body = i + 2, end = i + length;
        if (length < 2 || end > n)
            break;
        if (marker == 0xE1 && !exifSeen && length >= 8 && std::memcmp(d + body, "Exif\0\0", 6) == 0) {
            exifSeen = true;
            readTiff(d + body + 6, end - body - 6, facts);
        } else if (isFrameMarker(marker)) {
            if (length >= 7)
                facts.stored = QSize(qFromBigEndian<quint16>(d + body + 3), qFromBigEndian<quint16>(d + body + 1));
            break;
        }
        i = end;
    }
    return facts;
}

// What QImageReader does with each EXIF orientation when it turns a picture itself.
QImage oriented(QImage image, int orientation)
{
    switch (orientation) {
    case 2: return std::move(image).mirrored(true, false);
    case 3: return std::move(image).mirrored(true, true);
    case 4: return std::move(image).mirrored(false, true);
    case 5: return image.mirrored(false, true).transformed(QTransform().rotate(90));
    case 6: return image.transformed(QTransform().rotate(90));
    case 7: return image.mirrored(true, false).transformed(QTransform().rotate(90));
    case 8: return image.transformed(QTransform().rotate(270));
    default: return image;
    }
}

QImage paintReady(QImage image)
{
    const QImage::Format wanted = image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (!image.isNull() && image.format() != wanted)
        image.convertTo(wanted);
    return image;
}

bool sameShape(QSize a, QSize b)
{
    const double ra = double(a.width()) / a.height(), rb = double(b.width()) / b.height();
    return std::abs(ra - rb) <= kShapeTolerance * rb;
}

// The camera's thumbnail, when it serves for `box`.
std::optional<ThumbnailPicture> fromExif(const QString &path, int box)
{
    const QByteArray head = readHead(path);
    const ExifFacts facts = readExif(head);
    if (facts.thumbnail.isEmpty() || facts.stored.isEmpty())
        return std::nullopt;
    const std::optional<JpegFrame> frame = JpegFrame::parse(facts.thumbnail);
    if (!frame || frame->size.isEmpty() || frame->scans > JpegFrame::kMaxScans
        || frame->size.width() > kMaxExifThumbnailSide || frame->size.height() > kMaxExifThumbnailSide
        || facts.thumbnail.size() < frame->minimumDataBytes())
        return std::nullopt;
    const QSize stored = frame->size;
    if (std::max(stored.width(), stored.height()) < box || !sameShape(stored, facts.stored))
        return std::nullopt;
    // The decode, its scaled and its turned copies.
    Reservation reservation;
    if (!reservation.hold(facts.thumbnail.size() + 16 * qint64(stored.width()) * stored.height()))
        return std::nullopt; // the ordinary decode waits for room properly
    const QByteArray bytes = facts.thumbnail.toByteArray();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(false); // the picture's orientation applies, not the thumbnail's own
    const QSize wanted = FitThumbnail(stored, box);
    if (wanted != stored)
        reader.setScaledSize(wanted);
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    if (image.size() != wanted)
        image = image.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    ThumbnailPicture out;
    out.image = paintReady(oriented(std::move(image), facts.orientation));
    out.natural = facts.orientation >= 5 ? facts.stored.transposed() : facts.stored;
    out.fromExif = true;
    return out;
}

// Restores the calling thread's setting on the way out.
class NoSplitDecodes
{
public:
    NoSplitDecodes() : m_was(JpegSplit::allowedOnThisThread()) { JpegSplit::allowOnThisThread(false); }
    ~NoSplitDecodes() { JpegSplit::allowOnThisThread(m_was); }

private:
    const bool m_was;
};

} // namespace

QSize FitThumbnail(QSize size, int box)
{
    if (size.isEmpty() || box <= 0 || (size.width() <= box && size.height() <= box))
        return size;
    return size.scaled(box, box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

ThumbnailPicture DecodeThumbnail(const QString &path, int box)
{
    if (std::optional<ThumbnailPicture> exif = fromExif(path, box))
        return std::move(*exif);
    // Thumbnails are made many at a time, one per core already.
    const NoSplitDecodes noSplit;
    LoadedImage loaded = LoadPicture(path, [box](const PictureInfo &info) {
        return info.isMetafile ? info.pixels.scaled(box, box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1))
                               : FitThumbnail(info.pixels, box);
    });
    ThumbnailPicture out;
    out.problem = loaded.problem;
    out.natural = loaded.info.pixels;
    if (loaded.image.isNull())
        return out;
    // The decode covers its target, which may leave a pixel over the box.
    const QSize fit = FitThumbnail(loaded.image.size(), box);
    if (fit != loaded.image.size())
        loaded.image = loaded.image.scaled(fit, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    out.image = std::move(loaded.image);
    return out;
}

} // namespace picture
