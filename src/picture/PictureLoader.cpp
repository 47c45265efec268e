#include "picture/PictureLoader.h"

#include "base/FileSys.h"
#include "picture/Budget.h"
#include "picture/Colour.h"
#include "picture/HeaderRepair.h"
#include "picture/IconDirectory.h"
#include "picture/jpeg/JpegFrame.h"
#include "picture/jpeg/JpegSplit.h"
#include "picture/wmf/WmfImageHandler.h"
#include "picture/wmf/WmfRenderer.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMutex>
#include <QMutexLocker>
#include <QPixelFormat>
#include <QTransform>
#include <QtEndian>
#include <QtPlugin>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Registers the metafile plugin with QImageReader for every program that links this file.
Q_IMPORT_PLUGIN(WmfImagePlugin)

namespace picture {

namespace {

// Files larger than this are not read at all; what is read counts against the decode budget.
constexpr qint64 kMaxFileBytes = qint64(256) << 20;
// Entries tried, largest first, when an icon's best entry will not decode.
constexpr int kMaxIconAttempts = 8;

using Problem = PictureProblem;

bool isFormat(const QByteArray &format, const char *name) { return format == name; }

bool isOurFormat(const QByteArray &format)
{
    return isFormat(format, "bmp") || isFormat(format, "jpeg") || isFormat(format, "gif")
           || isFormat(format, "ico") || isFormat(format, "cur") || isFormat(format, "wmf");
}

bool isIconFormat(const QByteArray &format) { return isFormat(format, "ico") || isFormat(format, "cur"); }

QString suffixOf(const QString &path) { return QFileInfo(path).suffix().toLower(); }

bool hasWmfSuffix(const QString &path) { return suffixOf(path) == QLatin1String("wmf"); }

// A name of one of the seven kinds: read only as one of them (or PNG), never as a format Qt
// guesses from damaged content.
bool hasOurSuffix(const QString &path)
{
    static const QStringList ours{"bmp", "jpg", "jpeg", "gif", "ico", "cur", "wmf"};
    return ours.contains(suffixOf(path));
}

// The file's bytes: only a regular file, opened without blocking (a FIFO or device put in its
// place is refused, never waited on), and never more than its size.
struct FileBytes
{
    QByteArray bytes;
    Problem problem = Problem::None;
};

FileBytes readRegularFile(const QString &path, Reservation &reservation)
{
    FileBytes out;
    // The name's own bytes: a name that is not UTF-8 is opened as it is on disk.
    const int fd = ::open(base::EncodePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        out.problem = Problem::Unreadable;
        return out;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        out.problem = Problem::Unreadable;
        return out;
    }
    if (st.st_size > kMaxFileBytes || !reservation.hold(st.st_size)) {
        ::close(fd);
        out.problem = Problem::TooLarge;
        return out;
    }
    out.bytes.resize(qsizetype(st.st_size));
    base::ReadFully(fd, out.bytes); // shrunk meanwhile: what is there is what there is
    ::close(fd);
    return out;
}

// A reader on the file's bytes, or on a repaired copy of them (see HeaderRepair), with the
// format chosen as described in the header. `reader` is null when the bytes cannot be read as a
// picture this file may be.
class Source
{
public:
    Source(const QString &path, const QByteArray &bytes)
        : m_bytes(bytes)
    {
        m_buffer.setData(m_bytes);
        m_buffer.open(QIODevice::ReadOnly);
        m_reader = std::make_unique<QImageReader>();
        if (hasWmfSuffix(path)) {
            m_reader->setFormat("wmf");
            m_reader->setDecideFormatFromContent(false);
        } else {
            m_reader->setDecideFormatFromContent(true);
        }
        m_reader->setDevice(&m_buffer);
        m_reader->setAutoTransform(true);
        const QByteArray format = m_reader->canRead() ? m_reader->format() : QByteArray();
        const bool readable = !format.isEmpty()
                              && (isOurFormat(format) || isFormat(format, "png") || !hasOurSuffix(path));
        if (hasWmfSuffix(path) || (readable && !isFormat(format, "bmp"))) {
            if (!readable)
                m_reader.reset();
            return;
        }
        // What Qt turns down may be an icon with a misstated directory; what it takes for a BMP
        // may carry an info header it cannot read.
        if (!openRepaired() && !readable)
            m_reader.reset();
    }

