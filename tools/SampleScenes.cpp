#include "SampleScenes.h"

#include "SeededRandom.h"

#include <QConicalGradient>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

QImage opaqueCanvas(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

QImage transparentCanvas(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage finish(QPainter &p, QImage &image, QImage::Format format)
{
    p.end();
    return image.convertToFormat(format);
}

QColor withAlpha(QColor color, int alpha)
{
    color.setAlpha(alpha);
    return color;
}

QColor mix(const QColor &a, const QColor &b, qreal t)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t), float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// Midpoint displacement: a jagged ridge of 2^levels + 1 heights, normalised to 0..1.
std::vector<double> ridgeLine(SeededRandom &rng, int levels, double roughness)
{
    const int n = 1 << levels;
    std::vector<double> v(n + 1, 0.0);
    v[0] = rng.range(0.2, 0.6);
    v[n] = rng.range(0.2, 0.6);
    double amplitude = 0.6;
    for (int step = n; step > 1; step /= 2) {
        for (int i = 0; i < n; i += step)
            v[i + step / 2] = (v[i] + v[i + step]) / 2 + rng.range(-amplitude, amplitude);
        amplitude *= roughness;
    }
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    const double low = *lo, span = std::max(1e-9, *hi - *lo);
    for (double &x : v)
        x = (x - low) / span;
    return v;
}

QPainterPath ridgePath(const std::vector<double> &ridge, qreal width, qreal base, qreal low, qreal high)
{
    QPainterPath path;
    path.moveTo(0, base);
    for (size_t i = 0; i < ridge.size(); ++i)
        path.lineTo(width * qreal(i) / qreal(ridge.size() - 1), base - low - (high - low) * ridge[i]);
    path.lineTo(width, base);
    path.closeSubpath();
    return path;
}

// A smooth hill line made of a few sines with seeded phases.
QPainterPath wavePath(SeededRandom &rng, qreal width, qreal bottom, qreal level, qreal amplitude, int waves)
{
    const double phase1 = rng.range(0, 2 * M_PI), phase2 = rng.range(0, 2 * M_PI);
    QPainterPath path;
    path.moveTo(0, bottom);
    const int steps = 96;
    for (int i = 0; i <= steps; ++i) {
        const double t = double(i) / steps;
        const double y = level - amplitude * (0.65 * std::sin(t * waves * M_PI + phase1)
                                              + 0.35 * std::sin(t * waves * 2.3 * M_PI + phase2));
        path.lineTo(width * t, y);
    }
    path.lineTo(width, bottom);
    path.closeSubpath();
    return path;
}

void drawPine(QPainter &p, QPointF base, qreal height, const QColor &color)
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    const qreal half = height * 0.2;
    for (int tier = 0; tier < 3; ++tier) {
        const qreal top = base.y() - height + tier * height * 0.24;
        const qreal bottom = top + height * 0.42;
        const qreal spread = half * (0.55 + 0.3 * tier);
        path.moveTo(base.x(), top);
        path.lineTo(base.x() + spread, bottom);
        path.lineTo(base.x() - spread, bottom);
        path.closeSubpath();
    }
    path.addRect(QRectF(base.x() - height * 0.03, base.y() - height * 0.12, height * 0.06, height * 0.12));
    p.fillPath(path, color);
}

void drawCloud(QPainter &p, SeededRandom &rng, QPointF centre, qreal size, const QColor &color)
{
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 10; ++i) {
        const qreal dx = rng.range(-1.0, 1.0) * size;
        const qreal dy = rng.range(-0.25, 0.12) * size;
        const qreal r = size * (0.55 - 0.25 * std::abs(dx / size)) * rng.range(0.7, 1.1);
        const QPointF c = centre + QPointF(dx, dy);
        QRadialGradient g(c, r);
        g.setColorAt(0.0, withAlpha(color, 210));
        g.setColorAt(0.6, withAlpha(color, 150));
        g.setColorAt(1.0, withAlpha(color, 0));
        p.setBrush(g);
        p.drawEllipse(c, r, r * 0.8);
    }
}

void drawStars(QPainter &p, SeededRandom &rng, const QRectF &area, int count, qreal maxRadius)
{
    p.setPen(Qt::NoPen);
    for (int i = 0; i < count; ++i) {
        const QPointF c(area.left() + rng.uniform() * area.width(), area.top() + std::pow(rng.uniform(), 1.4) * area.height());
        const qreal r = std::max(0.4, maxRadius * std::pow(rng.uniform(), 3.0));
        const int alpha = 90 + rng.below(166);
        const QColor tint = rng.below(5) == 0 ? QColor(255, 226, 180) : QColor(230, 238, 255);
        if (r > maxRadius * 0.6) {
            QRadialGradient glow(c, r * 4);
            glow.setColorAt(0, withAlpha(tint, alpha / 2));
            glow.setColorAt(1, withAlpha(tint, 0));
            p.setBrush(glow);
            p.drawEllipse(c, r * 4, r * 4);
        }
        p.setBrush(withAlpha(tint, alpha));
        p.drawEllipse(c, r, r);
    }
}

qreal penWidth(qreal wanted)
{
    return std::max<qreal>(1.0, wanted);
}

} // namespace

QImage SampleScenes::sunset(QSize size)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const qreal w = size.width(), h = size.height();
    SeededRandom rng(11);
    const qreal horizon = h * 0.64;

    QLinearGradient sky(0, 0, 0, horizon);
    sky.setColorAt(0.0, QColor(24, 22, 70));
    sky.setColorAt(0.4, QColor(110, 46, 118));
    sky.setColorAt(0.75, QColor(232, 98, 86));
    sky.setColorAt(1.0, QColor(255, 186, 112));
    p.fillRect(QRectF(0, 0, w, horizon), sky);

    const QPointF sun(w * 0.6, horizon - h * 0.19);
    const qreal sunR = std::min(w, h) * 0.085;
    QRadialGradient glow(sun, sunR * 6);
    glow.setColorAt(0, QColor(255, 214, 150, 170));
    glow.setColorAt(1, QColor(255, 150, 100, 0));
    p.fillRect(QRectF(0, 0, w, horizon), glow);
    QRadialGradient disc(sun, sunR);
    disc.setColorAt(0.0, QColor(255, 252, 228));
    disc.setColorAt(0.8, QColor(255, 224, 152));
    disc.setColorAt(1.0, QColor(255, 198, 122));
    p.setBrush(disc);
    p.drawEllipse(sun, sunR, sunR);

    // Thin streaks of cloud catching the light.
    for (int i = 0; i < 7; ++i) {
        const qreal y = horizon * rng.range(0.2, 0.78);
        const qreal x = w * rng.range(-0.15, 0.75);
        const qreal len = w * rng.range(0.2, 0.5);
        const qreal th = std::max(1.0, h * rng.range(0.008, 0.02));
        QLinearGradient g(x, 0, x + len, 0);
        g.setColorAt(0.0, QColor(255, 170, 150, 0));
        g.setColorAt(0.5, QColor(255, 170, 150, 110));
        g.setColorAt(1.0, QColor(255, 170, 150, 0));
        p.setBrush(g);
        p.drawRoundedRect(QRectF(x, y, len, th), th / 2, th / 2);
    }

    const QColor ranges[] = {QColor(152, 74, 122), QColor(84, 36, 88)};
    for (int layer = 0; layer < 2; ++layer) {
        const auto ridge = ridgeLine(rng, 7, 0.55);
        const qreal top = h * (layer == 0 ? 0.17 : 0.1);
        p.fillPath(ridgePath(ridge, w, horizon + 1, h * 0.01, top), ranges[layer]);
    }

    QLinearGradient sea(0, horizon, 0, h);
    sea.setColorAt(0.0, QColor(226, 124, 104));
    sea.setColorAt(0.25, QColor(116, 50, 100));
    sea.setColorAt(1.0, QColor(16, 14, 46));
    p.fillRect(QRectF(0, horizon, w, h - horizon), sea);

    // The sun's path on the water: many short strokes, wider and fainter towards the viewer.
    for (int i = 0; i < 160; ++i) {
        const qreal t = std::pow(rng.uniform(), 1.5);
        const qreal y = horizon + (h - horizon) * t;
        const qreal spread = sunR * (0.8 + 3.0 * t);
        const qreal x = sun.x() + rng.range(-spread, spread);
        const qreal len = sunR * rng.range(0.3, 1.2) * (0.6 + t);
        const qreal th = std::max(1.0, h * 0.004 * (0.6 + 2 * t));
        p.setBrush(QColor(255, 206, 146, int(40 + 190 * (1 - t))));
        p.drawRoundedRect(QRectF(x - len / 2, y, len, th), th / 2, th / 2);
    }

    QPen birdPen(QColor(40, 18, 50), penWidth(w * 0.0025), Qt::SolidLine, Qt::RoundCap);
    p.setPen(birdPen);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 4; ++i) {
        const QPointF c(w * (0.22 + 0.06 * i + rng.range(0, 0.03)), h * (0.2 + rng.range(0, 0.12)));
        const qreal s = w * rng.range(0.012, 0.022);
        QPainterPath bird;
        bird.moveTo(c.x() - s, c.y() - s * 0.3);
        bird.quadTo(c.x() - s * 0.45, c.y() - s * 0.6, c.x(), c.y());
        bird.quadTo(c.x() + s * 0.45, c.y() - s * 0.6, c.x() + s, c.y() - s * 0.3);
        p.drawPath(bird);
    }
    return finish(p, image, QImage::Format_RGB32);
}

