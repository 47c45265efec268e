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

using platform::DriveList;
using platform::FileList;
using platform::FolderList;

namespace {

// A drive list over volumes the test chooses: folders standing in for other volumes, one of them
// missing like a drive that is not ready.
class FakeDriveList : public DriveList
{
public:
    explicit FakeDriveList(QList<platform::Volume> volumes)
        : m_volumes(std::move(volumes))
    {
        RefreshVolumes();
    }
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

    void folderIndexRules_data();
    void folderIndexRules();
    void folderRows();
    void setPath_data();
    void setPath();
    void nestedSetPathInsideOnChange();
    void unreadableFolderRefused();
    void openFolderInSight_data();
    void openFolderInSight();
    void pressMapsToRow_data();
    void pressMapsToRow();
    void doubleClickAndKeysOpen();
    void mouseDownOpeningRowIsNotActedOnTwice();
    void refreshKeepsPath();

    void fileOrder_data();
    void fileOrder();
    void addItemKeepsSelectionQuietly();
    void setListIndex_data();
    void setListIndex();
    void userClicksAndNesting();
    void removeItem_data();
    void removeItem();
    void columnLayout();
    void hundredThousandNames();

    void realVolumes();
    void switchingVolumes();
    void removedFolderDoesNotLockVolume();

private:
    QString path(const QString &relative) const { return m_root + relative; }
    int chainRows(const QString &folder) const { return int(folder.count(u'/')) + 1; }

    QTemporaryDir m_dir;
    QString m_root;   // the temporary folder, with a separator
    QString m_open;   // three levels below it
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

void TestWidgets::folderIndexRules_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("fromRoot"); // index counts from the root's entry
    QTest::addColumn<QString>("expected");

    QTest::newRow("open folder") << -1 << false << "l1/l2/l3";
    QTest::newRow("parent") << -2 << false << "l1/l2";
    QTest::newRow("grandparent") << -3 << false << "l1";
    QTest::newRow("temporary folder") << -4 << false << "$tmp";
    QTest::newRow("root") << 0 << true << "/";
    QTest::newRow("below root") << 1 << true << "$top";
    QTest::newRow("above root") << -1 << true << "<none>";
    QTest::newRow("first subfolder") << 0 << false << "l1/l2/l3/Alpha";
    QTest::newRow("same name, lower case") << 1 << false << "l1/l2/l3/alpha";
    QTest::newRow("last") << 3 << false << "l1/l2/l3/Gamma";
    QTest::newRow("past the end") << 4 << false << "<none>";
}

void TestWidgets::folderIndexRules()
{
    QFETCH(int, index);
    QFETCH(bool, fromRoot);
    QFETCH(QString, expected);

    FolderList list;
    QVERIFY(list.SetPath(m_open));
    if (fromRoot)
        index -= chainRows(m_open);
    if (expected == "<none>")
        expected.clear();
    else if (expected == "$top")
        expected = "/" + m_open.section(u'/', 1, 1);
    else if (expected == "$tmp")
        expected = m_dir.path();
    else if (expected != "/")
        expected = path(expected);
    QCOMPARE(list.List(index), expected);
    QCOMPARE(list.ListCount(), 4);
    QCOMPARE(list.ListIndex(), -1);
}

void TestWidgets::folderRows()
{
    FolderList list;
    QVERIFY(list.SetPath(m_open));
    QStringList expected{"/"};
    expected << m_open.split(u'/', Qt::SkipEmptyParts);
    expected << "Alpha" << "alpha" << "beta" << "Gamma"; // no ".hidden", no file
    QStringList shown;
    for (int row = 0; row < list.model()->rowCount(); ++row)
        shown << list.model()->index(row, 0).data().toString();
    QCOMPARE(shown, expected);
    QCOMPARE(list.currentIndex().row(), chainRows(m_open) - 1); // the open folder is highlighted
}

void TestWidgets::setPath_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("expectedPath");
    QTest::addColumn<int>("changes");

