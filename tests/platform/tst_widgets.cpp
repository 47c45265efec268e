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
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using platform::DriveList;
using platform::FileList;
using platform::FolderList;

namespace {

// A drive list over volumes the test chooses: the real root plus folders standing in for other
// volumes (one of them missing, like a drive that is not ready).
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

QStringList displayTexts(const QAbstractItemModel *model)
{
    QStringList texts;
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->index(row, 0).data().toString();
    return texts;
}

} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void folderListIndexRules_data();
    void folderListIndexRules();
    void folderListRows();
    void setPath_data();
    void setPath();
    void nestedSetPathInsideOnChange();
    void onChangeThatNeverSettles();
    void unreadableFolderRefused();
    void openFolderInSight_data();
    void openFolderInSight();
    void pressMapsToRow_data();
    void pressMapsToRow();
    void mouseDownButtons_data();
    void mouseDownButtons();
    void doubleClickOpens();
    void mouseDownOpeningRowIsNotActedOnTwice();
    void keysMoveHighlightEnterOpens();
    void refreshKeepsPath();

    void fileListOrder_data();
    void fileListOrder();
    void addItemKeepsSelectionQuietly();
    void setListIndex_data();
    void setListIndex();
    void nestedSetListIndexInsideOnClick();
    void userClickAndKeys();
    void removeItem_data();
    void removeItem();
    void onClickRemovingClickedEntry();
    void columnLayout();
    void hundredThousandNames();

    void driveListEntries();
    void sameDriveRunsNothing();
    void driveRemembersFolder();
    void switchingVolumes();
    void userPickRefusedSnapsBack();
    void driveOnChangeReentrance();
    void removedFolderDoesNotLockVolume();
    void chosenVolumeUnmounted();

private:
    QString path(const QString &relative) const { return m_root + relative; }

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
    for (const char *sub : {"beta", "Alpha", "alpha", "Gamma", ".hidden"})
        QVERIFY(QDir().mkpath(m_open + "/" + sub));
    QVERIFY(QDir().mkpath(m_open + "/alpha/inner"));
    QVERIFY(testutil::writeFile(m_open + "/file.jpg"));
    for (int i = 0; i < 60; ++i)
        QVERIFY(QDir().mkpath(path("many/d%1").arg(i, 2, 10, QChar('0'))));
    m_cwd = QDir::currentPath();
}

void TestWidgets::init()
{
    QDir::setCurrent(m_cwd);
}

// ---- folder list ----

void TestWidgets::folderListIndexRules_data()
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
    QTest::newRow("third") << 2 << false << "l1/l2/l3/beta";
    QTest::newRow("last") << 3 << false << "l1/l2/l3/Gamma";
    QTest::newRow("past the end") << 4 << false << "<none>";
    QTest::newRow("far out") << 1000 << false << "<none>";
}

void TestWidgets::folderListIndexRules()
{
    QFETCH(int, index);
    QFETCH(bool, fromRoot);
    QFETCH(QString, expected);

    FolderList list;
    QVERIFY(list.SetPath(m_open));
    const int depth = int(m_open.count(u'/'));
    if (fromRoot)
        index -= depth + 1;
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

void TestWidgets::folderListRows()
{
    FolderList list;
    QVERIFY(list.SetPath(m_open));
    QStringList expected{"/"};
    expected << m_open.split(u'/', Qt::SkipEmptyParts);
    expected << "Alpha" << "alpha" << "beta" << "Gamma"; // no ".hidden", no file
    QCOMPARE(displayTexts(list.model()), expected);
    // The highlight is on the open folder's row.
    QCOMPARE(list.currentIndex().row(), int(expected.size()) - 5);
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
    const auto expand = [this](QString s) {
        return s.replace("$open", m_open).replace("$tmp", m_dir.path());
    };

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
            QVERIFY(list.SetPath(list.Path())); // the same again: nothing more runs
        }
    };
    QVERIFY(list.SetPath(m_open + "/Alpha"));
    QVERIFY(nestedResult);
    QCOMPARE(seen, QStringList() << m_open + "/Alpha" << m_open + "/beta");
    QCOMPARE(list.Path(), m_open + "/beta");
    QCOMPARE(list.List(-2), m_open);
    QCOMPARE(list.ListCount(), 0);
}

