// Runs the sample generator and checks what it writes, and round-trips the encoders Qt lacks
// (GIF, ICO/CUR) through Qt's own readers. Metafiles are checked byte by byte.

#include "ColorQuantizer.h"
#include "GifWriter.h"
#include "IconWriter.h"
#include "SeededRandom.h"
#include "WmfWriter.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

const QString generator = QStringLiteral(QUORVEL_MAKE_SAMPLES);
const QString corpus = QStringLiteral(QUORVEL_CORPUS_DIR);

int runGenerator(const QStringList &args, QString *errors = nullptr)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY")); // it must not need one
    process.setProcessEnvironment(env);
    process.start(generator, args);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (errors)
        *errors = QString::fromLocal8Bit(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QMap<QString, QByteArray> fileHashes(const QString &folder)
{
    QMap<QString, QByteArray> hashes;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            hashes.insert(QDir(folder).relativeFilePath(path), QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256));
    }
    return hashes;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

quint16 u16(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

qint16 s16(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<qint16>(b.constData() + at);
}

quint32 u32(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

// Walks a metafile the way a player would. Returns an empty string when it is sound, with the
// window extent and, if present, the placeable bounding box and units per inch.
QString checkMetafile(const QByteArray &b, QSize *extent, QRect *bbox, int *inch)
{
    qsizetype pos = 0;
    *bbox = QRect();
    *inch = 0;
    if (b.size() >= 22 && u32(b, 0) == 0x9AC6CDD7u) {
        quint16 checksum = 0;
        for (int i = 0; i < 10; ++i)
            checksum ^= u16(b, 2 * i);
        if (checksum != u16(b, 20))
            return QStringLiteral("placeable checksum %1, expected %2").arg(u16(b, 20)).arg(checksum);
        if (u16(b, 4) != 0 || u32(b, 16) != 0)
            return QStringLiteral("placeable handle or reserved field not zero");
        *bbox = QRect(QPoint(s16(b, 6), s16(b, 8)), QPoint(s16(b, 10) - 1, s16(b, 12) - 1));
        *inch = u16(b, 14);
        pos = 22;
    }
    if (b.size() < pos + 18)
        return QStringLiteral("too short for a header");
    if ((u16(b, pos) != 1 && u16(b, pos) != 2) || u16(b, pos + 2) != 9 || u16(b, pos + 4) != 0x0300)
        return QStringLiteral("bad header type, size or version");
    if (qsizetype(u32(b, pos + 6)) * 2 != b.size() - pos)
        return QStringLiteral("header gives %1 words, file has %2").arg(u32(b, pos + 6)).arg((b.size() - pos) / 2);
    const int declaredObjects = u16(b, pos + 10);
    const quint32 declaredMaxRecord = u32(b, pos + 12);
    pos += 18;

    QList<bool> objects;
    int liveMax = 0;
    quint32 maxRecord = 0;
    QPoint origin;
    *extent = QSize();
    bool ended = false;
    auto inside = [&](int x, int y) {
        return extent->isValid() && x >= origin.x() && y >= origin.y() && x <= origin.x() + extent->width()
               && y <= origin.y() + extent->height();
    };
    while (pos < b.size()) {
        if (ended)
            return QStringLiteral("data after the end record");
        if (b.size() - pos < 6)
            return QStringLiteral("truncated record at %1").arg(pos);
        const quint32 words = u32(b, pos);
        const quint16 function = u16(b, pos + 4);
        if (words < 3 || pos + qsizetype(words) * 2 > b.size())
            return QStringLiteral("record at %1 has a bad size %2").arg(pos).arg(words);
        maxRecord = std::max(maxRecord, words);
        const qsizetype p = pos + 6;
        switch (function) {
        case 0x0000:
            if (words != 3)
                return QStringLiteral("end record of %1 words").arg(words);
            ended = true;
            break;
        case 0x020B:
            origin = QPoint(s16(b, p + 2), s16(b, p));
            break;
        case 0x020C:
            *extent = QSize(s16(b, p + 2), s16(b, p));
            break;
        case 0x02FA:
        case 0x02FC: {
            const qsizetype slot = objects.indexOf(false);
            if (slot < 0)
                objects.append(true);
            else
                objects[slot] = true;
            liveMax = std::max(liveMax, int(objects.count(true)));
            break;
        }
        case 0x012D:
        case 0x01F0: {
            const int index = u16(b, p);
            if (index >= objects.size() || !objects.at(index))
                return QStringLiteral("record at %1 uses object %2, which does not exist").arg(pos).arg(index);
            if (function == 0x01F0)
                objects[index] = false;
            break;
        }
        case 0x041B: // rectangle
        case 0x0418: // ellipse
        case 0x061C: { // round rectangle: corner size first
            const qsizetype r = function == 0x061C ? p + 4 : p;
            if (!inside(s16(b, r + 6), s16(b, r + 4)) || !inside(s16(b, r + 2), s16(b, r)))
                return QStringLiteral("shape at %1 is drawn outside the window").arg(pos);
            break;
        }
        case 0x0324:
        case 0x0325: {
            const int n = s16(b, p);
            if (n < 2 || words != quint32(4 + 2 * n))
                return QStringLiteral("poly record at %1: %2 points in %3 words").arg(pos).arg(n).arg(words);
            for (int i = 0; i < n; ++i) {
                if (!inside(s16(b, p + 2 + 4 * i), s16(b, p + 4 + 4 * i)))
                    return QStringLiteral("point %1 of the record at %2 is outside the window").arg(i).arg(pos);
            }
            break;
        }
        case 0x0213:
        case 0x0214:
            if (!inside(s16(b, p + 2), s16(b, p)))
                return QStringLiteral("line at %1 leaves the window").arg(pos);
            break;
        case 0x0102:
        case 0x0106:
            break;
        default:
            return QStringLiteral("unexpected record 0x%1 at %2").arg(function, 4, 16, QLatin1Char('0')).arg(pos);
        }
        pos += qsizetype(words) * 2;
    }
    if (!ended)
        return QStringLiteral("no end record");
    if (maxRecord != declaredMaxRecord)
        return QStringLiteral("largest record has %1 words, header says %2").arg(maxRecord).arg(declaredMaxRecord);
    if (liveMax > declaredObjects)
        return QStringLiteral("%1 objects alive at once, header allows %2").arg(liveMax).arg(declaredObjects);
    return {};
}

QImage indexedPattern(QSize size, int colours, const QString &pattern, bool transparent, quint64 seed)
{
    QImage image(size, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < colours; ++i)
        table << qRgb((i * 53 + 11) & 255, (i * 97 + 31) & 255, (i * 151 + 7) & 255);
    if (transparent)
        table.last() = qRgba(0, 0, 0, 0);
    image.setColorTable(table);
    SeededRandom rng(seed);
    int value = 0;
    for (int y = 0; y < size.height(); ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            if (pattern == QLatin1String("noise"))
                value = rng.below(colours);
            else if (pattern == QLatin1String("runs") && rng.below(200) == 0)
                value = rng.below(colours);
            else if (pattern == QLatin1String("diagonal"))
                value = (x + 2 * y) % colours;
            line[x] = uchar(value);
        }
    }
    return image;
}

// First mismatching pixel as text, or empty when every pixel agrees.
QString firstDifference(const QImage &expected, const QImage &actual)
{
    if (expected.size() != actual.size())
        return QStringLiteral("size %1x%2, expected %3x%4")
            .arg(actual.width()).arg(actual.height()).arg(expected.width()).arg(expected.height());
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb e = expected.pixel(x, y), a = actual.pixel(x, y);
            const bool same = qAlpha(e) == 0 ? qAlpha(a) == 0 : e == a;
            if (!same)
                return QStringLiteral("pixel %1,%2 is %3, expected %4").arg(x).arg(y).arg(a, 8, 16, QLatin1Char('0')).arg(e, 8, 16, QLatin1Char('0'));
        }
    }
    return {};
}

