// The frame asked of the window manager before a window is first shown, on a real X server of the
// test's own (Xvfb): window managers that are gone, that never answer, and a real one (openbox).
// The window thread waits for an answer only where a live window manager may give one, and only
// once for one that does not.

#include "platform/FrameExtents.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Far below the 300 ms a window manager is given to answer, far above a few round trips.
constexpr qint64 kNoWaitMs = 50;

// Starts `args` in a process group of its own with stdout and stderr gone; `keepFd` stays open
// in the child.
pid_t spawn(const std::vector<const char *> &args, int keepFd = -1)
{
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 1);
        dup2(null, 2);
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != keepFd)
                close(fd);
        std::vector<char *> argv;
        for (const char *a : args)
            argv.push_back(const_cast<char *>(a));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

void stop(pid_t &pid, int sig = SIGTERM)
{
    if (pid <= 0)
        return;
    kill(pid, sig);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

// An Xvfb that picks a free display itself (parallel runs never race for one): its display name.
std::optional<QByteArray> startXvfb(pid_t &pid)
{
    int p[2];
    if (pipe(p) != 0)
        return std::nullopt;
    const QByteArray fd = QByteArray::number(p[1]);
    pid = spawn({"Xvfb", "-displayfd", fd.constData(), "-screen", "0", "800x600x24", "-nolisten", "tcp", "-noreset"},
                p[1]);
    close(p[1]);
    QByteArray number;
    pollfd r{p[0], POLLIN, 0};
    char ch = 0;
    while (!number.endsWith('\n') && poll(&r, 1, 20000) == 1 && read(p[0], &ch, 1) == 1)
        number += ch;
    close(p[0]);
    if (!number.endsWith('\n'))
        return std::nullopt;
    return ":" + number.trimmed();
}

// A client of the test's own on the X server: it plays the window manager's part in the root
// window's properties, and reads them back.
class XClient
{
public:
    XClient() : m_c(xcb_connect(nullptr, nullptr))
    {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
    }
    ~XClient() { xcb_disconnect(m_c); }
    XClient(const XClient &) = delete;
    XClient &operator=(const XClient &) = delete;

    bool ok() const { return !xcb_connection_has_error(m_c); }
    xcb_window_t root() const { return m_root; }

    xcb_atom_t atom(const char *name)
    {
        xcb_intern_atom_reply_t *r =
            xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
        return a;
    }

    xcb_window_t newWindow()
    {
        const xcb_window_t w = xcb_generate_id(m_c);
        // Input and output: openbox gives no frame to an input-only window.
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, w, m_root, -100, -100, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        return w;
    }

    void setWindow(xcb_window_t on, const char *name, xcb_window_t value)
    {
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, on, atom(name), XCB_ATOM_WINDOW, 32, 1, &value);
    }

    // What a window manager that says it answers frame requests publishes on the root window.
    void publishSupport()
    {
        const std::vector<xcb_atom_t> list = {atom("_NET_SUPPORTED"), atom("_NET_SUPPORTING_WM_CHECK"),
                                              atom("_NET_REQUEST_FRAME_EXTENTS"), atom("_NET_FRAME_EXTENTS")};
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_root, atom("_NET_SUPPORTED"), XCB_ATOM_ATOM, 32,
                            uint32_t(list.size()), list.data());
    }

    // A check window as a live window manager keeps it: named on the root, naming itself.
    xcb_window_t publishCheckWindow()
    {
        const xcb_window_t w = newWindow();
        setWindow(w, "_NET_SUPPORTING_WM_CHECK", w);
        setWindow(m_root, "_NET_SUPPORTING_WM_CHECK", w);
        return w;
    }

    void clearRoot()
    {
        xcb_delete_property(m_c, m_root, atom("_NET_SUPPORTED"));
        xcb_delete_property(m_c, m_root, atom("_NET_SUPPORTING_WM_CHECK"));
    }

    // The window the root's check property names, if that window names itself (a live manager).
    xcb_window_t liveCheckWindow()
    {
        const xcb_atom_t check = atom("_NET_SUPPORTING_WM_CHECK");
        const xcb_window_t w = windowProperty(m_root, check);
        return w != XCB_WINDOW_NONE && windowProperty(w, check) == w ? w : xcb_window_t(XCB_WINDOW_NONE);
    }

    // Whether a window manager answers a frame request, within `ms`: it is then past its start-up.
    // Asked again and again: a request sent before it listens on the root window is lost.
    bool answersFrameRequest(int ms)
    {
        const xcb_window_t w = newWindow();
        xcb_client_message_event_t e{};
        e.response_type = XCB_CLIENT_MESSAGE;
        e.window = w;
        e.type = atom("_NET_REQUEST_FRAME_EXTENTS");
        e.format = 32;
        const xcb_atom_t extents = atom("_NET_FRAME_EXTENTS");
        QElapsedTimer t;
        t.start();
        bool answered = false;
        while (!answered && t.elapsed() < ms) {
            xcb_send_event(m_c, 0, m_root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                           reinterpret_cast<const char *>(&e));
            QTest::qWait(20);
            xcb_get_property_reply_t *r =
                xcb_get_property_reply(m_c, xcb_get_property(m_c, 0, w, extents, XCB_ATOM_CARDINAL, 0, 4), nullptr);
            answered = r && xcb_get_property_value_length(r) == 16;
            std::free(r);
        }
        xcb_destroy_window(m_c, w);
        return answered;
    }

    // Every request so far has been handled by the server.
    void sync() { std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr)); }

