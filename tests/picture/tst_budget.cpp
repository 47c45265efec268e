#include "picture/Budget.h"
#include "picture/PictureLoader.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentRun>
#include <QtTest>

#include <malloc.h>

using namespace picture;

class TestBudget : public QObject
{
    Q_OBJECT

private slots:
    void holdsWhatFitsNow_data();
    void holdsWhatFitsNow();
    void waitsHoldingNothing();
    void waitingDecodesDoNotBlockEachOther();
    void decodeThatWaitsKeepsNoFileBytes();
};

void TestBudget::holdsWhatFitsNow_data()
{
    QTest::addColumn<qint64>("othersHold");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("asked");
    QTest::addColumn<bool>("held");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<qint64>("inUse"); // afterwards, the others included
    QTest::newRow("fits") << qint64(0) << qint64(0) << qint64(100) << true << false << qint64(100);
    QTest::newRow("fits exactly") << qint64(40) << qint64(0) << qint64(60) << true << false << qint64(100);
    QTest::newRow("grows") << qint64(0) << qint64(30) << qint64(80) << true << false << qint64(80);
    QTest::newRow("never shrinks") << qint64(0) << qint64(80) << qint64(30) << true << false << qint64(80);
    QTest::newRow("room once others finish") << qint64(50) << qint64(0) << qint64(51) << false << true << qint64(50);
    QTest::newRow("growing past the room") << qint64(50) << qint64(20) << qint64(60) << false << true << qint64(70);
    QTest::newRow("more than the whole budget") << qint64(0) << qint64(0) << qint64(101) << false << false << qint64(0);
}

void TestBudget::holdsWhatFitsNow()
{
    QFETCH(qint64, othersHold);
    QFETCH(qint64, first);
    QFETCH(qint64, asked);
    QFETCH(bool, held);
    QFETCH(bool, busy);
    QFETCH(qint64, inUse);
    Budget budget(100);
    Reservation others(budget);
    QVERIFY(others.hold(othersHold));
    Reservation r(budget);
    QVERIFY(r.hold(first));
    QCOMPARE(r.hold(asked), held);
    QCOMPARE(r.Busy(), busy);
    QCOMPARE(budget.InUse(), inUse);
    if (!held)
        QCOMPARE(r.Wanted(), asked);
}

void TestBudget::waitsHoldingNothing()
{
    Budget budget(100);
    auto blocker = std::make_unique<Reservation>(budget);
    QVERIFY(blocker->hold(90));
    Reservation waiter(budget);
    QVERIFY(waiter.hold(10));
    QFuture<void> wait = QtConcurrent::run([&] { waiter.WaitFor(60); });
    QTest::qWait(100);
    QVERIFY(!wait.isFinished());
    QCOMPARE(budget.InUse(), qint64(90)); // its 10 went back while it waits
    blocker.reset();
    wait.waitForFinished();
    QCOMPARE(waiter.Held(), qint64(60));
    QCOMPARE(budget.InUse(), qint64(60));
}

void TestBudget::waitingDecodesDoNotBlockEachOther()
{
    // Two decodes that each hold part of the budget and both need more: neither may wait
    // holding its part, or both would wait for ever.
    Budget budget(100);
    Reservation a(budget), b(budget);
    QVERIFY(a.hold(50));
    QVERIFY(b.hold(50));
    QVERIFY(!a.hold(80) && a.Busy());
    QVERIFY(!b.hold(80) && b.Busy());
    std::atomic<int> decoded{0};
    const auto decode = [&decoded](Reservation &r) {
        r.WaitFor(80);
        QThread::msleep(20);
        ++decoded;
        r.WaitFor(0); // done: its share goes back
    };
    QFuture<void> first = QtConcurrent::run([&] { decode(a); });
    QFuture<void> second = QtConcurrent::run([&] { decode(b); });
    QTRY_COMPARE_WITH_TIMEOUT(decoded.load(), 2, 5000);
    first.waitForFinished();
    second.waitForFinished();
    QCOMPARE(budget.InUse(), qint64(0));
}

void TestBudget::decodeThatWaitsKeepsNoFileBytes()
{
    // A large JPEG whose file fits beside what others hold but whose decode does not: while it
    // waits for them, the bytes it read must not stay allocated out of the ledger's sight.
    QTemporaryDir dir;
    const QString path = dir.filePath("padded.jpg");
    {
        QImage image(4000, 3000, QImage::Format_RGB32);
        image.fill(qRgb(90, 140, 200));
        QVERIFY(image.save(path, "JPEG", 80));
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write(QByteArray(48 << 20, '\0')); // after the end of the picture: read, never decoded
    }
    const qint64 fileBytes = QFileInfo(path).size();
    Budget &budget = Budget::Process();
    auto others = std::make_unique<Reservation>();
    const qint64 room = 100 << 20;
    QVERIFY(others->hold(budget.Total() - budget.InUse() - room));
    const qint64 othersHold = budget.InUse();
    QVERIFY(fileBytes < room);

    const size_t mappedBefore = mallinfo2().hblkhd;
    QFuture<QImage> decode = QtConcurrent::run([path] { return DecodePicture(path); });
    QTest::qWait(800); // read, refused for want of room, waiting
    QVERIFY(!decode.isFinished());
    QCOMPARE(budget.InUse(), othersHold);
    const qint64 stillMapped = qint64(mallinfo2().hblkhd) - qint64(mappedBefore);
    QVERIFY2(stillMapped < fileBytes / 2, qPrintable(QStringLiteral("%1 bytes still allocated").arg(stillMapped)));
    others.reset();
    const QImage image = decode.result();
    QCOMPARE(image.size(), QSize(4000, 3000));
    QCOMPARE(budget.InUse(), qint64(0));
}

QTEST_MAIN(TestBudget)
#include "tst_budget.moc"
