// The two-core JPEG decode against one plain libjpeg decode of the same file at the same scale:
// every pixel the same, wherever the cut falls, for every layout of components, for damaged
// data, and for every picture of the corpus it takes on.

#include "picture/jpeg/JpegSplit.h"
#include "picture/PictureLoader.h"

#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <cstdio>
#include <optional>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

using picture::JpegSplit;

namespace {

struct Jump
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};
void jumpOut(j_common_ptr c) { std::longjmp(reinterpret_cast<Jump *>(c->err)->jump, 1); }
void quiet(j_common_ptr) {}

struct Layout
{
    int h[3] = {2, 1, 1};
    int v[3] = {2, 1, 1};
    bool optimize = false; // tables holding only the codes the picture uses
    int restartRows = 0;
    bool progressive = false;
};

QImage scene(int w, int h, quint32 seed)
{
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int n = int(rng.bounded(40u)) - 20;
            // Smooth areas and edges: DC values that wander far, runs of zeros and long codes.
            const int band = ((x / 37 + y / 23) % 3) * 60;
            image.setPixel(x, y, qRgb(qBound(0, x * 255 / w + n, 255), qBound(0, band + n, 255),
                                      qBound(0, y * 255 / h - n, 255)));
        }
    return image;
}

QByteArray encode(const QImage &image, const Layout &layout, int quality = 90)
{
    jpeg_compress_struct c{};
    Jump err{};
    c.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = jumpOut;
    unsigned char *out = nullptr;
    unsigned long size = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&c);
        free(out);
        return {};
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(image.width());
    c.image_height = JDIMENSION(image.height());
    c.input_components = 4;
    c.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    for (int i = 0; i < 3; ++i) {
        c.comp_info[i].h_samp_factor = layout.h[i];
        c.comp_info[i].v_samp_factor = layout.v[i];
    }
    c.optimize_coding = layout.optimize;
    c.restart_in_rows = layout.restartRows;
    if (layout.progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<uchar *>(image.constScanLine(int(c.next_scanline)));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(size));
    free(out);
    return bytes;
}

// One libjpeg decode, as the split one is meant to give it; null when libjpeg refuses the file.
QImage plainDecode(const QByteArray &bytes, int scaleNum)
{
    jpeg_decompress_struct c{};
    Jump err{};
    c.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = jumpOut;
    err.pub.output_message = quiet;
    QImage image;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&c);
        return QImage();
    }
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, reinterpret_cast<const unsigned char *>(bytes.constData()), (unsigned long)bytes.size());
    jpeg_read_header(&c, TRUE);
    c.scale_num = unsigned(scaleNum);
    c.scale_denom = 8;
    c.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&c);
    image = QImage(int(c.output_width), int(c.output_height), QImage::Format_RGB32);
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = image.scanLine(int(c.output_scanline));
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    return image;
}

// The first row where the two differ, or -1.
int firstDifferentRow(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return -2;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), size_t(a.width()) * 4) != 0)
            return y;
    return -1;
}

} // namespace

class TestJpegSplit : public QObject
{
    Q_OBJECT

private slots:
    void everyCutMatchesOneDecode_data();
    void everyCutMatchesOneDecode();
    void notSplit_data();
    void notSplit();
    void damagedDataMatchesOneDecode_data();
    void damagedDataMatchesOneDecode();
    void corpusMatchesOneDecode();
    void loaderGivesWhatQtGives_data();
    void loaderGivesWhatQtGives();
    void loaderReducesAsOneDecode_data();
    void loaderReducesAsOneDecode();
    void walkerOutOfMemoryDecodesOnce();
};

void TestJpegSplit::everyCutMatchesOneDecode_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QList<int>>("sampling"); // h, v of each component
    QTest::addColumn<bool>("optimize");
    QTest::addColumn<int>("scaleNum");
    QTest::newRow("4:2:0, quarter") << 301 << 203 << QList<int>{2, 2, 1, 1, 1, 1} << false << 2;
    QTest::newRow("4:2:0, eighth") << 301 << 203 << QList<int>{2, 2, 1, 1, 1, 1} << false << 1;
    QTest::newRow("4:2:0, half") << 256 << 160 << QList<int>{2, 2, 1, 1, 1, 1} << false << 4;
    QTest::newRow("4:2:0, three eighths") << 240 << 176 << QList<int>{2, 2, 1, 1, 1, 1} << false << 3;
    QTest::newRow("4:2:0, own tables") << 301 << 203 << QList<int>{2, 2, 1, 1, 1, 1} << true << 2;
    QTest::newRow("4:2:2") << 250 << 330 << QList<int>{2, 1, 1, 1, 1, 1} << false << 2;
    QTest::newRow("4:4:4, whole size") << 120 << 90 << QList<int>{1, 1, 1, 1, 1, 1} << false << 8;
    QTest::newRow("4:4:4, own tables") << 200 << 90 << QList<int>{1, 1, 1, 1, 1, 1} << true << 4;
    QTest::newRow("4:2:2, whole size") << 250 << 330 << QList<int>{2, 1, 1, 1, 1, 1} << false << 8;
    QTest::newRow("chroma sampled finer") << 200 << 130 << QList<int>{1, 1, 2, 2, 1, 1} << false << 2;
}

