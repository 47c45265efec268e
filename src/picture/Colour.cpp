#include "picture/Colour.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QtEndian>

#include <lcms2.h>
#include <lcms2_plugin.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <list>
#include <memory>
#include <thread>
#include <vector>

namespace picture {

namespace {

const uchar *bytesOf(const QByteArray &a) { return reinterpret_cast<const uchar *>(a.constData()); }
quint32 be32(const uchar *p) { return qFromBigEndian<quint32>(p); }
quint32 le32(const uchar *p) { return qFromLittleEndian<quint32>(p); }
quint16 le16(const uchar *p) { return qFromLittleEndian<quint16>(p); }

EmbeddedProfile problem(const char *why) { return {QByteArray(), QString::fromLatin1(why)}; }

// --- Profiles in files -------------------------------------------------------------------

constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";

// Inflates a zlib stream, refusing to give more than kMaxProfileBytes.
EmbeddedProfile inflateProfile(const uchar *data, qsizetype size)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return problem("the colour profile cannot be unpacked");
    QByteArray out;
    z.next_in = const_cast<uchar *>(data);
    z.avail_in = uInt(size);
    int status = Z_OK;
    while (status == Z_OK) {
        if (out.size() > kMaxProfileBytes)
            break;
        const qsizetype done = out.size();
        out.resize(std::min<qsizetype>(done + (qsizetype(64) << 10), kMaxProfileBytes + 1));
        z.next_out = reinterpret_cast<Bytef *>(out.data() + done);
        z.avail_out = uInt(out.size() - done);
        status = inflate(&z, Z_NO_FLUSH);
        out.truncate(out.size() - qsizetype(z.avail_out));
        if (status == Z_BUF_ERROR && z.avail_in == 0)
            break; // the stream ends early
    }
    inflateEnd(&z);
    if (out.size() > kMaxProfileBytes)
        return problem("the colour profile is too large");
    if (status != Z_STREAM_END)
        return problem("the colour profile is damaged");
    return {out, {}};
}

} // namespace

EmbeddedProfile JpegProfile(const QByteArray &file)
{
    const uchar *d = bytesOf(file);
    const qsizetype n = file.size();
    if (n < 4 || d[0] != 0xFF || d[1] != 0xD8)
        return {};
    struct Chunk { int seq; qsizetype at; qsizetype size; };
    std::vector<Chunk> chunks;
    int count = 0;
    bool consistent = true;
    qsizetype total = 0;
    // The headers up to the first scan; a profile may follow the frame header.
    for (qsizetype pos = 2; pos + 4 <= n;) {
        if (d[pos] != 0xFF)
            break;
        const uchar marker = d[pos + 1];
        if (marker == 0xFF) { // fill
            ++pos;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) { // no length
            pos += 2;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            break;
        const qsizetype length = (d[pos + 2] << 8) | d[pos + 3];
        if (length < 2 || pos + 2 + length > n)
            break;
        if (marker == 0xE2 && length >= 16 && std::memcmp(d + pos + 4, "ICC_PROFILE", 12) == 0) {
            const int seq = d[pos + 16], of = d[pos + 17];
            if (count == 0)
                count = of;
            consistent = consistent && of == count;
            chunks.push_back({seq, pos + 18, length - 16});
            total += length - 16;
            if (total > kMaxProfileBytes)
                return problem("the colour profile is too large");
        }
        pos += 2 + length;
    }
    if (chunks.empty())
        return {};
    std::sort(chunks.begin(), chunks.end(), [](const Chunk &a, const Chunk &b) { return a.seq < b.seq; });
    // Numbered 1 to count, each once; any order in the file.
    bool complete = consistent && count == int(chunks.size());
    for (size_t i = 0; complete && i < chunks.size(); ++i)
        complete = chunks[i].seq == int(i) + 1;
    if (!complete)
        return problem("the colour profile's parts are missing or repeated");
    QByteArray profile;
    profile.reserve(total);
    for (const Chunk &c : chunks)
        profile.append(file.constData() + c.at, c.size);
    return {profile, {}};
}

EmbeddedProfile PngProfile(const QByteArray &file)
{
    const uchar *d = bytesOf(file);
    const qsizetype n = file.size();
    if (n < 8 || std::memcmp(d, kPngSignature, 8) != 0)
        return {};
    for (qsizetype pos = 8; pos + 12 <= n;) {
        const qsizetype length = be32(d + pos);
        const uchar *type = d + pos + 4;
        if (length > n - pos - 12)
            break;
        if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0)
            break;
        if (std::memcmp(type, "iCCP", 4) == 0) {
            const uchar *data = d + pos + 8;
            if (crc32(0, type, uInt(length + 4)) != be32(data + length))
                return problem("the colour profile is damaged");
            const uchar *nul = static_cast<const uchar *>(std::memchr(data, 0, size_t(std::min<qsizetype>(length, 80))));
            if (!nul || nul + 2 > data + length || nul[1] != 0)
                return problem("the colour profile is damaged");
            return inflateProfile(nul + 2, data + length - (nul + 2));
        }
        pos += 12 + length;
    }
    return {};
}