namespace {

void drawAlpineRanges(QPainter &p, qreal w, qreal h, qreal shore)
{
    SeededRandom rng(5);
    struct Range { qreal low, high; QColor rock, shade; qreal snow; };
    const Range ranges[] = {
        {0.10, 0.40, QColor(150, 168, 198), QColor(122, 140, 178), 0.78},
        {0.04, 0.30, QColor(96, 116, 140), QColor(70, 88, 116), 0.8},
        {0.00, 0.13, QColor(46, 78, 70), QColor(32, 58, 52), 2.0},
    };
    for (const Range &range : ranges) {
        const auto ridge = ridgeLine(rng, 8, 0.52);
        const QPainterPath mountain = ridgePath(ridge, w, shore + 1, h * range.low, h * range.high);
        QLinearGradient body(0, shore - h * range.high, w * 0.3, shore);
        body.setColorAt(0, range.rock);
        body.setColorAt(1, range.shade);
        p.fillPath(mountain, body);
        if (range.snow < 1.0) {
            // Snow above a wavy line, only on the taller parts.
            p.save();
            p.setClipPath(mountain);
            const qreal snowLine = shore - h * range.low - (h * range.high - h * range.low) * range.snow;
            QPainterPath snow;
            snow.moveTo(0, 0);
            const int steps = 120;
            for (int i = 0; i <= steps; ++i) {
                const double t = double(i) / steps;
                snow.lineTo(w * t, snowLine + h * 0.018 * std::sin(t * 47.0) + h * 0.012 * std::sin(t * 131.0));
            }
            snow.lineTo(w, 0);
            snow.closeSubpath();
            QLinearGradient snowShade(0, snowLine - h * 0.3, w * 0.2, snowLine);
            snowShade.setColorAt(0, QColor(252, 253, 255));
            snowShade.setColorAt(1, QColor(206, 220, 240));
            p.fillPath(snow, snowShade);
            p.restore();
        }
    }
    // A band of forest along the shore.
    for (int i = 0; i < 170; ++i) {
        const qreal x = w * (i + rng.range(0, 1.0)) / 170.0;
        drawPine(p, QPointF(x, shore + 1), h * rng.range(0.03, 0.06), QColor(22, 48, 38));
    }
}

} // namespace

QImage SampleScenes::alpinePanorama(QSize size)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const qreal w = size.width(), h = size.height();
    const qreal shore = h * 0.66;
    SeededRandom rng(23);

    QLinearGradient sky(0, 0, 0, shore);
    sky.setColorAt(0.0, QColor(52, 112, 190));
    sky.setColorAt(0.7, QColor(140, 190, 232));
    sky.setColorAt(1.0, QColor(206, 228, 246));
    p.fillRect(QRectF(0, 0, w, shore), sky);
    QRadialGradient sunGlow(QPointF(w * 0.8, h * 0.1), w * 0.35);
    sunGlow.setColorAt(0, QColor(255, 250, 230, 150));
    sunGlow.setColorAt(1, QColor(255, 250, 230, 0));
    p.fillRect(QRectF(0, 0, w, shore), sunGlow);
    for (int i = 0; i < 6; ++i)
        drawCloud(p, rng, QPointF(w * rng.range(0.05, 0.95), h * rng.range(0.08, 0.3)), w * rng.range(0.04, 0.08),
                  QColor(255, 255, 255));

    drawAlpineRanges(p, w, h, shore);

    QLinearGradient lake(0, shore, 0, h);
    lake.setColorAt(0, QColor(120, 160, 200));
    lake.setColorAt(1, QColor(24, 52, 86));
    p.fillRect(QRectF(0, shore, w, h - shore), lake);

    // Reflection: the same ranges mirrored at the shore line, faded into the water.
    p.save();
    p.setClipRect(QRectF(0, shore, w, h - shore));
    p.setOpacity(0.45);
    p.translate(0, 2 * shore);
    p.scale(1, -1);
    drawAlpineRanges(p, w, h, shore);
    p.restore();
    QLinearGradient fade(0, shore, 0, h);
    fade.setColorAt(0, QColor(40, 80, 120, 0));
    fade.setColorAt(1, QColor(20, 44, 74, 230));
    p.fillRect(QRectF(0, shore, w, h - shore), fade);

    for (int i = 0; i < 220; ++i) {
        const qreal t = rng.uniform();
        const qreal y = shore + (h - shore) * t;
        const qreal len = w * rng.range(0.01, 0.06) * (0.4 + t);
        const qreal x = rng.uniform() * w;
        p.setBrush(QColor(230, 240, 255, int(30 + 60 * (1 - t))));
        p.drawRect(QRectF(x, y, len, std::max(1.0, h * 0.0015)));
    }

    // Grassy shore and tall pines in the corner give the view depth.
    QPainterPath bank;
    bank.moveTo(-1, h * 0.86);
    bank.cubicTo(w * 0.12, h * 0.84, w * 0.3, h * 0.88, w * 0.5, h + 1);
    bank.lineTo(-1, h + 1);
    bank.closeSubpath();
    QLinearGradient grass(0, h * 0.85, 0, h);
    grass.setColorAt(0, QColor(70, 112, 50));
    grass.setColorAt(1, QColor(30, 60, 30));
    p.fillPath(bank, grass);
    for (int i = 0; i < 9; ++i)
        drawPine(p, QPointF(w * (0.01 + 0.035 * i + rng.range(0, 0.02)), h * (0.93 + rng.range(0, 0.05))),
                 h * rng.range(0.22, 0.36), QColor(16, 38, 26));
    return finish(p, image, QImage::Format_RGB32);
}

