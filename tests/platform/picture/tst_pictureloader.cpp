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

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#endif

using platform::DecodePicture;
using platform::PictureDecodeSize;
using platform::PictureInfo;
using platform::ReadPictureInfo;
using Bytes = PictureBytes;

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

bool isRed(QRgb p) { return qRed(p) > 180 && qGreen(p) < 90 && qBlue(p) < 90; }
bool isBlue(QRgb p) { return qBlue(p) > 180 && qRed(p) < 90 && qGreen(p) < 90; }

qint64 nonWhitePixels(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    qint64 count = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            count += (line[x] & 0xFFFFFF) != 0xFFFFFF;
    }
    return count;
}

// The sanitizer build (make test-asan) runs a few times slower and holds freed memory in
// quarantine besides a shadow of the heap: its time and memory budgets are wider by this much.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kBudgetFactor = 3;
#else
constexpr int kBudgetFactor = 1;
#endif

qint64 peakResidentKiB()
{
#ifdef Q_OS_LINUX
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
#else
    return 0;
#endif
}

// A check on a metafile render: the share of pixels in `area` (logical units) close to `color`
// lies in [atLeast, atMost].
struct Probe
{
    QRect area;
    QRgb color;
    double atLeast;
    double atMost;
};

double shareOf(const QImage &image, const QRect &area, QRgb color)
{
    qint64 close = 0;
    qint64 all = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            ++all;
            close += qAbs(qRed(p) - qRed(color)) <= 48 && qAbs(qGreen(p) - qGreen(color)) <= 48
                     && qAbs(qBlue(p) - qBlue(color)) <= 48;
        }
    }
    return all ? double(close) / double(all) : 0.0;
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
    void naturalSize_data();
    void naturalSize();
    void unreadable_data();
    void unreadable();
    void decodeSize_data();
    void decodeSize();
    void exifOrientationTurnsPixels_data();
    void exifOrientationTurnsPixels();
    void iconPicksLargestEntry_data();
    void iconPicksLargestEntry();
    void libwmfFindsItsFonts();
    void metafileRendersContent();
    void metafileDrawing_data();
    void metafileDrawing();
    void largeShapesHaveNoSeams();
    void absurdHeadersFailFast_data();
    void absurdHeadersFailFast();
    void truncatedFiles_data();
    void truncatedFiles();
    void hostileMetafiles_data();
    void hostileMetafiles();
    void hugeJpegDecodesScaled();
    void concurrentDecodes();
    void corpusSweep();

private:
    QString write(const QString &name, const QByteArray &bytes);

    QTemporaryDir m_dir;
};

void TestPictureLoader::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString TestPictureLoader::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

