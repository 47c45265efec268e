#include "GuiTestUtil.h"

using namespace guitest;

class TestDisplay : public QObject, Fixture
{
    Q_OBJECT

private slots:
    void init() { freshStart(); }
    void cleanup() { QCOMPARE(windowsLeftAfterUnloadingAll(), 0); }
    void viewerSizesItselfToThePicture_data();
    void viewerSizesItselfToThePicture();
    void viewerShowsNothingForABadFile();
    void viewerKeys();
    void showStepsThroughThePictures();
    void showDropsBadPictures();
    void delayIsMeasuredOnTheMonotonicClock();
    void delayKeys_data();
    void delayKeys();

private:
    // The browser on the test folder, then its "name order" show command.
    frmSlides &startShow()
    {
        start(m_dir->path()).mnuSlideS->trigger();
        flushDeletes();
        frmSlides &show = SharedForm<frmSlides>::Get();
        if (!QTest::qWaitForWindowExposed(&show))
            qWarning("show not exposed");
        return show;
    }
    static QSize screenPixels() { return QGuiApplication::primaryScreen()->geometry().size(); }
};

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
    const QSize fitted = viewer.size();
    viewer.resize(viewer.width() * 2, viewer.height());
    QCOMPARE(viewer.imgSlide->height(), viewer.height());
    QVERIFY(qAbs(viewer.imgSlide->x() - (viewer.width() - viewer.imgSlide->width()) / 2) <= 1);
    // Maximised: the next picture brings it back to a window fitted to the picture.
    viewer.showMaximized();
    viewer.ChangePicture(m_root + "p.bmp");
    QVERIFY(!(viewer.windowState() & Qt::WindowMaximized));
    QCOMPARE(viewer.size(), fitted);
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
    frmFiles &browser = start(m_dir->path());
    browser.lstFiles->SetListIndex(0);
    frmSlide &viewer = SharedForm<frmSlide>::Get();
    QCOMPARE(viewer.windowTitle(), m_root + "a.bmp");
    viewer.activateWindow(); // as a click on it does
    QVERIFY(QTest::qWaitForWindowActive(&viewer));
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
    frmSlides &show = startShow();
    QVERIFY(show.isVisible());
    QVERIFY(show.isFullScreen());
    QCOMPARE(show.picSlide.Tag, m_root + "A.bmp");
    QCOMPARE(show.Ahead().Pending(), m_root + "B.jpg");
    // Wider than the screen's shape: full width, centred top to bottom.
    QCOMPARE(show.imgSlide->width(), show.width());
    QCOMPARE(show.imgSlide->y(), (show.height() - show.imgSlide->height()) / 2);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BitmapCursor);

    QStringList seen; // each shown, then the one decoded ahead; name order wraps predictably
    for (int i = 0; i < 4; ++i) {
        QTest::keyRelease(&show, i % 2 ? Qt::Key_Return : Qt::Key_Space);
        seen << QFileInfo(show.picSlide.Tag).fileName() + ">" + QFileInfo(show.Ahead().Pending()).fileName();
    }
    QCOMPARE(seen, (QStringList{"B.jpg>C.bmp", "C.bmp>A.bmp", "A.bmp>B.jpg", "B.jpg>C.bmp"}));
    QTest::keyRelease(&show, Qt::Key_Right); // other keys do nothing
    show.close();                            // nor can the user close it
    flushDeletes();
    QVERIFY(SharedForm<frmSlides>::IsLoaded() && show.isVisible());
    QCOMPARE(show.picSlide.Tag, m_root + "B.jpg");
}

void TestDisplay::showDropsBadPictures()
{
    QVERIFY(writePicture(m_root + "A.bmp", 100, 100));
    QVERIFY(testutil::writeFile(m_root + "B.jpg", "broken"));
    frmSlides &show = startShow();
    QCOMPARE(basSlides::PictureCount, 2);
    QTest::keyRelease(&show, Qt::Key_Space); // B fails, is dropped, A comes again
    QCOMPARE(basSlides::PictureCount, 1);
    QCOMPARE(basSlides::ShowList.ListCount(), 1);
    QCOMPARE(show.picSlide.Tag, m_root + "A.bmp");
    QTest::keyRelease(&show, Qt::Key_Space);
    QCOMPARE(show.picSlide.Tag, m_root + "A.bmp");
    QVERIFY(SharedForm<frmSlides>::IsLoaded());
}

void TestDisplay::delayIsMeasuredOnTheMonotonicClock()
{
    for (const char *f : {"A.bmp", "B.bmp"})
        QVERIFY(writePicture(m_root + QString::fromLatin1(f), 50, 50));
    qint64 now = 1000;
    SharedForm<frmSlides>::Get().Clock = [&now] { return now; };
    frmSlides &show = startShow();
    QCOMPARE(show.TimeDelay, 5);
    const auto after = [&](qint64 ms) {
        now += ms;
        show.tmrChange_Timer();
        return QFileInfo(show.picSlide.Tag).fileName();
    };
    QCOMPARE(show.picSlide.Tag, m_root + "A.bmp");
    QCOMPARE(after(4999), QStringLiteral("A.bmp"));
    QCOMPARE(after(1), QStringLiteral("B.bmp"));
    // F12: no automatic change however long; F5 again: due at once, counted from when B went up.
    QTest::keyRelease(&show, Qt::Key_F12);
    QCOMPARE(after(60000), QStringLiteral("B.bmp"));
    QTest::keyRelease(&show, Qt::Key_F5);
    QCOMPARE(after(0), QStringLiteral("A.bmp"));
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
    frmSlides &show = startShow();
    QCOMPARE(int(show.TimeDelay), 10);
    show.TimeDelay = 5;
    QTest::keyRelease(&show, Qt::Key(key & ~Qt::KeyboardModifierMask), Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
    QCOMPARE(int(show.TimeDelay), delay);
    SharedForm<frmSlides>::Unload();
    QCOMPARE(settings::Get(settings::kTimeDelay, QString()), QString::number(delay));
}

QTEST_MAIN(TestDisplay)
#include "tst_display.moc"
