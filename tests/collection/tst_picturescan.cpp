#include "collection/PictureScan.h"
#include "platform/FileSys.h"

#include "TestUtil.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

QStringList column0(const clsLinkList &l)
{
    QStringList out;
    for (int32_t i = 0; i < l.ListCount(); ++i)
        out << l.List(i, 0).toString();
    return out;
}

// The deal as plainly as it reads: draw k, append, remove, one entry at a time.
QStringList plainDeal(QStringList from, int times, RandomSource &random)
{
    QStringList out;
    for (int i = 0; i < times; ++i) {
        const int n = int(from.size());
        const int k = int(random.Next() * n);
        out << (k < n ? from[k] : QString());
        if (k < n)
            from.removeAt(k);
    }
    return out;
}

// The pictures AddPictureFiles finds, in name order.
QStringList found(const QString &folder, bool includeSubDirs)
{
    clsLinkList pictures;
    pictures.Sorted(true);
    AddPictureFiles(folder, includeSubDirs, pictures, platform::FileSys());
    return column0(pictures);
}

} // namespace

class TestPictureScan : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void pictureNames_data();
    void pictureNames();
    void nameOrderOverRealTree_data();
    void nameOrderOverRealTree();
    void namesThatAreNotUtf8KeptExactly();
    void linksAndLoopsAreEnteredOnce();
    void unreadableFolderIsSkipped();
    void missingFolderAddsNothing();
    void randomDealRestoresListRoles();
    void dealMatchesPlainRule_data();
    void dealMatchesPlainRule();
    void dealOfManyIsFast();

private:
    bool write(const QStringList &files) const
    {
        return std::all_of(files.begin(), files.end(),
                           [this](const QString &f) { return testutil::writeFile(m_root + f); });
    }

    std::unique_ptr<QTemporaryDir> m_dir; // a fresh folder for every test row
    QString m_root; // with the separator
    platform::FileSys m_fs;
};

void TestPictureScan::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_root = platform::WithSeparator(m_dir->path());
}

void TestPictureScan::pictureNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("picture");
    const std::pair<const char *, bool> rows[] = {
        {"a.jpg", true}, {"b.Jpeg", true}, {"c.BMP", true}, {"d.wmf", true}, {"e.gif", true}, {"f.ICO", true},
        {"g.cur", true}, {".gif", true}, {"e.png", false}, {"f.tif", false}, {"g.jpe", false}, {"xjpg", false},
        {"BMP", false}, {"e.bmp.txt", false}, {"jpeg", false}, {"a.jpg ", false}, {"", false},
        {"Ünïcödé.JPG", true}, {"ü.gıf", true}, // dotless i upper-cases to I
    };
    for (const auto &[name, picture] : rows)
        QTest::newRow(name[0] ? name : "(empty)") << QString::fromUtf8(name) << picture;
}

void TestPictureScan::pictureNames()
{
    QFETCH(QString, name);
    QFETCH(bool, picture);
    QCOMPARE(IsPictureName(name), picture);
    if (name.isEmpty())
        return;
    // The scan's fast test on the file's bytes must agree with the rule on the text.
    QVERIFY(write({name}));
    QCOMPARE(found(m_root, false).size(), picture ? 1 : 0);
}

void TestPictureScan::nameOrderOverRealTree_data()
{
    QTest::addColumn<bool>("includeSubDirs");
    QTest::addColumn<bool>("trailingSeparator");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("top only") << false << true << QStringList{".gif", "B.jpg", "a.JPG", "c.Jpeg"};
    QTest::newRow("top only, no separator") << false << false << QStringList{".gif", "B.jpg", "a.JPG", "c.Jpeg"};
    QTest::newRow("with subfolders") << true << false
                                     << QStringList{".gif", "B.jpg", "Sub/deep/z.wmf", "Sub/x.bmp", "a.JPG", "c.Jpeg",
                                                    "lower/y.GIF"};
}

