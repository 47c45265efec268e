#include "app/Main.h"
#include "app/Settings.h"
#include "app/SettingsRules.h"
#include "app/basSlides.h"
#include "browser/frmFiles.h"
#include "dialogs/AboutText.h"
#include "dialogs/KeyHelp.h"
#include "dialogs/MsgBoxLayout.h"
#include "dialogs/frmMsgBox.h"
#include "dialogs/frmSplash.h"
#include "display/frmSlide.h"
#include "display/frmSlides.h"
#include "platform/Screen.h"

#include "GuiTestUtil.h"
#include "TestUtil.h"

#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using guitest::entries;
using guitest::flushDeletes;
using guitest::writePicture;
using platform::SharedForm;

namespace {

// Runs `inspect` on the message window as soon as it is up, then closes it with Esc.
struct MessageWatch
{
    QString caption, text;
    bool seen = false;

    void arm()
    {
        QTimer::singleShot(0, [this] {
            frmMsgBox *box = SharedForm<frmMsgBox>::IfLoaded();
            if (!box || !box->isVisible()) {
                arm(); // not up yet
                return;
            }
            seen = true;
            caption = box->windowTitle();
            text = box->Text();
            QTest::keyClick(box->txtMsgBox, Qt::Key_Escape);
        });
    }
};

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void menuTree();
    void deleteCommand_data();
    void deleteCommand();
    void deleteRefusesReadOnly_data();
    void deleteRefusesReadOnly();
    void showWithoutPicturesBringsTheBrowserBack();
    void showStartsAndSavesTheBrowser_data();
    void showStartsAndSavesTheBrowser();
    void showOfUnloadablePicturesRestoresTheBrowser();
    void pictureFileOnTheCommandLine();
    void messageWindowLayout();
    void keyHelpTextAndCaption();
    void keyHelpFromAllThreePlaces();
    void aboutWindow();
    void versionText_data();
    void versionText();

private:
    frmFiles &start(const QString &folder);
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root;
    QTemporaryDir m_config;
};

void TestCommands::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
}

void TestCommands::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_root = platform::WithSeparator(m_dir->path());
    QFile::remove(m_config.path() + "/Quorvel/Quorvel.conf");
}

void TestCommands::cleanup()
{
    for (auto unload : {+[] { SharedForm<frmSlides>::Unload(); }, +[] { SharedForm<frmSlide>::Unload(); },
                        +[] { SharedForm<frmFiles>::Unload(); }, +[] { SharedForm<frmSplash>::Unload(); }})
        unload();
    flushDeletes();
    platform::SetScreenPointer(platform::vbDefault);
    QCOMPARE(platform::FormBase::LoadedCount(), 0);
}

frmFiles &TestCommands::start(const QString &folder)
{
    basSlides::Main(folder);
    frmFiles &browser = SharedForm<frmFiles>::Get();
    if (!QTest::qWaitForWindowExposed(&browser))
        qWarning("browser not exposed");
    return browser;
}

void TestCommands::menuTree()
{
    frmFiles &browser = start(m_dir->path());
    QStringList tree;
    for (QAction *top : browser.menuBar()->actions()) {
        tree << top->text();
        for (QAction *a : top->menu()->actions()) {
            if (a->isSeparator()) {
                tree << "  -";
                continue;
            }
            QString row = "  " + a->text();
            if (!a->shortcut().isEmpty())
                row += " [" + a->shortcut().toString() + "]";
            if (a->isCheckable())
                row += a->isChecked() ? " (checked)" : " (unchecked)";
            QVERIFY2(a->isEnabled() && a->isVisible(), qPrintable(a->text()));
            tree << row;
        }
    }
    QCOMPARE(tree, (QStringList{
                       "&File", "  &Refresh files list [F5]", "  -", "  &Delete current file [Del]", "  -", "  E&xit",
                       "&View", "  &Picture files [Ctrl+P] (checked)", "  &All files [Ctrl+A] (unchecked)",
                       "&Quorvel", "  Show files in &name order [Ctrl+N]", "  Show files in &random order [Ctrl+R]",
                       "  -", "  Show files in &subdirectories (unchecked)",
                       "&Help", "  &Keyboard help [F1]", "  -", "  &About...",
                   }));
}

