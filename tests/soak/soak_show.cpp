// Soak run of the show: a folder of 500 pictures of every kind, good and bad, shown through
// thousands of changes in name and random order, the way a user leaves a show running for hours.
// Fails (exit status 1) when memory grows, when the show stops, or when a picture that cannot be
// read reaches the screen; a crash fails it too. Not part of the test suite: `make soak` runs it.
//
//   soak_show [--changes N] [--seed S]

#include "app/Main.h"
#include "app/SettingsRules.h"
#include "app/basSlides.h"
#include "browser/frmFiles.h"
#include "display/frmSlides.h"
#include "base/FileSys.h"
#include "platform/Screen.h"
#include "platform/SharedForm.h"

#include "ColorQuantizer.h"
#include "GifWriter.h"
#include "IconWriter.h"
#include "WmfWriter.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <memory>

using platform::SharedForm;

namespace {

constexpr int kFiles = 500;
constexpr int kSegments = 5;            // shows started one after another, orders alternating
constexpr int kDeletions = 20;          // good pictures deleted while a show runs
constexpr double kAllowedGrowth = 0.10; // of the resident memory after the first tenth
// The pictures on screen and decoded ahead take from almost nothing (an icon) to several MiB
// (two full-screen images and the scaled copy): each figure is the lowest over the changes
// leading up to its mark, so that it does not depend on which pictures happen to be up.
constexpr int kFloorWindow = 100;

// The folder's files by what they are meant to be.
struct Folder
{
    QSet<QString> good; // must show
    QSet<QString> bad;  // garbage, empty, header only: must never reach the screen
    QSet<QString> cut;  // cut in their data: shown in part or dropped, either is right
};

QImage scene(QSize size, QRandomGenerator &rng, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(size, format);
    image.fill(Qt::transparent);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor::fromHsv(rng.bounded(360), 120, 230));
    sky.setColorAt(1, QColor::fromHsv(rng.bounded(360), 200, 90));
    p.fillRect(image.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 6; ++i) {
        p.setBrush(QColor::fromHsv(rng.bounded(360), 180, 200));
        const int w = 1 + rng.bounded(std::max(1, size.width() / 2));
        const int h = 1 + rng.bounded(std::max(1, size.height() / 2));
        p.drawEllipse(rng.bounded(size.width()), rng.bounded(size.height()), w, h);
    }
    return image;
}

// A flat-coloured picture: GIFs keep every colour, so the palette is exact.
QImage poster(QSize size, QRandomGenerator &rng)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(rng.bounded(360), 150, 220));
    QPainter p(&image);
    for (int i = 0; i < 8; ++i)
        p.fillRect(rng.bounded(size.width()), rng.bounded(size.height()), 1 + rng.bounded(size.width()),
                   1 + rng.bounded(size.height()), QColor::fromHsv(rng.bounded(360), 200, 160));
    return image;
}

QByteArray imageBytes(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 85);
    return bytes;
}

QSize someSize(QRandomGenerator &rng, int smallest, int largest)
{
    return QSize(smallest + rng.bounded(largest - smallest), smallest + rng.bounded(largest - smallest));
}