QImage SampleScenes::aurora(QSize size)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const qreal w = size.width(), h = size.height();
    SeededRandom rng(31);

    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0.0, QColor(4, 8, 26));
    sky.setColorAt(0.6, QColor(10, 30, 56));
    sky.setColorAt(1.0, QColor(22, 56, 80));
    p.fillRect(image.rect(), sky);
    drawStars(p, rng, QRectF(0, 0, w, h * 0.75), int(w * h / 2600), std::max(1.0, h * 0.0035));

    // Curtains: thin vertical strokes along a slow wave, green at the foot fading to violet.
    p.setCompositionMode(QPainter::CompositionMode_Screen);
    const struct { qreal level, amp, length; double phase; QColor foot, top; } bands[] = {
        {0.42, 0.08, 0.30, 0.3, QColor(80, 255, 170), QColor(140, 70, 220)},
        {0.34, 0.06, 0.22, 2.1, QColor(60, 220, 150), QColor(80, 120, 255)},
        {0.5, 0.05, 0.18, 4.0, QColor(150, 255, 140), QColor(200, 80, 200)},
    };
    const qreal step = std::max(1.0, w / 640.0);
    for (const auto &band : bands) {
        for (qreal x = 0; x < w; x += step) {
            const double t = x / w;
            const qreal foot = h * (band.level + band.amp * std::sin(t * 5.5 + band.phase)
                                    + 0.02 * std::sin(t * 23.0 + band.phase * 3));
            const double pulse = 0.5 + 0.5 * std::sin(t * 31.0 + band.phase) * std::sin(t * 7.0 + band.phase);
            const qreal length = h * band.length * (0.6 + 0.4 * pulse);
            QLinearGradient g(0, foot, 0, foot - length);
            g.setColorAt(0.0, withAlpha(band.foot, 0));
            g.setColorAt(0.06, withAlpha(band.foot, int(60 + 90 * pulse)));
            g.setColorAt(0.5, withAlpha(band.foot, int(30 + 40 * pulse)));
            g.setColorAt(1.0, withAlpha(band.top, 0));
            p.fillRect(QRectF(x, foot - length, step + 0.5, length), g);
        }
    }
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);

    const QColor hills[] = {QColor(34, 52, 78), QColor(20, 32, 52)};
    for (int i = 0; i < 2; ++i) {
        QPainterPath hill = wavePath(rng, w, h + 1, h * (0.78 + 0.07 * i), h * 0.04, 3 + i);
        QLinearGradient snow(0, h * 0.7, 0, h);
        snow.setColorAt(0, hills[i].lighter(160));
        snow.setColorAt(1, hills[i]);
        p.fillPath(hill, snow);
    }
    for (int i = 0; i < 26; ++i) {
        const qreal x = w * rng.uniform();
        drawPine(p, QPointF(x, h * (0.9 + rng.range(0, 0.08))), h * rng.range(0.1, 0.22), QColor(6, 12, 20));
    }
    return finish(p, image, QImage::Format_RGB32);
}

QImage SampleScenes::lighthouse(QSize size)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const qreal w = size.width(), h = size.height();
    SeededRandom rng(41);
    const qreal horizon = h * 0.8;

    QLinearGradient sky(0, 0, 0, horizon);
    sky.setColorAt(0.0, QColor(12, 18, 56));
    sky.setColorAt(0.45, QColor(58, 58, 128));
    sky.setColorAt(0.8, QColor(232, 134, 110));
    sky.setColorAt(1.0, QColor(252, 204, 146));
    p.fillRect(QRectF(0, 0, w, horizon), sky);
    drawStars(p, rng, QRectF(0, 0, w, h * 0.35), 140, std::max(1.0, w * 0.004));

    const qreal towerTop = h * 0.36, towerBottom = h * 0.74;
    const QPointF lamp(w * 0.5, towerTop - h * 0.03);

    // Two beams sweeping out from the lamp.
    for (int side = -1; side <= 1; side += 2) {
        QPainterPath beam;
        beam.moveTo(lamp);
        beam.lineTo(lamp.x() + side * w * 1.1, lamp.y() - h * 0.06);
        beam.lineTo(lamp.x() + side * w * 1.1, lamp.y() + h * 0.03);
        beam.closeSubpath();
        QLinearGradient g(lamp, QPointF(lamp.x() + side * w, lamp.y()));
        g.setColorAt(0, QColor(255, 244, 190, 170));
        g.setColorAt(1, QColor(255, 244, 190, 0));
        p.fillPath(beam, g);
    }
    QRadialGradient halo(lamp, w * 0.25);
    halo.setColorAt(0, QColor(255, 240, 180, 200));
    halo.setColorAt(1, QColor(255, 240, 180, 0));
    p.setBrush(halo);
    p.drawEllipse(lamp, w * 0.25, w * 0.25);

    // Tapered tower with red and white bands, shaded on the right.
    const qreal topHalf = w * 0.085, bottomHalf = w * 0.14;
    QPainterPath tower;
    tower.moveTo(w * 0.5 - topHalf, towerTop);
    tower.lineTo(w * 0.5 + topHalf, towerTop);
    tower.lineTo(w * 0.5 + bottomHalf, towerBottom);
    tower.lineTo(w * 0.5 - bottomHalf, towerBottom);
    tower.closeSubpath();
    p.save();
    p.setClipPath(tower);
    const int bandsCount = 6;
    for (int i = 0; i < bandsCount; ++i) {
        const qreal y0 = towerTop + (towerBottom - towerTop) * i / bandsCount;
        p.fillRect(QRectF(0, y0, w, (towerBottom - towerTop) / bandsCount + 1),
                   i % 2 ? QColor(245, 240, 232) : QColor(196, 40, 44));
    }
    QLinearGradient shade(w * 0.5 - bottomHalf, 0, w * 0.5 + bottomHalf, 0);
    shade.setColorAt(0.0, QColor(255, 220, 180, 60));
    shade.setColorAt(0.45, QColor(0, 0, 0, 0));
    shade.setColorAt(1.0, QColor(20, 10, 40, 150));
    p.fillRect(QRectF(0, towerTop, w, towerBottom - towerTop), shade);
    p.restore();

    // Gallery, lantern and dome.
    p.setBrush(QColor(40, 36, 50));
    p.drawRect(QRectF(w * 0.5 - topHalf * 1.35, towerTop - h * 0.006, topHalf * 2.7, h * 0.008));
    QRadialGradient light(lamp, topHalf);
    light.setColorAt(0, QColor(255, 255, 230));
    light.setColorAt(1, QColor(255, 200, 90));
    p.setBrush(light);
    p.drawRect(QRectF(w * 0.5 - topHalf * 0.8, towerTop - h * 0.05, topHalf * 1.6, h * 0.044));
    p.setBrush(QColor(36, 30, 44));
    p.drawChord(QRectF(w * 0.5 - topHalf * 0.95, towerTop - h * 0.075, topHalf * 1.9, h * 0.05), 0, 180 * 16);
    QPen rail(QColor(36, 30, 44), penWidth(w * 0.006));
    p.setPen(rail);
    for (int i = 0; i <= 4; ++i) {
        const qreal x = w * 0.5 - topHalf * 0.8 + topHalf * 1.6 * i / 4;
        p.drawLine(QPointF(x, towerTop - h * 0.05), QPointF(x, towerTop - h * 0.006));
    }
    p.setPen(Qt::NoPen);

    QLinearGradient sea(0, horizon, 0, h);
    sea.setColorAt(0.0, QColor(92, 96, 150));
    sea.setColorAt(1.0, QColor(16, 22, 54));
    p.fillRect(QRectF(0, horizon, w, h - horizon), sea);
    QPen wave(QColor(255, 210, 170, 90), penWidth(w * 0.004), Qt::SolidLine, Qt::RoundCap);
    p.setPen(wave);
    for (int i = 0; i < 60; ++i) {
        const qreal t = rng.uniform();
        const qreal y = horizon + (h - horizon) * t;
        const qreal x = w * rng.uniform();
        const qreal len = w * rng.range(0.03, 0.12) * (0.5 + t);
        QPainterPath crest;
        crest.moveTo(x, y);
        crest.quadTo(x + len / 2, y - h * 0.004 * (1 + t), x + len, y);
        p.drawPath(crest);
    }
    p.setPen(Qt::NoPen);

    // The rock the tower stands on, dark against the glow.
    QPainterPath rock;
    rock.moveTo(-1, h * 0.86);
    rock.cubicTo(w * 0.2, h * 0.77, w * 0.3, towerBottom - h * 0.01, w * 0.5, towerBottom - h * 0.012);
    rock.cubicTo(w * 0.72, towerBottom - h * 0.01, w * 0.85, h * 0.8, w + 1, h * 0.83);
    rock.lineTo(w + 1, h * 0.9);
    rock.cubicTo(w * 0.6, h * 0.87, w * 0.3, h * 0.92, -1, h * 0.9);
    rock.closeSubpath();
    QLinearGradient rockShade(0, towerBottom, 0, h * 0.9);
    rockShade.setColorAt(0, QColor(58, 46, 60));
    rockShade.setColorAt(1, QColor(22, 18, 30));
    p.fillPath(rock, rockShade);
    return finish(p, image, QImage::Format_RGB32);
}