void TestPictureLoader::naturalSize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<bool>("metafile");
    QTest::addColumn<QSizeF>("twips");

    const QSizeF noTwips(-1, -1); // raster: pixels * 15
    QTest::newRow("bmp") << "a.bmp" << encoded(photoLike({64, 48}), "BMP") << QSize(64, 48) << false << noTwips;
    QTest::newRow("jpeg") << "a.jpg" << encoded(photoLike({80, 60}), "JPEG") << QSize(80, 60) << false << noTwips;
    QTest::newRow("jpeg named .bmp") << "b.bmp" << encoded(photoLike({80, 60}), "JPEG") << QSize(80, 60) << false << noTwips;
    QTest::newRow("png named .jpg") << "p.jpg" << encoded(photoLike({30, 20}), "PNG") << QSize(30, 20) << false << noTwips;
    QTest::newRow("gif") << "a.gif" << Bytes::gif({3, 2}) << QSize(3, 2) << false << noTwips;
    QTest::newRow("ico single") << "a.ico" << Bytes::icon({{{32, 32}, Qt::green, 32}}, false) << QSize(32, 32) << false << noTwips;
    const QList<Bytes::IconImage> entries{{{16, 16}, Qt::red, 32}, {{48, 48}, Qt::blue, 24}, {{32, 32}, Qt::red, 32}};
    QTest::newRow("ico multi") << "b.ico" << Bytes::icon(entries, false) << QSize(48, 48) << false << noTwips;
    QTest::newRow("cur multi") << "a.cur" << Bytes::icon(entries, true) << QSize(48, 48) << false << noTwips;
    const QByteArray stored40x20 = encoded(twoTone({40, 20}), "JPEG", 95);
    QTest::newRow("exif 6 swaps") << "e6.jpg" << Bytes::withExifOrientation(stored40x20, 6) << QSize(20, 40) << false << noTwips;
    QTest::newRow("exif 8 swaps") << "e8.jpg" << Bytes::withExifOrientation(stored40x20, 8) << QSize(20, 40) << false << noTwips;
    QTest::newRow("exif 3 keeps") << "e3.jpg" << Bytes::withExifOrientation(stored40x20, 3) << QSize(40, 20) << false << noTwips;

    // Metafiles: twips from the placeable box, else from the window extent.
    QTest::newRow("wmf placeable 1440") << "a.wmf" << Bytes::wmfRedLeftHalf(1440, 2880, 1440)
                                        << QSize(192, 96) << true << QSizeF(2880, 1440);
    QTest::newRow("wmf placeable 576") << "b.wmf" << Bytes::wmfRedLeftHalf(576, 1152, 576)
                                       << QSize(192, 96) << true << QSizeF(2880, 1440);
    QTest::newRow("wmf himetric extent")
        << "c.wmf" << Bytes::wmf({Bytes::setMapMode(3), Bytes::setWindowExt(5080, 2540), Bytes::rectangle(0, 0, 2000, 1000)}, 0, 0, 0)
        << QSize(192, 96) << true << QSizeF(2880, 1440);
    QTest::newRow("wmf text extent as pixels")
        << "d.wmf" << Bytes::wmf({Bytes::setWindowExt(300, 150), Bytes::rectangle(0, 0, 100, 100)}, 0, 0, 0)
        << QSize(300, 150) << true << QSizeF(4500, 2250);
    QTest::newRow("wmf large anisotropic extent as twips")
        << "e.wmf" << Bytes::wmf({Bytes::setMapMode(8), Bytes::setWindowExt(6000, 3000), Bytes::rectangle(0, 0, 3000, 3000)}, 0, 0, 0)
        << QSize(400, 200) << true << QSizeF(6000, 3000);
    QTest::newRow("wmf content named .bin") << "f.bin" << Bytes::wmfRedLeftHalf(1440, 1440, 1440)
                                            << QSize(96, 96) << true << QSizeF(1440, 1440);
}

void TestPictureLoader::naturalSize()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, pixels);
    QFETCH(bool, metafile);
    QFETCH(QSizeF, twips);

    const QString path = write(name, bytes);
    QVERIFY(!path.isEmpty());
    const std::optional<PictureInfo> info = ReadPictureInfo(path);
    QVERIFY(info.has_value());
    QCOMPARE(info->pixels, pixels);
    QCOMPARE(info->isMetafile, metafile);
    QCOMPARE(info->twips, twips.isValid() ? twips : QSizeF(pixels) * 15);
    // The natural decode agrees with the header.
    const QImage image = DecodePicture(path);
    QCOMPARE(image.size(), pixels);
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

void TestPictureLoader::decodeSize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("target");
    QTest::addColumn<QSize>("expected");

    const QByteArray jpeg = encoded(photoLike({1200, 800}), "JPEG");
    QTest::newRow("jpeg quarter") << "a.jpg" << jpeg << QSize(300, 200) << QSize(300, 200);
    QTest::newRow("jpeg odd box covers") << "a.jpg" << jpeg << QSize(301, 150) << QSize(301, 200);
    QTest::newRow("jpeg between dct steps") << "a.jpg" << jpeg << QSize(700, 466) << QSize(700, 466);
    QTest::newRow("jpeg never enlarged") << "a.jpg" << jpeg << QSize(1920, 1080) << QSize(1200, 800);
    QTest::newRow("jpeg natural") << "a.jpg" << jpeg << QSize() << QSize(1200, 800);
    const QByteArray turned = Bytes::withExifOrientation(encoded(twoTone({400, 200}), "JPEG"), 6);
    QTest::newRow("jpeg exif 6 target upright") << "t.jpg" << turned << QSize(100, 200) << QSize(100, 200);
    QTest::newRow("bmp") << "a.bmp" << encoded(photoLike({600, 400}), "BMP") << QSize(150, 100) << QSize(150, 100);
    QTest::newRow("gif") << "a.gif" << Bytes::gif({30, 20}) << QSize(15, 10) << QSize(15, 10);
    QTest::newRow("ico") << "a.ico" << Bytes::icon({{{48, 48}, Qt::green, 32}}, false) << QSize(24, 24) << QSize(24, 24);
    const QByteArray wmf = Bytes::wmfRedLeftHalf(1440, 2880, 1440);
    QTest::newRow("wmf exact") << "a.wmf" << wmf << QSize(400, 200) << QSize(400, 200);
    QTest::newRow("wmf any shape") << "a.wmf" << wmf << QSize(37, 300) << QSize(37, 300);
    QTest::newRow("wmf enlarged") << "a.wmf" << wmf << QSize(1920, 960) << QSize(1920, 960);
}