void TestJpegSplit::everyCutMatchesOneDecode()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QList<int>, sampling);
    QFETCH(bool, optimize);
    QFETCH(int, scaleNum);
    Layout layout;
    for (int i = 0; i < 3; ++i) {
        layout.h[i] = sampling[2 * i];
        layout.v[i] = sampling[2 * i + 1];
    }
    layout.optimize = optimize;
    const QByteArray bytes = encode(scene(width, height, 7), layout);
    QVERIFY(!bytes.isEmpty());
    const QImage expected = plainDecode(bytes, scaleNum);
    QVERIFY(!expected.isNull());
    const int mcuHeight = 8 * std::max({layout.v[0], layout.v[1], layout.v[2]});
    const int rows = (height + mcuHeight - 1) / mcuHeight;
    int cuts = 0;
    for (int row = 1; row < rows; ++row) {
        int taken = -1;
        const std::optional<QImage> got = JpegSplit::decodeAt(bytes, scaleNum, row, &taken);
        QVERIFY2(got, qPrintable(QStringLiteral("row %1").arg(row)));
        QVERIFY2(taken == -1 || (taken >= row && taken < rows), qPrintable(QStringLiteral("row %1 cut at %2").arg(row).arg(taken)));
        cuts += taken >= 0;
        QCOMPARE(firstDifferentRow(*got, expected), -1);
    }
    QVERIFY2(cuts > 0, "never cut at all");
}

void TestJpegSplit::notSplit_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("scaleNum");
    const QImage picture = scene(200, 120, 3);
    Layout restarts;
    restarts.restartRows = 1;
    Layout progressive;
    progressive.progressive = true;
    QTest::newRow("restart markers") << encode(picture, restarts) << 2;
    QTest::newRow("progressive") << encode(picture, progressive) << 2;
    // Whole size, 4:2:0: the chroma is upsampled across rows, so a cut would show.
    QTest::newRow("chroma upsampled") << encode(picture, Layout()) << 8;
    Layout tall;
    tall.h[0] = 1;
    QTest::newRow("chroma made taller") << encode(picture, tall) << 2;
    QByteArray gray;
    QBuffer buffer(&gray);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(picture.convertToFormat(QImage::Format_Grayscale8).save(&buffer, "JPEG"));
    QTest::newRow("grey") << gray << 2;
    QTest::newRow("not a JPEG") << QByteArray("BM not at all a jpeg") << 2;
}

void TestJpegSplit::notSplit()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, scaleNum);
    QVERIFY(!JpegSplit::decodeAt(bytes, scaleNum, 2, nullptr));
}

void TestJpegSplit::damagedDataMatchesOneDecode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray whole = encode(scene(320, 240, 11), Layout());
    // Cut short above, at and below the middle, where the cut is tried.
    for (const double at : {0.3, 0.55, 0.62, 0.9})
        QTest::newRow(qPrintable(QStringLiteral("cut short at %1").arg(at))) << whole.left(qsizetype(whole.size() * at));
    // Bytes changed in the coded data: codes that go astray, stray markers.
    QRandomGenerator rng(5);
    for (int i = 0; i < 12; ++i) {
        QByteArray damaged = whole;
        const qsizetype at = 700 + qsizetype(rng.bounded(quint32(whole.size() - 800)));
        damaged[at] = char(i % 3 == 0 ? 0xFF : rng.bounded(256u));
        if (i % 3 == 0)
            damaged[at + 1] = char(0xD0 + i % 10); // a marker, restart or otherwise
        QTest::newRow(qPrintable(QStringLiteral("damaged at %1").arg(at))) << damaged;
    }
}

