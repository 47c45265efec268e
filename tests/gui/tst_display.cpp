#include "app/Main.h"
#include "app/Settings.h"
#include "app/SettingsRules.h"
#include "app/basSlides.h"
#include "browser/frmFiles.h"
#include "display/frmSlide.h"
#include "display/frmSlides.h"
#include "platform/Screen.h"

#include "GuiTestUtil.h"
#include "TestUtil.h"

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using guitest::entries;
using guitest::flushDeletes;
using guitest::writePicture;
using platform::SharedForm;

namespace {

QSize screenPixels()
{
    return QGuiApplication::primaryScreen()->geometry().size();
}

} // namespace

class TestDisplay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void viewerSizesItselfToThePicture_data();
    void viewerSizesItselfToThePicture();
    void maximisedViewerIsRestoredFirst();
    void viewerShowsNothingForABadFile();
    void viewerKeys();
    void showStepsThroughThePictures();
    void showDropsBadPictures();
    void showOfOnlyBadPicturesDoesNotStart();
    void showEndsWhenTheLastPictureGoes();
    void delayIsMeasuredOnTheMonotonicClock();
    void delayKeys_data();
    void delayKeys();
    void escapeBringsTheBrowserBack();
    void userCannotCloseTheShow();
    void nextPictureIsDecodedAhead();

private:
    frmSlides &startShow(const QString &mode, bool *started = nullptr);
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root;
    QTemporaryDir m_config;
};

void TestDisplay::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
}

void TestDisplay::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_root = platform::WithSeparator(m_dir->path());
    QFile::remove(m_config.path() + "/Quorvel/Quorvel.conf");
    basSlides::InitSharedState();
}

void TestDisplay::cleanup()
{
    SharedForm<frmSlides>::Unload();
    SharedForm<frmSlide>::Unload();
    SharedForm<frmFiles>::Unload();
    flushDeletes();
    platform::SetScreenPointer(platform::vbDefault);
    QCOMPARE(platform::FormBase::LoadedCount(), 0);
}

// What the browser's show commands do, up to the show being on screen.
frmSlides &TestDisplay::startShow(const QString &mode, bool *started)
{
    frmSlides &show = SharedForm<frmSlides>::Get();
    show.Tag = mode;
    basSlides::ScanPictures(m_dir->path(), false, show.Tag);
    bool ok = basSlides::PictureCount >= 1 && show.ChangePicture(true);
    if (ok) {
        platform::SetScreenPointer(platform::vbCustom, show.MouseIcon);
        show.tmrChange.start();
        show.show();
        if (!QTest::qWaitForWindowExposed(&show))
            qWarning("show not exposed");
    }
    if (started)
        *started = ok;
    return ok ? show : SharedForm<frmSlides>::Get();
}

void TestDisplay::viewerSizesItselfToThePicture_data()
{
    const QSize screen = screenPixels();
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QPoint>("place");
    QTest::addColumn<QSize>("client");
    QTest::addColumn<bool>("movedToTheEdge");
    QTest::newRow("small picture keeps the corner") << QSize(320, 240) << QPoint(40, 30) << QSize(320, 239) << false;
    QTest::newRow("sticks out at the bottom right: moved up and left")
        << QSize(320, 240) << QPoint(screen.width() - 100, screen.height() - 50) << QSize(320, 239) << true;
    QTest::newRow("wider than the screen: reduced, ratio kept")
        << QSize(4 * screen.width(), 4 * screen.height() / 3) << QPoint(0, 0) << QSize() << true;
}

