// The folders `make bench-thumbs` browses, made once and kept:
//   make_thumb_photos photos DIR COUNT WIDTH HEIGHT  -- camera-like JPEGs (quality 92, 2-5 MB at
//       4000 x 3000): a landscape with foliage-like detail and sensor noise; every second file
//       carries an Exif block with orientation 1 and a 160 x 120 JPEG thumbnail, as cameras write.
//   make_thumb_photos small DIR COUNT  -- 64 x 48 pictures, each its own content: 70% JPEG,
//       15% GIF, 15% BMP.
// Output is the same on every run (seeded per file, so the threads' order does not matter).
// DIR/.complete is written last and holds the parameters; when it matches, nothing is done.

#include "GifWriter.h"
#include "SeededRandom.h"

#include <QImage>

#include <turbojpeg.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kQuality = 92;

uint64_t mix(uint64_t a, uint64_t b)
{
    uint64_t h = a * 0x9E3779B97F4A7C15ull ^ (b + 0x632BE59BD9B4E019ull);
    h ^= h >> 31;
    return h * 0xBF58476D1CE4E5B9ull;
}

bool writeFile(const fs::path &path, const Bytes &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
    return bool(out);
}

Bytes encodeJpeg(tjhandle tj, const uint8_t *rgb, int w, int h, int quality)
{
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    if (tjCompress2(tj, rgb, w, 0, h, TJPF_RGB, &buffer, &size, TJSAMP_420, quality, 0) != 0) {
        std::fprintf(stderr, "JPEG encoding failed: %s\n", tjGetErrorStr2(tj));
        return {};
    }
    Bytes out(buffer, buffer + size);
    tjFree(buffer);
    return out;
}

// Smooth random values on a lattice of `cell` pixels, in [-1, 1], tiling with period `size`.
std::vector<float> valueNoise(int size, int cell, SeededRandom &rng)
{
    const int n = size / cell;
    std::vector<float> lattice(size_t(n) * n);
    for (float &v : lattice)
        v = float(rng.range(-1, 1));
    std::vector<float> out(size_t(size) * size);
    for (int y = 0; y < size; ++y) {
        const float fy = float(y % cell) / float(cell), sy = fy * fy * (3 - 2 * fy);
        const int y0 = y / cell, y1 = (y0 + 1) % n;
        for (int x = 0; x < size; ++x) {
            const float fx = float(x % cell) / float(cell), sx = fx * fx * (3 - 2 * fx);
            const int x0 = x / cell, x1 = (x0 + 1) % n;
            const float top = lattice[size_t(y0) * n + x0] * (1 - sx) + lattice[size_t(y0) * n + x1] * sx;
            const float bottom = lattice[size_t(y1) * n + x0] * (1 - sx) + lattice[size_t(y1) * n + x1] * sx;
            out[size_t(y) * size + x] = top * (1 - sy) + bottom * sy;
        }
    }
    return out;
}

// Fine texture (leaves, grass, gravel): octaves from 2 to 32 pixels, stronger at the fine end.
// Two tiles of coprime sizes are added, so the sum does not visibly repeat across a photo.
struct Texture
{
    int size = 0;
    std::vector<int8_t> values;

    Texture(int tileSize, uint64_t seed) : size(tileSize), values(size_t(tileSize) * tileSize)
    {
        SeededRandom rng(seed);
        std::vector<float> sum(values.size(), 0.f);
        const int cells[] = {2, 4, 8, 16, 32};
        const float weights[] = {1.0f, 0.9f, 0.7f, 0.5f, 0.4f};
        for (int i = 0; i < 5; ++i) {
            if (tileSize % cells[i] != 0)
                continue;
            const std::vector<float> octave = valueNoise(tileSize, cells[i], rng);
            for (size_t k = 0; k < sum.size(); ++k)
                sum[k] += weights[i] * octave[k];
        }
        for (size_t k = 0; k < sum.size(); ++k)
            values[k] = int8_t(std::clamp(sum[k] * 30.f, -127.f, 127.f));
    }
};

