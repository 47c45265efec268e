#include "app/Settings.h"
#include "app/SettingsRules.h"
#include "base/FileSys.h"

#include "TestUtil.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

using namespace app;
using namespace base;

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void leadingNumber_data();
    void leadingNumber();
    void roundHalfEven();
    void timeDelay_data();
    void timeDelay();
    void windowPosition_data();
    void windowPosition();
    void includeSubDirs_data();
    void includeSubDirs();
    void storeUsesTheConfigFile();
    void brokenStoresGiveDefaults_data();
    void brokenStoresGiveDefaults();
    void killedWriterLeavesAWholeFile();

private:
    static void useStoreFolder(const QString &f) { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, f); }
    QTemporaryDir m_config;
};

void TestSettings::initTestCase()
{
    // Before the first use of the store: it reads XDG_CONFIG_HOME once.
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
}

void TestSettings::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    const std::pair<const char *, double> rows[] = {
        {"abc", 0}, {"\t 7", 7},   {"-3", -3},     {"+4", 4}, {"12abc", 12}, {"-.5", -0.5},
        {"1e5", 1}, {"--3", 0},    {"3.7.1", 3.7}, {"- 3", 0}, {"1,2", 1},
    };
    for (const auto &[text, value] : rows)
        QTest::newRow(text) << QString::fromLatin1(text) << value;
    QTest::newRow("400 digits") << QString(400, u'9') << std::numeric_limits<double>::max();
    QTest::newRow("tiny") << "0." + QString(400, u'0') + "1" << 0.0;
}

void TestSettings::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(LeadingNumber(text), value);
}

void TestSettings::roundHalfEven()
{
    for (auto [v, r] : {std::pair{2.5, 2.0}, {3.5, 4.0}, {-2.5, -2.0}, {0.5, 0.0}, {2.5001, 3.0}, {1e300, 1e300}})
        QCOMPARE(RoundHalfEven(v), r);
}

void TestSettings::timeDelay_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("delay");
    const std::pair<const char *, int> rows[] = {
        {"5", 5}, {"1", 2},   {"-3", 2},  {"11", 10}, {"0", 0}, {"abc", 0}, {"7.5", 8},
        {"2.5", 2}, {"99999999999999999999", 10}, {"-99999999999", 2}, {" 4 seconds", 4},
    };
    for (const auto &[text, delay] : rows)
        QTest::newRow(text) << QString::fromLatin1(text) << delay;
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
    // No width or no height: the window could not be seen, so it opens where a first run does.
    QTest::newRow("negative size") << "10,10,-5,-5" << QList<int>{5760, 4800, 3840, 2400};
    QTest::newRow("zero width") << "10,10,0,500" << QList<int>{5760, 4800, 3840, 2400};
    QTest::newRow("zero height") << "10,10,500,0" << QList<int>{5760, 4800, 3840, 2400};
    QTest::newRow("left at the right edge") << "9600,10,500,500" << QList<int>{5760, 4800, 3840, 2400};
    QTest::newRow("garbage") << "abc" << QList<int>{5760, 4800, 3840, 2400};
    QTest::newRow("smallest size kept") << "10,10,1,1" << QList<int>{10, 10, 1, 1};
    QTest::newRow("blanks and halves") << " 2.5, 3.5 ,10,10" << QList<int>{2, 4, 10, 10};
    QTest::newRow("huge numbers") << "99999999999999,99999999999999,99999999999999,99999999999999"
                                  << QList<int>{5760, 4800, 3840, 2400};
}

void TestSettings::windowPosition()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, placement);
    const WindowPlacement p = ReadWindowPosition(text, 9600, 7200);
    QCOMPARE((QList<int>{p.left, p.top, p.width, p.height}), placement);
    QCOMPARE(ReadWindowPosition(WriteWindowPosition(p), 9600, 7200), p); // what is written reads back
}