EmbeddedProfile BmpProfile(const QByteArray &file)
{
    const uchar *d = bytesOf(file);
    const qint64 n = file.size();
    constexpr qint64 kV5 = 124, kInfoAt = 14;
    if (n < kInfoAt + kV5 || d[0] != 'B' || d[1] != 'M' || le32(d + kInfoAt) < kV5)
        return {};
    if (le32(d + kInfoAt + 56) != 0x4D424544) // 'MBED': embedded ('LNK ' names a file: not followed)
        return {};
    const qint64 at = kInfoAt + qint64(le32(d + kInfoAt + 112)), size = le32(d + kInfoAt + 116);
    if (size == 0)
        return {};
    if (size > kMaxProfileBytes)
        return problem("the colour profile is too large");
    if (at + size > n)
        return problem("the colour profile is cut short");
    return {file.mid(qsizetype(at), qsizetype(size)), {}};
}

EmbeddedProfile IconEntryProfile(const QByteArray &file, int index)
{
    const uchar *d = bytesOf(file);
    const qint64 n = file.size();
    if (n < 6 || index < 0 || index >= le16(d + 4) || 6 + 16 * qint64(index + 1) > n)
        return {};
    const uchar *entry = d + 6 + 16 * index;
    const qint64 size = le32(entry + 8), at = le32(entry + 12);
    if (at >= n || at + 8 > n || std::memcmp(d + at, kPngSignature, 8) != 0)
        return {};
    return PngProfile(file.mid(qsizetype(at), qsizetype(std::min(size, n - at))));
}

// --- Checking a profile --------------------------------------------------------------------

