#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>

namespace forms {

// The program's icon: a framed landscape photo (sky, sun, a mountain, a hill) on a rounded dark
// tile, drawn from vector shapes on a 256 x 256 grid so every rendition comes from one drawing.
// Sizes outside 1 ... 4096 give a null image.

// The icon in 16 colours: Format_Indexed8 whose colour table is the 16 VGA colours in their
// usual order (black, maroon, green, olive, navy, purple, teal, silver, grey, red, lime, yellow,
// blue, fuchsia, aqua, white). Fuchsia is the transparent key: its entry has alpha 0 and the
// drawing never maps to it, so the tile's corners stay clear. Drawn without antialiasing and
// mapped to the nearest colour, without dithering.
QImage ProgramIcon16(int size = 32);

// The full-colour rendition at any size: ARGB32, antialiased, transparent around the tile.
QImage ProgramIconImage(int size);

// 16, 32, 48, 64, 128 and 256 pixels, all full colour: the window, the task bar and the desktop
// show one design at every size. (The 16-colour rendition is the About window's logo.)
QIcon ProgramIcon();

// The same drawing as SVG text (viewBox 0 0 256 256), the scalable rendition.
QByteArray ProgramIconSvg();

} // namespace forms
