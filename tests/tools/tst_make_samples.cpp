// Runs the sample generator and checks what it writes, and round-trips the encoders Qt lacks
// (GIF, ICO/CUR) through Qt's own readers. Metafiles are walked record by record instead.

#include "ColorQuantizer.h"
#include "GifWriter.h"
#include "IconWriter.h"
#include "SeededRandom.h"
#include "WmfWriter.h"

#include <QBuffer>
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
    if (!process.waitForFinished(60000))
        return -1; // hung: the destructor kills it
    if (errors)
        *errors = QString::fromLocal8Bit(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QMap<QString, QByteArray> folderContents(const QString &folder)
{
    QMap<QString, QByteArray> contents;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        contents.insert(QDir(folder).relativeFilePath(path), readAll(path));
    }
    return contents;
}

quint16 u16(const QByteArray &b, qsizetype at) { return qFromLittleEndian<quint16>(b.constData() + at); }
qint16 s16(const QByteArray &b, qsizetype at) { return qFromLittleEndian<qint16>(b.constData() + at); }
quint32 u32(const QByteArray &b, qsizetype at) { return qFromLittleEndian<quint32>(b.constData() + at); }

// Walks a metafile the way a strict player would. Empty when sound; gives the window extent
// and, if present, the placeable bounding box and units per inch.
QString checkMetafile(const QByteArray &b, QSize *extent, QRect *bbox, int *inch)
{
    qsizetype pos = 0;
    if (b.size() >= 22 && u32(b, 0) == 0x9AC6CDD7u) {
        quint16 checksum = 0;
        for (int i = 0; i < 10; ++i)
            checksum ^= u16(b, 2 * i);
        if (checksum != u16(b, 20) || u16(b, 4) != 0 || u32(b, 16) != 0)
            return QStringLiteral("placeable header: bad checksum, handle or reserved field");
        *bbox = QRect(QPoint(s16(b, 6), s16(b, 8)), QPoint(s16(b, 10) - 1, s16(b, 12) - 1));
        *inch = u16(b, 14);
        pos = 22;
    }
    if (b.size() < pos + 18 || (u16(b, pos) != 1 && u16(b, pos) != 2) || u16(b, pos + 2) != 9
        || u16(b, pos + 4) != 0x0300 || qsizetype(u32(b, pos + 6)) * 2 != b.size() - pos)
        return QStringLiteral("bad header type, size, version or length");
    const int declaredObjects = u16(b, pos + 10);
    const quint32 declaredMaxRecord = u32(b, pos + 12);

    QList<bool> objects; // handle slots, true while alive
    int liveMax = 0;
    quint32 maxRecord = 0;
    QPoint origin;
    bool ended = false;
    const auto inside = [&](int x, int y) {
        return extent->isValid() && QRect(origin, *extent + QSize(1, 1)).contains(x, y);
    };
    for (pos += 18; pos < b.size(); pos += qsizetype(u32(b, pos)) * 2) {
        if (ended || b.size() - pos < 6)
            return QStringLiteral("data after the end record, or a truncated record, at %1").arg(pos);
        const quint32 words = u32(b, pos);
        const quint16 function = u16(b, pos + 4);
        if (words < 3 || pos + qsizetype(words) * 2 > b.size())
            return QStringLiteral("record at %1 has a bad size %2").arg(pos).arg(words);
        maxRecord = std::max(maxRecord, words);
        const qsizetype p = pos + 6, r = function == 0x061C ? p + 4 : p; // round rectangle: corner size first
        const int n = words > 3 ? s16(b, p) : 0;
        bool ok = true;
        switch (function) {
        case 0x0000: // end
            ok = words == 3;
            ended = true;
            break;
        case 0x020B: // window origin and extent, y first
            origin = QPoint(s16(b, p + 2), n);
            break;
        case 0x020C:
            *extent = QSize(s16(b, p + 2), n);
            break;
        case 0x02FA: // pen and brush take the lowest free slot
        case 0x02FC:
            if (!objects.contains(false))
                objects.append(false);
            objects[objects.indexOf(false)] = true;
            liveMax = std::max(liveMax, int(objects.count(true)));
            break;
        case 0x012D: // select and delete take only live objects
        case 0x01F0:
            ok = n >= 0 && n < objects.size() && objects.at(n);
            if (ok && function == 0x01F0)
                objects[n] = false;
            break;
        case 0x041B: // rectangle, ellipse, round rectangle
        case 0x0418:
        case 0x061C:
            ok = inside(s16(b, r + 6), s16(b, r + 4)) && inside(s16(b, r + 2), s16(b, r));
            break;
        case 0x0324: // polygon, polyline
        case 0x0325:
            ok = n >= 2 && words == quint32(4 + 2 * n);
            for (int i = 0; ok && i < n; ++i)
                ok = inside(s16(b, p + 2 + 4 * i), s16(b, p + 4 + 4 * i));
            break;
        case 0x0213: // line to, move to
        case 0x0214:
            ok = inside(s16(b, p + 2), n);
            break;
        case 0x0102: // background mode, fill mode
        case 0x0106:
            break;
        default:
            ok = false;
        }
        if (!ok) // unknown, malformed, a dead object, or drawn outside the window
            return QStringLiteral("bad record 0x%1 at %2").arg(function, 4, 16, QLatin1Char('0')).arg(pos);
    }
    if (!ended)
        return QStringLiteral("no end record");
    if (maxRecord != declaredMaxRecord || liveMax > declaredObjects)
        return QStringLiteral("largest record %1 words (header %2), %3 objects alive (header %4)")
            .arg(maxRecord).arg(declaredMaxRecord).arg(liveMax).arg(declaredObjects);
    return {};
}