void TestPictureScan::nameOrderOverRealTree()
{
    QFETCH(bool, includeSubDirs);
    QFETCH(bool, trailingSeparator);
    QFETCH(QStringList, expected);
    QVERIFY(write({"B.jpg", "a.JPG", "c.Jpeg", ".gif", "d.txt", "e.bmp.txt", "Sub/x.bmp", "Sub/notes.txt",
                   "Sub/deep/z.wmf", "lower/y.GIF", ".hidden/h.jpg", "empty/.keep"}));
    QVERIFY(QDir().mkpath(m_root + "nothing"));
    clsLinkList pictures, show;
    FixedRandom random({0.0});
    const QString folder = trailingSeparator ? m_root : m_dir->path();
    const int32_t count = ScanPictures(folder, includeSubDirs, QStringLiteral("Normal"), pictures, show, random, m_fs);
    for (QString &e : expected)
        e.prepend(m_root);
    QCOMPARE(column0(show), expected);
    QCOMPARE(count, int32_t(expected.size()));
    QCOMPARE(pictures.ListCount(), 0);
    QVERIFY(show.Sorted()); // carried over from the sorted list by the move
    QCOMPARE(random.calls(), 0);
}

void TestPictureScan::namesThatAreNotUtf8KeptExactly()
{
    // Each path found must lead back to its file's own bytes, or the show could not open it.
    const QByteArray root = platform::EncodePath(m_root);
    QVERIFY(::mkdir(root + "sub\xff", 0700) == 0);
    const QByteArrayList names{root + "K\xf6ln.jpg", root + "sub\xff/\xe9t\xe9.gif", root + "\xc3\xa9.bmp"};
    for (const QByteArray &name : names) {
        FILE *f = std::fopen(name, "w");
        QVERIFY(f);
        std::fclose(f);
    }
    QByteArrayList paths;
    for (const QString &p : found(m_root, true))
        paths << platform::EncodePath(p);
    QCOMPARE(paths, names);
}

void TestPictureScan::linksAndLoopsAreEnteredOnce()
{
    QVERIFY(write({"real/p.jpg", "real/inner/q.gif", "file.bmp"}));
    // A loop back to the top, a second way into "real", and links to a file and to nothing.
    QVERIFY(QFile::link(m_dir->path(), m_root + "real/inner/up"));
    QVERIFY(QFile::link(m_root + "real", m_root + "zlink"));
    QVERIFY(QFile::link(m_root + "file.bmp", m_root + "linked.bmp"));
    QVERIFY(QFile::link(m_root + "gone.jpg", m_root + "dangling.jpg"));
    QElapsedTimer t;
    t.start();
    QCOMPARE(found(m_root, true), (QStringList{m_root + "file.bmp", m_root + "linked.bmp", m_root + "real/inner/q.gif",
                                               m_root + "real/p.jpg"}));
    QVERIFY(t.elapsed() < 5000);
    // A link given as the folder itself is followed.
    QCOMPARE(found(m_root + "zlink", false), QStringList{m_root + "zlink/p.jpg"});
}

