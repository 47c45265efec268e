#include "collection/PictureScan.h"
#include "base/FileSys.h"

#include "TestUtil.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fcntl.h>
#include <memory>

using namespace collection;

namespace {

// The pictures AddPictureFiles finds, in name order.
QStringList found(const QString &folder, bool includeSubDirs)
{
    clsLinkList pictures;
    pictures.Sorted(true);
    AddPictureFiles(folder, includeSubDirs, pictures, base::FileSys());
    return testutil::column0(pictures);
}

} // namespace

class TestPictureScan : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void nameOrderOverRealTree_data();
    void nameOrderOverRealTree();
    void namesThatAreNotUtf8KeptExactly();
    void pictureNamesOfEveryKind_data();
    void pictureNamesOfEveryKind();
    void linksAndLoopsAreEnteredOnce();
    void unreadableFolderIsSkipped();
    void randomDealAndMissingFolder();
    void progressCountsAndCancelStops();
    void stopReachesTheDeal_data();
    void stopReachesTheDeal();
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
    base::FileSys m_fs;
};

void TestPictureScan::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_root = base::WithSeparator(m_dir->path());
}

void TestPictureScan::nameOrderOverRealTree_data()
{
    QTest::addColumn<bool>("includeSubDirs");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("top only, no separator") << false << QStringList{".gif", "B.jpg", "a.JPG", "c.Jpeg", "ü.gıf"};
    QTest::newRow("with subfolders") << true
                                     << QStringList{".gif", "B.jpg", "Sub/deep/z.wmf", "Sub/x.bmp", "a.JPG", "c.Jpeg",
                                                    "lower/y.GIF", "ü.gıf"};
}

void TestPictureScan::nameOrderOverRealTree()
{
    // Pictures are known by extension in any case (the dotless i upper-cases to I), never by
    // a name that merely ends in the letters; hidden folders are not entered.
    QFETCH(bool, includeSubDirs);
    QFETCH(QStringList, expected);
    QVERIFY(write({"B.jpg", "a.JPG", "c.Jpeg", ".gif", "ü.gıf", "d.txt", "e.bmp.txt", "xjpg", "a.jpg ", "Sub/x.bmp",
                   "Sub/notes.txt", "Sub/deep/z.wmf", "lower/y.GIF", ".hidden/h.jpg", "empty/.keep"}));
    clsLinkList pictures, show;
    FixedRandom random({0.0});
    const QString folder = includeSubDirs ? m_root : m_dir->path();
    const int32_t count = BuildShowList(folder, includeSubDirs, QStringLiteral("Normal"), pictures, show, random, m_fs);
    for (QString &e : expected)
        e.prepend(m_root);
    QCOMPARE(testutil::column0(show), expected);
    QCOMPARE(count, int32_t(expected.size()));
}

void TestPictureScan::namesThatAreNotUtf8KeptExactly()
{
    // Each path found must lead back to its file's own bytes, or the show could not open it.
    const QByteArray root = base::EncodePath(m_root);
    QVERIFY(::mkdir(root + "sub\xff", 0700) == 0);
    const QByteArrayList names{root + "K\xf6ln.jpg", root + "sub\xff/\xe9t\xe9.gif", root + "\xc3\xa9.bmp"};
    for (const QByteArray &name : names)
        QVERIFY(::close(::creat(name, 0600)) == 0);
    QByteArrayList paths;
    for (const QString &p : found(m_root, true))
        paths << base::EncodePath(p);
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
    QCOMPARE(found(m_root, true), (QStringList{m_root + "file.bmp", m_root + "linked.bmp", m_root + "real/inner/q.gif",
                                               m_root + "real/p.jpg"}));
    // A link given as the folder itself is followed.
    QCOMPARE(found(m_root + "zlink", false), QStringList{m_root + "zlink/p.jpg"});
    // Two links to one folder outside the tree: listed under the first by name, every time.
    QTemporaryDir outside;
    QVERIFY(testutil::writeFile(outside.filePath("o.jpg")));
    QVERIFY(QFile::link(outside.path(), m_root + "b2") && QFile::link(outside.path(), m_root + "b1"));
    QVERIFY(found(m_root, true).contains(m_root + "b1/o.jpg"));
}

