#include <QApplication>
#include <QMenuBar>
#include "GuiTestUtil.h"

#include <QScopeGuard>

using namespace guitest;

class TestBrowser : public QObject, Fixture
{
    Q_OBJECT

private slots:
    void init() { freshStart(); }
    void cleanup() { cleanupRun(); }
    void startFolder_data();
    void startFolder();
    void placement_data();
    void placement();
    void settingsSavedOnCloseAndReadAtLoad();
    void pictureFilterAndKeys();
    void refreshKeepsThePosition_data();
    void refreshKeepsThePosition();
    void vanishedFolder();
    void firstMoveSelectsTheFirstEntry_data();
    void firstMoveSelectsTheFirstEntry();
    void clickShowsTheEntryAgain_data();
    void clickShowsTheEntryAgain();
    void spaceAndEnterStepInTheList();
    void driveListFollowsTheFolder();

private:
    // The list's own keys: the browser's window active and the list holding the focus.
    void focusTheList(frmFiles &browser)
    {
        browser.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&browser));
        QTRY_COMPARE(QApplication::focusWidget(), browser.lstFiles);
    }
    void clickEntry(frmFiles &browser, int row)
    {
        platform::FileList *l = browser.lstFiles;
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualRect(l->model()->index(row, 0)).center());
    }
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
    // Paths as the file system's bytes; "@" stands for the temporary folder, which is also the
    // working folder and the home folder.
    QTest::addColumn<QByteArray>("commandLine");
    QTest::addColumn<QByteArray>("savedPath");
    QTest::addColumn<QByteArray>("expectedPath");
    QTest::addColumn<QStringList>("expectedFiles"); // "*": whatever is there
    QTest::addColumn<int>("selected");
    const QStringList pictures{"a.jpg", "b.GIF"};
    QTest::newRow("first run, Pictures folder") << QByteArray() << QByteArray() << QByteArray("@/Pictures/")
                                                << QStringList{"p.bmp"} << -1;
    QTest::newRow("first run, no Pictures folder") << QByteArray() << QByteArray() << QByteArray("@/") << pictures << -1;
    QTest::newRow("argument without separator") << QByteArray("@") << QByteArray() << QByteArray("@/") << pictures << -1;
    QTest::newRow("relative argument") << QByteArray("sub/../sub/.") << QByteArray() << QByteArray("@/sub/")
                                       << QStringList{"c.bmp"} << -1;
    QTest::newRow("name not UTF-8") << QByteArray("@/caf\xe9") << QByteArray() << QByteArray("@/caf\xe9/")
                                    << QStringList{"d.jpg"} << -1;
    QTest::newRow("picture file") << QByteArray("@/b.GIF") << QByteArray() << QByteArray("@/") << pictures << 1;
    QTest::newRow("saved folder") << QByteArray() << QByteArray("@/sub/") << QByteArray("@/sub/") << QStringList{"c.bmp"} << -1;
    QTest::newRow("missing folder") << QByteArray("@/missing") << QByteArray() << QByteArray("@/missing/") << QStringList() << -1;
}

