#pragma once

#include <QColor>

// The stored designs of the browser, the viewer and the show: each control's starting place in
// twips, colours and timings. The layout code places the controls again when a window opens or
// changes size, so most rectangles are where a window starts, not where it stays. Controls are
// listed in their stored order.
namespace forms {

struct DesignRect
{
    int left, top, width, height;
};

struct DesignLine
{
    int x1, y1, x2, y2;
};

namespace FilesDesign {
inline constexpr DesignRect Client{1956, 2784, 5844, 4860}; // moved to the saved place at load
inline constexpr int tmrUpdateInterval = 2000;             // disabled
inline constexpr DesignRect lstFiles{2400, 0, 1512, 3312}; // tab index 0, sorted, 1 column
inline constexpr DesignRect drvFiles{0, 0, 2292, 288};     // tab index 1
inline constexpr DesignRect dirFiles{0, 300, 2292, 2880};  // tab index 2
inline constexpr DesignLine lneFiles{2340, 3300, 2340, 0}; // the highlight colour, 2 pixels wide
inline constexpr int lneFilesWidthPixels = 2;
} // namespace FilesDesign

namespace SlideDesign {
inline constexpr DesignRect Client{684, 1788, 7200, 4572};
inline constexpr QColor Background{0, 0, 0};
inline constexpr DesignRect picSlide{2280, 840, 972, 372}; // hidden holder, no border
inline constexpr QColor picSlideBackground{64, 64, 64};
// The four dotted XOR lines of the design were never made visible by any code path: they are
// left out.
inline constexpr DesignRect imgSlide{3360, 1980, 972, 372}; // stretches its picture; hidden
} // namespace SlideDesign

namespace SlidesDesign {
inline constexpr DesignRect Client{6192, 324, 6048, 4236}; // maximised at load
inline constexpr QColor Background{0, 0, 0};
inline constexpr DesignRect picSlide{2280, 840, 972, 372};
inline constexpr int tmrChangeInterval = 250; // disabled until the show starts
inline constexpr DesignRect imgSlide{4260, 2580, 972, 372};
} // namespace SlidesDesign

} // namespace forms