void TestDisplay::viewerSizesItselfToThePicture()
{
    QFETCH(QSize, picture);
    QFETCH(QPoint, place);
    QFETCH(QSize, client);
    QFETCH(bool, movedToTheEdge);
    QVERIFY(writePicture(m_root + "p.bmp", picture.width(), picture.height()));
    frmSlide &viewer = SharedForm<frmSlide>::Get();
    viewer.move(place);
    viewer.ChangePicture(m_root + "p.bmp");
    QVERIFY(viewer.isVisible());
    QCOMPARE(viewer.windowTitle(), m_root + "p.bmp");
    const QRect outer = viewer.frameGeometry();
    const QSize frame = outer.size() - viewer.size();
    const QSize screen = screenPixels();
    if (client.isValid()) {
        QCOMPARE(viewer.size(), client);
    } else {
        // Width limited by the screen less the frame; height from the ratio (3:1, to the pixel).
        QCOMPARE(outer.width(), screen.width());
        QVERIFY(qAbs(viewer.height() - viewer.width() / 3) <= 1);
    }
    if (movedToTheEdge)
        QCOMPARE(outer.bottomRight().x(), screen.width() - 1);
    else
        QCOMPARE(outer.topLeft(), place);
    QVERIFY(outer.bottom() <= screen.height() - 1 || !frame.isEmpty());
    QVERIFY(viewer.imgSlide->isVisible());
    // The client is one row lower than the picture: it fills the height, nearly all the width.
    QVERIFY(qAbs(viewer.imgSlide->width() - viewer.width()) <= 2);

    // Made larger by the user: the picture grows with it, centred, with bars at the sides.
    viewer.resize(viewer.width() * 2, viewer.height());
    QCOMPARE(viewer.imgSlide->height(), viewer.height());
    QVERIFY(qAbs(viewer.imgSlide->x() - (viewer.width() - viewer.imgSlide->width()) / 2) <= 1);
}

void TestDisplay::maximisedViewerIsRestoredFirst()
{
    QVERIFY(writePicture(m_root + "p.bmp", 200, 100));
    frmSlide &viewer = SharedForm<frmSlide>::Get();
    viewer.showMaximized();
    viewer.ChangePicture(m_root + "p.bmp");
    QVERIFY(!(viewer.windowState() & Qt::WindowMaximized));
    QCOMPARE(viewer.size(), QSize(200, 99));
}

void TestDisplay::viewerShowsNothingForABadFile()
{
    QVERIFY(writePicture(m_root + "good.bmp", 300, 200));
    QVERIFY(testutil::writeFile(m_root + "bad.jpg", "not a picture"));
    frmSlide &viewer = SharedForm<frmSlide>::Get();
    viewer.ChangePicture(m_root + "good.bmp");
    const QRect before = viewer.frameGeometry();
    viewer.ChangePicture(m_root + "bad.jpg");
    QCOMPARE(viewer.windowTitle(), m_root + "bad.jpg");
    QCOMPARE(viewer.frameGeometry(), before); // left where it was
    QVERIFY(!viewer.imgSlide->isVisible());   // and never the previous picture under the new name
    QVERIFY(viewer.picSlide.Picture.isNull());
    viewer.resize(400, 300); // a resize brings nothing back
    QVERIFY(!viewer.imgSlide->isVisible());
}

void TestDisplay::viewerKeys()
{
    for (const char *f : {"a.bmp", "b.bmp", "c.bmp"})
        QVERIFY(writePicture(m_root + QString::fromLatin1(f), 100, 80));
    basSlides::Main(m_dir->path());
    frmFiles &browser = SharedForm<frmFiles>::Get();
    browser.lstFiles->SetListIndex(0);
    frmSlide &viewer = SharedForm<frmSlide>::Get();
    QCOMPARE(viewer.windowTitle(), m_root + "a.bmp");
    QTest::keyClick(&viewer, Qt::Key_Down); // goes to the browser's list
    QCOMPARE(browser.lstFiles->ListIndex(), 1);
    QCOMPARE(viewer.windowTitle(), m_root + "b.bmp");
    QTest::keyClick(&viewer, Qt::Key_Escape);
    flushDeletes();
    QVERIFY(!SharedForm<frmSlide>::IsLoaded());
    QVERIFY(SharedForm<frmFiles>::IsLoaded());
}