QImage readFrom(const QByteArray &bytes, const char *format, int *count = nullptr)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    if (count)
        *count = reader.imageCount();
    return reader.read();
}

QStringList corpusFiles(const QString &kind, const QStringList &suffixes, int limit)
{
    QStringList files;
    QDirIterator it(corpus + QLatin1Char('/') + kind, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (suffixes.contains(QFileInfo(path).suffix().toLower()))
            files << path;
    }
    files.sort();
    return files.mid(0, limit);
}

} // namespace

class TestMakeSamples : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void picturesDecode_data();
    void picturesDecode();
    void iconEntriesDiffer();
    void iconDirectories_data();
    void iconDirectories();
    void gifAnimationAndTransparency();
    void nonPicturesAreRejected();
    void metafiles_data();
    void metafiles();
    void rerunIsIdenticalAndForeignFolderIsKept();

    void gifRoundTrip_data();
    void gifRoundTrip();
    void gifRefusesUnusableFrames();
    void gifRoundTripCorpus();
    void iconRoundTrip_data();
    void iconRoundTrip();
    void iconRoundTripCorpus();
    void quantizerStaysClose();
    void wmfWriterFlagsOverflow();

private:
    QTemporaryDir m_out;
    QMap<QString, QByteArray> m_firstRun;

    QString sample(const QString &name) const { return m_out.filePath(name); }
};