struct Rgb
{
    float r, g, b;
};

Rgb lerp(Rgb a, Rgb b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// One photo, row-major RGB.
std::vector<uint8_t> photo(int w, int h, uint64_t seed, const Texture &t1, const Texture &t2)
{
    SeededRandom rng(seed);
    // The scene at 1/16 scale: sky, a ridge line, ground with patches, some round objects (trees,
    // rocks); and how much fine texture each place gets (little in the sky, a lot in foliage).
    constexpr int kStep = 16;
    const int lw = w / kStep + 2, lh = h / kStep + 2;
    std::vector<Rgb> base(size_t(lw) * lh);
    std::vector<float> detail(base.size());
    const Rgb skyTop{float(rng.range(40, 110)), float(rng.range(90, 150)), float(rng.range(170, 235))};
    const Rgb skyLow{float(rng.range(170, 235)), float(rng.range(180, 225)), float(rng.range(190, 240))};
    const Rgb grass{float(rng.range(50, 120)), float(rng.range(90, 150)), float(rng.range(20, 70))};
    const Rgb earth{float(rng.range(100, 160)), float(rng.range(80, 120)), float(rng.range(40, 80))};
    const float horizon = float(rng.range(0.3, 0.6)) * float(lh);
    const float busy = float(rng.range(0.3, 1.2)); // how detailed this scene is: the file size's spread
    float phase[4], freq[4];
    for (int i = 0; i < 4; ++i) {
        phase[i] = float(rng.range(0, 6.283));
        freq[i] = float(rng.range(0.01, 0.08)) * float(i + 1);
    }
    SeededRandom patchRng(seed ^ 0x5151);
    const std::vector<float> patches = valueNoise(256, 32, patchRng);
    for (int y = 0; y < lh; ++y) {
        for (int x = 0; x < lw; ++x) {
            float ridge = horizon;
            for (int i = 0; i < 4; ++i)
                ridge += std::sin(float(x) * freq[i] + phase[i]) * float(lh) * 0.05f / float(i + 1);
            const size_t k = size_t(y) * lw + x;
            if (float(y) < ridge) {
                base[k] = lerp(skyTop, skyLow, std::clamp(float(y) / std::max(1.f, ridge), 0.f, 1.f));
                detail[k] = 0.08f;
            } else {
                const float p = patches[size_t(y % 256) * 256 + size_t(x % 256)];
                const float shade = 0.65f + 0.5f * (float(y) - ridge) / float(lh);
                Rgb c = lerp(grass, earth, std::clamp(p + 0.5f, 0.f, 1.f));
                base[k] = {c.r * shade, c.g * shade, c.b * shade};
                detail[k] = busy * (0.7f + 0.6f * std::fabs(p));
            }
        }
    }
    const int objects = 6 + rng.below(18);
    for (int i = 0; i < objects; ++i) {
        const float cx = float(rng.range(0, lw)), cy = float(rng.range(horizon * 0.8, lh));
        const float rx = float(rng.range(2, lw / 8.0)), ry = rx * float(rng.range(0.6, 1.8));
        const Rgb c{float(rng.range(20, 140)), float(rng.range(40, 140)), float(rng.range(10, 90))};
        for (int y = std::max(0, int(cy - ry)); y < std::min(lh, int(cy + ry) + 1); ++y) {
            for (int x = std::max(0, int(cx - rx)); x < std::min(lw, int(cx + rx) + 1); ++x) {
                const float dx = (float(x) - cx) / rx, dy = (float(y) - cy) / ry;
                if (dx * dx + dy * dy <= 1) {
                    base[size_t(y) * lw + x] = lerp(c, Rgb{c.r * 0.5f, c.g * 0.5f, c.b * 0.5f}, dy * 0.5f + 0.5f);
                    detail[size_t(y) * lw + x] = busy * 1.3f;
                }
            }
        }
    }

    std::vector<uint8_t> out(size_t(w) * h * 3);
    const int o1x = rng.below(t1.size), o1y = rng.below(t1.size);
    const int o2x = rng.below(t2.size), o2y = rng.below(t2.size);
    uint64_t noise = seed | 1;
    for (int y = 0; y < h; ++y) {
        const int ly = y / kStep;
        const float fy = float(y % kStep) / kStep;
        const int8_t *row1 = &t1.values[size_t((y + o1y) % t1.size) * t1.size];
        const int8_t *row2 = &t2.values[size_t((y + o2y) % t2.size) * t2.size];
        uint8_t *dst = &out[size_t(y) * w * 3];
        for (int x = 0; x < w; ++x) {
            const int lx = x / kStep;
            const float fx = float(x % kStep) / kStep;
            const size_t a = size_t(ly) * lw + lx, b = a + lw;
            const float w00 = (1 - fx) * (1 - fy), w10 = fx * (1 - fy), w01 = (1 - fx) * fy, w11 = fx * fy;
            const Rgb &c00 = base[a], &c10 = base[a + 1], &c01 = base[b], &c11 = base[b + 1];
            const float amount = detail[a] * w00 + detail[a + 1] * w10 + detail[b] * w01 + detail[b + 1] * w11;
            const float tex = amount * float(row1[(x + o1x) % t1.size] + row2[(x + o2x) % t2.size]);
            // Sensor noise: a little on every channel, whatever the scene.
            noise ^= noise << 13;
            noise ^= noise >> 7;
            noise ^= noise << 17;
            const float nr = float(noise & 3) - 1.5f, ng = float((noise >> 2) & 3) - 1.5f,
                        nb = float((noise >> 4) & 3) - 1.5f;
            const float r = c00.r * w00 + c10.r * w10 + c01.r * w01 + c11.r * w11 + tex + nr;
            const float g = c00.g * w00 + c10.g * w10 + c01.g * w01 + c11.g * w11 + tex * 1.1f + ng;
            const float bl = c00.b * w00 + c10.b * w10 + c01.b * w01 + c11.b * w11 + tex * 0.8f + nb;
            dst[0] = uint8_t(std::clamp(r, 0.f, 255.f));
            dst[1] = uint8_t(std::clamp(g, 0.f, 255.f));
            dst[2] = uint8_t(std::clamp(bl, 0.f, 255.f));
            dst += 3;
        }
    }
    return out;
}

// Box-averaged reduction, as a camera's thumbnail.
std::vector<uint8_t> shrink(const std::vector<uint8_t> &rgb, int w, int h, int tw, int th)
{
    std::vector<uint8_t> out(size_t(tw) * th * 3);
    for (int ty = 0; ty < th; ++ty) {
        const int y0 = ty * h / th, y1 = std::max(y0 + 1, (ty + 1) * h / th);
        for (int tx = 0; tx < tw; ++tx) {
            const int x0 = tx * w / tw, x1 = std::max(x0 + 1, (tx + 1) * w / tw);
            uint64_t sum[3] = {0, 0, 0};
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x)
                    for (int c = 0; c < 3; ++c)
                        sum[c] += rgb[(size_t(y) * w + x) * 3 + c];
            const uint64_t n = uint64_t(y1 - y0) * uint64_t(x1 - x0);
            for (int c = 0; c < 3; ++c)
                out[(size_t(ty) * tw + tx) * 3 + c] = uint8_t(sum[c] / n);
        }
    }
    return out;
}

