#include "platform/picture/PictureLoader.h"
#include "platform/picture/WmfRenderer.h"

#include "PictureBytes.h"

#include <QBuffer>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <atomic>
#include <thread>
#include <vector>

#include <sys/resource.h>

using platform::DecodePicture;
using platform::PictureDecodeSize;
using platform::PictureInfo;
using platform::ReadPictureInfo;
using Bytes = PictureBytes;
using Records = QList<PictureBytes::WmfRecord>;

namespace {

QByteArray encoded(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

// Left half red, right half blue: shows which way a picture was turned.
QImage twoTone(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter(&image).fillRect(0, 0, size.width() / 2, size.height(), Qt::red);
    return image;
}

// Smooth colour ramps with some texture: compresses like a photo, not like a flat fill.
QImage photoLike(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb((x * 255) / size.width(), (y * 255) / size.height(), ((x ^ y) * 7) & 0xFF);
    }
    return image;
}

// A metafile of a 100 x 100 unit window (1 inch at 96 DPI) holding `records`.
QByteArray square(const Records &records, int objects = 2)
{
    return Bytes::wmf(Records{Bytes::setWindowOrg(0, 0), Bytes::setWindowExt(100, 100)} + records, 96, 100, 100, objects);
}

// A DIB pattern brush of `side` x `side` pixels (rows of zeros and ones), whose header size,
// depth and colour count may lie.
Bytes::WmfRecord patternBrush(quint32 headerSize, quint32 colorsUsed = 2, quint16 bitCount = 1, int side = 8)
{
    QByteArray dib(40 + 2 * 4 + side * 4, '\0');
    uchar *d = reinterpret_cast<uchar *>(dib.data());
    qToLittleEndian<quint32>(headerSize, d);
    qToLittleEndian<qint32>(side, d + 4);
    qToLittleEndian<qint32>(side, d + 8);
    qToLittleEndian<quint16>(1, d + 12);
    qToLittleEndian<quint16>(bitCount, d + 14);
    qToLittleEndian<quint32>(colorsUsed, d + 32);
    dib[40 + 4 + 2] = char(0xFF); // second colour red
    for (int row = 0; row < side; ++row)
        dib[48 + 4 * row] = char(row % 2 ? 0xAA : 0x55);
    return {0x0142, {5, 0}, dib}; // BS_DIBPATTERNPT, DIB_RGB_COLORS
}

bool isRed(QRgb p) { return qRed(p) > 180 && qGreen(p) < 90 && qBlue(p) < 90; }
bool isBlue(QRgb p) { return qBlue(p) > 180 && qRed(p) < 90 && qGreen(p) < 90; }
const QRgb white = qRgb(255, 255, 255);

// The share of pixels in `area` within `tolerance` of `color` in every channel.
double shareOf(const QImage &image, const QRect &area, QRgb color, int tolerance = 48)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    qint64 close = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = area.left(); x <= area.right(); ++x)
            close += qAbs(qRed(line[x]) - qRed(color)) <= tolerance && qAbs(qGreen(line[x]) - qGreen(color)) <= tolerance
                     && qAbs(qBlue(line[x]) - qBlue(color)) <= tolerance;
    }
    return double(close) / double(qMax(1, area.width() * area.height()));
}

// A check on a metafile render: the share of `area` (logical units) close to `color`.
struct Probe { QRect area; QRgb color; double atLeast, atMost; };

// The sanitizer build (make test-asan) runs a few times slower and holds freed memory in
// quarantine besides a shadow of the heap: its time and memory budgets are wider by this much.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kBudgetFactor = 3;
#else
constexpr int kBudgetFactor = 1;
#endif

qint64 peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool paintReadyFormat(const QImage &image)
{
    return image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32_Premultiplied;
}

} // namespace

class TestPictureLoader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void decodedSize_data();
    void decodedSize();
    void unreadable_data();
    void unreadable();
    void exifOrientationTurnsPixels();
    void iconPicksLargestEntry_data();
    void iconPicksLargestEntry();
    void metafileDrawing_data();
    void metafileDrawing();
    void largeShapesHaveNoSeams();
    void absurdHeadersFailFast_data();
    void absurdHeadersFailFast();
    void hostileMetafiles_data();
    void hostileMetafiles();
    void hugeJpegDecodesScaled();
    void concurrentDecodes();
    void corpusSweep();