void TestPictureLoader::decodeSize()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, target);
    QFETCH(QSize, expected);

    const QString path = write(name, bytes);
    const std::optional<PictureInfo> info = ReadPictureInfo(path);
    QVERIFY(info.has_value());
    QCOMPARE(PictureDecodeSize(*info, target), expected);
    const QImage image = DecodePicture(path, target);
    QCOMPARE(image.size(), expected);
    QVERIFY(paintReadyFormat(image));
    if (!info->isMetafile && !target.isEmpty()) {
        // Sharp: never below the target unless the picture itself is smaller.
        QVERIFY(image.width() >= qMin(target.width(), info->pixels.width()));
        QVERIFY(image.height() >= qMin(target.height(), info->pixels.height()));
    }
}

void TestPictureLoader::exifOrientationTurnsPixels_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("redOnTop");
    // Stored: red left, blue right. 6 turns it clockwise (left edge to the top), 8 the other way.
    QTest::newRow("6") << 6 << true;
    QTest::newRow("8") << 8 << false;
}

void TestPictureLoader::exifOrientationTurnsPixels()
{
    QFETCH(int, orientation);
    QFETCH(bool, redOnTop);
    const QString path = write(QStringLiteral("turn%1.jpg").arg(orientation),
                               Bytes::withExifOrientation(encoded(twoTone({80, 40}), "JPEG", 95), orientation));
    for (const QSize target : {QSize(), QSize(20, 40)}) {
        const QImage image = DecodePicture(path, target);
        QCOMPARE(image.width() * 2, image.height());
        const QRgb top = image.pixel(image.width() / 2, image.height() / 4);
        const QRgb bottom = image.pixel(image.width() / 2, 3 * image.height() / 4);
        QVERIFY2(redOnTop ? isRed(top) && isBlue(bottom) : isBlue(top) && isRed(bottom),
                 qPrintable(QStringLiteral("top %1 bottom %2").arg(top, 0, 16).arg(bottom, 0, 16)));
    }
}

void TestPictureLoader::iconPicksLargestEntry_data()
{
    QTest::addColumn<bool>("cursor");
    QTest::addColumn<QList<Bytes::IconImage>>("entries");
    QTest::addColumn<QColor>("expected");

    // The deeper of two equally large entries wins, wherever the entries sit in the directory.
    const QList<Bytes::IconImage> tie{{{48, 48}, Qt::blue, 24}, {{16, 16}, Qt::red, 32}, {{48, 48}, Qt::green, 32}};
    const QList<Bytes::IconImage> largestLast{{{16, 16}, Qt::red, 32}, {{24, 24}, Qt::blue, 32}, {{64, 64}, Qt::green, 24}};
    QTest::newRow("ico tie on area") << false << tie << QColor(Qt::green);
    QTest::newRow("ico largest last") << false << largestLast << QColor(Qt::green);
    QTest::newRow("cur tie on area") << true << tie << QColor(Qt::green);
    QTest::newRow("cur largest last") << true << largestLast << QColor(Qt::green);
}

void TestPictureLoader::iconPicksLargestEntry()
{
    QFETCH(bool, cursor);
    QFETCH(QList<Bytes::IconImage>, entries);
    QFETCH(QColor, expected);
    const QString path = write(cursor ? "pick.cur" : "pick.ico", Bytes::icon(entries, cursor));
    QSize largest;
    for (const Bytes::IconImage &e : entries)
        if (e.size.width() * e.size.height() > largest.width() * largest.height())
            largest = e.size;
    const QImage image = DecodePicture(path);
    QCOMPARE(image.size(), largest);
    QCOMPARE(image.pixelColor(image.width() / 2, image.height() / 2).rgb(), expected.rgb());
}

void TestPictureLoader::libwmfFindsItsFonts()
{
    // Without them libwmf refuses every metafile; say so plainly rather than through the
    // failures of every metafile test.
    QVERIFY2(QFileInfo(QStringLiteral("/usr/share/fonts/type1/urw-base35")).isDir(),
             "libwmf renders nothing without its fonts: install fonts-urw-base35");
}