// Little-endian TIFF structure inside an Exif APP1 segment.
class Tiff
{
public:
    struct Entry
    {
        uint16_t tag, type;
        uint32_t count;
        Bytes value; // as stored; more than 4 bytes go to the data area after the IFD
    };

    static Entry shortValue(uint16_t tag, uint16_t v) { return {tag, 3, 1, {uint8_t(v), uint8_t(v >> 8), 0, 0}}; }
    static Entry longValue(uint16_t tag, uint32_t v) { return {tag, 4, 1, le32(v)}; }
    static Entry rational(uint16_t tag, uint32_t num, uint32_t den)
    {
        Bytes v = le32(num);
        const Bytes d = le32(den);
        v.insert(v.end(), d.begin(), d.end());
        return {tag, 5, 1, v};
    }
    static Entry ascii(uint16_t tag, const std::string &s)
    {
        Bytes v(s.begin(), s.end());
        v.push_back(0);
        return {tag, 2, uint32_t(v.size()), v};
    }

    // Appends an IFD (entries sorted by tag, as readers expect) with its data; returns where its
    // "next IFD" field is, and where each entry's value field is, for patching offsets in later.
    size_t addIfd(std::vector<Entry> entries, std::vector<size_t> *valueFields = nullptr)
    {
        std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.tag < b.tag; });
        const size_t start = data.size();
        size_t dataAt = start + 2 + 12 * entries.size() + 4;
        put16(uint16_t(entries.size()));
        Bytes extra;
        for (const Entry &e : entries) {
            put16(e.tag);
            put16(e.type);
            put32(e.count);
            if (valueFields)
                valueFields->push_back(data.size());
            if (e.value.size() <= 4) {
                Bytes v = e.value;
                v.resize(4, 0);
                data.insert(data.end(), v.begin(), v.end());
            } else {
                put32(uint32_t(dataAt + extra.size()));
                extra.insert(extra.end(), e.value.begin(), e.value.end());
                if (extra.size() % 2)
                    extra.push_back(0);
            }
        }
        const size_t next = data.size();
        put32(0);
        data.insert(data.end(), extra.begin(), extra.end());
        return next;
    }

    void patch32(size_t at, uint32_t v)
    {
        const Bytes b = le32(v);
        std::copy(b.begin(), b.end(), data.begin() + std::ptrdiff_t(at));
    }

    Bytes data{'I', 'I', 0x2A, 0, 8, 0, 0, 0};

