#include "picture/jpeg/JpegFrame.h"
#include "picture/PictureLoader.h"
#include "picture/wmf/WmfRenderer.h"

#include "HostilePictures.h"
#include "PictureBytes.h"

#include <QBuffer>
#include <QDataStream>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTransform>
#include <QtEndian>

#include <atomic>
#include <thread>
#include <vector>

#include <cstdio>

#include <jpeglib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using picture::DecodePicture;
using picture::PictureDecodeSize;
using picture::PictureInfo;
using picture::ReadPictureInfo;
using Bytes = PictureBytes;
using Records = QList<PictureBytes::WmfRecord>;
Q_DECLARE_METATYPE(picture::PictureProblem)

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
    return Bytes::wmf(Records{Bytes::setWindowExt(100, 100)} + records, 96, 100, 100, objects);
}

// A DIB pattern brush of `side` x `side` pixels (rows of zeros and ones), whose header size,
// depth and colour count may lie.
Bytes::WmfRecord patternBrush(quint32 headerSize, quint32 colorsUsed = 2, quint16 bitCount = 1, qint32 side = 8)
{
    QByteArray dib;
    QDataStream out(&dib, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << headerSize << side << side << quint16(1) << bitCount << quint32(0) << quint32(0) << quint64(0) << colorsUsed
        << quint32(0) << quint32(0) << quint32(0x00FF0000); // important colours; palette black, red
    for (int row = 0; row < side; ++row)
        out << quint32(row % 2 ? 0xAA : 0x55);
    return {0x0142, {5, 0}, dib}; // BS_DIBPATTERNPT, DIB_RGB_COLORS
}

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
struct Probe { QRect area; QRgb color; double atLeast, atMost; int tolerance = 48; };

// The sanitizer build (make test-asan) runs a few times slower and holds freed memory in
// quarantine besides a shadow of the heap: its time and memory budgets are wider by this much.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kBudgetFactor = 3;
#else
constexpr int kBudgetFactor = 1;
#endif

// A progressive JPEG of `image` (RGB32) as libjpeg's own progressive mode writes it.
QByteArray progressiveJpeg(const QImage &image, int quality)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(image.width());
    cinfo.image_height = JDIMENSION(image.height());
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        auto *row = const_cast<JSAMPROW>(image.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char *>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

// What the probe (a child process per file) reports: shown or refused, how long, peak memory.
struct ProbeResult
{
    bool ran = false;
    bool shown = false;
    int problem = 0;
    QSize size;
    qint64 ms = 0;
    qint64 cpuMs = 0; // the work done, however busy the machine is otherwise
    qint64 peakKiB = 0;
};

ProbeResult probe(const QString &path, QSize screen, int threads = 1)
{
    QProcess process;
    process.start(QStringLiteral(PICTURE_PROBE), {path, QString::number(screen.width()),
                                                  QString::number(screen.height()), QString::number(threads)});
    ProbeResult r;
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return r;
    const QStringList words = QString::fromLatin1(process.readAllStandardOutput()).simplified().split(' ');
    if (words.size() != 5)
        return r;
    r.ran = true;
    r.shown = words[0] == QLatin1String("shown");
    if (r.shown) {
        const QStringList wh = words[1].split('x');
        r.size = QSize(wh.value(0).toInt(), wh.value(1).toInt());
    } else {
        r.problem = words[1].toInt();
    }
    r.ms = words[2].toLongLong();
    r.cpuMs = words[3].toLongLong();
    r.peakKiB = words[4].toLongLong();
    return r;
}

qint64 peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

class TestPictureLoader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void decodedSize_data();
    void decodedSize();
    void absurdHeadersFailFast_data();
    void absurdHeadersFailFast();
    void metafiles_data();
    void metafiles();
    void concurrentDecodes();
    void hostileFilesBounded_data();
    void hostileFilesBounded();
    void corpusSweep();
    void largeProgressivePhotoSharp(); // last: its photo raises this process's peak

private:
    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile file(m_dir.filePath(name));
        const bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
        return ok ? file.fileName() : QString();
    }

    QTemporaryDir m_dir;
};