void TestMakeSamples::initTestCase()
{
    QVERIFY2(QFileInfo(generator).isExecutable(), qPrintable(generator));
    QVERIFY(m_out.isValid());
    QString errors;
    QCOMPARE(runGenerator({m_out.path()}, &errors), 0);
    m_firstRun = fileHashes(m_out.path());
    QVERIFY2(m_firstRun.size() > 30, qPrintable(errors));
}

void TestMakeSamples::picturesDecode_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");    // largest entry for icons and cursors
    QTest::addColumn<int>("images");    // frames or entries; 0 when the format has no such count

    QTest::newRow("Sunset.JPG") << "Sunset.JPG" << QByteArray("jpeg") << QSize(800, 600) << 0;
    QTest::newRow("panorama larger than a screen") << "Alpine Panorama.jpg" << QByteArray("jpeg") << QSize(2600, 1500) << 0;
    QTest::newRow("tall") << "Lighthouse.jpeg" << QByteArray("jpeg") << QSize(600, 1800) << 0;
    QTest::newRow("Aurora.jpeg") << "Aurora.jpeg" << QByteArray("jpeg") << QSize(1280, 720) << 0;
    QTest::newRow("portrait jpg") << "Bloom.jpg" << QByteArray("jpeg") << QSize(480, 640) << 0;
    QTest::newRow("small jpg") << "Tiny Sunset.jpg" << QByteArray("jpeg") << QSize(64, 48) << 0;
    QTest::newRow("Tiles.Bmp") << "Tiles.Bmp" << QByteArray("bmp") << QSize(640, 480) << 0;
    QTest::newRow("square bmp") << "Color Wheel.bmp" << QByteArray("bmp") << QSize(512, 512) << 0;
    QTest::newRow("portrait BMP") << "Bauhaus.BMP" << QByteArray("bmp") << QSize(300, 500) << 0;
    QTest::newRow("small bmp") << "Tiny Bauhaus.bmp" << QByteArray("bmp") << QSize(64, 48) << 0;
    QTest::newRow("dithered gif") << "Balloons.gif" << QByteArray("gif") << QSize(640, 480) << 1;
    QTest::newRow("animated gif") << "Spinner.gif" << QByteArray("gif") << QSize(200, 200) << 3;
    QTest::newRow("transparent gif") << "Star Sticker.gif" << QByteArray("gif") << QSize(256, 256) << 1;
    QTest::newRow("Pixel House.GIF") << "Pixel House.GIF" << QByteArray("gif") << QSize(96, 64) << 1;
    QTest::newRow("multi-size ico") << "Compass.ico" << QByteArray("ico") << QSize(256, 256) << 4;
    QTest::newRow("Star.ico") << "Star.ico" << QByteArray("ico") << QSize(48, 48) << 1;
    QTest::newRow("App.ICO") << "App.ICO" << QByteArray("ico") << QSize(32, 32) << 2;
    QTest::newRow("Arrow.cur") << "Arrow.cur" << QByteArray("ico") << QSize(32, 32) << 1;
    QTest::newRow("Crosshair.cur") << "Crosshair.cur" << QByteArray("ico") << QSize(48, 48) << 1;
    QTest::newRow("More jpg") << "More/Night City.jpg" << QByteArray("jpeg") << QSize(640, 480) << 0;
    QTest::newRow("More bmp") << "More/Bubbles.bmp" << QByteArray("bmp") << QSize(640, 480) << 0;
    QTest::newRow("8-bit bmp") << "More/Retro Sunset 8-bit.bmp" << QByteArray("bmp") << QSize(320, 240) << 0;
    QTest::newRow("More gif") << "More/Mosaic.gif" << QByteArray("gif") << QSize(320, 240) << 1;
    QTest::newRow("ico with 256 dib") << "More/Leaf.ico" << QByteArray("ico") << QSize(256, 256) << 3;
    QTest::newRow("Pencil.CUR") << "More/Pencil.CUR" << QByteArray("ico") << QSize(32, 32) << 1;
    QTest::newRow("nested JPEG") << "More/Deeper/Dunes.JPEG" << QByteArray("jpeg") << QSize(1000, 500) << 0;
    QTest::newRow("nested gif") << "More/Deeper/Tiny Dunes.gif" << QByteArray("gif") << QSize(64, 48) << 1;
}