private:
    static Bytes le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
    void put16(uint16_t v)
    {
        data.push_back(uint8_t(v));
        data.push_back(uint8_t(v >> 8));
    }
    void put32(uint32_t v)
    {
        const Bytes b = le32(v);
        data.insert(data.end(), b.begin(), b.end());
    }
};

Bytes exifSegment(int w, int h, const Bytes &thumbnail, int index)
{
    Tiff t;
    // EXIF's date is 19 characters; the buffer has room for any int the compiler can imagine.
    char when[48];
    const unsigned n = unsigned(index);
    std::snprintf(when, sizeof when, "2024:06:%02u %02u:%02u:%02u", 1 + n % 28, n / 3600 % 24, n / 60 % 60, n % 60);
    std::vector<size_t> ifd0Values;
    const size_t ifd0Next = t.addIfd({Tiff::ascii(0x010F, "BenchCam"), Tiff::ascii(0x0110, "BC-1"),
                                      Tiff::shortValue(0x0112, 1), Tiff::rational(0x011A, 72, 1),
                                      Tiff::rational(0x011B, 72, 1), Tiff::shortValue(0x0128, 2),
                                      Tiff::ascii(0x0132, when), Tiff::longValue(0x8769, 0)},
                                     &ifd0Values);
    // The Exif IFD pointer is the last entry by tag.
    t.patch32(ifd0Values.back(), uint32_t(t.data.size()));
    t.addIfd({Tiff::ascii(0x9003, when), Tiff::longValue(0xA002, uint32_t(w)), Tiff::longValue(0xA003, uint32_t(h))});
    t.patch32(ifd0Next, uint32_t(t.data.size()));
    std::vector<size_t> ifd1Values;
    t.addIfd({Tiff::shortValue(0x0103, 6), Tiff::rational(0x011A, 72, 1), Tiff::rational(0x011B, 72, 1),
              Tiff::shortValue(0x0128, 2), Tiff::longValue(0x0201, 0),
              Tiff::longValue(0x0202, uint32_t(thumbnail.size()))},
             &ifd1Values);
    t.patch32(ifd1Values[4], uint32_t(t.data.size()));
    t.data.insert(t.data.end(), thumbnail.begin(), thumbnail.end());

    const size_t length = 2 + 6 + t.data.size();
    if (length > 0xFFFF)
        return {};
    Bytes seg{0xFF, 0xE1, uint8_t(length >> 8), uint8_t(length), 'E', 'x', 'i', 'f', 0, 0};
    seg.insert(seg.end(), t.data.begin(), t.data.end());
    return seg;
}

