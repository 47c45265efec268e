#include "app/Main.h"
#include "app/Settings.h"
#include "app/SettingsRules.h"
#include "app/basSlides.h"
#include "browser/frmFiles.h"
#include "display/frmSlide.h"
#include "platform/Screen.h"

#include "GuiTestUtil.h"
#include "TestUtil.h"

#include <QApplication>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using guitest::entries;
using guitest::flushDeletes;
using guitest::writePicture;
using platform::SharedForm;

class TestBrowser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void startFolder_data();
    void startFolder();
    void placement_data();
    void placement();
    void settingsSavedOnCloseAndReadAtLoad();
    void pictureFilter();
    void keysStepTheFileList();
    void keysDoNothingWhileTheListHasTheFocus();
    void refreshKeepsThePosition_data();
    void refreshKeepsThePosition();
    void vanishedFolder();
    void singlePressOpensTheRowUnderThePointer_data();
    void singlePressOpensTheRowUnderThePointer();
    void splitterDrag();
    void columnsFollowTheWidth();
    void accessibleNames();

private:
    frmFiles &start(const QString &commandLine);
    QString m_root; // with the separator
    std::unique_ptr<QTemporaryDir> m_dir;
    QTemporaryDir m_config;
};

void TestBrowser::initTestCase()
{
    QVERIFY(m_config.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
}

void TestBrowser::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_root = platform::WithSeparator(m_dir->path());
    QFile::remove(m_config.path() + "/Quorvel/Quorvel.conf");
}

void TestBrowser::cleanup()
{
    SharedForm<frmSlide>::Unload();
    SharedForm<frmFiles>::Unload();
    flushDeletes();
    QCOMPARE(platform::FormBase::LoadedCount(), 0);
}

frmFiles &TestBrowser::start(const QString &commandLine)
{
    basSlides::Main(commandLine);
    frmFiles &browser = SharedForm<frmFiles>::Get();
    if (!QTest::qWaitForWindowExposed(&browser))
        qWarning("browser not exposed");
    return browser;
}

void TestBrowser::startFolder_data()
{
    QTest::addColumn<QString>("commandLine"); // "@" stands for the temporary folder
    QTest::addColumn<QString>("savedPath");
    QTest::addColumn<QString>("expectedPath");
    QTest::addColumn<QStringList>("expectedFiles");
    QTest::newRow("no argument, nothing saved") << "" << "" << QCoreApplication::applicationDirPath() + "/" << QStringList();
    QTest::newRow("argument without separator") << "@" << "" << "@/" << QStringList{"a.jpg", "b.GIF"};
    QTest::newRow("argument with separator") << "@/" << "" << "@/" << QStringList{"a.jpg", "b.GIF"};
    QTest::newRow("saved folder") << "" << "@/sub/" << "@/sub/" << QStringList{"c.bmp"};
    QTest::newRow("missing folder") << "@/missing" << "" << "@/missing/" << QStringList();
    QTest::newRow("root") << "/" << "" << "/" << QStringList();
}

void TestBrowser::startFolder()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, savedPath);
    QFETCH(QString, expectedPath);
    QFETCH(QStringList, expectedFiles);
    for (const char *f : {"a.jpg", "b.GIF", "notes.txt", "sub/c.bmp"})
        QVERIFY(testutil::writeFile(m_root + QString::fromLatin1(f)));
    const QString dir = m_dir->path();
    commandLine.replace(QLatin1Char('@'), dir);
    savedPath.replace(QLatin1Char('@'), dir);
    expectedPath.replace(QLatin1Char('@'), dir);
    if (!savedPath.isEmpty())
        settings::Save(settings::kPathName, savedPath);

    frmFiles &browser = start(commandLine);
    QCOMPARE(basSlides::CurrentPath, expectedPath);
    QCOMPARE(browser.lstFiles->Tag(), expectedPath);
    if (expectedPath == "/" || !expectedFiles.isEmpty() || !expectedPath.endsWith("missing/"))
        QCOMPARE(platform::WithSeparator(browser.dirFiles->Path()), expectedPath);
    if (!expectedFiles.isEmpty() || expectedPath.endsWith("missing/"))
        QCOMPARE(entries(browser.lstFiles), expectedFiles);
    QVERIFY(!basSlides::RestoringPath);
    QCOMPARE(platform::ScreenPointer(), 0);
    QVERIFY(!QGuiApplication::overrideCursor());
    QCOMPARE(browser.windowTitle(), QStringLiteral("Quorvel"));
}

