#pragma once

#include <QByteArray>

// Which window system to run on. On a Wayland desktop a program cannot place its own windows,
// and the browser's saved place, the viewer's fit and the centred windows need that: where the
// desktop also offers an X server (XWayland) the program runs there.
namespace app {

struct PlatformEnvironment
{
    QByteArray waylandDisplay; // WAYLAND_DISPLAY
    QByteArray qpaPlatform;    // QT_QPA_PLATFORM: the user's own choice
    bool xServerReachable = false;
};

// The platform list to hand to Qt, or "" to leave Qt's own choice (an X session, or the user
// chose). Each list ends in a fallback, so that a server that goes away between the check and
// the start does not stop the program.
QByteArray ChoosePlatform(const PlatformEnvironment &env);

// True when the X server named by `display` (":0", "unix:1.0", "host:0") takes a connection.
// Local servers are tried on their socket in `socketDir`; a remote one is taken on trust.
bool XServerReachable(const QByteArray &display, const QByteArray &socketDir = "/tmp/.X11-unix");

// Reads the environment and sets QT_QPA_PLATFORM when a choice is made; call before the
// application object is made.
void ApplyPlatformChoice();

} // namespace app
