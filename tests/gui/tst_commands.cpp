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

    MessageWatch() { arm(); }
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
            QTest::keyClick(box->txtMsgBox, Qt::Key_Escape);
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
    void showThatCannotStartKeepsTheBrowser();
    void keyHelp();
    void aboutWindow();
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
                                "&View", "&Picture files Ctrl+P", "&All files Ctrl+A", "-", "&Thumbnails Ctrl+T",
                                "&Quorvel", "Show files in &name order Ctrl+N", "Show files in &random order Ctrl+R",
                                "-", "Show files in &subdirectories ", "&Help", "&Keyboard help F1", "-", "&About... "}));
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

void TestCommands::keyHelp()
{
    // The window itself (framed, centred, its buttons' Help) is checked on a real desktop: here
    // its text, and that a show hides the pointer again once it closes.
    QVERIFY(writePicture(m_root + "a.bmp"));
    frmFiles &browser = start(m_dir->path());
    MessageWatch fromMenu;
    QTest::keyClick(browser.lstFiles, Qt::Key_F1);
    QVERIFY(fromMenu.seen);
    flushDeletes();
    QVERIFY(!SharedForm<frmMsgBox>::IsLoaded()); // closing destroyed it
    QCOMPARE(fromMenu.caption, QStringLiteral("Help For Quorvel"));
    QVERIFY(!fromMenu.hasIcon); // not even the program's
    QCOMPARE(fromMenu.text.toLatin1(), QByteArray("Help Keys:\r\n\r\nESC - Exit\r\n\r\nF1 - This Screen\r\n\r\n"
                                                  "F2-F10 - 2-10 Second Delay\r\n\r\nF12 - No Delay\r\n"
                                                  "Enter - Change Picture\r\nSpace - Change Picture\r\n"));
    browser.mnuSlideS->trigger();
    MessageWatch fromShow;
    QTest::keyClick(&SharedForm<frmSlides>::Get(), Qt::Key_F1);
    QVERIFY(fromShow.seen);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BitmapCursor); // invisible again
}

void TestCommands::aboutWindow()
{
    QCOMPARE(dialogs::VersionText(2, 10, 305), QStringLiteral("Version 2.10.305")); // no zero fill
    frmFiles &browser = start(m_dir->path());
    for (int round = 0; round < 2; ++round) { // closed by Enter, then by Esc
        QStringList texts;
        bool okIsDefault = false;
        QTimer::singleShot(0, [&] {
            frmSplash &about = SharedForm<frmSplash>::Get();
            texts << about.lblProductName->text() << about.lblVersion->text() << about.lblPlatform->text();
            okIsDefault = about.cmdOK->isDefault();
            QTest::keyClick(&about, round == 0 ? Qt::Key_Return : Qt::Key_Escape);
        });
        browser.mnuAbout->trigger();
        flushDeletes();
        QVERIFY(!SharedForm<frmSplash>::IsLoaded());
        QCOMPARE(texts, (QStringList{"Quorvel", "Version 1.0.24", "For 64-bit Linux Platforms"}));
        QVERIFY(okIsDefault);
    }
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