void TestPictureScan::unreadableFolderIsSkipped()
{
    QVERIFY(write({"open/a.jpg", "shut/b.jpg", "zz/c.jpg"}));
    for (const char *d : {"", "open", "zz"})
        testutil::openUp(m_root + QString::fromLatin1(d));
    QVERIFY(QFile::setPermissions(m_root + "shut", QFileDevice::Permissions()));
    const QByteArray seen = testutil::runUnprivileged([this]() { return found(m_root, true).join(u'|').toUtf8(); });
    QFile::setPermissions(m_root + "shut", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(seen, (m_root + "open/a.jpg|" + m_root + "zz/c.jpg").toUtf8());
}

void TestPictureScan::randomDealAndMissingFolder()
{
    QVERIFY(write({"A.jpg", "B.jpg", "C.jpg", "D.jpg"}));
    clsLinkList pictures, show;
    // n=4: 0.5 -> C; n=3: 0.0 -> A; n=2: 0.99 -> D; n=1: 0.3 -> B.
    FixedRandom random({0.5, 0.0, 0.99, 0.3});
    // Only the exact text "Random" deals (a draw here would shift the deal below); this scan
    // leaves the show list sorted, and a show's reshuffle may leave the picture list unsorted:
    // the next scan puts both back in role, so the deal keeps its drawn order.
    BuildShowList(m_root, false, QStringLiteral("random"), pictures, show, random, m_fs);
    pictures.Sorted(false);
    QCOMPARE(BuildShowList(m_root, false, QStringLiteral("Random"), pictures, show, random, m_fs), 4);
    QCOMPARE(testutil::column0(show), (QStringList{m_root + "C.jpg", m_root + "A.jpg", m_root + "D.jpg", m_root + "B.jpg"}));
    QVERIFY(pictures.Sorted());
    // A folder that is not there (or is a file) leaves nothing of the last scan to show.
    for (const QString &folder : {m_root + "missing", m_root + "A.jpg", QStringLiteral("relative/nowhere")}) {
        QCOMPARE(BuildShowList(folder, true, QStringLiteral("Random"), pictures, show, random, m_fs), 0);
        QCOMPARE(show.ListCount(), 0);
    }
}

void TestPictureScan::progressCountsAndCancelStops()
{
    QVERIFY(write({"A.jpg", "one/B.jpg", "one/C.gif", "two/D.bmp", "three/E.wmf"}));
    clsLinkList pictures, show;
    FixedRandom random({0.5});
    ScanProgress whole;
    int folders = 0;
    whole.beforeFolder = [&folders] { ++folders; };
    QCOMPARE(BuildShowList(m_root, true, QStringLiteral("Random"), pictures, show, random, m_fs, &whole), 5);
    QCOMPARE(whole.found.load(), 5);
    QCOMPARE(folders, 4);

    // Stopped after the second folder: nothing is kept and no number is drawn.
    show.AddItem(QStringLiteral("from the last show"));
    const int drawn = random.calls();
    ScanProgress stopped;
    folders = 0;
    stopped.beforeFolder = [&] {
        if (++folders == 3)
            stopped.cancel = true;
    };
    QCOMPARE(BuildShowList(m_root, true, QStringLiteral("Random"), pictures, show, random, m_fs, &stopped), 0);
    QCOMPARE(folders, 3);
    QVERIFY(stopped.found.load() >= 1);
    QCOMPARE(show.ListCount(), 0);
    QCOMPARE(pictures.ListCount(), 0);
    QCOMPARE(random.calls(), drawn);
}

namespace {

// Fixed numbers that set `stop` as the given draw is made.
class StoppingRandom : public RandomSource
{
public:
    StoppingRandom(std::atomic<bool> &stop, int stopAt) : m_stop(stop), m_stopAt(stopAt) {}
    double Next() override
    {
        if (++calls == m_stopAt)
            m_stop = true;
        return 0.5;
    }
    int calls = 0;

private:
    std::atomic<bool> &m_stop;
    int m_stopAt;
};

} // namespace

void TestPictureScan::stopReachesTheDeal_data()
{
    QTest::addColumn<bool>("wholeScan"); // BuildShowList, or DealRandomOrder alone
    QTest::addColumn<int>("dims");
    QTest::newRow("scan") << true << 1;
    QTest::newRow("deal") << false << 1;
    QTest::newRow("deal of a two-column list") << false << 2;
}

void TestPictureScan::stopReachesTheDeal()
{
    // A stop asked for during the deal takes effect at the next draw: no more numbers are drawn.
    QFETCH(bool, wholeScan);
    QFETCH(int, dims);
    QVERIFY(write({"A.jpg", "B.jpg", "C.jpg", "D.jpg", "E.jpg", "F.jpg"}));
    clsLinkList pictures, show;
    if (wholeScan) {
        ScanProgress progress;
        StoppingRandom random(progress.cancel, 3);
        QCOMPARE(BuildShowList(m_root, false, QStringLiteral("Random"), pictures, show, random, m_fs, &progress), 0);
        QCOMPARE(random.calls, 3);
        QCOMPARE(show.ListCount(), 0);
        QCOMPARE(pictures.ListCount(), 0);
        // Once stopped it never begins to draw; a stop after the draws began is reported.
        QVERIFY(!progress.BeginDraws());
        ScanProgress drawing;
        QVERIFY(drawing.BeginDraws());
        QVERIFY(drawing.Stop());
        return;
    }
    pictures.Dims(int16_t(dims));
    for (const char *name : {"A", "B", "C", "D", "E", "F"})
        pictures.AddItem(QString::fromLatin1(name));
    std::atomic<bool> stop{false};
    StoppingRandom random(stop, 3);
    QVERIFY(!DealRandomOrder(pictures, show, 6, random, &stop));
    QCOMPARE(random.calls, 3);
    stop = false;
    StoppingRandom unstopped(stop, -1);
    clsLinkList all;
    all.AddItem(QStringLiteral("A"));
    QVERIFY(DealRandomOrder(all, show, 1, unstopped, &stop));
}

void TestPictureScan::dealMatchesPlainRule_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("times");
    QTest::newRow("all of 500") << 500 << 500;
    QTest::newRow("part of 500") << 500 << 123;
    QTest::newRow("more draws than entries") << 3 << 5;
}