void TestWidgets::onChangeThatNeverSettles()
{
    // Each change opening the other folder again must end, not exhaust the stack.
    FolderList list;
    QVERIFY(list.SetPath(m_open));
    int runs = 0;
    list.onChange = [&] {
        ++runs;
        list.SetPath(list.Path().endsWith("Alpha") ? m_open + "/beta" : m_open + "/Alpha");
    };
    QVERIFY(list.SetPath(m_open + "/Alpha"));
    QVERIFY(runs > 1);
    QVERIFY(runs < 100);
    QVERIFY(list.Path() == m_open + "/Alpha" || list.Path() == m_open + "/beta");
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
    list.resize(240, height);
    if (openedWhileHidden)
        QVERIFY(list.SetPath(path(folder)));
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    if (!openedWhileHidden)
        QVERIFY(list.SetPath(path(folder)));
    const int openRow = int(path(folder).count(u'/'));
    const int visible = list.viewport()->height() / list.RowHeightPixels();
    const int top = list.TopIndex();
    QVERIFY2(openRow >= top && openRow < top + visible, qPrintable(QString("top %1").arg(top)));
    // Subfolders fill at least half the view below it; the chain shows from the root when it fits.
    const int below = std::min(list.ListCount(), visible / 2);
    QVERIFY(openRow + below < top + visible);
    if (openRow + below < visible)
        QCOMPARE(top, 0);
    QCOMPARE(list.ListIndex(), -1);
}

void TestWidgets::pressMapsToRow_data()
{
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("offset");
    QTest::addColumn<bool>("fromOpen"); // offset counts from the open folder's row, else from the root's

    QTest::newRow("root row") << 0 << 0 << false;
    QTest::newRow("second row") << 0 << 1 << false;
    QTest::newRow("open folder") << 0 << 0 << true;
    QTest::newRow("first subfolder") << 0 << 1 << true;
    QTest::newRow("fifth subfolder") << 0 << 5 << true;
    QTest::newRow("scrolled, top row") << 10 << 10 << false;
    QTest::newRow("scrolled, lower row") << 10 << 14 << true;
    QTest::newRow("scrolled far") << 30 << 40 << true;
}

void TestWidgets::pressMapsToRow()
{
    QFETCH(int, top);
    QFETCH(int, offset);
    QFETCH(bool, fromOpen);

    QWidget window;
    auto *list = new FolderList(&window);
    list->setGeometry(0, 0, 240, 260);
    window.resize(240, 260);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(list->SetPath(path("many")));
    const int chain = int(path("many").count(u'/')) + 1; // rows "/" .. "many"
    const int row = fromOpen ? chain - 1 + offset : offset;
    const int h = list->RowHeightPixels();
    QCOMPARE(h, list->fontMetrics().height() + 2);

    list->SetTopIndex(top);
    QCOMPARE(list->TopIndex(), top);
    QVERIFY(row >= top && (row - top + 1) * h <= list->viewport()->height());

    // The row at y = (row - top) * h, independently of the view's own hit test.
    const QModelIndex item = list->model()->index(row, 0);
    const QRect rect = list->visualRect(item);
    QCOMPARE(rect.height(), h);
    QCOMPARE(rect.top(), (row - top) * h);
    QCOMPARE(list->indexAt(QPoint(rect.center().x(), (row - top) * h + h / 2)), item);

    double gotY = -1;
    int calls = 0;
    list->onMouseDown = [&](int, int, double, double y) {
        ++calls;
        gotY = y;
    };
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(calls, 1);
    QCOMPARE(int(std::floor(gotY / h)) + list->TopIndex(), row);
    QCOMPARE(list->IndexAt(gotY), row - chain);
    QCOMPARE(list->List(list->IndexAt(gotY)), list->List(row - chain));
    QCOMPARE(list->ListIndex(), row - chain); // the press highlighted that row
}

void TestWidgets::mouseDownButtons_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("expectedButton");
    QTest::addColumn<int>("expectedShift");

    QTest::newRow("left") << Qt::LeftButton << Qt::KeyboardModifiers() << 1 << 0;
    QTest::newRow("right with Shift") << Qt::RightButton << Qt::KeyboardModifiers(Qt::ShiftModifier) << 2 << 1;
    QTest::newRow("middle with Ctrl+Alt")
        << Qt::MiddleButton << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier) << 4 << 6;
    QTest::newRow("left with Shift+Ctrl")
        << Qt::LeftButton << Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::ControlModifier) << 1 << 3;
}

