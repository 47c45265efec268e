#pragma once

#include "picture/Requests.h"

class QWidget;

namespace display {

// The picture `request` asks for, as the display windows wait for it. While a window of the
// program is on screen it keeps painting meanwhile. While none is (the picture given at start),
// nothing needs painting: the frame of `window` is asked of the window manager while the picture
// decodes, and no event is handled before the fit.
picture::ShownPicture AwaitPicture(const picture::Request &request, QWidget &window);

} // namespace display
