#include "dialogs/AboutText.h"

#include "GuiTestUtil.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

using namespace guitest;

namespace {

// Notes the message window's caption and text as soon as it is up, then closes it with Esc.
struct MessageWatch
{
    QString caption, text;
    bool seen = false;
    bool hasIcon = true;
    QObject alive; // no more looking once the watch is gone
    Qt::Key closeKey;
    bool pressOnly; // the window closes on the press; its release is left to the caller

    explicit MessageWatch(Qt::Key key = Qt::Key_Escape, bool onlyPress = false) : closeKey(key), pressOnly(onlyPress) { arm(); }
    void arm()
    {
        QTimer::singleShot(0, &alive, [this] {
            frmMsgBox *box = SharedForm<frmMsgBox>::IfLoaded();
            if (!box || !box->isVisible())
                return arm(); // not up yet
            seen = true;
            caption = box->windowTitle();
            text = box->Text();
            hasIcon = !box->windowHandle()->icon().pixmap(32).isNull();
            if (pressOnly)
                QTest::keyPress(box->txtMsgBox, closeKey);
            else
                QTest::keyClick(box->txtMsgBox, closeKey);
        });
    }
};

} // namespace

class TestCommands : public QObject, Fixture
{
    Q_OBJECT

private slots:
    void init() { freshStart(); }
    void cleanup() { cleanupRun(); }
    void menus();
    void deleteCommand_data();
    void deleteCommand();
    void showThatCannotStartKeepsTheBrowser();
    void showStartsAndEscapeBringsTheBrowserBack();
    void keyHelpFromAllThreePlaces();
    void aboutWindow();
    void everyWayToEndTheProgram_data();
    void everyWayToEndTheProgram();
    void keyClosingTheHelpDoesNotReachTheShow_data();
    void keyClosingTheHelpDoesNotReachTheShow();
};

void TestCommands::menus()
{
    frmFiles &browser = start(m_dir->path());
    QStringList tree;
    for (QAction *top : browser.menuBar()->actions()) {
        tree << top->text();
        for (QAction *a : top->menu()->actions())
            tree << (a->isSeparator() ? QStringLiteral("-") : a->text() + " " + a->shortcut().toString());
    }
    QCOMPARE(tree, (QStringList{"&File", "&Refresh files list F5", "-", "&Delete current file Del", "-", "E&xit ",
                                "&View", "&Picture files Ctrl+P", "&All files Ctrl+A",
                                "&Quorvel", "Show files in &name order Ctrl+N", "Show files in &random order Ctrl+R",
                                "-", "Show files in &subdirectories ", "&Help", "&Keyboard help F1", "-", "&About... "}));
}

void TestCommands::deleteCommand_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("selected"); // -1: nothing
    QTest::addColumn<QString>("readOnly"); // "file": the selected one; "folder": the folder
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<int>("selectedAfter");
    const QStringList ab{"a.bmp", "b.bmp"}, abc{"a.bmp", "b.bmp", "c.bmp"};
    QTest::newRow("nothing selected") << ab << -1 << "" << ab << -1;
    QTest::newRow("last of three") << abc << 2 << "" << ab << 1;
    QTest::newRow("only entry") << QStringList{"a.bmp"} << 0 << "" << QStringList{} << -1;
    QTest::newRow("read-only file refused") << ab << 0 << "file" << ab << 0;
    QTest::newRow("read-only folder refused") << ab << 0 << "folder" << ab << 0;
}