void TestBrowser::startFolder()
{
    QFETCH(QByteArray, commandLine);
    QFETCH(QByteArray, savedPath);
    QFETCH(QByteArray, expectedPath);
    QFETCH(QStringList, expectedFiles);
    QFETCH(int, selected);
    writeFiles({"a.jpg", "b.GIF", "notes.txt", "sub/c.bmp"});
    QVERIFY(::mkdir(platform::EncodePath(m_root + "caf").append('\xe9').constData(), 0700) == 0);
    QVERIFY(writePicture(platform::EncodePath(m_root) + "caf\xe9/d.jpg"));
    if (QByteArray(QTest::currentDataTag()) == "first run, Pictures folder")
        writeFiles({"Pictures/p.bmp"});
    const auto decoded = [this](QByteArray b) {
        b.replace('@', platform::EncodePath(m_dir->path()));
        return platform::DecodeName(b.constData(), size_t(b.size()));
    };
    // The user's folders as a first run finds them: no user-dirs file, so Pictures is $HOME/Pictures.
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME"), oldCurrent = QDir::currentPath().toUtf8();
    qputenv("HOME", m_dir->path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_root + "config").toUtf8());
    QDir::setCurrent(m_dir->path());
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", oldHome);
        qputenv("XDG_CONFIG_HOME", oldConfig);
        QDir::setCurrent(QString::fromUtf8(oldCurrent));
    });
    if (!savedPath.isEmpty())
        settings::Save(settings::kPathName, decoded(savedPath));

    frmFiles &browser = start(decoded(commandLine));
    const QString expected = decoded(expectedPath);
    QCOMPARE(basSlides::CurrentPath, expected);
    QCOMPARE(browser.lstFiles->Tag(), expected);
    if (!expected.endsWith("missing/")) // else the folder list stays where it was
        QCOMPARE(platform::WithSeparator(browser.dirFiles->Path()), expected);
    QCOMPARE(entries(browser.lstFiles), expectedFiles);
    QCOMPARE(browser.lstFiles->ListIndex(), selected);
    if (selected >= 0)
        QCOMPARE(SharedForm<frmSlide>::Get().windowTitle(), expected + expectedFiles[selected]);
    QVERIFY(!basSlides::RestoringPath && !QGuiApplication::overrideCursor());
    // The folder saved is the one opened, byte for byte.
    browser.mnuExit->trigger();
    flushDeletes();
    QCOMPARE(platform::EncodePath(settings::Get(settings::kPathName, QString())), platform::EncodePath(expected));
}

void TestBrowser::placement_data()
{
    const double sw = platform::ScreenWidth(), sh = platform::ScreenHeight();
    const auto r = [](double v) { return settings::ToInt32(v); };
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QList<int>>("twips");
    QTest::newRow("first run") << "" << QList<int>{r(sw * 3 / 5), r(sh * 2 / 3), r(sw * 2 / 5), r(sh / 3)};
    QTest::newRow("saved") << "1500,1200,6000,4500" << QList<int>{1500, 1200, 6000, 4500};
    // No size would be no window to see: the first-run place instead.
    QTest::newRow("garbage") << "x,y" << QList<int>{r(sw * 3 / 5), r(sh * 2 / 3), r(sw * 2 / 5), r(sh / 3)};
    QTest::newRow("zero size") << "300,300,0,0" << QList<int>{r(sw * 3 / 5), r(sh * 2 / 3), r(sw * 2 / 5), r(sh / 3)};
    QTest::newRow("small, as saved") << "300,300,300,150" << QList<int>{300, 300, 300, 150};
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
    QCOMPARE(outer, want); // no minimum size
    QVERIFY(browser.isVisible());
}

void TestBrowser::settingsSavedOnCloseAndReadAtLoad()
{
    frmFiles &browser = start(m_dir->path());
    browser.mnuSubShow->trigger();
    browser.move(45, 60);
    browser.resize(500, 400);
    const QRect outer = browser.frameGeometry();
    browser.mnuExit->trigger();
    flushDeletes();
    QVERIFY(!SharedForm<frmFiles>::IsLoaded());

    QCOMPARE(settings::Get(settings::kPathName, QString()), m_root);
    QCOMPARE(settings::Get(settings::kIncludeSubDirs, QString()), QStringLiteral("1"));

    frmFiles &again = start(QString());
    QCOMPARE(basSlides::CurrentPath, m_root);
    QVERIFY(again.mnuSubShow->isChecked());
    QCOMPARE(again.frameGeometry(), outer); // the saved placement, read back
}

