#include <QMenuBar>
#include "GuiTestUtil.h"

using namespace guitest;

class TestBrowser : public QObject, Fixture
{
    Q_OBJECT

private slots:
    void init() { freshStart(); }
    void cleanup() { QCOMPARE(windowsLeftAfterUnloadingAll(), 0); }
    void startFolder_data();
    void startFolder();
    void placement_data();
    void placement();
    void settingsSavedOnCloseAndReadAtLoad();
    void pictureFilter();
    void keysStepTheFileList();
    void refreshKeepsThePosition_data();
    void refreshKeepsThePosition();
    void vanishedFolder();
    void singlePressOpensTheRowUnderThePointer_data();
    void singlePressOpensTheRowUnderThePointer();
    void splitterDragAndColumns();

private:
    void writeFiles(const QStringList &names)
    {
        for (const QString &n : names)
            QVERIFY(testutil::writeFile(m_root + n));
    }
    QString shown() const
    {
        return SharedForm<frmSlide>::IsLoaded() ? SharedForm<frmSlide>::Get().windowTitle() : QString();
    }
};

void TestBrowser::startFolder_data()
{
    QTest::addColumn<QString>("commandLine"); // "@" stands for the temporary folder
    QTest::addColumn<QString>("savedPath");
    QTest::addColumn<QString>("expectedPath");
    QTest::addColumn<QStringList>("expectedFiles"); // "*": whatever is there
    QTest::addColumn<int>("selected");
    const QStringList pictures{"a.jpg", "b.GIF"}, any{"*"};
    QTest::newRow("no argument, nothing saved") << "" << "" << QCoreApplication::applicationDirPath() + "/" << any << -1;
    QTest::newRow("argument without separator") << "@" << "" << "@/" << pictures << -1;
    QTest::newRow("argument with separator") << "@/" << "" << "@/" << pictures << -1;
    QTest::newRow("picture file") << "@/b.GIF" << "" << "@/" << pictures << 1;
    QTest::newRow("saved folder") << "" << "@/sub/" << "@/sub/" << QStringList{"c.bmp"} << -1;
    QTest::newRow("missing folder") << "@/missing" << "" << "@/missing/" << QStringList() << -1;
    QTest::newRow("root") << "/" << "" << "/" << any << -1;
}

void TestBrowser::startFolder()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, savedPath);
    QFETCH(QString, expectedPath);
    QFETCH(QStringList, expectedFiles);
    QFETCH(int, selected);
    for (const char *f : {"a.jpg", "b.GIF", "notes.txt", "sub/c.bmp"})
        QVERIFY(testutil::writeFile(m_root + QString::fromLatin1(f)));
    for (QString *s : {&commandLine, &savedPath, &expectedPath})
        s->replace(QLatin1Char('@'), m_dir->path());
    if (!savedPath.isEmpty())
        settings::Save(settings::kPathName, savedPath);

    frmFiles &browser = start(commandLine);
    QCOMPARE(basSlides::CurrentPath, expectedPath);
    QCOMPARE(browser.lstFiles->Tag(), expectedPath);
    if (!expectedPath.endsWith("missing/")) // else the folder list stays where it was
        QCOMPARE(platform::WithSeparator(browser.dirFiles->Path()), expectedPath);
    if (expectedFiles != QStringList{"*"})
        QCOMPARE(entries(browser.lstFiles), expectedFiles);
    QCOMPARE(browser.lstFiles->ListIndex(), selected);
    if (selected >= 0)
        QCOMPARE(SharedForm<frmSlide>::Get().windowTitle(), expectedPath + expectedFiles[selected]);
    QVERIFY(!basSlides::RestoringPath);
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
    QTest::newRow("size cut at the edges")
        << QStringLiteral("%1,%2,99999,99999").arg(r(sw) - 4500).arg(r(sh) - 3000)
        << QList<int>{r(sw) - 4500, r(sh) - 3000, 4500, 3000};
    QTest::newRow("garbage") << "x,y" << QList<int>{0, 0, 0, 0};
    QTest::newRow("zero size") << "300,300,0,0" << QList<int>{300, 300, 0, 0};
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
    // Never smaller than its whole menu bar and the drive list, so that it can be seen and used;
    // the size is otherwise as placed.
    QVERIFY(browser.isVisible());
    QVERIFY(browser.minimumWidth() >= browser.menuBar()->sizeHint().width());
    QVERIFY(browser.minimumHeight() > browser.menuBar()->sizeHint().height());
    const QSize smallest = browser.minimumSize() + (outer.size() - browser.geometry().size());
    QCOMPARE(outer.width(), std::max(want.width(), smallest.width()));
    QCOMPARE(outer.height(), std::max(want.height(), smallest.height()));
}