private:
    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile file(m_dir.filePath(name));
        const bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
        return ok ? file.fileName() : QString();
    }

    QTemporaryDir m_dir;
};

void TestPictureLoader::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Without them libwmf refuses every metafile: say why before the metafile tests fail.
    if (!QFileInfo(QStringLiteral("/usr/share/fonts/type1/urw-base35")).isDir())
        qWarning("libwmf renders nothing without its fonts: install fonts-urw-base35");
}

void TestPictureLoader::decodedSize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("target"); // empty: the natural size, which the header must report too
    QTest::addColumn<QSize>("expected");
    QTest::addColumn<QSizeF>("twips"); // metafiles only; raster pictures have natural pixels * 15

    const auto natural = [](const char *tag, const char *name, const QByteArray &bytes, QSize pixels,
                            QSizeF twips = QSizeF(-1, -1)) {
        QTest::newRow(tag) << QString(name) << bytes << QSize() << pixels << twips;
    };
    natural("bmp", "a.bmp", encoded(photoLike({64, 48}), "BMP"), {64, 48});
    natural("jpeg", "a.jpg", encoded(photoLike({80, 60}), "JPEG"), {80, 60});
    natural("jpeg named .bmp", "b.bmp", encoded(photoLike({80, 60}), "JPEG"), {80, 60});
    natural("png named .jpg", "p.jpg", encoded(photoLike({30, 20}), "PNG"), {30, 20});
    natural("gif", "a.gif", Bytes::gif({3, 2}), {3, 2});
    const QList<Bytes::IconImage> entries{{{16, 16}, Qt::red, 32}, {{48, 48}, Qt::blue, 24}, {{32, 32}, Qt::red, 32}};
    natural("ico multi", "b.ico", Bytes::icon(entries, false), {48, 48});
    natural("cur multi", "a.cur", Bytes::icon(entries, true), {48, 48});
    const QByteArray stored40x20 = encoded(twoTone({40, 20}), "JPEG", 95);
    natural("exif 6 swaps", "e6.jpg", Bytes::withExifOrientation(stored40x20, 6), {20, 40});
    natural("exif 8 swaps", "e8.jpg", Bytes::withExifOrientation(stored40x20, 8), {20, 40});
    natural("exif 3 keeps", "e3.jpg", Bytes::withExifOrientation(stored40x20, 3), {40, 20});
    // Metafiles: twips from the placeable box, else from the window extent.
    natural("wmf placeable 1440", "a.wmf", Bytes::wmfRedLeftHalf(1440, 2880, 1440), {192, 96}, {2880, 1440});
    natural("wmf placeable 576", "b.wmf", Bytes::wmfRedLeftHalf(576, 1152, 576), {192, 96}, {2880, 1440});
    natural("wmf himetric extent", "c.wmf",
            Bytes::wmf({Bytes::setMapMode(3), Bytes::setWindowExt(5080, 2540), Bytes::rectangle(0, 0, 2000, 1000)}, 0, 0, 0),
            {192, 96}, {2880, 1440});
    natural("wmf text extent as pixels", "d.wmf",
            Bytes::wmf({Bytes::setWindowExt(300, 150), Bytes::rectangle(0, 0, 100, 100)}, 0, 0, 0), {300, 150},
            {4500, 2250});
    natural("wmf large anisotropic extent as twips", "e.wmf",
            Bytes::wmf({Bytes::setMapMode(8), Bytes::setWindowExt(6000, 3000), Bytes::rectangle(0, 0, 3000, 3000)}, 0, 0, 0),
            {400, 200}, {6000, 3000});
    natural("wmf content named .bin", "f.bin", Bytes::wmfRedLeftHalf(1440, 1440, 1440), {96, 96}, {1440, 1440});

    // Raster pictures for a target: the smallest size of their own shape covering it, never enlarged.
    const auto scaled = [](const char *tag, const char *name, const QByteArray &bytes, QSize target, QSize expected) {
        QTest::newRow(tag) << QString(name) << bytes << target << expected << QSizeF(-1, -1);
    };
    const QByteArray jpeg = encoded(photoLike({1200, 800}), "JPEG");
    scaled("jpeg quarter", "a.jpg", jpeg, {300, 200}, {300, 200});
    scaled("jpeg odd box covers", "a.jpg", jpeg, {301, 150}, {301, 200});
    scaled("jpeg between dct steps", "a.jpg", jpeg, {700, 466}, {700, 466});
    scaled("jpeg never enlarged", "a.jpeg", jpeg, {1920, 1080}, {1200, 800});
    scaled("jpeg exif 6 target upright", "t.jpg", Bytes::withExifOrientation(encoded(twoTone({400, 200}), "JPEG"), 6),
           {100, 200}, {100, 200});
    scaled("bmp", "a.bmp", encoded(photoLike({600, 400}), "BMP"), {150, 100}, {150, 100});
    scaled("gif", "a.gif", Bytes::gif({30, 20}), {15, 10}, {15, 10});
    scaled("ico", "a.ico", Bytes::icon({{{48, 48}, Qt::green, 32}}, false), {24, 24}, {24, 24});
    scaled("cur", "a.cur", Bytes::icon({{{48, 48}, Qt::green, 32}}, true), {24, 24}, {24, 24});
}