void TestWidgets::mouseDownButtons()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, expectedButton);
    QFETCH(int, expectedShift);

    FolderList list;
    list.resize(200, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    int gotButton = -1, gotShift = -1;
    QPointF got;
    list.onMouseDown = [&](int b, int s, double x, double y) {
        gotButton = b;
        gotShift = s;
        got = QPointF(x, y);
    };
    QTest::mousePress(list.viewport(), button, modifiers, QPoint(17, 5));
    QTest::mouseRelease(list.viewport(), button, modifiers, QPoint(17, 5));
    QCOMPARE(gotButton, expectedButton);
    QCOMPARE(gotShift, expectedShift);
    QCOMPARE(got, QPointF(17, 5));
}

void TestWidgets::doubleClickOpens()
{
    FolderList list;
    list.resize(240, 300);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QVERIFY(list.SetPath(m_open));
    int runs = 0;
    list.onChange = [&] { ++runs; };
    const int chain = int(m_open.count(u'/')) + 1;
    const QRect beta = list.visualRect(list.model()->index(chain + 2, 0));
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, beta.center());
    QCOMPARE(list.Path(), m_open + "/beta");
    QCOMPARE(runs, 1);

    // Double-click on the parent's row goes up.
    const QRect parentRow = list.visualRect(list.model()->index(chain - 1, 0));
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, parentRow.center());
    QCOMPARE(list.Path(), m_open);
    QCOMPARE(runs, 2);
}

void TestWidgets::mouseDownOpeningRowIsNotActedOnTwice()
{
    // The window opens the folder under the pointer as soon as it is pressed; the rest of that
    // click (and a double-click) must neither open a second folder nor act on the new rows.
    FolderList list;
    list.resize(240, 300);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QVERIFY(list.SetPath(m_open));
    int runs = 0;
    list.onChange = [&] { ++runs; };
    list.onMouseDown = [&](int button, int, double, double y) {
        if (button == 1)
            list.SetPath(list.List(list.IndexAt(y)));
    };
    const int chain = int(m_open.count(u'/')) + 1;
    // "alpha" is the second subfolder; once it is open, its own subfolder "inner" is the row
    // under the pointer.
    const QRect alpha = list.visualRect(list.model()->index(chain + 1, 0));
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, alpha.center());
    QCOMPARE(list.Path(), m_open + "/alpha");
    QCOMPARE(list.List(list.IndexAt(alpha.center().y())), m_open + "/alpha/inner");
    QCOMPARE(runs, 1);
    QCOMPARE(list.ListIndex(), -1); // the highlight stays on the newly opened folder

    // A press below the last row opens nothing.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(10, list.viewport()->height() - 2));
    QCOMPARE(list.Path(), m_open + "/alpha");
    QCOMPARE(runs, 1);
}

void TestWidgets::keysMoveHighlightEnterOpens()
{
    FolderList list;
    list.resize(240, 300);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QVERIFY(list.SetPath(m_open));
    int runs = 0;
    list.onChange = [&] { ++runs; };
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(list.ListIndex(), 1);
    QTest::keyClick(&list, Qt::Key_Up);
    QCOMPARE(list.ListIndex(), 0);
    QCOMPARE(runs, 0);
    QCOMPARE(list.Path(), m_open);
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(list.Path(), m_open + "/Alpha");
    QCOMPARE(runs, 1);
    QTest::keyClick(&list, Qt::Key_Up); // to the parent's row
    QTest::keyClick(&list, Qt::Key_Enter);
    QCOMPARE(list.Path(), m_open);
    QCOMPARE(runs, 2);
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
    QCOMPARE(runs, 0);
    QVERIFY(QDir(m_open + "/delta").removeRecursively());
    list.Refresh();
    QCOMPARE(list.ListCount(), 4);
}

// ---- file list ----

void TestWidgets::fileListOrder_data()
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

