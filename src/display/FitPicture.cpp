#include "display/FitPicture.h"

#include "display/FitGeometry.h"
#include "display/PictureLoad.h"
#include "platform/FrameExtents.h"
#include "platform/Screen.h"
#include "platform/StretchImage.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <thread>

namespace display {

QSize DisplayBound()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return s ? s->geometry().size() : QSize(1024, 768);
}

namespace {

// No window of the program on screen: nothing needs painting, and the first one waits.
bool nothingShown()
{
    const QWindowList windows = QGuiApplication::topLevelWindows();
    return std::none_of(windows.begin(), windows.end(), [](const QWindow *w) { return w->isVisible(); });
}

} // namespace

void WaitWhilePainting(const std::function<bool()> &done)
{
    if (done())
        return;
    QElapsedTimer since;
    since.start();
    bool pointer = false;
    do {
        // Keys and clicks wait their turn: they act on the picture once it is there.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
        if (!pointer && since.elapsed() >= 150) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
            pointer = true;
        }
    } while (!done());
    if (pointer)
        QGuiApplication::restoreOverrideCursor();
}

QString CannotShowText(picture::PictureProblem problem)
{
    const QString text = QStringLiteral("Cannot show this picture");
    switch (problem) {
    case picture::PictureProblem::NotAPicture: return text + QStringLiteral(": not a picture");
    case picture::PictureProblem::Damaged: return text + QStringLiteral(": damaged");
    case picture::PictureProblem::TooLarge: return text + QStringLiteral(": too large");
    case picture::PictureProblem::Unreadable: return text + QStringLiteral(": unreadable");
    case picture::PictureProblem::None: break;
    }
    return text;
}

bool FitPicture(const QString &PictureName, PictureBox &picSlide, platform::StretchImage &imgSlide, QWidget &window,
                float &NewLeft, float &NewTop, float &NewWidth, float &NewHeight, AheadDecoder *ahead,
                picture::PictureProblem *problem)
{
    using namespace std::chrono_literals;
    const double tppx = platform::TwipsPerPixelX(), tppy = platform::TwipsPerPixelY();
    const QPointer<QWidget> alive(&window);
    bool found = false;
    LoadedPicture loaded;
    if (ahead) {
        WaitWhilePainting([ahead] {
            if (ahead->Pending().isEmpty() || ahead->Ready())
                return true;
            std::this_thread::sleep_for(10ms);
            return false;
        });
        loaded = ahead->Take(PictureName, found);
    }
    if (!found && LaunchDecodePending(PictureName, DisplayBound())) {
        // The picture given on the command line, decoding since before Qt was up. While no
        // window of ours is on screen, nothing needs painting meanwhile: the frame is asked of
        // the window manager now, and Qt handles no event before the fit, as when it is asked
        // after the decode.
        if (nothingShown()) {
            platform::FrameMargins(window);
            LaunchDecodeReady(std::chrono::hours(1));
        } else {
            WaitWhilePainting([] { return LaunchDecodeReady(10ms); });
        }
        loaded = TakeLaunchDecode(PictureName, DisplayBound(), tppx, tppy, found);
    }
    if (!found) {
        const QSize bound = DisplayBound(); // screens are asked on this thread only
        std::future<LoadedPicture> decode = std::async(std::launch::async, [=] {
            return LoadForDisplay(PictureName, bound, tppx, tppy);
        });
        if (nothingShown())
            platform::FrameMargins(window); // the window manager answers while the picture decodes
        WaitWhilePainting([&decode] { return decode.wait_for(10ms) == std::future_status::ready; });
        loaded = decode.get();
    }
    if (problem)
        *problem = loaded.problem;
    if (!loaded.ok || !alive)
        return false;
    picSlide.Picture = loaded.image;
    picSlide.Width = loaded.twips.width();
    picSlide.Height = loaded.twips.height();
    imgSlide.hide();

    const QRect outer = platform::OuterGeometry(window); // frame counted before the first show too
    const QRect client = window.geometry();
    FitInput in;
    in.holderWidth = float(picSlide.Width);
    in.holderHeight = float(picSlide.Height);
    in.screenWidth = float(platform::ScreenWidth());
    in.screenHeight = float(platform::ScreenHeight());
    in.tppx = float(tppx);
    in.tppy = float(tppy);
    in.left = float(outer.x() * tppx);
    in.top = float(outer.y() * tppy);
    in.width = float(outer.width() * tppx);
    in.height = float(outer.height() * tppy);
    in.scaleWidth = float(client.width() * tppx);
    in.scaleHeight = float(client.height() * tppy);
    in.normalState = !(window.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    const FitRect r = FitWindow(in);
    NewLeft = r.left;
    NewTop = r.top;
    NewWidth = r.width;
    NewHeight = r.height;
    return true;
}

void PlacePicture(const PictureBox &picSlide, platform::StretchImage &imgSlide, const QWidget &client)
{
    const double tppx = platform::TwipsPerPixelX(), tppy = platform::TwipsPerPixelY();
    const float scaleWidth = float(client.width() * tppx), scaleHeight = float(client.height() * tppy);
    const FitRect r = FitInClient(float(picSlide.Width), float(picSlide.Height), scaleWidth, scaleHeight);
    imgSlide.setGeometry(platform::ToPixelRect(r.left, r.top, r.width, r.height));
    imgSlide.SetPicture(picSlide.Picture);
    imgSlide.Tag = QDateTime::currentDateTime().toString(Qt::ISODate);
    imgSlide.show();
}

} // namespace display