void TestPictureLoader::metafileRendersContent()
{
    const QString path = write("content.wmf", Bytes::wmfRedLeftHalf(1440, 2880, 1440));
    const QImage image = DecodePicture(path, QSize(400, 200));
    QCOMPARE(image.size(), QSize(400, 200));
    // The left half is the red rectangle, the right half the white page.
    QVERIFY(isRed(image.pixel(100, 100)));
    QCOMPARE(image.pixel(300, 100) & 0xFFFFFF, 0xFFFFFFu);
    const qint64 coloured = nonWhitePixels(image);
    QVERIFY2(coloured > 400 * 200 * 2 / 5 && coloured < 400 * 200 * 3 / 5, qPrintable(QString::number(coloured)));
}

void TestPictureLoader::metafileDrawing_data()
{
    QTest::addColumn<QList<Bytes::WmfRecord>>("records");
    QTest::addColumn<int>("objects");
    QTest::addColumn<QList<Probe>>("probes");

    // 100 x 100 units, rendered at 200 x 200 pixels; the areas below are in units.
    const QRgb white = qRgb(255, 255, 255);
    const QRgb black = qRgb(0, 0, 0);
    const QRgb red = qRgb(230, 30, 30);
    const QRgb green = qRgb(30, 200, 30);
    const QRgb blue = qRgb(30, 30, 230);
    const QRgb yellow = qRgb(240, 220, 30);
    const Bytes::WmfRecord noPen = Bytes::pen(0, black, 5);

    QTest::newRow("filled ellipse with an outline")
        << QList<Bytes::WmfRecord>{Bytes::solidBrush(red), Bytes::selectObject(0), Bytes::pen(2, black),
                                   Bytes::selectObject(1), Bytes::ellipse(10, 10, 90, 90)}
        << 2
        << QList<Probe>{{QRect(35, 35, 30, 30), red, 0.99, 1.0}, {QRect(0, 0, 8, 8), white, 0.99, 1.0},
                        {QRect(9, 48, 2, 4), black, 0.9, 1.0}};

    const QList<Bytes::WmfRecord> blueField{Bytes::solidBrush(blue), Bytes::selectObject(0), noPen,
                                            Bytes::selectObject(1), Bytes::rectangle(0, 0, 100, 100),
                                            Bytes::setBkColor(green), Bytes::hatchBrush(4, red),
                                            Bytes::selectObject(2)};
    // In TRANSPARENT mode the field shows between the hatch lines; in OPAQUE mode the
    // background colour covers it.
    QTest::newRow("hatch, transparent background")
        << (blueField + QList<Bytes::WmfRecord>{Bytes::setBkMode(1), Bytes::rectangle(20, 20, 80, 80)}) << 3
        << QList<Probe>{{QRect(25, 25, 50, 50), green, 0.0, 0.0},
                        {QRect(25, 25, 50, 50), blue, 0.5, 0.95},
                        {QRect(25, 25, 50, 50), red, 0.05, 0.5}};
    QTest::newRow("hatch, opaque background")
        << (blueField + QList<Bytes::WmfRecord>{Bytes::setBkMode(2), Bytes::rectangle(20, 20, 80, 80)}) << 3
        << QList<Probe>{{QRect(25, 25, 50, 50), green, 0.5, 0.95},
                        {QRect(25, 25, 50, 50), blue, 0.0, 0.0},
                        {QRect(25, 25, 50, 50), red, 0.05, 0.5},
                        {QRect(2, 2, 10, 10), blue, 0.99, 1.0}};

    // A five-pointed star as one self-crossing polygon: its pentagon centre is inside only
    // under the winding rule.
    const QList<QPoint> star{{50, 10}, {74, 82}, {12, 38}, {88, 38}, {26, 82}};
    QTest::newRow("self-crossing polygon, winding")
        << QList<Bytes::WmfRecord>{noPen, Bytes::selectObject(0), Bytes::solidBrush(green), Bytes::selectObject(1),
                                   Bytes::setPolyFillMode(2), Bytes::polygon(star)}
        << 2 << QList<Probe>{{QRect(45, 45, 10, 10), green, 0.99, 1.0}, {QRect(47, 22, 6, 6), green, 0.99, 1.0}};
    QTest::newRow("self-crossing polygon, alternate")
        << QList<Bytes::WmfRecord>{noPen, Bytes::selectObject(0), Bytes::solidBrush(green), Bytes::selectObject(1),
                                   Bytes::setPolyFillMode(1), Bytes::polygon(star)}
        << 2 << QList<Probe>{{QRect(45, 45, 10, 10), white, 0.99, 1.0}, {QRect(47, 22, 6, 6), green, 0.99, 1.0}};

    // From the right-hand radial counter-clockwise to the top one: the upper right quarter.
    QTest::newRow("pie")
        << QList<Bytes::WmfRecord>{noPen, Bytes::selectObject(0), Bytes::solidBrush(red), Bytes::selectObject(1),
                                   Bytes::pie(10, 10, 90, 90, QPoint(95, 50), QPoint(50, 5))}
        << 2
        << QList<Probe>{{QRect(58, 25, 10, 10), red, 0.99, 1.0}, {QRect(25, 60, 10, 10), white, 0.99, 1.0},
                        {QRect(25, 25, 10, 10), white, 0.99, 1.0}, {QRect(60, 60, 10, 10), white, 0.99, 1.0}};

    // Bitmaps store their bottom row first; the top row must come out on top.
    QTest::newRow("bitmap")
        << QList<Bytes::WmfRecord>{Bytes::stretchDibPixels(QRect(0, 0, 100, 100), QSize(2, 2),
                                                           {red, green, blue, yellow})}
        << 0
        << QList<Probe>{{QRect(2, 2, 18, 18), red, 0.99, 1.0}, {QRect(80, 2, 18, 18), green, 0.99, 1.0},
                        {QRect(2, 80, 18, 18), blue, 0.99, 1.0}, {QRect(80, 80, 18, 18), yellow, 0.99, 1.0}};

    QTest::newRow("clip rectangle")
        << QList<Bytes::WmfRecord>{Bytes::intersectClipRect(0, 0, 50, 100), noPen, Bytes::selectObject(0),
                                   Bytes::solidBrush(blue), Bytes::selectObject(1), Bytes::rectangle(0, 0, 100, 100)}
        << 2 << QList<Probe>{{QRect(5, 5, 40, 90), blue, 0.99, 1.0}, {QRect(55, 5, 40, 90), white, 0.99, 1.0}};

    // libwmf applies a switch to a scaled mapping late; a pen made right after it still has
    // its full width (10 units: 45 to 55).
    QTest::newRow("pen right after a switch to ANISOTROPIC")
        << QList<Bytes::WmfRecord>{Bytes::setMapMode(8), Bytes::pen(10, black), Bytes::selectObject(0),
                                   {0x0214, {50, 10}, {}}, Bytes::lineTo(90, 50)}
        << 1 << QList<Probe>{{QRect(20, 47, 60, 6), black, 0.99, 1.0}, {QRect(20, 60, 60, 20), white, 0.99, 1.0}};

    // The test runs without a GUI application: text must not depend on one.
    QTest::newRow("text")
        << QList<Bytes::WmfRecord>{Bytes::font(-40, "Arial"), Bytes::selectObject(0), Bytes::setTextColor(black),
                                   Bytes::textOut(10, 20, "HHH")}
        << 1 << QList<Probe>{{QRect(10, 25, 60, 40), black, 0.1, 0.9}, {QRect(10, 75, 80, 20), white, 0.99, 1.0}};
}