void TestBrowser::placement_data()
{
    const double sw = platform::ScreenWidth(), sh = platform::ScreenHeight();
    const auto r = [](double v) { return settings::ToInt32(v); };
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QList<int>>("twips");
    QTest::newRow("first run") << "" << QList<int>{r(sw * 3 / 5), r(sh * 2 / 3), r(sw * 2 / 5), r(sh / 3)};
    QTest::newRow("saved") << "1500,1200,6000,4500" << QList<int>{1500, 1200, 6000, 4500};
    QTest::newRow("negative left") << "-300,1200,6000,4500" << QList<int>{0, 1200, 6000, 4500};
    QTest::newRow("left beyond the screen")
        << QStringLiteral("%1,0,6000,4500").arg(r(sw) + 15) << QList<int>{r(sw * 3 / 5), 0, r(sw - r(sw * 3 / 5)), 4500};
    QTest::newRow("size cut at the edges")
        << QStringLiteral("%1,%2,99999,99999").arg(r(sw) - 4500).arg(r(sh) - 3000)
        << QList<int>{r(sw) - 4500, r(sh) - 3000, 4500, 3000};
}

void TestBrowser::placement()
{
    QFETCH(QString, saved);
    QFETCH(QList<int>, twips);
    if (!saved.isEmpty())
        settings::Save(settings::kWindowPosition, saved);
    frmFiles &browser = start(m_dir->path());
    const double tppx = platform::TwipsPerPixelX(), tppy = platform::TwipsPerPixelY();
    const QRect outer = browser.frameGeometry();
    const QRect want(qRound(twips[0] / tppx), qRound(twips[1] / tppy), qRound(twips[2] / tppx), qRound(twips[3] / tppy));
    QCOMPARE(outer.topLeft(), want.topLeft());
    // A window cannot be smaller than its menu bar needs; the size is otherwise as placed.
    QCOMPARE(outer.width(), std::max(want.width(), browser.minimumSizeHint().width()));
    QCOMPARE(outer.height(), std::max(want.height(), browser.minimumSizeHint().height()));
}

void TestBrowser::settingsSavedOnCloseAndReadAtLoad()
{
    frmFiles &browser = start(m_dir->path());
    QVERIFY(!browser.mnuSubShow->isChecked());
    browser.mnuSubShow->trigger();
    QVERIFY(browser.mnuSubShow->isChecked());
    browser.move(45, 60);
    browser.resize(500, 400);
    const QRect outer = browser.frameGeometry();
    browser.mnuExit->trigger();
    flushDeletes();
    QVERIFY(!SharedForm<frmFiles>::IsLoaded());

    const double tppx = platform::TwipsPerPixelX(), tppy = platform::TwipsPerPixelY();
    QCOMPARE(settings::Get(settings::kWindowPosition, QString()),
             QStringLiteral("%1,%2,%3,%4")
                 .arg(qRound(outer.x() * tppx))
                 .arg(qRound(outer.y() * tppy))
                 .arg(qRound(outer.width() * tppx))
                 .arg(qRound(outer.height() * tppy)));
    QCOMPARE(settings::Get(settings::kPathName, QString()), m_root);
    QCOMPARE(settings::Get(settings::kIncludeSubDirs, QString()), QStringLiteral("1"));

    frmFiles &again = start(QString());
    QCOMPARE(basSlides::CurrentPath, m_root);
    QVERIFY(again.mnuSubShow->isChecked());
    QCOMPARE(again.frameGeometry(), outer);
    again.mnuSubShow->trigger();
    again.mnuSubShow->trigger(); // twice: back where it was
    QVERIFY(again.mnuSubShow->isChecked());
}