void TestMakeSamples::picturesDecode()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(int, images);

    QImageReader reader(sample(name));
    QCOMPARE(reader.format(), format);
    if (images > 0)
        QCOMPARE(reader.imageCount(), images);
    // Every frame or entry must decode; the largest is the one a viewer should show.
    QSize largest;
    int decoded = 0;
    for (int i = 0; i < std::max(images, 1); ++i) {
        if (format == "ico" && i > 0)
            QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(QStringLiteral("image %1: %2").arg(i).arg(reader.errorString())));
        if (image.width() * image.height() > largest.width() * largest.height())
            largest = image.size();
        ++decoded;
    }
    QCOMPARE(decoded, std::max(images, 1));
    QCOMPARE(largest, size);
}

void TestMakeSamples::iconEntriesDiffer()
{
    // Each size of the compass is a different drawing, so one can tell which was chosen.
    QImageReader reader(sample(QStringLiteral("Compass.ico")));
    QList<QImage> entries;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        entries << reader.read().convertToFormat(QImage::Format_ARGB32).scaled(16, 16, Qt::IgnoreAspectRatio,
                                                                               Qt::SmoothTransformation);
    }
    QCOMPARE(entries.size(), 4);
    for (int a = 0; a < entries.size(); ++a) {
        for (int b = a + 1; b < entries.size(); ++b) {
            qint64 difference = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    const QRgb p = entries[a].pixel(x, y), q = entries[b].pixel(x, y);
                    difference += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
                }
            QVERIFY2(difference / 256 > 40, qPrintable(QStringLiteral("entries %1 and %2 look alike").arg(a).arg(b)));
        }
    }
}

void TestMakeSamples::iconDirectories_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<QPoint>("hotSpot"); // cursors only

    QTest::newRow("Compass.ico") << "Compass.ico" << 1 << QList<int>{16, 32, 48, 256} << QPoint();
    QTest::newRow("Leaf.ico") << "More/Leaf.ico" << 1 << QList<int>{32, 64, 256} << QPoint();
    QTest::newRow("Arrow.cur") << "Arrow.cur" << 2 << QList<int>{32} << QPoint(1, 1);
    QTest::newRow("Crosshair.cur") << "Crosshair.cur" << 2 << QList<int>{48} << QPoint(24, 24);
    QTest::newRow("Pencil.CUR") << "More/Pencil.CUR" << 2 << QList<int>{32} << QPoint(1, 30);
}