void TestSettings::includeSubDirs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("checked");
    for (auto [t, c] : {std::pair{"1", true}, {"0", false}, {"2", false}, {"abc", false}, {"1.0", true}, {"-1", false}})
        QTest::newRow(t) << QString::fromLatin1(t) << c;
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
    Save(kPathName, QStringLiteral("/pictures/with space, comma/"));
    QCOMPARE(Get(kPathName, QString()), QStringLiteral("/pictures/with space, comma/"));
    // The file a user may edit by hand: a list value is read back joined, as written.
    QVERIFY(testutil::writeFile(m_config.path() + "/Quorvel/Quorvel.conf",
                                "[Settings]\nWindowPosition=1,2,3,4\nTimeDelay=7\n"));
    QCOMPARE(Get(kWindowPosition, QString()), QStringLiteral("1,2,3,4"));
    QCOMPARE(Get(kTimeDelay, QStringLiteral("5")), QStringLiteral("7"));

    // A folder whose name is not UTF-8 keeps its bytes in the file and reads back as itself.
    const QString raw = base::DecodeName("/p/caf\xe9/", 8);
    Save(kPathName, raw);
    QFile file(m_config.path() + "/Quorvel/Quorvel.conf");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    file.close();
    QVERIFY2(written.contains("/p/caf\\xe9/") && !written.contains("\xef\xbf\xbd"), written.constData());
    QVERIFY(testutil::writeFile(file.fileName(), written + "IncludeSubDirs=1\n")); // read afresh
    QCOMPARE(base::EncodePath(Get(kPathName, QString())), QByteArray("/p/caf\xe9/"));
}

void TestSettings::brokenStoresGiveDefaults_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("file"); // what is in the way, below a fresh store folder
    QTest::newRow("file is a folder") << QByteArray() << "/Quorvel/Quorvel.conf";
    QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe[[[=\n\x01\x02", 11) << "/Quorvel/Quorvel.conf";
    QTest::newRow("store folder is a file") << QByteArray("not a folder") << "";
}

void TestSettings::brokenStoresGiveDefaults()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, file);
    QTemporaryDir dir;
    const QString path = dir.path() + "/store" + file;
    QVERIFY(content.isEmpty() ? QDir().mkpath(path) : testutil::writeFile(path, content));
    useStoreFolder(dir.path() + "/store");
    QCOMPARE(Get(kTimeDelay, QStringLiteral("5")), QStringLiteral("5")); // garbage never stops the program
    Save(kTimeDelay, QStringLiteral("3")); // must not crash, nor replace what is in the way
    QCOMPARE(QFileInfo(path).isDir(), content.isEmpty());
    QCOMPARE(Get(kPathName, QStringLiteral("/d/")), QStringLiteral("/d/"));
    useStoreFolder(m_config.path());
}

void TestSettings::killedWriterLeavesAWholeFile()
{
    QTemporaryDir dir;
    useStoreFolder(dir.path());
    const QString path = dir.path() + "/Quorvel/Quorvel.conf";
    QVERIFY(testutil::writeFile(path, "[Settings]\nPathName=/old/\n"));
    // Values long enough that a write takes a while; the writer is killed wherever it is.
    QStringList written{QStringLiteral("/old/")};
    for (int round = 0; round < 8; ++round) {
        const QString value = QStringLiteral("/%1/").arg(round) + QString(1 << 20, QLatin1Char('x'));
        written << value;
        const pid_t writer = fork();
        QVERIFY(writer >= 0);
        if (writer == 0) {
            for (;;)
                Save(kPathName, value);
        }
        QTest::qSleep(20 + 15 * round);
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        const bool whole = std::any_of(written.begin(), written.end(), [&](const QString &v) {
            return text == "[Settings]\nPathName=" + v.toLatin1() + "\n";
        });
        QVERIFY2(whole, qPrintable(QStringLiteral("round %1: %2 bytes").arg(round).arg(text.size())));
    }
    useStoreFolder(m_config.path());
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