void TestBrowser::pictureFilter()
{
    for (const char *f : {"a.BMP", "b.jpeg", "c.Jpg", "d.txt", "e.bmp.txt", "BMP", ".gif"})
        QVERIFY(testutil::writeFile(m_root + QString::fromLatin1(f)));
    frmFiles &browser = start(m_dir->path());
    QVERIFY(browser.mnuShowPicture->isChecked());
    QVERIFY(!browser.mnuShowAll->isChecked());
    QCOMPARE(entries(browser.lstFiles), (QStringList{".gif", "a.BMP", "b.jpeg", "c.Jpg"}));
    browser.lstFiles->SetListIndex(1);

    browser.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&browser));
    browser.lstFiles->setFocus();
    QTest::keyClick(browser.lstFiles, Qt::Key_A, Qt::ControlModifier); // the command, not select-all
    QVERIFY(browser.mnuShowAll->isChecked());
    QVERIFY(!browser.mnuShowPicture->isChecked());
    QCOMPARE(entries(browser.lstFiles), (QStringList{".gif", "a.BMP", "b.jpeg", "BMP", "c.Jpg", "d.txt", "e.bmp.txt"}));
    QCOMPARE(browser.lstFiles->ListIndex(), -1);

    QTest::keyClick(browser.dirFiles, Qt::Key_P, Qt::ControlModifier);
    QVERIFY(browser.mnuShowPicture->isChecked());
    QVERIFY(!browser.mnuShowAll->isChecked());
    QCOMPARE(entries(browser.lstFiles), (QStringList{".gif", "a.BMP", "b.jpeg", "c.Jpg"}));
}

void TestBrowser::keysStepTheFileList()
{
    for (const char *f : {"1.jpg", "2.jpg", "3.jpg"})
        QVERIFY(testutil::writeFile(m_root + QString::fromLatin1(f)));
    frmFiles &browser = start(m_dir->path());
    browser.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&browser));
    browser.dirFiles->setFocus();
    QCOMPARE(QApplication::focusWidget(), browser.dirFiles);
    QCOMPARE(browser.lstFiles->ListIndex(), -1);

    const auto press = [&](Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); };
    const auto shown = [] { return SharedForm<frmSlide>::IsLoaded() ? SharedForm<frmSlide>::Get().windowTitle() : QString(); };
    press(Qt::Key_Down);
    QCOMPARE(browser.lstFiles->ListIndex(), 0);
    QCOMPARE(shown(), m_root + "1.jpg");
    browser.dirFiles->setFocus(); // the viewer handed the focus back to the browser window
    press(Qt::Key_Up);
    QCOMPARE(browser.lstFiles->ListIndex(), 0);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    QCOMPARE(browser.lstFiles->ListIndex(), 2);
    QCOMPARE(shown(), m_root + "3.jpg");
    press(Qt::Key_Down);
    QCOMPARE(browser.lstFiles->ListIndex(), 2);
    press(Qt::Key_Up);
    QCOMPARE(browser.lstFiles->ListIndex(), 1);
    QCOMPARE(shown(), m_root + "2.jpg");
    // Space steps as Down does, from a control that does not take it for itself.
    browser.dirFiles->setFocus();
    press(Qt::Key_Space);
    QCOMPARE(browser.lstFiles->ListIndex(), 2);
}

