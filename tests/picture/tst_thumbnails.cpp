#include "ExifWriter.h"
#include "HostilePictures.h"
#include "base/FileSys.h"
#include "picture/thumbs/ThumbnailCache.h"
#include "picture/thumbs/ThumbnailDecode.h"
#include "picture/thumbs/ThumbnailQueue.h"

#include <QBuffer>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QImageReader>
#include <QImageWriter>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

using namespace picture;
using Source = ThumbnailCache::Source;

class TestThumbnails : public QObject
{
    Q_OBJECT

private slots:
    void uriOfOddNames_data();
    void uriOfOddNames();
    void cacheFolderOfTheDesktop_data();
    void cacheFolderOfTheDesktop();
    void storedAsTheDesktopExpects();
    void othersThumbnailUsedOnlyWhileItMatches_data();
    void othersThumbnailUsedOnlyWhileItMatches();
    void failureRememberedUntilTheFileChanges();
    void nothingStoredWhereItMustNotBe_data();
    void nothingStoredWhereItMustNotBe();
    void cameraThumbnail_data();
    void cameraThumbnail();
    void hostileFilesFailInBoundedTime_data();
    void hostileFilesFailInBoundedTime();
    void corpusThumbnailsKeepTheirShape();
    void queueOrder_data();
    void queueOrder();
    void scrollingFarFetchesOnlyWhereItStops();
    void keptThumbnailsStayWithinBound();
    void resultsForFilesNoLongerShownAreDropped();
};

namespace {

QByteArray jpegOf(QSize size, QColor left, QColor right = {})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(left);
    if (right.isValid())
        for (int y = 0; y < size.height(); ++y)
            for (int x = size.width() / 2; x < size.width(); ++x)
                image.setPixel(x, y, right.rgb());
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 95);
    return bytes;
}

QString write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void setMTime(const QString &path, qint64 seconds)
{
    const timeval times[2] = {{time_t(seconds), 0}, {time_t(seconds), 0}};
    QVERIFY(::utimes(base::EncodePath(path).constData(), times) == 0);
}

struct stat statOf(const QString &path)
{
    struct stat st {};
    ::stat(base::EncodePath(path).constData(), &st);
    return st;
}

QString cacheFile(const QString &root, const char *folder, const QByteArray &canonical)
{
    return root + '/' + folder + '/' + QString::fromLatin1(ThumbnailFileName(ThumbnailUri(canonical)));
}

QStringList filesUnder(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(root.size() + 1);
    files.sort();
    return files;
}

bool near(QRgb a, QColor b)
{
    return qAbs(qRed(a) - b.red()) < 40 && qAbs(qGreen(a) - b.green()) < 40 && qAbs(qBlue(a) - b.blue()) < 40;
}

} // namespace

void TestThumbnails::uriOfOddNames_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("uri");
    QTest::newRow("plain") << QByteArray("/home/jens/photos/me.png") << QByteArray("file:///home/jens/photos/me.png");
    QTest::newRow("kept punctuation") << QByteArray("/p/!$&'()*+,-.:=@_~.jpg") << QByteArray("file:///p/!$&'()*+,-.:=@_~.jpg");
    QTest::newRow("space, hash, percent") << QByteArray("/a b/#1%.jpg") << QByteArray("file:///a%20b/%231%25.jpg");
    QTest::newRow("query and brackets") << QByteArray("/x;y?[z]\"<>\\^`{|}") << QByteArray("file:///x%3By%3F%5Bz%5D%22%3C%3E%5C%5E%60%7B%7C%7D");
    QTest::newRow("UTF-8") << QByteArray("/f\xC3\xA9.jpg") << QByteArray("file:///f%C3%A9.jpg");
    QTest::newRow("not UTF-8") << QByteArray("/f\xE9\x01\x7F.jpg") << QByteArray("file:///f%E9%01%7F.jpg");
}

void TestThumbnails::uriOfOddNames()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, uri);
    QCOMPARE(ThumbnailUri(path), uri);
    if (QTest::currentDataTag() == QByteArray("plain")) // the example the desktop's convention gives
        QCOMPARE(ThumbnailFileName(uri), QByteArray("c6ee772d9e49320e97ec29a7eb5b1697.png"));
}

void TestThumbnails::cacheFolderOfTheDesktop_data()
{
    QTest::addColumn<QByteArray>("xdg");
    QTest::addColumn<QString>("root");
    QTest::newRow("set") << QByteArray("/x/cache") << "/x/cache/thumbnails";
    QTest::newRow("unset") << QByteArray() << "/home/u/.cache/thumbnails";
    QTest::newRow("relative, so ignored") << QByteArray("cache") << "/home/u/.cache/thumbnails";
}