void TestBrowser::pictureFilterAndKeys()
{
    writeFiles({"a.BMP", "c.Jpg", "d.txt", "e.bmp.txt", ".gif"});
    frmFiles &browser = start(m_dir->path());
    QCOMPARE(entries(browser.lstFiles), (QStringList{".gif", "a.BMP", "c.Jpg"}));
    browser.lstFiles->SetListIndex(1);
    browser.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&browser));
    browser.lstFiles->setFocus();
    QTest::keyClick(browser.lstFiles, Qt::Key_A, Qt::ControlModifier); // the command, not select-all
    QVERIFY(browser.mnuShowAll->isChecked() && !browser.mnuShowPicture->isChecked());
    QCOMPARE(entries(browser.lstFiles), (QStringList{".gif", "a.BMP", "c.Jpg", "d.txt", "e.bmp.txt"}));
    QCOMPARE(browser.lstFiles->ListIndex(), -1);
    QTest::keyClick(browser.dirFiles, Qt::Key_P, Qt::ControlModifier);
    QVERIFY(!browser.mnuShowAll->isChecked() && browser.mnuShowPicture->isChecked());
    QCOMPARE(browser.lstFiles->ListCount(), 3);
    // From a control that does not take the key for itself: Down and Space step on, Up back,
    // within the list's ends; each step shows its file.
    for (auto [key, index] : {std::pair{Qt::Key_Down, 0}, {Qt::Key_Up, 0}, {Qt::Key_Space, 1}, {Qt::Key_Down, 2},
                              {Qt::Key_Down, 2}, {Qt::Key_Up, 1}}) {
        browser.dirFiles->setFocus(); // the viewer may have taken it
        QTest::keyClick(browser.dirFiles, key);
        QCOMPARE(browser.lstFiles->ListIndex(), index);
        QCOMPARE(shown(), m_root + browser.lstFiles->List(index));
    }
}

void TestBrowser::refreshKeepsThePosition_data()
{
    QTest::addColumn<int>("deleted");
    QTest::addColumn<int>("selected");
    QTest::newRow("three of five deleted") << 3 << 1;
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

void TestBrowser::firstMoveSelectsTheFirstEntry_data()
{
    QTest::addColumn<QString>("filledBy");
    QTest::addColumn<int>("key");
    for (const char *way : {"startup", "folder change", "all files", "picture files", "refresh", "delete"})
        for (const auto &[name, key] : {std::pair{"Down", Qt::Key_Down}, {"Up", Qt::Key_Up}, {"Enter", Qt::Key_Return}})
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(way, name))) << QString::fromLatin1(way) << int(key);
}

void TestBrowser::firstMoveSelectsTheFirstEntry()
{
    QFETCH(QString, filledBy);
    QFETCH(int, key);
    writeFiles({"a.jpg", "b.jpg", "c.jpg", "sub/a.jpg", "sub/b.jpg"});
    frmFiles &browser = start(filledBy == "folder change" ? m_dir->path() + "/sub" : m_dir->path());
    focusTheList(browser);
    if (filledBy != "startup")
        browser.dirFiles->setFocus(); // the refill gives the focus to the list
    if (filledBy == "folder change") {
        browser.dirFiles->SetPath(m_dir->path());
    } else if (filledBy == "all files") {
        browser.mnuShowAll->trigger();
    } else if (filledBy == "picture files") {
        browser.mnuShowPicture->trigger();
    } else if (filledBy == "refresh") {
        writeFiles({"d.jpg"});
        browser.mnuRefresh->trigger();
    } else if (filledBy == "delete") {
        writeFiles({"d.jpg"});
        browser.mnuRefresh->trigger();
        browser.lstFiles->SetListIndex(3);
        browser.mnuDelete->trigger(); // d.jpg: the list keeps c.jpg selected; nothing, once cleared
        browser.lstFiles->SetListIndex(-1);
    }
    QCOMPARE(browser.lstFiles->ListIndex(), -1);
    focusTheList(browser); // the viewer may have taken it
    QTest::keyClick(browser.lstFiles, Qt::Key(key));
    QCOMPARE(browser.lstFiles->ListIndex(), 0);
    QCOMPARE(shown(), m_root + "a.jpg");
}