void TestPictureScan::dealMatchesPlainRule()
{
    // The deal as plainly as it reads: draw k, append, remove, one entry at a time; what was not
    // drawn stays, in its order.
    QFETCH(int, entries);
    QFETCH(int, times);
    QStringList left, dealt;
    clsLinkList from, to;
    for (int i = 0; i < entries; ++i) {
        left << QStringLiteral("p%1").arg(i, 4, 10, QLatin1Char('0'));
        from.AddItem(left.last());
    }
    std::vector<double> numbers;
    QRandomGenerator g(42);
    for (int i = 0; i < times; ++i)
        numbers.push_back(g.generateDouble());
    numbers.back() = std::nextafter(1.0, 0.0); // the largest value below 1 still picks a row
    FixedRandom random(numbers);
    DealRandomOrder(from, to, times, random);
    for (const double r : numbers)
        dealt << (left.isEmpty() ? QString() : left.takeAt(qsizetype(r * double(left.size()))));
    QCOMPARE(testutil::column0(to), dealt);
    QCOMPARE(testutil::column0(from), left);
}

void TestPictureScan::dealOfManyIsFast()
{
    clsLinkList from, to;
    for (int i = 0; i < 100000; ++i)
        from.AddItem(QStringLiteral("/p/%1.jpg").arg(i, 6, 10, QLatin1Char('0')));
    ClockSeededRandom random(1);
    QElapsedTimer t;
    t.start();
    DealRandomOrder(from, to, 100000, random);
    QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
    const QStringList dealt = testutil::column0(to);
    QCOMPARE(QSet<QString>(dealt.begin(), dealt.end()).size(), 100000); // each entry exactly once
}

void TestPictureScan::pictureNamesOfEveryKind_data()
{
    // One rule for the browser's list and the show's scan: the seven extensions in any letter
    // case, at the very end of the name, after a dot.
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("picture");
    for (const char *n : {"a.bmp", "a.BMP", "a.jpg", "a.JpG", "a.jpeg", "a.JPEG", "a.gif", "a.GiF", "a.ico", "a.ICO",
                          "a.cur", "a.Cur", "a.wmf", "a.WMF", ".gif", "a.b.jpg", "caf\xc3\xa9.bmp", "x\xe9.ico"})
        QTest::newRow(n) << QByteArray(n) << true;
    for (const char *n : {"a.png", "a.jpe", "a.bmpx", "a.bmp.txt", "abmp", "bmp", "a.jpg ", "a.gi", "a.wm",
                          "a.cu", "a.ic", "a.jpegg", "a_jpg", "gif", "a.\xe9" "cur", "caf\xc3\xa9.jpe"})
        QTest::newRow(n) << QByteArray(n) << false;
}

void TestPictureScan::pictureNamesOfEveryKind()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, picture);
    const QString text = base::DecodeName(name.constData(), size_t(name.size()));
    QCOMPARE(IsPictureName(text), picture);
    const QByteArray path = QFile::encodeName(m_root) + name;
    QVERIFY(::close(::creat(path.constData(), 0600)) == 0);
    QCOMPARE(found(m_root, false), picture ? QStringList{m_root + text} : QStringList{});
}

QTEST_GUILESS_MAIN(TestPictureScan)
#include "tst_picturescan.moc"