void TestPictureLoader::decodedSize()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, target);
    QFETCH(QSize, expected);
    QFETCH(QSizeF, twips);
    const QString path = write(name, bytes);
    const std::optional<PictureInfo> info = ReadPictureInfo(path);
    QVERIFY(info.has_value());
    QCOMPARE(info->isMetafile, twips.isValid());
    if (target.isEmpty()) {
        QCOMPARE(info->pixels, expected);
        QCOMPARE(info->twips, twips.isValid() ? twips : QSizeF(expected) * 15);
    }
    QCOMPARE(PictureDecodeSize(*info, target), expected);
    const QImage image = DecodePicture(path, target);
    QCOMPARE(image.size(), expected);
    QVERIFY(paintReadyFormat(image));
}

void TestPictureLoader::unreadable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // null: no file at all

    QTest::newRow("missing") << "missing.jpg" << QByteArray();
    QTest::newRow("empty") << "empty.jpg" << QByteArray("");
    QTest::newRow("garbage") << "garbage.bmp" << QByteArray(4096, '\x5A');
    QTest::newRow("ppm is not ours") << "a.ppm" << encoded(photoLike({16, 16}), "PPM");
    QTest::newRow("tga is not ours") << "a.tga" << encoded(photoLike({16, 16}), "TGA");
    QTest::newRow("jpeg named .wmf") << "photo.wmf" << encoded(photoLike({16, 16}), "JPEG");
    QTest::newRow("wmf header only") << "h.wmf" << Bytes::wmf({}, 1440, 1440, 1440).left(22 + 18);
    QTest::newRow("icon without entries") << "none.ico" << QByteArray("\0\0\1\0\0\0", 6);
}

void TestPictureLoader::unreadable()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    const QString path = bytes.isNull() ? m_dir.filePath(name) : write(name, bytes);
    QVERIFY(!ReadPictureInfo(path).has_value());
    QVERIFY(DecodePicture(path, QSize(640, 480)).isNull());
    QVERIFY(DecodePicture(path).isNull());
}

void TestPictureLoader::exifOrientationTurnsPixels()
{
    // Stored: red left, blue right. 6 turns it clockwise (left edge to the top), 8 the other way.
    const QByteArray stored = encoded(twoTone({80, 40}), "JPEG", 95);
    for (const int orientation : {6, 8}) {
        const QString path = write("turn.jpg", Bytes::withExifOrientation(stored, orientation));
        for (const QSize target : {QSize(), QSize(20, 40)}) {
            const QImage image = DecodePicture(path, target);
            QCOMPARE(image.width() * 2, image.height());
            const QRgb top = image.pixel(image.width() / 2, image.height() / 4);
            const QRgb bottom = image.pixel(image.width() / 2, 3 * image.height() / 4);
            QVERIFY2(orientation == 6 ? isRed(top) && isBlue(bottom) : isBlue(top) && isRed(bottom),
                     qPrintable(QStringLiteral("orientation %1 at %2: top %3 bottom %4")
                                    .arg(orientation).arg(target.width()).arg(top, 0, 16).arg(bottom, 0, 16)));
        }
    }
}

