// Mouse events go through the window system layer, as a real pointer's would (a double-click
// arrives as press, release, then the double-click).
#define QTEST_QPA_MOUSE_HANDLING

#include "platform/DriveList.h"
#include "platform/FileList.h"
#include "base/FileSys.h"
#include "platform/FolderList.h"

#include "TestUtil.h"

#include <QElapsedTimer>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace platform;

namespace {

constexpr int kNone = -100; // no such call in this row

// A drive list over volumes the test chooses: folders standing in for other volumes.
class FakeDriveList : public DriveList
{
public:
    explicit FakeDriveList(QList<base::Volume> volumes) : m_volumes(std::move(volumes)) { RefreshVolumes(); }
    QList<base::Volume> m_volumes;

protected:
    QList<base::Volume> readVolumes() const override { return m_volumes; }
};

bool showAt(QWidget &w, int width, int height)
{
    w.resize(width, height);
    w.show();
    return QTest::qWaitForWindowExposed(&w);
}

QPoint rowCentre(const QAbstractItemView &view, int row)
{
    return view.visualRect(view.model()->index(row, 0)).center();
}

// The entries of a file or folder list (a folder list's subfolders).
template <class List>
QStringList entries(const List &list)
{
    QStringList names;
    for (int i = 0; i < list.ListCount(); ++i)
        names << list.List(i);
    return names;
}

} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void folderEntriesAndRefresh();
    void setPath_data();
    void setPath();
    void nestedSetPathInsideOnChange();
    void mouseAndKeysOpen();

    void fileOrder();
    void selectionChanges_data();
    void selectionChanges();
    void userClicksAndNesting();
    void hundredThousandNames();
    void gridTellsTheCellsOnScreen();

    void realVolumes();
    void switchingVolumes();

private:
    QString path(const QString &relative) const { return m_root + relative; }
    int chainRows(const QString &folder) const { return int(folder.count(u'/')) + 1; }

    QTemporaryDir m_dir;
    QString m_root; // the temporary folder, with a separator
    QString m_open; // three levels below it
};

void TestWidgets::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_root = base::WithSeparator(m_dir.path());
    m_open = path("l1/l2/l3");
    for (const char *sub : {"beta", "Alpha", "alpha", "Gamma", ".hidden", "alpha/inner"})
        QVERIFY(QDir().mkpath(m_open + "/" + sub));
    QVERIFY(testutil::writeFile(m_open + "/file.jpg"));
    for (int i = 0; i < 60; ++i)
        QVERIFY(QDir().mkpath(path("many/d%1").arg(i, 2, 10, QChar('0'))));
    QVERIFY(QDir().mkpath(path("volA/x/y")));
}

// ---- folder list ----

void TestWidgets::folderEntriesAndRefresh()
{
    FolderList list;
    QVERIFY(list.SetPath(m_open));
    // Rows: the chain from the root down to the open folder, then its subfolders in name order
    // regardless of case (no hidden folder, no file). Entries count from the first subfolder.
    const int chain = chainRows(m_open);
    QCOMPARE(list.List(-chain), QStringLiteral("/"));
    QCOMPARE(entries(list), (QStringList{m_open + "/Alpha", m_open + "/alpha", m_open + "/beta", m_open + "/Gamma"}));
    QCOMPARE(list.model()->index(chain - 1, 0).data().toString(), QStringLiteral("l3")); // names, not paths
    QCOMPARE(list.currentIndex().row(), chain - 1); // the open folder is highlighted

    // Refresh re-reads the subfolders and keeps the open folder.
    int runs = 0;
    list.onChange = [&] { ++runs; };
    QVERIFY(QDir().mkpath(m_open + "/delta"));
    list.Refresh();
    QVERIFY(QDir(m_open + "/delta").removeRecursively());
    QCOMPARE(list.List(3), m_open + "/delta");
    QCOMPARE(runs, 0);
}

void TestWidgets::setPath_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("expectedPath");

    QTest::newRow("same folder") << m_open << true << m_open;
    QTest::newRow("same, dot segments") << m_open + "/../l3/." << true << m_open;
    QTest::newRow("subfolder") << m_open + "/beta" << true << m_open + "/beta";
    QTest::newRow("parent, trailing separator") << path("l1/l2/") << true << path("l1/l2");
    QTest::newRow("hidden, named directly") << m_open + "/.hidden" << true << m_open + "/.hidden";
    QTest::newRow("missing") << m_open + "/missing" << false << m_open;
    QTest::newRow("a file") << m_open + "/file.jpg" << false << m_open;
    QTest::newRow("embedded NUL") << m_open + QChar(0) << false << m_open;
}