void TestCommands::deleteCommand()
{
    QFETCH(QStringList, files);
    QFETCH(int, selected);
    QFETCH(QString, readOnly);
    QFETCH(QStringList, left);
    QFETCH(int, selectedAfter);
    for (const QString &f : files)
        QVERIFY(writePicture(m_root + f));
    QVERIFY(testutil::writeFile(m_root + "keep.txt"));
    frmFiles &browser = start(m_dir->path());
    browser.lstFiles->SetListIndex(selected);
    const QString target = readOnly == "file" ? m_root + files[selected] : m_dir->path();
    const QFileDevice::Permissions before = QFile::permissions(target);
    if (!readOnly.isEmpty()) // refused even for the superuser, who the tests may run as
        QVERIFY(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QTest::keyClick(browser.dirFiles, Qt::Key_Delete); // the shortcut works from any list
    QFile::setPermissions(target, before);
    QCOMPARE(entries(browser.lstFiles), left);
    QCOMPARE(browser.lstFiles->ListIndex(), selectedAfter);
    QCOMPARE(QDir(m_root).entryList(QDir::Files, QDir::Name), QStringList(left) << "keep.txt");
    frmSlide *viewer = SharedForm<frmSlide>::IfLoaded();
    if (selectedAfter >= 0) {
        QVERIFY(viewer && viewer->isVisible());
        QCOMPARE(viewer->windowTitle(), m_root + left[selectedAfter]);
    } else if (selected >= 0) {
        QVERIFY(!viewer || !viewer->isVisible()); // emptied: the viewer stays hidden
    }
}

void TestCommands::showThatCannotStartKeepsTheBrowser()
{
    QVERIFY(testutil::writeFile(m_root + "bad.jpg", "GIF89a")); // a picture's name, but none loads
    QVERIFY(testutil::writeFile(m_root + "notes.txt"));
    frmFiles &browser = start(m_dir->path());
    QTest::keyClick(browser.lstFiles, Qt::Key_R, Qt::ControlModifier);
    flushDeletes();
    QCOMPARE(basSlides::PictureCount, 0);
    QVERIFY(SharedForm<frmFiles>::IsLoaded() && browser.isVisible());
    QCOMPARE(browser.lstFiles->Tag(), m_root);
    QCOMPARE(entries(browser.lstFiles), QStringList{"bad.jpg"}); // unchanged, the view's choice kept
    QVERIFY(!SharedForm<frmSlides>::IsLoaded() || !SharedForm<frmSlides>::Get().isVisible());
    QVERIFY(!basSlides::RestoringPath && !QGuiApplication::overrideCursor());
}

void TestCommands::showStartsAndEscapeBringsTheBrowserBack()
{
    QVERIFY(writePicture(m_root + "a.bmp"));
    QVERIFY(writePicture(m_root + "Sub/b.bmp"));
    frmFiles &browser = start(m_dir->path());
    browser.mnuSubShow->trigger();
    browser.mnuRandom->trigger(); // name order is started by the other show tests
    flushDeletes();
    QVERIFY(!SharedForm<frmFiles>::IsLoaded());
    frmSlides &show = SharedForm<frmSlides>::Get();
    QCOMPARE(show.Tag, QStringLiteral("Random"));
    QVERIFY(show.isVisible() && show.tmrChange.isActive());
    QCOMPARE(basSlides::PictureCount, 2); // the subfolder's picture too
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BitmapCursor);

    QTest::keyClick(&show, Qt::Key_Escape);
    flushDeletes();
    QVERIFY(!SharedForm<frmSlides>::IsLoaded());
    QCOMPARE(basSlides::ShowList.ListCount(), 0);
    frmFiles &again = SharedForm<frmFiles>::Get(); // a fresh browser, from the saved settings
    QVERIFY(again.isVisible() && again.mnuSubShow->isChecked());
    QCOMPARE(again.dirFiles->Path(), m_dir->path());
    QCOMPARE(again.lstFiles->Tag(), m_root);
    QVERIFY(!basSlides::RestoringPath && !QGuiApplication::overrideCursor());
}

void TestCommands::keyHelpFromAllThreePlaces()
{
    QVERIFY(writePicture(m_root + "a.bmp"));
    frmFiles &browser = start(m_dir->path());

    MessageWatch fromMenu;
    QTest::keyClick(browser.lstFiles, Qt::Key_F1);
    QVERIFY(fromMenu.seen);
    flushDeletes();
    QVERIFY(!SharedForm<frmMsgBox>::IsLoaded()); // closing destroyed it

    MessageWatch fromAbout;
    QTimer::singleShot(0, [&] {
        frmSplash &about = SharedForm<frmSplash>::Get();
        about.cmdHelp->click();
        QVERIFY(about.isVisible()); // still open under the help
        about.cmdOK->click();
    });
    browser.mnuAbout->trigger();
    QVERIFY(fromAbout.seen);

    browser.mnuSlideS->trigger();
    frmSlides &show = SharedForm<frmSlides>::Get();
    MessageWatch fromShow;
    QTest::keyClick(&show, Qt::Key_F1);
    QVERIFY(fromShow.seen);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BitmapCursor); // invisible again

    for (const MessageWatch *w : {&fromMenu, &fromAbout, &fromShow}) {
        QCOMPARE(w->caption, QStringLiteral("Help For Quorvel"));
        QVERIFY(!w->hasIcon); // not even the program's
        QCOMPARE(w->text.toLatin1(), QByteArray("Help Keys:\r\n\r\nESC - Exit\r\n\r\nF1 - This Screen\r\n\r\n"
                                                "F2-F10 - 2-10 Second Delay\r\n\r\nF12 - No Delay\r\n"
                                                "Enter - Change Picture\r\nSpace - Change Picture\r\n"));
    }
}