void TestBrowser::clickShowsTheEntryAgain_data()
{
    QTest::addColumn<bool>("byEscape"); // else by the close box
    QTest::newRow("viewer closed by Esc") << true;
    QTest::newRow("viewer closed by its close box") << false;
}

void TestBrowser::clickShowsTheEntryAgain()
{
    QFETCH(bool, byEscape);
    writeFiles({"a.jpg", "b.jpg"});
    QVERIFY(writePicture(m_root + "c.bmp"));
    frmFiles &browser = start(m_dir->path());
    for (int round = 0; round < 2; ++round) {
        clickEntry(browser, 2);
        QCOMPARE(browser.lstFiles->ListIndex(), 2);
        frmSlide *viewer = SharedForm<frmSlide>::IfLoaded();
        QVERIFY2(viewer && viewer->isVisible(), "click " + QByteArray::number(round));
        QCOMPARE(viewer->windowTitle(), m_root + "c.bmp");
        if (byEscape)
            QTest::keyClick(viewer, Qt::Key_Escape);
        else
            viewer->close();
        flushDeletes();
        QVERIFY(!SharedForm<frmSlide>::IsLoaded());
    }
}

void TestBrowser::spaceAndEnterStepInTheList()
{
    writeFiles({"a.jpg", "b.jpg", "c.jpg"});
    frmFiles &browser = start(m_dir->path());
    clickEntry(browser, 0);
    for (auto [key, index] : {std::pair{Qt::Key_Space, 1}, {Qt::Key_Return, 2}, {Qt::Key_Enter, 2}}) {
        focusTheList(browser);
        QTest::keyClick(browser.lstFiles, key);
        QCOMPARE(browser.lstFiles->ListIndex(), index);
        QCOMPARE(shown(), m_root + browser.lstFiles->List(index));
    }
}

void TestBrowser::driveListFollowsTheFolder()
{
    // A folder of the tree that is another volume's mount point.
    const QString volume = m_root + "usb";
    platform::SetMountTable([volume] {
        return QList<platform::MountEntry>{{"/", "ext4", "/dev/sda1", "", true, true},
                                            {volume, "vfat", "/dev/sdb1", "STICK", false, true}};
    });
    const auto restore = qScopeGuard([] { platform::SetMountTable({}); });
    writeFiles({"a.jpg", "usb/inner/b.jpg"});
    frmFiles &browser = start(m_dir->path());
    QCOMPARE(browser.drvFiles->currentText(), QStringLiteral("/"));

    // Walking in names the volume, and leaves the folder where the user went.
    QVERIFY(browser.dirFiles->SetPath(volume + "/inner"));
    QCOMPARE(browser.drvFiles->currentText(), volume + "  (STICK)");
    QCOMPARE(browser.dirFiles->Path(), volume + "/inner");
    QCOMPARE(entries(browser.lstFiles), QStringList{"b.jpg"});

    // Choosing "/" goes back to the folder last open there; choosing the stick, back in.
    browser.drvFiles->setFocus();
    QTest::keyClick(browser.drvFiles, Qt::Key_Up);
    QCOMPARE(browser.drvFiles->currentText(), QStringLiteral("/"));
    QCOMPARE(browser.dirFiles->Path(), m_dir->path());
    QCOMPARE(basSlides::CurrentPath, m_root);
    QCOMPARE(entries(browser.lstFiles), QStringList{"a.jpg"});
    browser.drvFiles->setFocus();
    QTest::keyClick(browser.drvFiles, Qt::Key_Down);
    QCOMPARE(browser.dirFiles->Path(), volume + "/inner");
}

QTEST_MAIN(TestBrowser)
#include "tst_browser.moc"
