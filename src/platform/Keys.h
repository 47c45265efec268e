#pragma once

class QKeyEvent;

namespace platform {

// Key codes as the windows' key handlers know them: Enter 13, Esc 27, Space 32, Up 38,
// Down 40, Del 46, '0'..'9' 48..57, 'A'..'Z' 65..90, F1..F12 112..123; 0 for other keys.
int KeyCodeOf(const QKeyEvent *event);
// Shift 1, Ctrl 2, Alt 4, added up.
int ShiftOf(const QKeyEvent *event);

enum KeyCodes {
    vbKeyReturn = 13, vbKeyEscape = 27, vbKeySpace = 32, vbKeyLeft = 37, vbKeyUp = 38, vbKeyRight = 39,
    vbKeyDown = 40, vbKeyDelete = 46, vbKeyF1 = 112, vbKeyF2 = 113, vbKeyF10 = 121, vbKeyF11 = 122, vbKeyF12 = 123,
};

} // namespace platform