namespace {

constexpr quint32 sig(const char (&s)[5])
{
    return quint32(uchar(s[0])) << 24 | quint32(uchar(s[1])) << 16 | quint32(uchar(s[2])) << 8 | quint32(uchar(s[3]));
}

constexpr qsizetype kHeaderBytes = 128;
// lcms2 reads no more; real profiles have a few dozen.
constexpr quint32 kMaxTags = 100;

// The profile as lcms2 may see it, or a reason why not. Floating-point tags (D2Bx, B2Dx) are
// taken out of the directory: their element chains are unbounded work, and the lookup tables
// beside them describe the same conversion.
QByteArray checked(const QByteArray &profile, QString *why)
{
    const auto fail = [why](const char *text) {
        *why = QString::fromLatin1(text);
        return QByteArray();
    };
    if (profile.size() > kMaxProfileBytes)
        return fail("too large");
    if (profile.size() < kHeaderBytes + 4)
        return fail("cut short");
    const uchar *d = bytesOf(profile);
    const qint64 declared = be32(d);
    if (declared > profile.size())
        return fail("cut short");
    if (declared < kHeaderBytes + 4 || be32(d + 36) != sig("acsp"))
        return fail("damaged");
    const quint32 deviceClass = be32(d + 12);
    if (deviceClass != sig("mntr") && deviceClass != sig("scnr") && deviceClass != sig("spac"))
        return fail("not a display or input profile");
    if (be32(d + 16) != sig("RGB "))
        return fail("not an RGB profile");
    if (be32(d + 20) != sig("XYZ ") && be32(d + 20) != sig("Lab "))
        return fail("damaged");
    const quint32 count = be32(d + kHeaderBytes);
    if (count > kMaxTags)
        return fail("too many tags");
    const qint64 tableEnd = kHeaderBytes + 4 + 12 * qint64(count);
    if (tableEnd > declared)
        return fail("cut short");
    QByteArray out = profile.left(qsizetype(declared));
    quint32 kept = 0;
    for (quint32 i = 0; i < count; ++i) {
        const uchar *entry = d + kHeaderBytes + 4 + 12 * i;
        const quint32 tag = be32(entry);
        const qint64 at = be32(entry + 4), size = be32(entry + 8);
        if (at < tableEnd || size < 8 || at + size > declared)
            return fail("a tag lies outside the profile");
        const uchar *data = d + at;
        const bool lut = tag == sig("A2B0") || tag == sig("A2B1") || tag == sig("A2B2") || tag == sig("B2A0")
                         || tag == sig("B2A1") || tag == sig("B2A2");
        if (lut) {
            const quint32 type = be32(data);
            const bool known = type == sig("mft1") || type == sig("mft2") || type == sig("mAB ") || type == sig("mBA ");
            if (!known || size < 12 || data[8] != 3 || data[9] != 3)
                return fail("a lookup table is not of RGB");
        }
        const bool floating = (tag & 0xFFFFFF00u) == (sig("D2B0") & 0xFFFFFF00u)
                              || (tag & 0xFFFFFF00u) == (sig("B2D0") & 0xFFFFFF00u);
        if (floating)
            continue;
        std::memcpy(out.data() + kHeaderBytes + 4 + 12 * kept++, entry, 12);
    }
    if (kept != count)
        qToBigEndian<quint32>(kept, out.data() + kHeaderBytes);
    return out;
}

// --- lcms2 under a memory cap ----------------------------------------------------------------

// What one transform's making may allocate. Each block records its cap, so that it is given
// back whichever thread frees it.
struct Cap
{
    std::atomic<qint64> used{0};
    std::atomic<bool> refused{false};
};

thread_local Cap *t_cap = nullptr;
thread_local QString *t_error = nullptr;

struct alignas(std::max_align_t) Block
{
    Cap *cap;
    size_t size;
};

void *capMalloc(cmsContext, cmsUInt32Number size)
{
    Cap *cap = t_cap;
    if (cap && cap->used.fetch_add(size) + qint64(size) > kMaxColourWorkBytes) {
        cap->used.fetch_sub(size);
        cap->refused = true;
        return nullptr;
    }
    auto *block = static_cast<Block *>(std::malloc(sizeof(Block) + size));
    if (!block) {
        if (cap)
            cap->used.fetch_sub(size);
        return nullptr;
    }
    *block = {cap, size};
    return block + 1;
}

void capFree(cmsContext, void *ptr)
{
    if (!ptr)
        return;
    Block *block = static_cast<Block *>(ptr) - 1;
    if (block->cap)
        block->cap->used.fetch_sub(qint64(block->size));
    std::free(block);
}

void *capRealloc(cmsContext context, void *ptr, cmsUInt32Number size)
{
    void *fresh = capMalloc(context, size);
    if (fresh && ptr)
        std::memcpy(fresh, ptr, std::min<size_t>(size, (static_cast<Block *>(ptr) - 1)->size));
    if (fresh)
        capFree(context, ptr);
    return fresh;
}

cmsPluginMemHandler g_memory = {
    {cmsPluginMagicNumber, 2000, cmsPluginMemHandlerSig, nullptr}, capMalloc, capFree, capRealloc, nullptr, nullptr,
    nullptr};

void logError(cmsContext, cmsUInt32Number, const char *text)
{
    if (t_error && t_error->isEmpty())
        *t_error = QString::fromUtf8(text).left(200);
}

// Two matrix-shaper profiles (the usual camera and display ones) in three tables: each channel
// to linear light in 1.14 fixed point, one 3 x 3 matrix, linear light back to 8 bits. The same
// arithmetic lcms2 optimises such a pair to, without its per-pixel calls: about three times as
// fast, which is most of what a tagged photo costs.
struct MatrixShaper
{
    static constexpr int kOne = 1 << 14;
    int32_t in[3][256];
    int32_t m[3][3];
    // term[c][k][v]: what input channel k at value v adds to output channel c, matrix applied.
    int32_t term[3][3][256];
    uint8_t out[3][kOne + 1];

    void prepare()
    {
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k)
                for (int v = 0; v < 256; ++v)
                    term[c][k][v] = m[c][k] * in[k][v];
    }

    void apply(uchar *bgra, int pixels) const
    {
        for (int i = 0; i < pixels; ++i, bgra += 4) {
            const uchar r = bgra[2], g = bgra[1], b = bgra[0];
            const auto channel = [&](int c) {
                const int32_t v = (term[c][0][r] + term[c][1][g] + term[c][2][b] + (kOne / 2)) >> 14;
                return out[c][std::clamp(v, 0, kOne)];
            };
            bgra[2] = channel(0);
            bgra[1] = channel(1);
            bgra[0] = channel(2);
        }
    }
};

