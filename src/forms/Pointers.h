#pragma once

#include <QCursor>

namespace forms {

// The browser's splitter pointer: two short bars with arrowheads pointing left and right, black
// with a white outline, 32 x 32, hot spot (15, 15).
QCursor SplitterCursor();

// The show's pointer: 32 x 32, every pixel transparent, hot spot (0, 0).
QCursor InvisibleCursor();

} // namespace forms
