#include "GuiTestUtil.h"

#include "HostilePictures.h"
#include "display/FitPicture.h"
#include "platform/Waiting.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>
#include <QTimer>

using namespace guitest;

class TestDisplay : public QObject, Fixture
{
    Q_OBJECT

private slots:
    void init() { freshStart(); }
    void cleanup() { cleanupRun(); }
    void viewerSizesItselfToThePicture_data();
    void viewerSizesItselfToThePicture();
    void viewerShowsNothingForABadFile_data();
    void viewerShowsNothingForABadFile();
    void waitKeepsTheScreenPainting();
    void showFillsTheScreen();
    void delayKeysAndTheMonotonicClock();

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
    QVERIFY(viewer.isVisible() && viewer.imgSlide->isVisible());
    const QRect outer = viewer.frameGeometry();
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
    // The client is one row lower than the picture: it fills the height, nearly all the width.
    QVERIFY(qAbs(viewer.imgSlide->width() - viewer.width()) <= 2);

    const QSize fitted = viewer.size();
    // Maximised: the next picture brings it back to a window fitted to the picture.
    viewer.showMaximized();
    viewer.ChangePicture(m_root + "p.bmp");
    QVERIFY(!(viewer.windowState() & Qt::WindowMaximized));
    QCOMPARE(viewer.size(), fitted);
}

void TestDisplay::viewerShowsNothingForABadFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // null: no such file
    QTest::addColumn<QString>("line");
    QTest::newRow("text named .jpg") << "bad.jpg" << QByteArray("not a picture")
                                     << "Cannot show this picture: not a picture";
    QTest::newRow("missing") << "gone.bmp" << QByteArray() << "Cannot show this picture: unreadable";
    QTest::newRow("jpeg cut after its header") << "cut.jpg" << HostilePictures::progressiveJpeg({4000, 3000}, 0)
                                               << "Cannot show this picture: damaged";
    QTest::newRow("gif screen of 16000 x 16000") << "huge.gif"
                                                 << HostilePictures::gifWithScreen({16000, 16000}, 63000)
                                                 << "Cannot show this picture: too large";
}

void TestDisplay::viewerShowsNothingForABadFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, line);
    QVERIFY(writePicture(m_root + "good.bmp", 300, 200));
    if (!bytes.isNull())
        QVERIFY(testutil::writeFile(m_root + name, bytes));
    frmSlide &viewer = SharedForm<frmSlide>::Get();
    viewer.ChangePicture(m_root + "good.bmp");
    QVERIFY(!viewer.lblCannot->isVisible());
    const QRect place = viewer.geometry();
    viewer.ChangePicture(m_root + name);
    QCOMPARE(viewer.windowTitle(), m_root + name);
    // Never the previous picture under the new name: one centred line saying why, the window
    // where and as large as it was.
    QVERIFY(!viewer.imgSlide->isVisible() && viewer.picSlide.Picture.isNull());
    QVERIFY(viewer.lblCannot->isVisible());
    QCOMPARE(viewer.lblCannot->text(), line);
    QCOMPARE(viewer.lblCannot->geometry(), viewer.rect());
    QCOMPARE(viewer.lblCannot->alignment(), Qt::AlignCenter);
    QCOMPARE(viewer.geometry(), place);
    viewer.ChangePicture(m_root + "good.bmp");
    QVERIFY(!viewer.lblCannot->isVisible() && viewer.imgSlide->isVisible());
}

void TestDisplay::waitKeepsTheScreenPainting()
{
    // Timers (and paints) run while a decode is waited for, the wait pointer shows once it
    // takes long enough to notice, and goes again afterwards.
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
    tick.start(20);
    QElapsedTimer since;
    since.start();
    bool waitPointerSeen = false;
    const QCursor *before = QGuiApplication::overrideCursor();
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        const QCursor *c = QGuiApplication::overrideCursor();
        waitPointerSeen |= c && c->shape() == Qt::WaitCursor;
    });
    look.start(5);
    platform::WaitWhilePainting(QtConcurrent::run([] { QThread::msleep(400); }));
    QVERIFY(since.elapsed() >= 400);
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    QVERIFY(waitPointerSeen);
    QCOMPARE(QGuiApplication::overrideCursor(), before);
}

void TestDisplay::showFillsTheScreen()
{
    // The steps through the pictures are checked on a real desktop.
    for (const char *f : {"A.bmp", "B.jpg"})
        QVERIFY(writePicture(m_root + QString::fromLatin1(f), 400, 100));
    frmSlides &show = startShow();
    QVERIFY(show.isVisible() && show.isFullScreen());
    QCOMPARE(show.AheadName(), m_root + "B.jpg"); // decoded ahead
    // Wider than the screen's shape: full width, centred top to bottom.
    QCOMPARE(show.imgSlide->width(), show.width());
    QCOMPARE(show.imgSlide->y(), (show.height() - show.imgSlide->height()) / 2);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BitmapCursor);
    QTest::keyClick(&show, Qt::Key_Right); // other keys do nothing
    show.close();                            // nor can the user close it
    flushDeletes();
    QVERIFY(SharedForm<frmSlides>::IsLoaded() && show.isVisible());
    QCOMPARE(show.picSlide.Tag, m_root + "A.bmp");
}

void TestDisplay::delayKeysAndTheMonotonicClock()
{
    for (const char *f : {"A.bmp", "B.bmp"})
        QVERIFY(writePicture(m_root + QString::fromLatin1(f), 50, 50));
    app::Save(app::kTimeDelay, QStringLiteral("25")); // read as 10
    qint64 now = 1000; // a wall clock set back or forth must not stall or rush the show
    SharedForm<frmSlides>::Get().Clock = [&now] { return now; };
    frmSlides &show = startShow();
    QCOMPARE(int(show.TimeDelay), 10);
    const auto after = [&](qint64 ms) {
        now += ms;
        show.tmrChange_Timer();
        return QFileInfo(show.picSlide.Tag).fileName();
    };
    QCOMPARE(after(9999), QStringLiteral("A.bmp"));
    QCOMPARE(after(1), QStringLiteral("B.bmp"));
    // F12: no automatic change however long; F11 changes nothing; Shift+F3 acts as F3, due at
    // once, counted from when B went up; F2-F10 give 2-10 seconds.
    QTest::keyClick(&show, Qt::Key_F12);
    QCOMPARE(after(60000), QStringLiteral("B.bmp"));
    QTest::keyClick(&show, Qt::Key_F11);
    QCOMPARE(int(show.TimeDelay), 0);
    QTest::keyClick(&show, Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(int(show.TimeDelay), 3);
    QCOMPARE(after(0), QStringLiteral("A.bmp"));
    QTest::keyClick(&show, Qt::Key_F2);
    SharedForm<frmSlides>::Unload();
    QCOMPARE(app::Get(app::kTimeDelay, QString()), QStringLiteral("2"));
}

QTEST_MAIN(TestDisplay)
#include "tst_display.moc"