// Camera files start with the Exif segment and have no JFIF one.
Bytes withExif(const Bytes &jpeg, const Bytes &exif)
{
    size_t rest = 2;
    if (jpeg.size() > 6 && jpeg[2] == 0xFF && jpeg[3] == 0xE0)
        rest = 4 + ((size_t(jpeg[4]) << 8) | jpeg[5]);
    Bytes out{0xFF, 0xD8};
    out.insert(out.end(), exif.begin(), exif.end());
    out.insert(out.end(), jpeg.begin() + std::ptrdiff_t(rest), jpeg.end());
    return out;
}

std::string numbered(const std::string &prefix, int i, int count, const char *suffix)
{
    const int digits = std::max(4, int(std::to_string(count).size()));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*d", digits, i);
    return prefix + buf + suffix;
}

// Runs job(i) for i in [0, count) on every core; false if any job failed.
template <typename Job>
bool onAllCores(int count, Job job)
{
    std::atomic<int> next{0};
    std::atomic<bool> ok{true};
    std::vector<std::thread> threads;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned c = 0; c < cores; ++c) {
        threads.emplace_back([&] {
            tjhandle tj = tjInitCompress();
            for (int i = next++; i < count && ok; i = next++) {
                if (!job(tj, i))
                    ok = false;
            }
            tjDestroy(tj);
        });
    }
    for (std::thread &t : threads)
        t.join();
    return ok;
}

bool makePhotos(const fs::path &dir, int count, int w, int h)
{
    const Texture t1(1024, 11), t2(992, 12);
    std::atomic<uint64_t> total{0};
    const bool ok = onAllCores(count, [&](tjhandle tj, int i) {
        const uint64_t seed = mix(2024, uint64_t(i));
        const std::vector<uint8_t> rgb = photo(w, h, seed, t1, t2);
        Bytes jpeg = encodeJpeg(tj, rgb.data(), w, h, kQuality);
        if (jpeg.empty())
            return false;
        // Every second file (the 2nd, 4th, ...) carries the camera's thumbnail.
        if (i % 2 == 1) {
            const int tw = w >= h ? 160 : 120, th = w >= h ? 120 : 160;
            const Bytes thumb = encodeJpeg(tj, shrink(rgb, w, h, tw, th).data(), tw, th, 85);
            const Bytes exif = exifSegment(w, h, thumb, i);
            if (thumb.empty() || exif.empty())
                return false;
            jpeg = withExif(jpeg, exif);
        }
        total += jpeg.size();
        return writeFile(dir / numbered("photo-", i + 1, count, ".jpg"), jpeg);
    });
    if (ok)
        std::printf("%d photos, %d x %d, %.2f MB on average\n", count, w, h, double(total) / count / 1e6);
    return ok;
}

Bytes bmp(const std::vector<uint8_t> &rgb, int w, int h)
{
    const int stride = (w * 3 + 3) & ~3;
    const uint32_t pixels = uint32_t(stride * h), fileSize = 54 + pixels;
    Bytes out(54, 0);
    auto le = [&out](size_t at, uint32_t v, int n) {
        for (int k = 0; k < n; ++k)
            out[at + size_t(k)] = uint8_t(v >> (8 * k));
    };
    out[0] = 'B';
    out[1] = 'M';
    le(2, fileSize, 4);
    le(10, 54, 4);
    le(14, 40, 4);
    le(18, uint32_t(w), 4);
    le(22, uint32_t(h), 4);
    le(26, 1, 2);
    le(28, 24, 2);
    le(34, pixels, 4);
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t *p = &rgb[(size_t(y) * w + x) * 3];
            out.push_back(p[2]);
            out.push_back(p[1]);
            out.push_back(p[0]);
        }
        out.resize(out.size() + size_t(stride - w * 3), 0);
    }
    return out;
}