void TestPictureLoader::decodedSize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("target"); // empty: the natural size, which the header must report too
    QTest::addColumn<QSize>("expected"); // invalid: refused, no picture at all
    QTest::addColumn<QSizeF>("twips"); // metafiles only; raster pictures have natural pixels * 15
    QTest::addColumn<QColor>("top"); // when valid, the colour of the top third

    const auto row = [](const char *tag, const char *name, const QByteArray &bytes, QSize target, QSize expected,
                        QSizeF twips = QSizeF(-1, -1), QColor top = {}) {
        QTest::newRow(tag) << QString(name) << bytes << target << expected << twips << top;
    };
    const QList<Bytes::IconImage> entries{{{16, 16}, Qt::red, 32}, {{48, 48}, Qt::blue, 24}, {{32, 32}, Qt::red, 32}};
    row("bmp", "a.bmp", encoded(photoLike({64, 48}), "BMP"), {}, {64, 48});
    row("jpeg named .bmp", "b.bmp", encoded(photoLike({80, 60}), "JPEG"), {}, {80, 60});
    row("gif", "a.gif", Bytes::gif({3, 2}), {}, {3, 2});
    row("ico multi", "b.ico", Bytes::icon(entries, false), {}, {48, 48});
    row("cur multi", "a.cur", Bytes::icon(entries, true), {}, {48, 48});
    // Stored: red left, blue right. 6 turns it clockwise (left edge to the top), 8 the other way;
    // the header reports the upright size too.
    const QByteArray stored = encoded(twoTone({80, 40}), "JPEG", 95);
    row("exif 3 keeps", "e3.jpg", Bytes::withExifOrientation(stored, 3), {}, {80, 40});
    row("exif 6 turns clockwise", "e6.jpg", Bytes::withExifOrientation(stored, 6), {}, {40, 80}, {-1, -1}, Qt::red);
    row("exif 8 turns back", "e8.jpg", Bytes::withExifOrientation(stored, 8), {}, {40, 80}, {-1, -1}, Qt::blue);
    row("exif 6 at a target", "t6.jpg", Bytes::withExifOrientation(stored, 6), {20, 40}, {20, 40}, {-1, -1}, Qt::red);
    // Metafiles: twips from the placeable box, else from the window extent.
    row("wmf placeable 576", "b.wmf", Bytes::wmfRedLeftHalf(576, 1152, 576), {}, {192, 96}, {2880, 1440});
    const auto extent = [](const Records &mode, int w, int h) {
        return Bytes::wmf(mode + Records{Bytes::setWindowExt(w, h), Bytes::rectangle(0, 0, w / 2, h / 2)}, 0, 0, 0);
    };
    row("wmf himetric extent", "c.wmf", extent({Bytes::setMapMode(3)}, 5080, 2540), {}, {192, 96}, {2880, 1440});
    row("wmf text extent as pixels", "d.wmf", extent({}, 300, 150), {}, {300, 150}, {4500, 2250});
    row("wmf anisotropic as twips", "e.wmf", extent({Bytes::setMapMode(8)}, 6000, 3000), {}, {400, 200}, {6000, 3000});

    // Raster pictures for a target: the smallest size of their own shape covering it, never enlarged.
    const QByteArray jpeg = encoded(photoLike({1200, 800}), "JPEG");
    const QByteArray huge = encoded(photoLike({12000, 8000}), "JPEG", 85); // more than Qt allocates by default
    row("jpeg 12000 x 8000", "huge.jpg", huge, {}, {12000, 8000});
    row("jpeg 12000 x 8000 for a screen", "huge.jpg", huge, {1920, 1080}, {1920, 1280});
    row("jpeg odd box covers", "a.jpg", jpeg, {301, 150}, {301, 200});
    row("jpeg never enlarged", "a.jpeg", jpeg, {1920, 1080}, {1200, 800});
    row("bmp scaled", "a.bmp", encoded(photoLike({600, 400}), "BMP"), {150, 100}, {150, 100});
    row("ico scaled", "a.ico", Bytes::icon({{{48, 48}, Qt::green, 32}}, false), {24, 24}, {24, 24});

    // Refused.
    row("missing", "missing.jpg", QByteArray(), {}, {});
    // Any format Qt reads, except under the name of one of the seven kinds.
    row("ppm shows", "a.ppm", encoded(photoLike({16, 16}), "PPM"), {}, {16, 16});
    row("ppm named .bmp", "ppm.bmp", encoded(photoLike({16, 16}), "PPM"), {}, {});
    row("tiff shows", "a.tif", encoded(photoLike({40, 30}), "TIFF"), {}, {40, 30});
    row("webp shows", "a.webp", encoded(photoLike({40, 30}), "WEBP"), {}, {40, 30});
    row("tiff named .gif", "tiff.gif", encoded(photoLike({40, 30}), "TIFF"), {}, {});
    row("jpeg named .wmf", "photo.wmf", encoded(photoLike({16, 16}), "JPEG"), {}, {});
    row("wmf header only", "h.wmf", Bytes::wmf({}, 1440, 1440, 1440).left(22 + 18), {}, {});
    row("icon without entries", "none.ico", QByteArray("\0\0\1\0\0\0", 6), {}, {});
    // Scans: as many as any encoder writes pass; one more than the limit is a scan bomb.
    row("jpeg with 100 scans", "100.jpg", HostilePictures::progressiveJpeg({64, 64}, 99), {}, {64, 64});
    row("jpeg with 101 scans", "101.jpg", HostilePictures::progressiveJpeg({64, 64}, 100), {}, {});
}

