#include "display/FitGeometry.h"

#include <algorithm>
#include <cmath>

namespace display {

FitRect FitWindow(const FitInput &in)
{
    // Step 3: one pixel row less than the holder. A picture with no width, or with no height left
    // after that, would divide by zero: it keeps at least one pixel each way.
    float picH = std::max(in.holderHeight - in.tppy, in.tppy);
    float picW = std::max(in.holderWidth, in.tppx);
    const float ratio = picH / picW;

    float frameW = in.width - in.scaleWidth;
    float frameH = in.height - in.scaleHeight;
    float left = in.left;
    float top = in.top;
    if (!in.normalState)
        frameW = frameH = left = top = 0;

    if (in.screenWidth - frameW < picW)
        picW = in.screenWidth - frameW;
    if (in.screenHeight - frameH < picH)
        picH = in.screenHeight - frameH;
    // A frame as large as the screen leaves nothing: still one pixel.
    picW = std::max(picW, in.tppx);
    picH = std::max(picH, in.tppy);

    // The ratio is restored when it differs in the third decimal; only ever by reducing.
    const double r0 = std::trunc(double(ratio) * 1000);
    const double r1 = std::trunc(double(picH) * 1000 / double(picW));
    if (r1 < r0)
        picW = picH / ratio;
    else if (r1 > r0)
        picH = picW * ratio;

    if (left + picW + frameW > in.screenWidth)
        left = in.screenWidth - picW - frameW;
    if (top + picH + frameH > in.screenHeight)
        top = in.screenHeight - picH - frameH;
    return {left, top, picW + frameW, picH + frameH};
}

FitRect FitInClient(float pW, float pH, float scaleWidth, float scaleHeight)
{
    if (!(pW > 0) || !(pH > 0))
        pW = pH = 1;
    const float r = pH / pW;
    float w, h;
    if (r < 1) {
        w = scaleWidth;
        h = scaleWidth * pH / pW;
    } else {
        h = scaleHeight;
        w = scaleHeight * pW / pH;
    }
    if (w > scaleWidth) {
        w = scaleWidth;
        h = scaleWidth * pH / pW;
    }
    if (h > scaleHeight) {
        h = scaleHeight;
        w = scaleHeight * pW / pH;
    }
    return {(scaleWidth - w) / 2, (scaleHeight - h) / 2, w, h};
}

} // namespace display
