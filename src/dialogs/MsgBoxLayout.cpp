#include "dialogs/MsgBoxLayout.h"

namespace dialogs {

MsgBoxWindow MsgBoxWindowRect(float tppx, float tppy, float frameW, float frameH, float screenW, float screenH)
{
    MsgBoxWindow w;
    w.width = 640 * tppx - frameW;
    w.height = 480 * tppy - frameH;
    w.left = (screenW - w.width) / 2;
    w.top = (screenH - w.height) / 2;
    return w;
}

MsgBoxControls MsgBoxControlRects(float tppx, float tppy, float clientW, float clientH, float buttonW, float buttonH)
{
    const float mx = 5 * tppx, my = 5 * tppy;
    MsgBoxControls c;
    c.buttonLeft = (clientW - buttonW) / 2;
    c.buttonTop = clientH - buttonH - my;
    c.textLeft = mx;
    c.textTop = my;
    c.textWidth = clientW - 2 * mx;
    c.textHeight = clientH - buttonH - 3 * my;
    return c;
}

} // namespace dialogs