void TestDisplay::showStepsThroughThePictures()
{
    for (const char *f : {"A.bmp", "B.jpg", "C.bmp"})
        QVERIFY(writePicture(m_root + QString::fromLatin1(f), 400, 100));
    frmSlides &show = startShow("Normal");
    QVERIFY(show.isVisible());
    QVERIFY(show.isFullScreen());
    QCOMPARE(show.picSlide.Tag, m_root + "A.bmp");
    QCOMPARE(show.tmrChangeTag, QStringLiteral("0"));
    // Wider than the screen's shape: full width, centred top to bottom.
    QCOMPARE(show.imgSlide->width(), show.width());
    QCOMPARE(show.imgSlide->y(), (show.height() - show.imgSlide->height()) / 2);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BitmapCursor);

    QStringList seen;
    for (int i = 0; i < 4; ++i) {
        QTest::keyRelease(&show, i % 2 ? Qt::Key_Return : Qt::Key_Space);
        seen << QFileInfo(show.picSlide.Tag).fileName();
    }
    QCOMPARE(seen, (QStringList{"B.jpg", "C.bmp", "A.bmp", "B.jpg"}));
    QTest::keyRelease(&show, Qt::Key_Right); // other keys do nothing
    QCOMPARE(QFileInfo(show.picSlide.Tag).fileName(), QStringLiteral("B.jpg"));
}

void TestDisplay::showDropsBadPictures()
{
    QVERIFY(writePicture(m_root + "A.bmp", 100, 100));
    QVERIFY(testutil::writeFile(m_root + "B.jpg", "broken"));
    frmSlides &show = startShow("Normal");
    QCOMPARE(basSlides::PictureCount, 2);
    QTest::keyRelease(&show, Qt::Key_Space); // B fails, is dropped, A comes again
    QCOMPARE(basSlides::PictureCount, 1);
    QCOMPARE(basSlides::ShowList.ListCount(), 1);
    QCOMPARE(show.picSlide.Tag, m_root + "A.bmp");
    QTest::keyRelease(&show, Qt::Key_Space);
    QCOMPARE(show.picSlide.Tag, m_root + "A.bmp");
    QVERIFY(SharedForm<frmSlides>::IsLoaded());
}

void TestDisplay::showOfOnlyBadPicturesDoesNotStart()
{
    QVERIFY(testutil::writeFile(m_root + "x.bmp", "broken"));
    QVERIFY(testutil::writeFile(m_root + "y.gif", "broken too"));
    bool started = true;
    startShow("Random", &started);
    QVERIFY(!started);
    QCOMPARE(basSlides::PictureCount, 0);
    flushDeletes();
    // The show window went (a fresh one was made by the reference above); no browser was loaded.
    QVERIFY(!SharedForm<frmFiles>::IsLoaded());
}

void TestDisplay::showEndsWhenTheLastPictureGoes()
{
    QVERIFY(writePicture(m_root + "only.bmp", 100, 100));
    basSlides::CurrentPath = m_root;
    frmSlides &show = startShow("Normal");
    QVERIFY(QFile::remove(m_root + "only.bmp")); // gone between its turns
    QTest::keyRelease(&show, Qt::Key_Space);
    flushDeletes();
    QVERIFY(!SharedForm<frmSlides>::IsLoaded());
    QVERIFY(SharedForm<frmFiles>::IsLoaded()); // the browser is back on its folder
    QVERIFY(SharedForm<frmFiles>::Get().isVisible());
    QCOMPARE(SharedForm<frmFiles>::Get().lstFiles->Tag(), m_root);
    QVERIFY(!basSlides::RestoringPath);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestDisplay::delayIsMeasuredOnTheMonotonicClock()
{
    for (const char *f : {"A.bmp", "B.bmp"})
        QVERIFY(writePicture(m_root + QString::fromLatin1(f), 50, 50));
    frmSlides &show = SharedForm<frmSlides>::Get();
    qint64 now = 1000;
    show.Clock = [&now] { return now; };
    startShow("Normal");
    show.TimeDelay = 5;
    QCOMPARE(show.picSlide.Tag, m_root + "A.bmp");
    now += 4999;
    show.tmrChange_Timer();
    QCOMPARE(show.picSlide.Tag, m_root + "A.bmp");
    now += 1;
    show.tmrChange_Timer();
    QCOMPARE(show.picSlide.Tag, m_root + "B.bmp");
    // F12: no automatic change however long; F5 again: due at once, counted from when B went up.
    QTest::keyRelease(&show, Qt::Key_F12);
    now += 60000;
    show.tmrChange_Timer();
    QCOMPARE(show.picSlide.Tag, m_root + "B.bmp");
    QTest::keyRelease(&show, Qt::Key_F5);
    show.tmrChange_Timer();
    QCOMPARE(show.picSlide.Tag, m_root + "A.bmp");
}

void TestDisplay::delayKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("delay");
    QTest::newRow("F2") << int(Qt::Key_F2) << 2;
    QTest::newRow("F7") << int(Qt::Key_F7) << 7;
    QTest::newRow("F10") << int(Qt::Key_F10) << 10;
    QTest::newRow("F12") << int(Qt::Key_F12) << 0;
    QTest::newRow("F11 does nothing") << int(Qt::Key_F11) << 5;
    QTest::newRow("Shift+F3 acts as F3") << int(Qt::Key_F3) + int(Qt::ShiftModifier) << 3;
}

