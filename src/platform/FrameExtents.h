#pragma once

#include <QIcon>
#include <QMargins>
#include <QRect>

class QWidget;

namespace platform {

// The frame the window manager draws around the top-level window w (left, top, right, bottom,
// in pixels). A window not yet on screen has none in Qt's eyes; its frame is asked of the window
// manager in advance (the extents it will give, as window managers publish them), so that a
// window sized by its outer edges is right from its first placing. None without a window
// manager, and none for a window without a frame.
QMargins FrameMargins(QWidget &w);

// Asks the window manager, before Qt is up, which frame an ordinary window gets, on `connection`
// (an xcb connection this takes over): the first ordinary window to ask FrameMargins then need
// not wait for the window manager's answer about itself.
void AskFrameBeforeQt(void *connection);

// The outer rectangle of w, frame included, also before the window is first shown: its position
// is where the frame goes, its size the client's grown by the frame.
QRect OuterGeometry(QWidget &w);

// Marks `w` as a window that belongs to `owner` (WM_TRANSIENT_FOR): the window manager keeps it
// above its owner. Qt marks only dialogs and tools so, and clears the mark of an ordinary window
// when it shows it: call this after every show.
void SetTransientFor(QWidget &w, QWidget &owner);

// An icon with no picture in it: the window manager then shows a window without an icon of its
// own (an empty icon would give the program's instead).
QIcon NoIcon();

} // namespace platform