void TestWidgets::setPath()
{
    QFETCH(QString, target);
    QFETCH(bool, accepted);
    QFETCH(QString, expectedPath);

    FolderList list;
    QVERIFY(list.SetPath(m_open));
    QStringList seen;
    list.onChange = [&] { seen << list.Path(); }; // sees the new folder already
    QCOMPARE(list.SetPath(target), accepted);
    QCOMPARE(list.Path(), expectedPath);
    QCOMPARE(seen, expectedPath == m_open ? QStringList() : QStringList{expectedPath});
}

void TestWidgets::nestedSetPathInsideOnChange()
{
    FolderList list;
    QVERIFY(list.SetPath(m_open));
    QStringList seen;
    bool nestedResult = false;
    list.onChange = [&] {
        seen << list.Path();
        if (seen.size() == 1)
            nestedResult = list.SetPath(m_open + "/beta");
    };
    QVERIFY(list.SetPath(m_open + "/Alpha"));
    QVERIFY(nestedResult);
    QCOMPARE(seen, QStringList() << m_open + "/Alpha" << m_open + "/beta");
    QCOMPARE(list.Path(), m_open + "/beta");

    // A handler that keeps opening the other folder must end, not exhaust the stack.
    int runs = 0;
    list.onChange = [&] {
        ++runs;
        list.SetPath(list.Path().endsWith("Alpha") ? m_open + "/beta" : m_open + "/Alpha");
    };
    QVERIFY(list.SetPath(m_open + "/Alpha"));
    QVERIFY(runs > 1 && runs < 100);
}

void TestWidgets::mouseAndKeysOpen()
{
    FolderList list;
    QVERIFY(showAt(list, 240, 300));
    QVERIFY(list.SetPath(m_open));
    int runs = 0;
    list.onChange = [&] { ++runs; };
    const int chain = chainRows(m_open);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, rowCentre(list, chain + 2)); // "beta"
    QCOMPARE(list.Path(), m_open + "/beta");
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, rowCentre(list, chain - 1)); // its parent
    QCOMPARE(list.Path(), m_open);

    // The window opens the folder under the pointer as soon as it is pressed; the rest of that
    // double-click must neither open a second folder nor act on the new rows.
    list.onMouseDown = [&](int button, int, double, double y) {
        if (button == 1)
            list.SetPath(list.List(list.IndexAt(y)));
    };
    // Once "alpha" is open, its own subfolder "inner" is under the pointer.
    const QPoint alpha = rowCentre(list, chain + 1);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, alpha);
    QCOMPARE(list.Path(), m_open + "/alpha");
    QCOMPARE(list.List(list.IndexAt(alpha.y())), m_open + "/alpha/inner");
    QCOMPARE(runs, 3);

    // Arrows move the highlight only; Enter opens the highlighted folder.
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(list.ListIndex(), 0);
    QCOMPARE(runs, 3);
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(list.Path(), m_open + "/alpha/inner");
}

// ---- file list ----

void TestWidgets::fileOrder()
{
    // Letter case ignored (upper case first between equals), other letters after ASCII,
    // duplicates kept; the same in a batch and one by one.
    const QStringList names{"b.jpg", "A.jpg", "a.gif", "B.jpg", "Öl.jpg", "ol.jpg", "äb.jpg", "Äa.jpg", "x", "x"};
    FileList batch, oneByOne;
    batch.SetItems(names);
    for (const QString &n : names)
        oneByOne.AddItem(n);
    const QStringList expected{"a.gif", "A.jpg", "B.jpg", "b.jpg", "ol.jpg", "x", "x", "Äa.jpg", "äb.jpg", "Öl.jpg"};
    QCOMPARE(entries(batch), expected);
    QCOMPARE(entries(oneByOne), expected);
    QCOMPARE(batch.List(int(names.size())), QString());
}

void TestWidgets::selectionChanges_data()
{
    QTest::addColumn<int>("select"); // for SetListIndex, or kNone
    QTest::addColumn<int>("remove"); // for RemoveItem, or kNone
    QTest::addColumn<QStringList>("add");
    QTest::addColumn<QStringList>("remaining");
    QTest::addColumn<int>("expectedIndex");
    QTest::addColumn<QList<int>>("clicks"); // the entry each onClick saw selected

    const QStringList all{"a", "b", "c", "d", "e"}, none;
    const QList<int> noClick;
    QTest::newRow("select first") << 0 << kNone << none << all << 0 << QList{0};
    QTest::newRow("select the same again") << 3 << kNone << none << all << 3 << QList{3};
    QTest::newRow("select past the end") << 5 << kNone << none << all << -1 << noClick;
    QTest::newRow("remove the selected one") << kNone << 3 << none << QStringList{"a", "b", "c", "e"} << -1 << noClick;
    QTest::newRow("remove another one") << kNone << 0 << none << QStringList{"b", "c", "d", "e"} << -1 << noClick;
    QTest::newRow("remove out of range, past the end") << kNone << 5 << none << all << 3 << noClick;
    QTest::newRow("add before and after")
        << kNone << kNone << QStringList{"0", "A0", "f"} << QStringList{"0", "a", "A0", "b", "c", "d", "e", "f"} << 5
        << noClick;
}