void TestPictureScan::unreadableFolderIsSkipped()
{
    QVERIFY(write({"open/a.jpg", "shut/b.jpg", "zz/c.jpg"}));
    for (const char *d : {"", "open", "zz"})
        testutil::openUp(m_root + QString::fromLatin1(d));
    QVERIFY(QFile::setPermissions(m_root + "shut", QFileDevice::Permissions()));
    const QString root = m_root;
    const QByteArray seen = testutil::runUnprivileged([root]() { return found(root, true).join(u'|').toUtf8(); });
    QFile::setPermissions(m_root + "shut", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(seen, (m_root + "open/a.jpg|" + m_root + "zz/c.jpg").toUtf8());
}

void TestPictureScan::missingFolderAddsNothing()
{
    QVERIFY(write({"plain.jpg"}));
    clsLinkList pictures, show;
    FixedRandom random({0.5});
    for (const QString &folder : {m_root + "missing", m_root + "plain.jpg", QStringLiteral("relative/nowhere")}) {
        QCOMPARE(ScanPictures(folder, true, QStringLiteral("Random"), pictures, show, random, m_fs), 0);
        QCOMPARE(show.ListCount(), 0);
    }
}

void TestPictureScan::randomDealRestoresListRoles()
{
    QVERIFY(write({"A.jpg", "B.jpg", "C.jpg", "D.jpg"}));
    clsLinkList pictures, show;
    FixedRandom unused({0.5}); // only the exact text "Random" deals
    ScanPictures(m_root, false, QStringLiteral("random"), pictures, show, unused, m_fs);
    QCOMPARE(column0(show), (QStringList{m_root + "A.jpg", m_root + "B.jpg", m_root + "C.jpg", m_root + "D.jpg"}));
    QCOMPARE(unused.calls(), 0);
    // That scan left the show list sorted, and a show's reshuffle may leave the picture list
    // unsorted: the next scan puts both back in role, so the deal keeps its drawn order.
    pictures.Sorted(false);
    // n=4: 0.5 -> C; n=3: 0.0 -> A; n=2: 0.99 -> D; n=1: 0.3 -> B.
    FixedRandom random({0.5, 0.0, 0.99, 0.3});
    QCOMPARE(ScanPictures(m_root, false, QStringLiteral("Random"), pictures, show, random, m_fs), 4);
    QCOMPARE(column0(show), (QStringList{m_root + "C.jpg", m_root + "A.jpg", m_root + "D.jpg", m_root + "B.jpg"}));
    QCOMPARE(pictures.ListCount(), 0);
    QVERIFY(!show.Sorted());
    QVERIFY(pictures.Sorted());
}

void TestPictureScan::dealMatchesPlainRule_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("times");
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("all of 500") << 500 << 500;
    QTest::newRow("part of 500") << 500 << 123;
    QTest::newRow("more draws than entries") << 3 << 5;
}

void TestPictureScan::dealMatchesPlainRule()
{
    QFETCH(int, entries);
    QFETCH(int, times);
    QStringList names;
    clsLinkList from, to;
    from.Sorted(true);
    for (int i = 0; i < entries; ++i) {
        names << QStringLiteral("p%1").arg(i, 4, 10, QLatin1Char('0'));
        from.AddItem(names.last());
    }
    std::vector<double> numbers;
    QRandomGenerator g(42);
    for (int i = 0; i < times; ++i)
        numbers.push_back(g.generateDouble());
    numbers.back() = std::nextafter(1.0, 0.0); // the largest value below 1 still picks a row
    FixedRandom a(numbers), b(numbers);
    DealRandomOrder(from, to, times, a);
    QCOMPARE(column0(to), plainDeal(names, times, b));
    // What was not drawn stays, in its order.
    QStringList left = names;
    for (const QString &d : column0(to))
        left.removeOne(d);
    QCOMPARE(column0(from), left);
}

void TestPictureScan::dealOfManyIsFast()
{
    std::vector<QVariant> values;
    for (int i = 0; i < 100000; ++i)
        values.emplace_back(QStringLiteral("/p/%1.jpg").arg(i, 6, 10, QLatin1Char('0')));
    clsLinkList from, to;
    from.Sorted(true);
    from.AddItems(values);
    ClockSeededRandom random(1);
    QElapsedTimer t;
    t.start();
    DealRandomOrder(from, to, 100000, random);
    QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(to.ListCount(), 100000);
    QCOMPARE(from.ListCount(), 0);
    QStringList dealt = column0(to);
    QCOMPARE(dealt.removeDuplicates(), 0); // each entry exactly once
}

QTEST_GUILESS_MAIN(TestPictureScan)
#include "tst_picturescan.moc"
