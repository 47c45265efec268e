// The show's scan on its own thread: the waiting window, cancelling, and a screen that stays
// alive. The walk is slowed by a delay before each folder.

#include "app/basSlides.h"
#include "collection/PictureScan.h"
#include "dialogs/frmScan.h"

#include "TestUtil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

frmScan *visibleScanWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *scan = qobject_cast<frmScan *>(w); scan && scan->isVisible())
            return scan;
    return nullptr;
}

// The seeded numbers, each draw taking a while: a deal of a few hundred pictures lasts seconds.
// Counts the draws made and those under way.
class SlowRandom : public RandomSource
{
public:
    SlowRandom(uint64_t seed, int delayMs) : m_numbers(seed), m_delayMs(delayMs) {}
    double Next() override
    {
        ++inside;
        std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
        const double r = m_numbers.Next();
        ++calls;
        --inside;
        return r;
    }
    std::atomic<int> calls{0};
    std::atomic<int> inside{0};

private:
    ClockSeededRandom m_numbers;
    int m_delayMs;
};

// What a scan's folder hook shares with the test; held by the hook too, in case the scan
// outlives the test.
struct HookState
{
    std::atomic<int> calls{0};
    std::atomic<int> inside{0};
    std::atomic<bool> release{false}; // lets a folder that "never answers" answer
    std::atomic<bool> stuckLeft{false};
};

// Slows each folder by `delayMs`; the folder numbered `stuckAt` (from 1) waits for release.
std::function<void()> folderHook(const std::shared_ptr<HookState> &state, int delayMs, int stuckAt = -1)
{
    return [state, delayMs, stuckAt] {
        ++state->inside;
        const int n = ++state->calls;
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        if (n == stuckAt) {
            while (!state->release)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            state->stuckLeft = true;
        }
        --state->inside;
    };
}

struct ScanRun
{
    qint64 shownAt = -1, actedAt = -1, returnedAt = -1; // ms from the start of the scan
    QString firstCount;                                  // the count its window showed first
};

// A show's scan over `root` with its subfolders; Esc goes in `cancelAfterMs` after the window
// appears (never when < 0).
ScanRun runScan(const QString &root, const QString &mode, int cancelAfterMs, std::function<void()> beforeFolder)
{
    ScanRun run;
    QElapsedTimer clock;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        frmScan *w = visibleScanWindow();
        if (!w)
            return;
        const qint64 now = clock.elapsed();
        if (run.shownAt < 0) {
            run.shownAt = now;
            run.firstCount = w->lblCount->text();
        }
        if (cancelAfterMs >= 0 && run.actedAt < 0 && now >= run.shownAt + cancelAfterMs) {
            run.actedAt = now;
            QTest::keyClick(w, Qt::Key_Escape);
        }
    });
    clock.start();
    tick.start();
    dialogs::ScanForShow(root, true, mode, std::move(beforeFolder));
    run.returnedAt = clock.elapsed();
    return run;
}

} // namespace

class TestScanWait : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void scan_data();
    void scan();
    void cancelEndsTheScan_data();
    void cancelEndsTheScan();
    void nextScanAfterCancel_data();
    void nextScanAfterCancel();

private:
    QTemporaryDir m_dir;
    QString m_root;
};

void TestScanWait::init()
{
    QVERIFY(m_dir.isValid());
    m_root = base::WithSeparator(m_dir.path());
    if (QDir(m_root + "f000").exists())
        return;
    // 200 folders of two pictures and a text, in a two-level tree.
    for (int f = 0; f < 200; ++f) {
        const QString folder = m_root + QStringLiteral("f%1/").arg(f / 10, 3, 10, QLatin1Char('0'))
            + QStringLiteral("g%1/").arg(f, 3, 10, QLatin1Char('0'));
        for (const char *name : {"b.JPG", "a.gif", "notes.txt"})
            QVERIFY(testutil::writeFile(folder + QLatin1String(name)));
    }
}

void TestScanWait::scan_data()
{
    QTest::addColumn<int>("delayMs");    // before each folder
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("action"); // what the user does once the window is up
    QTest::newRow("quick scan: no window") << 0 << "Random" << "";
    QTest::newRow("long scan to its end") << 4 << "Random" << "";
    QTest::newRow("long scan, name order") << 4 << "Normal" << "";
    QTest::newRow("Esc") << 40 << "Normal" << "esc";
    QTest::newRow("Cancel button") << 40 << "Random" << "click";
    QTest::newRow("close box") << 40 << "Normal" << "close";
}

