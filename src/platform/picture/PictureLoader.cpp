#include "platform/picture/PictureLoader.h"

#include "platform/picture/HeaderRepair.h"
#include "platform/picture/IconDirectory.h"
#include "platform/picture/JpegFrame.h"
#include "platform/picture/WmfImageHandler.h"
#include "platform/picture/WmfRenderer.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMutex>
#include <QMutexLocker>
#include <QPixelFormat>
#include <QtEndian>
#include <QtPlugin>

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <memory>
#include <vector>

// Registers the metafile plugin with QImageReader for every program that links this file.
Q_IMPORT_PLUGIN(WmfImagePlugin)

namespace platform {

namespace {

// The most a single decode may allocate for its pixels.
constexpr qint64 kMaxDecodeBytes = qint64(1) << 30;
// Entries tried, largest first, when an icon's best entry will not decode.
constexpr int kMaxIconAttempts = 8;

bool isFormat(const QByteArray &format, const char *name) { return format == name; }

bool isSupportedFormat(const QByteArray &format)
{
    return isFormat(format, "bmp") || isFormat(format, "jpeg") || isFormat(format, "gif")
           || isFormat(format, "ico") || isFormat(format, "cur") || isFormat(format, "wmf")
           || isFormat(format, "png");
}

bool isIconFormat(const QByteArray &format) { return isFormat(format, "ico") || isFormat(format, "cur"); }

bool hasWmfSuffix(const QString &path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("wmf"), Qt::CaseInsensitive) == 0;
}

// A reader on the file, or on a repaired copy of it (see HeaderRepair), with the format chosen
// as described in the header. `reader` is null when the file cannot be read as one of ours.
class Source
{
public:
    explicit Source(const QString &path)
    {
        m_reader = std::make_unique<QImageReader>();
        if (hasWmfSuffix(path)) {
            m_reader->setFormat("wmf");
            m_reader->setDecideFormatFromContent(false);
        } else {
            m_reader->setDecideFormatFromContent(true);
        }
        m_reader->setFileName(path);
        m_reader->setAutoTransform(true);
        const bool readable = m_reader->canRead() && isSupportedFormat(m_reader->format());
        if (hasWmfSuffix(path) || (readable && !isFormat(m_reader->format(), "bmp"))) {
            if (!readable)
                m_reader.reset();
            return;
        }
        // What Qt turns down may be an icon with a misstated directory; what it takes for a BMP
        // may carry an info header it cannot read.
        if (!openRepaired(path) && !readable)
            m_reader.reset();
    }

    QImageReader *reader() const { return m_reader.get(); }

private:
    // Swaps in a reader on a repaired copy when one is needed and possible.
    bool openRepaired(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() > HeaderRepair::kMaxBytes)
            return false;
        const QByteArray head = file.peek(64);
        const bool bmp = head.startsWith("BM");
        if (bmp && (head.size() < 18 || qFromLittleEndian<quint32>(head.constData() + 14) < 52))
            return false; // a header Qt knows: nothing to repair, no need to read the file
        const QByteArray bytes = file.readAll();
        std::optional<QByteArray> repaired = bmp ? HeaderRepair::bmp(bytes) : HeaderRepair::icon(bytes);
        if (!repaired)
            return false;
        m_bytes = std::move(*repaired);
        m_buffer.setData(m_bytes);
        if (!m_buffer.open(QIODevice::ReadOnly))
            return false;
        auto reader = std::make_unique<QImageReader>(&m_buffer, bmp ? QByteArray("bmp") : QByteArray("ico"));
        reader->setAutoTransform(true);
        if (!reader->canRead())
            return false;
        m_reader = std::move(reader);
        return true;
    }

    std::unique_ptr<QImageReader> m_reader;
    QByteArray m_bytes;
    QBuffer m_buffer;
};

// Qt's allocation limit is one value for the whole process, so it is only ever raised (under a
// lock) to what a sound picture needs, never lowered while another thread may rely on it. Our
// own check against kMaxDecodeBytes comes first, so it never goes past that.
void allowAllocation(qint64 bytes)
{
    static QMutex lock;
    QMutexLocker locker(&lock);
    const int limit = QImageReader::allocationLimit();
    const int needed = int((bytes + (1 << 20) - 1) >> 20) + 1;
    if (limit > 0 && limit < needed)
        QImageReader::setAllocationLimit(needed);
}

qint64 pixelBytes(QSize size) { return qint64(size.width()) * size.height() * 4; }

