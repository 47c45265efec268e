#include "WmfScenes.h"

#include "SeededRandom.h"
#include "WmfWriter.h"

#include <QtMath>

#include <algorithm>
#include <cmath>

namespace {

using PenStyle = WmfWriter::PenStyle;
using BrushStyle = WmfWriter::BrushStyle;

QColor mix(const QColor &a, const QColor &b, double t)
{
    return QColor(int(a.red() + (b.red() - a.red()) * t + 0.5), int(a.green() + (b.green() - a.green()) * t + 0.5),
                  int(a.blue() + (b.blue() - a.blue()) * t + 0.5));
}

// Metafiles have no gradients: stack bands of solid colour instead.
void bands(WmfWriter &wmf, const QRect &area, const QColor &top, const QColor &bottom, int count)
{
    wmf.setPen(PenStyle::None, 0, Qt::black);
    for (int i = 0; i < count; ++i) {
        const int y0 = area.top() + area.height() * i / count;
        const int y1 = area.top() + area.height() * (i + 1) / count;
        wmf.setBrush(BrushStyle::Solid, mix(top, bottom, count > 1 ? double(i) / (count - 1) : 0.0));
        // Overlap the next band by a unit: with no pen, the fill stops one unit short. Nothing
        // is drawn outside the frame, since some readers size the picture by what is drawn.
        wmf.rectangle(QRect(area.left(), y0, area.width(), y1 - y0 + (i + 1 < count ? 1 : 0)));
    }
}

QPolygon hill(int width, int bottom, int level, int amplitude, double waves, double phase)
{
    QPolygon points;
    points << QPoint(0, bottom);
    for (int i = 0; i <= 40; ++i) {
        const double t = i / 40.0;
        points << QPoint(int(width * t), int(level - amplitude * std::sin(t * waves * M_PI + phase)));
    }
    points << QPoint(width, bottom);
    return points;
}

QPoint polar(QPoint centre, double radius, double degrees)
{
    const double a = qDegreesToRadians(degrees);
    return centre + QPoint(int(std::lround(radius * std::cos(a))), int(std::lround(radius * std::sin(a))));
}

QByteArray placeable(const WmfWriter &wmf, int unitsPerInch)
{
    return wmf.isValid() ? wmf.toPlaceable(unitsPerInch) : QByteArray();
}

} // namespace

