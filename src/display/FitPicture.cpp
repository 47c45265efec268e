#include "display/FitPicture.h"

#include "display/FitGeometry.h"
#include "display/PictureWait.h"
#include "platform/DisplayProfile.h"
#include "platform/FrameExtents.h"
#include "platform/Screen.h"
#include "platform/StretchImage.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace display {


QByteArray DisplayProfileFor(QWidget &window)
{
    return platform::DisplayProfile(platform::ScreenOf(platform::MonitorOf(window)));
}

bool RedecodeColours(const QString &name, PictureBox &picSlide, QWidget &window)
{
    if (picSlide.Picture.isNull() || name.isEmpty())
        return false;
    const QPointer<QWidget> alive(&window);
    const platform::Monitor monitor = platform::MonitorOf(window);
    const picture::ShownPicture loaded = AwaitPicture(
        {name, monitor.pixels.size(), monitor.tppx, monitor.tppy, true, DisplayProfileFor(window)}, window);
    if (!loaded.ok || !alive)
        return false;
    picSlide.Picture = loaded.image;
    return true;
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
                float &NewLeft, float &NewTop, float &NewWidth, float &NewHeight, picture::PictureProblem *problem)
{
    // The monitor that holds the window is its screen: its size bounds the decode and the fit.
    const platform::Monitor monitor = platform::MonitorOf(window);
    const double tppx = monitor.tppx, tppy = monitor.tppy;
    // A window not on screen yet is where it was asked to go: the window manager may report it
    // at 0, 0 meanwhile, when it is asked for the frame it will get.
    const QRect outerAsked = platform::OuterGeometry(window), clientAsked = window.geometry();
    const QPointer<QWidget> alive(&window);
    const picture::ShownPicture loaded =
        AwaitPicture({PictureName, monitor.pixels.size(), tppx, tppy, true, DisplayProfileFor(window)}, window);
    if (problem)
        *problem = loaded.problem;
    if (!loaded.ok || !alive)
        return false;
    picSlide.Picture = loaded.image;
    picSlide.Width = loaded.twips.width();
    picSlide.Height = loaded.twips.height();
    imgSlide.hide();

    const bool shown = window.isVisible();
    const QRect outer = shown ? platform::OuterGeometry(window) : outerAsked; // frame counted before the first show too
    const QRect client = shown ? window.geometry() : clientAsked;
    FitInput in;
    in.holderWidth = float(picSlide.Width);
    in.holderHeight = float(picSlide.Height);
    // In the monitor's own coordinates, as the fit knows a screen at 0, 0.
    in.screenWidth = float(monitor.Width());
    in.screenHeight = float(monitor.Height());
    in.tppx = float(tppx);
    in.tppy = float(tppy);
    in.left = float((outer.x() - monitor.pixels.x()) * tppx);
    in.top = float((outer.y() - monitor.pixels.y()) * tppy);
    in.width = float(outer.width() * tppx);
    in.height = float(outer.height() * tppy);
    in.scaleWidth = float(client.width() * tppx);
    in.scaleHeight = float(client.height() * tppy);
    in.normalState = !(window.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    const FitRect r = FitWindow(in);
    NewLeft = r.left + float(monitor.Left());
    NewTop = r.top + float(monitor.Top());
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