QImage SampleScenes::bloom(QSize size)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const qreal w = size.width(), h = size.height();
    SeededRandom rng(53);

    QLinearGradient bg(0, 0, w * 0.3, h);
    bg.setColorAt(0, QColor(34, 62, 40));
    bg.setColorAt(1, QColor(8, 22, 18));
    p.fillRect(image.rect(), bg);
    // Out-of-focus lights behind the flower.
    for (int i = 0; i < 28; ++i) {
        const QPointF c(w * rng.uniform(), h * rng.uniform());
        const qreal r = std::min(w, h) * rng.range(0.03, 0.12);
        const QColor tint = rng.below(2) ? QColor(230, 240, 140) : QColor(140, 220, 160);
        QRadialGradient g(c, r);
        g.setColorAt(0.0, withAlpha(tint, 50));
        g.setColorAt(0.85, withAlpha(tint, 36));
        g.setColorAt(1.0, withAlpha(tint, 0));
        p.setBrush(g);
        p.drawEllipse(c, r, r);
    }

    const QPointF centre(w * 0.5, h * 0.38);
    const qreal radius = std::min(w, h * 0.75) * 0.36;

    QPen stem(QColor(70, 130, 60), penWidth(w * 0.025), Qt::SolidLine, Qt::RoundCap);
    p.setPen(stem);
    p.setBrush(Qt::NoBrush);
    QPainterPath stemPath(centre);
    stemPath.cubicTo(w * 0.46, h * 0.6, w * 0.58, h * 0.78, w * 0.5, h + 2);
    p.drawPath(stemPath);
    p.setPen(Qt::NoPen);
    for (int side = -1; side <= 1; side += 2) {
        const QPointF base(w * (side < 0 ? 0.5 : 0.53), h * (side < 0 ? 0.74 : 0.64));
        const QPointF tip(base.x() + side * w * 0.3, base.y() - h * 0.08);
        QPainterPath leaf(base);
        leaf.quadTo(QPointF((base.x() + tip.x()) / 2, base.y() - h * 0.12), tip);
        leaf.quadTo(QPointF((base.x() + tip.x()) / 2, base.y() + h * 0.03), base);
        QLinearGradient g(base, tip);
        g.setColorAt(0, QColor(50, 120, 50));
        g.setColorAt(1, QColor(130, 190, 90));
        p.fillPath(leaf, g);
    }

    // Two rings of petals, outer darker, each an ellipse shaded from the middle out.
    const struct { int count; qreal length, width; QColor inner, outer; double offset; } rings[] = {
        {14, 1.0, 0.34, QColor(255, 150, 190), QColor(196, 40, 110), 0.0},
        {12, 0.72, 0.3, QColor(255, 200, 220), QColor(236, 90, 150), 0.5},
    };
    for (const auto &ring : rings) {
        for (int i = 0; i < ring.count; ++i) {
            p.save();
            p.translate(centre);
            p.rotate(360.0 * (i + ring.offset) / ring.count);
            const QRectF petal(0, -radius * ring.width / 2, radius * ring.length, radius * ring.width);
            QRadialGradient g(QPointF(0, 0), radius * ring.length);
            g.setColorAt(0.0, ring.inner);
            g.setColorAt(1.0, ring.outer);
            p.setBrush(g);
            p.setPen(QPen(withAlpha(ring.outer.darker(140), 120), penWidth(radius * 0.01)));
            p.drawEllipse(petal);
            p.restore();
        }
    }
    p.setPen(Qt::NoPen);

    // Seed head: sunflower spiral at the golden angle.
    const qreal seedSpacing = radius * 0.018;
    QRadialGradient head(centre, seedSpacing * 19);
    head.setColorAt(0, QColor(200, 130, 40));
    head.setColorAt(1, QColor(96, 46, 16));
    p.setBrush(head);
    p.drawEllipse(centre, seedSpacing * 19, seedSpacing * 19);
    for (int k = 0; k < 320; ++k) {
        const qreal r = seedSpacing * std::sqrt(qreal(k));
        const qreal a = k * 2.39996323;
        const QPointF c = centre + QPointF(r * std::cos(a), r * std::sin(a));
        const qreal t = qreal(k) / 320;
        p.setBrush(mix(QColor(255, 220, 90), QColor(150, 80, 20), t));
        p.drawEllipse(c, seedSpacing * 0.7, seedSpacing * 0.7);
    }
    return finish(p, image, QImage::Format_RGB32);
}

QImage SampleScenes::nightCity(QSize size)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const qreal w = size.width(), h = size.height();
    SeededRandom rng(67);
    const qreal street = h * 0.86;

    QLinearGradient sky(0, 0, 0, street);
    sky.setColorAt(0.0, QColor(8, 8, 30));
    sky.setColorAt(0.7, QColor(40, 30, 84));
    sky.setColorAt(1.0, QColor(150, 70, 90));
    p.fillRect(image.rect(), sky);
    drawStars(p, rng, QRectF(0, 0, w, h * 0.5), 120, std::max(1.0, w * 0.002));

    const QPointF moon(w * 0.78, h * 0.2);
    const qreal moonR = std::min(w, h) * 0.07;
    QRadialGradient moonGlow(moon, moonR * 4);
    moonGlow.setColorAt(0, QColor(255, 246, 220, 90));
    moonGlow.setColorAt(1, QColor(255, 246, 220, 0));
    p.setBrush(moonGlow);
    p.drawEllipse(moon, moonR * 4, moonR * 4);
    QRadialGradient moonFace(moon - QPointF(moonR * 0.3, moonR * 0.3), moonR * 1.3);
    moonFace.setColorAt(0, QColor(255, 252, 236));
    moonFace.setColorAt(1, QColor(220, 214, 190));
    p.setBrush(moonFace);
    p.drawEllipse(moon, moonR, moonR);
    p.setBrush(QColor(196, 190, 168, 120));
    p.drawEllipse(moon + QPointF(moonR * 0.3, -moonR * 0.2), moonR * 0.2, moonR * 0.2);
    p.drawEllipse(moon + QPointF(-moonR * 0.35, moonR * 0.3), moonR * 0.14, moonR * 0.14);

    // Three rows of buildings, the nearer ones darker and taller, with lit windows.
    const struct { qreal minH, maxH; QColor body; int litPercent; } rows[] = {
        {0.15, 0.35, QColor(46, 40, 86), 20},
        {0.2, 0.5, QColor(28, 24, 56), 30},
        {0.12, 0.42, QColor(12, 10, 26), 38},
    };
    for (const auto &row : rows) {
        qreal x = -w * 0.02;
        while (x < w) {
            const qreal bw = w * rng.range(0.05, 0.11);
            const qreal bh = h * rng.range(row.minH, row.maxH);
            const QRectF building(x, street - bh, bw, bh + 1);
            p.setBrush(row.body);
            p.drawRect(building);
            if (rng.below(4) == 0) {
                p.drawRect(QRectF(x + bw * 0.4, street - bh - h * 0.04, bw * 0.06, h * 0.04));
                p.setBrush(QColor(255, 60, 60));
                p.drawEllipse(QPointF(x + bw * 0.43, street - bh - h * 0.04), w * 0.003, w * 0.003);
            }
            const qreal win = std::max(1.0, bw / 9);
            for (qreal wy = street - bh + win; wy < street - win * 2; wy += win * 2) {
                for (qreal wx = x + win; wx < x + bw - win; wx += win * 2) {
                    if (rng.below(100) >= row.litPercent)
                        continue;
                    p.setBrush(mix(QColor(255, 214, 120), QColor(190, 220, 255), rng.uniform() * 0.6));
                    p.drawRect(QRectF(wx, wy, win, win * 1.2));
                }
            }
            x += bw + w * rng.range(0.0, 0.015);
        }
    }
    QLinearGradient road(0, street, 0, h);
    road.setColorAt(0, QColor(40, 30, 50));
    road.setColorAt(1, QColor(10, 8, 16));
    p.fillRect(QRectF(0, street, w, h - street), road);
    for (int i = 0; i < 10; ++i) {
        const QPointF c(w * (0.05 + 0.1 * i), street + (h - street) * 0.4);
        QRadialGradient lamp(c, w * 0.03);
        lamp.setColorAt(0, QColor(255, 200, 120, 200));
        lamp.setColorAt(1, QColor(255, 200, 120, 0));
        p.setBrush(lamp);
        p.drawEllipse(c, w * 0.03, w * 0.015);
    }
    return finish(p, image, QImage::Format_RGB32);
}