void TestThumbnails::cacheFolderOfTheDesktop()
{
    QFETCH(QByteArray, xdg);
    QFETCH(QString, root);
    const QByteArray oldHome = qgetenv("HOME"), oldXdg = qgetenv("XDG_CACHE_HOME");
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", oldHome);
        oldXdg.isNull() ? qunsetenv("XDG_CACHE_HOME") : qputenv("XDG_CACHE_HOME", oldXdg);
    });
    qputenv("HOME", "/home/u");
    xdg.isEmpty() ? qunsetenv("XDG_CACHE_HOME") : qputenv("XDG_CACHE_HOME", xdg);
    QCOMPARE(ThumbnailCache::DefaultRoot(), root);
}

void TestThumbnails::storedAsTheDesktopExpects()
{
    QTemporaryDir dir;
    const QString root = dir.filePath("cache/thumbnails");
    QVERIFY(QDir().mkpath(dir.filePath("real")));
    QVERIFY(QFile::link(dir.filePath("real"), dir.filePath("linked")));
    // Named through a linked folder, in bytes that are not UTF-8: the thumbnail is the real folder's.
    const QByteArray linked = QFile::encodeName(dir.filePath("linked")) + "/p\xE9 #1.jpg";
    const QByteArray real = QFile::encodeName(QFileInfo(dir.filePath("real")).canonicalFilePath()) + "/p\xE9 #1.jpg";
    write(dir.filePath("new.jpg"), jpegOf(QSize(600, 400), Qt::red));
    QVERIFY(::rename(QFile::encodeName(dir.filePath("new.jpg")).constData(), linked.constData()) == 0);
    const auto removeOdd = qScopeGuard([&] { ::unlink(real.constData()); }); // beyond QTemporaryDir
    const QString shown = base::DecodeName(linked.constData(), size_t(linked.size()));
    setMTime(shown, 1600000000);
    const ThumbnailCache cache(root);
    const ThumbnailCache::Thumbnail made = cache.Fetch(shown, 128);
    QCOMPARE(made.source, Source::Picture);
    QCOMPARE(made.image.size(), QSize(128, 85));
    const QString stored = cacheFile(root, "normal", real);
    QCOMPARE(filesUnder(root), QStringList{"normal/" + QFileInfo(stored).fileName()}); // no temporary left
    QCOMPARE(statOf(root).st_mode & 07777, 0700u);
    QCOMPARE(statOf(root + "/normal").st_mode & 07777, 0700u);
    QCOMPARE(statOf(stored).st_mode & 07777, 0600u);
    QImageReader reader(stored, "png");
    const QImage png = reader.read();
    QCOMPARE(png.format(), QImage::Format_ARGB32); // 8-bit RGBA
    QCOMPARE(png.size(), QSize(128, 85));
    QCOMPARE(png.text("Thumb::URI"), QString::fromLatin1(ThumbnailUri(real)));
    QCOMPARE(png.text("Thumb::MTime"), QString("1600000000"));
    QCOMPARE(png.text("Thumb::Size"), QString::number(statOf(shown).st_size));
    QCOMPARE(png.text("Thumb::Image::Width"), QString("600"));
    QCOMPARE(png.text("Thumb::Image::Height"), QString("400"));

    QCOMPARE(cache.Fetch(shown, 128).source, Source::Cache);
    QCOMPARE(cache.Fetch(shown, 100).image.size(), QSize(100, 66)); // a box between sizes
    QCOMPARE(cache.Fetch(shown, 256).image.size(), QSize(256, 170));
    QVERIFY(QFile::exists(cacheFile(root, "large", real)));
    setMTime(shown, 1600000001);
    QCOMPARE(cache.Fetch(shown, 128).source, Source::Picture);
    // A picture smaller than the size is never enlarged.
    const QString small = write(dir.filePath("real/small.jpg"), jpegOf(QSize(40, 30), Qt::red));
    QCOMPARE(cache.Fetch(small, 256).image.size(), QSize(40, 30));
}