void TestMakeSamples::iconDirectories()
{
    QFETCH(QString, name);
    QFETCH(int, type);
    QFETCH(QList<int>, sizes);
    QFETCH(QPoint, hotSpot);

    const QByteArray b = readAll(sample(name));
    QVERIFY(b.size() > 6 + 16 * sizes.size());
    QCOMPARE(u16(b, 0), 0);
    QCOMPARE(int(u16(b, 2)), type);
    QCOMPARE(int(u16(b, 4)), sizes.size());
    quint32 expectedOffset = 6 + 16 * sizes.size();
    for (int i = 0; i < sizes.size(); ++i) {
        const qsizetype e = 6 + 16 * i;
        QCOMPARE(uchar(b[e]), uchar(sizes[i] & 0xFF)); // 256 is written as 0
        QCOMPARE(uchar(b[e + 1]), uchar(sizes[i] & 0xFF));
        if (type == 2)
            QCOMPARE(QPoint(u16(b, e + 4), u16(b, e + 6)), hotSpot);
        else
            QCOMPARE(u16(b, e + 6), 32);
        const quint32 length = u32(b, e + 8), offset = u32(b, e + 12);
        QCOMPARE(offset, expectedOffset); // entries packed in order, nothing overlaps
        QVERIFY(qsizetype(offset) + length <= b.size());
        expectedOffset += length;
        // PNG only where customary: the 256 entry of an icon that also has small ones.
        const bool png = b.mid(offset, 4) == QByteArray("\x89PNG", 4);
        QCOMPARE(png, type == 1 && sizes[i] == 256 && sizes.size() > 3);
        if (!png)
            QCOMPARE(u32(b, offset), 40u);
    }
    QCOMPARE(qsizetype(expectedOffset), b.size());
}

void TestMakeSamples::gifAnimationAndTransparency()
{
    QImageReader spinner(sample(QStringLiteral("Spinner.gif")));
    QCOMPARE(spinner.loopCount(), -1); // loops forever
    QList<QImage> frames;
    while (spinner.canRead()) {
        frames << spinner.read();
        QVERIFY(!frames.last().isNull());
        QCOMPARE(spinner.nextImageDelay(), 300);
    }
    QCOMPARE(frames.size(), 3);
    QVERIFY(frames[0] != frames[1]);
    QVERIFY(frames[1] != frames[2]);

    const QImage sticker = QImage(sample(QStringLiteral("Star Sticker.gif"))).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(sticker.hasAlphaChannel());
    QCOMPARE(qAlpha(sticker.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(sticker.pixel(255, 255)), 0);
    QCOMPARE(qAlpha(sticker.pixel(128, 128)), 255);
}

void TestMakeSamples::nonPicturesAreRejected()
{
    for (const char *name : {"not-a-picture.jpg", "readme.txt", "catalogue.csv"}) {
        const QString path = sample(QString::fromLatin1(name));
        QVERIFY2(QFileInfo(path).size() > 0, name);
        QImageReader reader(path);
        QVERIFY2(reader.read().isNull(), name);
    }
    // Something for "all files" to show besides pictures, at each level.
    QVERIFY(QFileInfo::exists(sample(QStringLiteral("More/Deeper"))));
}

void TestMakeSamples::metafiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("placeable");
    QTest::addColumn<QSize>("pixelsAt96Dpi"); // window extent for a file without the header

    QTest::newRow("landscape") << "Countryside.wmf" << true << QSize(640, 480);
    QTest::newRow("portrait") << "Rocket.wmf" << true << QSize(480, 640);
    QTest::newRow("no placeable header") << "Geometry No Header.wmf" << false << QSize(400, 300);
    QTest::newRow("square, other units per inch") << "More/Mandala.WMF" << true << QSize(500, 500);
}

void TestMakeSamples::metafiles()
{
    QFETCH(QString, name);
    QFETCH(bool, placeable);
    QFETCH(QSize, pixelsAt96Dpi);

    const QByteArray bytes = readAll(sample(name));
    QSize extent;
    QRect bbox;
    int inch = 0;
    const QString problem = checkMetafile(bytes, &extent, &bbox, &inch);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(bbox.isValid(), placeable);
    QCOMPARE(bytes.right(6), QByteArray("\x03\0\0\0\0\0", 6));
    if (placeable) {
        QCOMPARE(bbox.topLeft(), QPoint(0, 0));
        QCOMPARE(bbox.size(), extent); // logical units map one to one onto the box
        QVERIFY(inch > 0);
        QCOMPARE(QSize(bbox.width() * 96 / inch, bbox.height() * 96 / inch), pixelsAt96Dpi);
    } else {
        QCOMPARE(extent, pixelsAt96Dpi);
    }
}