void TestWidgets::fileListOrder()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, expected);

    FileList batch;
    batch.SetItems(names);
    FileList oneByOne;
    for (const QString &n : names)
        oneByOne.AddItem(n);
    QStringList fromBatch, fromAdd;
    for (int i = 0; i < batch.ListCount(); ++i)
        fromBatch << batch.List(i);
    for (int i = 0; i < oneByOne.ListCount(); ++i)
        fromAdd << oneByOne.List(i);
    QCOMPARE(fromBatch, expected);
    QCOMPARE(fromAdd, expected);
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
    QCOMPARE(list.ListIndex(), 3);
    QCOMPARE(list.List(list.ListIndex()), QString("d.jpg"));
    QCOMPARE(clicks, 0);
}

void TestWidgets::setListIndex_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<int>("expectedIndex");

    QTest::newRow("first") << 0 << 1 << 0;
    QTest::newRow("middle") << 2 << 1 << 2;
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
    list.resize(300, 200);
    list.show();
    list.SetItems({"a", "b", "c", "d", "e"});
    list.SetListIndex(3);
    QCOMPARE(list.ListIndex(), 3);
    int runs = 0;
    int indexSeen = -2;
    list.onClick = [&] {
        ++runs;
        indexSeen = list.ListIndex();
    };
    list.SetListIndex(index);
    QCOMPARE(runs, clicks);
    QCOMPARE(list.ListIndex(), expectedIndex);
    if (clicks) {
        QCOMPARE(indexSeen, expectedIndex);
        QCOMPARE(list.currentIndex().row(), expectedIndex);
    } else {
        QVERIFY(!list.currentIndex().isValid());
    }
}

void TestWidgets::nestedSetListIndexInsideOnClick()
{
    FileList list;
    list.resize(300, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.SetItems({"a", "b", "c", "d", "e"});
    QList<int> seen;
    list.onClick = [&] {
        seen << list.ListIndex();
        if (seen.size() == 1)
            list.SetListIndex(4);
    };
    list.SetListIndex(1);
    QCOMPARE(seen, QList<int>({1, 4}));
    QCOMPARE(list.ListIndex(), 4);

    // The same from a user's click.
    seen.clear();
    const QRect b = list.visualRect(list.model()->index(1, 0));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, b.center());
    QCOMPARE(seen, QList<int>({1, 4}));
    QCOMPARE(list.ListIndex(), 4);

    // A handler that keeps choosing another entry ends.
    int runs = 0;
    list.onClick = [&] { ++runs; list.SetListIndex(list.ListIndex() == 0 ? 1 : 0); };
    list.SetListIndex(2);
    QVERIFY(runs > 1 && runs < 100);
}

void TestWidgets::userClickAndKeys()
{
    FileList list;
    list.resize(300, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.SetItems({"a", "b", "c", "d", "e"});
    int clicks = 0;
    list.onClick = [&] { ++clicks; };
    const QRect c = list.visualRect(list.model()->index(2, 0));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, c.center());
    QCOMPARE(clicks, 1);
    QCOMPARE(list.ListIndex(), 2);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, c.center());
    QCOMPARE(clicks, 1); // no change, no click
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(clicks, 2);
    QCOMPARE(list.ListIndex(), 3);
    // Empty space and a Ctrl+click on the selection leave it as it is.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(list.viewport()->width() - 3, list.viewport()->height() - 3));
    QCOMPARE(list.ListIndex(), 3);
    const QRect d = list.visualRect(list.model()->index(3, 0));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, d.center());
    QCOMPARE(list.ListIndex(), 3);
    QCOMPARE(clicks, 2);
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
    QStringList names;
    for (int i = 0; i < list.ListCount(); ++i)
        names << list.List(i);
    QCOMPARE(names, remaining);
    QCOMPARE(list.ListIndex(), expectedIndex);
    QCOMPARE(clicks, 0);
}

void TestWidgets::onClickRemovingClickedEntry()
{
    // A click whose handler drops the entry (a picture that turned out broken) must not upset
    // the rest of the click's handling.
    FileList list;
    list.resize(300, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.SetItems({"a", "b", "c"});
    int runs = 0;
    list.onClick = [&] {
        if (++runs > 1)
            return;
        const int i = list.ListIndex();
        list.RemoveItem(i);
        list.SetListIndex(std::min(i, list.ListCount() - 1));
    };
    const QRect b = list.visualRect(list.model()->index(1, 0));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, b.center());
    QCOMPARE(runs, 2); // the click, then the handler's own choice of the next entry
    QCOMPARE(list.ListCount(), 2);
    QCOMPARE(list.ListIndex(), 1);
    QCOMPARE(list.List(1), QString("c"));
}

