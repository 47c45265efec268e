#include "platform/FrameExtents.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPixmap>
#include <QVariant>
#include <QWidget>

#ifdef QUORVEL_HAVE_X11
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#endif

#ifdef QUORVEL_HAVE_XCB
#include <QElapsedTimer>
#include <QThread>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>
#endif

namespace platform {

namespace {

#ifdef QUORVEL_HAVE_XCB

// A window manager that has not framed the window within this time is not going to.
constexpr int kAnswerWaitMs = 300;

// Qt's own connection: no connection set-up on the way to the first picture. Only requests and
// replies go over it here; Qt's event reader is not disturbed.
xcb_connection_t *qtConnection()
{
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// The check window of a window manager that was asked for a frame and did not answer in time: it
// is not waited for again (a new window manager has a check window of its own, and is asked).
xcb_window_t silentManager = XCB_WINDOW_NONE;

// The reply to a property request, or none; an error (such as a window that is gone) comes back
// here rather than to Qt's event reader, which would report it.
xcb_get_property_reply_t *propertyReply(xcb_connection_t *c, xcb_get_property_cookie_t cookie)
{
    xcb_generic_error_t *e = nullptr;
    xcb_get_property_reply_t *r = xcb_get_property_reply(c, cookie, &e);
    std::free(e);
    return r;
}

// The four cardinals of _NET_FRAME_EXTENTS, from the reply to a property request.
std::optional<QMargins> extentsOf(xcb_connection_t *c, xcb_get_property_cookie_t cookie)
{
    std::optional<QMargins> out;
    xcb_get_property_reply_t *r = propertyReply(c, cookie);
    if (r && r->type == XCB_ATOM_CARDINAL && r->format == 32 && xcb_get_property_value_length(r) == 16) {
        const auto *v = static_cast<const uint32_t *>(xcb_get_property_value(r));
        out = QMargins(int(v[0]), int(v[2]), int(v[1]), int(v[3]));
    }
    std::free(r);
    return out;
}

// The one window a _NET_SUPPORTING_WM_CHECK property names, or none.
xcb_window_t checkWindowOf(xcb_connection_t *c, xcb_get_property_cookie_t cookie)
{
    xcb_window_t out = XCB_WINDOW_NONE;
    xcb_get_property_reply_t *r = propertyReply(c, cookie);
    if (r && r->type == XCB_ATOM_WINDOW && r->format == 32 && xcb_get_property_value_length(r) == 4)
        out = *static_cast<const xcb_window_t *>(xcb_get_property_value(r));
    std::free(r);
    return out;
}

xcb_get_property_cookie_t askExtents(xcb_connection_t *c, xcb_window_t win, xcb_atom_t extents)
{
    return xcb_get_property(c, 0, win, extents, XCB_ATOM_CARDINAL, 0, 4);
}

xcb_get_property_cookie_t askCheckWindow(xcb_connection_t *c, xcb_window_t win, xcb_atom_t check)
{
    return xcb_get_property(c, 0, win, check, XCB_ATOM_WINDOW, 0, 1);
}

// A window of the program's own, never shown, whose frame was asked of the window manager before
// Qt was up: the frame a normal window gets, known by the time the first window asks (the window
// manager answers while Qt starts). Used once, then closed with its connection.
struct FrameProbe
{
    xcb_connection_t *c = nullptr;
    xcb_window_t window = XCB_WINDOW_NONE;
    xcb_atom_t extents = XCB_ATOM_NONE;
};

FrameProbe &frameProbe()
{
    static FrameProbe probe;
    return probe;
}

std::optional<QMargins> takeProbeAnswer()
{
    FrameProbe &p = frameProbe();
    if (!p.c)
        return std::nullopt;
    std::optional<QMargins> out = extentsOf(p.c, askExtents(p.c, p.window, p.extents));
    xcb_disconnect(p.c); // the probe window goes with it
    p = FrameProbe();
    return out;
}

// Every request goes out before any reply is waited for: a round trip to the X server is the
// cost here, and there are two before the window manager is asked. What the root window says a
// window manager supports stays there after it crashes or is replaced; only a check window that
// exists and names itself shows a live one. That check goes out with the request and the first
// look for the answer, so it costs no round trip of its own.
std::optional<QMargins> askTheWindowManager(xcb_window_t win, bool mapped, bool normal)
{
    xcb_connection_t *c = qtConnection();
    if (!c || xcb_connection_has_error(c))
        return std::nullopt;
    const std::array<const char *, 4> names = {"_NET_FRAME_EXTENTS", "_NET_REQUEST_FRAME_EXTENTS", "_NET_SUPPORTED",
                                               "_NET_SUPPORTING_WM_CHECK"};
    std::array<xcb_intern_atom_cookie_t, 4> interned{};
    for (size_t i = 0; i < names.size(); ++i)
        interned[i] = xcb_intern_atom(c, 0, uint16_t(std::strlen(names[i])), names[i]);
    std::array<xcb_atom_t, 4> atoms{};
    for (size_t i = 0; i < names.size(); ++i) {
        xcb_intern_atom_reply_t *r = xcb_intern_atom_reply(c, interned[i], nullptr);
        atoms[i] = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
    }
    const xcb_atom_t extents = atoms[0], request = atoms[1], supported = atoms[2], check = atoms[3];
    if (extents == XCB_ATOM_NONE)
        return std::nullopt;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_get_property_cookie_t already = askExtents(c, win, extents);
    const xcb_get_property_cookie_t list = xcb_get_property(c, 0, root, supported, XCB_ATOM_ATOM, 0, 4096);
    const xcb_get_property_cookie_t rootCheck = askCheckWindow(c, root, check);
    std::optional<QMargins> out = extentsOf(c, already);
    bool listed = false;
    if (xcb_get_property_reply_t *r = propertyReply(c, list)) {
        if (r->type == XCB_ATOM_ATOM && r->format == 32) {
            const auto *v = static_cast<const xcb_atom_t *>(xcb_get_property_value(r));
            const int n = xcb_get_property_value_length(r) / int(sizeof(xcb_atom_t));
            listed = request != XCB_ATOM_NONE && std::find(v, v + n, request) != v + n;
        }
        std::free(r);
    }
    const xcb_window_t manager = checkWindowOf(c, rootCheck);
    if (out || mapped || !listed || manager == XCB_WINDOW_NONE)
        return out;
    xcb_client_message_event_t e{};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.window = win;
    e.type = request;
    e.format = 32;
    // Sent also to one that did not answer before: should it answer late, a later call for this
    // window finds the frame without waiting.
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&e));
    if (manager == silentManager) {
        xcb_flush(c);
        return out;
    }
    QElapsedTimer waited;
    waited.start();
    const xcb_get_property_cookie_t alive = askCheckWindow(c, manager, check);
    const xcb_get_property_cookie_t first = askExtents(c, win, extents);
    if (checkWindowOf(c, alive) != manager) { // gone, or not a window manager's
        xcb_discard_reply(c, first.sequence);
        return out;
    }
    out = extentsOf(c, first);
    // An ordinary window is framed as the probe was: no need to wait for this one's answer.
    if (!out && normal)
        out = takeProbeAnswer();
    // A window manager answers within a millisecond or so: look often.
    while (!out && waited.elapsed() < kAnswerWaitMs) {
        QThread::usleep(200);
        out = extentsOf(c, askExtents(c, win, extents));
    }
    if (!out)
        silentManager = manager;
    return out;
}

#endif

class EmptyIconEngine : public QIconEngine
{
public:
    void paint(QPainter *, const QRect &, QIcon::Mode, QIcon::State) override {}
    QPixmap pixmap(const QSize &, QIcon::Mode, QIcon::State) override { return QPixmap(); }
    QPixmap scaledPixmap(const QSize &, QIcon::Mode, QIcon::State, qreal) override { return QPixmap(); }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {}; }
    QIconEngine *clone() const override { return new EmptyIconEngine; }
    bool isNull() override { return false; } // a null icon would be replaced by the program's
};