// The icon's entries, best first (see IconDirectory), without those claiming more pixels than
// any decode may allocate.
std::vector<IconDirectory::Entry> iconEntries(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    std::vector<IconDirectory::Entry> entries = IconDirectory::read(&file);
    std::erase_if(entries, [](const IconDirectory::Entry &e) { return pixelBytes(e.size) > kMaxDecodeBytes; });
    IconDirectory::sortBestFirst(entries);
    return entries;
}

// The size as stored in the file. Qt's BMP reader reports top-down bitmaps with a negative
// height.
QSize storedSize(QImageReader &reader)
{
    const QSize size = reader.size();
    if (size.width() <= 0 || size.height() == 0)
        return {};
    return QSize(size.width(), std::abs(size.height()));
}

bool rotatesQuarter(const QImageReader &reader)
{
    return reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
}

// The size libjpeg decodes at before Qt scales to `wanted`: the smallest n/8 step (n = 1..8)
// that covers it, as Qt's JPEG reader picks it.
QSize jpegDecodeStep(QSize stored, QSize wanted)
{
    if (wanted.isEmpty() || wanted == stored)
        return stored;
    const double f = std::min(double(stored.width()) / wanted.width(), double(stored.height()) / wanted.height());
    const int n = std::clamp(int(std::ceil(8.0 / f)), 1, 8);
    return QSize(int((qint64(stored.width()) * n + 7) / 8), int((qint64(stored.height()) * n + 7) / 8));
}

QImage paintReady(QImage image)
{
    if (image.isNull())
        return image;
    const QImage::Format wanted = image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                          : QImage::Format_RGB32;
    if (image.format() != wanted)
        image.convertTo(wanted);
    return image;
}

// Whether a JPEG's data can hold the pixels its header claims.
bool jpegDataPlausible(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const std::optional<JpegFrame> frame = JpegFrame::read(&file);
    if (!frame)
        return true; // nothing to judge by; the decoder has the last word
    return file.size() >= frame->minimumDataBytes();
}

// Whether a BMP's data can hold the pixels its header claims. Uncompressed rows must be at
// least an eighth there (Qt shows cut files partially); run-length data may skip whole areas,
// so it is held only to a loose bound.
bool bmpDataPlausible(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(34);
    if (head.size() < 30)
        return true; // the decoder has the last word
    const uint32_t dataOffset = qFromLittleEndian<uint32_t>(head.constData() + 10);
    const uint32_t headerSize = qFromLittleEndian<uint32_t>(head.constData() + 14);
    qint64 width = 0;
    qint64 height = 0;
    int bitCount = 0;
    uint32_t compression = 0;
    if (headerSize == 12) {
        width = qFromLittleEndian<uint16_t>(head.constData() + 18);
        height = qFromLittleEndian<uint16_t>(head.constData() + 20);
        bitCount = qFromLittleEndian<uint16_t>(head.constData() + 24);
    } else if (headerSize >= 40 && head.size() >= 34) {
        width = std::abs(qint64(qFromLittleEndian<int32_t>(head.constData() + 18)));
        height = std::abs(qint64(qFromLittleEndian<int32_t>(head.constData() + 22)));
        bitCount = qFromLittleEndian<uint16_t>(head.constData() + 28);
        compression = qFromLittleEndian<uint32_t>(head.constData() + 30);
    } else {
        return true;
    }
    const qint64 available = file.size() - qint64(dataOffset);
    if (compression == 0 || compression == 3 || compression == 6) { // RGB, bit fields, alpha bit fields
        const qint64 stride = ((width * qMax(bitCount, 1) + 31) / 32) * 4;
        return available * 8 >= stride * height;
    }
    if (compression == 1 || compression == 2) // RLE8, RLE4
        return available * 65536 >= width * height;
    return true;
}

// The GIF's logical screen: Qt draws the first frame on a canvas of this size (whatever size
// its reader reports for the frame).
QSize gifScreen(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(10);
    if (head.size() < 10)
        return {};
    return QSize(qFromLittleEndian<quint16>(head.constData() + 6), qFromLittleEndian<quint16>(head.constData() + 8));
}

// LZW codes of 12 bits stand for at most 4096 pixels each, so a screen far beyond what the
// file could describe is a header with nothing behind it.
bool gifDataPlausible(const QString &path, QSize screen)
{
    return QFileInfo(path).size() * 4096 >= qint64(screen.width()) * screen.height();
}

