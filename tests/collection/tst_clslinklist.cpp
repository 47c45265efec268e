#include "collection/clsLinkList.h"

#include <QRandomGenerator>
#include <QTest>

#include <vector>

namespace {

QStringList column0(const clsLinkList &l)
{
    QStringList out;
    for (int32_t i = 0; i < l.ListCount(); ++i)
        out << l.List(i, 0).toString();
    return out;
}

// The list's rules written out step by step, as plainly as they read: the reference that the
// fast list must agree with, row for row and cell for cell.
struct LinearList
{
    std::vector<std::vector<QVariant>> rows;
    int dims = 1;
    bool sorted = true;
    int newIndex = 0;

    void add(const QVariant &v)
    {
        rows.emplace_back(size_t(dims));
        const int count = int(rows.size());
        if (!sorted) {
            rows.back()[0] = v;
            newIndex = count - 1;
            return;
        }
        int at = -1;
        for (int i = 0; i <= count - 2; ++i) {
            if (clsLinkList::Compare(rows[size_t(i)][0], v) >= 0) {
                at = i;
                break;
            }
        }
        if (at == -1)
            at = count - 1;
        for (int j = count - 2; j >= at; --j)
            rows[size_t(j) + 1] = rows[size_t(j)];
        rows[size_t(at)][0] = v;
        newIndex = at;
    }
};

void expectSame(const clsLinkList &fast, const LinearList &ref)
{
    QCOMPARE(fast.ListCount(), int32_t(ref.rows.size()));
    QCOMPARE(fast.NewIndex(), ref.newIndex);
    for (size_t i = 0; i < ref.rows.size(); ++i)
        for (int k = 0; k < ref.dims; ++k)
            QCOMPARE(fast.List(int32_t(i), int16_t(k)), ref.rows[i][size_t(k)]);
}

QString randomName(QRandomGenerator &g)
{
    static const QString alphabet = QStringLiteral("aAbBzZ\\/._09");
    QString s;
    const int len = int(g.bounded(1, 4));
    for (int i = 0; i < len; ++i)
        s += alphabet[int(g.bounded(alphabet.size()))];
    return s;
}

} // namespace

class TestLinkList : public QObject
{
    Q_OBJECT

private slots:
    void sortedAddOrderAndNewIndex_data();
    void sortedAddOrderAndNewIndex();
    void equalValueGoesInFrontOfEqualRows();
    void unsortedKeepsOrderOfAdding();
    void outOfRangeReadsAndWrites();
    void removeRules();
    void cursorIsNeverClamped();
    void dimsAndSortedChangeOnlyWhileEmpty();
    void copyAndMoveCarrySortedOver();
    void copyAndMoveOntoThemselves();
    void agreesWithLinearRule_data();
    void agreesWithLinearRule();
    void bulkAddEqualsOneByOne_data();
    void bulkAddEqualsOneByOne();
    void bulkAddIsFast();
};

void TestLinkList::sortedAddOrderAndNewIndex_data()
{
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QList<int>>("newIndexes");
    QTest::newRow("b a d") << QStringList{"b", "a", "d"} << QStringList{"a", "b", "d"} << QList<int>{0, 0, 2};
    QTest::newRow("upper before lower") << QStringList{"a", "Z"} << QStringList{"Z", "a"} << QList<int>{0, 0};
    QTest::newRow("backslash between cases")
        << QStringList{"a", "\\", "Z"} << QStringList{"Z", "\\", "a"} << QList<int>{0, 0, 0};
    QTest::newRow("prefix is smaller") << QStringList{"ab", "a", "abc"} << QStringList{"a", "ab", "abc"}
                                       << QList<int>{0, 0, 2};
    QTest::newRow("subfolder B before file a")
        << QStringList{"/p/a.jpg", "/p/B/x.jpg"} << QStringList{"/p/B/x.jpg", "/p/a.jpg"} << QList<int>{0, 0};
    QTest::newRow("empty text first") << QStringList{"x", ""} << QStringList{"", "x"} << QList<int>{0, 0};
}

void TestLinkList::sortedAddOrderAndNewIndex()
{
    QFETCH(QStringList, added);
    QFETCH(QStringList, expected);
    QFETCH(QList<int>, newIndexes);
    clsLinkList l;
    l.Sorted(true);
    for (qsizetype i = 0; i < added.size(); ++i) {
        l.AddItem(added[i]);
        QCOMPARE(l.NewIndex(), newIndexes[i]);
    }
    QCOMPARE(column0(l), expected);
}