void TestMakeSamples::rerunIsIdenticalAndForeignFolderIsKept()
{
    // Running again over its own output is allowed and gives the same bytes.
    QCOMPARE(runGenerator({m_out.path()}), 0);
    const QMap<QString, QByteArray> second = fileHashes(m_out.path());
    QCOMPARE(second.keys(), m_firstRun.keys());
    for (auto it = second.cbegin(); it != second.cend(); ++it)
        QVERIFY2(it.value() == m_firstRun.value(it.key()), qPrintable(it.key() + QStringLiteral(" changed between runs")));

    // A folder with someone else's files is left alone...
    QTemporaryDir foreign;
    QVERIFY(foreign.isValid());
    {
        QFile mine(foreign.filePath(QStringLiteral("Sunset.JPG")));
        QVERIFY(mine.open(QIODevice::WriteOnly));
        mine.write("my own picture");
    }
    QString errors;
    QCOMPARE(runGenerator({foreign.path()}, &errors), 2);
    QVERIFY(!errors.isEmpty());
    QCOMPARE(readAll(foreign.filePath(QStringLiteral("Sunset.JPG"))), QByteArray("my own picture"));
    QCOMPARE(QDir(foreign.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 1);

    // ...unless asked; and a path that is a file is refused.
    QCOMPARE(runGenerator({QStringLiteral("--force"), foreign.path()}), 0);
    QVERIFY(readAll(foreign.filePath(QStringLiteral("Sunset.JPG"))).startsWith("\xFF\xD8"));
    QCOMPARE(runGenerator({foreign.filePath(QStringLiteral("Sunset.JPG"))}), 2);
    QCOMPARE(runGenerator({}), 2);
}

void TestMakeSamples::gifRoundTrip_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("colours");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("transparent");

    // Two colours still need a 2-bit minimum code size; noise fills the code table many times
    // over; long runs grow long strings; one pixel is the shortest stream.
    QTest::newRow("2 colours noise") << QSize(97, 61) << 2 << "noise" << false;
    QTest::newRow("3 colours runs") << QSize(300, 40) << 3 << "runs" << false;
    QTest::newRow("16 colours diagonal") << QSize(64, 64) << 16 << "diagonal" << false;
    QTest::newRow("256 colours noise") << QSize(320, 240) << 256 << "noise" << false;
    QTest::newRow("129 colours noise") << QSize(211, 173) << 129 << "noise" << false;
    QTest::newRow("single colour") << QSize(1000, 300) << 4 << "flat" << false;
    QTest::newRow("one pixel") << QSize(1, 1) << 2 << "flat" << false;
    QTest::newRow("transparent entry") << QSize(120, 90) << 40 << "noise" << true;
}

