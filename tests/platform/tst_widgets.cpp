// Mouse events go through the window system layer, as a real pointer's would (a double-click
// arrives as press, release, then the double-click).
#define QTEST_QPA_MOUSE_HANDLING

#include "platform/DriveList.h"
#include "platform/FileList.h"
#include "platform/FileListModel.h"
#include "platform/FileSys.h"
#include "platform/FolderList.h"

#include "TestUtil.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

using platform::DriveList;
using platform::FileList;
using platform::FolderList;

namespace {

constexpr int kNone = std::numeric_limits<int>::min();

// A drive list over volumes the test chooses: folders standing in for other volumes.
class FakeDriveList : public DriveList
{
public:
    explicit FakeDriveList(QList<platform::Volume> volumes) : m_volumes(std::move(volumes)) { RefreshVolumes(); }
    QList<platform::Volume> m_volumes;

protected:
    QList<platform::Volume> readVolumes() const override { return m_volumes; }
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

QStringList entries(const FileList &list)
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
    void init();

    void folderEntriesAndRefresh();
    void setPath_data();
    void setPath();
    void nestedSetPathInsideOnChange();
    void unreadableFolderRefused();
    void openFolderInSight_data();
    void openFolderInSight();
    void pressMapsToRow_data();
    void pressMapsToRow();
    void mouseAndKeysOpen();

    void fileOrder_data();
    void fileOrder();
    void selectionChanges_data();
    void selectionChanges();
    void userClicksAndNesting();
    void columnLayout();
    void hundredThousandNames();

    void realVolumes();
    void switchingVolumes();

private:
    QString path(const QString &relative) const { return m_root + relative; }
    int chainRows(const QString &folder) const { return int(folder.count(u'/')) + 1; }

    QTemporaryDir m_dir;
    QString m_root; // the temporary folder, with a separator
    QString m_open; // three levels below it
    QString m_cwd;
};

void TestWidgets::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_root = platform::WithSeparator(m_dir.path());
    m_open = path("l1/l2/l3");
    for (const char *sub : {"beta", "Alpha", "alpha", "Gamma", ".hidden", "alpha/inner"})
        QVERIFY(QDir().mkpath(m_open + "/" + sub));
    QVERIFY(testutil::writeFile(m_open + "/file.jpg"));
    for (int i = 0; i < 60; ++i)
        QVERIFY(QDir().mkpath(path("many/d%1").arg(i, 2, 10, QChar('0'))));
    QVERIFY(QDir().mkpath(path("volA/x/y")));
    m_cwd = QDir::currentPath();
}

void TestWidgets::init()
{
    QDir::setCurrent(m_cwd);
}

// ---- folder list ----

void TestWidgets::folderEntriesAndRefresh()
{
    FolderList list;
    QVERIFY(list.SetPath(m_open));
    // Rows: the chain from the root down to the open folder, then its subfolders in name order
    // regardless of case (no hidden folder, no file). Entries count from the first subfolder.
    QStringList expectedPaths{"", "/"}, expectedTexts{"/"};
    QString sofar;
    for (const QString &part : m_open.split(u'/', Qt::SkipEmptyParts)) {
        expectedPaths << (sofar += "/" + part);
        expectedTexts << part;
    }
    for (const char *sub : {"Alpha", "alpha", "beta", "Gamma"}) {
        expectedPaths << m_open + "/" + sub;
        expectedTexts << sub;
    }
    expectedPaths << "";
    const int chain = chainRows(m_open);
    QStringList paths, texts;
    for (int i = -chain - 1; i <= list.ListCount(); ++i)
        paths << list.List(i);
    for (int row = 0; row < list.model()->rowCount(); ++row)
        texts << list.model()->index(row, 0).data().toString();
    QCOMPARE(paths, expectedPaths);
    QCOMPARE(texts, expectedTexts);
    QCOMPARE(list.ListIndex(), -1);
    QCOMPARE(list.currentIndex().row(), chain - 1); // the open folder is highlighted

    // Refresh re-reads the subfolders and keeps the open folder.
    int runs = 0;
    list.onChange = [&] { ++runs; };
    QVERIFY(QDir().mkpath(m_open + "/delta"));
    list.Refresh();
    QCOMPARE(list.Path(), m_open);
    QCOMPARE(list.ListCount(), 5);
    QCOMPARE(list.List(3), m_open + "/delta");
    QVERIFY(QDir(m_open + "/delta").removeRecursively());
    list.Refresh();
    QCOMPARE(list.ListCount(), 4);
    QCOMPARE(runs, 0);
}

