#pragma once

#include <QCursor>
#include <QRect>
#include <QSize>

#include <cmath>
#include <vector>

class QScreen;
class QWidget;

// The screen as the windows see it: sizes in twips (1440 per inch) and the screen-wide pointer.
namespace platform {

double TwipsPerPixelX(); // 1440 / the primary screen's logical DPI: 15 at 96 DPI
double TwipsPerPixelY();
double ScreenWidth();    // the primary screen, in twips
double ScreenHeight();

// One monitor of the desktop: its rectangle on the virtual desktop in pixels, and its own twips
// per pixel. A position in twips is a virtual-desktop pixel times these.
struct Monitor
{
    QRect pixels{0, 0, 1024, 768};
    double tppx = 15.0;
    double tppy = 15.0;
    double Left() const { return pixels.x() * tppx; }
    double Top() const { return pixels.y() * tppy; }
    double Width() const { return pixels.width() * tppx; }
    double Height() const { return pixels.height() * tppy; }
};

Monitor PrimaryMonitor();
// Every monitor, in Qt's order, and which of them is the primary one.
std::vector<Monitor> Monitors(size_t *primary = nullptr);
// The monitor that holds the larger part of w's outer rectangle; the primary one when none does.
Monitor MonitorOf(QWidget &w);
// Qt's screen for m (null when it has gone meanwhile).
QScreen *ScreenOf(const Monitor &m);
// `outer` (its size) centred on m, in pixels.
QPoint CentredOn(const Monitor &m, QSize outer);

inline int ToPixelsX(double twips) { return int(std::lround(twips / TwipsPerPixelX())); }
inline int ToPixelsY(double twips) { return int(std::lround(twips / TwipsPerPixelY())); }
// A rectangle in twips as pixels: each edge rounded, so that neighbours stay neighbours.
inline QRect ToPixelRect(double left, double top, double width, double height)
{
    const int x = ToPixelsX(left), y = ToPixelsY(top);
    return QRect(x, y, ToPixelsX(left + width) - x, ToPixelsY(top + height) - y);
}

// The size of the X screen in pixels, asked of the X server directly: usable before Qt is up,
// for guessing what the screens will be. Empty when Qt will not run on X or no X server
// answers. `monitors`, when given, receives the X server's monitors (none where it cannot tell
// them), and `primary` the primary one's index. The same connection asks the window manager for an ordinary window's frame meanwhile
// (AskFrameBeforeQt).
// The X server's monitors (RandR 1.5) on `connection` (an xcb_connection_t), in RandR's order,
// which is how Qt lists them as screens; `primary`, when given, receives the primary one's index.
// None where the server cannot tell them.
std::vector<QRect> XMonitors(void *connection, quint32 root, size_t *primary = nullptr);

QSize XScreenSizeBeforeQt(std::vector<QRect> *monitors = nullptr, size_t *primary = nullptr);

// Connects to the desktop's session bus on a worker. Qt's accessibility bridge makes that
// connection when the first window shows and waits for it (where no bus runs, one is launched
// first): made while the first window is built, the show does not wait. On X only, where the
// bridge is; call once the application object exists.
void ConnectSessionBusAhead();

// The screen-wide pointer: 0 default, 11 hourglass, 99 the custom image given. It is one state,
// not a stack: 0 always brings the default pointer back, however often 11 was set before.
enum ScreenPointerKind { vbDefault = 0, vbHourglass = 11, vbCustom = 99 };
void SetScreenPointer(int pointer, const QCursor &custom = QCursor());
int ScreenPointer();

// The wait pointer for as long as the guard lives; then the pointer that was up before it.
class WaitPointer
{
public:
    WaitPointer();
    ~WaitPointer();
    WaitPointer(const WaitPointer &) = delete;
    WaitPointer &operator=(const WaitPointer &) = delete;

private:
    int m_before;
    QCursor m_custom;
};

} // namespace platform