void TestMakeSamples::gifRoundTrip()
{
    QFETCH(QSize, size);
    QFETCH(int, colours);
    QFETCH(QString, pattern);
    QFETCH(bool, transparent);

    const QImage source = indexedPattern(size, colours, pattern, transparent, quint64(colours) * 7919 + size.width());
    GifWriter writer(size);
    QVERIFY(writer.addFrame(source));
    const QImage decoded = readFrom(writer.encode(), "gif");
    QVERIFY(!decoded.isNull());
    QCOMPARE(decoded.hasAlphaChannel(), transparent);
    const QString difference = firstDifference(source.convertToFormat(QImage::Format_ARGB32),
                                               decoded.convertToFormat(QImage::Format_ARGB32));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestMakeSamples::gifRefusesUnusableFrames()
{
    GifWriter writer(QSize(8, 8));
    QVERIFY(!writer.addFrame(QImage(8, 8, QImage::Format_RGB32)));
    QVERIFY(!writer.addFrame(indexedPattern(QSize(9, 8), 4, QStringLiteral("flat"), false, 1)));
    QImage noTable(8, 8, QImage::Format_Indexed8);
    QVERIFY(!writer.addFrame(noTable));
    QVERIFY(writer.addFrame(indexedPattern(QSize(8, 8), 4, QStringLiteral("noise"), false, 1)));
}

void TestMakeSamples::gifRoundTripCorpus()
{
    // Real pictures: whatever Qt reads from them, written again, must read back the same.
    const QStringList files = corpusFiles(QStringLiteral("gif"), {QStringLiteral("gif")}, 60);
    if (files.isEmpty())
        QSKIP("no GIF corpus");
    int checked = 0;
    for (const QString &path : files) {
        QImageReader reader(path);
        if (reader.size().isValid() && qint64(reader.size().width()) * reader.size().height() > 1000000)
            continue;
        const QImage original = reader.read();
        if (original.isNull())
            continue; // broken on purpose
        const QImage indexed = ColorQuantizer::toIndexed(original, 256, ColorQuantizer::Dither::None);
        const QImage argb = original.convertToFormat(QImage::Format_ARGB32);
        if (!firstDifference(argb, indexed.convertToFormat(QImage::Format_ARGB32)).isEmpty())
            continue; // partial alpha or more colours than one palette: not a lossless case
        GifWriter writer(original.size());
        QVERIFY(writer.addFrame(indexed));
        const QString difference = firstDifference(argb, readFrom(writer.encode(), "gif").convertToFormat(QImage::Format_ARGB32));
        QVERIFY2(difference.isEmpty(), qPrintable(path + QStringLiteral(": ") + difference));
        ++checked;
    }
    QVERIFY(checked > 0);
}

void TestMakeSamples::iconRoundTrip_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("png");
    QTest::addColumn<bool>("cursor");

    QTest::newRow("1x1") << QSize(1, 1) << false << false;
    QTest::newRow("16") << QSize(16, 16) << false << false;
    QTest::newRow("33 wide: mask rows padded") << QSize(33, 33) << false << false;
    QTest::newRow("not square") << QSize(40, 24) << false << false;
    QTest::newRow("256 dib") << QSize(256, 256) << false << false;
    QTest::newRow("256 png") << QSize(256, 256) << true << false;
    QTest::newRow("cursor") << QSize(32, 32) << false << true;
}

void TestMakeSamples::iconRoundTrip()
{
    QFETCH(QSize, size);
    QFETCH(bool, png);
    QFETCH(bool, cursor);

    // Alpha ramps across, colours vary, and the top-left corner is fully transparent.
    QImage source(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const int alpha = (x + y < 3 && size.width() > 1) ? 0 : 255 - (x * 200) / std::max(1, size.width() - 1);
            source.setPixel(x, y, qRgba((x * 37) & 255, (y * 59) & 255, ((x ^ y) * 13) & 255, alpha));
        }
    IconWriter writer;
    const QPoint hotSpot(size.width() / 2, size.height() - 1);
    QVERIFY(writer.addImage(source, png ? IconWriter::Storage::Png : IconWriter::Storage::Dib, hotSpot));
    const QByteArray bytes = writer.encode(cursor ? IconWriter::Kind::Cursor : IconWriter::Kind::Icon);
    QCOMPARE(int(u16(bytes, 2)), cursor ? 2 : 1);
    if (cursor)
        QCOMPARE(QPoint(u16(bytes, 10), u16(bytes, 12)), hotSpot);

    int count = 0;
    const QImage decoded = readFrom(bytes, "ico", &count);
    QCOMPARE(count, 1);
    QVERIFY(!decoded.isNull());
    // Compare premultiplied, the form Qt's reader produces.
    const QString difference = firstDifference(source.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                                               decoded.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));

    if (!png) {
        // The AND mask marks exactly the fully transparent pixels, for readers without alpha.
        const QByteArray dib = IconWriter::dib(source);
        const int stride = ((size.width() + 31) / 32) * 4;
        const qsizetype mask = 40 + qsizetype(size.width()) * size.height() * 4;
        QCOMPARE(dib.size(), mask + stride * size.height());
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const bool bit = uchar(dib[mask + (size.height() - 1 - y) * stride + x / 8]) & (0x80 >> (x % 8));
                QCOMPARE(bit, qAlpha(source.pixel(x, y)) == 0);
            }
    }
}

