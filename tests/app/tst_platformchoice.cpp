#include "app/PlatformChoice.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

class TestPlatformChoice : public QObject
{
    Q_OBJECT

private slots:
    void choice_data();
    void choice();
    void reachable();
};

void TestPlatformChoice::choice_data()
{
    QTest::addColumn<QByteArray>("wayland");
    QTest::addColumn<QByteArray>("qpa");
    QTest::addColumn<bool>("xServer");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("Wayland with XWayland: X11") << QByteArray("wayland-0") << QByteArray() << true
                                                << QByteArray("xcb;wayland");
    QTest::newRow("Wayland alone: native") << QByteArray("wayland-0") << QByteArray() << false
                                           << QByteArray("wayland;xcb");
    QTest::newRow("user's choice kept") << QByteArray("wayland-0") << QByteArray("wayland") << true << QByteArray();
    QTest::newRow("X session: Qt's own") << QByteArray() << QByteArray() << true << QByteArray();
}

void TestPlatformChoice::choice()
{
    QFETCH(QByteArray, wayland);
    QFETCH(QByteArray, qpa);
    QFETCH(bool, xServer);
    QFETCH(QByteArray, expected);
    QCOMPARE(app::ChoosePlatform({wayland, qpa, xServer}), expected);
}

void TestPlatformChoice::reachable()
{
    // A listening socket where a local X server keeps its own.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray socketDir = QFile::encodeName(dir.path());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray path = socketDir + "/X7";
    QVERIFY(size_t(path.size()) < sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    QVERIFY(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0);
    QVERIFY(::listen(fd, 4) == 0);

    for (const char *display : {":7", ":7.0", "unix:7", "remote.example:0"})
        QVERIFY2(app::XServerReachable(display, socketDir), display);
    for (const char *display : {":8", "", "7", ":x", ":"})
        QVERIFY2(!app::XServerReachable(display, socketDir), display);
    ::close(fd);
    QVERIFY(!app::XServerReachable(":7", socketDir)); // the server has gone
}

QTEST_GUILESS_MAIN(TestPlatformChoice)
#include "tst_platformchoice.moc"
