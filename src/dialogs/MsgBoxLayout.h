#pragma once

// The message window's layout in twips: its outer size is 640 x 480 pixels less the frame,
// centred on the screen; the OK button sits centred 5 pixels above the bottom; the text fills
// the rest with 5-pixel margins.
namespace dialogs {

struct MsgBoxWindow
{
    float left = 0, top = 0, width = 0, height = 0;
};

MsgBoxWindow MsgBoxWindowRect(float tppx, float tppy, float frameW, float frameH, float screenW, float screenH);

struct MsgBoxControls
{
    float buttonLeft = 0, buttonTop = 0;
    float textLeft = 0, textTop = 0, textWidth = 0, textHeight = 0;
};

MsgBoxControls MsgBoxControlRects(float tppx, float tppy, float clientW, float clientH, float buttonW, float buttonH);

} // namespace dialogs