    QImageReader *reader() const { return m_reader.get(); }
    // The bytes the reader reads (a repaired copy counts twice against the budget).
    qint64 bytesHeld() const { return m_repaired ? m_bytes.size() : 0; }

private:
    // Swaps in a reader on a repaired copy when one is needed and possible.
    bool openRepaired()
    {
        if (m_bytes.size() > HeaderRepair::kMaxBytes)
            return false;
        const bool bmp = m_bytes.startsWith("BM");
        if (bmp && (m_bytes.size() < 18 || qFromLittleEndian<quint32>(m_bytes.constData() + 14) < 52))
            return false; // a header Qt knows: nothing to repair
        std::optional<QByteArray> repaired = bmp ? HeaderRepair::bmp(m_bytes) : HeaderRepair::icon(m_bytes);
        if (!repaired)
            return false;
        m_repairedBytes = std::move(*repaired);
        m_repairedBuffer.setData(m_repairedBytes);
        if (!m_repairedBuffer.open(QIODevice::ReadOnly))
            return false;
        auto reader = std::make_unique<QImageReader>(&m_repairedBuffer, bmp ? QByteArray("bmp") : QByteArray("ico"));
        reader->setAutoTransform(true);
        if (!reader->canRead())
            return false;
        m_reader = std::move(reader);
        m_repaired = true;
        return true;
    }