const char *const kFrameProperty = "quorvelFrameMargins";

} // namespace

QMargins FrameMargins(QWidget &w)
{
    if (w.windowFlags() & Qt::FramelessWindowHint)
        return QMargins();
    const QRect outer = w.frameGeometry(), client = w.geometry();
    if (outer != client)
        return QMargins(client.left() - outer.left(), client.top() - outer.top(), outer.right() - client.right(),
                        outer.bottom() - client.bottom());
    // Asked once per native window: a frame once given does not change.
    const QVariant known = w.property(kFrameProperty);
    if (known.isValid() && known.toList().value(0).toULongLong() == quint64(w.winId())) {
        const QVariantList v = known.toList();
        return QMargins(v.value(1).toInt(), v.value(2).toInt(), v.value(3).toInt(), v.value(4).toInt());
    }
    QMargins m;
#ifdef QUORVEL_HAVE_XCB
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        const WId id = w.winId();
        if (std::optional<QMargins> asked = askTheWindowManager(xcb_window_t(id), w.isVisible(), w.windowType() == Qt::Window)) {
            m = *asked;
            w.setProperty(kFrameProperty, QVariantList{quint64(id), m.left(), m.top(), m.right(), m.bottom()});
        }
    }
#endif
    return m;
}

void AskFrameBeforeQt(void *connection)
{
#ifdef QUORVEL_HAVE_XCB
    auto *c = static_cast<xcb_connection_t *>(connection);
    FrameProbe &p = frameProbe();
    if (p.c || !c || xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return;
    }
    const char *const names[] = {"_NET_FRAME_EXTENTS", "_NET_REQUEST_FRAME_EXTENTS"};
    const xcb_intern_atom_cookie_t asked[] = {xcb_intern_atom(c, 0, uint16_t(std::strlen(names[0])), names[0]),
                                              xcb_intern_atom(c, 0, uint16_t(std::strlen(names[1])), names[1])};
    xcb_atom_t atoms[2] = {XCB_ATOM_NONE, XCB_ATOM_NONE};
    for (int i = 0; i < 2; ++i) {
        xcb_intern_atom_reply_t *r = xcb_intern_atom_reply(c, asked[i], nullptr);
        atoms[i] = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_client_message_event_t e{};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.window = window;
    e.type = atoms[1];
    e.format = 32;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&e));
    xcb_flush(c);
    p = {c, window, atoms[0]};
#else
    Q_UNUSED(connection);
#endif
}

QRect OuterGeometry(QWidget &w)
{
    const QRect outer = w.frameGeometry();
    if (outer != w.geometry())
        return outer; // framed, and Qt knows the frame
    const QMargins m = FrameMargins(w);
    if (w.isVisible()) // on screen, the frame not known to Qt yet: the position is the client's
        return outer.marginsAdded(m);
    // Not shown yet: a move puts the frame's corner where the window was asked to go.
    return QRect(outer.topLeft(), QSize(outer.width() + m.left() + m.right(), outer.height() + m.top() + m.bottom()));
}

void SetTransientFor(QWidget &w, QWidget &owner)
{
#ifdef QUORVEL_HAVE_X11
    // On Qt's own connection, so that it comes after Qt's requests for the window (Qt clears the
    // mark of an ordinary window when it maps it).
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display *d = x11 ? x11->display() : nullptr;
    if (!d)
        return;
    XSetTransientForHint(d, Window(w.winId()), Window(owner.window()->winId()));
    XFlush(d);
#else
    Q_UNUSED(w);
    Q_UNUSED(owner);
#endif
}

QIcon NoIcon()
{
    return QIcon(new EmptyIconEngine);
}

} // namespace platform
