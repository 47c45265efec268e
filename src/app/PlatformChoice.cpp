#include "app/PlatformChoice.h"

#include <QtGlobal>

#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace app {

QByteArray ChoosePlatform(const PlatformEnvironment &env)
{
    if (!env.qpaPlatform.isEmpty() || env.waylandDisplay.isEmpty())
        return {};
    return env.xServerReachable ? QByteArrayLiteral("xcb;wayland") : QByteArrayLiteral("wayland;xcb");
}

namespace {

bool connects(const QByteArray &name, bool abstract)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const size_t offset = abstract ? 1 : 0; // an abstract name starts with a zero byte
    if (size_t(name.size()) + offset >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path + offset, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + size_t(name.size()));
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr *>(&addr), length) == 0;
    ::close(fd);
    return ok;
}

} // namespace

bool XServerReachable(const QByteArray &display, const QByteArray &socketDir)
{
    const qsizetype colon = display.lastIndexOf(':');
    if (colon < 0)
        return false;
    const QByteArray host = display.left(colon);
    QByteArray number = display.mid(colon + 1);
    if (const qsizetype dot = number.indexOf('.'); dot >= 0)
        number.truncate(dot);
    bool isNumber = false;
    number.toUInt(&isNumber);
    if (!isNumber)
        return false;
    if (!host.isEmpty() && host != "unix")
        return true;
    const QByteArray socket = socketDir + "/X" + number;
    return connects(socket, true) || connects(socket, false);
}

void ApplyPlatformChoice()
{
    PlatformEnvironment env;
    env.waylandDisplay = qgetenv("WAYLAND_DISPLAY");
    env.qpaPlatform = qgetenv("QT_QPA_PLATFORM");
    if (env.qpaPlatform.isEmpty() && !env.waylandDisplay.isEmpty())
        env.xServerReachable = XServerReachable(qgetenv("DISPLAY"));
    const QByteArray choice = ChoosePlatform(env);
    if (!choice.isEmpty())
        qputenv("QT_QPA_PLATFORM", choice);
}

} // namespace app
