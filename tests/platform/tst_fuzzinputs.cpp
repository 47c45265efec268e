// Every input the fuzzers ever found troublesome, and the hand-made hostile seeds beside them,
// goes through the same code as the fuzzers: each must finish quickly and cleanly.

#include "app/SettingsRules.h"
#include "platform/picture/PictureLoader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

class TestFuzzInputs : public QObject
{
    Q_OBJECT

private slots:
    void pictures_data();
    void pictures();
    void settingsTexts_data();
    void settingsTexts();
    void damagedSamples_data();
    void damagedSamples();
};

namespace {

void addFiles(const char *folder)
{
    QTest::addColumn<QString>("path");
    const QDir dir(QStringLiteral(QUORVEL_TEST_DATA_DIR "/") + QLatin1String(folder));
    const QStringList names = dir.entryList(QDir::Files, QDir::Name);
    for (const QString &n : names)
        QTest::newRow(qPrintable(n)) << dir.filePath(n);
}

} // namespace

void TestFuzzInputs::pictures_data()
{
    addFiles("fuzz-picture");
}

void TestFuzzInputs::pictures()
{
    QFETCH(QString, path);
    QFile in(path);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    QVERIFY(!bytes.isEmpty());
    static const char *const extensions[] = {".bmp", ".jpg", ".jpeg", ".gif", ".ico", ".cur", ".wmf"};
    QTemporaryDir dir;
    const QString file = dir.path() + "/input" + QString::fromLatin1(extensions[uchar(bytes[0]) % 7]);
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bytes.mid(1));
    out.close();
    QElapsedTimer t;
    t.start();
    if (platform::ReadPictureInfo(file))
        platform::DecodePicture(file, QSize(1920, 1080));
    else
        QVERIFY(platform::DecodePicture(file, QSize(640, 480)).isNull());
    QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
}

void TestFuzzInputs::settingsTexts_data()
{
    addFiles("fuzz-settings");
}

void TestFuzzInputs::settingsTexts()
{
    QFETCH(QString, path);
    QFile in(path);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(in.readAll());
    const int16_t delay = settings::ReadTimeDelay(text);
    QVERIFY(delay == 0 || (delay >= 2 && delay <= 10));
    const settings::WindowPlacement p = settings::ReadWindowPosition(text, 15360, 11520);
    QVERIFY(p.left >= 0 && p.top >= 0 && p.width >= 0 && p.height >= 0);
    QVERIFY(p.left + p.width <= 15360 && p.top + p.height <= 11520);
}

void TestFuzzInputs::damagedSamples_data()
{
    QTest::addColumn<QString>("path");
    const QDir dir(QStringLiteral(QUORVEL_SAMPLES_DIR));
    const QStringList names = dir.entryList({"*.bmp", "*.jpg", "*.jpeg", "*.gif", "*.ico", "*.cur", "*.wmf"},
                                            QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QString &n : names)
        QTest::newRow(qPrintable(n)) << dir.filePath(n);
    if (names.isEmpty())
        QTest::newRow("no samples") << QString();
}

void TestFuzzInputs::damagedSamples()
{
    // Good pictures cut short at several points and with bytes flipped: each is shown or
    // dropped, quickly, never a crash.
    QFETCH(QString, path);
    QVERIFY2(!path.isEmpty(), "the sample pictures are made by the build");
    QFile in(path);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray good = in.readAll();
    QVERIFY(!platform::DecodePicture(path, QSize(320, 240)).isNull() || path.contains("not-a-picture"));
    QList<QByteArray> variants;
    for (int eighths : {1, 3, 4, 7})
        variants << good.left(good.size() * eighths / 8);
    variants << good.left(12) << good.left(0);
    for (int seed = 1; seed <= 4; ++seed) {
        QByteArray flipped = good;
        for (int i = 0; i < 16; ++i) {
            const qsizetype at = (qsizetype(seed) * 7919 * (i + 1)) % flipped.size();
            flipped[at] = char(flipped[at] ^ (0x5a + i));
        }
        variants << flipped;
    }
    QTemporaryDir dir;
    const QString file = dir.path() + "/damaged." + QFileInfo(path).suffix();
    for (const QByteArray &bytes : variants) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
        out.close();
        QElapsedTimer t;
        t.start();
        const std::optional<platform::PictureInfo> info = platform::ReadPictureInfo(file);
        const QImage image = platform::DecodePicture(file, QSize(800, 600));
        QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
        if (!image.isNull())
            QVERIFY(info && !info->pixels.isEmpty()); // a picture shown has a size to fit
    }
}

QTEST_MAIN(TestFuzzInputs)
#include "tst_fuzzinputs.moc"