QImage SampleScenes::dunes(QSize size)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const qreal w = size.width(), h = size.height();
    SeededRandom rng(79);

    QLinearGradient sky(0, 0, 0, h * 0.6);
    sky.setColorAt(0.0, QColor(70, 140, 220));
    sky.setColorAt(1.0, QColor(250, 222, 180));
    p.fillRect(image.rect(), sky);
    const QPointF sun(w * 0.25, h * 0.2);
    const qreal sunR = std::min(w, h) * 0.07;
    QRadialGradient glow(sun, sunR * 5);
    glow.setColorAt(0.0, QColor(255, 255, 240, 255));
    glow.setColorAt(0.2, QColor(255, 250, 220, 200));
    glow.setColorAt(1.0, QColor(255, 240, 200, 0));
    p.setBrush(glow);
    p.drawEllipse(sun, sunR * 5, sunR * 5);

    const QColor sand[] = {QColor(226, 170, 120), QColor(220, 146, 88), QColor(206, 120, 64), QColor(180, 92, 46)};
    for (int layer = 0; layer < 4; ++layer) {
        const qreal level = h * (0.5 + 0.12 * layer);
        const QPainterPath dune = wavePath(rng, w, h + 1, level, h * (0.05 + 0.02 * layer), 2 + layer % 2);
        QLinearGradient body(0, level - h * 0.1, w * 0.15, h);
        body.setColorAt(0, sand[layer].lighter(118));
        body.setColorAt(1, sand[layer].darker(125));
        p.fillPath(dune, body);
        // Wind ripples on the nearer dunes.
        if (layer >= 2) {
            p.save();
            p.setClipPath(dune);
            p.setPen(QPen(withAlpha(sand[layer].darker(150), 90), penWidth(h * 0.003)));
            p.setBrush(Qt::NoBrush);
            for (int i = 0; i < 14; ++i) {
                const qreal y = level + (h - level) * (i + 1) / 15.0;
                QPainterPath ripple;
                ripple.moveTo(0, y);
                for (int s = 1; s <= 40; ++s) {
                    const qreal x = w * s / 40.0;
                    ripple.lineTo(x, y + h * 0.01 * std::sin(s * 0.9 + i));
                }
                p.drawPath(ripple);
            }
            p.restore();
        }
    }
    return finish(p, image, QImage::Format_RGB32);
}

QImage SampleScenes::truchetTiles(QSize size)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    SeededRandom rng(97);
    const int tile = std::max(8, std::min(size.width(), size.height()) / 12);
    const QColor palette[] = {QColor(38, 70, 83), QColor(42, 157, 143), QColor(233, 196, 106), QColor(244, 162, 97),
                              QColor(231, 111, 81)};
    for (int ty = 0; ty * tile < size.height(); ++ty) {
        for (int tx = 0; tx * tile < size.width(); ++tx) {
            const QRectF cell(tx * tile, ty * tile, tile, tile);
            // Colour drifts diagonally across the picture.
            const int colour = ((tx + ty) / 3 + (rng.below(5) == 0 ? 1 : 0)) % 5;
            p.fillRect(cell, palette[colour]);
            p.setPen(QPen(QColor(250, 246, 236), tile * 0.18, Qt::SolidLine, Qt::FlatCap));
            p.setBrush(Qt::NoBrush);
            const qreal r = tile / 2.0;
            if (rng.below(2)) {
                p.drawArc(QRectF(cell.left() - r, cell.top() - r, tile, tile), 270 * 16, 90 * 16);
                p.drawArc(QRectF(cell.right() - r, cell.bottom() - r, tile, tile), 90 * 16, 90 * 16);
            } else {
                p.drawArc(QRectF(cell.right() - r, cell.top() - r, tile, tile), 180 * 16, 90 * 16);
                p.drawArc(QRectF(cell.left() - r, cell.bottom() - r, tile, tile), 0, 90 * 16);
            }
        }
    }
    return finish(p, image, QImage::Format_RGB32);
}

QImage SampleScenes::colorWheel(QSize size)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const qreal w = size.width(), h = size.height();
    const QPointF c(w / 2, h / 2);
    const qreal r = std::min(w, h) * 0.33;

    QRadialGradient bg(c, std::max(w, h) * 0.75);
    bg.setColorAt(0, QColor(54, 54, 66));
    bg.setColorAt(1, QColor(14, 14, 20));
    p.fillRect(image.rect(), bg);

    QConicalGradient hues(c, 0);
    for (int i = 0; i <= 6; ++i)
        hues.setColorAt(i / 6.0, QColor::fromHsv((i * 60) % 360, 255, 255));
    p.setBrush(hues);
    p.drawEllipse(c, r, r);
    QRadialGradient white(c, r);
    white.setColorAt(0, QColor(255, 255, 255, 255));
    white.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(white);
    p.drawEllipse(c, r, r);

    // An outer ring of twelve segments, each one hue.
    const QRectF outer(c.x() - r * 1.38, c.y() - r * 1.38, r * 2.76, r * 2.76);
    const QRectF inner(c.x() - r * 1.12, c.y() - r * 1.12, r * 2.24, r * 2.24);
    for (int i = 0; i < 12; ++i) {
        QPainterPath segment;
        const qreal start = i * 30 + 2, span = 26;
        segment.arcMoveTo(outer, start);
        segment.arcTo(outer, start, span);
        segment.arcTo(inner, start + span, -span);
        segment.closeSubpath();
        p.fillPath(segment, QColor::fromHsv((i * 30) % 360, 220, 240));
    }
    return finish(p, image, QImage::Format_RGB32);
}