void TestLinkList::equalValueGoesInFrontOfEqualRows()
{
    // Two columns show which row is which: the inserted row keeps the other cells of the row that
    // stood at its place before the shift; a row added at the end starts with empty cells.
    clsLinkList l;
    l.Dims(2);
    l.Sorted(true);
    for (const char *v : {"a", "b", "d"})
        l.AddItem(QString::fromLatin1(v));
    l.List(0, 1, QStringLiteral("A1"));
    l.List(1, 1, QStringLiteral("B1"));
    l.List(2, 1, QStringLiteral("D1"));
    l.AddItem(QStringLiteral("b"));
    QCOMPARE(l.NewIndex(), 1);
    QCOMPARE(column0(l), (QStringList{"a", "b", "b", "d"}));
    QCOMPARE(l.List(1, 1).toString(), QStringLiteral("B1"));
    QCOMPARE(l.List(2, 1).toString(), QStringLiteral("B1"));
    l.AddItem(QStringLiteral("z"));
    QCOMPARE(l.NewIndex(), 4);
    QVERIFY(!l.List(4, 1).isValid()); // never set: the empty variant, not ""
}

void TestLinkList::unsortedKeepsOrderOfAdding()
{
    clsLinkList l;
    for (const char *v : {"b", "a", "d", "a"}) {
        l.AddItem(QString::fromLatin1(v));
        QCOMPARE(l.NewIndex(), l.ListCount() - 1);
    }
    QCOMPARE(column0(l), (QStringList{"b", "a", "d", "a"}));
}

void TestLinkList::outOfRangeReadsAndWrites()
{
    clsLinkList l;
    l.AddItem(QStringLiteral("x"));
    for (auto [row, col] : {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}}) {
        const QVariant v = l.List(row, int16_t(col));
        QVERIFY2(v.typeId() == QMetaType::QString && v.toString().isEmpty(), "out of range reads the empty text");
        l.List(row, int16_t(col), QStringLiteral("written"));
    }
    QCOMPARE(column0(l), QStringList{"x"});
}

void TestLinkList::removeRules()
{
    clsLinkList l;
    for (const char *v : {"a", "b", "c"})
        l.AddItem(QString::fromLatin1(v));
    l.GetNext(0);
    l.RemoveItem(-1);
    l.RemoveItem(3);
    QCOMPARE(column0(l), (QStringList{"a", "b", "c"}));
    l.RemoveItem(1);
    QCOMPARE(column0(l), (QStringList{"a", "c"}));
    QCOMPARE(l.NewIndex(), 2); // removal leaves NewIndex ...
    QCOMPARE(l.GetPrev(0).toString(), QStringLiteral("a")); // ... and the cursor (was 1) alone
    l.RemoveItem(0);
    l.RemoveItem(0);
    QCOMPARE(l.ListCount(), 0);
    l.AddItem(QStringLiteral("new"));
    QCOMPARE(column0(l), QStringList{"new"});
}

void TestLinkList::cursorIsNeverClamped()
{
    clsLinkList l;
    QCOMPARE(l.GetFirst(0), QVariant(QString("")));
    for (const char *v : {"a", "b"})
        l.AddItem(QString::fromLatin1(v));
    QCOMPARE(l.GetFirst(0).toString(), QStringLiteral("a"));
    QCOMPARE(l.GetNext(0).toString(), QStringLiteral("b"));
    QCOMPARE(l.GetNext(0).toString(), QString()); // cursor 2
    QCOMPARE(l.GetNext(0).toString(), QString()); // cursor 3
    QCOMPARE(l.GetPrev(0).toString(), QString()); // back to 2: it kept counting
    QCOMPARE(l.GetPrev(0).toString(), QStringLiteral("b"));
    QVERIFY(!l.GetFirst(1).isValid());            // bad column: empty variant ...
    QCOMPARE(l.GetPrev(0).toString(), QStringLiteral("a")); // ... and the cursor stayed at 1
    QCOMPARE(l.GetPrev(0).toString(), QString());           // -1
    QCOMPARE(l.GetLast(0).toString(), QStringLiteral("b"));
}

void TestLinkList::dimsAndSortedChangeOnlyWhileEmpty()
{
    clsLinkList l;
    l.Dims(0);
    QCOMPARE(l.Dims(), int16_t(1)); // a row must hold column 0
    l.Dims(3);
    l.Sorted(true);
    l.AddItem(QStringLiteral("x"));
    l.Dims(5);
    l.Sorted(false);
    QCOMPARE(l.Dims(), int16_t(3));
    QVERIFY(l.Sorted());
    l.Clear();
    QCOMPARE(l.Dims(), int16_t(3));
    QVERIFY(l.Sorted());
    QCOMPARE(l.ListCount(), 0);
}

