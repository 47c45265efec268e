// Runs the sample generator and checks what it writes, and round-trips the encoders Qt lacks
// (GIF, ICO/CUR) through Qt's own readers. Metafiles are walked record by record instead.

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

int runGenerator(const QStringList &args)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY")); // it must not need one
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(QUORVEL_MAKE_SAMPLES), args);
    if (!process.waitForFinished(60000))
        return -1; // hung: the destructor kills it
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

quint16 u16(const QByteArray &b, qsizetype at) { return qFromLittleEndian<quint16>(b.constData() + at); }
quint32 u32(const QByteArray &b, qsizetype at) { return qFromLittleEndian<quint32>(b.constData() + at); }

// Walks a metafile as a strict player would: the length is the file's, every record fits, pens
// and brushes stay within the declared handle table and are live when selected or deleted, and
// the end record closes the file. Empty when sound.
QString checkMetafile(const QByteArray &b)
{
    qsizetype pos = b.startsWith("\xD7\xCD\xC6\x9A") ? 22 : 0; // placeable header
    if (b.size() < pos + 18 || qsizetype(u32(b, pos + 6)) * 2 != b.size() - pos)
        return QStringLiteral("bad header length");
    const int declaredObjects = u16(b, pos + 10);
    QList<bool> objects; // handle slots, true while alive
    for (pos += 18; pos < b.size(); pos += qsizetype(u32(b, pos)) * 2) {
        const quint32 words = b.size() - pos >= 6 ? u32(b, pos) : 0;
        if (words < 3 || pos + qsizetype(words) * 2 > b.size())
            return QStringLiteral("record at %1 does not fit").arg(pos);
        const quint16 function = u16(b, pos + 4);
        const int n = words > 3 ? u16(b, pos + 6) : -1;
        if (function == 0x0000)
            return words == 3 && pos + 6 == b.size() ? QString() : QStringLiteral("bad or early end record");
        if (function == 0x02FA || function == 0x02FC) { // pen and brush take the lowest free slot
            if (!objects.contains(false))
                objects.append(false);
            objects[objects.indexOf(false)] = true;
            if (objects.size() > declaredObjects)
                return QStringLiteral("more objects than the header declares, at %1").arg(pos);
        } else if (function == 0x012D || function == 0x01F0) { // select, delete
            if (n < 0 || n >= objects.size() || !objects.at(n))
                return QStringLiteral("record at %1 uses dead object %2").arg(pos).arg(n);
            if (function == 0x01F0)
                objects[n] = false;
        }
    }
    return QStringLiteral("no end record");
}

QImage indexedPattern(QSize size, int colours, bool transparent = false)
{
    QImage image(size, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < colours; ++i)
        table << (transparent && i == colours - 1 ? qRgba(0, 0, 0, 0) : qRgb((i * 53 + 11) & 255, (i * 97 + 31) & 255, (i * 151 + 7) & 255));
    image.setColorTable(table);
    SeededRandom rng(quint64(colours) * 7919 + size.width());
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.scanLine(y)[x] = uchar(rng.below(colours));
    return image;
}

// First mismatching pixel as text, or empty when every pixel agrees.
QString firstDifference(const QImage &expected, const QImage &actual)
{
    if (expected.size() != actual.size())
        return QStringLiteral("size differs");
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb e = expected.pixel(x, y), a = actual.pixel(x, y);
            if (qAlpha(e) == 0 ? qAlpha(a) != 0 : e != a)
                return QStringLiteral("pixel %1,%2 is %3, expected %4").arg(x).arg(y).arg(a, 8, 16).arg(e, 8, 16);
        }
    return {};
}

} // namespace

class TestMakeSamples : public QObject
{
    Q_OBJECT

    QTemporaryDir m_out;

private slots:
    void initTestCase()
    {
        QVERIFY(m_out.isValid());
        QCOMPARE(runGenerator({m_out.path()}), 0);
    }

    void folderHoldsEveryKind()
    {
        // Every picture decodes as the kind its name says, whatever the letter case, in the
        // folder and both levels below it; not-a-picture.jpg is there and must not decode.
        const QHash<QString, QByteArray> kinds{{"jpg", "jpeg"}, {"jpeg", "jpeg"}, {"bmp", "bmp"}, {"gif", "gif"},
                                               {"ico", "ico"}, {"cur", "ico"}, {"wmf", {}}};
        QSet<QString> found, folders;
        QDirIterator it(m_out.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next(), suffix = it.fileInfo().suffix().toLower();
            const QString name = QDir(m_out.path()).relativeFilePath(path);
            if (name == QLatin1String("not-a-picture.jpg")) {
                QVERIFY(it.fileInfo().size() > 0);
                QVERIFY(QImage(path).isNull());
                folders << name;
            } else if (suffix == QLatin1String("wmf")) {
                QCOMPARE(checkMetafile(readAll(path)), QString());
            } else if (kinds.contains(suffix)) {
                QImageReader reader(path);
                QCOMPARE(reader.format(), kinds.value(suffix));
                QVERIFY2(!reader.read().isNull(), qPrintable(name));
            }
            if (kinds.contains(suffix))
                found << suffix;
            folders << QFileInfo(name).path();
        }
        QCOMPARE(found, QSet<QString>(kinds.keyBegin(), kinds.keyEnd()));
        for (const char *folder : {"not-a-picture.jpg", "More", "More/Deeper"})
            QVERIFY2(folders.contains(QLatin1String(folder)), folder);
        // One larger than a screen, one much taller than wide.
        QCOMPARE(QImage(m_out.filePath(QStringLiteral("Alpine Panorama.jpg"))).size(), QSize(2600, 1500));
        QCOMPARE(QImage(m_out.filePath(QStringLiteral("Lighthouse.jpeg"))).size(), QSize(600, 1800));
    }