void TestJpegSplit::damagedDataMatchesOneDecode()
{
    QFETCH(QByteArray, bytes);
    const QImage expected = plainDecode(bytes, 2);
    for (const int row : {4, 8, 11}) {
        const std::optional<QImage> got = JpegSplit::decodeAt(bytes, 2, row, nullptr);
        if (!got)
            continue; // decoded in one piece instead
        QVERIFY(!expected.isNull());
        QCOMPARE(firstDifferentRow(*got, expected), -1);
    }
}

void TestJpegSplit::corpusMatchesOneDecode()
{
    const QString corpus = QStringLiteral(QUORVEL_PICTURE_CORPUS_DIR "/jpeg");
    if (!QFile::exists(corpus))
        QSKIP("no corpus of pictures beside the project");
    int split = 0;
    QDirIterator it(corpus, {"*.jpg", "*.jpeg", "*.JPG"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() > (qint64(32) << 20))
            continue;
        const QByteArray bytes = file.readAll();
        for (const int scaleNum : {1, 2, 4}) {
            const std::optional<QImage> got = JpegSplit::decodeAt(bytes, scaleNum, 3, nullptr);
            if (!got)
                continue;
            ++split;
            const QImage expected = plainDecode(bytes, scaleNum);
            QVERIFY2(!expected.isNull(), qPrintable(path));
            QVERIFY2(firstDifferentRow(*got, expected) == -1, qPrintable(QStringLiteral("%1 at %2/8").arg(path).arg(scaleNum)));
        }
    }
    QVERIFY2(split >= 20, qPrintable(QStringLiteral("only %1 decodes split").arg(split)));
}

void TestJpegSplit::loaderGivesWhatQtGives_data()
{
    QTest::addColumn<int>("orientation"); // EXIF orientation, 0 for none
    QTest::addColumn<QSize>("target");
    QTest::newRow("upright, quarter") << 0 << QSize(600, 300);
    QTest::newRow("upright, odd size") << 0 << QSize(333, 170);
    QTest::newRow("turned right") << 6 << QSize(300, 600);
    QTest::newRow("mirrored and turned") << 7 << QSize(300, 600);
    QTest::newRow("upside down") << 3 << QSize(600, 300);
    QTest::newRow("turned left") << 8 << QSize(300, 600);
}

void TestJpegSplit::loaderGivesWhatQtGives()
{
    QFETCH(int, orientation);
    QFETCH(QSize, target);
    // Large enough to be split on any machine with two cores.
    QVERIFY(JpegSplit::worthIt(2048 * 1024) || QThread::idealThreadCount() < 2);
    QByteArray bytes = encode(scene(2048, 1024, 17), Layout());
    if (orientation) {
        // An APP1 Exif segment with one IFD entry: the orientation, big-endian.
        const uchar ifd[] = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 0x2a, 0, 0, 0, 8, 0, 1,
                             0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, uchar(orientation), 0, 0, 0, 0, 0, 0};
        const QByteArray exif(reinterpret_cast<const char *>(ifd), sizeof ifd);
        QByteArray segment("\xff\xe1", 2);
        segment.append(char((exif.size() + 2) >> 8)).append(char((exif.size() + 2) & 0xff)).append(exif);
        bytes.insert(2, segment);
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("big.jpg");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();

    const QImage got = picture::DecodePicture(path, target);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(true);
    const bool quarter = reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
    const QSize stored = reader.size();
    const QSize upright = quarter ? stored.transposed() : stored;
    const QSize wanted = upright.scaled(target, Qt::KeepAspectRatioByExpanding);
    reader.setScaledSize(quarter ? wanted.transposed() : wanted);
    const QImage expected = reader.read().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(got.size(), expected.size());
    QCOMPARE(firstDifferentRow(got.convertToFormat(QImage::Format_RGB32), expected), -1);
}

