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

// The four cardinals of _NET_FRAME_EXTENTS, from the reply to a property request.
std::optional<QMargins> extentsOf(xcb_connection_t *c, xcb_get_property_cookie_t cookie)
{
    std::optional<QMargins> out;
    xcb_get_property_reply_t *r = xcb_get_property_reply(c, cookie, nullptr);
    if (r && r->type == XCB_ATOM_CARDINAL && r->format == 32 && xcb_get_property_value_length(r) == 16) {
        const auto *v = static_cast<const uint32_t *>(xcb_get_property_value(r));
        out = QMargins(int(v[0]), int(v[2]), int(v[1]), int(v[3]));
    }
    std::free(r);
    return out;
}

xcb_get_property_cookie_t askExtents(xcb_connection_t *c, xcb_window_t win, xcb_atom_t extents)
{
    return xcb_get_property(c, 0, win, extents, XCB_ATOM_CARDINAL, 0, 4);
}

// Every request goes out before any reply is waited for: a round trip to the X server is the
// cost here, and there are two before the window manager is asked.
std::optional<QMargins> askTheWindowManager(xcb_window_t win, bool mapped)
{
    xcb_connection_t *c = qtConnection();
    if (!c || xcb_connection_has_error(c))
        return std::nullopt;
    const std::array<const char *, 3> names = {"_NET_FRAME_EXTENTS", "_NET_REQUEST_FRAME_EXTENTS", "_NET_SUPPORTED"};
    std::array<xcb_intern_atom_cookie_t, 3> interned{};
    for (size_t i = 0; i < names.size(); ++i)
        interned[i] = xcb_intern_atom(c, 0, uint16_t(std::strlen(names[i])), names[i]);
    std::array<xcb_atom_t, 3> atoms{};
    for (size_t i = 0; i < names.size(); ++i) {
        xcb_intern_atom_reply_t *r = xcb_intern_atom_reply(c, interned[i], nullptr);
        atoms[i] = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
    }
    const xcb_atom_t extents = atoms[0], request = atoms[1], supported = atoms[2];
    if (extents == XCB_ATOM_NONE)
        return std::nullopt;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_get_property_cookie_t already = askExtents(c, win, extents);
    const xcb_get_property_cookie_t list = xcb_get_property(c, 0, root, supported, XCB_ATOM_ATOM, 0, 4096);
    std::optional<QMargins> out = extentsOf(c, already);
    bool answers = false;
    if (xcb_get_property_reply_t *r = xcb_get_property_reply(c, list, nullptr)) {
        if (r->type == XCB_ATOM_ATOM && r->format == 32) {
            const auto *v = static_cast<const xcb_atom_t *>(xcb_get_property_value(r));
            const int n = xcb_get_property_value_length(r) / int(sizeof(xcb_atom_t));
            answers = request != XCB_ATOM_NONE && std::find(v, v + n, request) != v + n;
        }
        std::free(r);
    }
    if (out || mapped || !answers)
        return out;
    xcb_client_message_event_t e{};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.window = win;
    e.type = request;
    e.format = 32;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&e));
    xcb_flush(c);
    QElapsedTimer waited;
    waited.start();
    // A window manager answers within a millisecond or so: look often.
    while (!(out = extentsOf(c, askExtents(c, win, extents))) && waited.elapsed() < kAnswerWaitMs)
        QThread::usleep(200);
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
        if (std::optional<QMargins> asked = askTheWindowManager(xcb_window_t(id), w.isVisible())) {
            m = *asked;
            w.setProperty(kFrameProperty, QVariantList{quint64(id), m.left(), m.top(), m.right(), m.bottom()});
        }
    }
#endif
    return m;
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
