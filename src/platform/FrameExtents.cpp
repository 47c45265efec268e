#include "platform/FrameExtents.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPixmap>
#include <QVariant>
#include <QWidget>

#ifdef QUORVEL_HAVE_X11
#include <QElapsedTimer>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <optional>
#endif

namespace platform {

namespace {

#ifdef QUORVEL_HAVE_X11

// A window manager that has not framed the window within this time is not going to.
constexpr int kAnswerWaitMs = 300;

// The four cardinals of _NET_FRAME_EXTENTS on window `win`, if it has them.
std::optional<QMargins> readExtents(Display *d, Window win, Atom extents)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    std::optional<QMargins> out;
    if (XGetWindowProperty(d, win, extents, 0, 4, False, XA_CARDINAL, &type, &format, &count, &after, &data) == Success
        && type == XA_CARDINAL && format == 32 && count == 4 && data) {
        const auto *v = reinterpret_cast<const long *>(data); // format 32 comes as long
        out = QMargins(int(v[0]), int(v[2]), int(v[1]), int(v[3]));
    }
    if (data)
        XFree(data);
    return out;
}

bool supportedByTheWindowManager(Display *d, Atom wanted)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    const Atom supported = XInternAtom(d, "_NET_SUPPORTED", False);
    bool found = false;
    if (XGetWindowProperty(d, DefaultRootWindow(d), supported, 0, 4096, False, XA_ATOM, &type, &format, &count, &after,
                           &data) == Success && type == XA_ATOM && format == 32 && data) {
        const auto *atoms = reinterpret_cast<const Atom *>(data);
        for (unsigned long i = 0; i < count && !found; ++i)
            found = atoms[i] == wanted;
    }
    if (data)
        XFree(data);
    return found;
}

// Asked on Qt's own connection (no connection set-up on the way to the first picture); only
// requests and replies go over it here, Qt's event reader is not disturbed.
std::optional<QMargins> askTheWindowManager(Window win, bool mapped)
{
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display *d = x11 ? x11->display() : nullptr;
    if (!d)
        return std::nullopt;
    const Atom extents = XInternAtom(d, "_NET_FRAME_EXTENTS", False);
    std::optional<QMargins> out = readExtents(d, win, extents);
    const Atom request = XInternAtom(d, "_NET_REQUEST_FRAME_EXTENTS", False);
    if (!out && !mapped && supportedByTheWindowManager(d, request)) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = win;
        e.xclient.message_type = request;
        e.xclient.format = 32;
        XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XFlush(d);
        QElapsedTimer waited;
        waited.start();
        // A window manager answers within a millisecond or so: look often.
        while (!(out = readExtents(d, win, extents)) && waited.elapsed() < kAnswerWaitMs)
            QThread::usleep(200);
    }
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
#ifdef QUORVEL_HAVE_X11
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        const WId id = w.winId();
        if (std::optional<QMargins> asked = askTheWindowManager(Window(id), w.isVisible())) {
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