void TestPictureLoader::decodedSize()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, target);
    QFETCH(QSize, expected);
    QFETCH(QSizeF, twips);
    QFETCH(QColor, top);
    const QString path = bytes.isNull() ? m_dir.filePath(name) : write(name, bytes);
    const std::optional<PictureInfo> info = ReadPictureInfo(path);
    if (!expected.isValid()) {
        QVERIFY(!info.has_value() || name == "101.jpg"); // its header is sound
        QVERIFY(DecodePicture(path, QSize(640, 480)).isNull());
        QVERIFY(DecodePicture(path).isNull());
        return;
    }
    QVERIFY(info.has_value());
    QCOMPARE(info->isMetafile, twips.isValid());
    if (target.isEmpty()) {
        QCOMPARE(info->pixels, expected);
        QCOMPARE(info->twips, twips.isValid() ? twips : QSizeF(expected) * 15);
    }
    QCOMPARE(PictureDecodeSize(*info, target), expected);
    const QImage image = DecodePicture(path, target);
    QCOMPARE(image.size(), expected);
    QVERIFY(image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32_Premultiplied);
    QVERIFY(!top.isValid() || shareOf(image, QRect(0, 0, image.width(), image.height() / 3), top.rgb()) > 0.95);
}

void TestPictureLoader::absurdHeadersFailFast_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");

    QByteArray jpeg = encoded(photoLike({16, 16}), "JPEG");
    const qsizetype frame = jpeg.indexOf("\xFF\xC0"); // height, then width
    qToBigEndian(quint32(0xFFFFFFFF), jpeg.data() + frame + 5);
    QTest::newRow("jpeg 65535 x 65535") << "max.jpg" << jpeg;
    QTest::newRow("bmp 65535 x 65535") << "max.bmp" << Bytes::bmpHeaderOnly({65535, 65535});
    QTest::newRow("gif 65535 x 65535") << "max.gif" << Bytes::gif({65535, 65535}, {65535, 65535}, 16);
    QTest::newRow("gif 65535 screen, small frame") << "screen.gif" << Bytes::gif({65535, 65535}, {4, 4}, 16);
}

void TestPictureLoader::absurdHeadersFailFast()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
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

