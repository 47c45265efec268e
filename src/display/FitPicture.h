#pragma once

#include "display/PictureBox.h"

#include "picture/PictureLoader.h"

#include <QString>


class QWidget;

namespace platform {
class StretchImage;
}

namespace display {

// Loads a picture into the window's holder and works out the window rectangle that shows it at
// its natural size, or reduced to fit the screen with its ratio kept, on the screen. False when
// the file cannot be loaded: then nothing has changed and the outputs are not written;
// `problem`, when given, says why.
bool FitPicture(const QString &PictureName, PictureBox &picSlide, platform::StretchImage &imgSlide, QWidget &window,
                float &NewLeft, float &NewTop, float &NewWidth, float &NewHeight,
                picture::PictureProblem *problem = nullptr);

// The viewer's line for a file it cannot show, with the reason when one is known.
QString CannotShowText(picture::PictureProblem problem);

// The colour profile of the monitor that holds `window`, for its pictures' requests (empty: sRGB).
QByteArray DisplayProfileFor(QWidget &window);

// Decodes the picture `name` shown in `picSlide` again for `window` after the display's colour
// profile changed; the natural size and the window are left as they are. False when nothing is
// shown or it no longer decodes (then nothing has changed).
bool RedecodeColours(const QString &name, PictureBox &picSlide, QWidget &window);

// The shared resize rule of the display windows: the picture stretched into the client area
// with its ratio kept, centred; the picture copied into the image, the time stamped, shown.
void PlacePicture(const PictureBox &picSlide, platform::StretchImage &imgSlide, const QWidget &client);

} // namespace display
