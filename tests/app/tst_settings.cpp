#include "app/Settings.h"
#include "app/SettingsRules.h"

#include "TestUtil.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace settings;

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void leadingNumber_data();
    void leadingNumber();
    void roundHalfEven_data();
    void roundHalfEven();
    void timeDelay_data();
    void timeDelay();
    void windowPosition_data();
    void windowPosition();
    void windowPositionRoundTrip();
    void includeSubDirs_data();
    void includeSubDirs();
    void storeUsesTheConfigFile();
    void handEditedListIsJoined();
    void brokenStoresGiveDefaults_data();
    void brokenStoresGiveDefaults();
    void unwritableStoreIsHarmless();

private:
    void useStoreFolder(const QString &folder);
    QTemporaryDir m_config;
};

void TestSettings::initTestCase()
{
    // Before the first use of the store: it reads XDG_CONFIG_HOME once.
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
}

void TestSettings::useStoreFolder(const QString &folder)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
}

void TestSettings::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    const std::pair<const char *, double> rows[] = {
        {"", 0},         {"abc", 0},         {"12", 12},       {"  12", 12},     {"\t 7", 7},
        {"-3", -3},      {"+4", 4},          {"7.5", 7.5},     {"2.5", 2.5},     {"1,2", 1},
        {"12abc", 12},   {".5", 0.5},        {"-.5", -0.5},    {"1e5", 1},       {"--3", 0},
        {"3.7.1", 3.7},  {"- 3", 0},         {"5.", 5},        {".", 0},         {"x5", 0},
        {"0.000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "000000000000000000000000000000000000000000000000000000000000000000000000000000000000000001",
         0},
    };
    for (const auto &[text, value] : rows)
        QTest::newRow(QByteArray("'").append(text).append("'").left(30).constData()) << QString::fromLatin1(text) << value;
    QTest::newRow("400 digits") << QString(400, u'9') << std::numeric_limits<double>::max();
}

void TestSettings::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(LeadingNumber(text), value);
}

void TestSettings::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("rounded");
    for (auto [v, r] : {std::pair{2.5, 2.0}, {3.5, 4.0}, {-2.5, -2.0}, {-3.5, -4.0}, {0.5, 0.0}, {1.5, 2.0},
                        {7.5, 8.0}, {2.4999, 2.0}, {2.5001, 3.0}, {-0.4, -0.0}, {1e300, 1e300}})
        QTest::newRow(qPrintable(QString::number(v))) << v << r;
}

void TestSettings::roundHalfEven()
{
    QFETCH(double, value);
    QFETCH(double, rounded);
    QCOMPARE(RoundHalfEven(value), rounded);
}

void TestSettings::timeDelay_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("delay");
    const std::pair<const char *, int> rows[] = {
        {"5", 5},   {"1", 2},     {"-3", 2},    {"11", 10},  {"0", 0},     {"abc", 0},  {"7.5", 8},
        {"2.5", 2}, {"25", 10},   {"0.4", 0},   {"1.5", 2},  {"10.5", 10}, {"", 0},     {"99999999999999999999", 10},
        {"-99999999999", 2},     {"32768", 10}, {"-32769", 2}, {" 4 seconds", 4},
    };
    for (const auto &[text, delay] : rows)
        QTest::newRow(text[0] ? text : "(empty)") << QString::fromLatin1(text) << delay;
}

void TestSettings::timeDelay()
{
    QFETCH(QString, text);
    QFETCH(int, delay);
    const int16_t d = ReadTimeDelay(text);
    QCOMPARE(int(d), delay);
    QCOMPARE(WriteTimeDelay(d), QString::number(delay));
}

void TestSettings::windowPosition_data()
{
    // A 640 x 480 pixel screen at 15 twips per pixel.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("placement");
    QTest::newRow("absent") << "" << QList<int>{5760, 4800, 3840, 2400};
    QTest::newRow("one number, no comma") << "100" << QList<int>{100, 100, 100, 100};
    QTest::newRow("negative left") << "-300,200,5000,4000" << QList<int>{0, 200, 5000, 4000};
    QTest::newRow("left beyond screen") << "10000,0,5000,100" << QList<int>{5760, 0, 3840, 100};
    QTest::newRow("top beyond screen") << "0,7201,100,100" << QList<int>{0, 4800, 100, 100};
    QTest::newRow("width cut at right edge") << "6000,0,5000,100" << QList<int>{6000, 0, 3600, 100};
    QTest::newRow("height cut at bottom") << "0,6000,100,5000" << QList<int>{0, 6000, 100, 1200};
    QTest::newRow("negative size") << "10,10,-5,-5" << QList<int>{10, 10, 0, 0};
    QTest::newRow("garbage") << "abc" << QList<int>{0, 0, 0, 0};
    QTest::newRow("extra fields ignored") << "1,2,3,4,5" << QList<int>{1, 2, 3, 4};
    QTest::newRow("blanks and halves") << " 2.5, 3.5 ,10,10" << QList<int>{2, 4, 10, 10};
    QTest::newRow("two fields") << "100,200" << QList<int>{100, 200, 200, 200};
    QTest::newRow("huge numbers") << "99999999999999,99999999999999,99999999999999,99999999999999"
                                  << QList<int>{5760, 4800, 3840, 2400};
    QTest::newRow("huge negative") << "-99999999999999,-99999999999999,1,1" << QList<int>{0, 0, 1, 1};
    QTest::newRow("as written") << "6912,2400,2688,4800" << QList<int>{6912, 2400, 2688, 4800};
}