// The tables for `source` to `target`, when both are matrix-shaper RGB profiles whose curves
// and colorants read cleanly; else none (lcms2 does the work).
std::unique_ptr<MatrixShaper> matrixShaper(cmsHPROFILE source, cmsHPROFILE target)
{
    if (!cmsIsMatrixShaper(source) || !cmsIsMatrixShaper(target))
        return nullptr;
    const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    // The colorants as columns: linear RGB to XYZ.
    const auto matrixOf = [&](cmsHPROFILE p, double m[3][3]) {
        for (int c = 0; c < 3; ++c) {
            const auto *xyz = static_cast<const cmsCIEXYZ *>(cmsReadTag(p, colorants[c]));
            if (!xyz)
                return false;
            m[0][c] = xyz->X;
            m[1][c] = xyz->Y;
            m[2][c] = xyz->Z;
        }
        return true;
    };
    double ms[3][3], md[3][3];
    if (!matrixOf(source, ms) || !matrixOf(target, md))
        return nullptr;
    const double det = md[0][0] * (md[1][1] * md[2][2] - md[1][2] * md[2][1])
                       - md[0][1] * (md[1][0] * md[2][2] - md[1][2] * md[2][0])
                       + md[0][2] * (md[1][0] * md[2][1] - md[1][1] * md[2][0]);
    if (!(std::abs(det) > 1e-9))
        return nullptr;
    double inv[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            inv[r][c] = (md[r1][c1] * md[r2][c2] - md[r1][c2] * md[r2][c1]) / det;
        }
    auto t = std::make_unique<MatrixShaper>();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double v = 0;
            for (int k = 0; k < 3; ++k)
                v += inv[r][k] * ms[k][c];
            if (!(std::abs(v) < 64))
                return nullptr;
            t->m[r][c] = int32_t(std::lround(v * MatrixShaper::kOne));
        }
    for (int c = 0; c < 3; ++c) {
        const auto *curve = static_cast<const cmsToneCurve *>(cmsReadTag(source, curves[c]));
        const auto *back = static_cast<const cmsToneCurve *>(cmsReadTag(target, curves[c]));
        cmsToneCurve *reverse = back ? cmsReverseToneCurve(back) : nullptr;
        if (!curve || !reverse) {
            if (reverse)
                cmsFreeToneCurve(reverse);
            return nullptr;
        }
        for (int v = 0; v < 256; ++v)
            t->in[c][v] = int32_t(std::lround(std::clamp(cmsEvalToneCurveFloat(curve, float(v / 255.0)), 0.0f, 1.0f)
                                              * MatrixShaper::kOne));
        for (int i = 0; i <= MatrixShaper::kOne; ++i)
            t->out[c][i] = uint8_t(std::lround(
                std::clamp(cmsEvalToneCurveFloat(reverse, float(double(i) / MatrixShaper::kOne)), 0.0f, 1.0f) * 255.0));
        cmsFreeToneCurve(reverse);
    }
    t->prepare();
    return t;
}

// A transform between two profiles (empty = sRGB), or why there is none.
struct Transform
{
    QByteArray from, to;
    Cap cap;
    cmsContext context = nullptr;
    cmsHTRANSFORM transform = nullptr;
    std::unique_ptr<MatrixShaper> fast; // the same transform for a matrix-shaper pair
    QString problem;

    Transform() = default;
    Transform(const Transform &) = delete;
    Transform &operator=(const Transform &) = delete;
    ~Transform()
    {
        if (transform)
            cmsDeleteTransform(transform);
        if (context)
            cmsDeleteContext(context);
    }
};

std::atomic<int> g_made{0};

cmsUInt32Number pixelFormat()
{
    return Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TYPE_BGRA_8 : TYPE_ARGB_8;
}

