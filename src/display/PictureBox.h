#pragma once

#include <QImage>
#include <QString>

namespace display {

// The hidden holder a display window loads its picture into: the picture and its natural size
// in twips (the design size until a picture is loaded).
struct PictureBox
{
    QImage Picture;
    double Width = 972;
    double Height = 372;
    QString Tag;
};

} // namespace display