void TestWidgets::columnLayout()
{
    FileList list;
    const int frame = list.frameWidth() * 2;
    list.resize(600 + frame, 240 + frame);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QCOMPARE(list.viewport()->width(), 600);
    QStringList names;
    for (int i = 0; i < 200; ++i)
        names << QString("picture %1 with a name far too long for its column.jpg").arg(i, 3, 10, QChar('0'));
    list.SetItems(names);
    list.SetColumns(3);
    QCOMPARE(list.Columns(), 3);
    QCOMPARE(list.gridSize(), QSize(200, list.fontMetrics().height() + 2));

    const QRect first = list.visualRect(list.model()->index(0, 0));
    const QRect second = list.visualRect(list.model()->index(1, 0));
    QCOMPARE(second.x(), first.x());
    QCOMPARE(second.y(), first.y() + list.gridSize().height());
    int nextColumn = 1;
    while (nextColumn < list.ListCount() && list.visualRect(list.model()->index(nextColumn, 0)).x() == first.x())
        ++nextColumn;
    QVERIFY(nextColumn > 2 && nextColumn < list.ListCount());
    const QRect top2 = list.visualRect(list.model()->index(nextColumn, 0));
    QCOMPARE(top2.x() - first.x(), 200);
    QCOMPARE(top2.y(), first.y());
    QVERIFY(first.width() <= 200); // long names are cut to their column
    QVERIFY(list.horizontalScrollBar()->maximum() > 0);

    // Wider list, wider columns; at least one column.
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
        QString name = QString("IMG_%1.jpg").arg(random.bounded(1000000), 6, 10, QChar('0'));
        if (i % 3 == 0)
            name = name.toLower();
        names << name;
    }
    FileList list;
    list.resize(800, 500);
    list.SetColumns(4);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));

    QElapsedTimer timer;
    timer.start();
    list.SetItems(names);
    // Laid out to the very last entry, and painted.
    const QRect last = list.visualRect(list.model()->index(99999, 0));
    QCoreApplication::processEvents();
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

void TestWidgets::driveListEntries()
{
    DriveList drives;
    QVERIFY(drives.count() >= 1);
    QCOMPARE(drives.itemData(0).toString(), QString("/"));
    QVERIFY(drives.itemText(0).startsWith("/"));
    const auto volumes = platform::FileSys().Volumes();
    QCOMPARE(drives.count(), int(volumes.size()));
    QCOMPARE(drives.CurrentRoot(), platform::FileSys().DriveOf(QDir::currentPath()));

    FakeDriveList named({{"/", ""}, {m_root + "vol", "Pictures"}});
    QCOMPARE(named.itemText(0), QString("/"));
    QCOMPARE(named.itemText(1), m_root + "vol  (Pictures)");
}

void TestWidgets::sameDriveRunsNothing()
{
    DriveList drives;
    QVERIFY(drives.SetDrive(m_open));
    QCOMPARE(drives.CurrentRoot(), platform::FileSys().DriveOf(m_open));
    int runs = 0;
    drives.onChange = [&] { ++runs; };
    QVERIFY(drives.SetDrive(m_open + "/beta"));
    QVERIFY(drives.SetDrive(drives.CurrentRoot()));
    QCOMPARE(runs, 0);
    QVERIFY(!drives.SetDrive("relative/path"));
    QVERIFY(!drives.SetDrive(""));
    QCOMPARE(runs, 0);
}

void TestWidgets::driveRemembersFolder()
{
    FolderList folders;
    QVERIFY(folders.SetPath(m_open + "/Gamma"));
    const QString root = platform::FileSys().DriveOf(m_open);
    QCOMPARE(platform::CurrentFolderOfVolume(root), m_open + "/Gamma");
    DriveList drives;
    QVERIFY(drives.SetDrive(m_open));
    QCOMPARE(drives.Drive(), m_open + "/Gamma");
    QCOMPARE(platform::CurrentFolderOfVolume(m_root + "nothing remembered"), m_root + "nothing remembered");
}