std::shared_ptr<const Transform> make(const QByteArray &from, const QByteArray &to)
{
    auto t = std::make_shared<Transform>();
    t->from = from;
    t->to = to;
    ++g_made;
    // Checked again here: what lcms2 reads is the checked copy, float tags taken out.
    QString why;
    const QByteArray in = from.isEmpty() ? QByteArray() : checked(from, &why);
    const QByteArray out = to.isEmpty() ? QByteArray() : checked(to, &why);
    if (!why.isEmpty()) {
        t->problem = why;
        return t;
    }
    t_cap = &t->cap;
    QString error;
    t_error = &error;
    t->context = cmsCreateContext(&g_memory, nullptr);
    cmsHPROFILE source = nullptr, target = nullptr;
    if (t->context) {
        cmsSetLogErrorHandlerTHR(t->context, logError);
        const auto open = [&](const QByteArray &p) {
            return p.isEmpty() ? cmsCreate_sRGBProfileTHR(t->context)
                               : cmsOpenProfileFromMemTHR(t->context, p.constData(), cmsUInt32Number(p.size()));
        };
        source = open(in);
        target = open(out);
    }
    if (source && target) {
        // Perceptual where both have it; relative colorimetric otherwise.
        const bool perceptual = cmsIsIntentSupported(source, INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT)
                                && cmsIsIntentSupported(target, INTENT_PERCEPTUAL, LCMS_USED_AS_OUTPUT);
        t->transform = cmsCreateTransformTHR(t->context, source, pixelFormat(), target, pixelFormat(),
                                             perceptual ? INTENT_PERCEPTUAL : INTENT_RELATIVE_COLORIMETRIC,
                                             cmsFLAGS_NOCACHE);
        if (t->transform && Q_BYTE_ORDER == Q_LITTLE_ENDIAN) // the tables read B, G, R, A
            t->fast = matrixShaper(source, target);
    }
    if (source)
        cmsCloseProfile(source);
    if (target)
        cmsCloseProfile(target);
    t_cap = nullptr;
    t_error = nullptr;
    if (!t->transform) {
        t->problem = t->cap.refused.load() ? QStringLiteral("too large")
                     : error.isEmpty()                             ? QStringLiteral("cannot be used")
                                                                   : QStringLiteral("cannot be used (%1)").arg(error);
    }
    return t;
}

// The transforms made, most recently used first; a failed one is kept too, so that a bad
// profile met again costs nothing.
constexpr size_t kKeptTransforms = 8;

std::shared_ptr<const Transform> transformFor(const QByteArray &from, const QByteArray &to)
{
    static QMutex lock;
    static std::list<std::shared_ptr<const Transform>> kept;
    {
        const QMutexLocker locker(&lock);
        const auto it = std::find_if(kept.begin(), kept.end(),
                                     [&](const auto &t) { return t->from == from && t->to == to; });
        if (it != kept.end()) {
            kept.splice(kept.begin(), kept, it);
            return kept.front();
        }
    }
    std::shared_ptr<const Transform> made = make(from, to); // outside the lock: it may take a while
    const QMutexLocker locker(&lock);
    kept.push_front(made);
    if (kept.size() > kKeptTransforms)
        kept.pop_back();
    return made;
}

// Rows converted on a second thread when there are this many pixels: the decode's other
// core is free by then.
constexpr qint64 kSplitPixels = qint64(1) << 18;

void apply(const Transform &t, QImage &image)
{
    const int width = image.width(), height = image.height();
    const qsizetype stride = image.bytesPerLine();
    uchar *bits = image.bits();
    const auto rows = [&](int from, int to) {
        if (to > from && t.fast) {
            for (int y = from; y < to; ++y)
                t.fast->apply(bits + y * stride, width);
        } else if (to > from)
            cmsDoTransformLineStride(t.transform, bits + from * stride, bits + from * stride, cmsUInt32Number(width),
                                     cmsUInt32Number(to - from), cmsUInt32Number(stride), cmsUInt32Number(stride), 0, 0);
    };
    if (qint64(width) * height < kSplitPixels) {
        rows(0, height);
        return;
    }
    std::thread other(rows, height / 2, height);
    rows(0, height / 2);
    other.join();
}

} // namespace

QString ProfileProblem(const QByteArray &profile)
{
    QString why;
    checked(profile, &why);
    return why;
}

QString ConvertToDisplay(QImage &image, const QByteArray &pictureProfile, const QByteArray &displayProfile)
{
    if ((pictureProfile.isEmpty() && displayProfile.isEmpty()) || image.isNull())
        return {};
    // An ignored profile counts as sRGB: an ignored picture profile leaves the picture as an
    // untagged one, an ignored display profile the display as an sRGB one.
    QString note;
    QByteArray from = pictureProfile, to = displayProfile;
    if (!from.isEmpty()) {
        if (const QString why = ProfileProblem(from); !why.isEmpty()) {
            note = QStringLiteral("colour profile ignored: %1").arg(why);
            from.clear();
        }
    }
    if (!to.isEmpty()) {
        if (const QString why = ProfileProblem(to); !why.isEmpty()) {
            note = QStringLiteral("display colour profile ignored: %1").arg(why);
            to.clear();
        }
    }
    if (from == to) // the same profile both sides (sRGB included): nothing changes
        return note;
    const std::shared_ptr<const Transform> t = transformFor(from, to);
    if (!t->transform)
        return QStringLiteral("colour profile ignored: %1").arg(t->problem);
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
        image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    apply(*t, image);
    return note;
}

int TransformsMade()
{
    return g_made.load();
}

} // namespace picture
