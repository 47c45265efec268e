#include "display/ShowSequence.h"

#include <QTest>

using display::NextPicture;
using display::ShowState;

namespace {

struct Show
{
    clsLinkList showList, pictureList;
    int32_t count = 0;
    QString tag, mode, onScreen;
    FixedRandom random;

    Show(const QStringList &names, const QString &showMode, std::vector<double> numbers = {0.0})
        : mode(showMode), random(std::move(numbers))
    {
        pictureList.Sorted(true);
        for (const QString &n : names)
            showList.AddItem(n);
        count = int32_t(names.size());
    }

    // One change: the next picture goes up.
    QString next(int32_t *position = nullptr)
    {
        ShowState s{showList, pictureList, count, tag, mode, onScreen, random};
        int32_t p = -99;
        onScreen = NextPicture(s, p);
        if (position)
            *position = p;
        return onScreen;
    }
};

} // namespace

class TestShowSequence : public QObject
{
    Q_OBJECT

private slots:
    void nameOrderWraps();
    void onePictureRepeats();
    void randomDealsAtEveryWrap();
    void newDealStartingWithThePictureOnScreenSkipsIt();
    void droppedPictureLeavesTheNextForLater();
};

void TestShowSequence::nameOrderWraps()
{
    Show s({"A", "B", "C"}, "Normal");
    QStringList seen;
    QList<int> positions;
    for (int i = 0; i < 7; ++i) {
        int32_t p;
        seen << s.next(&p);
        positions << p;
    }
    QCOMPARE(seen, (QStringList{"A", "B", "C", "A", "B", "C", "A"}));
    QCOMPARE(positions, (QList<int>{0, 1, 2, 0, 1, 2, 0}));
    QCOMPARE(s.tag, QStringLiteral("0"));
    QCOMPARE(s.random.calls(), 0);
}

void TestShowSequence::onePictureRepeats()
{
    Show s({"A"}, "Random");
    for (int i = 0; i < 3; ++i)
        QCOMPARE(s.next(), QStringLiteral("A"));
}

void TestShowSequence::randomDealsAtEveryWrap()
{
    // The first order is the scan's; at the wrap the list is dealt anew from its current order.
    Show s({"A", "B", "C"}, "Random", {0.99, 0.0, 0.0});
    QCOMPARE(s.next(), QStringLiteral("A"));
    QCOMPARE(s.next(), QStringLiteral("B"));
    QCOMPARE(s.next(), QStringLiteral("C"));
    // Deal from A B C: 0.99 x 3 -> C (the one on screen), 0 -> A, 0 -> B: C A B.
    int32_t p;
    QCOMPARE(s.next(&p), QStringLiteral("A")); // C is passed over
    QCOMPARE(p, 1);
    QCOMPARE(s.next(), QStringLiteral("B"));
    QCOMPARE(s.showList.ListCount(), 3);
    QCOMPARE(s.pictureList.ListCount(), 0);
    QVERIFY(!s.showList.Sorted());
}

void TestShowSequence::newDealStartingWithThePictureOnScreenSkipsIt()
{
    // Two pictures, B on screen at the end; the deal puts B first, so the pass starts at 1.
    Show s({"A", "B"}, "Random", {0.7, 0.0});
    s.next();
    s.next();
    QCOMPARE(s.onScreen, QStringLiteral("B"));
    int32_t p;
    QCOMPARE(s.next(&p), QStringLiteral("A"));
    QCOMPARE(p, 1);
    // The next deal starts from B A: 0.7 takes A, then B; A is on screen, so B comes at 1.
    QCOMPARE(s.next(&p), QStringLiteral("B"));
    QCOMPARE(p, 1);
    QCOMPARE(s.showList.List(0, 0).toString(), QStringLiteral("A"));
}

void TestShowSequence::droppedPictureLeavesTheNextForLater()
{
    // B fails: the show removes it at its position and asks again; the tag still holds B's
    // position, so C is passed over in this pass.
    Show s({"A", "B", "C", "D"}, "Normal");
    s.next();
    int32_t p;
    QCOMPARE(s.next(&p), QStringLiteral("B"));
    s.showList.RemoveItem(p);
    --s.count;
    s.onScreen = QStringLiteral("A"); // B never went up
    QCOMPARE(s.next(&p), QStringLiteral("D"));
    QCOMPARE(s.next(), QStringLiteral("A"));
    QCOMPARE(s.next(), QStringLiteral("C"));
}

QTEST_GUILESS_MAIN(TestShowSequence)
#include "tst_showsequence.moc"