QByteArray goodBytes(const QString &ext, QRandomGenerator &rng)
{
    if (ext == QLatin1String("bmp"))
        return imageBytes(scene(someSize(rng, 40, 900), rng), "BMP");
    if (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg"))
        return imageBytes(scene(someSize(rng, 40, 1600), rng), "JPEG");
    if (ext == QLatin1String("gif")) {
        const QImage picture = poster(someSize(rng, 20, 500), rng);
        GifWriter writer(picture.size());
        writer.addFrame(ColorQuantizer::toIndexed(picture, 256, ColorQuantizer::Dither::None));
        return writer.encode();
    }
    if (ext == QLatin1String("ico") || ext == QLatin1String("cur")) {
        IconWriter writer;
        static const int sides[] = {16, 24, 32, 48, 64, 128, 256};
        const int entries = 1 + rng.bounded(3);
        for (int i = 0; i < entries; ++i) {
            const int side = sides[rng.bounded(int(std::size(sides)))];
            writer.addImage(scene(QSize(side, side), rng, QImage::Format_ARGB32),
                            side == 256 && ext == QLatin1String("ico") ? IconWriter::Storage::Png : IconWriter::Storage::Dib,
                            QPoint(side / 2, side / 2));
        }
        return writer.encode(ext == QLatin1String("ico") ? IconWriter::Kind::Icon : IconWriter::Kind::Cursor);
    }
    // Metafile: shapes on a frame, with or without the placeable header.
    const QSize design = someSize(rng, 100, 800);
    WmfWriter wmf(design, 1 + rng.bounded(4));
    wmf.setPen(WmfWriter::PenStyle::None, 0, Qt::black);
    wmf.setBrush(WmfWriter::BrushStyle::Solid, QColor::fromHsv(rng.bounded(360), 120, 220));
    wmf.rectangle(QRect(QPoint(0, 0), design));
    for (int i = 0; i < 5; ++i) {
        wmf.setPen(WmfWriter::PenStyle::Solid, 1 + rng.bounded(4), QColor::fromHsv(rng.bounded(360), 200, 100));
        wmf.setBrush(i % 2 ? WmfWriter::BrushStyle::Hatched : WmfWriter::BrushStyle::Solid,
                     QColor::fromHsv(rng.bounded(360), 180, 200), WmfWriter::Hatch(rng.bounded(6)));
        const QRect r(rng.bounded(design.width()), rng.bounded(design.height()), 1 + rng.bounded(design.width() / 2),
                      1 + rng.bounded(design.height() / 2));
        if (i % 3 == 0)
            wmf.ellipse(r);
        else if (i % 3 == 1)
            wmf.rectangle(r);
        else
            wmf.polygon(QPolygon({r.topLeft(), r.topRight(), r.bottomLeft()}));
    }
    return rng.bounded(4) == 0 ? wmf.toStandard() : wmf.toPlaceable(rng.bounded(2) ? 1440 : 576);
}

QByteArray garbage(QRandomGenerator &rng)
{
    QByteArray bytes(100 + rng.bounded(5000), Qt::Uninitialized);
    for (char &c : bytes)
        c = char(rng.bounded(256));
    bytes[0] = char(0xA5); // no format starts so
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// 500 files in a shuffled name order, so that the kinds and the bad ones are spread through the
// show: 420 good (60 of each kind), 50 bad and 30 cut.
bool makeFolder(const QString &root, QRandomGenerator &rng, Folder &folder)
{
    static const char *const exts[] = {"bmp", "jpg", "jpeg", "gif", "ico", "cur", "wmf"};
    QList<int> order;
    for (int i = 0; i < kFiles; ++i)
        order << i;
    for (int i = kFiles - 1; i > 0; --i)
        order.swapItemsAt(i, rng.bounded(i + 1));
    for (int i = 0; i < kFiles; ++i) {
        const QString ext = QString::fromLatin1(exts[i % 7]);
        // Letter case of the extension varies, as it does on disks that came from elsewhere.
        const QString shownExt = i % 11 == 0 ? ext.toUpper() : ext;
        const QString path = QStringLiteral("%1pic%2.%3").arg(root).arg(order[i], 3, 10, QLatin1Char('0')).arg(shownExt);
        QByteArray bytes;
        if (i < 420) {
            bytes = goodBytes(ext, rng);
            folder.good.insert(path);
        } else if (i < 470) {
            const QByteArray sound = goodBytes(ext, rng);
            switch (i % 4) {
            case 0: bytes = garbage(rng); break;
            case 1: bytes = QByteArray(); break;
            case 2: bytes = "this is not a picture\n"; break;
            default: bytes = sound.left(2 + rng.bounded(10)); break; // the magic, hardly more
            }
            folder.bad.insert(path);
        } else {
            const QByteArray sound = goodBytes(ext, rng);
            bytes = sound.left(sound.size() * (10 + rng.bounded(50)) / 100);
            folder.cut.insert(path);
        }
        if (bytes.isEmpty() && !folder.bad.contains(path)) {
            std::fprintf(stderr, "soak: could not encode %s\n", qPrintable(path));
            return false;
        }
        if (!writeFile(path, bytes)) {
            std::fprintf(stderr, "soak: could not write %s\n", qPrintable(path));
            return false;
        }
    }
    return true;
}

double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

// Lets the window system and the deferred deletes run, as the event loop does between changes.
void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Memory in use, as far as the process holds it: the allocator's free lists handed back first,
// so that what is counted is what the program keeps, not how the heap happens to be cut up.
double measure()
{
    settle();
    malloc_trim(0);
    return residentMiB();
}

QSet<QString> showNames()
{
    QSet<QString> names;
    for (int32_t i = 0; i < basSlides::ShowList.ListCount(); ++i)
        names.insert(basSlides::ShowList.List(i, 0).toString());
    return names;
}

class Soak
{
public:
    Soak(const QString &root, Folder folder, int changes, quint64 seed)
        : m_root(root), m_folder(std::move(folder)), m_changes(changes), m_rng(seed)
    {
    }

    int run();

private:
    bool startShow(bool random);
    bool endShow();
    bool change();
    void countDrops();
    void deleteOneAhead(frmSlides &show);
    bool fail(const QString &why)
    {
        std::fprintf(stderr, "soak: FAILED at change %d: %s\n", m_done, qPrintable(why));
        return false;
    }

    QString m_root;
    Folder m_folder;
    int m_changes;
    QRandomGenerator m_rng;
    qint64 m_now = 1000;
    int m_done = 0;
    int m_droppedBad = 0;    // drops of files that cannot be read
    int m_droppedCut = 0;    // drops of files cut in their data
    int m_droppedGone = 0;   // drops of files deleted after the scan
    int m_unexpected = 0;    // drops of good files still on disk: a fault
    QSet<QString> m_deleted;
    QSet<QString> m_inShow;  // the running show's names, to tell which one a drop took
};

bool Soak::startShow(bool random)
{
    frmFiles &browser = SharedForm<frmFiles>::Get();
    // The show measures its delay on this clock; the soak moves it on instead of waiting.
    frmSlides &show = SharedForm<frmSlides>::Get();
    show.Clock = [this] { return m_now; };
    if (random)
        browser.mnuRandom_Click();
    else
        browser.mnuSlides_Click();
    settle();
    if (!SharedForm<frmSlides>::IsLoaded() || !SharedForm<frmSlides>::Get().isVisible())
        return fail(QStringLiteral("the %1 show did not start").arg(random ? "random" : "name-order"));
    // The start itself drops what it cannot show before the first picture goes up.
    m_inShow = m_folder.good | m_folder.bad | m_folder.cut;
    countDrops();
    return true;
}

bool Soak::endShow()
{
    QTest::keyClick(&SharedForm<frmSlides>::Get(), Qt::Key_Escape);
    settle();
    if (SharedForm<frmSlides>::IsLoaded() || !SharedForm<frmFiles>::IsLoaded()
        || !SharedForm<frmFiles>::Get().isVisible())
        return fail(QStringLiteral("Esc did not bring the browser back"));
    return true;
}

// Deletes the good picture the show has decoded ahead, or else one it has yet to reach in this
// pass, so that the show meets the deletion before the soak checks for it.
void Soak::deleteOneAhead(frmSlides &show)
{
    QString victim = show.AheadName();
    if (!m_folder.good.contains(victim) || victim == show.picSlide.Tag) {
        victim.clear();
        const int32_t next = base::ToInt32(base::LeadingNumber(show.tmrChangeTag) + 1);
        const int32_t count = basSlides::ShowList.ListCount();
        for (int tries = 0; tries < 20 && victim.isEmpty() && next < count; ++tries) {
            const QString name = basSlides::ShowList.List(next + int32_t(m_rng.bounded(count - next)), 0).toString();
            if (m_folder.good.contains(name) && name != show.picSlide.Tag)
                victim = name;
        }
    }
    if (victim.isEmpty() || !QFile::remove(victim))
        return;
    m_folder.good.remove(victim);
    m_deleted.insert(victim);
}

bool Soak::change()
{
    frmSlides &show = SharedForm<frmSlides>::Get();
    const QString before = show.picSlide.Tag;
    const int32_t countBefore = basSlides::PictureCount;
    const quint32 pick = m_rng.bounded(100);
    if (pick < 35) {
        QTest::keyClick(&show, Qt::Key_Space);
    } else if (pick < 55) {
        QTest::keyClick(&show, Qt::Key_Return);
    } else {
        if (pick < 58) // now and then the user picks another delay
            QTest::keyClick(&show, Qt::Key(Qt::Key_F2 + m_rng.bounded(9)));
        m_now += qint64(show.TimeDelay) * 1000;
        show.tmrChange_Timer();
    }
    settle();
    ++m_done;

    if (!SharedForm<frmSlides>::IsLoaded() || !show.isVisible())
        return fail(QStringLiteral("the show stopped"));
    const QString shown = show.picSlide.Tag;
    if (shown == before && basSlides::PictureCount > 1)
        return fail(QStringLiteral("no change from %1").arg(before));
    if (m_folder.bad.contains(shown) || m_deleted.contains(shown))
        return fail(QStringLiteral("%1 reached the screen").arg(shown));
    if (!show.imgSlide->isVisible() || show.picSlide.Picture.isNull())
        return fail(QStringLiteral("nothing on screen for %1").arg(shown));
    if (basSlides::PictureCount < countBefore)
        countDrops();
    return true;
}

void Soak::countDrops()
{
    const QSet<QString> now = showNames();
    for (const QString &gone : m_inShow - now) {
        if (m_folder.bad.contains(gone)) {
            ++m_droppedBad;
        } else if (m_folder.cut.contains(gone)) {
            ++m_droppedCut;
        } else if (m_deleted.contains(gone)) {
            ++m_droppedGone;
        } else {
            ++m_unexpected;
            std::fprintf(stderr, "soak: good picture dropped: %s\n", qPrintable(gone));
        }
    }
    m_inShow = now;
}

int Soak::run()
{
    basSlides::Main(m_root);
    basSlides::SetRandom(std::make_unique<ClockSeededRandom>(m_rng.generate64()));
    settle();
    const int perSegment = m_changes / kSegments;
    const int firstMark = m_changes / 10;
    // Deletions come in the first half of each of the first three shows, so that each show
    // still meets every deleted picture before it ends.
    const int deleteEvery = std::max(1, perSegment / 2 * 3 / kDeletions);
    double early = 0;
    double late = 0;
    const auto floorOf = [](double &figure) {
        const double now = measure();
        figure = figure > 0 ? std::min(figure, now) : now;
    };
    QElapsedTimer clock;
    clock.start();

    for (int segment = 0; segment < kSegments; ++segment) {
        const bool random = segment % 2 == 1;
        if (!startShow(random))
            return 1;
        const int end = segment + 1 == kSegments ? m_changes : (segment + 1) * perSegment;
        const int start = m_done;
        while (m_done < end) {
            const int offset = m_done - start;
            if (segment < 3 && offset < perSegment / 2 && offset % deleteEvery == deleteEvery / 2
                && m_deleted.size() < kDeletions)
                deleteOneAhead(SharedForm<frmSlides>::Get());
            if (!change())
                return 1;
            if (m_done > firstMark - kFloorWindow && m_done <= firstMark)
                floorOf(early);
            if (m_done > m_changes - kFloorWindow)
                floorOf(late);
        }
        // A full-length show meets every picture at least once: by its end nothing that cannot
        // be read is left in it, and every good picture is.
        const QSet<QString> left = showNames();
        if (end - start >= kFiles && (!(left & m_folder.bad).isEmpty() || !(left & m_deleted).isEmpty()))
            return fail(QStringLiteral("unreadable pictures still in the show")), 1;
        if ((left & m_folder.good) != m_folder.good)
            return fail(QStringLiteral("good pictures missing from the show")), 1;
        std::printf("show %d (%s): %d changes, %d pictures left, %.0f s so far\n", segment + 1,
                    random ? "Random" : "Normal", m_done, int(basSlides::PictureCount), clock.elapsed() / 1000.0);
        std::fflush(stdout);
        if (!endShow())
            return 1;
    }

    const double growth = early > 0 ? (late - early) / early : 1.0;
    std::printf("RSS after %d: %.1f MiB, after %d: %.1f MiB, growth %.1f%%\n", firstMark, early, m_changes, late,
                growth * 100.0);
    std::printf("pictures dropped as bad: %d unreadable, %d cut short, %d deleted after the scan "
                "(%d files deleted, %d changes in %.0f s)\n",
                m_droppedBad, m_droppedCut, m_droppedGone, int(m_deleted.size()), m_done, clock.elapsed() / 1000.0);
    int status = 0;
    if (m_unexpected > 0) {
        std::fprintf(stderr, "soak: FAILED: %d good pictures dropped\n", m_unexpected);
        status = 1;
    }
    if (m_droppedBad == 0) {
        std::fprintf(stderr, "soak: FAILED: no unreadable picture was dropped\n");
        status = 1;
    }
    if (growth > kAllowedGrowth) {
        std::fprintf(stderr, "soak: FAILED: memory grew %.1f%% (at most %.0f%%)\n", growth * 100.0,
                     kAllowedGrowth * 100.0);
        status = 1;
    }
    SharedForm<frmFiles>::Unload();
    settle();
    platform::SetScreenPointer(platform::vbDefault);
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    int changes = 5000;
    quint64 seed = 20240601;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray option = argv[i];
        if (option == "--changes")
            changes = std::max(kSegments * 100, QByteArray(argv[i + 1]).toInt());
        else if (option == "--seed")
            seed = QByteArray(argv[i + 1]).toULongLong();
    }
    // Hundreds of broken pictures on purpose: the decoders' complaints about each would bury the figures.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "qt.gui.imageio*=false");
    // Headless unless a platform is asked for: the show would otherwise take over the screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    // The user's own settings are neither read nor overwritten.
    QTemporaryDir config;
    QTemporaryDir pictures;
    if (!config.isValid() || !pictures.isValid()) {
        std::fprintf(stderr, "soak: no temporary folder\n");
        return 1;
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());

    QRandomGenerator rng(seed);
    const QString root = base::WithSeparator(pictures.path());
    Folder folder;
    std::printf("soak: seed %llu, %d changes, folder %s\n", static_cast<unsigned long long>(seed), changes,
                qPrintable(root));
    std::fflush(stdout);
    if (!makeFolder(root, rng, folder))
        return 1;
    Soak soak(root, std::move(folder), changes, rng.generate64());
    return soak.run();
}