void TestThumbnails::othersThumbnailUsedOnlyWhileItMatches_data()
{
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QString>("uriSuffix");
    QTest::addColumn<qint64>("mtimeDelta");
    QTest::addColumn<QString>("size"); // "" leaves the key out, "*" writes the file's own
    QTest::addColumn<Source>("expected");
    QTest::newRow("all match") << QByteArray("normal") << QString() << qint64(0) << QString("*") << Source::Cache;
    QTest::newRow("no size key") << QByteArray("normal") << QString() << qint64(0) << QString() << Source::Cache;
    QTest::newRow("other time") << QByteArray("normal") << QString() << qint64(-1) << QString("*") << Source::Picture;
    QTest::newRow("other size") << QByteArray("normal") << QString() << qint64(0) << QString("7") << Source::Picture;
    QTest::newRow("other file") << QByteArray("normal") << QString("x") << qint64(0) << QString() << Source::Picture;
    QTest::newRow("only a large one") << QByteArray("large") << QString() << qint64(0) << QString("*") << Source::Larger;
    QTest::newRow("stale large one") << QByteArray("x-large") << QString() << qint64(3) << QString() << Source::Picture;
}

void TestThumbnails::othersThumbnailUsedOnlyWhileItMatches()
{
    QFETCH(QByteArray, folder);
    QFETCH(QString, uriSuffix);
    QFETCH(qint64, mtimeDelta);
    QFETCH(QString, size);
    QFETCH(Source, expected);
    QTemporaryDir dir;
    const QString root = dir.filePath("thumbnails");
    const QString path = write(QFileInfo(dir.path()).canonicalFilePath() + "/photo.jpg", jpegOf(QSize(400, 300), Qt::red));
    setMTime(path, 1500000000);
    // As another program writes it: Qt's own PNG writer, texts in its own way, another picture.
    QImage other(256, 192, QImage::Format_ARGB32);
    other.fill(Qt::blue);
    other.setText("Thumb::URI", QString::fromLatin1(ThumbnailUri(base::EncodePath(path))) + uriSuffix);
    other.setText("Thumb::MTime", QString::number(1500000000 + mtimeDelta));
    if (!size.isEmpty())
        other.setText("Thumb::Size", size == "*" ? QString::number(QFileInfo(path).size()) : size);
    QVERIFY(QDir().mkpath(root + '/' + folder));
    QVERIFY(other.save(cacheFile(root, folder.constData(), base::EncodePath(path)), "PNG"));

    const ThumbnailCache::Thumbnail got = ThumbnailCache(root).Fetch(path, 128);
    QCOMPARE(got.source, expected);
    QCOMPARE(got.image.size(), QSize(128, 96));
    QVERIFY(near(got.image.pixel(64, 48), expected == Source::Picture ? QColor(Qt::red) : QColor(Qt::blue)));
    // What was used or made is now the normal one, valid for the file.
    QCOMPARE(ThumbnailCache(root).Fetch(path, 128).source, Source::Cache);
}

void TestThumbnails::failureRememberedUntilTheFileChanges()
{
    QTemporaryDir dir;
    const QString root = dir.filePath("thumbnails");
    const QString path = write(dir.filePath("broken.jpg"), QByteArray("\xFF\xD8\xFF\xE0 not really", 16));
    setMTime(path, 1400000000);
    const ThumbnailCache cache(root);
    QCOMPARE(cache.Fetch(path, 128).source, Source::Failed);
    const QStringList files = filesUnder(root);
    QCOMPARE(files.size(), 1);
    QVERIFY2(files[0].startsWith("fail/quorvel-") && files[0].endsWith(".png"), qPrintable(files[0]));
    const QImage entry(root + '/' + files[0]);
    QCOMPARE(entry.text("Thumb::URI"), QString::fromLatin1(ThumbnailUri(base::EncodePath(QFileInfo(path).canonicalFilePath()))));
    QCOMPARE(entry.text("Thumb::MTime"), QString("1400000000"));
    QCOMPARE(cache.Fetch(path, 256).source, Source::KnownFailure);

    setMTime(path, 1400000060); // changed: tried again
    QCOMPARE(cache.Fetch(path, 128).source, Source::Failed);
    write(path, jpegOf(QSize(64, 64), Qt::red));
    QCOMPARE(cache.Fetch(path, 128).source, Source::Picture);
}

void TestThumbnails::nothingStoredWhereItMustNotBe_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("cache under a file") << "under a file";
    QTest::newRow("cache folder read-only") << "read-only";
    QTest::newRow("picture inside the cache") << "inside";
}