void TestPictureLoader::metafileDrawing()
{
    QFETCH(QList<Bytes::WmfRecord>, records);
    QFETCH(int, objects);
    QFETCH(QList<Probe>, probes);
    records.prepend(Bytes::setWindowExt(100, 100));
    records.prepend(Bytes::setWindowOrg(0, 0));
    const QString path = write("drawing.wmf", Bytes::wmf(records, 96, 100, 100, objects));
    const QImage image = DecodePicture(path, QSize(200, 200));
    QCOMPARE(image.size(), QSize(200, 200));
    for (const Probe &probe : probes) {
        const QRect pixels(probe.area.topLeft() * 2, probe.area.size() * 2);
        const double share = shareOf(image, pixels, probe.color);
        QVERIFY2(share >= probe.atLeast && share <= probe.atMost,
                 qPrintable(QStringLiteral("%1 of (%2,%3 %4x%5) is #%6")
                                .arg(share)
                                .arg(probe.area.x())
                                .arg(probe.area.y())
                                .arg(probe.area.width())
                                .arg(probe.area.height())
                                .arg(probe.color & 0xFFFFFF, 6, 16, QLatin1Char('0'))));
    }
}

void TestPictureLoader::largeShapesHaveNoSeams()
{
    // Large outlines are filled in tiles; no pixel along a tile edge may come out lighter.
    const QRgb blue = qRgb(20, 40, 220);
    const QString path = write("seams.wmf", Bytes::wmf({Bytes::setWindowOrg(0, 0), Bytes::setWindowExt(100, 100),
                                                        Bytes::pen(0, 0, 5), Bytes::selectObject(0),
                                                        Bytes::solidBrush(blue), Bytes::selectObject(1),
                                                        Bytes::ellipse(0, 0, 100, 100)},
                                                       96, 100, 100, 2));
    const QImage image = DecodePicture(path, QSize(3001, 2999)).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(image.size(), QSize(3001, 2999));
    qint64 off = 0;
    for (int y = 600; y < 2400; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 600; x < 2400; ++x)
            off += (line[x] & 0xFFFFFF) != (blue & 0xFFFFFF);
    }
    QCOMPARE(off, 0);
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
        const qint64 elapsed = timer.elapsed();
        qInfo("target %dx%d: refused in %lld ms", target.width(), target.height(), elapsed);
        QVERIFY2(elapsed < 1000 * kBudgetFactor, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
        QVERIFY(image.isNull());
        if (info) // the header may be reported as it stands, but never shrunk into something sound
            QVERIFY(qint64(info->pixels.width()) * info->pixels.height() >= qint64(4) * 4);
    }
    QVERIFY2(peakResidentKiB() - peakBefore < 512 * 1024 * kBudgetFactor,
             qPrintable(QStringLiteral("peak grew by %1 KiB").arg(peakResidentKiB() - peakBefore)));
}