    QByteArray m_bytes;
    QBuffer m_buffer;
    QByteArray m_repairedBytes;
    QBuffer m_repairedBuffer;
    bool m_repaired = false;
    std::unique_ptr<QImageReader> m_reader;
};

// Qt's allocation limit is one value for the whole process, so it is only ever raised (under a
// lock) to what a sound picture needs, never lowered while another thread may rely on it. Our
// own budget comes first, so it never goes past that.
void allowAllocation(qint64 bytes)
{
    static QMutex lock;
    QMutexLocker locker(&lock);
    const int limit = QImageReader::allocationLimit();
    const int needed = int((std::min(bytes, kDecodeBudgetBytes) + (1 << 20) - 1) >> 20) + 1;
    if (limit > 0 && limit < needed)
        QImageReader::setAllocationLimit(needed);
}

qint64 pixelBytes(QSize size, int bytesPerPixel = 4)
{
    return qint64(std::max(size.width(), 0)) * std::max(size.height(), 0) * bytesPerPixel;
}

// The icon's entries, best first (see IconDirectory), without those claiming more pixels than
// any decode may allocate.
std::vector<IconDirectory::Entry> iconEntries(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    std::vector<IconDirectory::Entry> entries = IconDirectory::read(&buffer);
    std::erase_if(entries, [](const IconDirectory::Entry &e) { return pixelBytes(e.size) > kDecodeBudgetBytes; });
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

// The reduction, in eighths, libjpeg decodes at before Qt scales to `wanted`: the smallest that
// still covers it, as Qt's JPEG reader picks it. The split decode takes the same one, so that it
// gives the same pixels and makes the image the budget counts.
int jpegScaleEighths(QSize stored, QSize wanted)
{
    if (wanted.isEmpty() || wanted == stored)
        return 8;
    const double f = std::min(double(stored.width()) / wanted.width(), double(stored.height()) / wanted.height());
    return std::clamp(int(std::ceil(8.0 / f)), 1, 8);
}

// The size libjpeg gives at that reduction.
QSize jpegDecodeStep(QSize stored, int eighths)
{
    return QSize(int((qint64(stored.width()) * eighths + 7) / 8), int((qint64(stored.height()) * eighths + 7) / 8));
}

// What QImageReader does with a file's orientation when it turns the picture itself.
void orient(QImage &image, QImageIOHandler::Transformations t)
{
    if (t == QImageIOHandler::TransformationNone)
        return;
    if (t == QImageIOHandler::TransformationRotate270) {
        image = image.transformed(QTransform().rotate(270));
        return;
    }
    image = std::move(image).mirrored(t.testFlag(QImageIOHandler::TransformationMirror),
                                      t.testFlag(QImageIOHandler::TransformationFlip));
    if (t.testFlag(QImageIOHandler::TransformationRotate90))
        image = image.transformed(QTransform().rotate(90));
}

// A large reduced JPEG on two cores when it is one that can be split, as Qt's reader would give
// it; a null image otherwise.
QImage decodeJpegSplit(QImageReader &reader, const QByteArray &bytes, const std::optional<JpegFrame> &frame,
                       QSize stored, QSize wanted)
{
    if (!JpegSplit::allowedOnThisThread() || !frame || frame->scans != 1 || frame->progressive || frame->arithmetic || frame->components.size() != 3
        || wanted == stored || !JpegSplit::worthIt(qint64(stored.width()) * stored.height()))
        return {};
    std::optional<QImage> image = JpegSplit::decode(bytes, jpegScaleEighths(stored, wanted));
    if (!image || image->isNull())
        return {};
    if (image->size() != wanted)
        *image = image->scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    orient(*image, reader.transformation());
    return std::move(*image);
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

// What a BMP header promises, for judging its cost and its data before decoding.
struct BmpHeader
{
    qint64 width = 0;
    qint64 height = 0;
    int bitCount = 0;
    uint32_t compression = 0;
    uint32_t dataOffset = 0;
    bool known = false;
};

BmpHeader bmpHeader(const QByteArray &bytes)
{
    BmpHeader h;
    if (bytes.size() < 30)
        return h;
    const char *d = bytes.constData();
    h.dataOffset = qFromLittleEndian<uint32_t>(d + 10);
    const uint32_t headerSize = qFromLittleEndian<uint32_t>(d + 14);
    if (headerSize == 12) {
        h.width = qFromLittleEndian<uint16_t>(d + 18);
        h.height = qFromLittleEndian<uint16_t>(d + 20);
        h.bitCount = qFromLittleEndian<uint16_t>(d + 24);
        h.known = true;
    } else if (headerSize >= 40 && bytes.size() >= 34) {
        h.width = std::abs(qint64(qFromLittleEndian<int32_t>(d + 18)));
        h.height = std::abs(qint64(qFromLittleEndian<int32_t>(d + 22)));
        h.bitCount = qFromLittleEndian<uint16_t>(d + 28);
        h.compression = qFromLittleEndian<uint32_t>(d + 30);
        h.known = true;
    }
    return h;
}

// Whether a BMP's data can hold the pixels its header claims. Uncompressed rows must be at
// least an eighth there (Qt shows cut files partially); run-length data may skip whole areas,
// so it is held only to a loose bound.
bool bmpDataPlausible(const BmpHeader &h, qint64 fileSize)
{
    if (!h.known)
        return true; // the decoder has the last word
    const qint64 available = fileSize - qint64(h.dataOffset);
    if (h.compression == 0 || h.compression == 3 || h.compression == 6) { // RGB, bit fields, alpha bit fields
        const qint64 stride = ((h.width * qMax(h.bitCount, 1) + 31) / 32) * 4;
        return available * 8 >= stride * h.height;
    }
    if (h.compression == 1 || h.compression == 2) // RLE8, RLE4
        return available * 65536 >= h.width * h.height;
    return true;
}

// The GIF's logical screen: Qt draws the first frame on a canvas of this size (whatever size
// its reader reports for the frame).
QSize gifScreen(const QByteArray &bytes)
{
    if (bytes.size() < 10)
        return {};
    return QSize(qFromLittleEndian<quint16>(bytes.constData() + 6), qFromLittleEndian<quint16>(bytes.constData() + 8));
}

// A decode's outcome before the pixels are converted for painting.
struct Decoded
{
    QImage image;
    Problem problem = Problem::None;
    int iconEntry = -1; // the icon entry shown
};

Decoded failed(Problem problem) { return {QImage(), problem, -1}; }

Decoded decodeMetafile(QImageReader &reader, QSize target, qint64 fileBytes, Reservation &reservation)
{
    const QSize natural = reader.size();
    if (natural.isEmpty())
        return failed(Problem::Damaged);
    const QSize size = target.isEmpty() ? natural : target;
    // The handler and libwmf each keep a copy of the file; the canvas, and libwmf's own budget.
    const qint64 cost = 3 * fileBytes + 2 * pixelBytes(size) + WmfRenderer::kLibraryBudgetBytes;
    if (!WmfRenderer::canvasAllowed(size) || !reservation.hold(cost))
        return failed(Problem::TooLarge);
    reader.setScaledSize(size);
    QImage image = reader.read();
    if (image.isNull())
        return failed(WmfRenderer::lastPlayOverBudget() ? Problem::TooLarge : Problem::Damaged);
    return {std::move(image), Problem::None, -1};
}

Decoded decodeRaster(QImageReader &reader, const QByteArray &bytes, qint64 extraBytes, QSize target,
                     Reservation &reservation)
{
    const QByteArray format = reader.format();
    const QSize stored = storedSize(reader);
    if (stored.isEmpty())
        return failed(Problem::Damaged); // every reader of ours knows the size from the header
    const bool quarter = rotatesQuarter(reader);
    PictureInfo info;
    info.pixels = quarter ? stored.transposed() : stored;
    const QSize upright = PictureDecodeSize(info, target);
    const QSize wanted = quarter ? upright.transposed() : upright;

    // Everything the decode allocates besides the file: the result and its conversion for
    // painting, and what the format's reader needs on the way.
    qint64 cost = bytes.size() + extraBytes + 2 * pixelBytes(upright);
    std::optional<JpegFrame> frame;
    if (isFormat(format, "jpeg")) {
        frame = JpegFrame::parse(bytes);
        if (frame) {
            if (frame->scans > JpegFrame::kMaxScans)
                return failed(Problem::Damaged);
            if (frame->scanBlocks > JpegFrame::kMaxScanBlocks)
                return failed(Problem::TooLarge);
            if (bytes.size() < frame->minimumDataBytes())
                return failed(Problem::Damaged);
            // libjpeg's whole-image coefficients, a few rows of every component (for each of two
            // decoders when split), the reduced decode.
            cost += frame->coefficientBytes() + 2 * qint64(stored.width()) * 64 * qint64(std::max<size_t>(frame->components.size(), 1));
        }
        if (wanted != stored)
            cost += pixelBytes(jpegDecodeStep(stored, jpegScaleEighths(stored, wanted)));
    } else if (isFormat(format, "bmp")) {
        const BmpHeader header = bmpHeader(bytes);
        if (!bmpDataPlausible(header, bytes.size()))
            return failed(Problem::Damaged);
        // Read whole (no reduced decoding): the stored pixels, in 32 bits when Qt converts them
        // or scales them down.
        const int native = header.known && header.bitCount <= 8 ? 1 : 4;
        cost += pixelBytes(stored, native) + (native != 4 || wanted != stored ? pixelBytes(stored) : 0);
    } else if (isFormat(format, "gif")) {
        // The first frame is drawn on a canvas of the whole logical screen, converted to scale it.
        const QSize screen = stored.expandedTo(gifScreen(bytes));
        if (qint64(bytes.size()) * 4096 < qint64(screen.width()) * screen.height())
            return failed(Problem::Damaged); // LZW codes stand for at most 4096 pixels each
        cost += 2 * pixelBytes(screen);
    } else {
        // Qt's other readers: the whole picture, a converted copy, and the reader's own buffers.
        cost += 3 * pixelBytes(stored);
    }
    if (!reservation.hold(cost))
        return failed(Problem::TooLarge);
    allowAllocation(cost);
    QImage image = isFormat(format, "jpeg") ? decodeJpegSplit(reader, bytes, frame, stored, wanted) : QImage();
    if (image.isNull()) {
        if (wanted != stored)
            reader.setScaledSize(wanted);
        image = reader.read();
    }
    if (image.isNull())
        return failed(Problem::Damaged);
    // A damaged header can disagree with the pixels that follow it; keep the size promised.
    if (image.size() != upright)
        image = image.scaled(upright, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return {std::move(image), Problem::None, -1};
}

Decoded decodeIcon(const QString &path, const QByteArray &bytes, QSize target, Reservation &reservation)
{
    const std::vector<IconDirectory::Entry> entries = iconEntries(bytes);
    Problem problem = entries.empty() ? Problem::Damaged : Problem::None;
    int attempts = 0;
    for (const IconDirectory::Entry &entry : entries) {
        if (++attempts > kMaxIconAttempts)
            break;
        // Decoded whole, then scaled: the entry, its conversion, the scaled copy; and a repaired
        // copy of the file.
        const QSize shown = PictureDecodeSize(PictureInfo{entry.size, false, {}}, target);
        if (!reservation.hold(2 * qint64(bytes.size()) + 3 * pixelBytes(entry.size) + 2 * pixelBytes(shown))) {
            if (reservation.Busy())
                return failed(Problem::TooLarge); // tried again once there is room
            problem = Problem::TooLarge;
            continue;
        }
        // A fresh reader each time: a failed entry may leave the last one in an error state.
        Source source(path, bytes);
        QImageReader *reader = source.reader();
        if (!reader || !reader->jumpToImage(entry.index)) {
            problem = Problem::Damaged;
            continue;
        }
        allowAllocation(3 * pixelBytes(entry.size));
        QImage image = reader->read();
        if (image.isNull() || pixelBytes(image.size()) > pixelBytes(entry.size)) {
            problem = Problem::Damaged;
            continue;
        }
        // The icon reader cannot scale while decoding; icons are small, so scale afterwards. A
        // smaller entry standing in for a broken one keeps its own size: enlarging it to the
        // broken one's could cost more than the file is worth.
        PictureInfo info;
        info.pixels = image.size();
        const QSize size = PictureDecodeSize(info, target);
        if (size != image.size())
            image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        return {std::move(image), Problem::None, entry.index};
    }
    return failed(problem == Problem::None ? Problem::Damaged : problem);
}

// The natural size, read from the headers; nullopt when there is none to be had.
std::optional<PictureInfo> infoOf(QImageReader &reader, const QByteArray &bytes)
{
    PictureInfo info;
    const QByteArray format = reader.format();
    if (isFormat(format, "wmf")) {
        if (bytes.size() > WmfImageHandler::kMaxFileBytes)
            return std::nullopt;
        info.isMetafile = true;
        info.twips = WmfImageHandler::naturalTwips(bytes);
        info.pixels = WmfImageHandler::twipsToPixels(info.twips);
    } else {
        if (isIconFormat(format)) {
            const std::vector<IconDirectory::Entry> entries = iconEntries(bytes);
            if (!entries.empty())
                info.pixels = entries.front().size;
        } else {
            const QSize stored = storedSize(reader);
            info.pixels = rotatesQuarter(reader) ? stored.transposed() : stored;
        }
        info.twips = QSizeF(info.pixels) * 15.0;
    }
    if (info.pixels.isEmpty())
        return std::nullopt;
    return info;
}

// The colour profile the decoded picture carries: read from the file for the formats it is
// known in, else as Qt's reader gives it.
EmbeddedProfile profileOf(const QByteArray &format, const QByteArray &bytes, const Decoded &decoded)
{
    if (isFormat(format, "jpeg"))
        return JpegProfile(bytes);
    if (isFormat(format, "png"))
        return PngProfile(bytes);
    if (isFormat(format, "bmp"))
        return BmpProfile(bytes);
    if (isIconFormat(format))
        return IconEntryProfile(bytes, decoded.iconEntry);
    if (isOurFormat(format))
        return {};
    const QColorSpace space = decoded.image.colorSpace();
    if (!space.isValid() || space == QColorSpace(QColorSpace::SRgb))
        return {};
    const QByteArray icc = space.iccProfile();
    if (icc.size() > kMaxProfileBytes)
        return {QByteArray(), QStringLiteral("the colour profile is too large")};
    return {icc, {}};
}

// The decoded pixels in the display's colours; a note when a profile had to be ignored.
QString toDisplayColours(QImage &image, const EmbeddedProfile &embedded, const QByteArray &displayProfile)
{
    QString note = embedded.problem.isEmpty() ? QString() : QStringLiteral("colour profile ignored: %1").arg(embedded.problem);
    QByteArray profile = embedded.profile;
    if (!profile.isEmpty() && (image.format() == QImage::Format_Grayscale8 || image.format() == QImage::Format_Grayscale16)) {
        note = QStringLiteral("colour profile ignored: an RGB profile on a grey picture");
        profile.clear();
    }
    if (profile.isEmpty() && displayProfile.isEmpty())
        return note; // sRGB on sRGB: the pixels as decoded
    const QString converted = ConvertToDisplay(image, profile, displayProfile);
    if (!converted.isEmpty())
        note = converted;
    return note;
}

// One attempt at the whole load under `reservation`.
LoadedImage loadOnce(const QString &path, const std::function<QSize(const PictureInfo &)> &target,
                     const std::function<bool(const PictureInfo &)> &proceed, const QByteArray &displayProfile,
                     Reservation &reservation)
{
    LoadedImage out;
    const FileBytes file = readRegularFile(path, reservation);
    if (file.problem != Problem::None) {
        out.problem = file.problem;
        return out;
    }
    Source source(path, file.bytes);
    QImageReader *reader = source.reader();
    if (!reader) {
        out.problem = Problem::NotAPicture;
        return out;
    }
    const std::optional<PictureInfo> info = infoOf(*reader, file.bytes);
    if (!info) {
        out.problem = Problem::Damaged;
        return out;
    }
    out.info = *info;
    if (proceed && !proceed(*info))
        return out;
    const QSize size = target ? target(*info) : QSize();
    const QByteArray format = reader->format();
    Decoded decoded;
    if (isFormat(format, "wmf"))
        decoded = decodeMetafile(*reader, size, file.bytes.size(), reservation);
    else if (isIconFormat(format))
        decoded = decodeIcon(path, file.bytes, size, reservation);
    else
        decoded = decodeRaster(*reader, file.bytes, source.bytesHeld(), size, reservation);
    if (!decoded.image.isNull())
        out.colourNote = toDisplayColours(decoded.image, profileOf(format, file.bytes, decoded), displayProfile);
    out.image = paintReady(std::move(decoded.image));
    out.problem = out.image.isNull() ? (decoded.problem == Problem::None ? Problem::Damaged : decoded.problem)
                                     : Problem::None;
    return out;
}

// Waits allowed before a decode that keeps finding the budget taken gives up.
constexpr int kMaxWaits = 8;

// Runs `attempt` until it is not refused for want of room at the moment. A refused attempt has
// freed everything it allocated when it returns; then the decode waits, holding nothing, until
// what it asked for fits, and reads the file again (it may have changed meanwhile).
template <typename Result>
Result whenThereIsRoom(const std::function<Result(Reservation &)> &attempt)
{
    Reservation reservation;
    for (int waits = 0;; ++waits) {
        Result result = attempt(reservation);
        if (!reservation.Busy() || waits == kMaxWaits)
            return result;
        reservation.WaitFor(reservation.Wanted());
    }
}

} // namespace

std::optional<PictureInfo> ReadPictureInfo(const QString &path)
{
    return whenThereIsRoom<std::optional<PictureInfo>>([&](Reservation &reservation) -> std::optional<PictureInfo> {
        const FileBytes file = readRegularFile(path, reservation);
        if (file.problem != Problem::None)
            return std::nullopt;
        Source source(path, file.bytes);
        QImageReader *reader = source.reader();
        if (!reader)
            return std::nullopt;
        return infoOf(*reader, file.bytes);
    });
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

LoadedImage LoadPicture(const QString &path, const std::function<QSize(const PictureInfo &)> &target,
                        const std::function<bool(const PictureInfo &)> &proceed, const QByteArray &displayProfile)
{
    return whenThereIsRoom<LoadedImage>([&](Reservation &reservation) {
        return loadOnce(path, target, proceed, displayProfile, reservation);
    });
}

QImage DecodePicture(const QString &path, QSize target)
{
    return LoadPicture(path, [target](const PictureInfo &) { return target; }).image;
}

} // namespace picture