void TestWidgets::selectionChanges()
{
    QFETCH(int, select);
    QFETCH(int, remove);
    QFETCH(QStringList, add);
    QFETCH(QStringList, remaining);
    QFETCH(int, expectedIndex);
    QFETCH(QList<int>, clicks);

    FileList list;
    list.SetItems({"e", "d", "c", "b", "a"});
    list.SetListIndex(3);
    QList<int> seen;
    list.onClick = [&] { seen << list.ListIndex(); };
    if (select != kNone)
        list.SetListIndex(select);
    if (remove != kNone)
        list.RemoveItem(remove);
    for (const QString &name : add)
        list.AddItem(name);
    QCOMPARE(entries(list), remaining);
    QCOMPARE(list.ListIndex(), expectedIndex);
    QCOMPARE(list.currentIndex().row(), expectedIndex);
    QCOMPARE(seen, clicks);
}

void TestWidgets::userClicksAndNesting()
{
    FileList list;
    QVERIFY(showAt(list, 300, 200));
    list.SetItems({"a", "b", "c", "d", "e"});
    QList<int> seen;
    list.onClick = [&] { seen << list.ListIndex(); };
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rowCentre(list, 2));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rowCentre(list, 2)); // no change, still a click
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);
    // A Ctrl+click on the selection leaves it as it is (and chooses it again).
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(list, 3));
    QCOMPARE(list.ListIndex(), 3);
    QCOMPARE(seen, QList<int>({2, 2, 3, 3}));

    // The handler dropping the clicked entry (a broken picture) and choosing the next one runs
    // once more, and only once.
    seen.clear();
    list.onClick = [&] {
        seen << list.ListIndex();
        if (seen.size() == 1) {
            list.RemoveItem(list.ListIndex());
            list.SetListIndex(1);
        }
    };
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rowCentre(list, 1));
    QCOMPARE(entries(list), QStringList({"a", "c", "d", "e"}));
    QCOMPARE(seen, QList<int>({1, 1}));

    // A handler that keeps choosing another entry ends.
    int runs = 0;
    list.onClick = [&] { ++runs; list.SetListIndex(list.ListIndex() == 0 ? 1 : 0); };
    list.SetListIndex(2);
    QVERIFY(runs > 1 && runs < 100);
}

void TestWidgets::hundredThousandNames()
{
    QStringList names; // out of order, mixed case
    for (int i = 0; i < 100000; ++i)
        names << QString(i % 3 ? "IMG_%1.jpg" : "img_%1.jpg").arg(i * 7919 % 100000, 6, 10, QChar('0'));
    FileList list;
    list.SetColumns(4);
    QVERIFY(showAt(list, 800, 500));

    QElapsedTimer timer;
    timer.start();
    list.SetItems(names);
    QVERIFY(list.visualRect(list.model()->index(99999, 0)).isValid()); // laid out to the end
    QCoreApplication::processEvents();                                   // and painted
    QVERIFY2(timer.elapsed() < 1500, qPrintable(QString("%1 ms").arg(timer.elapsed())));
    QCOMPARE(list.ListCount(), 100000);
    list.SetListIndex(99999);
    QVERIFY(list.viewport()->rect().intersects(list.visualRect(list.model()->index(99999, 0))));
}

// The grid's pictures as a view asks for them, recorded.
class RecordedCells : public CellPictures
{
public:
    Kind Cell(int row, QImage &) override
    {
        painted.insert(row);
        return row % 2 ? Kind::Waiting : Kind::Cannot;
    }
    void FilesChanged(int c) override { count = c; }
    void Shown(int f, int l, bool d) override
    {
        first = f;
        last = l;
        down = d;
    }
    QSet<int> painted;
    int count = -1, first = -1, last = -1;
    bool down = false;
};