QByteArray WmfScenes::countryside()
{
    WmfWriter wmf(QSize(640, 480), 15);
    bands(wmf, QRect(0, 0, 640, 340), QColor(44, 96, 176), QColor(250, 206, 160), 24);

    wmf.setBrush(BrushStyle::Solid, QColor(250, 222, 170));
    wmf.ellipse(QRect(408, 58, 144, 144));
    wmf.setPen(PenStyle::Solid, 3, QColor(245, 160, 40));
    wmf.setBrush(BrushStyle::Solid, QColor(255, 206, 70));
    wmf.ellipse(QRect(436, 86, 88, 88));

    wmf.setPen(PenStyle::None, 0, Qt::black);
    wmf.setBrush(BrushStyle::Solid, QColor(255, 255, 255));
    for (const QRect &puff : {QRect(90, 74, 90, 46), QRect(130, 56, 90, 64), QRect(176, 76, 80, 44), QRect(280, 44, 70, 36),
                              QRect(312, 30, 76, 48), QRect(350, 48, 60, 32)}) {
        wmf.ellipse(puff);
    }

    wmf.setBrush(BrushStyle::Solid, QColor(128, 176, 120));
    wmf.polygon(hill(640, 480, 300, 34, 2.2, 0.4));
    wmf.setBrush(BrushStyle::Solid, QColor(84, 150, 76));
    wmf.polygon(hill(640, 480, 356, 14, 1.4, 2.0));

    // Ploughed field: a solid fill with a hatch of furrows over it.
    const QPolygon field = hill(640, 480, 410, 10, 1.0, 0.0);
    wmf.setBrush(BrushStyle::Solid, QColor(196, 196, 96));
    wmf.polygon(field);
    wmf.setBackgroundTransparent(true);
    wmf.setBrush(BrushStyle::Hatched, QColor(150, 140, 50), WmfWriter::Hatch::Horizontal);
    wmf.polygon(field);

    wmf.setBrush(BrushStyle::Solid, QColor(222, 202, 160));
    wmf.polygon(QPolygon({QPoint(318, 362), QPoint(338, 362), QPoint(380, 480), QPoint(280, 480)}));

    // House: chimney behind the roof, walls, door and two windows.
    wmf.setPen(PenStyle::Solid, 2, QColor(70, 56, 44));
    wmf.setBrush(BrushStyle::Solid, QColor(140, 70, 60));
    wmf.rectangle(QRect(366, 196, 20, 44));
    wmf.setBrush(BrushStyle::Solid, QColor(232, 220, 196));
    wmf.rectangle(QRect(250, 250, 160, 112));
    wmf.setBrush(BrushStyle::Solid, QColor(178, 58, 48));
    wmf.polygon(QPolygon({QPoint(236, 254), QPoint(330, 186), QPoint(424, 254)}));
    wmf.setBrush(BrushStyle::Solid, QColor(120, 72, 40));
    wmf.roundRect(QRect(312, 298, 36, 64), 14, 14);
    wmf.setBrush(BrushStyle::Solid, QColor(160, 210, 240));
    for (int x : {266, 362}) {
        wmf.rectangle(QRect(x, 272, 34, 30));
        wmf.line(QPoint(x + 17, 272), QPoint(x + 17, 302));
        wmf.line(QPoint(x, 287), QPoint(x + 34, 287));
    }

    wmf.setPen(PenStyle::None, 0, Qt::black);
    wmf.setBrush(BrushStyle::Solid, QColor(110, 74, 40));
    wmf.rectangle(QRect(512, 270, 18, 96));
    wmf.setBrush(BrushStyle::Solid, QColor(46, 116, 54));
    wmf.ellipse(QRect(462, 190, 120, 104));
    wmf.setBrush(BrushStyle::Solid, QColor(66, 146, 66));
    wmf.ellipse(QRect(484, 170, 80, 76));

    wmf.setPen(PenStyle::Solid, 3, QColor(245, 242, 230));
    wmf.line(QPoint(2, 382), QPoint(226, 380));
    wmf.line(QPoint(2, 400), QPoint(226, 398));
    wmf.setBrush(BrushStyle::Solid, QColor(245, 242, 230));
    for (int x = 8; x < 226; x += 32)
        wmf.rectangle(QRect(x, 370, 6, 42));

    SeededRandom rng(211);
    wmf.setPen(PenStyle::None, 0, Qt::black);
    const QColor petals[] = {QColor(220, 50, 60), QColor(250, 230, 80), QColor(250, 250, 250)};
    for (int i = 0; i < 36; ++i) {
        wmf.setBrush(BrushStyle::Solid, petals[rng.below(3)]);
        const QPoint c(4 + rng.below(632), 424 + rng.below(52));
        wmf.ellipse(QRect(c.x() - 4, c.y() - 4, 8, 8));
    }
    return placeable(wmf, 1440);
}