void TestPictureLoader::truncatedFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("percent");

    const QList<QPair<QString, QByteArray>> files{
        {"t.jpg", encoded(photoLike({300, 200}), "JPEG")},
        {"t.bmp", encoded(photoLike({300, 200}), "BMP")},
        {"t.gif", Bytes::gif({60, 40})},
        {"t.ico", Bytes::icon({{{16, 16}, Qt::red, 32}, {{48, 48}, Qt::green, 32}}, false)},
        {"t.wmf", Bytes::wmfRedLeftHalf(1440, 2880, 1440)},
    };
    for (const auto &[name, bytes] : files)
        for (int percent : {1, 10, 50, 90, 99})
            QTest::newRow(qPrintable(QStringLiteral("%1 at %2%").arg(name).arg(percent)))
                << name << bytes.left(bytes.size() * percent / 100) << percent;
}

void TestPictureLoader::truncatedFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    const QString path = write(name, bytes);
    const std::optional<PictureInfo> info = ReadPictureInfo(path);
    const QImage image = DecodePicture(path, QSize(150, 100));
    // Failing is fine; whatever does decode is the size the header promised (an icon whose
    // largest entry is cut off may show a smaller one instead).
    if (!image.isNull()) {
        QVERIFY(info.has_value());
        const QSize promised = PictureDecodeSize(*info, QSize(150, 100));
        if (name.endsWith(QLatin1String(".ico")))
            QVERIFY(image.width() <= promised.width() && image.height() <= promised.height());
        else
            QCOMPARE(image.size(), promised);
    }
}