private:
    xcb_window_t windowProperty(xcb_window_t on, xcb_atom_t name)
    {
        xcb_generic_error_t *e = nullptr;
        xcb_get_property_reply_t *r =
            xcb_get_property_reply(m_c, xcb_get_property(m_c, 0, on, name, XCB_ATOM_WINDOW, 0, 1), &e);
        xcb_window_t out = XCB_WINDOW_NONE;
        if (r && r->format == 32 && xcb_get_property_value_length(r) == 4)
            out = *static_cast<const xcb_window_t *>(xcb_get_property_value(r));
        std::free(r);
        std::free(e);
        return out;
    }

    xcb_connection_t *m_c;
    xcb_window_t m_root = XCB_WINDOW_NONE;
};

struct Asked
{
    QMargins margins;
    qint64 ms = 0;
};

// The frame of a new, never shown window, and how long the asking took (the native window is made
// before the clock starts).
Asked askNewWindow()
{
    QWidget w;
    w.resize(200, 100);
    (void)w.winId();
    QElapsedTimer t;
    t.start();
    Asked out;
    out.margins = platform::FrameMargins(w);
    out.ms = t.elapsed();
    return out;
}

} // namespace

class TestFrameExtents : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<XClient> m_admin; // reads and clears the root window's properties
    std::unique_ptr<XClient> m_wm;    // the window manager the test plays; gone when reset
    pid_t m_openbox = -1;

    bool startOpenbox()
    {
        m_openbox = spawn({"openbox", "--sm-disable"});
        QElapsedTimer t;
        t.start();
        while (m_admin->liveCheckWindow() == XCB_WINDOW_NONE) {
            if (t.elapsed() > 10000)
                return false;
            QTest::qWait(20);
        }
        // Its marks come before it reads its requests: the program's windows are asked once it does.
        return m_admin->answersFrameRequest(10000);
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        m_admin = std::make_unique<XClient>();
        QVERIFY(m_admin->ok());
    }

    void init()
    {
        m_wm.reset();
        stop(m_openbox);
        m_admin->clearRoot();
        m_admin->sync();
        m_wm = std::make_unique<XClient>();
        QVERIFY(m_wm->ok());
    }

    void cleanupTestCase()
    {
        m_wm.reset();
        stop(m_openbox);
    }

    // No window manager stands behind what the root window says: the request is not waited for.
    void staleSupportIsNotWaitedFor_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("check window gone (manager crashed)") << 0;
        QTest::newRow("no check window named") << 1;
        QTest::newRow("check window names another window") << 3;
    }
    void staleSupportIsNotWaitedFor()
    {
        QFETCH(int, kind);
        m_wm->publishSupport();
        if (kind == 0) {
            m_wm->publishCheckWindow();
            m_wm->sync();
            m_wm.reset(); // its windows go with its connection, the root's marks stay
            QTRY_VERIFY(m_admin->liveCheckWindow() == XCB_WINDOW_NONE);
            m_wm = std::make_unique<XClient>();
        } else if (kind == 3) {
            const xcb_window_t other = m_wm->newWindow(), check = m_wm->newWindow();
            m_wm->setWindow(check, "_NET_SUPPORTING_WM_CHECK", other);
            m_wm->setWindow(other, "_NET_SUPPORTING_WM_CHECK", other);
            m_wm->setWindow(m_wm->root(), "_NET_SUPPORTING_WM_CHECK", check);
        }
        m_wm->sync();
        for (int i = 0; i < 2; ++i) {
            const Asked a = askNewWindow();
            QCOMPARE(a.margins, QMargins());
            QVERIFY2(a.ms < kNoWaitMs, qPrintable(QString("call %1 took %2 ms").arg(i + 1).arg(a.ms)));
        }
    }

    // A live window manager that lists the request but never answers it is waited for once; then,
    // under a new window manager (a new check window), the frame is asked again and comes.
    void silentManagerIsWaitedForOnce()
    {
        m_wm->publishSupport();
        m_wm->publishCheckWindow();
        m_wm->sync();
        const Asked first = askNewWindow();
        QCOMPARE(first.margins, QMargins());
        QVERIFY2(first.ms < 1000, qPrintable(QString("the first call took %1 ms").arg(first.ms)));
        for (int i = 0; i < 2; ++i) {
            const Asked later = askNewWindow();
            QCOMPARE(later.margins, QMargins());
            QVERIFY2(later.ms < kNoWaitMs, qPrintable(QString("call %1 took %2 ms").arg(i + 2).arg(later.ms)));
        }

        // openbox takes the screen over while the silent one's check window still exists, so
        // the two cannot share a window id.
        QVERIFY2(startOpenbox(), "openbox managing the screen");
        for (int i = 0; i < 2; ++i) {
            const QMargins m = askNewWindow().margins;
            QVERIFY2(m.top() > 0 && m.left() >= 0 && m.right() >= 0 && m.bottom() >= 0,
                     qPrintable(QString("call %1: %2 %3 %4 %5").arg(i + 1).arg(m.left()).arg(m.top()).arg(m.right())
                                    .arg(m.bottom())));
        }
    }
};

// The test's own X server, started before the application connects to it.
int main(int argc, char **argv)
{
    pid_t xvfb = -1;
    const std::optional<QByteArray> display = startXvfb(xvfb);
    if (!display) {
        std::fprintf(stderr, "Xvfb did not start (tools/install-deps.sh installs it)\n");
        stop(xvfb, SIGKILL);
        return 1;
    }
    setenv("DISPLAY", display->constData(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    unsetenv("WAYLAND_DISPLAY");
    int rc = 0;
    {
        QApplication app(argc, argv);
        TestFrameExtents t;
        rc = QTest::qExec(&t, argc, argv);
    }
    stop(xvfb);
    return rc;
}

#include "tst_frameextents.moc"