QByteArray WmfScenes::rocket()
{
    WmfWriter wmf(QSize(480, 640), 15);
    bands(wmf, QRect(0, 0, 480, 640), QColor(10, 14, 48), QColor(76, 46, 124), 28);

    SeededRandom rng(223);
    wmf.setPen(PenStyle::None, 0, Qt::black);
    for (int i = 0; i < 50; ++i) {
        wmf.setBrush(BrushStyle::Solid, rng.below(4) == 0 ? QColor(255, 230, 160) : QColor(236, 240, 255));
        const int r = 1 + rng.below(3);
        const QPoint c(4 + rng.below(472), 4 + rng.below(556));
        wmf.ellipse(QRect(c.x() - r, c.y() - r, 2 * r, 2 * r));
    }

    wmf.setBrush(BrushStyle::Solid, QColor(214, 120, 90));
    wmf.ellipse(QRect(40, 60, 124, 124));
    wmf.setBrush(BrushStyle::Solid, QColor(186, 96, 74));
    wmf.ellipse(QRect(70, 88, 34, 20));
    wmf.ellipse(QRect(110, 130, 26, 16));
    wmf.setPen(PenStyle::Solid, 5, QColor(240, 210, 170));
    wmf.setBrush(BrushStyle::None);
    wmf.ellipse(QRect(8, 106, 188, 32));

    wmf.setPen(PenStyle::Solid, 3, QColor(60, 60, 84));
    wmf.setBrush(BrushStyle::Solid, QColor(210, 52, 52));
    wmf.polygon(QPolygon({QPoint(206, 330), QPoint(150, 420), QPoint(160, 434), QPoint(208, 404)}));
    wmf.polygon(QPolygon({QPoint(274, 330), QPoint(330, 420), QPoint(320, 434), QPoint(272, 404)}));
    wmf.setBrush(BrushStyle::Solid, QColor(236, 236, 246));
    QPolygon body;
    // Ogive nose down to a straight body, sampled from a half-ellipse.
    for (int i = 0; i <= 12; ++i) {
        const double a = M_PI / 2 * i / 12;
        body << QPoint(240 + int(std::lround(38 * std::sin(a))), 260 - int(std::lround(110 * std::cos(a))));
    }
    body << QPoint(278, 404) << QPoint(202, 404);
    for (int i = 12; i >= 0; --i) {
        const double a = M_PI / 2 * i / 12;
        body << QPoint(240 - int(std::lround(38 * std::sin(a))), 260 - int(std::lround(110 * std::cos(a))));
    }
    wmf.polygon(body);
    wmf.setBrush(BrushStyle::Solid, QColor(210, 52, 52));
    wmf.polygon(QPolygon({QPoint(240, 150), QPoint(256, 168), QPoint(224, 168)}));
    wmf.setPen(PenStyle::Solid, 6, QColor(90, 90, 116));
    wmf.setBrush(BrushStyle::Solid, QColor(90, 170, 230));
    wmf.ellipse(QRect(216, 246, 48, 48));
    wmf.setPen(PenStyle::None, 0, Qt::black);
    wmf.setBrush(BrushStyle::Solid, QColor(200, 236, 255));
    wmf.ellipse(QRect(226, 256, 12, 10));
    wmf.setPen(PenStyle::Solid, 3, QColor(60, 60, 84));
    wmf.setBrush(BrushStyle::Solid, QColor(210, 52, 52));
    wmf.roundRect(QRect(234, 330, 12, 84), 8, 8);
    wmf.setBrush(BrushStyle::Solid, QColor(96, 96, 118));
    wmf.polygon(QPolygon({QPoint(214, 404), QPoint(266, 404), QPoint(258, 420), QPoint(222, 420)}));

    wmf.setPen(PenStyle::None, 0, Qt::black);
    wmf.setBrush(BrushStyle::Solid, QColor(250, 140, 40));
    wmf.polygon(QPolygon({QPoint(222, 420), QPoint(258, 420), QPoint(254, 470), QPoint(240, 530), QPoint(226, 470)}));
    wmf.setBrush(BrushStyle::Solid, QColor(255, 226, 90));
    wmf.polygon(QPolygon({QPoint(230, 420), QPoint(250, 420), QPoint(247, 456), QPoint(240, 494), QPoint(233, 456)}));

    // Exhaust clouds along the bottom.
    const QColor smoke[] = {QColor(190, 186, 210), QColor(222, 220, 236), QColor(246, 246, 252)};
    for (int row = 0; row < 3; ++row) {
        wmf.setBrush(BrushStyle::Solid, smoke[row]);
        for (int i = 0; i < 7; ++i) {
            const int r = 44 + rng.below(22) - row * 4;
            const int height = r * 3 / 2;
            const int cx = std::clamp(i * 80 + 20 + row * 22 + rng.below(20), r, 480 - r);
            const int top = std::min(560 + row * 26 + rng.below(14) - height / 2, 640 - height);
            wmf.ellipse(QRect(cx - r, top, 2 * r, height));
        }
    }
    return placeable(wmf, 1440);
}