void TestWidgets::setPath_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("expectedPath");

    QTest::newRow("same folder") << m_open << true << m_open;
    QTest::newRow("same, trailing separator") << m_open + "/" << true << m_open;
    QTest::newRow("same, dot segments") << m_open + "/../l3/." << true << m_open;
    QTest::newRow("subfolder") << m_open + "/beta" << true << m_open + "/beta";
    QTest::newRow("parent, trailing separator") << path("l1/l2/") << true << path("l1/l2");
    QTest::newRow("root") << "/" << true << "/";
    QTest::newRow("relative to the working folder") << "Gamma" << true << m_open + "/Gamma";
    QTest::newRow("hidden, named directly") << m_open + "/.hidden" << true << m_open + "/.hidden";
    QTest::newRow("missing") << m_open + "/missing" << false << m_open;
    QTest::newRow("a file") << m_open + "/file.jpg" << false << m_open;
    QTest::newRow("empty") << "" << false << m_open;
    QTest::newRow("embedded NUL") << m_open + QChar(0) << false << m_open;
}

void TestWidgets::setPath()
{
    QFETCH(QString, target);
    QFETCH(bool, accepted);
    QFETCH(QString, expectedPath);

    FolderList list;
    QVERIFY(list.SetPath(m_open));
    QVERIFY(QDir::setCurrent(m_open));
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
        if (seen.size() == 1) {
            nestedResult = list.SetPath(m_open + "/beta");
            list.SetPath(list.Path()); // the same again: nothing more runs
        }
    };
    QVERIFY(list.SetPath(m_open + "/Alpha"));
    QVERIFY(nestedResult);
    QCOMPARE(seen, QStringList() << m_open + "/Alpha" << m_open + "/beta");
    QCOMPARE(list.Path(), m_open + "/beta");
    QCOMPARE(list.List(-2), m_open);

    // A handler that keeps opening the other folder must end, not exhaust the stack.
    int runs = 0;
    list.onChange = [&] {
        ++runs;
        list.SetPath(list.Path().endsWith("Alpha") ? m_open + "/beta" : m_open + "/Alpha");
    };
    QVERIFY(list.SetPath(m_open + "/Alpha"));
    QVERIFY(runs > 1 && runs < 100);
}

void TestWidgets::unreadableFolderRefused()
{
    const QString locked = path("locked");
    QVERIFY(QDir().mkpath(locked + "/inside"));
    testutil::openUp(m_dir.path());
    QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
    const QString open = m_dir.path();
    const QByteArray result = testutil::runUnprivileged([&]() -> QByteArray {
        FolderList list;
        if (!list.SetPath(open))
            return "cannot open " + open.toUtf8();
        int runs = 0;
        list.onChange = [&] { ++runs; };
        const bool accepted = list.SetPath(locked);
        return QByteArray(accepted ? "accepted" : "refused") + " path=" + (list.Path() == open ? "kept" : "changed")
               + " runs=" + QByteArray::number(runs);
    });
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (result == "<no pipe>")
        QSKIP("cannot run a child process as an unprivileged user here");
    QCOMPARE(result, QByteArray("refused path=kept runs=0"));
}

void TestWidgets::openFolderInSight_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("openedWhileHidden");
    QTest::addColumn<int>("height");

    QTest::newRow("few subfolders") << "l1/l2/l3" << false << 300;
    QTest::newRow("many subfolders") << "many" << false << 300;
    QTest::newRow("many, opened before shown") << "many" << true << 300;
    QTest::newRow("few, short list") << "l1/l2/l3" << false << 90;
    QTest::newRow("few, short list, opened before shown") << "l1/l2/l3" << true << 90;
}

void TestWidgets::openFolderInSight()
{
    QFETCH(QString, folder);
    QFETCH(bool, openedWhileHidden);
    QFETCH(int, height);

    FolderList list;
    if (openedWhileHidden)
        QVERIFY(list.SetPath(path(folder)));
    QVERIFY(showAt(list, 240, height));
    if (!openedWhileHidden)
        QVERIFY(list.SetPath(path(folder)));
    const int openRow = chainRows(path(folder)) - 1;
    const int visible = list.viewport()->height() / list.RowHeightPixels();
    const int top = list.TopIndex();
    QVERIFY2(openRow >= top && openRow < top + visible, qPrintable(QString("top %1").arg(top)));
    // Subfolders fill at least half the view below it; the chain shows from the root when it fits.
    const int below = std::min(list.ListCount(), visible / 2);
    QVERIFY(openRow + below < top + visible);
    if (openRow + below < visible)
        QCOMPARE(top, 0);
}

