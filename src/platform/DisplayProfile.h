#pragma once

#include <QByteArray>
#include <QObject>

class QScreen;

// The colour profile of each monitor, as the desktop's colour manager publishes it on the X root
// window: _ICC_PROFILE_n for the n-th monitor (RandR's order, which the Xinerama order follows),
// _ICC_PROFILE for the first, and for every monitor when there is only one. Empty stands for
// sRGB: no profile set, a property too large to be one, or not on X.
namespace platform {

// The profile of the monitor `screen` stands for. Read once and kept until the property changes.
// On the window thread.
QByteArray DisplayProfile(const QScreen *screen);

// Tells when a monitor's profile is set, changed or removed while the program runs (a colour
// manager sets them after log-in).
class DisplayProfiles : public QObject
{
    Q_OBJECT
public:
    static DisplayProfiles &Watch();

signals:
    void changed();

private:
    DisplayProfiles() = default;
};

// The first monitor's profile, read on the connection XScreenSizeBeforeQt opens (empty before
// that): for the picture decoded before Qt is up.
QByteArray DisplayProfileBeforeQt();

// For XScreenSizeBeforeQt: reads the first monitor's profile on its connection (an
// xcb_connection_t) to the root window `root`.
void ReadDisplayProfileBeforeQt(void *connection, quint32 root);

} // namespace platform