void TestPictureLoader::metafiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("target");
    QTest::addColumn<bool>("renders");
    QTest::addColumn<QList<Probe>>("probes"); // areas in hundredths of the picture's width and height
    const auto row = [](const QByteArray &tag, const QByteArray &bytes, QSize target, bool renders,
                        const QList<Probe> &probes = {}) {
        QTest::newRow(tag.constData()) << bytes << target << renders << probes;
    };

    const QRgb black = qRgb(0, 0, 0), red = qRgb(230, 30, 30), green = qRgb(30, 200, 30);
    const QRgb blue = qRgb(30, 30, 230), yellow = qRgb(240, 220, 30), deepBlue = qRgb(20, 40, 220);
    const Bytes::WmfRecord noPen = Bytes::pen(0, black, 5);
    const QSize small(200, 200), large(4096, 4096);
    const QList<Probe> leftRed{{QRect(5, 5, 40, 90), red, 0.99, 1.0}};

    // Drawn at exactly the target, stretched to it: the left half stays the left half.
    row("left half red, stretched", Bytes::wmfRedLeftHalf(1440, 2880, 1440), {37, 300}, true,
        leftRed + QList<Probe>{{QRect(55, 0, 45, 100), white, 0.99, 1.0}});
    // Large outlines are filled in tiles; no pixel along a tile edge may come out lighter.
    row("large ellipse without seams",
        square({noPen, Bytes::selectObject(0), Bytes::solidBrush(deepBlue), Bytes::selectObject(1),
                Bytes::ellipse(0, 0, 100, 100)}),
        {3001, 2999}, true, {{QRect(20, 20, 60, 60), deepBlue, 1.0, 1.0, 0}});
    // Bitmaps store their bottom row first; the top row must come out on top.
    row("bitmap", square({Bytes::stretchDibPixels(QRect(0, 0, 100, 100), QSize(2, 2), {red, green, blue, yellow})}, 0),
        small, true, {{QRect(2, 2, 18, 18), red, 0.99, 1.0}, {QRect(80, 2, 18, 18), green, 0.99, 1.0},
                      {QRect(2, 80, 18, 18), blue, 0.99, 1.0}, {QRect(80, 80, 18, 18), yellow, 0.99, 1.0}});
    // libwmf applies a switch to a scaled mapping late; a pen made right after it still has
    // its full width (10 units: 45 to 55). 0x0214 moves to (10, 50).
    row("pen right after a switch to ANISOTROPIC",
        square({Bytes::setMapMode(8), Bytes::pen(10, black), Bytes::selectObject(0), Bytes::reversed(0x0214, {10, 50}),
                Bytes::lineTo(90, 50)}, 1),
        small, true, {{QRect(20, 47, 60, 6), black, 0.99, 1.0}, {QRect(20, 60, 60, 20), white, 0.99, 1.0}});

    // Hostile files: refused, or drawn within the time budget.
    row("bitmap claims 30000 x 30000", square({Bytes::stretchDib({30000, 30000}, 64)}), small, false);
    QByteArray claimsHugeRecords = Bytes::wmfRedLeftHalf(1440, 1440, 1440);
    qToLittleEndian<quint32>(0x7FFFFFFF, claimsHugeRecords.data() + 22 + 12); // largest record
    row("header claims 4 GiB records", claimsHugeRecords, small, true, leftRed);
    QByteArray brokenChain = square({Bytes::solidBrush(qRgb(255, 0, 0)), Bytes::selectObject(0),
                                     Bytes::rectangle(0, 0, 50, 100), Bytes::rectangle(50, 0, 100, 100)}, 1);
    qToLittleEndian<quint32>(0x40000000, brokenChain.data() + brokenChain.size() - 6 - 14); // last rectangle
    row("record claims 2 GiB: earlier records still drawn", brokenChain, small, true, leftRed);
    row("pen 32767 wide", square({Bytes::pen(32767, blue), Bytes::selectObject(0), Bytes::lineTo(100, 100)}, 1), large, true);
    row("tiny frame, far drawing", Bytes::wmf({Bytes::setWindowExt(1, 1), Bytes::lineTo(32000, 32000),
                                   Bytes::lineTo(-32000, 32000), Bytes::lineTo(32000, -32000)}, 0, 0, 0), large, true);
    // Outlines whose edges cross the canvas thousands of times (QPainter's rasteriser takes
    // minutes over such a shape when it gets it whole).
    QList<QPoint> zigzag;
    for (int i = 0; i < 4000; ++i)
        zigzag << QPoint(i * 100 / 4000, i % 2 ? 0 : 100);
    row("zigzag polygon", square({Bytes::solidBrush(blue), Bytes::selectObject(0), Bytes::polygon(zigzag)}, 1), large, true);
    const Bytes::WmfRecord line = Bytes::polygon(zigzag, 0x0325);
    for (const auto &[width, style] : {std::pair(1, 0), std::pair(3, 0), std::pair(1, 1)})
        row(QByteArray("zigzag line, pen ") + QByteArray::number(width) + " wide, style " + QByteArray::number(style),
            square({Bytes::pen(width, blue, style), Bytes::selectObject(0), line, line, line}, 1), large, true);
    row("font 32767 units high",
        square({Bytes::font(-32767, "Arial"), Bytes::selectObject(0), Bytes::textOut(0, 0, QByteArray(4000, 'W'))}, 1),
        large, true);
    // libwmf's bitmap reader steps over a header's bytes past 40 one by one and trusts the
    // palette size: a lying header once kept it busy for hours.
    const auto brushed = [](const Bytes::WmfRecord &brush) {
        return square({brush, Bytes::selectObject(0), Bytes::rectangle(0, 0, 100, 100)}, 1);
    };
    row("pattern brush", brushed(patternBrush(40)), small, true);
    row("pattern brush, header of 5 bytes", brushed(patternBrush(5)), small, false);
    row("pattern brush, header beyond the record", brushed(patternBrush(0xFFFFFFF0)), small, false);
    row("pattern brush, 4 billion colours", brushed(patternBrush(40, 0xFFFFFFFF, 24, 1)), small, false);
    const QByteArray sound = Bytes::wmfRedLeftHalf(1440, 1440, 1440);
    row("canvas wider than the cap", sound, {picture::WmfRenderer::kMaxSide + 1, 16}, false);
    row("canvas over the byte cap", sound, {16384, 16384}, false);
}