void TestThumbnails::nothingStoredWhereItMustNotBe()
{
    QFETCH(QString, where);
    QTemporaryDir dir;
    QString root = dir.filePath("thumbnails");
    QString path = write(dir.filePath("photo.jpg"), jpegOf(QSize(300, 300), Qt::red));
    QVERIFY(QDir().mkpath(root + "/normal"));
    if (where == "under a file") {
        root = path + "/thumbnails";
    } else if (where == "read-only") {
        if (::geteuid() == 0)
            QSKIP("the superuser writes anywhere");
        QVERIFY(::chmod(base::EncodePath(root + "/normal").constData(), 0500) == 0);
    } else {
        QVERIFY(QDir().mkpath(root + "/large/sub"));
        path = write(root + "/large/sub/inside.jpg", jpegOf(QSize(300, 300), Qt::red));
    }
    const QStringList before = filesUnder(dir.path());
    const ThumbnailCache::Thumbnail got = ThumbnailCache(root).Fetch(path, 128);
    QCOMPARE(got.source, Source::Picture);
    QCOMPARE(got.image.size(), QSize(128, 128));
    QCOMPARE(filesUnder(dir.path()), before);
}

void TestThumbnails::cameraThumbnail_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QSize>("thumbnail");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("corrupt");
    QTest::addColumn<bool>("fromExif");
    QTest::addColumn<QSize>("size");
    const QSize camera(160, 120);
    QTest::newRow("large enough") << 128 << camera << 1 << false << true << QSize(128, 96);
    QTest::newRow("exactly the size") << 160 << camera << 1 << false << true << QSize(160, 120);
    QTest::newRow("too small") << 256 << camera << 1 << false << false << QSize(256, 192);
    QTest::newRow("letterboxed shape") << 128 << QSize(160, 100) << 1 << false << false << QSize(128, 96);
    QTest::newRow("turned right") << 128 << camera << 6 << false << true << QSize(96, 128);
    QTest::newRow("turned left") << 128 << camera << 8 << false << true << QSize(96, 128);
    QTest::newRow("decoded, turned") << 256 << camera << 8 << false << false << QSize(192, 256);
    QTest::newRow("broken thumbnail") << 128 << camera << 1 << true << false << QSize(128, 96);
}

void TestThumbnails::cameraThumbnail()
{
    QFETCH(int, box);
    QFETCH(QSize, thumbnail);
    QFETCH(int, orientation);
    QFETCH(bool, corrupt);
    QFETCH(bool, fromExif);
    QFETCH(QSize, size);
    // The picture is green and blue side by side, its thumbnail magenta and yellow.
    QByteArray small = jpegOf(thumbnail, Qt::magenta, Qt::yellow);
    if (corrupt)
        small.truncate(small.size() / 3);
    QTemporaryDir dir;
    const QString path = write(dir.filePath("camera.jpg"),
                               ExifWriter::withExif(jpegOf(QSize(1200, 900), Qt::green, Qt::blue), orientation, small));
    const ThumbnailPicture got = DecodeThumbnail(path, box);
    QCOMPARE(got.fromExif, fromExif);
    QCOMPARE(got.image.size(), size);
    QCOMPARE(got.natural, orientation >= 5 ? QSize(900, 1200) : QSize(1200, 900));
    // The picture's left half is at the top once turned right (6), at the bottom once turned left (8).
    const QColor first = fromExif ? QColor(Qt::magenta) : QColor(Qt::green);
    const QColor second = fromExif ? QColor(Qt::yellow) : QColor(Qt::blue);
    const QPoint a = orientation == 1 ? QPoint(2, size.height() / 2) : QPoint(size.width() / 2, 2);
    const QPoint b = orientation == 1 ? QPoint(size.width() - 3, size.height() / 2) : QPoint(size.width() / 2, size.height() - 3);
    QVERIFY(near(got.image.pixel(orientation == 8 ? b : a), first));
    QVERIFY(near(got.image.pixel(orientation == 8 ? a : b), second));
}

void TestThumbnails::hostileFilesFailInBoundedTime_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("remembered");
    QTest::newRow("endless scans") << HostilePictures::progressiveJpeg(QSize(8000, 8000), 3000) << true;
    QTest::newRow("huge GIF screen") << HostilePictures::gifWithScreen(QSize(65535, 65535), 4096) << true;
    // An EXIF block whose thumbnail claims to run 4 KiB past its segment, into a picture too large.
    QByteArray exif = ExifWriter::withExif(HostilePictures::progressiveJpeg(QSize(60000, 60000), 1, 20000), 1,
                                           jpegOf(QSize(160, 160), Qt::red));
    exif[2 + 4 + 6 + 48 + 1] = char(exif[2 + 4 + 6 + 48 + 1] + 0x10); // IFD1's thumbnail length
    QTest::newRow("EXIF length past its segment") << exif << true;
    QTest::newRow("a FIFO") << QByteArray() << false;
}