QImage SampleScenes::bauhaus(QSize size)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const qreal w = size.width(), h = size.height();
    const qreal u = std::min(w, h);

    p.fillRect(image.rect(), QColor(240, 232, 214));
    p.setBrush(QColor(30, 70, 150));
    p.drawRect(QRectF(0, h * 0.55, w * 0.62, h * 0.45));
    p.setBrush(QColor(214, 48, 38));
    p.drawEllipse(QPointF(w * 0.62, h * 0.32), u * 0.3, u * 0.3);
    p.setBrush(QColor(244, 190, 30));
    p.drawPie(QRectF(w * 0.3, h * 0.7, u * 0.7, u * 0.7), 0, 180 * 16);
    p.setBrush(QColor(20, 20, 24));
    p.drawRect(QRectF(w * 0.12, 0, u * 0.05, h * 0.62));
    p.drawRect(QRectF(0, h * 0.5, w, u * 0.025));
    p.setBrush(QColor(240, 232, 214));
    p.drawEllipse(QPointF(w * 0.3, h * 0.78), u * 0.08, u * 0.08);
    p.setBrush(QColor(20, 20, 24));
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j)
            p.drawEllipse(QPointF(w * 0.25 + j * u * 0.08, h * 0.12 + i * u * 0.08), u * 0.02, u * 0.02);
    QPainterPath triangle;
    triangle.moveTo(w * 0.95, h * 0.52);
    triangle.lineTo(w * 0.95, h * 0.52 + u * 0.3);
    triangle.lineTo(w * 0.95 - u * 0.3, h * 0.52 + u * 0.3);
    triangle.closeSubpath();
    p.fillPath(triangle, QColor(20, 20, 24));
    return finish(p, image, QImage::Format_RGB32);
}

QImage SampleScenes::bubbles(QSize size)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const qreal w = size.width(), h = size.height();
    SeededRandom rng(101);

    QLinearGradient water(0, 0, 0, h);
    water.setColorAt(0, QColor(20, 150, 190));
    water.setColorAt(1, QColor(4, 30, 70));
    p.fillRect(image.rect(), water);
    // Light shafts from the surface.
    for (int i = 0; i < 6; ++i) {
        const qreal x = w * rng.range(0.0, 1.0);
        const qreal spread = w * rng.range(0.04, 0.1);
        QPainterPath ray;
        ray.moveTo(x - spread * 0.3, 0);
        ray.lineTo(x + spread * 0.3, 0);
        ray.lineTo(x + spread * 2 + w * 0.1, h);
        ray.lineTo(x + spread + w * 0.1, h);
        ray.closeSubpath();
        QLinearGradient g(0, 0, 0, h);
        g.setColorAt(0, QColor(220, 255, 255, 70));
        g.setColorAt(1, QColor(220, 255, 255, 0));
        p.fillPath(ray, g);
    }
    QPainterPath bed = wavePath(rng, w, h + 1, h * 0.92, h * 0.03, 3);
    QLinearGradient sand(0, h * 0.85, 0, h);
    sand.setColorAt(0, QColor(200, 180, 130));
    sand.setColorAt(1, QColor(90, 80, 60));
    p.fillPath(bed, sand);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 12; ++i) {
        const qreal x = w * rng.uniform();
        const qreal height = h * rng.range(0.15, 0.4);
        QPen weed(QColor(30, rng.below(60) + 110, 70), penWidth(w * 0.008), Qt::SolidLine, Qt::RoundCap);
        p.setPen(weed);
        QPainterPath path(QPointF(x, h));
        path.cubicTo(x - w * 0.03, h - height * 0.3, x + w * 0.03, h - height * 0.7, x + w * rng.range(-0.02, 0.02),
                     h - height);
        p.drawPath(path);
    }
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 55; ++i) {
        const QPointF c(w * rng.uniform(), h * std::pow(rng.uniform(), 0.8) * 0.9);
        const qreal r = std::min(w, h) * std::max(0.008, 0.07 * std::pow(rng.uniform(), 2.5));
        QRadialGradient body(c, r);
        body.setColorAt(0.0, QColor(255, 255, 255, 10));
        body.setColorAt(0.8, QColor(200, 250, 255, 40));
        body.setColorAt(0.95, QColor(230, 255, 255, 160));
        body.setColorAt(1.0, QColor(230, 255, 255, 0));
        p.setBrush(body);
        p.drawEllipse(c, r, r);
        p.setBrush(QColor(255, 255, 255, 200));
        p.drawEllipse(c + QPointF(-r * 0.4, -r * 0.4), r * 0.22, r * 0.14);
    }
    return finish(p, image, QImage::Format_RGB32);
}

QImage SampleScenes::balloons(QSize size)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const qreal w = size.width(), h = size.height();
    SeededRandom rng(113);

    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(96, 170, 236));
    sky.setColorAt(1, QColor(226, 240, 250));
    p.fillRect(image.rect(), sky);
    for (int i = 0; i < 4; ++i)
        drawCloud(p, rng, QPointF(w * rng.range(0.05, 0.95), h * rng.range(0.1, 0.6)), w * rng.range(0.05, 0.09),
                  QColor(255, 255, 255));
    const QColor hills[] = {QColor(130, 180, 110), QColor(80, 140, 70)};
    for (int i = 0; i < 2; ++i)
        p.fillPath(wavePath(rng, w, h + 1, h * (0.86 + 0.06 * i), h * 0.04, 2 + i), hills[i]);

    const struct { qreal x, y, r; QColor a, b; } balloonsList[] = {
        {0.68, 0.34, 0.16, QColor(230, 60, 60), QColor(250, 210, 60)},
        {0.3, 0.42, 0.1, QColor(60, 110, 220), QColor(250, 250, 250)},
        {0.14, 0.2, 0.06, QColor(90, 190, 90), QColor(250, 160, 40)},
        {0.9, 0.62, 0.05, QColor(150, 70, 200), QColor(250, 230, 120)},
    };
    for (const auto &b : balloonsList) {
        const qreal r = std::min(w, h) * b.r;
        const QPointF c(w * b.x, h * b.y);
        QPainterPath envelope;
        envelope.moveTo(c.x() - r * 0.25, c.y() + r * 1.45);
        envelope.cubicTo(c.x() - r * 0.6, c.y() + r * 1.0, c.x() - r * 1.05, c.y() + r * 0.55, c.x() - r, c.y());
        envelope.arcTo(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 180, -180);
        envelope.cubicTo(c.x() + r * 1.05, c.y() + r * 0.55, c.x() + r * 0.6, c.y() + r * 1.0, c.x() + r * 0.25,
                         c.y() + r * 1.45);
        envelope.closeSubpath();
        p.save();
        p.setClipPath(envelope);
        const int gores = 8;
        for (int g = 0; g < gores; ++g) {
            const qreal x0 = c.x() - r + 2 * r * g / gores;
            p.fillRect(QRectF(x0, c.y() - r, 2 * r / gores + 1, r * 2.5), g % 2 ? b.a : b.b);
        }
        QRadialGradient shade(c + QPointF(-r * 0.4, -r * 0.45), r * 1.9);
        shade.setColorAt(0.0, QColor(255, 255, 255, 110));
        shade.setColorAt(0.45, QColor(255, 255, 255, 0));
        shade.setColorAt(1.0, QColor(0, 0, 40, 140));
        p.fillRect(QRectF(c.x() - r, c.y() - r, 2 * r, 2.5 * r), shade);
        p.restore();
        p.setPen(QPen(QColor(90, 60, 40), penWidth(r * 0.03)));
        p.drawLine(QPointF(c.x() - r * 0.25, c.y() + r * 1.45), QPointF(c.x() - r * 0.18, c.y() + r * 1.75));
        p.drawLine(QPointF(c.x() + r * 0.25, c.y() + r * 1.45), QPointF(c.x() + r * 0.18, c.y() + r * 1.75));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(130, 84, 44));
        p.drawRoundedRect(QRectF(c.x() - r * 0.2, c.y() + r * 1.72, r * 0.4, r * 0.3), r * 0.05, r * 0.05);
    }
    return finish(p, image, QImage::Format_RGB32);
}