void TestPictureLoader::metafiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, target);
    QFETCH(bool, renders);
    QFETCH(QList<Probe>, probes);
    const QString path = write("drawing.wmf", bytes);
    QElapsedTimer timer;
    timer.start();
    const QImage image = DecodePicture(path, target);
    QVERIFY2(timer.elapsed() < 2000 * kBudgetFactor, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
    QCOMPARE(image.size(), renders ? target : QSize(0, 0));
    for (const Probe &p : probes) {
        const QRect a = QTransform::fromScale(target.width() / 100.0, target.height() / 100.0).mapRect(p.area);
        const double share = shareOf(image, a, p.color, p.tolerance);
        QVERIFY2(share >= p.atLeast && share <= p.atMost, qPrintable(QStringLiteral("probe at %1,%2: share %3")
                                                                      .arg(p.area.x()).arg(p.area.y()).arg(share)));
    }
}

void TestPictureLoader::concurrentDecodes()
{
    // Pictures decoded ahead on worker threads while others decode: same pixels as one at a time.
    const QStringList paths{write("c1.wmf", Bytes::wmfRedLeftHalf(1440, 2880, 1440)),
                            write("c2.jpg", encoded(photoLike({640, 480}), "JPEG")), write("c3.gif", Bytes::gif({64, 64}))};
    std::vector<QImage> expected;
    for (const QString &path : paths)
        QVERIFY(!expected.emplace_back(DecodePicture(path, {320, 160})).isNull());
    std::atomic<int> mismatches{0};
    {
        std::vector<std::jthread> threads; // joined on leaving the block
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                for (int i = t; i < t + 8; ++i)
                    mismatches += DecodePicture(paths[i % 3], {320, 160}) != expected[size_t(i % 3)];
            });
    }
    QCOMPARE(mismatches.load(), 0);
}