void TestMakeSamples::iconRoundTripCorpus()
{
    const QStringList files = corpusFiles(QStringLiteral("ico"), {QStringLiteral("ico")}, 40)
                              + corpusFiles(QStringLiteral("cur"), {QStringLiteral("cur")}, 20);
    if (files.isEmpty())
        QSKIP("no ICO/CUR corpus");
    int checked = 0;
    for (const QString &path : files) {
        QImageReader reader(path);
        IconWriter writer;
        QList<QImage> entries;
        for (int i = 0; i < std::min(reader.imageCount(), 8); ++i) {
            if (!reader.jumpToImage(i))
                break;
            const QImage image = reader.read();
            if (image.isNull() || image.width() > 256 || image.height() > 256)
                continue;
            entries << image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QVERIFY(writer.addImage(image, image.width() == 256 ? IconWriter::Storage::Png : IconWriter::Storage::Dib));
        }
        if (entries.isEmpty())
            continue; // broken on purpose
        QBuffer buffer;
        buffer.setData(writer.encode(IconWriter::Kind::Icon));
        buffer.open(QIODevice::ReadOnly);
        QImageReader again(&buffer, "ico");
        QCOMPARE(again.imageCount(), int(entries.size()));
        for (int i = 0; i < entries.size(); ++i) {
            QVERIFY(again.jumpToImage(i));
            const QString difference = firstDifference(entries[i], again.read().convertToFormat(QImage::Format_ARGB32_Premultiplied));
            QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("%1 entry %2: %3").arg(path).arg(i).arg(difference)));
        }
        ++checked;
    }
    QVERIFY(checked > 0);
}

void TestMakeSamples::quantizerStaysClose()
{
    // A smooth two-way gradient has far more than 256 colours.
    QImage gradient(300, 200, QImage::Format_RGB32);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            gradient.setPixel(x, y, qRgb(40 + x * 180 / 300, 90 + y * 120 / 200, 230 - x * 100 / 300));
    for (auto dither : {ColorQuantizer::Dither::None, ColorQuantizer::Dither::FloydSteinberg}) {
        const QImage indexed = ColorQuantizer::toIndexed(gradient, 256, dither);
        QCOMPARE(indexed.format(), QImage::Format_Indexed8);
        QVERIFY(indexed.colorCount() <= 256);
        qint64 total = 0;
        int worst = 0;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 300; ++x) {
                const QRgb a = gradient.pixel(x, y), b = indexed.pixel(x, y);
                const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
                total += d;
                worst = std::max(worst, d);
            }
        // No stray far-off colours (specks), and close on average.
        QVERIFY2(worst <= 28, qPrintable(QString::number(worst)));
        QVERIFY2(total / (300 * 200) <= 6, qPrintable(QString::number(total / (300 * 200))));
    }

    // Few colours are kept exactly; half-transparent pixels share one transparent last entry.
    QImage few(10, 10, QImage::Format_ARGB32);
    few.fill(qRgba(10, 200, 30, 255));
    few.setPixel(3, 3, qRgba(250, 0, 0, 255));
    few.setPixel(5, 5, qRgba(250, 250, 250, 100));
    const QImage indexed = ColorQuantizer::toIndexed(few, 256, ColorQuantizer::Dither::FloydSteinberg);
    QCOMPARE(indexed.colorCount(), 3);
    QCOMPARE(qAlpha(indexed.colorTable().last()), 0);
    QCOMPARE(indexed.pixel(3, 3), qRgb(250, 0, 0));
    QCOMPARE(indexed.pixel(0, 0), qRgb(10, 200, 30));
    QCOMPARE(qAlpha(indexed.pixel(5, 5)), 0);
}

void TestMakeSamples::wmfWriterFlagsOverflow()
{
    WmfWriter fits(QSize(640, 480), 15);
    fits.rectangle(QRect(0, 0, 640, 480));
    QVERIFY(fits.isValid());

    // 640 x 60 logical units do not fit in 16 bits: the writer must say so, not wrap around.
    WmfWriter tooBig(QSize(640, 480), 60);
    QVERIFY(!tooBig.isValid());
    WmfWriter outside(QSize(100, 100));
    outside.polygon(QPolygon({QPoint(0, 0), QPoint(40000, 5), QPoint(5, 5)}));
    QVERIFY(!outside.isValid());
}

QTEST_MAIN(TestMakeSamples)
#include "tst_make_samples.moc"