void TestThumbnails::hostileFilesFailInBoundedTime()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, remembered);
    QTemporaryDir dir;
    const QString path = dir.filePath("hostile.jpg");
    if (bytes.isEmpty())
        QVERIFY(::mkfifo(base::EncodePath(path).constData(), 0600) == 0);
    else
        write(path, bytes);
    QElapsedTimer timer;
    timer.start();
    const ThumbnailCache::Thumbnail got = ThumbnailCache(dir.filePath("thumbnails")).Fetch(path, 128);
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(got.image.isNull());
    QCOMPARE(got.source, Source::Failed);
    QCOMPARE(filesUnder(dir.filePath("thumbnails")).size(), remembered ? 1 : 0);
}

void TestThumbnails::corpusThumbnailsKeepTheirShape()
{
    const QString corpus = QStringLiteral(QUORVEL_CORPUS_DIR);
    if (!QFileInfo(corpus).isDir())
        QSKIP("no corpus of third-party pictures");
    QLoggingCategory::setFilterRules("qt.gui.imageio*=false");
    int compared = 0;
    QDirIterator it(corpus, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(".txt"))
            continue;
        const ThumbnailPicture thumb = DecodeThumbnail(path, 128);
        const std::optional<PictureInfo> info = ReadPictureInfo(path);
        if (thumb.image.isNull() || !info)
            continue;
        QVERIFY2(thumb.image.width() <= 128 && thumb.image.height() <= 128, qPrintable(path));
        // Upright like the picture shown (a camera's thumbnail turned with it).
        const QSize natural = info->pixels;
        if (!info->isMetafile && qAbs(natural.width() - natural.height()) > natural.width() / 4) {
            QVERIFY2((thumb.image.width() > thumb.image.height()) == (natural.width() > natural.height()), qPrintable(path));
            ++compared;
        }
    }
    QVERIFY(compared > 0);
}

namespace {

// A fetch that notes each path it is given and gives a small picture (none for paths ending "!").
struct FakeFetch
{
    std::shared_ptr<QMutex> lock = std::make_shared<QMutex>();
    std::shared_ptr<QStringList> asked = std::make_shared<QStringList>();
    std::shared_ptr<QSemaphore> gate; // when set, each fetch takes one from it first
    // Fetches on the window thread, or on a thread no nicer than it.
    std::shared_ptr<std::atomic<int>> misplaced = std::make_shared<std::atomic<int>>(0);
    QSize size{16, 16};

    ThumbnailQueue::Fetch function() const
    {
        return [*this](const QString &path, int) {
            if (gate)
                gate->acquire();
            if (QThread::currentThread() == qApp->thread()
                || ::getpriority(PRIO_PROCESS, id_t(::gettid())) <= ::getpriority(PRIO_PROCESS, id_t(::getpid())))
                ++*misplaced;
            {
                const QMutexLocker locker(lock.get());
                asked->append(path);
            }
            ThumbnailCache::Thumbnail t;
            if (!path.endsWith('!')) {
                t.image = QImage(size, QImage::Format_RGB32);
                t.image.fill(Qt::red);
            }
            return t;
        };
    }
    QStringList seen() const
    {
        const QMutexLocker locker(lock.get());
        return *asked;
    }
};

QStringList rows(std::initializer_list<std::pair<int, int>> ranges)
{
    QStringList out;
    for (const auto &[from, to] : ranges)
        for (int r = from; from <= to ? r <= to : r >= to; r += from <= to ? 1 : -1)
            out << QString::number(r);
    return out;
}

} // namespace

void TestThumbnails::queueOrder_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("up");
    QTest::addColumn<bool>("fillRest");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("scrolling down") << 10 << 14 << false << true << rows({{10, 14}, {15, 19}, {0, 9}, {20, 39}});
    QTest::newRow("scrolling up") << 10 << 14 << true << true << rows({{10, 14}, {9, 5}, {0, 4}, {15, 39}});
    QTest::newRow("at the end") << 36 << 39 << false << true << rows({{36, 39}, {0, 35}});
    QTest::newRow("at the top, up") << 0 << 4 << true << true << rows({{0, 4}, {5, 39}});
    QTest::newRow("only what is near") << 10 << 14 << false << false << rows({{10, 14}, {15, 19}});
}