void TestPictureLoader::iconPicksLargestEntry_data()
{
    QTest::addColumn<bool>("cursor");
    QTest::addColumn<QList<Bytes::IconImage>>("entries");
    QTest::addColumn<QSize>("largest");

    // The green entry must win: the deeper of two equally large ones, wherever it sits.
    const QList<Bytes::IconImage> tie{{{48, 48}, Qt::blue, 24}, {{16, 16}, Qt::red, 32}, {{48, 48}, Qt::green, 32}};
    const QList<Bytes::IconImage> largestLast{{{16, 16}, Qt::red, 32}, {{24, 24}, Qt::blue, 32}, {{64, 64}, Qt::green, 24}};
    for (const bool cursor : {false, true}) {
        QTest::addRow("%s tie on area", cursor ? "cur" : "ico") << cursor << tie << QSize(48, 48);
        QTest::addRow("%s largest last", cursor ? "cur" : "ico") << cursor << largestLast << QSize(64, 64);
    }
}

void TestPictureLoader::iconPicksLargestEntry()
{
    QFETCH(bool, cursor);
    QFETCH(QList<Bytes::IconImage>, entries);
    QFETCH(QSize, largest);
    const QImage image = DecodePicture(write(cursor ? "pick.cur" : "pick.ico", Bytes::icon(entries, cursor)));
    QCOMPARE(image.size(), largest);
    QCOMPARE(image.pixelColor(image.width() / 2, image.height() / 2).rgb(), QColor(Qt::green).rgb());
}

void TestPictureLoader::metafileDrawing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("target");
    QTest::addColumn<QList<Probe>>("probes"); // areas in hundredths of the picture's width and height

    const QRgb black = qRgb(0, 0, 0), red = qRgb(230, 30, 30), green = qRgb(30, 200, 30);
    const QRgb blue = qRgb(30, 30, 230), yellow = qRgb(240, 220, 30);
    const Bytes::WmfRecord noPen = Bytes::pen(0, black, 5);
    const QSize side(200, 200);

    // A metafile is drawn at exactly the target, stretched to it: the left half stays the left half.
    const QList<Probe> leftHalfRed{{QRect(5, 5, 40, 90), red, 0.99, 1.0}, {QRect(55, 0, 45, 100), white, 0.99, 1.0}};
    for (const QSize target : {QSize(400, 200), QSize(37, 300), QSize(1920, 960)})
        QTest::addRow("left half red at %dx%d", target.width(), target.height())
            << Bytes::wmfRedLeftHalf(1440, 2880, 1440) << target << leftHalfRed;

    QTest::newRow("filled ellipse with an outline")
        << square({Bytes::solidBrush(red), Bytes::selectObject(0), Bytes::pen(2, black), Bytes::selectObject(1),
                   Bytes::ellipse(10, 10, 90, 90)})
        << side
        << QList<Probe>{{QRect(35, 35, 30, 30), red, 0.99, 1.0}, {QRect(0, 0, 8, 8), white, 0.99, 1.0},
                        {QRect(9, 48, 2, 4), black, 0.9, 1.0}};

    // In TRANSPARENT mode the field shows between the hatch lines; in OPAQUE mode the
    // background colour covers it.
    const Records blueField{Bytes::solidBrush(blue), Bytes::selectObject(0), noPen, Bytes::selectObject(1),
                            Bytes::rectangle(0, 0, 100, 100), Bytes::setBkColor(green), Bytes::hatchBrush(4, red),
                            Bytes::selectObject(2)};
    const QRect inner(25, 25, 50, 50);
    QTest::newRow("hatch, transparent background")
        << square(blueField + Records{Bytes::setBkMode(1), Bytes::rectangle(20, 20, 80, 80)}, 3) << side
        << QList<Probe>{{inner, green, 0.0, 0.0}, {inner, blue, 0.5, 0.95}, {inner, red, 0.05, 0.5}};
    QTest::newRow("hatch, opaque background")
        << square(blueField + Records{Bytes::setBkMode(2), Bytes::rectangle(20, 20, 80, 80)}, 3) << side
        << QList<Probe>{{inner, green, 0.5, 0.95}, {inner, blue, 0.0, 0.0}, {inner, red, 0.05, 0.5},
                        {QRect(2, 2, 10, 10), blue, 0.99, 1.0}};

    // A five-pointed star as one self-crossing polygon: its pentagon centre is inside only
    // under the winding rule.
    const QList<QPoint> star{{50, 10}, {74, 82}, {12, 38}, {88, 38}, {26, 82}};
    for (const bool winding : {true, false}) {
        QTest::addRow("self-crossing polygon, %s", winding ? "winding" : "alternate")
            << square({noPen, Bytes::selectObject(0), Bytes::solidBrush(green), Bytes::selectObject(1),
                       Bytes::setPolyFillMode(winding ? 2 : 1), Bytes::polygon(star)})
            << side
            << QList<Probe>{{QRect(45, 45, 10, 10), winding ? green : white, 0.99, 1.0},
                            {QRect(47, 22, 6, 6), green, 0.99, 1.0}};
    }

    // From the right-hand radial counter-clockwise to the top one: the upper right quarter.
    QTest::newRow("pie")
        << square({noPen, Bytes::selectObject(0), Bytes::solidBrush(red), Bytes::selectObject(1),
                   Bytes::pie(10, 10, 90, 90, QPoint(95, 50), QPoint(50, 5))})
        << side
        << QList<Probe>{{QRect(58, 25, 10, 10), red, 0.99, 1.0}, {QRect(25, 60, 10, 10), white, 0.99, 1.0},
                        {QRect(25, 25, 10, 10), white, 0.99, 1.0}, {QRect(60, 60, 10, 10), white, 0.99, 1.0}};

    // Bitmaps store their bottom row first; the top row must come out on top.
    QTest::newRow("bitmap")
        << square({Bytes::stretchDibPixels(QRect(0, 0, 100, 100), QSize(2, 2), {red, green, blue, yellow})}, 0) << side
        << QList<Probe>{{QRect(2, 2, 18, 18), red, 0.99, 1.0}, {QRect(80, 2, 18, 18), green, 0.99, 1.0},
                        {QRect(2, 80, 18, 18), blue, 0.99, 1.0}, {QRect(80, 80, 18, 18), yellow, 0.99, 1.0}};

    QTest::newRow("clip rectangle")
        << square({Bytes::intersectClipRect(0, 0, 50, 100), noPen, Bytes::selectObject(0), Bytes::solidBrush(blue),
                   Bytes::selectObject(1), Bytes::rectangle(0, 0, 100, 100)})
        << side << QList<Probe>{{QRect(5, 5, 40, 90), blue, 0.99, 1.0}, {QRect(55, 5, 40, 90), white, 0.99, 1.0}};

    // libwmf applies a switch to a scaled mapping late; a pen made right after it still has
    // its full width (10 units: 45 to 55). 0x0214 moves to (10, 50).
    QTest::newRow("pen right after a switch to ANISOTROPIC")
        << square({Bytes::setMapMode(8), Bytes::pen(10, black), Bytes::selectObject(0), Bytes::reversed(0x0214, {10, 50}),
                   Bytes::lineTo(90, 50)}, 1)
        << side << QList<Probe>{{QRect(20, 47, 60, 6), black, 0.99, 1.0}, {QRect(20, 60, 60, 20), white, 0.99, 1.0}};

    // The test runs without a GUI application: text must not depend on one.
    QTest::newRow("text")
        << square({Bytes::font(-40, "Arial"), Bytes::selectObject(0), Bytes::setTextColor(black),
                   Bytes::textOut(10, 20, "HHH")}, 1)
        << side << QList<Probe>{{QRect(10, 25, 60, 40), black, 0.1, 0.9}, {QRect(10, 75, 80, 20), white, 0.99, 1.0}};
}

