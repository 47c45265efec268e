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

#include <chrono>
#include <thread>

namespace {

frmScan *visibleScanWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *scan = qobject_cast<frmScan *>(w); scan && scan->isVisible())
            return scan;
    return nullptr;
}

} // namespace

class TestScanWait : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void scan_data();
    void scan();

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

QTEST_MAIN(TestScanWait)
#include "tst_scanwait.moc"