void TestWidgets::pressMapsToRow_data()
{
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("row"); // counted from the root's row
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("expectedButton");
    QTest::addColumn<int>("expectedShift");

    const int open = chainRows(path("many")) - 1;
    using Mods = Qt::KeyboardModifiers;
    const Mods none, shift(Qt::ShiftModifier), ctrlAlt(Qt::ControlModifier | Qt::AltModifier),
        shiftCtrl(Qt::ShiftModifier | Qt::ControlModifier);
    QTest::newRow("root row") << 0 << 0 << Qt::LeftButton << none << 1 << 0;
    QTest::newRow("open folder, right, Shift") << 0 << open << Qt::RightButton << shift << 2 << 1;
    QTest::newRow("fifth subfolder, middle, Ctrl+Alt") << 0 << open + 5 << Qt::MiddleButton << ctrlAlt << 4 << 6;
    QTest::newRow("scrolled, top row") << 10 << 10 << Qt::LeftButton << none << 1 << 0;
    QTest::newRow("scrolled, lower row, Shift+Ctrl") << 10 << open + 14 << Qt::LeftButton << shiftCtrl << 1 << 3;
    QTest::newRow("scrolled far") << 30 << open + 40 << Qt::LeftButton << none << 1 << 0;
}

void TestWidgets::pressMapsToRow()
{
    QFETCH(int, top);
    QFETCH(int, row);
    QFETCH(Qt::MouseButton, button);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, expectedButton);
    QFETCH(int, expectedShift);

    // Inside a window: positions are the viewport's, not the window's.
    QWidget window;
    auto *list = new FolderList(&window);
    list->setGeometry(0, 0, 240, 260);
    QVERIFY(showAt(window, 240, 260));
    QVERIFY(list->SetPath(path("many")));
    const int h = list->RowHeightPixels();
    list->SetTopIndex(top);
    QCOMPARE(list->TopIndex(), top);
    // The row's place follows from the row height alone.
    const QRect rect = list->visualRect(list->model()->index(row, 0));
    QCOMPARE(rect.height(), h);
    QCOMPARE(rect.top(), (row - top) * h);

    QList<double> got;
    list->onMouseDown = [&](int b, int s, double x, double y) { got = {double(b), double(s), x, y}; };
    QTest::mouseClick(list->viewport(), button, modifiers, rect.center());
    QCOMPARE(got.size(), 4);
    QCOMPARE(int(got[0]), expectedButton);
    QCOMPARE(int(got[1]), expectedShift);
    QCOMPARE(got[2], double(rect.center().x()));
    const int chain = chainRows(path("many"));
    QCOMPARE(int(std::floor(got[3] / h)) + list->TopIndex(), row);
    QCOMPARE(list->IndexAt(got[3]), row - chain);
    QCOMPARE(list->ListIndex(), row - chain); // the press highlighted that row
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
    QCOMPARE(runs, 2);

    // Arrows move the highlight only; Enter opens the highlighted folder.
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);
    QTest::keyClick(&list, Qt::Key_Down);
    QTest::keyClick(&list, Qt::Key_Up);
    QCOMPARE(list.ListIndex(), 0);
    QCOMPARE(runs, 2);
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(list.Path(), m_open + "/Alpha");
    QTest::keyClick(&list, Qt::Key_Up); // to the parent's row
    QTest::keyClick(&list, Qt::Key_Enter);
    QCOMPARE(list.Path(), m_open);
    QCOMPARE(runs, 4);

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
    QCOMPARE(runs, 5);
    QCOMPARE(list.ListIndex(), -1); // the highlight stays on the newly opened folder
    // A press below the last row opens nothing.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(10, list.viewport()->height() - 2));
    QCOMPARE(list.Path(), m_open + "/alpha");
    QCOMPARE(runs, 5);
}

// ---- file list ----

void TestWidgets::fileOrder_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("mixed case") << QStringList{"b.jpg", "A.jpg", "c.JPG", "a.gif"}
                                << QStringList{"a.gif", "A.jpg", "b.jpg", "c.JPG"};
    QTest::newRow("differ only in case") << QStringList{"b", "B", "a", "A"} << QStringList{"A", "a", "B", "b"};
    QTest::newRow("digits and punctuation") << QStringList{"Z.png", "_x.png", "9.png", "10.png"}
                                            << QStringList{"10.png", "9.png", "_x.png", "Z.png"};
    QTest::newRow("non-ASCII") << QStringList{"Öl.jpg", "ol.jpg", "äb.jpg", "Äa.jpg"}
                               << QStringList{"ol.jpg", "Äa.jpg", "äb.jpg", "Öl.jpg"};
    QTest::newRow("duplicates kept") << QStringList{"x", "x", "a"} << QStringList{"a", "x", "x"};
    QTest::newRow("empty") << QStringList() << QStringList();
}

