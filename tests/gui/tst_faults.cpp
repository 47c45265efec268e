// The program under bad folders, odd names, deep and large trees and broken settings: it keeps
// working, shows what it can, and deletes nothing but the chosen file.

#include "GuiTestUtil.h"

#include <QElapsedTimer>

using namespace guitest;

class TestFaults : public QObject, Fixture
{
    Q_OBJECT

private slots:
    void init() { freshStart(); }
    void cleanup() { cleanupRun(); }
    void pictureRemovedBeforeItsTurn_data();
    void pictureRemovedBeforeItsTurn();
    void linkLoopUnderTheShowFolder();
    void oddNames();
    void nameThatIsNotUtf8();
    void deepTree();
    void hundredThousandFiles();
    void garbageInEverySetting();
    void settingsWrittenByTwoProgramsAtOnce();
};

void TestFaults::pictureRemovedBeforeItsTurn_data()
{
    QTest::addColumn<QStringList>("pictures");
    QTest::addColumn<QString>("removed"); // once the show is up
    QTest::addColumn<int>("presses");
    QTest::addColumn<QString>("shown"); // "": the show ended
    const QStringList abc{"A.bmp", "B.bmp", "C.bmp"};
    QTest::newRow("while decoded ahead") << abc << "B.bmp" << 1 << "C.bmp";
    QTest::newRow("before it is decoded") << abc << "C.bmp" << 2 << "A.bmp";
    QTest::newRow("the last one") << QStringList{"only.bmp"} << "only.bmp" << 1 << "";
}

void TestFaults::pictureRemovedBeforeItsTurn()
{
    QFETCH(QStringList, pictures);
    QFETCH(QString, removed);
    QFETCH(int, presses);
    QFETCH(QString, shown);
    for (const QString &p : pictures)
        QVERIFY(writePicture(m_root + p));
    start(m_dir->path()).mnuSlideS->trigger();
    frmSlides &show = SharedForm<frmSlides>::Get();
    QCOMPARE(show.AheadName(), m_root + pictures.value(1, pictures[0]));
    QVERIFY(QFile::remove(m_root + removed));
    for (int i = 0; i < presses; ++i)
        QTest::keyClick(&show, Qt::Key_Space);
    flushDeletes();
    QCOMPARE(basSlides::PictureCount, pictures.size() - 1); // dropped at its turn, decoded or not
    if (!shown.isEmpty()) {
        QCOMPARE(show.picSlide.Tag, m_root + shown);
        return;
    }
    QVERIFY(!SharedForm<frmSlides>::IsLoaded());
    frmFiles *browser = SharedForm<frmFiles>::IfLoaded(); // back on its folder
    QVERIFY(browser && browser->isVisible());
    QCOMPARE(browser->lstFiles->Tag(), m_root);
    QVERIFY(!basSlides::RestoringPath && !QGuiApplication::overrideCursor());
}

void TestFaults::linkLoopUnderTheShowFolder()
{
    QVERIFY(writePicture(m_root + "a.bmp"));
    QVERIFY(writePicture(m_root + "sub/b.bmp"));
    QVERIFY(QFile::link(m_dir->path(), m_root + "sub/loop"));
    QVERIFY(QFile::link(m_root + "sub", m_root + "again"));
    frmFiles &browser = start(m_dir->path());
    browser.mnuSubShow->trigger();
    QElapsedTimer t;
    t.start();
    browser.mnuRandom->trigger();
    QVERIFY(t.elapsed() < 5000);
    QCOMPARE(basSlides::PictureCount, 2);
}