void TestWidgets::switchingVolumes()
{
    QVERIFY(QDir().mkpath(path("volA/x/y")));
    FakeDriveList drives({{"/", ""}, {m_root + "volA", "A"}, {m_root + "volB", "not ready"}});
    const QString before = drives.CurrentRoot();
    QCOMPARE(before, QString("/"));
    QStringList seen;
    drives.onChange = [&] { seen << drives.Drive(); };

    QVERIFY(drives.SetDrive(m_root + "volA/x/y"));
    QCOMPARE(seen, QStringList{m_root + "volA"});
    QCOMPARE(drives.CurrentRoot(), m_root + "volA");
    QCOMPARE(drives.currentIndex(), 1);

    QVERIFY(!drives.SetDrive(m_root + "volB"));
    QCOMPARE(drives.CurrentRoot(), m_root + "volA");
    QCOMPARE(drives.currentIndex(), 1);
    QCOMPARE(seen.size(), 1);

    QVERIFY(drives.SetDrive("/"));
    QCOMPARE(seen.size(), 2);
    QCOMPARE(drives.currentIndex(), 0);
}

void TestWidgets::userPickRefusedSnapsBack()
{
    QVERIFY(QDir().mkpath(path("volA")));
    FakeDriveList drives({{"/", ""}, {m_root + "volA", "A"}, {m_root + "volB", "not ready"}});
    drives.show();
    QVERIFY(QTest::qWaitForWindowExposed(&drives));
    drives.setFocus();
    int runs = 0;
    drives.onChange = [&] { ++runs; };
    QTest::keyClick(&drives, Qt::Key_Down);
    QCOMPARE(drives.currentIndex(), 1);
    QCOMPARE(drives.CurrentRoot(), m_root + "volA");
    QCOMPARE(runs, 1);
    QTest::keyClick(&drives, Qt::Key_Down); // the drive that is not ready
    QCOMPARE(drives.currentIndex(), 1);
    QCOMPARE(drives.CurrentRoot(), m_root + "volA");
    QCOMPARE(runs, 1);
}

void TestWidgets::driveOnChangeReentrance()
{
    QVERIFY(QDir().mkpath(path("volA")));
    FakeDriveList drives({{"/", ""}, {m_root + "volA", "A"}});
    int runs = 0;
    drives.onChange = [&] {
        ++runs;
        QVERIFY(drives.SetDrive(drives.Drive())); // the drive just chosen: nothing more
    };
    QVERIFY(drives.SetDrive(m_root + "volA"));
    QCOMPARE(runs, 1);

    runs = 0;
    drives.onChange = [&] {
        ++runs;
        drives.SetDrive(drives.CurrentRoot() == "/" ? m_root + "volA" : QString("/"));
    };
    QVERIFY(drives.SetDrive("/"));
    QVERIFY(runs > 1 && runs < 100);
}

void TestWidgets::removedFolderDoesNotLockVolume()
{
    QVERIFY(QDir().mkpath(path("gone/deeper")));
    QVERIFY(QDir().mkpath(path("volA")));
    platform::RememberFolderOfVolume(path("gone/deeper"));
    FakeDriveList drives({{"/", ""}, {m_root + "volA", "A"}});
    QVERIFY(drives.SetDrive(m_root + "volA"));
    QVERIFY(QDir(path("gone")).removeRecursively());
    QVERIFY(drives.SetDrive("/"));
    QCOMPARE(drives.Drive(), m_dir.path()); // the nearest folder still there
}

void TestWidgets::chosenVolumeUnmounted()
{
    QVERIFY(QDir().mkpath(path("volA")));
    FakeDriveList drives({{"/", ""}, {m_root + "volA", "A"}});
    QVERIFY(drives.SetDrive(m_root + "volA"));
    int runs = 0;
    drives.onChange = [&] { ++runs; };
    drives.m_volumes.removeLast();
    drives.RefreshVolumes();
    QCOMPARE(drives.count(), 1);
    QCOMPARE(drives.CurrentRoot(), QString("/"));
    QCOMPARE(runs, 1);
    drives.RefreshVolumes(); // still there: nothing
    QCOMPARE(runs, 1);
}

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