    QTest::newRow("same folder") << "$open" << true << "$open" << 0;
    QTest::newRow("same, trailing separator") << "$open/" << true << "$open" << 0;
    QTest::newRow("same, dot segments") << "$open/../l3/." << true << "$open" << 0;
    QTest::newRow("subfolder") << "$open/beta" << true << "$open/beta" << 1;
    QTest::newRow("parent, trailing separator") << "$tmp/l1/l2/" << true << "$tmp/l1/l2" << 1;
    QTest::newRow("root") << "/" << true << "/" << 1;
    QTest::newRow("relative to the working folder") << "Gamma" << true << "$open/Gamma" << 1;
    QTest::newRow("hidden, named directly") << "$open/.hidden" << true << "$open/.hidden" << 1;
    QTest::newRow("missing") << "$open/missing" << false << "$open" << 0;
    QTest::newRow("a file") << "$open/file.jpg" << false << "$open" << 0;
    QTest::newRow("empty") << "" << false << "$open" << 0;
    QTest::newRow("embedded NUL") << QStringLiteral("$open") + QChar(0) << false << "$open" << 0;
}

void TestWidgets::setPath()
{
    QFETCH(QString, target);
    QFETCH(bool, accepted);
    QFETCH(QString, expectedPath);
    QFETCH(int, changes);
    const auto expand = [this](QString s) { return s.replace("$open", m_open).replace("$tmp", m_dir.path()); };

    FolderList list;
    QVERIFY(list.SetPath(m_open));
    QVERIFY(QDir::setCurrent(m_open));
    int runs = 0;
    QString seen;
    list.onChange = [&] { ++runs; seen = list.Path(); };
    QCOMPARE(list.SetPath(expand(target)), accepted);
    QCOMPARE(list.Path(), expand(expectedPath));
    QCOMPARE(runs, changes);
    if (changes)
        QCOMPARE(seen, list.Path()); // onChange sees the new folder already
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
    QTest::addColumn<int>("offset");
    QTest::addColumn<bool>("fromOpen"); // offset counts from the open folder's row, else from the root's
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("expectedButton");
    QTest::addColumn<int>("expectedShift");

    const Qt::KeyboardModifiers none;
    QTest::newRow("root row") << 0 << 0 << false << Qt::LeftButton << none << 1 << 0;
    QTest::newRow("open folder, right, Shift")
        << 0 << 0 << true << Qt::RightButton << Qt::KeyboardModifiers(Qt::ShiftModifier) << 2 << 1;
    QTest::newRow("fifth subfolder, middle, Ctrl+Alt")
        << 0 << 5 << true << Qt::MiddleButton << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier) << 4 << 6;
    QTest::newRow("scrolled, top row") << 10 << 10 << false << Qt::LeftButton << none << 1 << 0;
    QTest::newRow("scrolled, lower row, Shift+Ctrl")
        << 10 << 14 << true << Qt::LeftButton << Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::ControlModifier) << 1 << 3;
    QTest::newRow("scrolled far") << 30 << 40 << true << Qt::LeftButton << none << 1 << 0;
}

void TestWidgets::pressMapsToRow()
{
    QFETCH(int, top);
    QFETCH(int, offset);
    QFETCH(bool, fromOpen);
    QFETCH(Qt::MouseButton, button);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, expectedButton);
    QFETCH(int, expectedShift);

    QWidget window;
    auto *list = new FolderList(&window);
    list->setGeometry(0, 0, 240, 260);
    QVERIFY(showAt(window, 240, 260));
    QVERIFY(list->SetPath(path("many")));
    const int chain = chainRows(path("many"));
    const int row = fromOpen ? chain - 1 + offset : offset;
    const int h = list->RowHeightPixels();
    QCOMPARE(h, list->fontMetrics().height() + 2);

    list->SetTopIndex(top);
    QCOMPARE(list->TopIndex(), top);
    QVERIFY(row >= top && (row - top + 1) * h <= list->viewport()->height());
    // The row's place follows from the row height alone.
    const QModelIndex item = list->model()->index(row, 0);
    const QRect rect = list->visualRect(item);
    QCOMPARE(rect.height(), h);
    QCOMPARE(rect.top(), (row - top) * h);

    QList<double> got;
    list->onMouseDown = [&](int b, int s, double x, double y) { got = {double(b), double(s), x, y}; };
    QTest::mousePress(list->viewport(), button, modifiers, rect.center());
    QTest::mouseRelease(list->viewport(), button, modifiers, rect.center());
    QCOMPARE(got.size(), 4);
    QCOMPARE(int(got[0]), expectedButton);
    QCOMPARE(int(got[1]), expectedShift);
    QCOMPARE(got[2], double(rect.center().x()));
    QCOMPARE(int(std::floor(got[3] / h)) + list->TopIndex(), row);
    QCOMPARE(list->IndexAt(got[3]), row - chain);
    QCOMPARE(list->ListIndex(), row - chain); // the press highlighted that row
}