void TestDisplay::delayKeys()
{
    QFETCH(int, key);
    QFETCH(int, delay);
    QVERIFY(writePicture(m_root + "A.bmp", 50, 50));
    settings::Save(settings::kTimeDelay, QStringLiteral("25")); // read as 10
    frmSlides &show = startShow("Normal");
    QCOMPARE(int(show.TimeDelay), 10);
    show.TimeDelay = 5;
    QTest::keyRelease(&show, Qt::Key(key & ~Qt::KeyboardModifierMask), Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
    QCOMPARE(int(show.TimeDelay), delay);
    SharedForm<frmSlides>::Unload();
    QCOMPARE(settings::Get(settings::kTimeDelay, QString()), QString::number(delay));
}

void TestDisplay::escapeBringsTheBrowserBack()
{
    QVERIFY(writePicture(m_root + "A.bmp", 50, 50));
    QVERIFY(writePicture(m_root + "sub/B.bmp", 50, 50));
    basSlides::Main(m_root + "sub");
    SharedForm<frmFiles>::Get().mnuSubShow->trigger();
    SharedForm<frmFiles>::Unload(); // as the show's start does: settings saved
    flushDeletes();
    frmSlides &show = startShow("Normal");
    QTest::keyRelease(&show, Qt::Key_Escape);
    flushDeletes();
    QVERIFY(!SharedForm<frmSlides>::IsLoaded());
    QCOMPARE(basSlides::ShowList.ListCount(), 0);
    frmFiles &browser = SharedForm<frmFiles>::Get();
    QVERIFY(browser.isVisible());
    QCOMPARE(browser.dirFiles->Path(), m_root + "sub");
    QCOMPARE(browser.lstFiles->Tag(), m_root + "sub/");
    QVERIFY(browser.mnuSubShow->isChecked()); // a fresh browser, from the saved settings
    QVERIFY(!basSlides::RestoringPath);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestDisplay::userCannotCloseTheShow()
{
    QVERIFY(writePicture(m_root + "A.bmp", 50, 50));
    frmSlides &show = startShow("Normal");
    show.close();
    flushDeletes();
    QVERIFY(SharedForm<frmSlides>::IsLoaded());
    QVERIFY(show.isVisible());
}

void TestDisplay::nextPictureIsDecodedAhead()
{
    for (const char *f : {"A.jpg", "B.jpg", "C.jpg"})
        QVERIFY(writePicture(m_root + QString::fromLatin1(f), 640, 480));
    frmSlides &show = startShow("Normal");
    QCOMPARE(show.Ahead().Pending(), m_root + "B.jpg");
    QTest::keyRelease(&show, Qt::Key_Space);
    QCOMPARE(show.picSlide.Tag, m_root + "B.jpg");
    QCOMPARE(show.Ahead().Pending(), m_root + "C.jpg");
    QTest::keyRelease(&show, Qt::Key_Space);
    QCOMPARE(show.Ahead().Pending(), m_root + "A.jpg"); // name order wraps predictably
}

QTEST_MAIN(TestDisplay)
#include "tst_display.moc"
