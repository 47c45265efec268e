#include "collection/clsLinkList.h"

#include "TestUtil.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

#include <vector>

namespace {

// The add as plainly as it reads, the reference the fast list must agree with: a sorted value
// goes at the first row whose column 0 is >= it, an unsorted one at the end; the row there moves
// down one and the new row keeps its other cells; a row added at the end has empty cells.
struct LinearList
{
    std::vector<std::vector<QVariant>> rows;
    int dims = 1;
    bool sorted = true;
    int newIndex = 0;

    void add(const QVariant &v)
    {
        size_t at = sorted ? 0 : rows.size();
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
    void sortedOrderAndNewIndex();
    void outOfRangeIsHarmless();
    void copyAndMove();
    void agreesWithLinearRule_data();
    void agreesWithLinearRule();
    void bulkAddIsFast();
};

void TestLinkList::sortedOrderAndNewIndex()
{
    // Binary compare (upper case, backslash, lower case), a prefix before its longer names, and
    // an equal value in front of the one already there.
    clsLinkList l;
    l.Sorted(true);
    for (const char *v : {"ab", "a", "\\", "Z", "abc", "b"})
        l.AddItem(QString(v));
    QCOMPARE(testutil::column0(l), (QStringList{"Z", "\\", "a", "ab", "abc", "b"}));
    l.AddItem(QStringLiteral("ab"));
    QCOMPARE(l.NewIndex(), 3);
}

void TestLinkList::outOfRangeIsHarmless()
{
    clsLinkList l;
    l.Dims(0);
    QCOMPARE(l.Dims(), int16_t(1)); // a row must hold column 0
    QCOMPARE(l.GetFirst(0), QVariant(QString("")));
    for (const char *v : {"a", "b", "c"})
        l.AddItem(QString(v));
    l.Dims(5); // ignored while filled: the cells are laid out for one column
    QCOMPARE(l.Dims(), int16_t(1));
    for (auto [row, col] : {std::pair{3, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}}) {
        const QVariant v = l.List(row, int16_t(col));
        QVERIFY2(v.typeId() == QMetaType::QString && v.toString().isEmpty(), "out of range reads the empty text");
        l.List(row, int16_t(col), QStringLiteral("written"));
    }
    l.RemoveItem(-1);
    l.RemoveItem(3);
    QCOMPARE(testutil::column0(l), (QStringList{"a", "b", "c"}));
    QVERIFY(!l.GetFirst(1).isValid());
    QCOMPARE(l.GetLast(0).toString(), QStringLiteral("c"));
    QCOMPARE(l.GetNext(0).toString(), QString()); // past the end: empty, not a stale row
}

void TestLinkList::copyAndMove()
{
    clsLinkList sorted, target, wide;
    sorted.Sorted(true);
    for (const char *v : {"c", "a", "b"})
        sorted.AddItem(QString(v));
    target.CopyFrom(sorted);
    QCOMPARE(sorted.ListCount(), 3);
    target.Clear();
    target.Sorted(false);
    target.MoveFrom(sorted); // carries Sorted over, and the moved rows form a sorted list
    QCOMPARE(sorted.ListCount(), 0);
    target.AddItem(QStringLiteral("a0"));
    QCOMPARE(testutil::column0(target), (QStringList{"a", "a0", "b", "c"}));

    // Onto itself: a move must not empty the list.
    target.CopyFrom(target);
    target.MoveFrom(target);
    QCOMPARE(testutil::column0(target), (QStringList{"a", "a0", "b", "c"}));

    // A target with fewer columns than its source takes the columns it has room for.
    wide.Dims(2);
    wide.AddItem(QStringLiteral("w"));
    wide.List(0, 1, QStringLiteral("second"));
    target.CopyFrom(wide);
    QCOMPARE(target.Dims(), int16_t(1));
    QCOMPARE(testutil::column0(target), QStringList{"w"});
}

void TestLinkList::agreesWithLinearRule_data()
{
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("dims");
    QTest::addColumn<bool>("sorted");
    for (int seed : {1, 2, 3, 4})
        for (int dims : {1, 2})
            QTest::addRow("seed %d, %d columns", seed, dims) << seed << dims << true;
    QTest::newRow("unsorted") << 5 << 2 << false;
}

void TestLinkList::agreesWithLinearRule()
{
    // Random adds one by one and in bulk (short names: many equal values), removals and stores
    // that break the order; after every step the fast list must match the reference cell for cell.
    QFETCH(int, seed);
    QFETCH(int, dims);
    QFETCH(bool, sorted);
    QRandomGenerator g{quint32(seed)};
    clsLinkList fast;
    fast.Dims(int16_t(dims));
    fast.Sorted(sorted);
    LinearList ref{{}, dims, sorted};
    for (int step = 0; step < 600; ++step) {
        const int op = int(g.bounded(10));
        if (op < 7) {
            std::vector<QVariant> values(op == 6 ? g.bounded(1, 60) : 1);
            for (QVariant &v : values) {
                v = randomName(g);
                ref.add(v);
            }
            if (values.size() == 1)
                fast.AddItem(values[0]);
            else
                fast.AddItems(values);
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