void TestWidgets::doubleClickAndKeysOpen()
{
    FolderList list;
    QVERIFY(showAt(list, 240, 300));
    QVERIFY(list.SetPath(m_open));
    int runs = 0;
    list.onChange = [&] { ++runs; };
    const int chain = chainRows(m_open);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, rowCentre(list, chain + 2)); // "beta"
    QCOMPARE(list.Path(), m_open + "/beta");
    QCOMPARE(runs, 1);
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
}

void TestWidgets::mouseDownOpeningRowIsNotActedOnTwice()
{
    // The window opens the folder under the pointer as soon as it is pressed; the rest of that
    // click (and a double-click) must neither open a second folder nor act on the new rows.
    FolderList list;
    QVERIFY(showAt(list, 240, 300));
    QVERIFY(list.SetPath(m_open));
    int runs = 0;
    list.onChange = [&] { ++runs; };
    list.onMouseDown = [&](int button, int, double, double y) {
        if (button == 1)
            list.SetPath(list.List(list.IndexAt(y)));
    };
    // "alpha" is the second subfolder; once it is open, its own subfolder "inner" is under the pointer.
    const QPoint alpha = rowCentre(list, chainRows(m_open) + 1);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, alpha);
    QCOMPARE(list.Path(), m_open + "/alpha");
    QCOMPARE(list.List(list.IndexAt(alpha.y())), m_open + "/alpha/inner");
    QCOMPARE(runs, 1);
    QCOMPARE(list.ListIndex(), -1); // the highlight stays on the newly opened folder

    // A press below the last row opens nothing.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(10, list.viewport()->height() - 2));
    QCOMPARE(list.Path(), m_open + "/alpha");
    QCOMPARE(runs, 1);
}

void TestWidgets::refreshKeepsPath()
{
    FolderList list;
    QVERIFY(list.SetPath(m_open));
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

    FileList batch;
    batch.SetItems(names);
    FileList oneByOne;
    for (const QString &n : names)
        oneByOne.AddItem(n);
    QCOMPARE(entries(batch), expected);
    QCOMPARE(entries(oneByOne), expected);
    QCOMPARE(batch.List(-1), QString());
    QCOMPARE(batch.List(int(names.size())), QString());
    QCOMPARE(batch.ListIndex(), -1);
}

void TestWidgets::addItemKeepsSelectionQuietly()
{
    FileList list;
    list.SetItems({"b.jpg", "d.jpg"});
    list.SetListIndex(1);
    int clicks = 0;
    list.onClick = [&] { ++clicks; };
    list.AddItem("a.jpg");
    list.AddItem("C.jpg");
    QCOMPARE(list.List(list.ListIndex()), QString("d.jpg"));
    QCOMPARE(clicks, 0);
}

void TestWidgets::setListIndex_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<int>("expectedIndex");

    QTest::newRow("first") << 0 << 1 << 0;
    QTest::newRow("same as before") << 3 << 1 << 3;
    QTest::newRow("last") << 4 << 1 << 4;
    QTest::newRow("none") << -1 << 0 << -1;
    QTest::newRow("past the end") << 5 << 0 << -1;
    QTest::newRow("negative") << -7 << 0 << -1;
}

void TestWidgets::setListIndex()
{
    QFETCH(int, index);
    QFETCH(int, clicks);
    QFETCH(int, expectedIndex);

    FileList list;
    list.SetItems({"a", "b", "c", "d", "e"});
    list.SetListIndex(3);
    int runs = 0;
    int indexSeen = -2;
    list.onClick = [&] { ++runs; indexSeen = list.ListIndex(); };
    list.SetListIndex(index);
    QCOMPARE(runs, clicks);
    QCOMPARE(list.ListIndex(), expectedIndex);
    QCOMPARE(list.currentIndex().row(), expectedIndex);
    if (clicks)
        QCOMPARE(indexSeen, expectedIndex); // the handler sees the new entry
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
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(list.viewport()->width() - 3, list.viewport()->height() - 3));
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