void TestBrowser::settingsSavedOnCloseAndReadAtLoad()
{
    frmFiles &browser = start(m_dir->path());
    QVERIFY(!browser.mnuSubShow->isChecked());
    browser.mnuSubShow->trigger();
    browser.move(45, 60);
    browser.resize(500, 400);
    const QRect outer = browser.frameGeometry();
    browser.mnuExit->trigger();
    flushDeletes();
    QVERIFY(!SharedForm<frmFiles>::IsLoaded());

    const auto x = [](int px) { return QString::number(qRound(px * platform::TwipsPerPixelX())); };
    const auto y = [](int px) { return QString::number(qRound(px * platform::TwipsPerPixelY())); };
    QCOMPARE(settings::Get(settings::kWindowPosition, QString()),
             QStringList({x(outer.x()), y(outer.y()), x(outer.width()), y(outer.height())}).join(','));
    QCOMPARE(settings::Get(settings::kPathName, QString()), m_root);
    QCOMPARE(settings::Get(settings::kIncludeSubDirs, QString()), QStringLiteral("1"));

    frmFiles &again = start(QString());
    QCOMPARE(basSlides::CurrentPath, m_root);
    QVERIFY(again.mnuSubShow->isChecked());
    QCOMPARE(again.frameGeometry(), outer);
}

void TestBrowser::pictureFilter()
{
    writeFiles({"a.BMP", "b.jpeg", "c.Jpg", "d.txt", "e.bmp.txt", "BMP", ".gif"});
    const QStringList pictures{".gif", "a.BMP", "b.jpeg", "c.Jpg"};
    frmFiles &browser = start(m_dir->path());
    const auto viewIs = [&](bool all) {
        return browser.mnuShowAll->isChecked() == all && browser.mnuShowPicture->isChecked() != all;
    };
    QVERIFY(viewIs(false));
    QCOMPARE(entries(browser.lstFiles), pictures);
    browser.lstFiles->SetListIndex(1);

    browser.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&browser));
    browser.lstFiles->setFocus();
    QTest::keyClick(browser.lstFiles, Qt::Key_A, Qt::ControlModifier); // the command, not select-all
    QVERIFY(viewIs(true));
    QCOMPARE(entries(browser.lstFiles), (QStringList{".gif", "a.BMP", "b.jpeg", "BMP", "c.Jpg", "d.txt", "e.bmp.txt"}));
    QCOMPARE(browser.lstFiles->ListIndex(), -1);

    QTest::keyClick(browser.dirFiles, Qt::Key_P, Qt::ControlModifier);
    QVERIFY(viewIs(false));
    QCOMPARE(entries(browser.lstFiles), pictures);
}

void TestBrowser::keysStepTheFileList()
{
    writeFiles({"1.jpg", "2.jpg", "3.jpg"});
    frmFiles &browser = start(m_dir->path());
    browser.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&browser));
    QCOMPARE(browser.lstFiles->ListIndex(), -1);
    // From a control that does not take the key for itself: Down and Space step on, Up back,
    // within the list's ends; each step shows its file.
    const QList<std::pair<Qt::Key, int>> steps{{Qt::Key_Down, 0}, {Qt::Key_Up, 0},   {Qt::Key_Down, 1},
                                               {Qt::Key_Down, 2}, {Qt::Key_Down, 2}, {Qt::Key_Up, 1},
                                               {Qt::Key_Space, 2}};
    for (const auto &[key, index] : steps) {
        browser.dirFiles->setFocus(); // the viewer may have taken it
        QCOMPARE(QApplication::focusWidget(), browser.dirFiles);
        QTest::keyClick(browser.dirFiles, key);
        QCOMPARE(browser.lstFiles->ListIndex(), index);
        QCOMPARE(shown(), m_root + QString::number(index + 1) + ".jpg");
    }
    // The list itself: Enter and Space do nothing, Down moves its own selection and shows that.
    browser.lstFiles->SetListIndex(0);
    browser.lstFiles->setFocus();
    QTest::keyClick(browser.lstFiles, Qt::Key_Return);
    QTest::keyClick(browser.lstFiles, Qt::Key_Space);
    QCOMPARE(browser.lstFiles->ListIndex(), 0);
    QTest::keyClick(browser.lstFiles, Qt::Key_Down);
    QCOMPARE(browser.lstFiles->ListIndex(), 1);
    QCOMPARE(shown(), m_root + "2.jpg");
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
    writeFiles(names);
    frmFiles &browser = start(m_dir->path());
    browser.lstFiles->SetListIndex(1);
    for (int i = 0; i < deleted; ++i)
        QVERIFY(QFile::remove(m_root + names[names.size() - 1 - i]));
    QTest::keyClick(&browser, Qt::Key_F5);
    QCOMPARE(browser.lstFiles->ListCount(), 5 - deleted);
    QCOMPARE(browser.lstFiles->ListIndex(), selected);
    if (selected >= 0)
        QCOMPARE(shown(), m_root + names[selected]);
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
    QTest::addColumn<QString>("target"); // relative to the temporary folder, or "/"
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
    int root = 0; // the index of the first row, an ancestor (they are negative)
    while (!dir->List(root - 1).isEmpty())
        --root;
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

void TestBrowser::splitterDragAndColumns()
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
    const int wideListColumns = browser.lstFiles->Columns();
    browser.Form_MouseMove(1, 0, 1e6, 1500);
    QCOMPARE(browser.DriveWidth(), float(browser.ScaleWidth() * 9 / 10));
    QCOMPARE(browser.dirFiles->width(), browser.drvFiles->width());
    // The file list's columns follow its width.
    QCOMPARE(browser.lstFiles->Columns(), 1);
    QVERIFY(wideListColumns > 3);

    QTest::mouseRelease(client, Qt::LeftButton, {}, QPoint(stripX, 100));
    QCOMPARE(client->cursor().shape(), Qt::ArrowCursor);
}

QTEST_MAIN(TestBrowser)
#include "tst_browser.moc"