Bytes gif(const std::vector<uint8_t> &rgb, int w, int h)
{
    // A 6 x 6 x 6 colour cube is plenty for a 64 x 48 picture.
    QImage indexed(w, h, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < 216; ++i)
        table.append(qRgb(i / 36 * 51, i / 6 % 6 * 51, i % 6 * 51));
    indexed.setColorTable(table);
    for (int y = 0; y < h; ++y) {
        uchar *line = indexed.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const uint8_t *p = &rgb[(size_t(y) * w + x) * 3];
            line[x] = uchar((p[0] + 25) / 51 * 36 + (p[1] + 25) / 51 * 6 + (p[2] + 25) / 51);
        }
    }
    GifWriter writer(indexed.size());
    if (!writer.addFrame(indexed))
        return {};
    const QByteArray data = writer.encode();
    return Bytes(data.begin(), data.end());
}

bool makeSmall(const fs::path &dir, int count)
{
    constexpr int w = 64, h = 48;
    return onAllCores(count, [&](tjhandle tj, int i) {
        SeededRandom rng(mix(77, uint64_t(i)));
        std::vector<uint8_t> rgb(size_t(w) * h * 3);
        const int r0 = rng.below(256), g0 = rng.below(256), b0 = rng.below(256);
        const int cx = rng.below(w), cy = rng.below(h), radius = 6 + rng.below(18);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const bool inside = (x - cx) * (x - cx) + (y - cy) * (y - cy) < radius * radius;
                const int n = rng.below(24) - 12;
                uint8_t *p = &rgb[(size_t(y) * w + x) * 3];
                p[0] = uint8_t(std::clamp((inside ? 255 - r0 : r0) + n + x, 0, 255));
                p[1] = uint8_t(std::clamp((inside ? 255 - g0 : g0) + n + y, 0, 255));
                p[2] = uint8_t(std::clamp((inside ? 255 - b0 : b0) + n, 0, 255));
            }
        }
        const int kind = i % 20;
        Bytes data;
        const char *suffix = ".jpg";
        if (kind < 14) {
            data = encodeJpeg(tj, rgb.data(), w, h, 90);
        } else if (kind < 17) {
            data = gif(rgb, w, h);
            suffix = ".gif";
        } else {
            data = bmp(rgb, w, h);
            suffix = ".bmp";
        }
        return !data.empty() && writeFile(dir / numbered("pic-", i + 1, count, suffix), data);
    });
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string kind = argc > 1 ? argv[1] : "";
    if (!((kind == "photos" && argc == 6) || (kind == "small" && argc == 4))) {
        std::fprintf(stderr, "usage: %s photos DIR COUNT WIDTH HEIGHT | small DIR COUNT\n", argv[0]);
        return 2;
    }
    const fs::path dir = argv[2];
    const int count = std::atoi(argv[3]);
    const int w = kind == "photos" ? std::atoi(argv[4]) : 64, h = kind == "photos" ? std::atoi(argv[5]) : 48;
    if (count < 1 || count > 10000000 || (kind == "photos" && (w < 160 || h < 120 || w > 20000 || h > 20000))) {
        std::fprintf(stderr, "bad count or size\n");
        return 2;
    }
    // Bump the version whenever the output changes, so kept folders are made again.
    std::ostringstream stampText;
    stampText << "version 1\n" << kind << ' ' << count << ' ' << w << ' ' << h << '\n';
    const fs::path stamp = dir / ".complete";
    {
        std::ifstream in(stamp);
        const std::string have((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (have == stampText.str())
            return 0;
    }
    std::error_code ec;
    fs::remove(stamp, ec);
    fs::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "cannot make %s: %s\n", dir.c_str(), ec.message().c_str());
        return 1;
    }
    const bool ok = kind == "photos" ? makePhotos(dir, count, w, h) : makeSmall(dir, count);
    if (!ok) {
        std::fprintf(stderr, "could not write the pictures into %s\n", dir.c_str());
        return 1;
    }
    std::ofstream(stamp) << stampText.str();
    return 0;
}