void TestPictureLoader::hostileMetafiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("target");
    QTest::addColumn<bool>("renders");

    const QSize target(640, 480);
    QTest::newRow("bitmap claims 30000 x 30000")
        << Bytes::wmf({Bytes::setWindowExt(100, 100), Bytes::stretchDib({30000, 30000}, 64)}, 1440, 100, 100)
        << target << false;
    QTest::newRow("bitmap that fits") << Bytes::wmf({Bytes::setWindowExt(100, 100), Bytes::stretchDib({10, 10}, 320)}, 1440, 100, 100)
                                      << target << true;
    QByteArray claimsHugeRecords = Bytes::wmfRedLeftHalf(1440, 1440, 1440);
    qToLittleEndian<quint32>(0x7FFFFFFF, claimsHugeRecords.data() + 22 + 12); // largest record
    QTest::newRow("header claims 4 GiB records") << claimsHugeRecords << target << true;
    QByteArray brokenChain = Bytes::wmf({Bytes::setWindowExt(100, 100), Bytes::solidBrush(qRgb(255, 0, 0)),
                                         Bytes::selectObject(0), Bytes::rectangle(0, 0, 50, 100),
                                         Bytes::rectangle(50, 0, 100, 100)},
                                        1440, 100, 100, 1);
    qToLittleEndian<quint32>(0x40000000, brokenChain.data() + brokenChain.size() - 6 - 14); // last rectangle
    QTest::newRow("record claims 2 GiB: earlier records still drawn") << brokenChain << target << true;
    QTest::newRow("pen 32767 wide") << Bytes::wmf({Bytes::setWindowExt(100, 100), Bytes::pen(32767, qRgb(0, 0, 255)),
                                                   Bytes::selectObject(0), Bytes::lineTo(100, 100)},
                                                  1440, 100, 100, 1)
                                    << QSize(4096, 4096) << true;
    QTest::newRow("tiny frame, far drawing")
        << Bytes::wmf({Bytes::setWindowExt(1, 1), Bytes::lineTo(32000, 32000), Bytes::lineTo(-32000, 32000),
                       Bytes::lineTo(32000, -32000)},
                      0, 0, 0)
        << QSize(4096, 4096) << true;
    // Outlines whose edges cross the canvas thousands of times (QPainter's rasteriser takes
    // minutes over such a shape when it gets it whole).
    QList<QPoint> zigzag;
    for (int i = 0; i < 4000; ++i)
        zigzag << QPoint(i * 100 / 4000, i % 2 ? 0 : 100);
    QTest::newRow("zigzag polygon") << Bytes::wmf({Bytes::setWindowExt(100, 100), Bytes::solidBrush(qRgb(0, 0, 255)),
                                                   Bytes::selectObject(0), Bytes::polygon(zigzag)},
                                                  1440, 100, 100, 1)
                                    << QSize(4096, 4096) << true;
    for (const auto &[width, style] : {std::pair(1, 0), std::pair(3, 0), std::pair(1, 1)}) {
        QTest::newRow(qPrintable(QStringLiteral("zigzag line, pen %1 wide, style %2").arg(width).arg(style)))
            << Bytes::wmf({Bytes::setWindowExt(100, 100), Bytes::pen(width, qRgb(0, 0, 255), style),
                           Bytes::selectObject(0), Bytes::polyline(zigzag), Bytes::polyline(zigzag),
                           Bytes::polyline(zigzag)},
                          1440, 100, 100, 1)
            << QSize(4096, 4096) << true;
    }
    QTest::newRow("font 32767 units high") << Bytes::wmf({Bytes::setWindowExt(100, 100), Bytes::font(-32767, "Arial"),
                                                          Bytes::selectObject(0),
                                                          Bytes::textOut(0, 0, QByteArray(4000, 'W'))},
                                                         1440, 100, 100, 1)
                                           << QSize(4096, 4096) << true;
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
    QCOMPARE(!image.isNull(), renders);
    if (renders)
        QCOMPARE(image.size(), target);
    if (QTest::currentDataTag() == QByteArray("record claims 2 GiB: earlier records still drawn"))
        QVERIFY(isRed(image.pixel(target.width() / 4, target.height() / 2)));
}

void TestPictureLoader::hugeJpegDecodesScaled()
{
    // A sound 12000 x 8000 photo: more pixels than Qt's default allocation limit allows whole.
    const QSize natural(12000, 8000);
    const QString path = write("huge.jpg", encoded(photoLike(natural), "JPEG", 85));
    QVERIFY(!path.isEmpty());
    const std::optional<PictureInfo> info = ReadPictureInfo(path);
    QVERIFY(info.has_value());
    QCOMPARE(info->pixels, natural);

    QElapsedTimer timer;
    timer.start();
    const QImage screen = DecodePicture(path, QSize(1920, 1080));
    const qint64 scaledMs = timer.restart();
    QCOMPARE(screen.size(), QSize(1920, 1280)); // covers the screen box, picture's own shape
    const QImage whole = DecodePicture(path);
    const qint64 wholeMs = timer.elapsed();
    QCOMPARE(whole.size(), natural);
    qInfo("12000 x 8000 JPEG: to 1920 x 1080 in %lld ms, whole in %lld ms", scaledMs, wholeMs);
    QVERIFY(scaledMs * 2 < wholeMs); // the DCT scaling is doing its work
}

void TestPictureLoader::concurrentDecodes()
{
    // Pictures decoded ahead on worker threads while others decode: same pixels as one at a time.
    const QStringList paths{
        write("c1.wmf", Bytes::wmfRedLeftHalf(1440, 2880, 1440)),
        write("c2.wmf", Bytes::wmf({Bytes::setWindowExt(200, 100), Bytes::solidBrush(qRgb(0, 0, 255)), Bytes::selectObject(0),
                                    Bytes::rectangle(20, 20, 180, 80)},
                                   1440, 200, 100, 1)),
        write("c3.jpg", encoded(photoLike({640, 480}), "JPEG")),
        write("c4.gif", Bytes::gif({64, 64})),
    };
    const QSize target(320, 160);
    std::vector<QImage> expected;
    for (const QString &path : paths)
        expected.push_back(DecodePicture(path, target));
    for (const QImage &image : expected)
        QVERIFY(!image.isNull());

    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 8; ++round) {
                const int i = (t + round) % int(paths.size());
                if (DecodePicture(paths[i], target) != expected[size_t(i)])
                    ++mismatches;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    QCOMPARE(mismatches.load(), 0);
}