void TestPictureLoader::metafileDrawing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, target);
    QFETCH(QList<Probe>, probes);
    const QString path = write("drawing.wmf", bytes);
    const std::optional<PictureInfo> info = ReadPictureInfo(path);
    QVERIFY(info.has_value());
    QCOMPARE(PictureDecodeSize(*info, target), target);
    const QImage image = DecodePicture(path, target);
    QCOMPARE(image.size(), target);
    QVERIFY(paintReadyFormat(image));
    const double sx = target.width() / 100.0;
    const double sy = target.height() / 100.0;
    for (int i = 0; i < probes.size(); ++i) {
        const QRect a = probes[i].area;
        const QRect pixels(qRound(a.x() * sx), qRound(a.y() * sy), qRound(a.width() * sx), qRound(a.height() * sy));
        const double share = shareOf(image, pixels, probes[i].color);
        QVERIFY2(share >= probes[i].atLeast && share <= probes[i].atMost,
                 qPrintable(QStringLiteral("probe %1: share %2").arg(i).arg(share)));
    }
}

void TestPictureLoader::largeShapesHaveNoSeams()
{
    // Large outlines are filled in tiles; no pixel along a tile edge may come out lighter.
    const QRgb blue = qRgb(20, 40, 220);
    const QString path = write("seams.wmf", square({Bytes::pen(0, 0, 5), Bytes::selectObject(0), Bytes::solidBrush(blue),
                                                    Bytes::selectObject(1), Bytes::ellipse(0, 0, 100, 100)}));
    const QImage image = DecodePicture(path, QSize(3001, 2999));
    QCOMPARE(image.size(), QSize(3001, 2999));
    QCOMPARE(shareOf(image, QRect(600, 600, 1800, 1800), blue, 0), 1.0);
}