void TestCommands::deleteCommand_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("selected");   // -1: nothing
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<int>("selectedAfter");
    QTest::newRow("nothing selected") << QStringList{"a.bmp", "b.bmp"} << -1 << QStringList{"a.bmp", "b.bmp"} << -1;
    QTest::newRow("last of three") << QStringList{"a.bmp", "b.bmp", "c.bmp"} << 2 << QStringList{"a.bmp", "b.bmp"} << 1;
    QTest::newRow("first of three") << QStringList{"a.bmp", "b.bmp", "c.bmp"} << 0 << QStringList{"b.bmp", "c.bmp"} << 0;
    QTest::newRow("only entry") << QStringList{"a.bmp"} << 0 << QStringList{} << -1;
}

void TestCommands::deleteCommand()
{
    QFETCH(QStringList, files);
    QFETCH(int, selected);
    QFETCH(QStringList, left);
    QFETCH(int, selectedAfter);
    for (const QString &f : files)
        QVERIFY(writePicture(m_root + f));
    QVERIFY(testutil::writeFile(m_root + "keep.txt"));
    frmFiles &browser = start(m_dir->path());
    browser.lstFiles->SetListIndex(selected);
    QTest::keyClick(browser.dirFiles, Qt::Key_Delete); // the shortcut works from any list
    QCOMPARE(entries(browser.lstFiles), left);
    QCOMPARE(browser.lstFiles->ListIndex(), selectedAfter);
    QStringList onDisk = QDir(m_root).entryList(QDir::Files, QDir::Name);
    onDisk.removeOne("keep.txt");
    QCOMPARE(onDisk, left);
    QVERIFY(QFile::exists(m_root + "keep.txt"));
    frmSlide *viewer = SharedForm<frmSlide>::IfLoaded();
    if (selectedAfter >= 0) {
        QVERIFY(viewer && viewer->isVisible());
        QCOMPARE(viewer->windowTitle(), m_root + left[selectedAfter]);
    } else if (selected >= 0) {
        QVERIFY(!viewer || !viewer->isVisible()); // emptied: the viewer stays hidden
    }
}

void TestCommands::deleteRefusesReadOnly_data()
{
    QTest::addColumn<bool>("folderReadOnly");
    QTest::newRow("read-only file") << false;
    QTest::newRow("read-only folder") << true;
}

void TestCommands::deleteRefusesReadOnly()
{
    QFETCH(bool, folderReadOnly);
    QVERIFY(writePicture(m_root + "sub/a.bmp"));
    QVERIFY(writePicture(m_root + "sub/b.bmp"));
    const QString target = folderReadOnly ? m_root + "sub" : m_root + "sub/a.bmp";
    const QFileDevice::Permissions before = QFile::permissions(target);
    QVERIFY(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                              | QFileDevice::ExeOther));
    frmFiles &browser = start(m_root + "sub");
    browser.lstFiles->SetListIndex(0);
    browser.mnuDelete->trigger();
    QFile::setPermissions(target, before);
    QVERIFY(QFile::exists(m_root + "sub/a.bmp"));
    QCOMPARE(entries(browser.lstFiles), (QStringList{"a.bmp", "b.bmp"}));
    QCOMPARE(browser.lstFiles->ListIndex(), 0);
}