void TestWidgets::gridTellsTheCellsOnScreen()
{
    QStringList names;
    for (int i = 0; i < 1000; ++i)
        names << QString("p%1.jpg").arg(i, 4, 10, QChar('0'));
    FileList list;
    QVERIFY(showAt(list, 610, 420));
    list.SetItems(names);
    RecordedCells cells;
    list.SetThumbnails(&cells, 128);
    // Exactly the cells that touch the viewport, in whichever position and direction.
    const auto onScreen = [&] {
        QList<int> rows;
        for (int i = 0; i < list.ListCount(); ++i)
            if (list.viewport()->rect().intersects(list.visualRect(list.model()->index(i, 0))))
                rows << i;
        return rows;
    };
    for (const int scroll : {0, 1000, 2300, 1500, 0}) {
        const bool down = scroll >= list.verticalScrollBar()->value();
        list.verticalScrollBar()->setValue(scroll);
        QCoreApplication::processEvents();
        const QList<int> rows = onScreen();
        QVERIFY2(!rows.isEmpty() && rows.size() < 40, qPrintable(QString::number(rows.size())));
        QCOMPARE(cells.count, 1000);
        QCOMPARE((QList<int>{cells.first, cells.last}), (QList<int>{rows.first(), rows.last()}));
        if (scroll != 0 || cells.first != 0)
            QCOMPARE(cells.down, down);
    }
    list.viewport()->repaint();
    QVERIFY(cells.painted.contains(0) && !cells.painted.contains(onScreen().last() + list.width() / 140 + 1));
    // Back to names: the cells are no longer asked for.
    list.SetThumbnails(nullptr);
    list.SetItems(names.mid(0, 10));
    QCOMPARE(cells.count, 1000);
}

// ---- drive list ----

void TestWidgets::realVolumes()
{
    DriveList drives;
    QCOMPARE(drives.count(), int(base::FileSys().Volumes().size()));
    QCOMPARE(drives.CurrentRoot(), base::FileSys().DriveOf(QDir::currentPath()));
    QVERIFY(drives.SetDrive(m_open));
    int runs = 0;
    drives.onChange = [&] { ++runs; };
    QVERIFY(drives.SetDrive(m_open + "/beta")); // on the volume already chosen: nothing to run
    QVERIFY(!drives.SetDrive("relative/path"));
    QCOMPARE(runs, 0);

    // The drive is the folder last shown on the volume.
    FolderList folders;
    QVERIFY(folders.SetPath(m_open + "/Gamma"));
    QCOMPARE(drives.Drive(), m_open + "/Gamma");
}

void TestWidgets::switchingVolumes()
{
    FakeDriveList drives({{"/", ""}, {m_root + "volA", "Pictures"}, {m_root + "volB", "not ready"}});
    QStringList seen;
    drives.onChange = [&] { seen << drives.Drive(); };

    QVERIFY(drives.SetDrive(m_root + "volA/x/y"));
    QCOMPARE(seen, QStringList{m_root + "volA"});
    QVERIFY(!drives.SetDrive(m_root + "volB")); // missing, like a drive that is not ready
    QCOMPARE(drives.CurrentRoot(), m_root + "volA");
    QCOMPARE(seen.size(), 1);

    // The user's pick: refused, the entry snaps back.
    QVERIFY(drives.SetDrive("/"));
    QVERIFY(showAt(drives, 300, 30));
    drives.setFocus();
    seen.clear();
    QTest::keyClick(&drives, Qt::Key_Down);
    QTest::keyClick(&drives, Qt::Key_Down);
    QCOMPARE(drives.currentIndex(), 1);
    QCOMPARE(seen, QStringList{m_root + "volA"});

    // A handler switching back and forth for ever ends.
    int runs = 0;
    drives.onChange = [&] { ++runs; drives.SetDrive(drives.CurrentRoot() == "/" ? m_root + "volA" : QString("/")); };
    QVERIFY(drives.SetDrive("/"));
    QVERIFY(runs > 1 && runs < 100);

    // A removed folder does not lock its volume: the drive falls back to the nearest folder left.
    QVERIFY(QDir().mkpath(path("gone/deeper")));
    platform::RememberFolderOfVolume(path("gone/deeper"));
    drives.onChange = [&] { ++runs; };
    QVERIFY(drives.SetDrive(m_root + "volB/../volA")); // cleaned: that is volA
    QCOMPARE(drives.CurrentRoot(), m_root + "volA");
    QVERIFY(QDir(path("gone")).removeRecursively());
    QVERIFY(drives.SetDrive("/"));
    QCOMPARE(drives.Drive(), m_dir.path());

    // The chosen volume unmounted: back to the first, and the window hears of it.
    QVERIFY(drives.SetDrive(m_root + "volA"));
    runs = 0;
    drives.m_volumes = {{"/", ""}};
    drives.RefreshVolumes();
    QCOMPARE(drives.CurrentRoot(), QString("/"));
    drives.RefreshVolumes();
    QCOMPARE(runs, 1);

    // The folder list walked into a volume mounted since: the list names it, without moving the
    // folders again; choosing the previous volume then moves there.
    drives.m_volumes = {{"/", ""}, {m_root + "volA", "Pictures"}};
    runs = 0;
    drives.FollowFolder(m_root + "volA/x");
    QCOMPARE(drives.CurrentRoot(), m_root + "volA");
    QCOMPARE(drives.currentText(), m_root + "volA  (Pictures)");
    QCOMPARE(runs, 0);
    QVERIFY(drives.SetDrive("/"));
    QCOMPARE(runs, 1);
}

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