// Reads an icon or cursor directory as a strict reader would: entries packed in order after it
// and filling the file, each a PNG or a 32-bit DIB of the size the directory gives (0 is 256).
// Returns the fault, or empty; lists the entries as "48x48", or "256x256 png".
QString checkIconDirectory(const QByteArray &b, int type, QStringList *entries = nullptr)
{
    const int count = b.size() >= 6 ? u16(b, 4) : 0;
    if (count == 0 || u16(b, 0) != 0 || u16(b, 2) != type || b.size() < 6 + 16 * count)
        return QStringLiteral("bad header");
    qsizetype next = 6 + 16 * count;
    for (int i = 0; i < count; ++i) {
        const qsizetype e = 6 + 16 * i;
        const int w = uchar(b[e]) ? uchar(b[e]) : 256, h = uchar(b[e + 1]) ? uchar(b[e + 1]) : 256;
        const qsizetype length = u32(b, e + 8), offset = u32(b, e + 12);
        if (offset != next || offset + length > b.size())
            return QStringLiteral("entry %1 is not packed in order").arg(i);
        if (type == 2 ? (u16(b, e + 4) >= w || u16(b, e + 6) >= h) : (u16(b, e + 4) != 1 || u16(b, e + 6) != 32))
            return QStringLiteral("entry %1 has a bad hot spot, planes or depth").arg(i);
        const bool png = b.mid(offset, 8) == QByteArray("\x89PNG\r\n\x1a\n", 8);
        if (!png && (length < 40 || u32(b, offset) != 40 || u32(b, offset + 4) != quint32(w) || u32(b, offset + 8) != quint32(2 * h)))
            return QStringLiteral("entry %1 is neither a PNG nor a DIB of its size").arg(i);
        if (entries)
            *entries << QStringLiteral("%1x%2%3").arg(w).arg(h).arg(png ? QStringLiteral(" png") : QString());
        next += length;
    }
    return next == b.size() ? QString() : QStringLiteral("bytes after the last entry");
}