void TestCommands::aboutWindow()
{
    QCOMPARE(dialogs::VersionText(2, 10, 305), QStringLiteral("Version 2.10.305")); // no zero fill
    frmFiles &browser = start(m_dir->path());
    for (int round = 0; round < 2; ++round) { // closed by Enter, then by Esc
        QStringList texts;
        QRect outer;
        bool okIsDefault = false;
        QTimer::singleShot(0, [&] {
            frmSplash &about = SharedForm<frmSplash>::Get();
            texts << about.lblProductName->text() << about.lblVersion->text() << about.lblPlatform->text();
            outer = about.frameGeometry();
            okIsDefault = about.cmdOK->isDefault();
            QTest::keyClick(&about, round == 0 ? Qt::Key_Return : Qt::Key_Escape);
        });
        browser.mnuAbout->trigger();
        flushDeletes();
        QVERIFY(!SharedForm<frmSplash>::IsLoaded());
        QCOMPARE(texts, (QStringList{"Quorvel", "Version 1.0.24", "For 64-bit Linux Platforms"}));
        const QPoint off = outer.center() - QGuiApplication::primaryScreen()->geometry().center();
        QVERIFY(okIsDefault && qAbs(off.x()) <= 1 && qAbs(off.y()) <= 1); // centred every time
    }
    browser.mnuExit->trigger(); // leaves no window behind, or the program would not end
    flushDeletes();
    QCOMPARE(platform::FormBase::LoadedCount(), 0);
}

void TestCommands::everyWayToEndTheProgram_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("byExit"); // else the close box
    for (const char *before : {"nothing", "show without pictures", "show of unloadable pictures", "viewer open",
                               "show ended by Esc", "show out of pictures"})
        for (bool byExit : {true, false})
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(before, byExit ? "Exit" : "close box")))
                << QString::fromLatin1(before) << byExit;
}

void TestCommands::everyWayToEndTheProgram()
{
    QFETCH(QString, before);
    QFETCH(bool, byExit);
    const QString folder = m_root + "pictures";
    if (before == "show of unloadable pictures")
        QVERIFY(testutil::writeFile(folder + "/bad.jpg", "not a picture"));
    else if (before != "show without pictures")
        QVERIFY(writePicture(folder + "/a.bmp"));
    start(folder);
    if (before.startsWith("show")) {
        QTest::keyClick(SharedForm<frmFiles>::Get().lstFiles, Qt::Key_N, Qt::ControlModifier);
        flushDeletes();
        if (before == "show ended by Esc") {
            QTest::keyClick(&SharedForm<frmSlides>::Get(), Qt::Key_Escape);
        } else if (before == "show out of pictures") {
            QVERIFY(QFile::remove(folder + "/a.bmp"));
            QTest::keyClick(&SharedForm<frmSlides>::Get(), Qt::Key_Space);
        }
        flushDeletes();
    } else if (before == "viewer open") {
        SharedForm<frmFiles>::Get().lstFiles->SetListIndex(0);
        QVERIFY(SharedForm<frmSlide>::Get().isVisible());
    }
    frmFiles &browser = SharedForm<frmFiles>::Get();
    QVERIFY(browser.isVisible());
    QCOMPARE(platform::FormBase::VisibleCount(), before == "viewer open" ? 2 : 1);
    m_runsEnded = 0;
    if (byExit)
        browser.mnuExit->trigger();
    else
        browser.close();
    QTRY_COMPARE(m_runsEnded, 1); // the process would end here
    flushDeletes();
    QCOMPARE(platform::FormBase::LoadedCount(), 0);
    QCOMPARE(settings::Get(settings::kPathName, QString()), folder + "/");
}

void TestCommands::keyClosingTheHelpDoesNotReachTheShow_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Esc") << int(Qt::Key_Escape);
    QTest::newRow("Enter") << int(Qt::Key_Return);
}

void TestCommands::keyClosingTheHelpDoesNotReachTheShow()
{
    QFETCH(int, key);
    QVERIFY(writePicture(m_root + "a.bmp"));
    QVERIFY(writePicture(m_root + "b.bmp"));
    start(m_dir->path()).mnuSlideS->trigger();
    frmSlides &show = SharedForm<frmSlides>::Get();
    MessageWatch help(Qt::Key(key), true);
    QTest::keyClick(&show, Qt::Key_F1);
    QVERIFY(help.seen);
    flushDeletes();
    QVERIFY(!SharedForm<frmMsgBox>::IsLoaded());
    QTest::keyRelease(&show, Qt::Key(key)); // the key is let go over the show
    flushDeletes();
    QVERIFY(SharedForm<frmSlides>::IsLoaded() && show.isVisible());
    QCOMPARE(show.picSlide.Tag, m_root + "a.bmp");
    QTest::keyClick(&show, Qt::Key(key)); // a key of its own still acts
    flushDeletes();
    QCOMPARE(SharedForm<frmSlides>::IsLoaded(), key != Qt::Key_Escape);
    if (key != Qt::Key_Escape)
        QCOMPARE(show.picSlide.Tag, m_root + "b.bmp");
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