QByteArray WmfScenes::geometry()
{
    WmfWriter wmf(QSize(400, 300));
    wmf.setPen(PenStyle::None, 0, Qt::black);
    wmf.setBrush(BrushStyle::Solid, QColor(246, 240, 226));
    wmf.rectangle(QRect(0, 0, 400, 300));

    wmf.setPen(PenStyle::Solid, 3, QColor(24, 24, 28));
    wmf.setBrush(BrushStyle::Solid, QColor(222, 60, 50));
    wmf.ellipse(QRect(26, 30, 140, 140));
    wmf.setBrush(BrushStyle::Solid, QColor(40, 80, 164));
    wmf.rectangle(QRect(196, 24, 170, 104));
    wmf.setBrush(BrushStyle::Solid, QColor(250, 250, 250));
    wmf.roundRect(QRect(240, 52, 84, 44), 22, 22);

    wmf.setBackgroundTransparent(true);
    wmf.setBrush(BrushStyle::Hatched, QColor(24, 24, 28), WmfWriter::Hatch::DiagonalCross);
    wmf.rectangle(QRect(212, 150, 150, 120));

    wmf.setBrush(BrushStyle::Solid, QColor(250, 192, 40));
    wmf.polygon(QPolygon({QPoint(34, 272), QPoint(112, 168), QPoint(190, 272)}));

    // A five-pointed star drawn as one self-crossing polygon: filled solid only with winding fill.
    wmf.setWindingFill(true);
    wmf.setBrush(BrushStyle::Solid, QColor(40, 150, 90));
    QPolygon star;
    for (int i = 0; i < 5; ++i)
        star << polar(QPoint(112, 100), 40, -90 + i * 144);
    wmf.polygon(star);

    wmf.setPen(PenStyle::Solid, 4, QColor(24, 24, 28));
    QPolygon zigzag;
    for (int i = 0; i <= 10; ++i)
        zigzag << QPoint(200 + i * 18, i % 2 ? 136 : 146);
    wmf.polyline(zigzag);
    wmf.setPen(PenStyle::Dash, 1, QColor(24, 24, 28));
    wmf.line(QPoint(10, 290), QPoint(390, 290));
    return wmf.isValid() ? wmf.toStandard() : QByteArray();
}

QByteArray WmfScenes::mandala()
{
    WmfWriter wmf(QSize(500, 500), 6);
    const QPoint c(250, 250);
    wmf.setPen(PenStyle::None, 0, Qt::black);
    wmf.setBrush(BrushStyle::Solid, QColor(22, 26, 44));
    wmf.rectangle(QRect(0, 0, 500, 500));
    wmf.setPen(PenStyle::Solid, 4, QColor(222, 190, 120));
    wmf.setBrush(BrushStyle::Solid, QColor(40, 52, 92));
    wmf.ellipse(QRect(20, 20, 460, 460));

    wmf.setPen(PenStyle::Solid, 2, QColor(30, 30, 50));
    for (int i = 0; i < 12; ++i) {
        const double a = i * 30.0;
        wmf.setBrush(BrushStyle::Solid, i % 2 ? QColor(232, 92, 112) : QColor(250, 182, 80));
        wmf.polygon(QPolygon({polar(c, 70, a), polar(c, 150, a - 13), polar(c, 212, a), polar(c, 150, a + 13)}));
    }
    for (int i = 0; i < 8; ++i) {
        const double a = 22.5 + i * 45.0;
        wmf.setBrush(BrushStyle::Solid, QColor(100, 200, 190));
        wmf.polygon(QPolygon({polar(c, 40, a), polar(c, 96, a - 16), polar(c, 140, a), polar(c, 96, a + 16)}));
    }
    wmf.setPen(PenStyle::None, 0, Qt::black);
    wmf.setBrush(BrushStyle::Solid, QColor(222, 190, 120));
    for (int i = 0; i < 24; ++i) {
        const QPoint p = polar(c, 222, i * 15.0 + 7.5);
        wmf.ellipse(QRect(p.x() - 6, p.y() - 6, 12, 12));
    }
    wmf.setPen(PenStyle::Solid, 3, QColor(30, 30, 50));
    wmf.setBrush(BrushStyle::Solid, QColor(250, 232, 184));
    wmf.roundRect(QRect(c.x() - 42, c.y() - 42, 84, 84), 30, 30);
    wmf.setBrush(BrushStyle::Solid, QColor(200, 60, 64));
    wmf.ellipse(QRect(c.x() - 20, c.y() - 20, 40, 40));
    return placeable(wmf, 576);
}
