#include "browser/BrowserLayout.h"

#include <QTest>

using namespace browser;

class TestBrowserLayout : public QObject
{
    Q_OBJECT

private slots:
    void columns_data();
    void columns();
    void layout_data();
    void layout();
};

void TestBrowserLayout::columns_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<int>("columns");
    for (auto [w, n] : {std::pair{3600.0, 2}, {2700.0, 2}, {4500.0, 2}, {2699.0, 1}, {900.0, 1}, {0.0, 1},
                        {-500.0, 1}, {5400.0, 3}, {6300.0, 4}, {1e12, 32767}})
        QTest::newRow(qPrintable(QString::number(w))) << w << n;
}

void TestBrowserLayout::columns()
{
    QFETCH(double, width);
    QFETCH(int, columns);
    QCOMPARE(int(ColumnCount(width)), columns);
}

void TestBrowserLayout::layout_data()
{
    QTest::addColumn<double>("scaleWidth");
    QTest::addColumn<double>("scaleHeight");
    QTest::addColumn<bool>("folderMoved");
    QTest::addColumn<bool>("listMoved");
    QTest::addColumn<QList<double>>("folder");
    QTest::addColumn<QList<double>>("list");
    QTest::addColumn<double>("lineX");
    QTest::addColumn<int>("columns");
    // The drive list is 2292 x 288 twips at 15 twips per pixel; the file list was 1512 wide.
    QTest::newRow("design size") << 5844.0 << 4860.0 << true << true << QList<double>{0, 288, 2292, 4572}
                                 << QList<double>{2367, 0, 3477, 4860} << 2322.0 << 2;
    QTest::newRow("wide") << 15000.0 << 9000.0 << true << true << QList<double>{0, 288, 2292, 8712}
                          << QList<double>{2367, 0, 12633, 9000} << 2322.0 << 7;
    QTest::newRow("lower than the drive list") << 5844.0 << 100.0 << false << true << QList<double>{}
                                               << QList<double>{2367, 0, 3477, 100} << 2322.0 << 2;
    QTest::newRow("narrower than the left column") << 2000.0 << 3000.0 << true << false
                                                   << QList<double>{0, 288, 2292, 2712} << QList<double>{} << 2322.0 << 1;
    QTest::newRow("minimised") << 0.0 << 0.0 << false << false << QList<double>{} << QList<double>{} << 2322.0 << 1;
}

void TestBrowserLayout::layout()
{
    QFETCH(double, scaleWidth);
    QFETCH(double, scaleHeight);
    QFETCH(bool, folderMoved);
    QFETCH(bool, listMoved);
    QFETCH(QList<double>, folder);
    QFETCH(QList<double>, list);
    QFETCH(double, lineX);
    QFETCH(int, columns);
    LayoutInput in;
    in.scaleWidth = scaleWidth;
    in.scaleHeight = scaleHeight;
    in.drive = {0, 0, 2292, 288};
    in.listWidth = 1512;
    in.tppx = 15;
    const Layout l = ComputeLayout(in);
    QCOMPARE(l.drive, (TwipRect{0, 0, 2292, 288}));
    QCOMPARE(l.folderMoved, folderMoved);
    QCOMPARE(l.listMoved, listMoved);
    if (folderMoved)
        QCOMPARE(l.folder, (TwipRect{folder[0], folder[1], folder[2], folder[3]}));
    if (listMoved)
        QCOMPARE(l.list, (TwipRect{list[0], list[1], list[2], list[3]}));
    QCOMPARE(l.lineX1, lineX);
    QCOMPARE(l.lineX2, lineX);
    QCOMPARE(l.lineY1, 0.0);
    QCOMPARE(l.lineY2, scaleHeight);
    QCOMPARE(int(l.columns), columns); // a refused list move keeps the old width's count
}

QTEST_GUILESS_MAIN(TestBrowserLayout)
#include "tst_browserlayout.moc"