void TestWidgets::removeItem_data()
{
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("remove");
    QTest::addColumn<QStringList>("remaining");
    QTest::addColumn<int>("expectedIndex");

    const QStringList all{"a", "b", "c", "d"};
    QTest::newRow("the selected one") << 1 << 1 << QStringList{"a", "c", "d"} << -1;
    QTest::newRow("the last, selected") << 3 << 3 << QStringList{"a", "b", "c"} << -1;
    QTest::newRow("another one") << 2 << 0 << QStringList{"b", "c", "d"} << -1;
    QTest::newRow("out of range, negative") << 2 << -1 << all << 2;
    QTest::newRow("out of range, past the end") << 2 << 4 << all << 2;
}

void TestWidgets::removeItem()
{
    QFETCH(int, selected);
    QFETCH(int, remove);
    QFETCH(QStringList, remaining);
    QFETCH(int, expectedIndex);

    FileList list;
    list.SetItems({"d", "c", "b", "a"});
    list.SetListIndex(selected);
    int clicks = 0;
    list.onClick = [&] { ++clicks; };
    list.RemoveItem(remove);
    QCOMPARE(entries(list), remaining);
    QCOMPARE(list.ListIndex(), expectedIndex);
    QCOMPARE(clicks, 0);
}

void TestWidgets::columnLayout()
{
    FileList list;
    const int frame = list.frameWidth() * 2;
    QVERIFY(showAt(list, 600 + frame, 240 + frame));
    QCOMPARE(list.viewport()->width(), 600);
    QStringList names;
    for (int i = 0; i < 200; ++i)
        names << QString("picture %1 with a name far too long for its column.jpg").arg(i, 3, 10, QChar('0'));
    list.SetItems(names);
    list.SetColumns(3);
    QCOMPARE(list.gridSize(), QSize(200, list.fontMetrics().height() + 2));

    // Top to bottom, then into the next column, 200 pixels to the right.
    const QRect first = list.visualRect(list.model()->index(0, 0));
    const QRect second = list.visualRect(list.model()->index(1, 0));
    QCOMPARE(second.topLeft(), first.topLeft() + QPoint(0, list.gridSize().height()));
    int nextColumn = 1;
    while (nextColumn < list.ListCount() && list.visualRect(list.model()->index(nextColumn, 0)).x() == first.x())
        ++nextColumn;
    QVERIFY(nextColumn > 2 && nextColumn < list.ListCount());
    QCOMPARE(list.visualRect(list.model()->index(nextColumn, 0)).topLeft(), first.topLeft() + QPoint(200, 0));
    QVERIFY(first.width() <= 200); // long names are cut to their column
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
    names.reserve(100000);
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
    const qint64 ms = timer.elapsed();
    qInfo("100,000 names: set and laid out in %lld ms", ms);
    QVERIFY(last.isValid());
    QVERIFY2(ms < 1500, qPrintable(QString("%1 ms").arg(ms)));

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
    QVERIFY(!drives.SetDrive(m_root + "volB"));
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

    // The chosen volume unmounted: back to the first, and the window hears of it.
    runs = 0;
    drives.onChange = [&] { ++runs; };
    QVERIFY(drives.SetDrive(m_root + "volB/../volA")); // cleaned: that is volA
    QCOMPARE(drives.CurrentRoot(), m_root + "volA");
    runs = 0;
    drives.m_volumes = {{"/", ""}};
    drives.RefreshVolumes();
    QCOMPARE(drives.count(), 1);
    QCOMPARE(drives.CurrentRoot(), QString("/"));
    drives.RefreshVolumes();
    QCOMPARE(runs, 1);
}

void TestWidgets::removedFolderDoesNotLockVolume()
{
    QVERIFY(QDir().mkpath(path("gone/deeper")));
    platform::RememberFolderOfVolume(path("gone/deeper"));
    FakeDriveList drives({{"/", ""}, {m_root + "volA", "A"}});
    QVERIFY(drives.SetDrive(m_root + "volA"));
    QVERIFY(QDir(path("gone")).removeRecursively());
    QVERIFY(drives.SetDrive("/"));
    QCOMPARE(drives.Drive(), m_dir.path()); // the nearest folder still there
}

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