void TestBrowser::keysDoNothingWhileTheListHasTheFocus()
{
    for (const char *f : {"1.jpg", "2.jpg", "3.jpg"})
        QVERIFY(testutil::writeFile(m_root + QString::fromLatin1(f)));
    frmFiles &browser = start(m_dir->path());
    browser.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&browser));
    browser.lstFiles->SetListIndex(0);
    browser.lstFiles->setFocus();
    QTest::keyClick(browser.lstFiles, Qt::Key_Return);
    QTest::keyClick(browser.lstFiles, Qt::Key_Space);
    QCOMPARE(browser.lstFiles->ListIndex(), 0);
    // The list moves its own selection, and that shows the file too.
    QTest::keyClick(browser.lstFiles, Qt::Key_Down);
    QCOMPARE(browser.lstFiles->ListIndex(), 1);
    QCOMPARE(SharedForm<frmSlide>::Get().windowTitle(), m_root + "2.jpg");
}

void TestBrowser::refreshKeepsThePosition_data()
{
    QTest::addColumn<int>("deleted");
    QTest::addColumn<int>("selected");
    QTest::newRow("three of five deleted") << 3 << 1;
    QTest::newRow("one left") << 4 << 0;
    QTest::newRow("all gone") << 5 << -1;
}

void TestBrowser::refreshKeepsThePosition()
{
    QFETCH(int, deleted);
    QFETCH(int, selected);
    const QStringList names{"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"};
    for (const QString &n : names)
        QVERIFY(testutil::writeFile(m_root + n));
    frmFiles &browser = start(m_dir->path());
    browser.lstFiles->SetListIndex(1);
    for (int i = 0; i < deleted; ++i)
        QVERIFY(QFile::remove(m_root + names[names.size() - 1 - i]));
    QTest::keyClick(&browser, Qt::Key_F5);
    QCOMPARE(browser.lstFiles->ListCount(), 5 - deleted);
    QCOMPARE(browser.lstFiles->ListIndex(), selected);
    if (selected >= 0)
        QCOMPARE(SharedForm<frmSlide>::Get().windowTitle(), m_root + names[selected]);
    // Nothing changed since: a second run of the routine leaves everything alone.
    browser.lstFiles->SetListIndex(-1);
    browser.tmrUpdate_Timer();
    QCOMPARE(browser.lstFiles->ListIndex(), -1);
    QVERIFY(!browser.tmrUpdate.isActive());
}