QImage decodeMetafile(QImageReader &reader, QSize target)
{
    const QSize natural = reader.size();
    const QSize size = target.isEmpty() ? natural : target;
    if (!WmfRenderer::canvasAllowed(size))
        return {};
    reader.setScaledSize(size);
    return reader.read();
}

QImage decodeRaster(QImageReader &reader, const QString &path, QSize target)
{
    const QByteArray format = reader.format();
    const QSize stored = storedSize(reader);
    if (stored.isEmpty())
        return {}; // every reader of ours knows the size from the header
    const bool quarter = rotatesQuarter(reader);
    PictureInfo info;
    info.pixels = quarter ? stored.transposed() : stored;
    const QSize upright = PictureDecodeSize(info, target);
    const QSize wanted = quarter ? upright.transposed() : upright;

    const bool jpeg = isFormat(format, "jpeg");
    const bool gif = isFormat(format, "gif");
    const QSize allocated = jpeg ? jpegDecodeStep(stored, wanted)
                            : gif  ? stored.expandedTo(gifScreen(path))
                                   : stored;
    if (pixelBytes(allocated) > kMaxDecodeBytes)
        return {};
    if (jpeg && !jpegDataPlausible(path))
        return {};
    if (isFormat(format, "bmp") && !bmpDataPlausible(path))
        return {};
    if (gif && !gifDataPlausible(path, allocated))
        return {};
    allowAllocation(pixelBytes(allocated));
    if (wanted != stored)
        reader.setScaledSize(wanted);
    QImage image = reader.read();
    // A damaged header can disagree with the pixels that follow it; keep the size promised.
    if (!image.isNull() && image.size() != upright)
        image = image.scaled(upright, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

QImage decodeIcon(const QString &path, QSize target)
{
    const std::vector<IconDirectory::Entry> entries = iconEntries(path);
    int attempts = 0;
    for (const IconDirectory::Entry &entry : entries) {
        if (++attempts > kMaxIconAttempts)
            break;
        // A fresh reader each time: a failed entry may leave the last one in an error state.
        Source source(path);
        QImageReader *reader = source.reader();
        if (!reader || !reader->jumpToImage(entry.index))
            continue;
        QImage image = reader->read();
        if (image.isNull())
            continue;
        // The icon reader cannot scale while decoding; icons are small, so scale afterwards. A
        // smaller entry standing in for a broken one keeps its own size: enlarging it to the
        // broken one's could cost more than the file is worth.
        PictureInfo info;
        info.pixels = image.size();
        const QSize size = PictureDecodeSize(info, target);
        if (size != image.size())
            image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        return image;
    }
    return {};
}

} // namespace

std::optional<PictureInfo> ReadPictureInfo(const QString &path)
{
    Source source(path);
    QImageReader *reader = source.reader();
    if (!reader)
        return std::nullopt;
    PictureInfo info;
    const QByteArray format = reader->format();
    if (isFormat(format, "wmf")) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() > WmfImageHandler::kMaxFileBytes)
            return std::nullopt;
        info.isMetafile = true;
        info.twips = WmfImageHandler::naturalTwips(file.readAll());
        info.pixels = WmfImageHandler::twipsToPixels(info.twips);
    } else {
        if (isIconFormat(format)) {
            const std::vector<IconDirectory::Entry> entries = iconEntries(path);
            if (!entries.empty())
                info.pixels = entries.front().size;
        } else {
            const QSize stored = storedSize(*reader);
            info.pixels = rotatesQuarter(*reader) ? stored.transposed() : stored;
        }
        info.twips = QSizeF(info.pixels) * 15.0;
    }
    if (info.pixels.isEmpty())
        return std::nullopt;
    return info;
}

QSize PictureDecodeSize(const PictureInfo &info, QSize target)
{
    if (target.isEmpty() || info.pixels.isEmpty())
        return info.pixels;
    if (info.isMetafile)
        return target;
    const QSize covering = info.pixels.scaled(target, Qt::KeepAspectRatioByExpanding);
    if (covering.width() >= info.pixels.width() || covering.height() >= info.pixels.height())
        return info.pixels;
    return covering.expandedTo(QSize(1, 1));
}

QImage DecodePicture(const QString &path, QSize target)
{
    Source source(path);
    QImageReader *reader = source.reader();
    if (!reader)
        return {};
    const QByteArray format = reader->format();
    QImage image;
    if (isFormat(format, "wmf"))
        image = decodeMetafile(*reader, target);
    else if (isIconFormat(format))
        image = decodeIcon(path, target);
    else
        image = decodeRaster(*reader, path, target);
    return paintReady(std::move(image));
}

} // namespace platform