QImage SampleScenes::spinnerFrame(QSize size, int frame)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const qreal w = size.width(), h = size.height();
    const QPointF c(w / 2, h / 2);
    const QColor tints[] = {QColor(80, 160, 255), QColor(90, 220, 140), QColor(255, 160, 60)};
    const QColor tint = tints[((frame % 3) + 3) % 3];

    QRadialGradient bg(c, std::max(w, h) * 0.7);
    bg.setColorAt(0, QColor(40, 44, 60));
    bg.setColorAt(1, QColor(14, 16, 24));
    p.fillRect(image.rect(), bg);
    const int dots = 12;
    const qreal r = std::min(w, h) * 0.34;
    for (int i = 0; i < dots; ++i) {
        // The bright head moves on four dots per frame; the tail fades behind it.
        const int age = ((frame * 4 - i) % dots + dots) % dots;
        const qreal strength = 1.0 - age / qreal(dots);
        p.save();
        p.translate(c);
        p.rotate(360.0 * i / dots);
        p.setBrush(withAlpha(tint, int(40 + 215 * strength * strength)));
        const qreal len = r * 0.32, thick = r * 0.14;
        p.drawRoundedRect(QRectF(r - len, -thick / 2, len, thick), thick / 2, thick / 2);
        p.restore();
    }
    p.setBrush(withAlpha(tint, 200));
    p.drawEllipse(c, r * 0.18, r * 0.18);
    return finish(p, image, QImage::Format_RGB32);
}

QImage SampleScenes::pixelHouse(QSize size)
{
    // Pixel art on a 48x32 grid, enlarged without smoothing: few colours, exact in a GIF.
    QImage art(48, 32, QImage::Format_RGB32);
    QPainter p(&art);
    p.fillRect(0, 0, 48, 20, QColor(120, 190, 255));
    p.fillRect(0, 20, 48, 12, QColor(90, 170, 70));
    p.fillRect(0, 27, 48, 5, QColor(70, 140, 55));
    p.fillRect(38, 3, 5, 5, QColor(255, 220, 60));
    p.fillRect(37, 4, 7, 3, QColor(255, 220, 60));
    p.fillRect(4, 5, 8, 2, QColor(250, 250, 250));
    p.fillRect(6, 4, 4, 1, QColor(250, 250, 250));
    p.fillRect(22, 7, 9, 2, QColor(250, 250, 250));
    p.fillRect(12, 14, 18, 13, QColor(230, 200, 150));
    for (int row = 0; row < 6; ++row)
        p.fillRect(11 + row - 1, 13 - row, 22 - 2 * (row - 1), 1, QColor(190, 50, 40));
    p.fillRect(26, 6, 2, 5, QColor(110, 70, 60));
    p.fillRect(19, 20, 4, 7, QColor(120, 70, 40));
    p.fillRect(14, 17, 3, 3, QColor(120, 200, 240));
    p.fillRect(25, 17, 3, 3, QColor(120, 200, 240));
    p.fillRect(36, 22, 2, 6, QColor(110, 70, 40));
    p.fillRect(33, 16, 8, 6, QColor(40, 120, 50));
    p.fillRect(34, 14, 6, 2, QColor(40, 120, 50));
    p.fillRect(20, 27, 2, 5, QColor(200, 180, 130));
    p.end();
    return art.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QImage SampleScenes::mosaic(QSize size)
{
    // Flat-coloured cells with dark grout: a picture a GIF stores without any loss.
    SeededRandom rng(127);
    const int w = size.width(), h = size.height();
    struct Seed { double x, y; QRgb colour; };
    std::vector<Seed> seeds;
    const int count = std::max(4, w * h / 1900);
    for (int i = 0; i < count; ++i) {
        const QColor c = QColor::fromHsv((rng.below(7) * 40 + rng.below(25)) % 360, 120 + rng.below(110), 170 + rng.below(80));
        seeds.push_back({rng.uniform() * w, rng.uniform() * h, c.rgb()});
    }
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            double best = 1e18, second = 1e18;
            int bestIndex = 0;
            for (int i = 0; i < int(seeds.size()); ++i) {
                const double dx = seeds[i].x - x, dy = seeds[i].y - y;
                const double d = dx * dx + dy * dy;
                if (d < best) {
                    second = best;
                    best = d;
                    bestIndex = i;
                } else if (d < second) {
                    second = d;
                }
            }
            const bool grout = std::sqrt(second) - std::sqrt(best) < 2.2;
            line[x] = grout ? qRgb(40, 36, 44) : seeds[bestIndex].colour;
        }
    }
    return image;
}

QImage SampleScenes::sticker(QSize size)
{
    QImage image = transparentCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width(), h = size.height();
    const QPointF c(w / 2, h / 2);
    const qreal r = std::min(w, h) * 0.46;

    QPolygonF star;
    for (int i = 0; i < 10; ++i) {
        const qreal a = -M_PI / 2 + i * M_PI / 5;
        const qreal rr = i % 2 ? r * 0.5 : r;
        star << c + QPointF(rr * std::cos(a), rr * std::sin(a));
    }
    QLinearGradient fill(0, c.y() - r, 0, c.y() + r);
    fill.setColorAt(0, QColor(255, 226, 80));
    fill.setColorAt(1, QColor(250, 140, 30));
    p.setPen(QPen(QColor(255, 255, 255), r * 0.08, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(fill);
    p.drawPolygon(star);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 60, 10));
    p.drawEllipse(c + QPointF(-r * 0.15, -r * 0.05), r * 0.05, r * 0.08);
    p.drawEllipse(c + QPointF(r * 0.15, -r * 0.05), r * 0.05, r * 0.08);
    p.setPen(QPen(QColor(120, 60, 10), r * 0.04, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - r * 0.18, c.y() - r * 0.05, r * 0.36, r * 0.26), 200 * 16, 140 * 16);
    return finish(p, image, QImage::Format_ARGB32);
}

QImage SampleScenes::compassIcon(int size)
{
    QImage image = transparentCanvas(QSize(size, size));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const qreal s = size;
    const QPointF c(s / 2, s / 2);
    if (size <= 16) {
        // Smallest: a plain red disc with a white dot.
        p.setBrush(QColor(210, 40, 40));
        p.drawEllipse(c, s * 0.45, s * 0.45);
        p.setBrush(Qt::white);
        p.drawEllipse(c, s * 0.15, s * 0.15);
    } else if (size <= 32) {
        // Orange disc with one arrow.
        p.setBrush(QColor(240, 140, 30));
        p.drawEllipse(c, s * 0.46, s * 0.46);
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF() << QPointF(c.x(), s * 0.12) << QPointF(c.x() + s * 0.16, c.y() + s * 0.1)
                                  << QPointF(c.x() - s * 0.16, c.y() + s * 0.1));
    } else if (size <= 48) {
        // Green rounded square with a four-point star.
        p.setBrush(QColor(50, 160, 80));
        p.drawRoundedRect(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92), s * 0.18, s * 0.18);
        QPolygonF star;
        for (int i = 0; i < 8; ++i) {
            const qreal a = -M_PI / 2 + i * M_PI / 4;
            const qreal rr = i % 2 ? s * 0.1 : s * 0.38;
            star << c + QPointF(rr * std::cos(a), rr * std::sin(a));
        }
        p.setBrush(QColor(245, 250, 240));
        p.drawPolygon(star);
    } else {
        // Full compass rose in navy and gold.
        QRadialGradient face(c - QPointF(s * 0.1, s * 0.1), s * 0.6);
        face.setColorAt(0, QColor(60, 90, 160));
        face.setColorAt(1, QColor(16, 30, 70));
        p.setBrush(QColor(214, 170, 70));
        p.drawEllipse(c, s * 0.48, s * 0.48);
        p.setBrush(face);
        p.drawEllipse(c, s * 0.44, s * 0.44);
        for (int i = 0; i < 72; ++i) {
            const qreal a = i * M_PI / 36;
            const qreal outer = s * 0.42, inner = i % 6 == 0 ? s * 0.35 : s * 0.39;
            p.setPen(QPen(QColor(230, 210, 150), i % 6 == 0 ? s * 0.012 : s * 0.005));
            p.drawLine(c + QPointF(inner * std::cos(a), inner * std::sin(a)), c + QPointF(outer * std::cos(a), outer * std::sin(a)));
        }
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 8; ++i) {
            const qreal a = -M_PI / 2 + i * M_PI / 4;
            const qreal len = i % 2 ? s * 0.22 : s * 0.33;
            const qreal side = s * (i % 2 ? 0.045 : 0.06);
            const QPointF tip = c + QPointF(len * std::cos(a), len * std::sin(a));
            const QPointF left = c + QPointF(side * std::cos(a - M_PI / 2), side * std::sin(a - M_PI / 2));
            const QPointF right = c + QPointF(side * std::cos(a + M_PI / 2), side * std::sin(a + M_PI / 2));
            p.setBrush(i == 0 ? QColor(220, 50, 50) : QColor(240, 226, 190));
            p.drawPolygon(QPolygonF() << tip << left << c);
            p.setBrush(i == 0 ? QColor(160, 30, 30) : QColor(200, 170, 110));
            p.drawPolygon(QPolygonF() << tip << right << c);
        }
        p.setBrush(QColor(214, 170, 70));
        p.drawEllipse(c, s * 0.035, s * 0.035);
    }
    return finish(p, image, QImage::Format_ARGB32);
}

