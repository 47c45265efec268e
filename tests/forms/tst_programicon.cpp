// The program icon: the 16-colour rendition keeps to the VGA colours and shows the drawing in the
// intended ones, every size comes out drawn, and the SVG is well-formed on the same grid.

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

} // namespace

class tst_ProgramIcon : public QObject
{
    Q_OBJECT

private slots:
    void renditions_data()
    {
        QTest::addColumn<bool>("sixteen");
        QTest::addColumn<int>("size");
        QTest::newRow("16 colours, 32 by default") << true << 0;
        for (const int size : {16, 64})
            QTest::addRow("16 colours, %d", size) << true << size;
        for (const int size : {16, 48, 64, 128, 256, 1000})
            QTest::addRow("full colour, %d", size) << false << size;
    }

    void renditions()
    {
        QFETCH(bool, sixteen);
        QFETCH(int, size);
        const QImage image = !sixteen ? forms::ProgramIconImage(size) : size ? forms::ProgramIcon16(size) : forms::ProgramIcon16();
        size = size ? size : 32;
        QCOMPARE(image.size(), QSize(size, size));
        QCOMPARE(image.format(), sixteen ? QImage::Format_Indexed8 : QImage::Format_ARGB32);
        if (sixteen) {
            const QList<QRgb> table = image.colorTable();
            QCOMPARE(table.size(), 16);
            for (int i = 0; i < 16; ++i) // fuchsia is the clear key
                QCOMPARE(table[i], vga[i] | (i == 13 ? 0u : 0xff000000u));
        }
        int covered = 0;
        QSet<QRgb> colours;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                if (sixteen)
                    QVERIFY(image.pixelIndex(x, y) < 16);
                covered += qAlpha(image.pixel(x, y)) > 0;
                if (qAlpha(image.pixel(x, y)) == 255)
                    colours.insert(image.pixel(x, y));
            }
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0); // outside the rounded tile
        QCOMPARE(qAlpha(image.pixel(size - 1, size - 1)), 0);
        QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
        // The tile covers most of the icon (a little less unsmoothed).
        QVERIFY2(covered * 100 > size * size * (sixteen ? 70 : 75), qPrintable(QString::number(covered)));
        QVERIFY2(colours.size() >= 5, "the drawing should use several colours");
    }

    void sixteenColoursShowTheDrawing()
    {
        // A point inside each part of the drawing at 32 pixels, and the VGA colour it must have.
        const struct { QPoint at; QRgb colour; const char *part; } parts[] = {
            {{3, 16}, 0x000000, "tile"}, {{5, 16}, 0xffffff, "frame"}, {{8, 9}, 0x00ffff, "sky"},
            {{19, 12}, 0xffff00, "sun"}, {{10, 19}, 0x008080, "mountain"}, {{24, 20}, 0x008000, "hill"},
        };
        const QImage image = forms::ProgramIcon16(32);
        for (const auto &part : parts)
            QVERIFY2(image.pixel(part.at) == (0xff000000 | part.colour), part.part);
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
        // Each size is its own rendition; at 32 pixels the 16-colour one.
        const QIcon icon = forms::ProgramIcon();
        for (const int size : {16, 32, 48, 64, 128, 256}) {
            QVERIFY2(icon.availableSizes().contains(QSize(size, size)), qPrintable(QString::number(size)));
            const QImage expected = size == 32 ? forms::ProgramIcon16(32) : forms::ProgramIconImage(size);
            QCOMPARE(icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                     expected.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        }
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
            QVERIFY(colour.match(xml.attributes().value(QLatin1String("fill"))).hasMatch());
            const QStringList tokens = xml.attributes().value(QLatin1String("d")).toString().split(QLatin1Char(' '));
            QVERIFY(tokens.size() > 3);
            QCOMPARE(tokens.first(), QStringLiteral("M"));
            for (const QString &t : tokens) {
                QVERIFY2(token.match(t).hasMatch(), qPrintable(t));
                if (!t.front().isLetter()) // inside the viewBox
                    QVERIFY2(t.toDouble() >= 0 && t.toDouble() <= 256, qPrintable(t));
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QVERIFY(paths >= 5);
    }

#ifdef QUORVEL_MAKE_ICONS
    void makeIconsWritesTheThemeTree()
    {
        // The desktop's icons are the window's: same pixels, same SVG.
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
            const QImage shown = size == 32 ? forms::ProgramIcon16(32) : forms::ProgramIconImage(size);
            QVERIFY2(QImage(path).convertToFormat(QImage::Format_ARGB32) == shown.convertToFormat(QImage::Format_ARGB32), qPrintable(path));
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