// What a viewer finds in a sample: each frame's or entry's size, with "png" after an icon entry
// so stored; or a metafile's size at 96 dpi, "placeable" when it has that header. Sets *problem
// when any part is unsound or does not decode.
QString describe(const QString &path, QString *problem)
{
    const QByteArray bytes = readAll(path);
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("wmf")) {
        QSize extent;
        QRect bbox;
        int inch = 0;
        *problem = checkMetafile(bytes, &extent, &bbox, &inch);
        if (!bbox.isValid())
            return QStringLiteral("%1x%2").arg(extent.width()).arg(extent.height());
        if (bbox.topLeft() != QPoint(0, 0) || bbox.size() != extent || inch <= 0) // logical units map one to one
            *problem += QStringLiteral(" placeable box does not match the window");
        inch = std::max(inch, 1);
        return QStringLiteral("%1x%2 placeable").arg(bbox.width() * 96 / inch).arg(bbox.height() * 96 / inch);
    }
    const bool icon = suffix == QLatin1String("ico") || suffix == QLatin1String("cur");
    QStringList found;
    if (icon)
        *problem = checkIconDirectory(bytes, suffix == QLatin1String("cur") ? 2 : 1, &found);
    QImageReader reader(path);
    const int count = std::max(reader.imageCount(), 1);
    if (icon && count != found.size())
        *problem += QStringLiteral(" Qt sees %1 entries").arg(count);
    for (int i = 0; i < count; ++i) {
        const QImage image = icon && !reader.jumpToImage(i) ? QImage() : reader.read();
        const QString size = QStringLiteral("%1x%2").arg(image.width()).arg(image.height());
        if (image.isNull())
            *problem += QStringLiteral(" image %1 does not decode").arg(i);
        else if (!icon)
            found << size;
        else if (i < found.size() && !found[i].startsWith(size))
            *problem += QStringLiteral(" entry %1 holds %2, its directory says %3").arg(i).arg(size, found[i]);
    }
    return found.join(QLatin1Char(' '));
}

QImage indexedPattern(QSize size, int colours, const QString &pattern, bool transparent = false)
{
    QImage image(size, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < colours; ++i)
        table << (transparent && i == colours - 1 ? qRgba(0, 0, 0, 0) : qRgb((i * 53 + 11) & 255, (i * 97 + 31) & 255, (i * 151 + 7) & 255));
    image.setColorTable(table);
    SeededRandom rng(quint64(colours) * 7919 + size.width());
    int value = 0;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            if (pattern == QLatin1String("noise") || (pattern == QLatin1String("runs") && rng.below(200) == 0))
                value = rng.below(colours);
            else if (pattern == QLatin1String("diagonal"))
                value = (x + 2 * y) % colours;
            image.scanLine(y)[x] = uchar(value);
        }
    return image;
}

// First mismatching pixel as text, or empty when every pixel agrees.
QString firstDifference(const QImage &expected, const QImage &actual)
{
    if (expected.size() != actual.size())
        return QStringLiteral("size %1x%2, expected %3x%4")
            .arg(actual.width()).arg(actual.height()).arg(expected.width()).arg(expected.height());
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb e = expected.pixel(x, y), a = actual.pixel(x, y);
            if (qAlpha(e) == 0 ? qAlpha(a) != 0 : e != a)
                return QStringLiteral("pixel %1,%2 is %3, expected %4").arg(x).arg(y).arg(a, 8, 16, QLatin1Char('0')).arg(e, 8, 16, QLatin1Char('0'));
        }
    return {};
}

QStringList corpusFiles(const QString &kind, int limit)
{
    QStringList files;
    QDirIterator it(corpus + QLatin1Char('/') + kind, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (QFileInfo(path).suffix().toLower() == kind)
            files << path;
    }
    files.sort();
    return files.mid(0, limit);
}

} // namespace

class TestMakeSamples : public QObject
{
    Q_OBJECT

    QTemporaryDir m_out;
    QMap<QString, QByteArray> m_firstRun;