void TestPictureLoader::hostileFilesBounded_data()
{
    using namespace HostilePictures;
    using P = picture::PictureProblem;
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("threads");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<P>("problem");
    const auto row = [](const char *tag, const char *name, const QByteArray &bytes, bool shown,
                        P problem = P::None, int threads = 1) {
        QTest::newRow(tag) << QString(name) << bytes << threads << shown << problem;
    };
    row("jpeg 4000 x 4000, 50,000 empty scans", "s1.jpg", progressiveJpeg({4000, 4000}, 50000), false, P::Damaged);
    row("jpeg 4000 x 4000, 5,000 empty scans", "s2.jpg", progressiveJpeg({4000, 4000}, 5000), false, P::Damaged);
    row("jpeg 16000 x 16000, 100,000 scans", "s3.jpg", progressiveJpeg({16000, 16000}, 100000), false, P::Damaged);
    row("jpeg 16000 x 16000, 90 scans", "s4.jpg", progressiveJpeg({16000, 16000}, 90), false, P::TooLarge);
    row("jpeg 4000 x 4000, 10 scans", "s5.jpg", progressiveJpeg({4000, 4000}, 9, 40000), true);
    row("jpeg 65500 x 65500, one scan, padded", "big.jpg", progressiveJpeg({65500, 65500}, 0, 8450000), false,
        P::TooLarge);
    row("rle8 bmp 16000 x 16000", "r1.bmp", rle8Bmp({16000, 16000}, 5000), false, P::TooLarge);
    row("rle8 bmp 4000 x 4000", "r2.bmp", rle8Bmp({4000, 4000}, 5000), true);
    row("gif screen 16000 x 16000, 1 x 1 frame", "g1.gif", gifWithScreen({16000, 16000}, 63000), false, P::TooLarge);
    // Each fits the budget alone, not two at once: the second waits for the first.
    row("gif screen 10000 x 10000, two decodes at once", "g2.gif", gifWithScreen({10000, 10000}, 30000), true,
        P::None, 2);
    row("metafile, 300,000 ellipses", "e1.wmf", ellipseMetafile(300000, 8), false, P::TooLarge);
    row("metafile, 20,000 small ellipses", "e2.wmf", ellipseMetafile(20000, 8), true);
    row("metafile, 20,000 ellipses over the canvas", "e3.wmf", ellipseMetafile(20000, 990), false, P::TooLarge);
    row("fifo named p.bmp", "p.bmp", QByteArray("fifo"), false, P::Unreadable);
    row("link to /dev/zero named z.bmp", "z.bmp", QByteArray("/dev/zero"), false, P::Unreadable);
}

void TestPictureLoader::hostileFilesBounded()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(int, threads);
    QFETCH(bool, shown);
    QFETCH(picture::PictureProblem, problem);
    QString path = m_dir.filePath(name);
    QFile::remove(path);
    if (bytes == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (bytes == "/dev/zero")
        QVERIFY(QFile::link(QString::fromLatin1(bytes), path));
    else
        path = write(name, bytes);
    const QSize screen(1920, 1080);
    const ProbeResult r = probe(path, screen, threads);
    QVERIFY2(r.ran, "the probe did not finish");
    qInfo("%s: %s in %lld ms (%lld ms of processor time), peak %lld MiB", QTest::currentDataTag(),
          r.shown ? "shown" : "refused", r.ms, r.cpuMs, r.peakKiB / 1024);
    QCOMPARE(r.shown, shown);
    if (!shown)
        QCOMPARE(r.problem, int(problem));
    // The work of each decode is bounded; two at once take turns. The clock only catches a hang:
    // on a machine busy with other things, waiting for a processor is not work.
    QVERIFY2(r.cpuMs < 2000 * threads * kBudgetFactor, qPrintable(QStringLiteral("%1 ms of work").arg(r.cpuMs)));
    QVERIFY2(r.ms < 10000 * threads * kBudgetFactor, qPrintable(QStringLiteral("%1 ms").arg(r.ms)));
    // Refusals come before anything large is allocated; what is shown stays under the cap.
    const qint64 capKiB = shown ? qint64(1536) * 1024 : qint64(256) * 1024;
    QVERIFY2(r.peakKiB < capKiB * kBudgetFactor, qPrintable(QStringLiteral("peak %1 KiB").arg(r.peakKiB)));
    if (threads > 1) {
        const ProbeResult alone = probe(path, screen, 1);
        QVERIFY2(r.peakKiB < alone.peakKiB + 128 * 1024 * kBudgetFactor,
                 qPrintable(QStringLiteral("%1 KiB at once, %2 KiB alone").arg(r.peakKiB).arg(alone.peakKiB)));
    }
}

