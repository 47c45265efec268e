#pragma once

// Where a picture goes: the fitted window rectangle of a display window, and the picture's place
// in a client area. All lengths in twips, computed in single precision as the windows always did.
namespace display {

struct FitInput
{
    float holderWidth = 0;  // the picture's natural size
    float holderHeight = 0;
    float screenWidth = 0;
    float screenHeight = 0;
    float tppx = 15;        // twips per pixel
    float tppy = 15;
    float left = 0;         // the window's outer rectangle and client size
    float top = 0;
    float width = 0;
    float height = 0;
    float scaleWidth = 0;
    float scaleHeight = 0;
    bool normalState = true; // false: minimised or maximised
};

struct FitRect
{
    float left = 0, top = 0, width = 0, height = 0;
};

// The outer rectangle whose client area has the picture's ratio, is never larger than the
// picture (one pixel row less in height), fits on the screen and is moved only up or left to
// stay on it. A degenerate picture (0 wide, 1 high) is shown at least 1 pixel each way.
FitRect FitWindow(const FitInput &in);

// The picture stretched to the largest size that fits the client area with its ratio kept,
// centred. A picture without area is treated as 1 x 1 pixel.
FitRect FitInClient(float pictureWidth, float pictureHeight, float scaleWidth, float scaleHeight);

} // namespace display
