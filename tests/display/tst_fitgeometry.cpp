#include "display/FitGeometry.h"

#include <QTest>

#include <cmath>

using namespace display;

namespace {

// A 1024 x 768 pixel screen at 15 twips per pixel, a normal window with a 120 x 420 twip frame
// at 2000, 4000 whose client is 6000 x 5000.
FitInput window(float pictureW, float pictureH)
{
    FitInput in;
    in.holderWidth = pictureW * 15;
    in.holderHeight = pictureH * 15;
    in.screenWidth = 15360;
    in.screenHeight = 11520;
    in.left = 2000;
    in.top = 4000;
    in.width = 6120;
    in.height = 5420;
    in.scaleWidth = 6000;
    in.scaleHeight = 5000;
    return in;
}

} // namespace

class TestFitGeometry : public QObject
{
    Q_OBJECT

private slots:
    void fitWindow_data();
    void fitWindow();
    void degeneratePicturesStayVisible_data();
    void degeneratePicturesStayVisible();
    void fitInClient_data();
    void fitInClient();
};

void TestFitGeometry::fitWindow_data()
{
    QTest::addColumn<float>("pictureW");
    QTest::addColumn<float>("pictureH");
    QTest::addColumn<bool>("normal");
    QTest::addColumn<float>("left");
    QTest::addColumn<float>("top");
    QTest::addColumn<QList<float>>("expected"); // left, top, width, height
    QTest::newRow("2048 x 1024, larger than the screen")
        << 2048.f << 1024.f << true << 2000.f << 4000.f << QList<float>{0.f, 3487.4414f, 15360.f, 8032.5586f};
    QTest::newRow("320 x 240 fits") << 320.f << 240.f << true << 2000.f << 4000.f
                                    << QList<float>{2000.f, 4000.f, 4920.f, 4005.f};
    QTest::newRow("fits, but sticks out at the right")
        << 800.f << 100.f << true << 5000.f << 0.f << QList<float>{15360.f - 12000.f - 120.f, 0.f, 12120.f, 1905.f};
    QTest::newRow("partly off the left stays there")
        << 100.f << 100.f << true << -500.f << -300.f << QList<float>{-500.f, -300.f, 1620.f, 1905.f};
    QTest::newRow("maximised: no frame, from 0, 0")
        << 2048.f << 1024.f << false << 2000.f << 4000.f << QList<float>{0.f, 0.f, 15360.f, 7672.5f};
    QTest::newRow("tall picture cut by height, width follows")
        << 600.f << 1800.f << true << 0.f << 0.f << QList<float>{0.f, 0.f, 3822.057f, 11520.f};
}

void TestFitGeometry::fitWindow()
{
    QFETCH(float, pictureW);
    QFETCH(float, pictureH);
    QFETCH(bool, normal);
    QFETCH(float, left);
    QFETCH(float, top);
    QFETCH(QList<float>, expected);
    FitInput in = window(pictureW, pictureH);
    in.normalState = normal;
    in.left = left;
    in.top = top;
    const FitRect r = FitWindow(in);
    QCOMPARE(r.left, expected[0]);
    QCOMPARE(r.top, expected[1]);
    QCOMPARE(r.width, expected[2]);
    QCOMPARE(r.height, expected[3]);
}

void TestFitGeometry::degeneratePicturesStayVisible_data()
{
    QTest::addColumn<float>("pictureW");
    QTest::addColumn<float>("pictureH");
    QTest::newRow("0 wide") << 0.f << 100.f;
    QTest::newRow("1 high") << 100.f << 1.f;
    QTest::newRow("0 x 0") << 0.f << 0.f;
    QTest::newRow("1 x 1") << 1.f << 1.f;
    QTest::newRow("65535 x 1") << 65535.f << 1.f;
}

void TestFitGeometry::degeneratePicturesStayVisible()
{
    QFETCH(float, pictureW);
    QFETCH(float, pictureH);
    const FitRect r = FitWindow(window(pictureW, pictureH));
    for (float v : {r.left, r.top, r.width, r.height})
        QVERIFY(std::isfinite(v));
    QVERIFY(r.width - 120 >= 15);
    QVERIFY(r.height - 420 >= 15);
    const FitRect c = FitInClient(pictureW * 15, pictureH * 15, 6000, 5000);
    for (float v : {c.left, c.top, c.width, c.height})
        QVERIFY(std::isfinite(v));
}

void TestFitGeometry::fitInClient_data()
{
    QTest::addColumn<QList<float>>("picture"); // w, h
    QTest::addColumn<QList<float>>("client");
    QTest::addColumn<QList<float>>("expected");
    QTest::newRow("wide picture, wide screen: bars above and below")
        << QList<float>{2000, 1000} << QList<float>{16000, 9000} << QList<float>{0, 500, 16000, 8000};
    QTest::newRow("tall picture: bars left and right")
        << QList<float>{1000, 2000} << QList<float>{16000, 9000} << QList<float>{5750, 0, 4500, 9000};
    QTest::newRow("wide but not wide enough: height limits")
        << QList<float>{1600, 1000} << QList<float>{16000, 9000} << QList<float>{800, 0, 14400, 9000};
    QTest::newRow("square in a tall client")
        << QList<float>{500, 500} << QList<float>{3000, 6000} << QList<float>{0, 1500, 3000, 3000};
    QTest::newRow("small picture is enlarged")
        << QList<float>{30, 15} << QList<float>{600, 600} << QList<float>{0, 150, 600, 300};
}

void TestFitGeometry::fitInClient()
{
    QFETCH(QList<float>, picture);
    QFETCH(QList<float>, client);
    QFETCH(QList<float>, expected);
    const FitRect r = FitInClient(picture[0], picture[1], client[0], client[1]);
    QCOMPARE((QList<float>{r.left, r.top, r.width, r.height}), expected);
}

QTEST_GUILESS_MAIN(TestFitGeometry)
#include "tst_fitgeometry.moc"