void TestPictureLoader::largeProgressivePhotoSharp()
{
    // A 12000 x 8000 photo with detail down to a few screen pixels: colour ramps and a checker
    // of 24-pixel cells (under 4 pixels at screen size).
    const QSize size(12000, 8000);
    QImage photo(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(photo.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb(x * 255 / size.width(), y * 255 / size.height(), ((x / 24 + y / 24) & 1) * 255);
    }
    const QByteArray bytes = progressiveJpeg(photo, 90);
    QVERIFY(picture::JpegFrame::parse(bytes)->progressive);
    const QString path = write("large-progressive.jpg", bytes);
    const QSize screen(1920, 1080);
    const ProbeResult r = probe(path, screen);
    QVERIFY(r.ran);
    qInfo("12000 x 8000 progressive: shown %dx%d in %lld ms, peak %lld MiB", r.size.width(), r.size.height(), r.ms,
          r.peakKiB / 1024);
    QCOMPARE(r.size, QSize(1620, 1080));
    QVERIFY2(r.cpuMs < 3000 * kBudgetFactor, qPrintable(QStringLiteral("%1 ms of work").arg(r.cpuMs)));
    QVERIFY2(r.peakKiB < qint64(1536) * 1024 * kBudgetFactor, qPrintable(QString::number(r.peakKiB)));

    // Sharp: as close to the photo reduced directly as a decode at screen size can be.
    const QImage image = DecodePicture(path, {1620, 1080});
    const QImage reference = photo.scaled(image.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    photo = QImage();
    qint64 difference = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *a = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        const auto *b = reinterpret_cast<const QRgb *>(reference.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            difference += qAbs(qBlue(a[x]) - qBlue(b[x]));
    }
    const double mean = double(difference) / (qint64(image.width()) * image.height());
    qInfo("mean difference from the photo reduced directly: %.1f", mean);
    QVERIFY2(mean < 12, qPrintable(QStringLiteral("mean difference %1").arg(mean)));
}

void TestPictureLoader::corpusSweep()
{
    const QString root = QStringLiteral(QUORVEL_PICTURE_CORPUS_DIR);
    if (!QFileInfo(root).isDir())
        QSKIP("no picture corpus beside the source tree");
    const QMap<QString, QStringList> extensions{{"bmp", {"bmp"}}, {"cur", {"cur"}}, {"gif", {"gif"}},
                                                {"ico", {"ico"}}, {"jpeg", {"jpg", "jpeg"}}, {"wmf", {"wmf"}}};
    QMap<QString, int> loaded, failed;
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
        const QImage image = DecodePicture(path, screen);
        if (timer.elapsed() >= 2000 * kBudgetFactor)
            problems << QStringLiteral("%1 slow (%2 ms)").arg(relative).arg(timer.elapsed());
        if (relative.startsWith(QLatin1String("bmp/bmpsuite-2.8/g/")) && image.isNull())
            problems << relative + QStringLiteral(" refused");
        if (!extensions.value(folder).contains(QFileInfo(path).suffix().toLower()))
            continue; // reference renders and notes: only required not to crash or stall
        ++(image.isNull() ? failed : loaded)[folder];
        if (image.isNull())
            continue;
        // The promised size; an icon may fall back to a smaller entry than it announced.
        const QSize promised = info ? PictureDecodeSize(*info, screen) : QSize();
        if (folder == "ico" || folder == "cur" ? image.width() > promised.width() || image.height() > promised.height()
                                               : image.size() != promised)
            problems << QStringLiteral("%1 decoded at %2x%3").arg(relative).arg(image.width()).arg(image.height());
        // A render that loses the drawing (a frame mapped wrong) shows up as a blank page.
        blankMetafiles += folder == "wmf" && shareOf(image, image.rect(), white, 0) == 1.0;
    }

    qInfo("%-6s %6s %7s %7s", "format", "files", "loaded", "failed");
    for (const QString &f : extensions.keys())
        qInfo("%-6s %6d %7d %7d", qPrintable(f), loaded.value(f) + failed.value(f), loaded.value(f), failed.value(f));
    qInfo("metafiles rendered blank: %d", blankMetafiles);

    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(", ")));
    QVERIFY(loaded.value("bmp") > 0);
    QVERIFY2(blankMetafiles * 20 <= loaded.value("wmf"), qPrintable(QString::number(blankMetafiles)));
    // No file, good or hostile, made the process grow past 512 MiB at any moment.
    QVERIFY2(peakResidentKiB() < 512 * 1024 * kBudgetFactor, qPrintable(QString::number(peakResidentKiB()) + " KiB"));
}

QTEST_GUILESS_MAIN(TestPictureLoader)
#include "tst_pictureloader.moc"
