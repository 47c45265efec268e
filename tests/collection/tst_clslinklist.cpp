#include "collection/clsLinkList.h"

#include <QElapsedTimer>
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

void fill(clsLinkList &l, const QStringList &values)
{
    for (const QString &v : values)
        l.AddItem(v);
}

// The sorted add as plainly as it reads, the reference the fast list must agree with: the value
// goes at the first row whose column 0 is >= it; that row moves down one and the new row keeps
// its other cells; a row added at the end has empty cells.
struct LinearList
{
    std::vector<std::vector<QVariant>> rows;
    int dims = 1;
    int newIndex = 0;

    void add(const QVariant &v)
    {
        size_t at = 0;
        while (at < rows.size() && clsLinkList::Compare(rows[at][0], v) < 0)
            ++at;
        std::vector<QVariant> row = at < rows.size() ? rows[at] : std::vector<QVariant>(size_t(dims));
        row[0] = v;
        rows.insert(rows.begin() + ptrdiff_t(at), row);
        newIndex = int(at);
    }
};

QString randomName(QRandomGenerator &g)
{
    static const QString alphabet = QStringLiteral("aAbBzZ\\/._09");
    QString s;
    for (int i = int(g.bounded(1, 4)); i > 0; --i)
        s += alphabet[int(g.bounded(alphabet.size()))];
    return s;
}

} // namespace

class TestLinkList : public QObject
{
    Q_OBJECT

private slots:
    void addOrderAndNewIndex_data();
    void addOrderAndNewIndex();
    void outOfRangeRemovalAndCursor();
    void dimsAndSortedChangeOnlyWhileEmpty();
    void copyAndMove();
    void agreesWithLinearRule_data();
    void agreesWithLinearRule();
    void bulkAddEqualsOneByOne_data();
    void bulkAddEqualsOneByOne();
    void bulkAddIsFast();
};

void TestLinkList::addOrderAndNewIndex_data()
{
    QTest::addColumn<bool>("sorted");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QList<int>>("newIndexes");
    QTest::newRow("b a d") << true << QStringList{"b", "a", "d"} << QStringList{"a", "b", "d"} << QList<int>{0, 0, 2};
    QTest::newRow("upper before lower") << true << QStringList{"a", "Z"} << QStringList{"Z", "a"} << QList<int>{0, 0};
    QTest::newRow("backslash between cases")
        << true << QStringList{"a", "\\", "Z"} << QStringList{"Z", "\\", "a"} << QList<int>{0, 0, 0};
    QTest::newRow("prefix is smaller")
        << true << QStringList{"ab", "a", "abc"} << QStringList{"a", "ab", "abc"} << QList<int>{0, 0, 2};
    QTest::newRow("subfolder B before file a")
        << true << QStringList{"/p/a.jpg", "/p/B/x.jpg"} << QStringList{"/p/B/x.jpg", "/p/a.jpg"} << QList<int>{0, 0};
    QTest::newRow("empty text first") << true << QStringList{"x", ""} << QStringList{"", "x"} << QList<int>{0, 0};
    QTest::newRow("unsorted keeps order of adding")
        << false << QStringList{"b", "a", "d", "a"} << QStringList{"b", "a", "d", "a"} << QList<int>{0, 1, 2, 3};
}

void TestLinkList::addOrderAndNewIndex()
{
    QFETCH(bool, sorted);
    QFETCH(QStringList, added);
    QFETCH(QStringList, expected);
    QFETCH(QList<int>, newIndexes);
    clsLinkList l;
    l.Sorted(sorted);
    for (qsizetype i = 0; i < added.size(); ++i) {
        l.AddItem(added[i]);
        QCOMPARE(l.NewIndex(), newIndexes[i]);
    }
    QCOMPARE(column0(l), expected);
}