    QString sample(const QString &name) const { return m_out.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(generator).isExecutable(), qPrintable(generator));
        QVERIFY(m_out.isValid());
        QString errors;
        QCOMPARE(runGenerator({m_out.path()}, &errors), 0);
        m_firstRun = folderContents(m_out.path());
        QVERIFY2(m_firstRun.size() > 30, qPrintable(errors));
    }

    void everyFileIsOfItsKind()
    {
        // Every picture decodes in full (each frame or entry) as the kind its name says, whatever
        // the letter case; the three other files are there for "all files", and none reads as
        // a picture, the .jpg one least of all.
        const QHash<QString, QByteArray> kinds{{"jpg", "jpeg"}, {"jpeg", "jpeg"}, {"bmp", "bmp"}, {"gif", "gif"},
                                               {"ico", "ico"}, {"cur", "ico"}, {"wmf", {}}};
        QStringList others{"not-a-picture.jpg", "readme.txt", "catalogue.csv"};
        QDirIterator it(m_out.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString name = QDir(m_out.path()).relativeFilePath(it.next());
            const QString suffix = it.fileInfo().suffix().toLower();
            if (others.removeOne(name)) {
                QVERIFY2(it.fileInfo().size() > 0, qPrintable(name));
                QVERIFY2(QImageReader(it.filePath()).read().isNull(), qPrintable(name));
                continue;
            }
            QVERIFY2(kinds.contains(suffix), qPrintable(name));
            if (suffix != QLatin1String("wmf")) // Qt cannot read them
                QCOMPARE(QImageReader(it.filePath()).format(), kinds.value(suffix));
            QString problem;
            QVERIFY2(!describe(it.filePath(), &problem).isEmpty() && problem.isEmpty(), qPrintable(name + problem));
            if (suffix == QLatin1String("bmp"))
                QCOMPARE(QImage(it.filePath()).format() == QImage::Format_Indexed8, name.contains(QLatin1String("8-bit")));
        }
        QVERIFY2(others.isEmpty(), qPrintable(others.join(QLatin1String(", "))));
    }

    void pictureSizes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("images"); // see describe()

        QTest::newRow("Sunset.JPG") << "Sunset.JPG" << "800x600";
        QTest::newRow("panorama larger than a screen") << "Alpine Panorama.jpg" << "2600x1500";
        QTest::newRow("tall") << "Lighthouse.jpeg" << "600x1800";
        QTest::newRow("portrait jpg") << "Bloom.jpg" << "480x640";
        QTest::newRow("small jpg") << "Tiny Sunset.jpg" << "64x48";
        QTest::newRow("Tiles.Bmp") << "Tiles.Bmp" << "640x480";
        QTest::newRow("square bmp") << "Color Wheel.bmp" << "512x512";
        QTest::newRow("animated gif") << "Spinner.gif" << "200x200 200x200 200x200";
        QTest::newRow("Pixel House.GIF") << "Pixel House.GIF" << "96x64";
        QTest::newRow("multi-size ico, 256 as PNG") << "Compass.ico" << "16x16 32x32 48x48 256x256 png";
        QTest::newRow("App.ICO") << "App.ICO" << "16x16 32x32";
        QTest::newRow("Arrow.cur") << "Arrow.cur" << "32x32";
        QTest::newRow("8-bit bmp") << "More/Retro Sunset 8-bit.bmp" << "320x240";
        QTest::newRow("ico with 256 as DIB") << "More/Leaf.ico" << "32x32 64x64 256x256";
        QTest::newRow("Pencil.CUR") << "More/Pencil.CUR" << "32x32";
        QTest::newRow("nested JPEG") << "More/Deeper/Dunes.JPEG" << "1000x500";
        QTest::newRow("nested gif") << "More/Deeper/Tiny Dunes.gif" << "64x48";
        QTest::newRow("landscape wmf") << "Countryside.wmf" << "640x480 placeable";
        QTest::newRow("portrait wmf") << "Rocket.wmf" << "480x640 placeable";
        QTest::newRow("wmf, no placeable header") << "Geometry No Header.wmf" << "400x300";
        QTest::newRow("square WMF, other units per inch") << "More/Mandala.WMF" << "500x500 placeable";
    }

    void pictureSizes()
    {
        QFETCH(QString, name);
        QFETCH(QString, images);
        QString problem;
        QCOMPARE(describe(sample(name), &problem), images);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void gifAnimationAndTransparency()
    {
        QImageReader spinner(sample(QStringLiteral("Spinner.gif")));
        QCOMPARE(spinner.loopCount(), -1); // loops forever
        QList<QImage> frames;
        while (spinner.canRead()) {
            frames << spinner.read();
            QCOMPARE(spinner.nextImageDelay(), 300);
        }
        QCOMPARE(frames.size(), 3);
        QVERIFY(frames[0] != frames[1]);
        QVERIFY(frames[1] != frames[2]);

        const QImage sticker = QImage(sample(QStringLiteral("Star Sticker.gif"))).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(sticker.size(), QSize(256, 256));
        QCOMPARE(qAlpha(sticker.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(sticker.pixel(255, 255)), 0);
        QCOMPARE(qAlpha(sticker.pixel(128, 128)), 255);
    }

    void rerunIsIdenticalAndForeignFolderIsKept()
    {
        // Running again over its own output is allowed and gives the same bytes.
        QCOMPARE(runGenerator({m_out.path()}), 0);
        QCOMPARE(folderContents(m_out.path()), m_firstRun);

        // A folder with someone else's files is left alone...
        QTemporaryDir foreign;
        QVERIFY(foreign.isValid());
        const QString mine = foreign.filePath(QStringLiteral("Sunset.JPG"));
        {
            QFile file(mine);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("my own picture");
        }
        QString errors;
        QCOMPARE(runGenerator({foreign.path()}, &errors), 2);
        QVERIFY(!errors.isEmpty());
        QCOMPARE(readAll(mine), QByteArray("my own picture"));
        QCOMPARE(QDir(foreign.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 1);

        // ...unless asked; and a path that is a file, or none, is refused.
        QCOMPARE(runGenerator({QStringLiteral("--force"), foreign.path()}), 0);
        QVERIFY(readAll(mine).startsWith("\xFF\xD8"));
        QCOMPARE(runGenerator({mine}), 2);
        QCOMPARE(runGenerator({}), 2);
    }

    void gifRoundTrip_data()
    {
        QTest::addColumn<QImage>("source");

        // Two colours still need a 2-bit minimum code size; noise fills the code table many
        // times over; long runs grow long strings; one pixel is the shortest stream.
        QTest::newRow("2 colours noise") << indexedPattern({97, 61}, 2, QStringLiteral("noise"));
        QTest::newRow("3 colours runs") << indexedPattern({300, 40}, 3, QStringLiteral("runs"));
        QTest::newRow("16 colours diagonal") << indexedPattern({64, 64}, 16, QStringLiteral("diagonal"));
        QTest::newRow("256 colours noise") << indexedPattern({320, 240}, 256, QStringLiteral("noise"));
        QTest::newRow("129 colours noise") << indexedPattern({211, 173}, 129, QStringLiteral("noise"));
        QTest::newRow("single colour") << indexedPattern({1000, 300}, 4, QStringLiteral("flat"));
        QTest::newRow("one pixel") << indexedPattern({1, 1}, 2, QStringLiteral("flat"));
        QTest::newRow("transparent entry") << indexedPattern({120, 90}, 40, QStringLiteral("noise"), true);

        // Real pictures, as Qt reads them, where one palette holds them exactly (no partial alpha).
        const QStringList files = corpusFiles(QStringLiteral("gif"), 60);
        int usable = 0;
        for (const QString &path : files) {
            QImageReader reader(path);
            const QImage original = qint64(reader.size().width()) * reader.size().height() > 1000000 ? QImage() : reader.read();
            if (original.isNull())
                continue; // too big to be quick, or broken on purpose
            const QImage indexed = ColorQuantizer::toIndexed(original, 256, ColorQuantizer::Dither::None);
            if (!firstDifference(original.convertToFormat(QImage::Format_ARGB32), indexed.convertToFormat(QImage::Format_ARGB32)).isEmpty())
                continue;
            QTest::newRow(qPrintable(QDir(corpus).relativeFilePath(path))) << indexed;
            ++usable;
        }
        if (!files.isEmpty() && usable == 0)
            QTest::newRow("no usable corpus GIF") << QImage(); // fails: the corpus part would test nothing
    }

    void gifRoundTrip()
    {
        QFETCH(QImage, source);
        GifWriter writer(source.size());
        QVERIFY(writer.addFrame(source));
        const QImage decoded = QImage::fromData(writer.encode(), "gif");
        const auto table = source.colorTable();
        QCOMPARE(decoded.hasAlphaChannel(), std::any_of(table.cbegin(), table.cend(), [](QRgb c) { return qAlpha(c) == 0; }));
        const QString difference = firstDifference(source.convertToFormat(QImage::Format_ARGB32),
                                                   decoded.convertToFormat(QImage::Format_ARGB32));
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    void gifRefusesUnusableFrames()
    {
        GifWriter writer(QSize(8, 8));
        QVERIFY(!writer.addFrame(QImage(8, 8, QImage::Format_RGB32)));
        QVERIFY(!writer.addFrame(indexedPattern(QSize(9, 8), 4, QStringLiteral("flat"))));
        QVERIFY(!writer.addFrame(QImage(8, 8, QImage::Format_Indexed8))); // no colour table
        QVERIFY(writer.addFrame(indexedPattern(QSize(8, 8), 4, QStringLiteral("noise"))));
    }

    void iconRoundTrip_data()
    {
        QTest::addColumn<QList<QImage>>("entries");
        QTest::addColumn<bool>("png256"); // 256-pixel entries stored as PNG
        QTest::addColumn<bool>("cursor");

        // Alpha ramps across, colours vary, and the top-left corner is fully transparent.
        const auto ramp = [](int w, int h) {
            QImage image(w, h, QImage::Format_ARGB32);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const int alpha = (x + y < 3 && w > 1) ? 0 : 255 - (x * 200) / std::max(1, w - 1);
                    image.setPixel(x, y, qRgba((x * 37) & 255, (y * 59) & 255, ((x ^ y) * 13) & 255, alpha));
                }
            return QList<QImage>{image};
        };
        QTest::newRow("1x1") << ramp(1, 1) << false << false;
        QTest::newRow("16") << ramp(16, 16) << false << false;
        QTest::newRow("33 wide: mask rows padded") << ramp(33, 33) << false << false;
        QTest::newRow("not square") << ramp(40, 24) << false << false;
        QTest::newRow("256 dib") << ramp(256, 256) << false << false;
        QTest::newRow("256 png") << ramp(256, 256) << true << false;
        QTest::newRow("cursor") << ramp(32, 32) << false << true;

        // Real icons and cursors: up to 8 of the entries Qt reads from each.
        const QStringList files = corpusFiles(QStringLiteral("ico"), 40) + corpusFiles(QStringLiteral("cur"), 20);
        int usable = 0;
        for (const QString &path : files) {
            QImageReader reader(path);
            QList<QImage> entries;
            for (int i = 0; i < std::min(reader.imageCount(), 8) && reader.jumpToImage(i); ++i) {
                const QImage image = reader.read();
                if (!image.isNull() && image.width() <= 256 && image.height() <= 256)
                    entries << image;
            }
            if (entries.isEmpty())
                continue; // broken on purpose
            QTest::newRow(qPrintable(QDir(corpus).relativeFilePath(path))) << entries << true << false;
            ++usable;
        }
        if (!files.isEmpty() && usable == 0)
            QTest::newRow("no usable corpus icon") << QList<QImage>() << false << false; // fails
    }

    void iconRoundTrip()
    {
        QFETCH(QList<QImage>, entries);
        QFETCH(bool, png256);
        QFETCH(bool, cursor);

        IconWriter writer;
        QStringList expected;
        for (const QImage &entry : entries) {
            const bool png = png256 && entry.width() == 256;
            QVERIFY(writer.addImage(entry, png ? IconWriter::Storage::Png : IconWriter::Storage::Dib,
                                    QPoint(entry.width() / 2, entry.height() - 1)));
            expected << QStringLiteral("%1x%2%3").arg(entry.width()).arg(entry.height()).arg(png ? QStringLiteral(" png") : QString());
        }
        QVERIFY(!entries.isEmpty());
        QBuffer buffer;
        buffer.setData(writer.encode(cursor ? IconWriter::Kind::Cursor : IconWriter::Kind::Icon));
        const QByteArray &bytes = buffer.data();
        QStringList found;
        QCOMPARE(checkIconDirectory(bytes, cursor ? 2 : 1, &found), QString());
        QCOMPARE(found, expected);
        if (cursor)
            QCOMPARE(QPoint(u16(bytes, 10), u16(bytes, 12)), QPoint(entries[0].width() / 2, entries[0].height() - 1));

        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "ico");
        QCOMPARE(reader.imageCount(), int(entries.size()));
        for (int i = 0; i < entries.size(); ++i) {
            // Compare premultiplied, the form Qt's reader produces.
            QVERIFY(reader.jumpToImage(i));
            const QString difference = firstDifference(entries[i].convertToFormat(QImage::Format_ARGB32_Premultiplied),
                                                       reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied));
            QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("entry %1: %2").arg(i).arg(difference)));

            // The AND mask marks exactly the fully transparent pixels, for readers without alpha.
            const QImage source = entries[i].convertToFormat(QImage::Format_ARGB32);
            const QByteArray dib = IconWriter::dib(source);
            const int stride = ((source.width() + 31) / 32) * 4;
            const qsizetype mask = 40 + qsizetype(source.width()) * source.height() * 4;
            QCOMPARE(dib.size(), mask + stride * source.height());
            for (int y = 0; y < source.height(); ++y)
                for (int x = 0; x < source.width(); ++x) {
                    const bool bit = uchar(dib[mask + (source.height() - 1 - y) * stride + x / 8]) & (0x80 >> (x % 8));
                    QCOMPARE(bit, qAlpha(source.pixel(x, y)) == 0);
                }
        }
    }

    void quantizerStaysClose()
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
            int total = 0, worst = 0;
            for (int y = 0; y < 200; ++y)
                for (int x = 0; x < 300; ++x) {
                    const QRgb a = gradient.pixel(x, y), b = indexed.pixel(x, y);
                    const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
                    total += d;
                    worst = std::max(worst, d);
                }
            // No stray far-off colours (specks), and close on average.
            QVERIFY2(worst <= 28 && total / (300 * 200) <= 6, qPrintable(QStringLiteral("worst %1, mean %2").arg(worst).arg(total / (300 * 200))));
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

    void wmfWriterFlagsOverflow()
    {
        WmfWriter fits(QSize(640, 480), 15);
        fits.rectangle(QRect(0, 0, 640, 480));
        QVERIFY(fits.isValid());

        // 640 x 60 logical units do not fit in 16 bits: the writer must say so, not wrap around.
        QVERIFY(!WmfWriter(QSize(640, 480), 60).isValid());
        WmfWriter outside(QSize(100, 100));
        outside.polygon(QPolygon({QPoint(0, 0), QPoint(40000, 5), QPoint(5, 5)}));
        QVERIFY(!outside.isValid());
    }
};

QTEST_MAIN(TestMakeSamples)
#include "tst_make_samples.moc"
