#include "display/PictureWait.h"

#include "platform/FrameExtents.h"
#include "platform/Waiting.h"

#include <QGuiApplication>
#include <QWindow>

#include <algorithm>

namespace display {

namespace {

bool nothingShown()
{
    const QWindowList windows = QGuiApplication::topLevelWindows();
    return std::none_of(windows.begin(), windows.end(), [](const QWindow *w) { return w->isVisible(); });
}

} // namespace

picture::ShownPicture AwaitPicture(const picture::Request &request, QWidget &window)
{
    QFuture<picture::ShownPicture> decode = picture::Decode(request);
    if (nothingShown()) {
        platform::FrameMargins(window); // the window manager answers while the picture decodes
        decode.waitForFinished();
    } else {
        platform::WaitWhilePainting(QFuture<void>(decode));
    }
    return decode.result();
}

} // namespace display
