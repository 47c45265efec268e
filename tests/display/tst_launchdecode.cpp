#include "display/PictureLoad.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

using namespace display;

// The picture given at start is decoded before Qt is up, for a guessed screen at 96 DPI. The
// viewer may only take it when it is exactly what it would decode itself.
class TestLaunchDecode : public QObject
{
    Q_OBJECT

private slots:
    void takenOnlyWhenItIsTheSameDecode_data();
    void takenOnlyWhenItIsTheSameDecode();
    void metafileIsLeftToTheViewer();
};

namespace {

QString writePhoto(const QTemporaryDir &dir, const QString &name, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
    const QString path = dir.filePath(name);
    image.save(path, "JPEG", 90);
    return path;
}

} // namespace

void TestLaunchDecode::takenOnlyWhenItIsTheSameDecode_data()
{
    QTest::addColumn<QSize>("viewerBound");
    QTest::addColumn<double>("tpp");
    QTest::addColumn<bool>("otherName");
    QTest::addColumn<bool>("rewritten");
    QTest::addColumn<bool>("taken");
    const QSize guess(400, 300);
    QTest::newRow("same screen, 96 DPI") << guess << 15.0 << false << false << true;
    // Pixels decode at the same size whatever the DPI; the natural size in twips follows it.
    QTest::newRow("same screen, 144 DPI") << guess << 10.0 << false << false << true;
    QTest::newRow("another screen size") << QSize(800, 600) << 15.0 << false << false << false;
    QTest::newRow("another picture") << guess << 15.0 << true << false << false;
    QTest::newRow("file rewritten since") << guess << 15.0 << false << true << false;
}

void TestLaunchDecode::takenOnlyWhenItIsTheSameDecode()
{
    QFETCH(QSize, viewerBound);
    QFETCH(double, tpp);
    QFETCH(bool, otherName);
    QFETCH(bool, rewritten);
    QFETCH(bool, taken);
    QTemporaryDir dir;
    const QString path = writePhoto(dir, QStringLiteral("photo.jpg"), QSize(1600, 1000));
    const QString other = writePhoto(dir, QStringLiteral("other.jpg"), QSize(1600, 1000));
    StartLaunchDecode(path, QSize(400, 300));
    QVERIFY(LaunchDecodePending(path, QSize(400, 300)));
    QVERIFY(!LaunchDecodePending(path, QSize(401, 300)));
    QTRY_VERIFY(LaunchDecodeReady(std::chrono::milliseconds(10)));
    if (rewritten) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // a later time stamp
        writePhoto(dir, QStringLiteral("photo.jpg"), QSize(800, 1000));
    }
    const QString shown = otherName ? other : path;
    bool found = true;
    const LoadedPicture launch = TakeLaunchDecode(shown, viewerBound, tpp, tpp, found);
    QCOMPARE(found, taken);
    QCOMPARE(launch.ok, taken);
    QVERIFY(!LaunchDecodePending(path, QSize(400, 300))); // taken either way
    if (!taken)
        return;
    const LoadedPicture own = LoadForDisplay(shown, viewerBound, tpp, tpp);
    QVERIFY(own.ok);
    QCOMPARE(launch.image.size(), own.image.size());
    QCOMPARE(launch.image.size(), QSize(400, 250)); // fitted into the screen, no larger
    QVERIFY(launch.image == own.image);
    QCOMPARE(launch.twips, own.twips);
    QCOMPARE(launch.twips, QSizeF(1600 * tpp, 1000 * tpp));
}

void TestLaunchDecode::metafileIsLeftToTheViewer()
{
    const QString path = QStringLiteral(QUORVEL_SAMPLES_DIR "/Rocket.wmf");
    QVERIFY(QFile::exists(path));
    StartLaunchDecode(path, QSize(400, 300));
    bool found = true;
    const LoadedPicture launch = TakeLaunchDecode(path, QSize(400, 300), 15.0, 15.0, found);
    QVERIFY(!found);
    QVERIFY(launch.image.isNull());
    QVERIFY(LoadForDisplay(path, QSize(400, 300), 15.0, 15.0).ok); // the viewer's own decode draws it
}

QTEST_MAIN(TestLaunchDecode)
#include "tst_launchdecode.moc"