void TestBrowser::vanishedFolder()
{
    QVERIFY(testutil::writeFile(m_root + "gone/a.jpg"));
    frmFiles &browser = start(m_root + "gone");
    QCOMPARE(browser.lstFiles->ListCount(), 1);
    QVERIFY(QDir(m_root + "gone").removeRecursively());
    browser.mnuRefresh_Click(); // the folder is gone: the refresh changes nothing
    QCOMPARE(browser.lstFiles->ListCount(), 1);
    browser.dirFiles_Change(); // a refill lists nothing, without a message or a stuck pointer
    QCOMPARE(browser.lstFiles->ListCount(), 0);
    QCOMPARE(browser.lstFiles->Tag(), m_root + "gone/");
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestBrowser::singlePressOpensTheRowUnderThePointer_data()
{
    QTest::addColumn<QString>("target"); // relative to the temporary folder; ".." goes up
    QTest::addColumn<int>("button");
    QTest::newRow("subfolder, left button") << "open/kid2" << int(Qt::LeftButton);
    QTest::newRow("subfolder, right button") << "open/kid1" << int(Qt::RightButton);
    QTest::newRow("ancestor") << "" << int(Qt::LeftButton);
    QTest::newRow("root") << "/" << int(Qt::LeftButton);
}

void TestBrowser::singlePressOpensTheRowUnderThePointer()
{
    QFETCH(QString, target);
    QFETCH(int, button);
    for (const char *d : {"open/kid1", "open/kid2", "open/kid3"})
        QVERIFY(QDir().mkpath(m_root + QString::fromLatin1(d)));
    frmFiles &browser = start(m_root + "open");
    browser.resize(700, 700);
    QTest::qWait(0);
    const QString want = target == "/" ? QStringLiteral("/") : QDir::cleanPath(m_root + target);
    platform::FolderList *dir = browser.dirFiles;
    int root = -1;
    while (!dir->List(root).isEmpty())
        --root;
    ++root;
    int entry = root;
    while (dir->List(entry) != want && entry < dir->ListCount())
        ++entry;
    QCOMPARE(dir->List(entry), want);
    const int row = entry - root - dir->TopIndex();
    const QPoint at(10, row * dir->RowHeightPixels() + dir->RowHeightPixels() / 2);
    QTest::mousePress(dir->viewport(), Qt::MouseButton(button), {}, at);
    QTest::mouseRelease(dir->viewport(), Qt::MouseButton(button), {}, at);
    QCOMPARE(dir->Path(), want);
    QCOMPARE(basSlides::CurrentPath, platform::WithSeparator(want));

    // A press below the last row does nothing.
    const QString before = dir->Path();
    QTest::mouseClick(dir->viewport(), Qt::LeftButton, {}, QPoint(10, dir->viewport()->height() - 2));
    if (dir->ListCount() + (-root) < dir->viewport()->height() / dir->RowHeightPixels())
        QCOMPARE(dir->Path(), before);
}

void TestBrowser::splitterDrag()
{
    frmFiles &browser = start(m_dir->path());
    browser.resize(800, 500);
    QTest::qWait(0);
    QWidget *client = browser.centralWidget();
    const double tppx = platform::TwipsPerPixelX();
    const int stripX = qRound(browser.lneX1 / tppx);
    QTest::mousePress(client, Qt::LeftButton, {}, QPoint(stripX, 100));
    QCOMPARE(client->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(client->cursor().hotSpot(), QPoint(15, 15));

    browser.Form_MouseMove(1, 0, 3000, 1500);
    QCOMPARE(browser.DriveWidth(), 3000 - tppx);
    QCOMPARE(browser.lstFiles->x(), qRound((3000 - tppx) / tppx) + 5);
    browser.Form_MouseMove(3, 0, 6000, 1500); // left and right held together: nothing
    QCOMPARE(browser.DriveWidth(), 3000 - tppx);
    browser.Form_MouseMove(1, 0, -5000, 1500);
    QCOMPARE(browser.DriveWidth(), float(browser.ScaleWidth() / 10));
    browser.Form_MouseMove(1, 0, 1e6, 1500);
    QCOMPARE(browser.DriveWidth(), float(browser.ScaleWidth() * 9 / 10));
    QCOMPARE(browser.dirFiles->width(), browser.drvFiles->width());

    QTest::mouseRelease(client, Qt::LeftButton, {}, QPoint(stripX, 100));
    QCOMPARE(client->cursor().shape(), Qt::ArrowCursor);
}

void TestBrowser::columnsFollowTheWidth()
{
    frmFiles &browser = start(m_dir->path());
    for (int width : {300, 500, 900, 1400}) {
        browser.resize(width, 400);
        QTest::qWait(0);
        const double listTwips = browser.lstFiles->width() * platform::TwipsPerPixelX();
        QCOMPARE(browser.lstFiles->Columns(), int(browser::ColumnCount(listTwips)));
    }
}

void TestBrowser::accessibleNames()
{
    frmFiles &browser = start(m_dir->path());
    QCOMPARE(browser.drvFiles->accessibleName(), QStringLiteral("Drives"));
    QCOMPARE(browser.dirFiles->accessibleName(), QStringLiteral("Folders"));
    QCOMPARE(browser.lstFiles->accessibleName(), QStringLiteral("Files"));
    QStringList menus;
    for (QAction *a : browser.menuBar()->actions())
        menus << a->text();
    QCOMPARE(menus.mid(0, 3), (QStringList{"&File", "&View", "&Quorvel"}));
    QVERIFY(!(browser.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(browser.windowFlags() & Qt::WindowMinimizeButtonHint);
}

QTEST_MAIN(TestBrowser)
#include "tst_browser.moc"
