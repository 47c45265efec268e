#include "platform/DisplayProfile.h"

#include "platform/Screen.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QHash>
#include <QMetaObject>
#include <QScreen>

#include <cstdlib>
#include <vector>

#ifdef QUORVEL_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace platform {

namespace {

QByteArray g_beforeQt;

#ifdef QUORVEL_HAVE_XCB

// A larger property is no profile of ours (the picture library refuses one anyway).
constexpr uint32_t kMaxPropertyBytes = uint32_t(4) << 20;

QByteArray atomName(int monitor)
{
    return monitor == 0 ? QByteArray("_ICC_PROFILE") : "_ICC_PROFILE_" + QByteArray::number(monitor);
}

xcb_atom_t atomOf(xcb_connection_t *c, const QByteArray &name, bool onlyIfExists)
{
    xcb_intern_atom_reply_t *r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, onlyIfExists, uint16_t(name.size()), name.constData()), nullptr);
    const xcb_atom_t atom = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return atom;
}

QByteArray readProfile(xcb_connection_t *c, xcb_window_t root, xcb_atom_t atom)
{
    if (atom == XCB_ATOM_NONE)
        return {};
    xcb_get_property_reply_t *r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, kMaxPropertyBytes / 4 + 1), nullptr);
    QByteArray profile;
    if (r && r->format == 8 && r->bytes_after == 0)
        profile = QByteArray(static_cast<const char *>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
    std::free(r);
    return profile.size() <= qsizetype(kMaxPropertyBytes) ? profile : QByteArray();
}

// Qt's own connection, and the root window of the screen it opened.
struct X
{
    xcb_connection_t *c = nullptr;
    xcb_window_t root = 0;
};

X qtConnection()
{
    X x;
    auto *app = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    x.c = app ? app->connection() : nullptr;
    if (!x.c)
        return x;
    int display = 0, screen = 0;
    char *host = nullptr;
    if (xcb_parse_display(nullptr, &host, &display, &screen))
        std::free(host);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(x.c));
    for (int i = 0; it.rem > 0 && i < screen; ++i)
        xcb_screen_next(&it);
    x.root = it.rem > 0 ? it.data->root : 0;
    if (!x.root)
        x.c = nullptr;
    return x;
}

// The profiles read so far, by monitor, with their properties' atoms; kept up to date by
// watching the root window's property changes (Qt's connection selects them).
class Profiles : public QAbstractNativeEventFilter
{
public:
    static Profiles &get()
    {
        static Profiles *profiles = [] {
            auto *p = new Profiles; // lives as long as the application's event dispatch
            QCoreApplication::instance()->installNativeEventFilter(p);
            return p;
        }();
        return *profiles;
    }

    QByteArray of(const X &x, int monitor)
    {
        const auto known = m_profiles.constFind(monitor);
        if (known != m_profiles.cend())
            return *known;
        const xcb_atom_t atom = atomOf(x.c, atomName(monitor), false);
        m_atoms.insert(atom, monitor);
        return m_profiles[monitor] = readProfile(x.c, x.root, atom);
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto *notify = static_cast<const xcb_property_notify_event_t *>(message);
        const auto monitor = m_atoms.constFind(notify->atom);
        if (monitor == m_atoms.cend())
            return false;
        const X x = qtConnection();
        if (!x.c || notify->window != x.root)
            return false;
        const QByteArray now = readProfile(x.c, x.root, notify->atom);
        if (now != m_profiles.value(*monitor)) {
            m_profiles[*monitor] = now;
            // After this event: the windows re-decode, which may wait on the event loop.
            QMetaObject::invokeMethod(&DisplayProfiles::Watch(), &DisplayProfiles::changed, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QHash<int, QByteArray> m_profiles;
    QHash<xcb_atom_t, int> m_atoms;
};

// The screen's monitor number: its place among RandR's monitors, matched by geometry.
int monitorOf(const X &x, const QScreen *screen)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (!screen || screens.size() <= 1)
        return 0;
    const qreal ratio = screen->devicePixelRatio();
    const QRect g = screen->geometry();
    const QRect native(QPoint(qRound(g.x() * ratio), qRound(g.y() * ratio)), g.size() * ratio);
    // Asked again only when Qt's screens change: they are RandR's monitors.
    static QList<QRect> askedFor;
    static std::vector<QRect> monitors;
    QList<QRect> now;
    for (const QScreen *s : screens)
        now << s->geometry();
    if (now != askedFor) {
        monitors = XMonitors(x.c, x.root);
        askedFor = now;
    }
    for (size_t i = 0; i < monitors.size(); ++i) {
        if (monitors[i] == native)
            return int(i);
    }
    return 0;
}

#endif

} // namespace

DisplayProfiles &DisplayProfiles::Watch()
{
    static DisplayProfiles *watch = new DisplayProfiles; // signals may be sent until the very end
    return *watch;
}

QByteArray DisplayProfile(const QScreen *screen)
{
#ifdef QUORVEL_HAVE_XCB
    const X x = qtConnection();
    if (!x.c)
        return {};
    return Profiles::get().of(x, monitorOf(x, screen));
#else
    Q_UNUSED(screen);
    return {};
#endif
}

QByteArray DisplayProfileBeforeQt()
{
    return g_beforeQt;
}

void ReadDisplayProfileBeforeQt(void *connection, quint32 root)
{
#ifdef QUORVEL_HAVE_XCB
    auto *c = static_cast<xcb_connection_t *>(connection);
    // Only if the atom exists: where no colour manager ever ran, one round trip is enough.
    g_beforeQt = readProfile(c, root, atomOf(c, atomName(0), true));
#else
    Q_UNUSED(connection);
    Q_UNUSED(root);
#endif
}

} // namespace platform
