#include "platform/Screen.h"

#include "platform/DisplayProfile.h"
#include "platform/FrameExtents.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QScreen>
#include <QThreadPool>

#ifdef QUORVEL_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace platform {

namespace {

int g_pointer = vbDefault;

double dpiOr96(double dpi)
{
    return dpi > 1.0 ? dpi : 96.0;
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

QSize XScreenSizeBeforeQt()
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
