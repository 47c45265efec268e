#include "ColorQuantizer.h"

#include <algorithm>
#include <array>
#include <climits>
#include <vector>

namespace {

constexpr int alphaThreshold = 128;
constexpr int maxCarried = 16;
// About 20 levels in each channel, in colorDistance units.
constexpr int maxDitherDistance = 9 * 20 * 20;

struct Bin
{
    int key = 0;  // 5 bits per channel: r << 10 | g << 5 | b
    qint64 count = 0;
    qint64 sumR = 0, sumG = 0, sumB = 0;

    int channel(int c) const { return (key >> (10 - 5 * c)) & 31; }
};

int colorDistance(int r1, int g1, int b1, QRgb c)
{
    // Green weighs most and blue least, roughly as the eye does.
    const int dr = r1 - qRed(c), dg = g1 - qGreen(c), db = b1 - qBlue(c);
    return 3 * dr * dr + 4 * dg * dg + 2 * db * db;
}

int nearestIndex(const QList<QRgb> &palette, int r, int g, int b)
{
    int best = 0;
    int bestDistance = INT_MAX;
    for (int i = 0; i < palette.size(); ++i) {
        const int d = colorDistance(r, g, b, palette.at(i));
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

} // namespace

QList<QRgb> ColorQuantizer::medianCut(const QImage &image, int maxColors)
{
    const QImage src = image.convertToFormat(QImage::Format_ARGB32);
    std::vector<Bin> histogram(32768);
    for (int y = 0; y < src.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(src.constScanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            const QRgb c = line[x];
            if (qAlpha(c) < alphaThreshold)
                continue;
            Bin &bin = histogram[(qRed(c) >> 3) << 10 | (qGreen(c) >> 3) << 5 | (qBlue(c) >> 3)];
            ++bin.count;
            bin.sumR += qRed(c);
            bin.sumG += qGreen(c);
            bin.sumB += qBlue(c);
        }
    }
    std::vector<Bin> bins;
    for (int key = 0; key < int(histogram.size()); ++key) {
        if (histogram[key].count > 0) {
            histogram[key].key = key;
            bins.push_back(histogram[key]);
        }
    }
    if (bins.empty() || maxColors < 1)
        return {};

    struct Box { int begin; int end; };
    std::vector<Box> boxes{{0, int(bins.size())}};
    auto range = [&](const Box &box, int channel) {
        int low = 31, high = 0;
        for (int i = box.begin; i < box.end; ++i) {
            low = std::min(low, bins[i].channel(channel));
            high = std::max(high, bins[i].channel(channel));
        }
        return high - low;
    };
    while (int(boxes.size()) < maxColors) {
        // Split the box whose colours are both many and far apart.
        int chosen = -1;
        qint64 bestScore = 0;
        int bestChannel = 0;
        for (int b = 0; b < int(boxes.size()); ++b) {
            const Box &box = boxes[b];
            if (box.end - box.begin < 2)
                continue;
            qint64 population = 0;
            for (int i = box.begin; i < box.end; ++i)
                population += bins[i].count;
            for (int c = 0; c < 3; ++c) {
                const qint64 score = qint64(range(box, c)) * population;
                if (score > bestScore) {
                    bestScore = score;
                    chosen = b;
                    bestChannel = c;
                }
            }
        }
        if (chosen < 0)
            break;
        const Box box = boxes[chosen];
        std::sort(bins.begin() + box.begin, bins.begin() + box.end, [bestChannel](const Bin &a, const Bin &b) {
            return a.channel(bestChannel) != b.channel(bestChannel) ? a.channel(bestChannel) < b.channel(bestChannel)
                                                                    : a.key < b.key;
        });
        qint64 total = 0;
        for (int i = box.begin; i < box.end; ++i)
            total += bins[i].count;
        qint64 running = 0;
        int split = box.begin + 1;
        for (int i = box.begin; i < box.end - 1; ++i) {
            running += bins[i].count;
            split = i + 1;
            if (running * 2 >= total)
                break;
        }
        boxes[chosen] = {box.begin, split};
        boxes.push_back({split, box.end});
    }

    QList<QRgb> palette;
    for (const Box &box : boxes) {
        qint64 n = 0, r = 0, g = 0, b = 0;
        for (int i = box.begin; i < box.end; ++i) {
            n += bins[i].count;
            r += bins[i].sumR;
            g += bins[i].sumG;
            b += bins[i].sumB;
        }
        palette.append(qRgb(int((r + n / 2) / n), int((g + n / 2) / n), int((b + n / 2) / n)));
    }

    // Box means drift towards the middle of the colour range, so the darkest sky of a gradient
    // may have no entry at all. A few k-means passes over the histogram pull entries back to
    // the colours that are actually used.
    for (int pass = 0; pass < 4; ++pass) {
        std::vector<qint64> n(palette.size(), 0), r(palette.size(), 0), g(palette.size(), 0), b(palette.size(), 0);
        for (const Bin &bin : bins) {
            const int mr = int(bin.sumR / bin.count), mg = int(bin.sumG / bin.count), mb = int(bin.sumB / bin.count);
            const int i = nearestIndex(palette, mr, mg, mb);
            n[i] += bin.count;
            r[i] += bin.sumR;
            g[i] += bin.sumG;
            b[i] += bin.sumB;
        }
        for (int i = 0; i < palette.size(); ++i) {
            if (n[i] > 0)
                palette[i] = qRgb(int((r[i] + n[i] / 2) / n[i]), int((g[i] + n[i] / 2) / n[i]), int((b[i] + n[i] / 2) / n[i]));
        }
    }
    return palette;
}

QImage ColorQuantizer::toIndexed(const QImage &image, int maxColors, Dither dither)
{
    const QImage src = image.convertToFormat(QImage::Format_ARGB32);
    const int width = src.width();
    const int height = src.height();
    maxColors = std::clamp(maxColors, 2, 256);

    bool hasTransparent = false;
    std::vector<QRgb> unique;
    bool exact = true;
    for (int y = 0; y < height; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(src.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            if (qAlpha(line[x]) < alphaThreshold) {
                hasTransparent = true;
                continue;
            }
            if (exact) {
                const QRgb c = line[x] | 0xFF000000u;
                // Most neighbours repeat the last colour; keep the scan cheap for them.
                if (!unique.empty() && unique.back() == c)
                    continue;
                if (std::find(unique.begin(), unique.end(), c) == unique.end()) {
                    unique.push_back(c);
                    if (int(unique.size()) > maxColors)
                        exact = false;
                }
            }
        }
    }
    const int opaqueLimit = hasTransparent ? maxColors - 1 : maxColors;
    exact = exact && int(unique.size()) <= opaqueLimit;

    QList<QRgb> palette;
    if (exact) {
        std::sort(unique.begin(), unique.end());
        palette = QList<QRgb>(unique.begin(), unique.end());
    } else {
        palette = medianCut(src, opaqueLimit);
    }
    if (palette.isEmpty())
        palette.append(qRgb(0, 0, 0));
    const int transparentIndex = hasTransparent ? int(palette.size()) : -1;

    QImage out(width, height, QImage::Format_Indexed8);
    QList<QRgb> table = palette;
    if (hasTransparent)
        table.append(qRgba(0, 0, 0, 0));
    out.setColorTable(table);

    std::array<qint16, 32768> cache;
    cache.fill(-1);
    auto lookup = [&](int r, int g, int b) {
        const int key = (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
        if (cache[key] < 0)
            cache[key] = qint16(nearestIndex(palette, (r & ~7) | 4, (g & ~7) | 4, (b & ~7) | 4));
        return int(cache[key]);
    };

    const bool diffuse = !exact && dither == Dither::FloydSteinberg;
    // Error rows for the current and next line, three channels, one spare pixel either side.
    // Rows alternate direction (serpentine), which avoids the regular rows of stray dots that
    // left-to-right diffusion leaves in smooth gradients.
    std::vector<int> errCurrent(3 * (width + 2), 0), errNext(3 * (width + 2), 0);
    for (int y = 0; y < height; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(src.constScanLine(y));
        uchar *dst = out.scanLine(y);
        std::fill(errNext.begin(), errNext.end(), 0);
        const bool reverse = diffuse && (y % 2 == 1);
        const int dir = reverse ? -1 : 1;
        for (int i = 0; i < width; ++i) {
            const int x = reverse ? width - 1 - i : i;
            const QRgb c = line[x];
            if (qAlpha(c) < alphaThreshold) {
                dst[x] = uchar(transparentIndex);
                continue;
            }
            if (exact) {
                const auto it = std::lower_bound(unique.begin(), unique.end(), c | 0xFF000000u);
                dst[x] = uchar(it - unique.begin());
                continue;
            }
            int rgb[3] = {qRed(c), qGreen(c), qBlue(c)};
            if (diffuse) {
                // A little fixed jitter stops near-flat gradients from turning the carried
                // error into tidy rows of dots.
                const quint32 hash = (quint32(x) * 73856093u) ^ (quint32(y) * 19349663u);
                const int jitter = int((hash * 2654435761u) >> 29) - 4;
                // The carried error is bounded: where a colour lies beyond the palette's range
                // it would otherwise grow until some distant colour is picked, leaving specks.
                for (int k = 0; k < 3; ++k) {
                    const int carried = std::clamp(errCurrent[3 * (x + 1) + k] / 16, -maxCarried, maxCarried);
                    rgb[k] = std::clamp(rgb[k] + carried + jitter, 0, 255);
                }
            }
            int index = lookup(rgb[0], rgb[1], rgb[2]);
            if (diffuse) {
                // Dithering may mix neighbouring colours, not fetch a far one to make up for
                // a few levels of difference: that reads as specks.
                const int plain = lookup(qRed(c), qGreen(c), qBlue(c));
                if (colorDistance(qRed(c), qGreen(c), qBlue(c), palette.at(index))
                    > colorDistance(qRed(c), qGreen(c), qBlue(c), palette.at(plain)) + maxDitherDistance) {
                    index = plain;
                }
            }
            dst[x] = uchar(index);
            if (diffuse) {
                const QRgb chosen = palette.at(index);
                const int err[3] = {rgb[0] - qRed(chosen), rgb[1] - qGreen(chosen), rgb[2] - qBlue(chosen)};
                // Slot of pixel x is x + 1; the spare slots absorb error that falls off the edge.
                const int ahead = x + 1 + dir, behind = x + 1 - dir;
                for (int k = 0; k < 3; ++k) {
                    errCurrent[3 * ahead + k] += err[k] * 7;
                    errNext[3 * behind + k] += err[k] * 3;
                    errNext[3 * (x + 1) + k] += err[k] * 5;
                    errNext[3 * ahead + k] += err[k];
                }
            }
        }
        std::swap(errCurrent, errNext);
    }
    return out;
}