void TestSettings::windowPosition()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, placement);
    const WindowPlacement p = ReadWindowPosition(text, 9600, 7200);
    QCOMPARE((QList<int>{p.left, p.top, p.width, p.height}), placement);
}

void TestSettings::windowPositionRoundTrip()
{
    const WindowPlacement p{-15, 30, 4608, 3600};
    QCOMPARE(WriteWindowPosition(p), QStringLiteral("-15,30,4608,3600"));
    QCOMPARE(ReadWindowPosition(WriteWindowPosition({6912, 7200 - 3600, 4608, 3600}), 15360, 11520),
             (WindowPlacement{6912, 3600, 4608, 3600}));
}

void TestSettings::includeSubDirs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("checked");
    for (auto [t, c] : {std::pair{"1", true}, {"0", false}, {"2", false}, {"abc", false}, {"", false},
                        {"1.0", true}, {" 1", true}, {"01", true}, {"-1", false}, {"1,0", true}})
        QTest::newRow(t[0] ? t : "(empty)") << QString::fromLatin1(t) << c;
}

void TestSettings::includeSubDirs()
{
    QFETCH(QString, text);
    QFETCH(bool, checked);
    QCOMPARE(ReadIncludeSubDirs(text), checked);
    QCOMPARE(ReadIncludeSubDirs(WriteIncludeSubDirs(checked)), checked);
}

void TestSettings::storeUsesTheConfigFile()
{
    QCOMPARE(Get(kTimeDelay, QStringLiteral("5")), QStringLiteral("5")); // first run: the default
    Save(kWindowPosition, QStringLiteral("6912,7200,4608,3600"));
    Save(kPathName, QStringLiteral("/pictures/with space, comma/"));
    QCOMPARE(Get(kWindowPosition, QString()), QStringLiteral("6912,7200,4608,3600"));
    QCOMPARE(Get(kPathName, QString()), QStringLiteral("/pictures/with space, comma/"));

    QFile file(m_config.path() + "/Quorvel/Quorvel.conf");
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QByteArray content = file.readAll();
    QVERIFY(content.startsWith("[Settings]"));
    QVERIFY(content.contains("WindowPosition="));
}

void TestSettings::handEditedListIsJoined()
{
    QTemporaryDir dir;
    useStoreFolder(dir.path());
    QVERIFY(testutil::writeFile(dir.path() + "/Quorvel/Quorvel.conf",
                                "[Settings]\nWindowPosition=1,2,3,4\nTimeDelay=7\n"));
    QCOMPARE(Get(kWindowPosition, QString()), QStringLiteral("1,2,3,4"));
    QCOMPARE(Get(kTimeDelay, QStringLiteral("5")), QStringLiteral("7"));
    useStoreFolder(m_config.path());
}

void TestSettings::brokenStoresGiveDefaults_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: the settings file is a folder
    QTest::newRow("file is a folder") << QByteArray();
    QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe[[[=\n\x01\x02", 11);
    QTest::newRow("no section") << QByteArray("TimeDelay=9\n");
    QTest::newRow("unterminated quote") << QByteArray("[Settings]\nTimeDelay=\"9\n");
}

void TestSettings::brokenStoresGiveDefaults()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    useStoreFolder(dir.path());
    const QString path = dir.path() + "/Quorvel/Quorvel.conf";
    if (content.isEmpty())
        QVERIFY(QDir().mkpath(path));
    else
        QVERIFY(testutil::writeFile(path, content));
    const QString delay = Get(kTimeDelay, QStringLiteral("5"));
    const int16_t d = ReadTimeDelay(delay);
    QVERIFY2(d == 5 || d == 9, qPrintable(delay)); // garbage never stops the program
    QCOMPARE(Get(kPathName, QStringLiteral("/default/")), QStringLiteral("/default/"));
    Save(kTimeDelay, QStringLiteral("3")); // must not crash, whatever becomes of it
    useStoreFolder(m_config.path());
}

void TestSettings::unwritableStoreIsHarmless()
{
    // The folder for the store is an ordinary file: nothing can be written below it.
    QTemporaryDir dir;
    QVERIFY(testutil::writeFile(dir.path() + "/blocker", "not a folder"));
    useStoreFolder(dir.path() + "/blocker");
    Save(kTimeDelay, QStringLiteral("4"));
    QCOMPARE(QFileInfo(dir.path() + "/blocker").isFile(), true);
    QCOMPARE(Get(kPathName, QStringLiteral("/d/")), QStringLiteral("/d/"));
    useStoreFolder(m_config.path());
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