void TestLinkList::copyAndMoveCarrySortedOver()
{
    clsLinkList sorted, target, empty;
    sorted.Sorted(true);
    for (const char *v : {"c", "a", "b"})
        sorted.AddItem(QString::fromLatin1(v));

    target.CopyFrom(sorted);
    QCOMPARE(column0(target), (QStringList{"a", "b", "c"}));
    QCOMPARE(sorted.ListCount(), 3);
    QVERIFY(target.Sorted());
    target.Clear();
    target.Sorted(false);

    target.MoveFrom(sorted);
    QVERIFY(target.Sorted());
    QCOMPARE(sorted.ListCount(), 0);
    target.AddItem(QStringLiteral("a0")); // the moved rows form a sorted list
    QCOMPARE(column0(target), (QStringList{"a", "a0", "b", "c"}));

    target.CopyFrom(empty);
    QCOMPARE(target.ListCount(), 0);
    target.AddItem(QStringLiteral("z"));
    target.MoveFrom(empty);
    QCOMPARE(target.ListCount(), 0);
}

void TestLinkList::copyAndMoveOntoThemselves()
{
    clsLinkList l;
    l.AddItem(QStringLiteral("keep"));
    l.CopyFrom(l);
    l.MoveFrom(l);
    QCOMPARE(column0(l), QStringList{"keep"});

    // A target with fewer columns than its source takes the columns it has room for.
    clsLinkList wide, narrow;
    wide.Dims(2);
    wide.AddItem(QStringLiteral("w"));
    wide.List(0, 1, QStringLiteral("second"));
    narrow.AddItem(QStringLiteral("n"));
    narrow.CopyFrom(wide);
    QCOMPARE(narrow.Dims(), int16_t(1));
    QCOMPARE(column0(narrow), QStringList{"w"});
}

void TestLinkList::agreesWithLinearRule_data()
{
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("dims");
    for (int seed : {1, 2, 3, 4})
        for (int dims : {1, 2})
            QTest::newRow(qPrintable(QStringLiteral("seed %1, %2 columns").arg(seed).arg(dims))) << seed << dims;
}

void TestLinkList::agreesWithLinearRule()
{
    // Random adds, removals and stores that break the order; the fast list must match the plain
    // linear rule after every step, including after the order was broken.
    QFETCH(int, seed);
    QFETCH(int, dims);
    QRandomGenerator g{quint32(seed)};
    clsLinkList fast;
    fast.Dims(int16_t(dims));
    fast.Sorted(true);
    LinearList ref;
    ref.dims = dims;
    for (int step = 0; step < 600; ++step) {
        const int op = int(g.bounded(10));
        if (op < 7) {
            const QString v = randomName(g);
            fast.AddItem(v);
            ref.add(v);
        } else if (op < 9 && !ref.rows.empty()) {
            const int i = int(g.bounded(int(ref.rows.size())));
            fast.RemoveItem(i);
            ref.rows.erase(ref.rows.begin() + i);
        } else if (!ref.rows.empty()) {
            const int i = int(g.bounded(int(ref.rows.size())));
            const int k = int(g.bounded(dims));
            const QString v = randomName(g);
            fast.List(i, int16_t(k), v);
            ref.rows[size_t(i)][size_t(k)] = v;
        }
        expectSame(fast, ref);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("differs after step %1").arg(step)));
    }
}

void TestLinkList::bulkAddEqualsOneByOne_data()
{
    QTest::addColumn<bool>("sorted");
    QTest::addColumn<int>("already");
    QTest::newRow("sorted into empty") << true << 0;
    QTest::newRow("sorted into filled") << true << 50;
    QTest::newRow("unsorted") << false << 20;
}

void TestLinkList::bulkAddEqualsOneByOne()
{
    QFETCH(bool, sorted);
    QFETCH(int, already);
    QRandomGenerator g(7);
    clsLinkList one, bulk;
    one.Sorted(sorted);
    bulk.Sorted(sorted);
    for (int i = 0; i < already; ++i) {
        const QString v = randomName(g);
        one.AddItem(v);
        bulk.AddItem(v);
    }
    std::vector<QVariant> values;
    for (int i = 0; i < 300; ++i)
        values.emplace_back(randomName(g)); // short names: many equal values
    for (const QVariant &v : values)
        one.AddItem(v);
    bulk.AddItems(values);
    QCOMPARE(column0(bulk), column0(one));
    QCOMPARE(bulk.NewIndex(), one.NewIndex());
}

void TestLinkList::bulkAddIsFast()
{
    // 200,000 sorted rows: one shift per row would take minutes.
    std::vector<QVariant> values;
    for (int i = 0; i < 200000; ++i)
        values.emplace_back(QStringLiteral("/pictures/%1.jpg").arg((i * 7919) % 200000, 6, 10, QLatin1Char('0')));
    clsLinkList l;
    l.Sorted(true);
    QElapsedTimer t;
    t.start();
    l.AddItems(values);
    QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(l.List(0, 0).toString(), QStringLiteral("/pictures/000000.jpg"));
    QCOMPARE(l.List(199999, 0).toString(), QStringLiteral("/pictures/199999.jpg"));
    l.AddItem(QStringLiteral("/pictures/100000.jpg")); // binary search while in order
    QCOMPARE(l.NewIndex(), 100000);
}

QTEST_GUILESS_MAIN(TestLinkList)
#include "tst_clslinklist.moc"