    void foreignFolderIsKept()
    {
        // Its own folder may be written again, as every build does.
        QCOMPARE(runGenerator({m_out.path()}), 0);

        // A folder with someone else's files is left alone unless asked.
        QTemporaryDir foreign;
        QVERIFY(foreign.isValid());
        const QString mine = foreign.filePath(QStringLiteral("Sunset.JPG"));
        QFile file(mine);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("my own picture");
        file.close();
        QCOMPARE(runGenerator({foreign.path()}), 2);
        QCOMPARE(readAll(mine), QByteArray("my own picture"));
        QCOMPARE(QDir(foreign.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 1);
        QCOMPARE(runGenerator({QStringLiteral("--force"), foreign.path()}), 0);
        QVERIFY(readAll(mine).startsWith("\xFF\xD8"));
    }

    void gifRoundTrip_data()
    {
        QTest::addColumn<QImage>("source");
        // Two colours still need a 2-bit minimum code size; 256-colour noise fills the code table
        // many times over; the last entry may be the transparent one.
        QTest::newRow("2 colours") << indexedPattern({97, 61}, 2);
        QTest::newRow("256 colours") << indexedPattern({320, 240}, 256);
        QTest::newRow("transparent entry") << indexedPattern({120, 90}, 40, true);
    }

    void gifRoundTrip()
    {
        QFETCH(QImage, source);
        GifWriter writer(source.size());
        QVERIFY(writer.addFrame(source));
        const QImage decoded = QImage::fromData(writer.encode(), "gif");
        const QString difference = firstDifference(source.convertToFormat(QImage::Format_ARGB32),
                                                   decoded.convertToFormat(QImage::Format_ARGB32));
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    void iconRoundTrip_data()
    {
        QTest::addColumn<QList<int>>("sizes");
        QTest::addColumn<bool>("png256"); // 256-pixel entries stored as PNG
        QTest::addColumn<bool>("cursor");
        // 33 wide pads the mask rows; 256 is written as 0 in the directory.
        QTest::newRow("icon, DIBs") << QList<int>{1, 33, 256} << false << false;
        QTest::newRow("icon, 256 as PNG") << QList<int>{16, 256} << true << false;
        QTest::newRow("cursor") << QList<int>{32} << false << true;
    }

    void iconRoundTrip()
    {
        QFETCH(QList<int>, sizes);
        QFETCH(bool, png256);
        QFETCH(bool, cursor);
        // Alpha ramps across, colours vary, and the top-left corner is fully transparent.
        QList<QImage> entries;
        IconWriter writer;
        for (const int w : sizes) {
            QImage image(w, w, QImage::Format_ARGB32);
            for (int y = 0; y < w; ++y)
                for (int x = 0; x < w; ++x)
                    image.setPixel(x, y, qRgba((x * 37) & 255, (y * 59) & 255, ((x ^ y) * 13) & 255,
                                               (x + y < 3 && w > 1) ? 0 : 255 - (x * 200) / std::max(1, w - 1)));
            const bool png = png256 && w == 256;
            QVERIFY(writer.addImage(image, png ? IconWriter::Storage::Png : IconWriter::Storage::Dib, QPoint(w / 2, w - 1)));
            entries << image;
        }
        QBuffer buffer;
        buffer.setData(writer.encode(cursor ? IconWriter::Kind::Cursor : IconWriter::Kind::Icon));
        QCOMPARE(u16(buffer.data(), 2), cursor ? 2 : 1);
        if (cursor)
            QCOMPARE(QPoint(u16(buffer.data(), 10), u16(buffer.data(), 12)), QPoint(16, 31));

        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "ico");
        QCOMPARE(reader.imageCount(), int(entries.size()));
        for (int i = 0; i < entries.size(); ++i) {
            // Compare premultiplied, the form Qt's reader produces.
            QVERIFY(reader.jumpToImage(i));
            const QString difference = firstDifference(entries[i].convertToFormat(QImage::Format_ARGB32_Premultiplied),
                                                       reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied));
            QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("entry %1: %2").arg(i).arg(difference)));
        }
    }

    void wmfRoundTrip()
    {
        // Pens and brushes replaced over and over reuse their slots; both forms play through.
        WmfWriter writer(QSize(640, 480), 15);
        for (int i = 0; i < 5; ++i) {
            writer.setPen(WmfWriter::PenStyle::Solid, i, Qt::red);
            writer.setBrush(WmfWriter::BrushStyle::Hatched, Qt::blue, WmfWriter::Hatch::Cross);
            writer.rectangle(QRect(i, i, 100, 80));
            writer.polygon(QPolygon({QPoint(0, 0), QPoint(640, 5), QPoint(5, 480)}));
        }
        QVERIFY(writer.isValid());
        QCOMPARE(checkMetafile(writer.toPlaceable(1440)), QString());
        QCOMPARE(checkMetafile(writer.toStandard()), QString());

        // 640 x 60 logical units do not fit in 16 bits: the writer must say so, not wrap around.
        QVERIFY(!WmfWriter(QSize(640, 480), 60).isValid());
        WmfWriter outside(QSize(100, 100));
        outside.polygon(QPolygon({QPoint(0, 0), QPoint(40000, 5), QPoint(5, 5)}));
        QVERIFY(!outside.isValid());
    }
};

QTEST_MAIN(TestMakeSamples)
#include "tst_make_samples.moc"