void TestPictureLoader::absurdHeadersFailFast_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");

    const QImage small = photoLike({16, 16});
    QTest::newRow("jpeg 65535 x 65535") << "max.jpg" << Bytes::jpegClaiming(small, {65535, 65535});
    QTest::newRow("jpeg 60000 x 60000") << "big.jpg" << Bytes::jpegClaiming(small, {60000, 60000});
    QTest::newRow("jpeg 20000 x 20000") << "mid.jpg" << Bytes::jpegClaiming(small, {20000, 20000});
    QTest::newRow("bmp 65535 x 65535") << "max.bmp" << Bytes::bmpHeaderOnly({65535, 65535});
    QTest::newRow("bmp 16000 x 16000") << "big.bmp" << Bytes::bmpHeaderOnly({16000, 16000});
    QTest::newRow("gif 65535 x 65535") << "max.gif" << Bytes::gif({65535, 65535}, {65535, 65535}, 16);
    QTest::newRow("gif 65535 screen, small frame") << "screen.gif" << Bytes::gif({65535, 65535}, {4, 4}, 16);
}

void TestPictureLoader::absurdHeadersFailFast()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QVERIFY(!bytes.isEmpty());
    const QString path = write(name, bytes);
    const qint64 peakBefore = peakResidentKiB();
    for (const QSize target : {QSize(1920, 1080), QSize()}) {
        QElapsedTimer timer;
        timer.start();
        const std::optional<PictureInfo> info = ReadPictureInfo(path);
        const QImage image = DecodePicture(path, target);
        QVERIFY2(timer.elapsed() < 1000 * kBudgetFactor, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
        QVERIFY(image.isNull());
        if (info) // the header may be reported as it stands, but never shrunk into something sound
            QVERIFY(qint64(info->pixels.width()) * info->pixels.height() >= qint64(4) * 4);
    }
    QVERIFY2(peakResidentKiB() - peakBefore < 512 * 1024 * kBudgetFactor,
             qPrintable(QStringLiteral("peak grew by %1 KiB").arg(peakResidentKiB() - peakBefore)));
}