void TestJpegSplit::loaderReducesAsOneDecode_data()
{
    QTest::addColumn<QSize>("stored");
    QTest::addColumn<QSize>("target");
    QTest::addColumn<QList<int>>("sampling"); // h, v of each component
    const QList<int> h2v1{2, 1, 1, 1, 1, 1}, h2v2{2, 2, 1, 1, 1, 1}, h1v1{1, 1, 1, 1, 1, 1};
    // Every width modulo 8 and odd heights, at reductions where width * n / 8 is not whole; a
    // reduction one eighth too large still splits where the layout allows it (n + 1 = 8 only
    // without vertical chroma upsampling).
    QTest::newRow("2048 x 1025, 3/8") << QSize(2048, 1025) << QSize(600, 300) << h2v2;
    QTest::newRow("2049 x 1027, 5/8") << QSize(2049, 1027) << QSize(1100, 550) << h2v1;
    QTest::newRow("2050 x 1029, 3/8") << QSize(2050, 1029) << QSize(700, 350) << h2v2;
    QTest::newRow("2051 x 1031, 6/8") << QSize(2051, 1031) << QSize(1300, 640) << h1v1;
    QTest::newRow("2052 x 1033, 5/8") << QSize(2052, 1033) << QSize(1100, 560) << h2v2;
    QTest::newRow("2053 x 1035, 7/8") << QSize(2053, 1035) << QSize(1780, 900) << h2v1;
    QTest::newRow("2054 x 1037, 2/8") << QSize(2054, 1037) << QSize(380, 190) << h2v2;
    QTest::newRow("2055 x 1039, 4/8") << QSize(2055, 1039) << QSize(1000, 500) << h2v1;
    QTest::newRow("3001 x 2001, 6/8") << QSize(3001, 2001) << QSize(2000, 1300) << h1v1;
}

void TestJpegSplit::loaderReducesAsOneDecode()
{
    QFETCH(QSize, stored);
    QFETCH(QSize, target);
    QFETCH(QList<int>, sampling);
    if (!JpegSplit::worthIt(qint64(stored.width()) * stored.height()))
        QSKIP("not split on this machine");
    Layout layout;
    for (int i = 0; i < 3; ++i) {
        layout.h[i] = sampling[2 * i];
        layout.v[i] = sampling[2 * i + 1];
    }
    const QByteArray bytes = encode(scene(stored.width(), stored.height(), quint32(stored.width())), layout, 80);
    QVERIFY(!bytes.isEmpty());
    QTemporaryDir dir;
    const QString path = dir.filePath("wide.jpg");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();

    const QSize wanted = stored.scaled(target, Qt::KeepAspectRatioByExpanding);
    QVERIFY(wanted.width() < stored.width() && wanted.height() < stored.height());
    // The loader takes the split path for this file at the reduction one decode uses.
    const double f = std::min(double(stored.width()) / wanted.width(), double(stored.height()) / wanted.height());
    const int eighths = std::clamp(int(std::ceil(8.0 / f)), 1, 8);
    QVERIFY(JpegSplit::decode(bytes, eighths));

    const QImage got = picture::DecodePicture(path, target);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setScaledSize(wanted);
    const QImage expected = reader.read().convertToFormat(QImage::Format_RGB32);
    QVERIFY(!expected.isNull());
    QCOMPARE(got.size(), wanted);
    QCOMPARE(firstDifferentRow(got.convertToFormat(QImage::Format_RGB32), expected), -1);
}

void TestJpegSplit::walkerOutOfMemoryDecodesOnce()
{
    if (!JpegSplit::worthIt(2048 * 1024))
        QSKIP("not split on this machine");
    const QByteArray bytes = encode(scene(2048, 1024, 23), Layout());
    const QImage whole = plainDecode(bytes, 2);
    int taken = -1;
    QVERIFY(JpegSplit::decodeAt(bytes, 2, 20, &taken));
    QVERIFY(taken >= 20);
    // The second thread's allocation fails: no cut, and the first thread decodes every row.
    JpegSplit::failNextWalkerForTest();
    std::optional<QImage> got = JpegSplit::decodeAt(bytes, 2, 20, &taken);
    QVERIFY(got);
    QCOMPARE(taken, -1);
    QCOMPARE(firstDifferentRow(*got, whole), -1);

    QTemporaryDir dir;
    const QString path = dir.filePath("big.jpg");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    JpegSplit::failNextWalkerForTest();
    const QImage loaded = picture::DecodePicture(path, QSize(600, 300));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setScaledSize(QSize(600, 300));
    const QImage expected = reader.read().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(loaded.size(), expected.size());
    QCOMPARE(firstDifferentRow(loaded.convertToFormat(QImage::Format_RGB32), expected), -1);
    // The loader's second thread took the failure, and the next one splits again.
    got = JpegSplit::decodeAt(bytes, 2, 20, &taken);
    QVERIFY(got);
    QVERIFY(taken >= 20);
    QCOMPARE(firstDifferentRow(*got, whole), -1);
}

QTEST_GUILESS_MAIN(TestJpegSplit)
#include "tst_jpegsplit.moc"