void TestWidgets::fileOrder()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, expected);

    FileList batch, oneByOne;
    batch.SetItems(names);
    for (const QString &n : names)
        oneByOne.AddItem(n);
    QCOMPARE(entries(batch), expected);
    QCOMPARE(entries(oneByOne), expected);
    QCOMPARE(batch.List(-1), QString());
    QCOMPARE(batch.List(int(names.size())), QString());
    QCOMPARE(batch.ListIndex(), -1);
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
    QTest::newRow("select last") << 4 << kNone << none << all << 4 << QList{4};
    QTest::newRow("select none") << -1 << kNone << none << all << -1 << noClick;
    QTest::newRow("select past the end") << 5 << kNone << none << all << -1 << noClick;
    QTest::newRow("select negative") << -7 << kNone << none << all << -1 << noClick;
    QTest::newRow("remove the selected one") << kNone << 3 << none << QStringList{"a", "b", "c", "e"} << -1 << noClick;
    QTest::newRow("remove the last, selected") << 4 << 4 << none << QStringList{"a", "b", "c", "d"} << -1 << QList{4};
    QTest::newRow("remove another one") << kNone << 0 << none << QStringList{"b", "c", "d", "e"} << -1 << noClick;
    QTest::newRow("remove out of range, negative") << kNone << -1 << none << all << 3 << noClick;
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
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rowCentre(list, 2)); // no change, no click
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(seen, QList<int>({2, 3}));
    // Empty space and a Ctrl+click on the selection leave it as it is.
    const QSize v = list.viewport()->size();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(v.width() - 3, v.height() - 3));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(list, 3));
    QCOMPARE(list.ListIndex(), 3);
    QCOMPARE(seen.size(), 2);

    // The handler choosing another entry: that runs the handler once more, and only once.
    seen.clear();
    list.onClick = [&] {
        seen << list.ListIndex();
        if (seen.size() == 1)
            list.SetListIndex(4);
    };
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rowCentre(list, 1));
    QCOMPARE(seen, QList<int>({1, 4}));
    seen.clear();
    list.SetListIndex(0);
    QCOMPARE(seen, QList<int>({0, 4}));

    // The handler dropping the clicked entry (a broken picture) and choosing the next one.
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

void TestWidgets::columnLayout()
{
    FileList list;
    const int frame = list.frameWidth() * 2;
    QVERIFY(showAt(list, 600 + frame, 240 + frame));
    QStringList names;
    for (int i = 0; i < 200; ++i)
        names << QString("picture %1 with a name far too long for its column.jpg").arg(i, 3, 10, QChar('0'));
    list.SetItems(names);
    list.SetColumns(3);
    QCOMPARE(list.gridSize(), QSize(200, list.fontMetrics().height() + 2));

    // Top to bottom, then into the next column, 200 pixels to the right.
    const auto topLeft = [&](int i) { return list.visualRect(list.model()->index(i, 0)).topLeft(); };
    QCOMPARE(topLeft(1), topLeft(0) + QPoint(0, list.gridSize().height()));
    int nextColumn = 1;
    while (nextColumn < list.ListCount() && topLeft(nextColumn).x() == topLeft(0).x())
        ++nextColumn;
    QVERIFY(nextColumn > 2 && nextColumn < list.ListCount());
    QCOMPARE(topLeft(nextColumn), topLeft(0) + QPoint(200, 0));
    QVERIFY(list.visualRect(list.model()->index(0, 0)).width() <= 200); // long names are cut to their column
    QVERIFY(list.horizontalScrollBar()->maximum() > 0);

    list.resize(900 + frame, 240 + frame);
    QTRY_COMPARE(list.gridSize().width(), 300);
    list.SetColumns(0);
    QCOMPARE(list.Columns(), 1);
    QCOMPARE(list.gridSize().width(), 900);
}

