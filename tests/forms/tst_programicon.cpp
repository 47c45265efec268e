// The program icon: every size comes out drawn, the 16-colour rendition keeps to the VGA colours
// and shows the drawing in the intended ones, and the desktop's copies are the window's.

#include "forms/ProgramIcon.h"

#include <QPixmap>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class tst_ProgramIcon : public QObject
{
    Q_OBJECT

private slots:
    void renditions_data()
    {
        QTest::addColumn<bool>("sixteen");
        QTest::addColumn<int>("size");
        QTest::newRow("16 colours, 32 by default") << true << 0;
        QTest::newRow("16 colours, 64") << true << 64;
        for (const int size : {16, 256, 1000})
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
            const QList<QRgb> vga = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xc0c0c0,
                                     0x808080, 0xff0000, 0x00ff00, 0xffff00, 0x0000ff, 0xff00ff, 0x00ffff, 0xffffff};
            QCOMPARE(image.colorTable().size(), 16);
            for (int i = 0; i < 16; ++i) // fuchsia is the clear key
                QCOMPARE(image.colorTable().at(i), vga[i] | (i == 13 ? 0u : 0xff000000u));
        }
        // Clear outside the rounded tile, drawn inside it.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(size - 1, size - 1)), 0);
        QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
        QCOMPARE(qAlpha(image.pixel(size / 10, size / 2)), 255);
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
        // Each size is its own full-colour rendition of the one drawing.
        const QIcon icon = forms::ProgramIcon();
        for (const int size : {16, 32, 48, 64, 128, 256}) {
            QVERIFY2(icon.availableSizes().contains(QSize(size, size)), qPrintable(QString::number(size)));
            const QImage expected = forms::ProgramIconImage(size);
            QCOMPARE(icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                     expected.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        }
    }

#ifdef QUORVEL_MAKE_ICONS
    void makeIconsWritesTheThemeTree()
    {
        // The desktop's icons are the window's pixels.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess tool;
        tool.start(QStringLiteral(QUORVEL_MAKE_ICONS), {dir.path()});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
        for (const int size : {16, 32, 48, 64, 128, 256}) {
            const QString path = dir.filePath(QStringLiteral("hicolor/%1x%1/apps/quorvel.png").arg(size));
            const QImage shown = forms::ProgramIconImage(size);
            QVERIFY2(QImage(path).convertToFormat(QImage::Format_ARGB32) == shown.convertToFormat(QImage::Format_ARGB32), qPrintable(path));
        }
    }
#endif
};

QTEST_MAIN(tst_ProgramIcon)
#include "tst_programicon.moc"