QImage SampleScenes::starIcon(int size)
{
    QImage image = transparentCanvas(QSize(size, size));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const QPointF c(s / 2, s * 0.53);
    QPolygonF star;
    for (int i = 0; i < 10; ++i) {
        const qreal a = -M_PI / 2 + i * M_PI / 5;
        const qreal rr = i % 2 ? s * 0.2 : s * 0.47;
        star << c + QPointF(rr * std::cos(a), rr * std::sin(a));
    }
    QRadialGradient g(c - QPointF(s * 0.1, s * 0.15), s * 0.6);
    g.setColorAt(0, QColor(255, 244, 150));
    g.setColorAt(1, QColor(230, 150, 20));
    p.setBrush(g);
    p.setPen(QPen(QColor(150, 90, 10), std::max(1.0, s / 32), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolygon(star);
    return finish(p, image, QImage::Format_ARGB32);
}

QImage SampleScenes::appIcon(int size)
{
    QImage image = transparentCanvas(QSize(size, size));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const qreal s = size;
    QLinearGradient g(0, 0, 0, s);
    g.setColorAt(0, QColor(120, 90, 230));
    g.setColorAt(1, QColor(60, 40, 160));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(s * 0.05, s * 0.05, s * 0.9, s * 0.9), s * 0.2, s * 0.2);
    // A little picture frame: sky, sun and a hill.
    const QRectF frame(s * 0.2, s * 0.25, s * 0.6, s * 0.5);
    p.setBrush(QColor(170, 220, 255));
    p.drawRect(frame);
    p.setBrush(QColor(255, 210, 60));
    p.drawEllipse(QPointF(frame.right() - s * 0.13, frame.top() + s * 0.13), s * 0.07, s * 0.07);
    p.setBrush(QColor(60, 170, 80));
    p.drawPolygon(QPolygonF() << frame.bottomLeft() << QPointF(frame.left() + frame.width() * 0.4, frame.top() + frame.height() * 0.45)
                              << frame.bottomRight());
    return finish(p, image, QImage::Format_ARGB32);
}

QImage SampleScenes::leafIcon(int size)
{
    QImage image = transparentCanvas(QSize(size, size));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QPainterPath leaf;
    leaf.moveTo(s * 0.12, s * 0.88);
    leaf.cubicTo(s * 0.05, s * 0.4, s * 0.4, s * 0.08, s * 0.92, s * 0.08);
    leaf.cubicTo(s * 0.92, s * 0.6, s * 0.6, s * 0.95, s * 0.12, s * 0.88);
    QLinearGradient g(0, s, s, 0);
    g.setColorAt(0, QColor(40, 120, 40));
    g.setColorAt(1, QColor(150, 210, 70));
    p.fillPath(leaf, g);
    p.setPen(QPen(QColor(230, 250, 200, 200), std::max(1.0, s * 0.03), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(s * 0.12, s * 0.88), QPointF(s * 0.8, s * 0.2));
    for (int i = 1; i <= 4; ++i) {
        const QPointF base(s * (0.12 + 0.14 * i), s * (0.88 - 0.14 * i));
        // Side veins run forward, towards the tip, on both sides of the midrib.
        p.drawLine(base, base + QPointF(-s * 0.02, -s * 0.13));
        p.drawLine(base, base + QPointF(s * 0.13, s * 0.02));
    }
    return finish(p, image, QImage::Format_ARGB32);
}

QImage SampleScenes::arrowCursor(int size)
{
    QImage image = transparentCanvas(QSize(size, size));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 32.0;
    QPolygonF arrow;
    arrow << QPointF(1, 1) << QPointF(1, 23 * u) << QPointF(7 * u, 18 * u) << QPointF(11 * u, 27 * u)
          << QPointF(15 * u, 25.5 * u) << QPointF(11 * u, 16.5 * u) << QPointF(18 * u, 16.5 * u);
    p.setPen(QPen(Qt::black, 1.5 * u, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::white);
    p.drawPolygon(arrow);
    return finish(p, image, QImage::Format_ARGB32);
}

QImage SampleScenes::crosshairCursor(int size)
{
    QImage image = transparentCanvas(QSize(size, size));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal c = size / 2.0;
    const qreal r = size * 0.3;
    // White under black keeps it visible on any background.
    for (const auto &[color, width] : {std::pair{QColor(Qt::white), 4.0}, std::pair{QColor(200, 30, 30), 2.0}}) {
        p.setPen(QPen(color, width, Qt::SolidLine, Qt::FlatCap));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(c, c), r, r);
        p.drawLine(QPointF(c, 1), QPointF(c, c - 4));
        p.drawLine(QPointF(c, c + 4), QPointF(c, size - 1));
        p.drawLine(QPointF(1, c), QPointF(c - 4, c));
        p.drawLine(QPointF(c + 4, c), QPointF(size - 1, c));
    }
    return finish(p, image, QImage::Format_ARGB32);
}

QImage SampleScenes::pencilCursor(int size)
{
    QImage image = transparentCanvas(QSize(size, size));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 32.0;
    p.translate(1, size - 1);
    p.rotate(-45);
    // Drawn along +x from the tip at the origin, which is the hot spot.
    const qreal len = 38 * u, thick = 7 * u;
    p.setPen(QPen(QColor(40, 30, 20), u));
    p.setBrush(QColor(240, 200, 150));
    p.drawPolygon(QPolygonF() << QPointF(0, 0) << QPointF(8 * u, -thick / 2) << QPointF(8 * u, thick / 2));
    p.setBrush(QColor(250, 200, 40));
    p.drawRect(QRectF(8 * u, -thick / 2, len - 14 * u, thick));
    p.setBrush(QColor(230, 120, 140));
    p.drawRect(QRectF(len - 6 * u, -thick / 2, 5 * u, thick));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 30, 20));
    p.drawPolygon(QPolygonF() << QPointF(0, 0) << QPointF(3 * u, -thick * 0.19) << QPointF(3 * u, thick * 0.19));
    return finish(p, image, QImage::Format_ARGB32);
}