void TestScanWait::scan()
{
    QFETCH(int, delayMs);
    QFETCH(QString, mode);
    QFETCH(QString, action);
    const bool cancels = !action.isEmpty();

    // What a scan on this thread finds, with the same random numbers.
    clsLinkList pictures, expected;
    ClockSeededRandom referenceRandom(99);
    const int32_t expectedCount =
        collection::BuildShowList(m_root, true, mode, pictures, expected, referenceRandom, base::FileSys());
    QCOMPARE(expectedCount, 400);

    basSlides::InitSharedState();
    basSlides::SetRandom(std::make_unique<ClockSeededRandom>(99));
    basSlides::ShowList.AddItem(QStringLiteral("/left over/from before.jpg"));
    basSlides::PictureCount = 1;

    QElapsedTimer clock;
    qint64 shownAt = -1, actedAt = -1, maxGap = 0, lastTick = 0;
    QStringList counts;
    QRect windowFrame;
    // Ticks of this thread's own timer: the longest gap says how long the screen was frozen.
    QTimer tick;
    tick.setInterval(10);
    connect(&tick, &QTimer::timeout, this, [&] {
        const qint64 now = clock.elapsed();
        maxGap = std::max(maxGap, now - lastTick);
        lastTick = now;
        frmScan *w = visibleScanWindow();
        if (!w)
            return;
        if (shownAt < 0) {
            shownAt = now;
            windowFrame = w->frameGeometry();
            QCOMPARE(w->lblMessage->text(), QStringLiteral("Looking for pictures…"));
            QCOMPARE(w->cmdCancel->text(), QStringLiteral("Cancel"));
            QVERIFY(w->isModal());
        }
        if (counts.isEmpty() || counts.last() != w->lblCount->text())
            counts << w->lblCount->text();
        if (cancels && actedAt < 0 && now >= shownAt + 300) {
            actedAt = now;
            if (action == QLatin1String("esc"))
                QTest::keyClick(w, Qt::Key_Escape);
            else if (action == QLatin1String("click"))
                QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
            else
                w->close();
        }
    });
    clock.start();
    tick.start();
    dialogs::ScanForShow(m_root, true, mode, [delayMs] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    });
    const qint64 returnedAt = clock.elapsed();
    tick.stop();

    QVERIFY(!visibleScanWindow());
    QVERIFY2(maxGap < 100, qPrintable(QString::number(maxGap)));
    if (delayMs == 0) {
        QVERIFY2(returnedAt < dialogs::kScanWindowDelayMs, qPrintable(QString::number(returnedAt)));
        QCOMPARE(shownAt, qint64(-1));
    } else {
        // Up after half a second, in the middle of the screen, counting as it goes.
        QVERIFY2(shownAt >= dialogs::kScanWindowDelayMs && shownAt < dialogs::kScanWindowDelayMs + 100,
                 qPrintable(QString::number(shownAt)));
        const QPoint offCentre = windowFrame.center() - QGuiApplication::primaryScreen()->geometry().center();
        QVERIFY2(offCentre.manhattanLength() <= 2, qPrintable(QStringLiteral("%1,%2").arg(offCentre.x()).arg(offCentre.y())));
        const qint64 upFor = (cancels ? actedAt : returnedAt) - shownAt;
        QVERIFY2(counts.size() >= 2 && counts.size() * 1000 >= upFor * 3,
                 qPrintable(counts.join(u'|') + QStringLiteral(" in %1 ms").arg(upFor)));
        QVERIFY(counts.last().endsWith(QLatin1String(" pictures found")));
        QVERIFY(counts.last().split(u' ').first().toInt() <= 400);
    }
    QVERIFY(basSlides::PictureList.Sorted());
    QCOMPARE(basSlides::PictureList.ListCount(), 0);
    if (cancels) {
        // Back at once, as if the folder held no pictures.
        QVERIFY2(returnedAt - actedAt < 100, qPrintable(QString::number(returnedAt - actedAt)));
        QCOMPARE(basSlides::PictureCount, 0);
        QCOMPARE(basSlides::ShowList.ListCount(), 0);
        QVERIFY(returnedAt < 200 * delayMs / 2);
    } else {
        QCOMPARE(basSlides::PictureCount, expectedCount);
        QCOMPARE(testutil::column0(basSlides::ShowList), testutil::column0(expected));
        QCOMPARE(basSlides::ShowList.Sorted(), expected.Sorted());
    }
}

void TestScanWait::cancelEndsTheScan_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("folderDelayMs");
    QTest::addColumn<int>("drawDelayMs");
    QTest::newRow("in the walk") << "Normal" << 40 << 0;
    QTest::newRow("in the random deal") << "Random" << 0 << 5; // 400 draws: two seconds
}

