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
    void placement_data();
    void placement();
    void settingsSavedOnCloseAndReadAtLoad();
    void refreshWithEveryFileGone();
    void vanishedFolder();
    void firstUpOrEnterSelectsTheFirstEntry();

private:
    // The list's own keys: the browser's window active and the list holding the focus.
    void focusTheList(frmFiles &browser)
    {
        browser.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&browser));
        QTRY_COMPARE(QApplication::focusWidget(), browser.lstFiles);
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

void TestBrowser::refreshWithEveryFileGone()
{
    writeFiles({"a.jpg", "b.jpg"});
    frmFiles &browser = start(m_dir->path());
    browser.lstFiles->SetListIndex(1);
    QVERIFY(QFile::remove(m_root + "a.jpg") && QFile::remove(m_root + "b.jpg"));
    QTest::keyClick(&browser, Qt::Key_F5);
    QCOMPARE(browser.lstFiles->ListCount(), 0);
    QCOMPARE(browser.lstFiles->ListIndex(), -1);
    // Nothing changed since: a second run of the routine leaves everything alone.
    browser.tmrUpdate_Timer();
    QCOMPARE(browser.lstFiles->ListIndex(), -1);
    QVERIFY(!browser.tmrUpdate.isActive());
}

void TestBrowser::vanishedFolder()
{
    start(m_root + "missing"); // a folder that is not there lists nothing, the folder list stays
    QCOMPARE(SharedForm<frmFiles>::Get().lstFiles->Tag(), m_root + "missing/");
    QCOMPARE(SharedForm<frmFiles>::Get().lstFiles->ListCount(), 0);
    SharedForm<frmFiles>::Get().mnuExit->trigger();
    flushDeletes();

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

void TestBrowser::firstUpOrEnterSelectsTheFirstEntry()
{
    writeFiles({"a.jpg", "b.jpg"});
    for (Qt::Key key : {Qt::Key_Up, Qt::Key_Return}) {
        frmFiles &browser = start(m_dir->path());
        focusTheList(browser);
        QTest::keyClick(browser.lstFiles, key);
        QCOMPARE(browser.lstFiles->ListIndex(), 0);
        QCOMPARE(shown(), m_root + "a.jpg");
        browser.mnuExit->trigger();
        flushDeletes();
    }
}

QTEST_MAIN(TestBrowser)
#include "tst_browser.moc"