void TestPictureLoader::hostileMetafiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("target");
    QTest::addColumn<bool>("renders");

    const QSize small(640, 480);
    const QSize large(4096, 4096);
    QTest::newRow("bitmap claims 30000 x 30000") << square({Bytes::stretchDib({30000, 30000}, 64)}) << small << false;
    QTest::newRow("bitmap that fits") << square({Bytes::stretchDib({10, 10}, 320)}) << small << true;
    QByteArray claimsHugeRecords = Bytes::wmfRedLeftHalf(1440, 1440, 1440);
    qToLittleEndian<quint32>(0x7FFFFFFF, claimsHugeRecords.data() + 22 + 12); // largest record
    QTest::newRow("header claims 4 GiB records") << claimsHugeRecords << small << true;
    QByteArray brokenChain = square({Bytes::solidBrush(qRgb(255, 0, 0)), Bytes::selectObject(0),
                                     Bytes::rectangle(0, 0, 50, 100), Bytes::rectangle(50, 0, 100, 100)}, 1);
    qToLittleEndian<quint32>(0x40000000, brokenChain.data() + brokenChain.size() - 6 - 14); // last rectangle
    QTest::newRow("record claims 2 GiB: earlier records still drawn") << brokenChain << small << true;
    QTest::newRow("pen 32767 wide")
        << square({Bytes::pen(32767, qRgb(0, 0, 255)), Bytes::selectObject(0), Bytes::lineTo(100, 100)}, 1) << large << true;
    QTest::newRow("tiny frame, far drawing")
        << Bytes::wmf({Bytes::setWindowExt(1, 1), Bytes::lineTo(32000, 32000), Bytes::lineTo(-32000, 32000),
                       Bytes::lineTo(32000, -32000)}, 0, 0, 0)
        << large << true;
    // Outlines whose edges cross the canvas thousands of times (QPainter's rasteriser takes
    // minutes over such a shape when it gets it whole).
    QList<QPoint> zigzag;
    for (int i = 0; i < 4000; ++i)
        zigzag << QPoint(i * 100 / 4000, i % 2 ? 0 : 100);
    QTest::newRow("zigzag polygon")
        << square({Bytes::solidBrush(qRgb(0, 0, 255)), Bytes::selectObject(0), Bytes::polygon(zigzag)}, 1) << large << true;
    for (const auto &[width, style] : {std::pair(1, 0), std::pair(3, 0), std::pair(1, 1)}) {
        const Bytes::WmfRecord line = Bytes::polyline(zigzag);
        QTest::addRow("zigzag line, pen %d wide, style %d", width, style)
            << square({Bytes::pen(width, qRgb(0, 0, 255), style), Bytes::selectObject(0), line, line, line}, 1)
            << large << true;
    }
    QTest::newRow("font 32767 units high")
        << square({Bytes::font(-32767, "Arial"), Bytes::selectObject(0), Bytes::textOut(0, 0, QByteArray(4000, 'W'))}, 1)
        << large << true;
    // libwmf's bitmap reader steps over a header's bytes past 40 one by one and trusts the
    // palette size: a lying header once kept it busy for hours.
    const auto brushed = [](const Bytes::WmfRecord &brush) {
        return square({brush, Bytes::selectObject(0), Bytes::rectangle(0, 0, 100, 100)}, 1);
    };
    QTest::newRow("pattern brush") << brushed(patternBrush(40)) << small << true;
    QTest::newRow("pattern brush, header of 5 bytes") << brushed(patternBrush(5)) << small << false;
    QTest::newRow("pattern brush, header beyond the record") << brushed(patternBrush(0xFFFFFFF0)) << small << false;
    QTest::newRow("pattern brush, 4 billion colours") << brushed(patternBrush(40, 0xFFFFFFFF, 24, 1)) << small << false;
    const QByteArray sound = Bytes::wmfRedLeftHalf(1440, 1440, 1440);
    QTest::newRow("canvas wider than the cap") << sound << QSize(platform::WmfRenderer::kMaxSide + 1, 16) << false;
    QTest::newRow("canvas over the byte cap") << sound << QSize(16384, 16384) << false;
}

void TestPictureLoader::hostileMetafiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, target);
    QFETCH(bool, renders);
    const QString path = write("hostile.wmf", bytes);
    QElapsedTimer timer;
    timer.start();
    const QImage image = DecodePicture(path, target);
    QVERIFY2(timer.elapsed() < 2000 * kBudgetFactor, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
    QCOMPARE(image.size(), renders ? target : QSize(0, 0));
    if (QTest::currentDataTag() == QByteArray("record claims 2 GiB: earlier records still drawn"))
        QVERIFY(isRed(image.pixel(target.width() / 4, target.height() / 2)));
}

void TestPictureLoader::hugeJpegDecodesScaled()
{
    // A sound 12000 x 8000 photo: more pixels than Qt's default allocation limit allows whole.
    const QSize natural(12000, 8000);
    const QString path = write("huge.jpg", encoded(photoLike(natural), "JPEG", 85));
    QCOMPARE(ReadPictureInfo(path).value_or(PictureInfo{}).pixels, natural);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(DecodePicture(path, QSize(1920, 1080)).size(), QSize(1920, 1280)); // covers the box, own shape
    const qint64 scaledMs = timer.restart();
    QCOMPARE(DecodePicture(path).size(), natural);
    const qint64 wholeMs = timer.elapsed();
    qInfo("12000 x 8000 JPEG: to 1920 x 1080 in %lld ms, whole in %lld ms", scaledMs, wholeMs);
    QVERIFY(scaledMs * 2 < wholeMs); // the DCT scaling is doing its work
}

