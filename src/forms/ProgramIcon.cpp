#include "forms/ProgramIcon.h"

#include <QCoreApplication>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>
#include <limits>

namespace forms {

namespace {

// The drawing's grid; the SVG's viewBox is the same.
constexpr int kGrid = 256;
constexpr int kMaxSize = 4096;

// The standard VGA colours. Fuchsia is the 16-colour icon's transparent key.
constexpr std::array<QRgb, 16> kVga = {
    0xff000000, 0xff800000, 0xff008000, 0xff808000, 0xff000080, 0xff800080, 0xff008080, 0xffc0c0c0,
    0xff808080, 0xffff0000, 0xff00ff00, 0xffffff00, 0xff0000ff, 0xffff00ff, 0xff00ffff, 0xffffffff,
};
constexpr int kTransparentIndex = 13;

struct Shape
{
    QPainterPath path;
    QRgb colour;
};

// Back to front. The tile, frame and photo edges sit on multiples of 16, so the 16- and 32-pixel
// renditions come out crisp and even. Each colour is picked so its nearest VGA colour is the
// intended one: tile black, frame white, sky aqua, sun yellow, mountain teal, snow white, hill
// green.
const QList<Shape> &shapes()
{
    static const QList<Shape> list = [] {
        QList<Shape> s;
        const auto add = [&s](const QPainterPath &path, QRgb colour) { s.append({path, colour}); };
        const auto polygon = [](std::initializer_list<QPointF> points) {
            QPainterPath p;
            p.addPolygon(QPolygonF(QList<QPointF>(points)));
            p.closeSubpath();
            return p;
        };

        QPainterPath tile;
        tile.addRoundedRect(QRectF(16, 16, 224, 224), 36, 36);
        add(tile, 0xff1f2933);

        QPainterPath frame;
        frame.addRect(QRectF(32, 48, 192, 160));
        add(frame, 0xfff8f8f4);

        // The photo itself: 48 ... 208 across, 64 ... 192 down.
        QPainterPath sky;
        sky.addRect(QRectF(48, 64, 160, 128));
        add(sky, 0xff38bdf8);

        QPainterPath sun;
        sun.addEllipse(QPointF(160, 100), 20, 20);
        add(sun, 0xfffacc15);

        add(polygon({{48, 192}, {48, 160}, {104, 104}, {192, 192}}), 0xff2b8a8e);
        add(polygon({{104, 104}, {88, 120}, {98, 116}, {106, 122}, {114, 114}}), 0xfff1f5f9);

        QPainterPath hill;
        hill.moveTo(48, 184);
        hill.cubicTo(104, 184, 144, 136, 208, 136);
        hill.lineTo(208, 192);
        hill.lineTo(48, 192);
        hill.closeSubpath();
        add(hill, 0xff3a9a34);
        return s;
    }();
    return list;
}

bool validSize(int size)
{
    return size >= 1 && size <= kMaxSize;
}

QImage render(int size, bool antialiased)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, antialiased);
    painter.scale(qreal(size) / kGrid, qreal(size) / kGrid);
    for (const Shape &shape : shapes())
        painter.fillPath(shape.path, QColor::fromRgb(shape.colour));
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

int nearestVga(QRgb colour)
{
    int best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (int i = 0; i < int(kVga.size()); ++i) {
        if (i == kTransparentIndex)
            continue; // an opaque pixel must never turn clear
        const int dr = qRed(colour) - qRed(kVga[i]);
        const int dg = qGreen(colour) - qGreen(kVga[i]);
        const int db = qBlue(colour) - qBlue(kVga[i]);
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

QString svgNumber(qreal value)
{
    QString text = QString::number(value, 'f', 2);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QString svgPathData(const QPainterPath &path)
{
    QStringList parts;
    const auto point = [](const QPainterPath::Element &e) { return svgNumber(e.x) + QLatin1Char(' ') + svgNumber(e.y); };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            if (i > 0)
                parts << QStringLiteral("Z");
            parts << QStringLiteral("M ") + point(e);
            break;
        case QPainterPath::LineToElement:
            parts << QStringLiteral("L ") + point(e);
            break;
        case QPainterPath::CurveToElement:
            // A curve is stored as its first control point followed by two data elements.
            if (i + 2 < path.elementCount()) {
                parts << QStringLiteral("C ") + point(e) + QLatin1Char(' ') + point(path.elementAt(i + 1))
                             + QLatin1Char(' ') + point(path.elementAt(i + 2));
                i += 2;
            }
            break;
        case QPainterPath::CurveToDataElement:
            break;
        }
    }
    parts << QStringLiteral("Z");
    return parts.join(QLatin1Char(' '));
}

} // namespace

QImage ProgramIcon16(int size)
{
    if (!validSize(size))
        return {};
    const QImage source = render(size, false);
    if (source.isNull())
        return {};
    QImage image(size, size, QImage::Format_Indexed8);
    if (image.isNull())
        return {};
    QList<QRgb> table(kVga.begin(), kVga.end());
    table[kTransparentIndex] = qRgba(255, 0, 255, 0);
    image.setColorTable(table);
    for (int y = 0; y < size; ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        uchar *out = image.scanLine(y);
        for (int x = 0; x < size; ++x)
            out[x] = uchar(qAlpha(in[x]) < 128 ? kTransparentIndex : nearestVga(in[x]));
    }
    return image;
}

QImage ProgramIconImage(int size)
{
    if (!validSize(size))
        return {};
    return render(size, true);
}

QIcon ProgramIcon()
{
    // Drawn once per run: the program and each of its windows share it.
    static QIcon *cached = nullptr;
    if (!cached) {
        cached = new QIcon;
        for (const int size : {16, 32, 48, 64, 128, 256})
            cached->addPixmap(QPixmap::fromImage(ProgramIconImage(size)));
        // Its pixmaps go with the application, not after it.
        qAddPostRoutine([] {
            delete cached;
            cached = nullptr;
        });
    }
    return *cached;
}

QByteArray ProgramIconSvg()
{
    QString svg;
    svg += QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" viewBox=\"0 0 %1 %1\">\n"
                          "  <title>Quorvel</title>\n")
               .arg(kGrid);
    for (const Shape &shape : shapes()) {
        svg += QStringLiteral("  <path fill=\"%1\" d=\"%2\"/>\n")
                   .arg(QColor::fromRgb(shape.colour).name(), svgPathData(shape.path));
    }
    svg += QStringLiteral("</svg>\n");
    return svg.toUtf8();
}

} // namespace forms