void TestCommands::showWithoutPicturesBringsTheBrowserBack()
{
    QVERIFY(testutil::writeFile(m_root + "notes.txt"));
    QVERIFY(writePicture(m_root + "deeper/x.bmp")); // below, but subfolders are off
    frmFiles &browser = start(m_dir->path());
    browser.mnuShowAll->trigger();
    QTest::keyClick(browser.lstFiles, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(basSlides::PictureCount, 0);
    QVERIFY(SharedForm<frmFiles>::IsLoaded());
    QVERIFY(browser.isVisible());
    QCOMPARE(entries(browser.lstFiles), QStringList{"notes.txt"}); // unchanged, "All files" still on
    QVERIFY(SharedForm<frmSlides>::IsLoaded());
    QVERIFY(!SharedForm<frmSlides>::Get().isVisible());
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestCommands::showStartsAndSavesTheBrowser_data()
{
    QTest::addColumn<bool>("random");
    QTest::newRow("name order") << false;
    QTest::newRow("random order") << true;
}

void TestCommands::showStartsAndSavesTheBrowser()
{
    QFETCH(bool, random);
    QVERIFY(writePicture(m_root + "a.bmp"));
    QVERIFY(writePicture(m_root + "Sub/b.bmp"));
    frmFiles &browser = start(m_dir->path());
    browser.mnuSubShow->trigger();
    (random ? browser.mnuRandom : browser.mnuSlideS)->trigger();
    flushDeletes();
    QVERIFY(!SharedForm<frmFiles>::IsLoaded());
    frmSlides &show = SharedForm<frmSlides>::Get();
    QCOMPARE(show.Tag, random ? QStringLiteral("Random") : QStringLiteral("Normal"));
    QVERIFY(show.isVisible());
    QVERIFY(show.tmrChange.isActive());
    QCOMPARE(basSlides::PictureCount, 2); // the subfolder's picture too
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BitmapCursor);
    QCOMPARE(settings::Get(settings::kIncludeSubDirs, QString()), QStringLiteral("1"));
    QCOMPARE(settings::Get(settings::kPathName, QString()), m_root);
    QVERIFY(!settings::Get(settings::kWindowPosition, QString()).isEmpty());
}

void TestCommands::showOfUnloadablePicturesRestoresTheBrowser()
{
    QVERIFY(testutil::writeFile(m_root + "bad.jpg", "nothing"));
    QVERIFY(testutil::writeFile(m_root + "worse.gif", "GIF89a"));
    frmFiles &browser = start(m_dir->path());
    browser.mnuRandom->trigger();
    flushDeletes();
    QVERIFY(SharedForm<frmFiles>::IsLoaded());
    QVERIFY(browser.isVisible());
    QCOMPARE(browser.lstFiles->Tag(), m_root);
    QCOMPARE(entries(browser.lstFiles), (QStringList{"bad.jpg", "worse.gif"}));
    QVERIFY(!SharedForm<frmSlides>::IsLoaded());
    QVERIFY(!basSlides::RestoringPath);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestCommands::pictureFileOnTheCommandLine()
{
    for (const char *f : {"a.bmp", "b.bmp", "c.bmp"})
        QVERIFY(writePicture(m_root + QString::fromLatin1(f)));
    frmFiles &browser = start(m_root + "b.bmp");
    QCOMPARE(basSlides::CurrentPath, m_root);
    QCOMPARE(browser.lstFiles->ListIndex(), 1);
    QCOMPARE(SharedForm<frmSlide>::Get().windowTitle(), m_root + "b.bmp");
}

void TestCommands::messageWindowLayout()
{
    // 15 twips per pixel, a frame of 8 x 27 pixels.
    const dialogs::MsgBoxWindow w = dialogs::MsgBoxWindowRect(15, 15, 120, 405, 15360, 11520);
    QCOMPARE(w.width, 9480.f);
    QCOMPARE(w.height, 6795.f);
    QCOMPARE(w.left, (15360.f - 9480.f) / 2);
    QCOMPARE(w.top, (11520.f - 6795.f) / 2);
    const dialogs::MsgBoxControls c = dialogs::MsgBoxControlRects(15, 15, 9360, 6390, 972, 432);
    QCOMPARE(c.buttonLeft, 4194.f);
    QCOMPARE(c.buttonTop, 5883.f);
    QCOMPARE((QList<float>{c.textLeft, c.textTop, c.textWidth, c.textHeight}), (QList<float>{75, 75, 9210, 5733}));

    // Applied: centred, outer size 640 x 480 less the frame, every time it opens.
    for (int round = 0; round < 2; ++round) {
        QRect outer, client, button, text;
        QTimer::singleShot(0, [&] {
            frmMsgBox &box = SharedForm<frmMsgBox>::Get();
            outer = box.frameGeometry();
            client = box.geometry();
            button = box.cmdOK->geometry();
            text = box.txtMsgBox->geometry();
            QTest::keyClick(box.txtMsgBox, Qt::Key_Return); // Enter closes it, also from the text
        });
        frmMsgBox &box = SharedForm<frmMsgBox>::Get();
        box.SetText(QStringLiteral("round %1").arg(round));
        box.ShowModal();
        flushDeletes();
        QVERIFY(!SharedForm<frmMsgBox>::IsLoaded());
        const QSize frame = outer.size() - client.size();
        QCOMPARE(outer.size(), QSize(640, 480) - frame);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QVERIFY(qAbs(outer.center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(outer.center().y() - screen.center().y()) <= 1);
        QCOMPARE(button.bottom() + 1, client.height() - 5);
        QCOMPARE(text.topLeft(), QPoint(5, 5));
        QCOMPARE(text.width(), client.width() - 10);
    }
}

void TestCommands::keyHelpTextAndCaption()
{
    const QByteArray expected = "Help Keys:\r\n\r\nESC - Exit\r\n\r\nF1 - This Screen\r\n\r\n"
                                "F2-F10 - 2-10 Second Delay\r\n\r\nF12 - No Delay\r\nEnter - Change Picture\r\n"
                                "Space - Change Picture\r\n";
    QCOMPARE(dialogs::KeyHelpText().toLatin1(), expected);
    MessageWatch watch;
    watch.arm();
    dialogs::ShowKeyHelp();
    QVERIFY(watch.seen);
    QCOMPARE(watch.caption, QStringLiteral("Help For Quorvel"));
    QCOMPARE(watch.text.toLatin1(), expected);
    flushDeletes();
    QVERIFY(!SharedForm<frmMsgBox>::IsLoaded()); // closing destroyed it
}

void TestCommands::keyHelpFromAllThreePlaces()
{
    QVERIFY(writePicture(m_root + "a.bmp"));
    frmFiles &browser = start(m_dir->path());

    MessageWatch fromMenu;
    fromMenu.arm();
    QTest::keyClick(browser.lstFiles, Qt::Key_F1);
    QVERIFY(fromMenu.seen);

    MessageWatch fromAbout;
    QTimer::singleShot(0, [&] {
        frmSplash &about = SharedForm<frmSplash>::Get();
        fromAbout.arm();
        about.cmdHelp->click();
        QVERIFY(about.isVisible()); // still open under the help
        about.cmdOK->click();
    });
    browser.mnuAbout->trigger();
    QVERIFY(fromAbout.seen);
    flushDeletes();
    QVERIFY(!SharedForm<frmSplash>::IsLoaded());

    browser.mnuSlideS->trigger();
    frmSlides &show = SharedForm<frmSlides>::Get();
    MessageWatch fromShow;
    fromShow.arm();
    QTest::keyRelease(&show, Qt::Key_F1);
    QVERIFY(fromShow.seen);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BitmapCursor); // invisible again

    for (const MessageWatch *w : {&fromMenu, &fromAbout, &fromShow}) {
        QCOMPARE(w->caption, QStringLiteral("Help For Quorvel"));
        QCOMPARE(w->text, dialogs::KeyHelpText());
    }
}

void TestCommands::aboutWindow()
{
    frmFiles &browser = start(m_dir->path());
    QRect first;
    for (int round = 0; round < 2; ++round) {
        QString version, product, platformLine;
        QRect outer;
        bool okIsDefault = false;
        QTimer::singleShot(0, [&] {
            frmSplash &about = SharedForm<frmSplash>::Get();
            version = about.lblVersion->text();
            product = about.lblProductName->text();
            platformLine = about.lblPlatform->text();
            outer = about.frameGeometry();
            okIsDefault = about.cmdOK->isDefault();
            QTest::keyClick(&about, round == 0 ? Qt::Key_Return : Qt::Key_Escape);
        });
        browser.mnuAbout->trigger();
        flushDeletes();
        QVERIFY(!SharedForm<frmSplash>::IsLoaded());
        QCOMPARE(product, QStringLiteral("Quorvel"));
        QCOMPARE(version, QStringLiteral("Version 1.0.24"));
        QCOMPARE(platformLine, QStringLiteral("For 64-bit Linux Platforms"));
        QVERIFY(okIsDefault);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QVERIFY(qAbs(outer.center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(outer.center().y() - screen.center().y()) <= 1);
        if (round == 0)
            first = outer;
        else
            QCOMPARE(outer, first);
    }
    // Closing the browser afterwards leaves no window behind.
    browser.mnuExit->trigger();
    flushDeletes();
    QCOMPARE(platform::FormBase::LoadedCount(), 0);
}

void TestCommands::versionText_data()
{
    QTest::addColumn<QList<int>>("numbers");
    QTest::addColumn<QString>("text");
    QTest::newRow("this version") << QList<int>{1, 0, 24} << "Version 1.0.24";
    QTest::newRow("revision 0") << QList<int>{1, 0, 0} << "Version 1.0.0";
    QTest::newRow("no zero fill") << QList<int>{2, 10, 305} << "Version 2.10.305";
}

void TestCommands::versionText()
{
    QFETCH(QList<int>, numbers);
    QFETCH(QString, text);
    QCOMPARE(dialogs::VersionText(numbers[0], numbers[1], numbers[2]), text);
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