void TestWidgets::hundredThousandNames()
{
    QStringList names;
    QRandomGenerator random(7);
    for (int i = 0; i < 100000; ++i) {
        const QString name = QString("IMG_%1.jpg").arg(random.bounded(1000000), 6, 10, QChar('0'));
        names << (i % 3 ? name : name.toLower());
    }
    FileList list;
    list.SetColumns(4);
    QVERIFY(showAt(list, 800, 500));

    QElapsedTimer timer;
    timer.start();
    list.SetItems(names);
    const QRect last = list.visualRect(list.model()->index(99999, 0)); // laid out to the end
    QCoreApplication::processEvents();                                  // and painted
    QVERIFY2(timer.elapsed() < 1500, qPrintable(QString("%1 ms").arg(timer.elapsed())));
    QVERIFY(last.isValid());
    QCOMPARE(list.ListCount(), 100000);
    for (int i = 1; i < list.ListCount(); i += 997)
        QVERIFY(!platform::FileListModel::lessThan(list.List(i), list.List(i - 1)));
    list.SetListIndex(99999);
    QVERIFY(list.viewport()->rect().intersects(list.visualRect(list.model()->index(99999, 0))));
}

// ---- drive list ----

void TestWidgets::realVolumes()
{
    DriveList drives;
    QCOMPARE(drives.itemData(0).toString(), QString("/"));
    QVERIFY(drives.itemText(0).startsWith("/"));
    QCOMPARE(drives.count(), int(platform::FileSys().Volumes().size()));
    QCOMPARE(drives.CurrentRoot(), platform::FileSys().DriveOf(QDir::currentPath()));

    QVERIFY(drives.SetDrive(m_open));
    const QString root = platform::FileSys().DriveOf(m_open);
    QCOMPARE(drives.CurrentRoot(), root);
    int runs = 0;
    drives.onChange = [&] { ++runs; };
    QVERIFY(drives.SetDrive(m_open + "/beta"));
    QVERIFY(drives.SetDrive(root));
    QVERIFY(!drives.SetDrive("relative/path"));
    QVERIFY(!drives.SetDrive(""));
    QCOMPARE(runs, 0);

    // The drive is the folder last shown on the volume.
    FolderList folders;
    QVERIFY(folders.SetPath(m_open + "/Gamma"));
    QCOMPARE(drives.Drive(), m_open + "/Gamma");
    QCOMPARE(platform::CurrentFolderOfVolume(m_root + "unknown"), m_root + "unknown");
}

void TestWidgets::switchingVolumes()
{
    FakeDriveList drives({{"/", ""}, {m_root + "volA", "Pictures"}, {m_root + "volB", "not ready"}});
    QCOMPARE(drives.itemText(1), m_root + "volA  (Pictures)");
    QStringList seen;
    drives.onChange = [&] { seen << drives.Drive(); };

    QVERIFY(drives.SetDrive(m_root + "volA/x/y"));
    QCOMPARE(seen, QStringList{m_root + "volA"});
    QCOMPARE(drives.CurrentRoot(), m_root + "volA");
    QCOMPARE(drives.currentIndex(), 1);
    QVERIFY(!drives.SetDrive(m_root + "volB")); // missing, like a drive that is not ready
    QCOMPARE(drives.CurrentRoot(), m_root + "volA");
    QCOMPARE(seen.size(), 1);

    // The user's pick: refused, the entry snaps back.
    QVERIFY(drives.SetDrive("/"));
    QVERIFY(showAt(drives, 300, 30));
    drives.setFocus();
    seen.clear();
    QTest::keyClick(&drives, Qt::Key_Down);
    QCOMPARE(drives.CurrentRoot(), m_root + "volA");
    QTest::keyClick(&drives, Qt::Key_Down);
    QCOMPARE(drives.currentIndex(), 1);
    QCOMPARE(drives.CurrentRoot(), m_root + "volA");
    QCOMPARE(seen.size(), 1);

    // Setting the drive just chosen from the handler runs nothing more; switching back and forth
    // for ever ends.
    drives.onChange = [&] { seen << drives.Drive(); drives.SetDrive(drives.Drive()); };
    QVERIFY(drives.SetDrive("/"));
    QCOMPARE(seen.size(), 2);
    int runs = 0;
    drives.onChange = [&] { ++runs; drives.SetDrive(drives.CurrentRoot() == "/" ? m_root + "volA" : QString("/")); };
    QVERIFY(drives.SetDrive(m_root + "volA"));
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
    QCOMPARE(drives.count(), 1);
    QCOMPARE(drives.CurrentRoot(), QString("/"));
    drives.RefreshVolumes();
    QCOMPARE(runs, 1);
}

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
