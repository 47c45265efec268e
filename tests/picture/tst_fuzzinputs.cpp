// Every input the fuzzers ever found troublesome, the hand-made hostile seeds beside them, and
// damaged copies of the sample pictures go through the same code as the fuzzers: each must
// finish quickly and cleanly.

#include "TestUtil.h"
#include "app/SettingsRules.h"
#include "picture/Colour.h"
#include "picture/PictureLoader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The sanitizer build (make test-asan) runs a few times slower: its time budget is wider.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kBudgetFactor = 3;
#else
constexpr int kBudgetFactor = 1;
#endif

// One row per file in `dir` with its contents; a lone empty row when there are none, so that
// inputs gone missing fail instead of passing unseen.
void addFiles(const QString &dir, const QStringList &filters = {})
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("bytes");
    const QStringList names = QDir(dir).entryList(filters, QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QString &n : names) {
        QFile in(dir + '/' + n);
        QTest::newRow(qPrintable(n)) << in.fileName() << (in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray());
    }
    if (names.isEmpty())
        QTest::newRow("none") << dir << QByteArray();
}

// Reads and decodes `file` as the viewer does. Empty when all went well: quickly, and whatever
// came out has the size its header promised (an icon may fall back to a smaller entry).
QString loadFault(const QString &file, QSize target)
{
    QElapsedTimer timer;
    timer.start();
    const std::optional<picture::PictureInfo> info = picture::ReadPictureInfo(file);
    const QImage image = picture::DecodePicture(file, target);
    if (timer.elapsed() >= 2000 * kBudgetFactor)
        return QStringLiteral("took %1 ms").arg(timer.elapsed());
    // A decoded picture whose header was refused has no promised size at all.
    const QSize promised = info ? picture::PictureDecodeSize(*info, target) : QSize();
    const bool icon = QStringList{"ico", "cur"}.contains(QFileInfo(file).suffix(), Qt::CaseInsensitive);
    if (image.isNull() || (icon ? image.width() <= promised.width() && image.height() <= promised.height()
                                : image.size() == promised))
        return {};
    return QStringLiteral("decoded %1x%2, promised %3x%4").arg(image.width()).arg(image.height())
        .arg(promised.width()).arg(promised.height());
}

} // namespace

class TestFuzzInputs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void pictures_data() { addFiles(QStringLiteral(QUORVEL_TEST_DATA_DIR "/fuzz-picture")); }
    void pictures();
    void settingsTexts_data() { addFiles(QStringLiteral(QUORVEL_TEST_DATA_DIR "/fuzz-settings")); }
    void settingsTexts();
    void damagedSamples_data()
    {
        addFiles(QStringLiteral(QUORVEL_SAMPLES_DIR), {"*.bmp", "*.jpg", "*.jpeg", "*.gif", "*.ico", "*.cur", "*.wmf"});
    }
    void damagedSamples();

private:
    QTemporaryDir m_dir;
};

void TestFuzzInputs::pictures()
{
    // As the fuzzer takes them: the first byte picks the extension, the rest is the file.
    QFETCH(QString, path);
    QFETCH(QByteArray, bytes);
    QVERIFY2(!bytes.isEmpty(), qPrintable(QStringLiteral("no input at '%1'").arg(path)));
    if (bytes[0] == 7) { // a colour profile, as a picture's and as the display's
        QElapsedTimer timer;
        timer.start();
        QImage image(64, 64, QImage::Format_RGB32);
        image.fill(qRgb(200, 40, 40));
        picture::ConvertToDisplay(image, bytes.mid(1), {});
        picture::ConvertToDisplay(image, {}, bytes.mid(1));
        QVERIFY2(timer.elapsed() < 2000 * kBudgetFactor, qPrintable(QString::number(timer.elapsed())));
        return;
    }
    static const char *const extensions[] = {".bmp", ".jpg", ".jpeg", ".gif", ".ico", ".cur", ".wmf"};
    const QString file = m_dir.filePath(QLatin1String("input") + QLatin1String(extensions[uchar(bytes[0]) % 7]));
    QVERIFY(testutil::writeFile(file, bytes.mid(1)));
    const QString fault = loadFault(file, QSize(1920, 1080));
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

void TestFuzzInputs::settingsTexts()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, bytes);
    QVERIFY2(!bytes.isEmpty(), qPrintable(QStringLiteral("no input at '%1'").arg(path)));
    const QString text = QString::fromUtf8(bytes);
    const int16_t delay = app::ReadTimeDelay(text);
    QVERIFY(delay == 0 || (delay >= 2 && delay <= 10));
    const app::WindowPlacement p = app::ReadWindowPosition(text, 15360, 11520);
    QVERIFY(p.left >= 0 && p.top >= 0 && p.width >= 0 && p.height >= 0);
    QVERIFY(p.left + p.width <= 15360 && p.top + p.height <= 11520);
}

void TestFuzzInputs::damagedSamples()
{
    // Good pictures cut short at several points and with bytes flipped: each is shown at the
    // size promised or dropped, quickly, never a crash.
    QFETCH(QString, path);
    QFETCH(QByteArray, bytes);
    QVERIFY2(!bytes.isEmpty(), "the sample pictures are made by the build");
    QVERIFY(!picture::DecodePicture(path, QSize(320, 240)).isNull() || path.contains("not-a-picture"));
    QList<QByteArray> variants{bytes.left(0), bytes.left(12), bytes.chopped(1)};
    for (int percent : {1, 12, 37, 50, 87, 99})
        variants << bytes.left(bytes.size() * percent / 100);
    for (int seed = 1; seed <= 4; ++seed) {
        QByteArray &flipped = variants.emplace_back(bytes);
        for (int i = 0; i < 16; ++i)
            flipped[(qsizetype(seed) * 7919 * (i + 1)) % bytes.size()] ^= char(0x5a + i);
    }
    const QString file = m_dir.filePath(QLatin1String("damaged.") + QFileInfo(path).suffix());
    for (int i = 0; i < variants.size(); ++i) {
        QVERIFY(testutil::writeFile(file, variants[i]));
        const QString fault = loadFault(file, QSize(800, 600));
        QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("variant %1: %2").arg(i).arg(fault)));
    }
}

QTEST_MAIN(TestFuzzInputs)
#include "tst_fuzzinputs.moc"