void TestPictureLoader::corpusSweep()
{
    const QString root = QStringLiteral(QUORVEL_PICTURE_CORPUS_DIR);
    if (!QFileInfo(root).isDir())
        QSKIP("no picture corpus beside the source tree");

    struct Tally
    {
        int files = 0;
        int loaded = 0;
        QStringList failed;
    };
    const QMap<QString, QStringList> extensions{
        {"bmp", {"bmp"}}, {"cur", {"cur"}}, {"gif", {"gif"}},
        {"ico", {"ico"}}, {"jpeg", {"jpg", "jpeg"}}, {"wmf", {"wmf"}},
    };
    QMap<QString, Tally> tallies;
    QStringList slow;
    QStringList mustLoadFailed;
    int blankMetafiles = 0;
    int others = 0;
    const QSize screen(1920, 1080);

    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(root).relativeFilePath(path);
        const QString folder = relative.section('/', 0, 0);
        const QString suffix = QFileInfo(path).suffix().toLower();

        QElapsedTimer timer;
        timer.start();
        const std::optional<PictureInfo> info = ReadPictureInfo(path);
        const qint64 infoMs = timer.restart();
        const QImage image = DecodePicture(path, screen);
        const qint64 decodeMs = timer.elapsed();
        if (infoMs >= 2000 * kBudgetFactor || decodeMs >= 2000 * kBudgetFactor)
            slow << QStringLiteral("%1 (%2 ms + %3 ms)").arg(relative).arg(infoMs).arg(decodeMs);

        if (!extensions.value(folder).contains(suffix)) {
            ++others; // reference renders and notes: only required not to crash or stall
            continue;
        }
        Tally &tally = tallies[folder];
        ++tally.files;
        if (image.isNull()) {
            tally.failed << relative;
        } else {
            ++tally.loaded;
            // The promised size; an icon may fall back to a smaller entry than it announced.
            const QSize promised = info ? PictureDecodeSize(*info, screen) : QSize();
            const bool icon = folder == "ico" || folder == "cur";
            const bool sizeKept = icon ? image.width() <= promised.width() && image.height() <= promised.height()
                                       : image.size() == promised;
            if (!sizeKept)
                tally.failed << relative + QStringLiteral(" (size %1x%2)").arg(image.width()).arg(image.height());
            if (folder == "wmf" && nonWhitePixels(image) == 0)
                ++blankMetafiles;
        }
        if (relative.startsWith(QLatin1String("bmp/bmpsuite-2.8/g/")) && image.isNull())
            mustLoadFailed << relative;
    }

    qInfo("%-6s %6s %7s %7s", "format", "files", "loaded", "failed");
    for (auto t = tallies.cbegin(); t != tallies.cend(); ++t)
        qInfo("%-6s %6d %7d %7lld", qPrintable(t.key()), t->files, t->loaded, qint64(t->failed.size()));
    qInfo("other files (not pictures of the folder's format): %d", others);
    for (auto t = tallies.cbegin(); t != tallies.cend(); ++t)
        for (const QString &failed : t->failed)
            qInfo("  failed: %s", qPrintable(failed));
    qInfo("metafiles rendered blank: %d", blankMetafiles);

    QVERIFY2(slow.isEmpty(), qPrintable(slow.join(", ")));
    QVERIFY2(mustLoadFailed.isEmpty(), qPrintable(mustLoadFailed.join(", ")));
    QVERIFY(tallies.value("bmp").files > 0);
    // A render that loses the drawing (a frame mapped wrong) shows up as blank pages.
    QVERIFY2(blankMetafiles * 20 <= tallies.value("wmf").loaded, qPrintable(QString::number(blankMetafiles)));
    for (auto t = tallies.cbegin(); t != tallies.cend(); ++t)
        for (const QString &failed : t->failed)
            QVERIFY2(!failed.contains(QLatin1String(" (size ")), qPrintable(failed));
    // No file, good or hostile, made the process grow past 512 MiB at any moment.
    QVERIFY2(peakResidentKiB() < 512 * 1024 * kBudgetFactor, qPrintable(QStringLiteral("peak %1 KiB").arg(peakResidentKiB())));
}

QTEST_GUILESS_MAIN(TestPictureLoader)
#include "tst_pictureloader.moc"
