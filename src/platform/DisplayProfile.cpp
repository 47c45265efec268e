#include "platform/DisplayProfile.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QHash>
#include <QMetaObject>
#include <QScreen>

#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef QUORVEL_HAVE_XCB
#include <sys/uio.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>
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

// The monitors in RandR's order (RRGetMonitors, RandR 1.5), asked by hand: the extension's
// own client library is not needed for one request.
xcb_extension_t g_randr = {"RANDR", 0};

std::vector<QRect> randrMonitors(xcb_connection_t *c, xcb_window_t root)
{
    const xcb_query_extension_reply_t *ext = xcb_get_extension_data(c, &g_randr);
    if (!ext || !ext->present)
        return {};
    constexpr uint8_t kGetMonitors = 42;
    struct
    {
        uint8_t major, minor;
        uint16_t length;
        uint32_t window;
        uint8_t active, pad[3];
    } request{0, kGetMonitors, 3, root, 1, {0, 0, 0}};
    iovec parts[4];
    parts[2] = {&request, sizeof request};
    parts[3] = {nullptr, 0};
    xcb_protocol_request_t protocol{2, &g_randr, kGetMonitors, 0};
    const unsigned sequence = xcb_send_request(c, XCB_REQUEST_CHECKED, parts + 2, &protocol);
    xcb_generic_error_t *error = nullptr;
    auto *reply = static_cast<uint8_t *>(xcb_wait_for_reply(c, sequence, &error));
    std::free(error);
    if (!reply)
        return {};
    const auto u32 = [](const uint8_t *p) { uint32_t v; std::memcpy(&v, p, 4); return v; };
    const auto u16 = [](const uint8_t *p) { uint16_t v; std::memcpy(&v, p, 2); return v; };
    const uint8_t *p = reply + 32, *end = reply + 32 + 4 * size_t(u32(reply + 4));
    std::vector<QRect> monitors;
    for (uint32_t i = 0, count = u32(reply + 12); i < count && p + 24 <= end; ++i) {
        monitors.emplace_back(int16_t(u16(p + 8)), int16_t(u16(p + 10)), u16(p + 12), u16(p + 14));
        p += 24 + 4 * size_t(u16(p + 6));
    }
    std::free(reply);
    return monitors;
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
    const std::vector<QRect> monitors = randrMonitors(x.c, x.root);
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
