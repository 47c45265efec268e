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

QSize DisplayBound()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return s ? s->geometry().size() : QSize(1024, 768);
}

QByteArray DisplayProfileFor(const QWidget *window)
{
    return platform::DisplayProfile(window && window->screen() ? window->screen() : QGuiApplication::primaryScreen());
}

bool RedecodeColours(const QString &name, PictureBox &picSlide, QWidget &window)
{
    if (picSlide.Picture.isNull() || name.isEmpty())
        return false;
    const QPointer<QWidget> alive(&window);
    const picture::ShownPicture loaded = AwaitPicture(
        {name, DisplayBound(), platform::TwipsPerPixelX(), platform::TwipsPerPixelY(), true, DisplayProfileFor(&window)},
        window);
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
    const double tppx = platform::TwipsPerPixelX(), tppy = platform::TwipsPerPixelY();
    const QPointer<QWidget> alive(&window);
    const picture::ShownPicture loaded = AwaitPicture({PictureName, DisplayBound(), tppx, tppy, true, DisplayProfileFor(&window)}, window);
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
