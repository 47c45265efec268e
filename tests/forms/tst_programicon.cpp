// The program icon: the 16-colour rendition keeps to the VGA colours and agrees with the
// full-colour drawing, every size comes out drawn, and the SVG is well-formed on the same grid.

#include "forms/ProgramIcon.h"

#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const QList<QRgb> vga = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xc0c0c0,
    0x808080, 0xff0000, 0x00ff00, 0xffff00, 0x0000ff, 0xff00ff, 0x00ffff, 0xffffff,
};

QRgb rgbOf(QRgb colour)
{
    return colour & 0xffffff;
}

int opaqueColourCount(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) == 255)
                colours.insert(image.pixel(x, y));
    return int(colours.size());
}

bool allVga(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            if (qAlpha(c) != 0 && !vga.contains(rgbOf(c)))
                return false;
        }
    return true;
}

// Brute force on purpose: the nearest colour by plain RGB distance, fuchsia (the clear key) left out.
QRgb nearestVga(QRgb colour)
{
    QRgb best = 0;
    long bestDistance = -1;
    for (const QRgb v : vga) {
        if (v == 0xff00ff)
            continue;
        const long dr = qRed(colour) - qRed(v), dg = qGreen(colour) - qGreen(v), db = qBlue(colour) - qBlue(v);
        const long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = v;
        }
    }
    return best;
}

} // namespace

class tst_ProgramIcon : public QObject
{
    Q_OBJECT

private slots:
    void sixteenColours_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("32, the default") << 32;
        QTest::newRow("16") << 16;
        QTest::newRow("64") << 64;
    }

    void sixteenColours()
    {
        QFETCH(int, size);
        const QImage image = size == 32 ? forms::ProgramIcon16() : forms::ProgramIcon16(size);
        QCOMPARE(image.size(), QSize(size, size));
        QCOMPARE(image.format(), QImage::Format_Indexed8);
        const QList<QRgb> table = image.colorTable();
        QCOMPARE(table.size(), 16);
        for (int i = 0; i < 16; ++i) {
            QCOMPARE(rgbOf(table[i]), vga[i]);
            QCOMPARE(qAlpha(table[i]), i == 13 ? 0 : 255);
        }
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                QVERIFY(image.pixelIndex(x, y) < 16);
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0); // outside the rounded tile
        QCOMPARE(qAlpha(image.pixel(size - 1, size - 1)), 0);
        QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
        QVERIFY2(opaqueColourCount(image) >= 5, "the drawing should use several colours");
    }

    // Where the full-colour drawing is flat (a pixel and its neighbours alike), the 16-colour one
    // must hold that colour's nearest VGA colour: the same drawing, mapped without dithering.
    void sixteenColoursFollowTheDrawing()
    {
        const QImage full = forms::ProgramIconImage(32);
        const QImage mapped = forms::ProgramIcon16(32);
        int compared = 0;
        for (int y = 1; y < 31; ++y) {
            for (int x = 1; x < 31; ++x) {
                const QRgb c = full.pixel(x, y);
                bool flat = qAlpha(c) == 255;
                for (int dy = -1; dy <= 1 && flat; ++dy)
                    for (int dx = -1; dx <= 1 && flat; ++dx)
                        flat = full.pixel(x + dx, y + dy) == c;
                if (!flat)
                    continue;
                ++compared;
                QCOMPARE(rgbOf(mapped.pixel(x, y)), nearestVga(c));
            }
        }
        QVERIFY2(compared > 100, "too few flat pixels to compare");
    }

    void fullColour_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : {16, 48, 64, 128, 256, 1000})
            QTest::addRow("%d", size) << size;
    }

    void fullColour()
    {
        QFETCH(int, size);
        const QImage image = forms::ProgramIconImage(size);
        QCOMPARE(image.size(), QSize(size, size));
        QCOMPARE(image.format(), QImage::Format_ARGB32);
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
        int covered = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                covered += qAlpha(image.pixel(x, y)) > 0;
        QVERIFY2(covered > size * size * 3 / 4, "the tile should cover most of the icon");
        QVERIFY(opaqueColourCount(image) >= 5);
    }

    void unusableSizesGiveNullImages()
    {
        for (const int size : {0, -32, 4097}) {
            QVERIFY(forms::ProgramIcon16(size).isNull());
            QVERIFY(forms::ProgramIconImage(size).isNull());
        }
    }

    void iconHoldsEverySize()
    {
        const QIcon icon = forms::ProgramIcon();
        const QList<QSize> sizes = icon.availableSizes();
        for (const int size : {16, 32, 48, 64, 128, 256})
            QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
        const QImage at32 = icon.pixmap(QSize(32, 32)).toImage();
        QCOMPARE(at32.size(), QSize(32, 32));
        QVERIFY2(allVga(at32), "the 32-pixel rendition should be the 16-colour one");
        QCOMPARE(qAlpha(at32.pixel(0, 0)), 0);
        QVERIFY2(!allVga(icon.pixmap(QSize(256, 256)).toImage()), "256 should be full colour");
    }

    void svgIsWellFormedOnTheGrid()
    {
        QXmlStreamReader xml(forms::ProgramIconSvg());
        QVERIFY(xml.readNextStartElement());
        QCOMPARE(xml.name(), QLatin1String("svg"));
        QCOMPARE(xml.namespaceUri(), QLatin1String("http://www.w3.org/2000/svg"));
        QCOMPARE(xml.attributes().value(QLatin1String("viewBox")), QLatin1String("0 0 256 256"));
        const QRegularExpression colour(QStringLiteral("^#[0-9a-f]{6}$"));
        const QRegularExpression token(QStringLiteral("^([MLCZ]|-?[0-9]+(\\.[0-9]+)?)$"));
        int paths = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("path"))
                continue;
            ++paths;
            const auto attributes = xml.attributes();
            QVERIFY(colour.match(attributes.value(QLatin1String("fill"))).hasMatch());
            const QStringList tokens = attributes.value(QLatin1String("d")).toString().split(QLatin1Char(' '));
            QVERIFY(tokens.size() > 3);
            QCOMPARE(tokens.first(), QStringLiteral("M"));
            for (const QString &t : tokens) {
                QVERIFY2(token.match(t).hasMatch(), qPrintable(t));
                if (t.front().isDigit() || t.front() == QLatin1Char('-')) {
                    const double v = t.toDouble();
                    QVERIFY2(v >= 0 && v <= 256, qPrintable(t)); // inside the viewBox
                }
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QVERIFY(paths >= 5);
    }

#ifdef QUORVEL_MAKE_ICONS
    void makeIconsWritesTheThemeTree()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY")); // it runs during builds
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral(QUORVEL_MAKE_ICONS), {dir.path()});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
        for (const int size : {16, 32, 48, 64, 128, 256}) {
            const QString path = dir.filePath(QStringLiteral("hicolor/%1x%1/apps/quorvel.png").arg(size));
            const QImage image(path);
            QVERIFY2(!image.isNull(), qPrintable(path));
            QCOMPARE(image.size(), QSize(size, size));
            QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        }
        QFile svg(dir.filePath(QStringLiteral("hicolor/scalable/apps/quorvel.svg")));
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QCOMPARE(svg.readAll(), forms::ProgramIconSvg());

        tool.start(QStringLiteral(QUORVEL_MAKE_ICONS), {});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 2); // no folder: usage, nothing written
    }
#endif
};

QTEST_MAIN(tst_ProgramIcon)
#include "tst_programicon.moc"