void TestPictureLoader::concurrentDecodes()
{
    // Pictures decoded ahead on worker threads while others decode: same pixels as one at a time.
    const QStringList paths{
        write("c1.wmf", Bytes::wmfRedLeftHalf(1440, 2880, 1440)),
        write("c2.wmf", square({Bytes::solidBrush(qRgb(0, 0, 255)), Bytes::selectObject(0), Bytes::rectangle(20, 20, 80, 80)}, 1)),
        write("c3.jpg", encoded(photoLike({640, 480}), "JPEG")),
        write("c4.gif", Bytes::gif({64, 64})),
    };
    const QSize target(320, 160);
    std::vector<QImage> expected;
    for (const QString &path : paths) {
        expected.push_back(DecodePicture(path, target));
        QVERIFY(!expected.back().isNull());
    }
    std::atomic<int> mismatches{0};
    {
        std::vector<std::jthread> threads; // joined on leaving the block
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                for (int round = 0; round < 8; ++round) {
                    const int i = (t + round) % int(paths.size());
                    mismatches += DecodePicture(paths[i], target) != expected[size_t(i)];
                }
            });
    }
    QCOMPARE(mismatches.load(), 0);
}

void TestPictureLoader::corpusSweep()
{
    const QString root = QStringLiteral(QUORVEL_PICTURE_CORPUS_DIR);
    if (!QFileInfo(root).isDir())
        QSKIP("no picture corpus beside the source tree");
    const QMap<QString, QStringList> extensions{{"bmp", {"bmp"}}, {"cur", {"cur"}}, {"gif", {"gif"}},
                                                {"ico", {"ico"}}, {"jpeg", {"jpg", "jpeg"}}, {"wmf", {"wmf"}}};
    QMap<QString, QStringList> loaded, failed;
    QStringList problems; // slow files, bmpsuite's good ones refused, sizes not as promised
    int blankMetafiles = 0;
    const QSize screen(1920, 1080);

    for (QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        const QString relative = QDir(root).relativeFilePath(path);
        const QString folder = relative.section('/', 0, 0);
        QElapsedTimer timer;
        timer.start();
        const std::optional<PictureInfo> info = ReadPictureInfo(path);
        const qint64 infoMs = timer.restart();
        const QImage image = DecodePicture(path, screen);
        const qint64 decodeMs = timer.elapsed();
        if (qMax(infoMs, decodeMs) >= 2000 * kBudgetFactor)
            problems << QStringLiteral("%1 slow (%2 ms + %3 ms)").arg(relative).arg(infoMs).arg(decodeMs);
        if (relative.startsWith(QLatin1String("bmp/bmpsuite-2.8/g/")) && image.isNull())
            problems << relative + QStringLiteral(" refused");
        if (!extensions.value(folder).contains(QFileInfo(path).suffix().toLower()))
            continue; // reference renders and notes: only required not to crash or stall
        (image.isNull() ? failed : loaded)[folder] << relative;
        if (image.isNull())
            continue;
        // The promised size; an icon may fall back to a smaller entry than it announced.
        const QSize promised = info ? PictureDecodeSize(*info, screen) : QSize();
        const bool sizeKept = folder == "ico" || folder == "cur"
                                  ? image.width() <= promised.width() && image.height() <= promised.height()
                                  : image.size() == promised;
        if (!sizeKept)
            problems << QStringLiteral("%1 decoded at %2x%3").arg(relative).arg(image.width()).arg(image.height());
        // A render that loses the drawing (a frame mapped wrong) shows up as a blank page.
        blankMetafiles += folder == "wmf" && shareOf(image, image.rect(), white, 0) == 1.0;
    }

    qInfo("%-6s %6s %7s %7s", "format", "files", "loaded", "failed");
    for (const QString &format : extensions.keys()) {
        const qsizetype ok = loaded.value(format).size();
        const qsizetype bad = failed.value(format).size();
        qInfo("%-6s %6lld %7lld %7lld", qPrintable(format), qint64(ok + bad), qint64(ok), qint64(bad));
    }
    for (const QStringList &names : failed)
        for (const QString &name : names)
            qInfo("  failed: %s", qPrintable(name));
    qInfo("metafiles rendered blank: %d", blankMetafiles);

    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(", ")));
    QVERIFY(!loaded.value("bmp").isEmpty());
    QVERIFY2(blankMetafiles * 20 <= loaded.value("wmf").size(), qPrintable(QString::number(blankMetafiles)));
    // No file, good or hostile, made the process grow past 512 MiB at any moment.
    QVERIFY2(peakResidentKiB() < 512 * 1024 * kBudgetFactor, qPrintable(QStringLiteral("peak %1 KiB").arg(peakResidentKiB())));
}

QTEST_GUILESS_MAIN(TestPictureLoader)
#include "tst_pictureloader.moc"