void TestLinkList::outOfRangeRemovalAndCursor()
{
    clsLinkList l;
    QCOMPARE(l.GetFirst(0), QVariant(QString("")));
    fill(l, {"a", "b", "c"});
    for (auto [row, col] : {std::pair{3, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}}) {
        const QVariant v = l.List(row, int16_t(col));
        QVERIFY2(v.typeId() == QMetaType::QString && v.toString().isEmpty(), "out of range reads the empty text");
        l.List(row, int16_t(col), QStringLiteral("written"));
    }
    l.RemoveItem(-1);
    l.RemoveItem(3);
    QCOMPARE(column0(l), (QStringList{"a", "b", "c"}));
    QCOMPARE(l.GetFirst(0).toString(), QStringLiteral("a"));
    QCOMPARE(l.GetNext(0).toString(), QStringLiteral("b"));
    l.RemoveItem(2); // leaves NewIndex and the cursor (1) alone
    QCOMPARE(l.NewIndex(), 2);
    QCOMPARE(l.GetNext(0).toString(), QString()); // cursor 2: past the end ...
    QCOMPARE(l.GetNext(0).toString(), QString()); // 3
    QCOMPARE(l.GetPrev(0).toString(), QString()); // ... back to 2: it kept counting
    QCOMPARE(l.GetPrev(0).toString(), QStringLiteral("b"));
    QVERIFY(!l.GetFirst(1).isValid());                      // bad column: empty variant ...
    QCOMPARE(l.GetPrev(0).toString(), QStringLiteral("a")); // ... and the cursor stayed at 1
    QCOMPARE(l.GetPrev(0).toString(), QString());           // -1
    QCOMPARE(l.GetLast(0).toString(), QStringLiteral("b"));
    l.RemoveItem(0);
    l.RemoveItem(0);
    QCOMPARE(l.ListCount(), 0);
    l.AddItem(QStringLiteral("new"));
    QCOMPARE(column0(l), QStringList{"new"});
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
    QCOMPARE(l.ListCount(), 0);
    QCOMPARE(l.Dims(), int16_t(3));
    QVERIFY(l.Sorted());
}

void TestLinkList::copyAndMove()
{
    clsLinkList sorted, target, empty;
    sorted.Sorted(true);
    fill(sorted, {"c", "a", "b"});
    target.CopyFrom(sorted);
    QCOMPARE(column0(target), (QStringList{"a", "b", "c"}));
    QCOMPARE(sorted.ListCount(), 3);
    QVERIFY(target.Sorted());
    target.Clear();
    target.Sorted(false);
    target.MoveFrom(sorted); // carries Sorted over, and the moved rows form a sorted list
    QVERIFY(target.Sorted());
    QCOMPARE(sorted.ListCount(), 0);
    target.AddItem(QStringLiteral("a0"));
    QCOMPARE(column0(target), (QStringList{"a", "a0", "b", "c"}));

    target.CopyFrom(empty);
    QCOMPARE(target.ListCount(), 0);
    target.AddItem(QStringLiteral("z"));
    target.MoveFrom(empty);
    QCOMPARE(target.ListCount(), 0);

    // Onto itself: a move must not empty the list.
    target.AddItem(QStringLiteral("keep"));
    target.CopyFrom(target);
    target.MoveFrom(target);
    QCOMPARE(column0(target), QStringList{"keep"});

    // A target with fewer columns than its source takes the columns it has room for.
    clsLinkList wide;
    wide.Dims(2);
    wide.AddItem(QStringLiteral("w"));
    wide.List(0, 1, QStringLiteral("second"));
    target.CopyFrom(wide);
    QCOMPARE(target.Dims(), int16_t(1));
    QCOMPARE(column0(target), QStringList{"w"});
}

void TestLinkList::agreesWithLinearRule_data()
{
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("dims");
    for (int seed : {1, 2, 3, 4})
        for (int dims : {1, 2})
            QTest::addRow("seed %d, %d columns", seed, dims) << seed << dims;
}

void TestLinkList::agreesWithLinearRule()
{
    // Random adds (short names: many equal values), removals and stores that break the order;
    // after every step the fast list must match the reference cell for cell.
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
        const QByteArray where = "step " + QByteArray::number(step);
        QVERIFY2(fast.ListCount() == int32_t(ref.rows.size()), where);
        QVERIFY2(fast.NewIndex() == ref.newIndex, where);
        for (size_t i = 0; i < ref.rows.size(); ++i)
            for (int k = 0; k < dims; ++k)
                QVERIFY2(fast.List(int32_t(i), int16_t(k)) == ref.rows[i][size_t(k)], where);
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
        values.emplace_back(randomName(g));
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
