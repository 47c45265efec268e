#include "base/FileSys.h"
#include "picture/Requests.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace picture;

// Requests: a picture decoded ahead is handed to the request that asks for the same decode,
// and only then.
class TestRequests : public QObject
{
    Q_OBJECT

private slots:
    void aheadTakenOnlyWhenItIsTheSameDecode_data();
    void aheadTakenOnlyWhenItIsTheSameDecode();
    void metafileLeftUndecodedIsDrawnWhenAsked();
    void onlyTheLatestAreKeptAhead();
    void nameNotUtf8IsReadByItsOwnBytes();
    void finishWaitsForEveryDecode();
};

namespace {

QString writePhoto(const QString &path, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
    image.save(path, "JPEG", 90);
    return path;
}

} // namespace

void TestRequests::aheadTakenOnlyWhenItIsTheSameDecode_data()
{
    QTest::addColumn<QSize>("bound");
    QTest::addColumn<double>("tpp");
    QTest::addColumn<bool>("otherName");
    QTest::addColumn<bool>("rewritten");
    QTest::addColumn<bool>("aheadGone"); // taken, or dropped as never to be taken
    QTest::addColumn<QSize>("shown");
    const QSize guess(400, 300);
    QTest::newRow("same screen, 96 DPI") << guess << 15.0 << false << false << true << QSize(400, 250);
    // Pixels decode at the same size whatever the DPI; the natural size in twips follows it.
    QTest::newRow("same screen, 144 DPI") << guess << 10.0 << false << false << true << QSize(400, 250);
    QTest::newRow("another screen size") << QSize(800, 600) << 15.0 << false << false << true << QSize(800, 500);
    QTest::newRow("another picture") << guess << 15.0 << true << false << false << QSize(400, 250);
    QTest::newRow("file rewritten since") << guess << 15.0 << false << true << true << QSize(240, 300);
}

void TestRequests::aheadTakenOnlyWhenItIsTheSameDecode()
{
    QFETCH(QSize, bound);
    QFETCH(double, tpp);
    QFETCH(bool, otherName);
    QFETCH(bool, rewritten);
    QFETCH(bool, aheadGone);
    QFETCH(QSize, shown);
    QTemporaryDir dir;
    const QString path = writePhoto(dir.filePath("photo.jpg"), QSize(1600, 1000));
    const QString other = writePhoto(dir.filePath("other.jpg"), QSize(1600, 1000));
    // As at start: decoded ahead for a guessed screen at 96 DPI, metafiles left alone.
    DecodeAhead({path, QSize(400, 300), 15.0, 15.0, false});
    QCOMPARE(DecodingAhead(), QStringList{path});
    if (rewritten) {
        FinishDecodes();
        DecodeAhead({path, QSize(400, 300), 15.0, 15.0, false});
        QTest::qWait(300); // decoded, then rewritten with a later time stamp
        writePhoto(path, QSize(800, 1000));
    }
    const Request asked{otherName ? other : path, bound, tpp, tpp};
    const ShownPicture picture = Decode(asked).result();
    QCOMPARE(DecodingAhead().isEmpty(), aheadGone);
    QVERIFY(picture.ok);
    QCOMPARE(picture.image.size(), shown);
    const ShownPicture own = LoadShown(asked);
    QVERIFY(picture.image == own.image);
    QCOMPARE(picture.twips, own.twips);
    QCOMPARE(picture.twips, QSizeF(own.info.pixels) * tpp);
    FinishDecodes();
}

void TestRequests::metafileLeftUndecodedIsDrawnWhenAsked()
{
    const QString path = QStringLiteral(QUORVEL_SAMPLES_DIR "/Rocket.wmf");
    QVERIFY(QFile::exists(path));
    DecodeAhead({path, QSize(400, 300), 15.0, 15.0, false});
    const ShownPicture picture = Decode({path, QSize(400, 300), 15.0, 15.0}).result();
    QVERIFY(picture.ok);
    QVERIFY(picture.info.isMetafile);
    QVERIFY(!picture.image.isNull());
    // At another DPI a metafile is drawn anew for it.
    DecodeAhead({path, QSize(400, 300), 15.0, 15.0});
    const ShownPicture atOther = Decode({path, QSize(400, 300), 10.0, 10.0}).result();
    QVERIFY(atOther.image == LoadShown({path, QSize(400, 300), 10.0, 10.0}).image);
}

void TestRequests::onlyTheLatestAreKeptAhead()
{
    QTemporaryDir dir;
    QStringList paths;
    for (int i = 0; i < kKeptAhead + 2; ++i) {
        paths.append(writePhoto(dir.filePath(QStringLiteral("p%1.jpg").arg(i)), QSize(64, 48)));
        DecodeAhead({paths.last(), QSize(400, 300)});
        DecodeAhead({paths.last(), QSize(400, 300)}); // asked twice, kept once
    }
    QCOMPARE(DecodingAhead(), paths.mid(2));
    FinishDecodes();
    QVERIFY(DecodingAhead().isEmpty());
}

void TestRequests::nameNotUtf8IsReadByItsOwnBytes()
{
    QTemporaryDir dir;
    const QString plain = writePhoto(dir.filePath("plain.jpg"), QSize(300, 200));
    const QByteArray odd = QFile::encodeName(dir.path()) + "/caf\xe9.jpg";
    QVERIFY(::rename(QFile::encodeName(plain).constData(), odd.constData()) == 0);
    const QString name = base::DecodeName(odd.constData(), size_t(odd.size()));
    // Another local user may have taken any name in the shared temporary folder: nothing there
    // is made, used or needed.
    const QString squat = QDir::tempPath() + QStringLiteral("/quorvel-%1").arg(::getpid());
    QFile taken(squat);
    QVERIFY(taken.open(QIODevice::WriteOnly));
    taken.write("someone else's");
    taken.close();
    const ShownPicture picture = Decode({name, QSize(400, 300)}).result();
    QFile::remove(squat);
    QVERIFY(picture.ok);
    QCOMPARE(picture.image.size(), QSize(300, 200));
}

void TestRequests::finishWaitsForEveryDecode()
{
    QTemporaryDir dir;
    const QString path = writePhoto(dir.filePath("big.jpg"), QSize(2000, 1500));
    QFuture<ShownPicture> decode = Decode({path, QSize(1024, 768)});
    DecodeAhead({path, QSize(800, 600)});
    FinishDecodes();
    QVERIFY(decode.isFinished());
    QVERIFY(DecodingAhead().isEmpty());
}

QTEST_MAIN(TestRequests)
#include "tst_requests.moc"
