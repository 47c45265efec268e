#include "platform/Screen.h"

#include "platform/DisplayProfile.h"
#include "platform/FrameExtents.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QScreen>
#include <QThreadPool>

#include <QWidget>

#ifdef QUORVEL_HAVE_XCB
#include <xcb/xcb.h>
#ifdef QUORVEL_HAVE_XCB_RANDR
#include <xcb/randr.h>
#endif
#endif

#include <cstdlib>

namespace platform {

namespace {

int g_pointer = vbDefault;

double dpiOr96(double dpi)
{
    return dpi > 1.0 ? dpi : 96.0;
}

Monitor monitorOf(const QScreen *s)
{
    Monitor m;
    if (!s)
        return m;
    m.pixels = s->geometry();
    m.tppx = 1440.0 / dpiOr96(s->logicalDotsPerInchX());
    m.tppy = 1440.0 / dpiOr96(s->logicalDotsPerInchY());
    return m;
}

int64_t area(const QRect &r)
{
    return r.isEmpty() ? 0 : int64_t(r.width()) * r.height();
}


} // namespace

double TwipsPerPixelX()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return 1440.0 / (s ? dpiOr96(s->logicalDotsPerInchX()) : 96.0);
}

double TwipsPerPixelY()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return 1440.0 / (s ? dpiOr96(s->logicalDotsPerInchY()) : 96.0);
}

double ScreenWidth()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return (s ? s->geometry().width() : 1024) * TwipsPerPixelX();
}

double ScreenHeight()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return (s ? s->geometry().height() : 768) * TwipsPerPixelY();
}

Monitor PrimaryMonitor()
{
    return monitorOf(QGuiApplication::primaryScreen());
}

std::vector<Monitor> Monitors(size_t *primary)
{
    std::vector<Monitor> out;
    const QScreen *first = QGuiApplication::primaryScreen();
    for (const QScreen *s : QGuiApplication::screens()) {
        if (primary && s == first)
            *primary = out.size();
        out.push_back(monitorOf(s));
    }
    if (out.empty()) {
        out.push_back(Monitor());
        if (primary)
            *primary = 0;
    }
    return out;
}

Monitor MonitorOf(QWidget &w)
{
    const QRect outer = OuterGeometry(w);
    const QScreen *best = nullptr;
    int64_t bestArea = 0;
    for (const QScreen *s : QGuiApplication::screens()) {
        const int64_t a = area(s->geometry() & outer);
        if (a > bestArea) { // the first of equal parts: Qt lists the screens in the desktop's order
            best = s;
            bestArea = a;
        }
    }
    return best ? monitorOf(best) : PrimaryMonitor();
}

QScreen *ScreenOf(const Monitor &m)
{
    for (QScreen *s : QGuiApplication::screens())
        if (s->geometry() == m.pixels)
            return s;
    return nullptr;
}

QPoint CentredOn(const Monitor &m, QSize outer)
{
    // Halves taken in twips and rounded, as the windows always centred themselves.
    const double left = m.Left() + (m.Width() - outer.width() * m.tppx) / 2;
    const double top = m.Top() + (m.Height() - outer.height() * m.tppy) / 2;
    return QPoint(int(std::lround(left / m.tppx)), int(std::lround(top / m.tppy)));
}

void SetScreenPointer(int pointer, const QCursor &custom)
{
    if (pointer == vbDefault) {
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
        g_pointer = vbDefault;
        return;
    }
    const QCursor cursor = pointer == vbHourglass ? QCursor(Qt::WaitCursor) : custom;
    if (QGuiApplication::overrideCursor())
        QGuiApplication::changeOverrideCursor(cursor);
    else
        QGuiApplication::setOverrideCursor(cursor);
    g_pointer = pointer;
}

int ScreenPointer()
{
    return g_pointer;
}

WaitPointer::WaitPointer()
    : m_before(g_pointer)
{
    if (m_before == vbCustom && QGuiApplication::overrideCursor())
        m_custom = *QGuiApplication::overrideCursor();
    SetScreenPointer(vbHourglass);
}

WaitPointer::~WaitPointer()
{
    SetScreenPointer(m_before, m_custom);
}

std::vector<QRect> XMonitors(void *connection, quint32 root, size_t *primary)
{
    std::vector<QRect> out;
#ifdef QUORVEL_HAVE_XCB_RANDR
    auto *c = static_cast<xcb_connection_t *>(connection);
    const xcb_randr_query_version_cookie_t vc = xcb_randr_query_version(c, 1, 5);
    xcb_randr_query_version_reply_t *version = xcb_randr_query_version_reply(c, vc, nullptr);
    const bool hasMonitors = version && (version->major_version > 1 || version->minor_version >= 5);
    std::free(version);
    if (!hasMonitors)
        return out;
    const xcb_randr_get_monitors_cookie_t mc = xcb_randr_get_monitors(c, root, 1);
    xcb_randr_get_monitors_reply_t *reply = xcb_randr_get_monitors_reply(c, mc, nullptr);
    if (!reply)
        return out;
    for (xcb_randr_monitor_info_iterator_t it = xcb_randr_get_monitors_monitors_iterator(reply); it.rem > 0;
         xcb_randr_monitor_info_next(&it)) {
        if (primary && it.data->primary)
            *primary = out.size();
        out.emplace_back(it.data->x, it.data->y, it.data->width, it.data->height);
    }
    std::free(reply);
#else
    Q_UNUSED(connection);
    Q_UNUSED(root);
    Q_UNUSED(primary);
#endif
    return out;
}

QSize XScreenSizeBeforeQt(std::vector<QRect> *monitors, size_t *primary)
{
#ifdef QUORVEL_HAVE_XCB
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if ((!platform.isEmpty() && !platform.startsWith("xcb")) || qEnvironmentVariableIsEmpty("DISPLAY"))
        return {};
    int number = 0;
    xcb_connection_t *c = xcb_connect(nullptr, &number);
    QSize size;
    if (!xcb_connection_has_error(c)) {
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; it.rem > 0 && i < number; ++i)
            xcb_screen_next(&it);
        if (it.rem > 0) {
            size = QSize(it.data->width_in_pixels, it.data->height_in_pixels);
            if (monitors)
                *monitors = XMonitors(c, it.data->root, primary);
            ReadDisplayProfileBeforeQt(c, it.data->root);
        }
    }
    AskFrameBeforeQt(c); // on the same connection: it answers while Qt starts
    return size;
#else
    return {};
#endif
}

void ConnectSessionBusAhead()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    QThreadPool::globalInstance()->start([] { QDBusConnection::sessionBus(); });
}

} // namespace platform