void TestFaults::oddNames()
{
    const QStringList names{"with space.bmp", "quote\"s'.bmp", "hash#1.bmp", "100%.bmp", "new\nline.bmp",
                            "back\\slash.bmp", "-dash.bmp", "*.bmp"};
    for (const QString &n : names)
        QVERIFY2(writePicture(m_root + n), qPrintable(n));
    QVERIFY(testutil::writeFile(m_root + "keep.txt"));
    frmFiles &browser = start(m_dir->path());
    QCOMPARE(browser.lstFiles->ListCount(), names.size());
    for (int i = 0; i < browser.lstFiles->ListCount(); ++i) {
        browser.lstFiles->SetListIndex(i);
        frmSlide &viewer = SharedForm<frmSlide>::Get();
        QCOMPARE(viewer.windowTitle(), m_root + browser.lstFiles->List(i));
        QVERIFY2(viewer.imgSlide->isVisible(), qPrintable(browser.lstFiles->List(i))); // loaded
    }
    // Deleting every one of them, one at a time, takes exactly those files.
    while (browser.lstFiles->ListCount() > 0) {
        browser.lstFiles->SetListIndex(0);
        browser.mnuDelete->trigger();
    }
    QCOMPARE(QDir(m_root).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.txt"});
}

void TestFaults::nameThatIsNotUtf8()
{
    const QByteArray root = QFile::encodeName(m_dir->path());
    QVERIFY(writePicture(root + "/bad\xff\xfe.bmp"));
    QVERIFY(writePicture(root + "/bad\xef\xbf\xbd\xef\xbf\xbd.bmp")); // what a lossy decoding would name it
    frmFiles &browser = start(m_dir->path());
    QCOMPARE(browser.lstFiles->ListCount(), 2);
    const auto isOdd = [&](int i) { return base::EncodePath(browser.lstFiles->List(i)).endsWith("\xff\xfe.bmp"); };
    browser.lstFiles->SetListIndex(isOdd(0) ? 0 : 1);
    QVERIFY(isOdd(browser.lstFiles->ListIndex()));
    QVERIFY(SharedForm<frmSlide>::Get().imgSlide->isVisible()); // shown like any other
    browser.mnuDelete->trigger();
    const auto exists = [&](const char *name) { return ::access((root + name).constData(), F_OK) == 0; };
    QVERIFY(!exists("/bad\xff\xfe.bmp"));
    QVERIFY(exists("/bad\xef\xbf\xbd\xef\xbf\xbd.bmp"));
    QCOMPARE(browser.lstFiles->ListCount(), 1);
}

void TestFaults::deepTree()
{
    QString folder = m_dir->path();
    for (int level = 0; level < 30; ++level) {
        folder += QStringLiteral("/level%1").arg(level);
        QVERIFY(writePicture(folder + QStringLiteral("/p%1.bmp").arg(level)));
    }
    frmFiles &browser = start(m_dir->path());
    browser.mnuSubShow->trigger();
    browser.mnuSlideS->trigger();
    QCOMPARE(basSlides::PictureCount, 30);
    SharedForm<frmSlides>::Unload();
    flushDeletes();
    frmFiles &again = start(folder);
    QCOMPARE(again.dirFiles->Path(), folder);
    QCOMPARE(again.lstFiles->ListCount(), 1);
}

void TestFaults::hundredThousandFiles()
{
    const QByteArray root = QFile::encodeName(m_dir->path());
    for (int i = 0; i < 100000; ++i) {
        FILE *f = std::fopen((root + "/f" + QByteArray::number(i) + (i % 2 ? ".jpg" : ".txt")).constData(), "w");
        QVERIFY(f && std::fclose(f) == 0);
    }
    QElapsedTimer t;
    t.start();
    frmFiles &browser = start(m_dir->path());
    QCoreApplication::processEvents();
    QCOMPARE(browser.lstFiles->ListCount(), 50000);
    browser.mnuShowAll->trigger();
    QCoreApplication::processEvents();
    QCOMPARE(browser.lstFiles->ListCount(), 100000);
    QVERIFY2(t.elapsed() < 20000, qPrintable(QString::number(t.elapsed())));
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestFaults::garbageInEverySetting()
{
    for (const QString &key : {app::kPathName, app::kWindowPosition, app::kIncludeSubDirs, app::kTimeDelay})
        app::Save(key, QStringLiteral("\x01garbage,,-\xff\"=[x]"));
    QVERIFY(writePicture(m_root + "a.bmp"));
    basSlides::Main(QString()); // the saved folder is garbage: a folder that is not there
    frmFiles &browser = SharedForm<frmFiles>::Get();
    QVERIFY(QGuiApplication::primaryScreen()->geometry().contains(browser.frameGeometry().topLeft()));
    QVERIFY(!browser.mnuSubShow->isChecked());
    QCOMPARE(browser.lstFiles->ListCount(), 0);
    browser.dirFiles->SetPath(m_dir->path());
    browser.mnuSlideS->trigger();
    QCOMPARE(int(SharedForm<frmSlides>::Get().TimeDelay), 0); // no number: no automatic change
}

void TestFaults::settingsWrittenByTwoProgramsAtOnce()
{
    app::Save(app::kTimeDelay, QStringLiteral("5"));
    const pid_t child = ::fork();
    if (child == 0) {
        for (int i = 0; i < 200; ++i)
            app::Save(app::kTimeDelay, QString::number(2 + i % 9));
        app::Save(app::kTimeDelay, QStringLiteral("7"));
        ::_exit(0);
    }
    for (int i = 0; i < 200; ++i)
        app::Save(app::kWindowPosition, QStringLiteral("%1,2,3,4").arg(i));
    int status = 0;
    ::waitpid(child, &status, 0);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Read afresh from the file, as the next run would.
    QSettings file(settingsFile(), QSettings::IniFormat);
    QCOMPARE(file.status(), QSettings::NoError);
    QCOMPARE(file.value("Settings/TimeDelay").toString(), QStringLiteral("7"));
    QCOMPARE(file.value("Settings/WindowPosition").toString(), QStringLiteral("199,2,3,4"));
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
