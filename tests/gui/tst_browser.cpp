#include <QApplication>
#include <QMenuBar>
#include "GuiTestUtil.h"

#include "picture/Requests.h"

#include <QScopeGuard>
#include <QSet>

using namespace guitest;

class TestBrowser : public QObject, Fixture
{
    Q_OBJECT

private slots:
    void init() { freshStart(); }
    void cleanup() { cleanupRun(); }
    void smallSavedPlaceKept();
    void settingsSavedOnCloseAndReadAtLoad();
    void refreshWithEveryFileGone();
    void vanishedFolder();
    void firstUpOrEnterSelectsTheFirstEntry();
    void pictureGivenToOpenIsShownOnceAndChosen_data();
    void pictureGivenToOpenIsShownOnceAndChosen();

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

void TestBrowser::smallSavedPlaceKept()
{
    // No minimum size: a small saved place is the place (300 twips are 20 pixels).
    app::Save(app::kWindowPosition, QStringLiteral("300,300,300,150"));
    frmFiles &browser = start(m_dir->path());
    const double tppx = platform::TwipsPerPixelX(), tppy = platform::TwipsPerPixelY();
    QCOMPARE(browser.frameGeometry(), QRect(qRound(300 / tppx), qRound(300 / tppy), qRound(300 / tppx), qRound(150 / tppy)));
}

void TestBrowser::settingsSavedOnCloseAndReadAtLoad()
{
    frmFiles &browser = start(m_dir->path());
    browser.mnuSubShow->trigger();
    browser.mnuExit->trigger();
    flushDeletes();
    QVERIFY(!SharedForm<frmFiles>::IsLoaded());

    QCOMPARE(app::Get(app::kPathName, QString()), m_root);
    QCOMPARE(app::Get(app::kIncludeSubDirs, QString()), QStringLiteral("1"));

    frmFiles &again = start(QString());
    QCOMPARE(basSlides::CurrentPath, m_root);
    QVERIFY(again.mnuSubShow->isChecked());
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

void TestBrowser::pictureGivenToOpenIsShownOnceAndChosen_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("small") << QSize(64, 48);
    QTest::newRow("large") << QSize(1600, 1200); // decoded while the program starts
}

void TestBrowser::pictureGivenToOpenIsShownOnceAndChosen()
{
    // The viewer puts the picture up before the browser exists; the browser then chooses it in
    // its list without a second viewer or a second decode of it.
    QFETCH(QSize, size);
    for (const char *f : {"a.bmp", "b.bmp", "c.bmp"})
        QVERIFY(writePicture(m_root + QString::fromLatin1(f), size.width(), size.height()));
    struct Shown : QObject
    {
        QSet<QObject *> viewers;
        int shows = 0;
        bool eventFilter(QObject *o, QEvent *e) override
        {
            if (e->type() == QEvent::Show && qobject_cast<frmSlide *>(o)) {
                viewers.insert(o);
                ++shows;
            }
            return false;
        }
    } shown;
    qApp->installEventFilter(&shown);
    const int decodesBefore = picture::DecodesRun();
    frmFiles &browser = start(m_root + "b.bmp");
    qApp->removeEventFilter(&shown);
    QCOMPARE(browser.lstFiles->ListIndex(), 1);
    frmSlide *viewer = SharedForm<frmSlide>::IfLoaded();
    QVERIFY(viewer && viewer->isVisible());
    QCOMPARE(viewer->windowTitle(), m_root + "b.bmp");
    QCOMPARE(shown.viewers.size(), 1);
    QCOMPARE(shown.shows, 1);
    QCOMPARE(picture::DecodesRun() - decodesBefore, 1);
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QCOMPARE(viewer->picSlide.Picture.size(), size.boundedTo(size.scaled(screen, Qt::KeepAspectRatio)));
    QVERIFY(!QGuiApplication::overrideCursor());
}

QTEST_MAIN(TestBrowser)
#include "tst_browser.moc"