void TestScanWait::cancelEndsTheScan()
{
    // Once a cancelled scan has returned, nothing of it runs on: no folder, no random draw.
    QFETCH(QString, mode);
    QFETCH(int, folderDelayMs);
    QFETCH(int, drawDelayMs);
    basSlides::InitSharedState();
    auto owned = std::make_unique<SlowRandom>(7, drawDelayMs);
    SlowRandom *random = owned.get();
    basSlides::SetRandom(std::move(owned));
    auto hook = std::make_shared<HookState>();

    const ScanRun run = runScan(m_root, mode, 100, folderHook(hook, folderDelayMs));
    QVERIFY(run.actedAt >= 0);
    QVERIFY2(run.returnedAt - run.actedAt < 100, qPrintable(QString::number(run.returnedAt - run.actedAt)));
    if (drawDelayMs > 0)
        QVERIFY2(random->calls > 0 && random->calls < 400, qPrintable(QString::number(random->calls))); // in the deal
    else
        QVERIFY2(hook->calls > 1 && hook->calls < 200, qPrintable(QString::number(hook->calls))); // in the walk
    QCOMPARE(hook->inside.load(), 0);
    QCOMPARE(random->inside.load(), 0);
    const int folders = hook->calls, draws = random->calls;
    QTest::qWait(300);
    QCOMPARE(hook->calls.load(), folders);
    QCOMPARE(random->calls.load(), draws);
    QCOMPARE(basSlides::PictureCount, 0);
    QCOMPARE(basSlides::ShowList.ListCount(), 0);
    QCOMPARE(basSlides::PictureList.ListCount(), 0);
}

void TestScanWait::nextScanAfterCancel_data()
{
    QTest::addColumn<QString>("mode");     // of the cancelled scan
    QTest::addColumn<int>("drawDelayMs");
    QTest::addColumn<int>("stuckAt");      // the folder the cancelled scan cannot get out of
    QTest::newRow("cancelled in its deal") << "Random" << 5 << -1;
    QTest::newRow("cancelled in a folder that does not answer") << "Random" << 0 << 3;
}

void TestScanWait::nextScanAfterCancel()
{
    // The next show's scan starts at once and counts its own pictures, whatever the cancelled
    // one is still doing; a cancelled scan stuck in the file system leaves its user at once and
    // later ends without touching what the next scan made.
    QFETCH(QString, mode);
    QFETCH(int, drawDelayMs);
    QFETCH(int, stuckAt);
    clsLinkList pictures, nameOrder;
    ClockSeededRandom unused(1);
    collection::BuildShowList(m_root, true, QStringLiteral("Normal"), pictures, nameOrder, unused, base::FileSys());

    basSlides::InitSharedState();
    auto owned = std::make_unique<SlowRandom>(7, drawDelayMs);
    SlowRandom *random = owned.get();
    basSlides::SetRandom(std::move(owned));
    auto first = std::make_shared<HookState>();
    // Whatever happens below, the stuck folder answers before the test ends.
    const std::shared_ptr<void> answerAtEnd(nullptr, [first](void *) { first->release = true; });

    const ScanRun cancelled = runScan(m_root, mode, 100, folderHook(first, 0, stuckAt));
    QVERIFY(cancelled.actedAt >= 0);
    QVERIFY2(cancelled.returnedAt - cancelled.actedAt < 400,
             qPrintable(QString::number(cancelled.returnedAt - cancelled.actedAt)));
    QCOMPARE(basSlides::PictureCount, 0);
    const int draws = random->calls;

    auto second = std::make_shared<HookState>();
    // Esc only if it hangs: it should end by itself in about a second.
    const ScanRun next = runScan(m_root, QStringLiteral("Normal"), 3000, folderHook(second, 4));
    QVERIFY(next.shownAt >= 0);
    QVERIFY2(next.firstCount != QStringLiteral("0 pictures found"), qPrintable(next.firstCount));
    QCOMPARE(next.actedAt, qint64(-1));
    QCOMPARE(basSlides::PictureCount, 400);
    QCOMPARE(testutil::column0(basSlides::ShowList), testutil::column0(nameOrder));

    if (stuckAt > 0) {
        QCOMPARE(first->calls.load(), stuckAt);
        first->release = true;
        QTRY_VERIFY(first->stuckLeft.load());
        QTest::qWait(100);
        // It stopped where it was: no further folder, no draw, nothing of it in the shared lists.
        QCOMPARE(first->calls.load(), stuckAt);
        QCOMPARE(random->calls.load(), draws);
        QCOMPARE(basSlides::PictureCount, 400);
        QCOMPARE(testutil::column0(basSlides::ShowList), testutil::column0(nameOrder));
    }
}

QTEST_MAIN(TestScanWait)
#include "tst_scanwait.moc"