void TestThumbnails::queueOrder()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(bool, up);
    QFETCH(bool, fillRest);
    QFETCH(QStringList, order);
    const FakeFetch fake;
    ThumbnailQueue queue(fake.function(), 1);
    QSignalSpy ready(&queue, &ThumbnailQueue::ready);
    QSignalSpy failed(&queue, &ThumbnailQueue::failedRow);
    queue.setFiles(40, [](int row) { return row == 12 ? QStringLiteral("12!") : QString::number(row); });
    queue.setFillRest(fillRest);
    queue.setVisible(first, last, up ? ThumbnailQueue::Scroll::Up : ThumbnailQueue::Scroll::Down);
    QTRY_VERIFY(queue.idle());
    QStringList seen = fake.seen();
    seen.replaceInStrings("!", "");
    QCOMPARE(seen, order);
    QCOMPARE(fake.misplaced->load(), 0);
    const bool twelve = order.contains("12");
    QCOMPARE(failed.size(), twelve ? 1 : 0);
    QCOMPARE(queue.failed(12), twelve);
    QVERIFY(queue.thumbnail(12).isNull());
    QCOMPARE(ready.size(), order.size() - (twelve ? 1 : 0));
    QCOMPARE(queue.thumbnail(first).size(), QSize(16, 16));
}

void TestThumbnails::scrollingFarFetchesOnlyWhereItStops()
{
    FakeFetch fake;
    fake.gate = std::make_shared<QSemaphore>(0);
    ThumbnailQueue queue(fake.function(), 2);
    queue.setFillRest(false);
    queue.setFiles(100000, [](int row) { return QString::number(row); });
    queue.setVisible(0, 19);
    QTest::qWait(20); // both workers now wait on their first rows
    for (int first = 20; first + 19 < 100000; first += 20) {
        queue.setVisible(first, first + 19);
        if (first % 2000 == 0)
            QCoreApplication::processEvents();
    }
    fake.gate->release(1000000);
    QTRY_VERIFY(queue.idle());
    QStringList seen = fake.seen();
    QCOMPARE(seen.size(), 2 + 20);
    seen.sort();
    QStringList expected = rows({{0, 1}, {99980, 99999}});
    expected.sort();
    QCOMPARE(seen, expected);
}

void TestThumbnails::keptThumbnailsStayWithinBound()
{
    FakeFetch fake;
    fake.size = QSize(64, 64); // 16 KiB each
    ThumbnailQueue queue(fake.function(), 2);
    queue.setKeptBytes(100 * 1024);
    queue.setFiles(300, [](int row) { return QString::number(row); });
    queue.setVisible(0, 9); // 20 rows on screen and next: 320 KiB, kept beyond the bound
    QTRY_VERIFY(queue.idle());
    QCOMPARE(fake.seen().size(), 300); // nothing fetched twice
    QVERIFY(queue.keptBytes() <= 320 * 1024);
    for (int row = 0; row < 20; ++row)
        QVERIFY(!queue.thumbnail(row).isNull());
    QVERIFY(queue.thumbnail(150).isNull());
    // Scrolled back to a row dropped since: fetched again.
    queue.setVisible(150, 159);
    QTRY_VERIFY(!queue.thumbnail(150).isNull());
}

void TestThumbnails::resultsForFilesNoLongerShownAreDropped()
{
    FakeFetch fake;
    fake.gate = std::make_shared<QSemaphore>(0);
    auto queue = std::make_unique<ThumbnailQueue>(fake.function(), 1);
    queue->setFiles(10, [](int row) { return "old" + QString::number(row); });
    queue->setVisible(0, 0);
    QTest::qWait(20);
    queue->setFiles(10, [](int row) { return row == 0 ? QStringLiteral("new0!") : "new" + QString::number(row); });
    fake.gate->release(1);
    QTRY_COMPARE(fake.seen(), QStringList{"old0"});
    QTest::qWait(20);
    QVERIFY(queue->thumbnail(0).isNull()); // old0's picture is not new0's
    fake.gate->release(1);
    QTRY_VERIFY(queue->failed(0));
    // Gone while a fetch is in flight: its result goes nowhere.
    queue->setVisible(1, 1);
    QTest::qWait(20);
    queue.reset();
    fake.gate->release(100);
    QTest::qWait(50);
    QVERIFY(fake.seen().contains("new1"));
}

QTEST_MAIN(TestThumbnails)
#include "tst_thumbnails.moc"
