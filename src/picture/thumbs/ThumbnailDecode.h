#pragma once

#include "picture/PictureLoader.h"

#include <QImage>
#include <QSize>
#include <QString>

// A picture decoded small, for a thumbnail: upright (EXIF orientation applied), fitting a square
// box with its own aspect, never enlarged (a metafile is drawn at the box's size). It costs no
// more than showing the picture would: the same reader, bounds and memory budget
// (PictureLoader.h), only at the smallest size that serves.
namespace picture {

struct ThumbnailPicture
{
    QImage image;    // paint-ready (RGB32 or ARGB32_Premultiplied); null on failure
    QSize natural;   // the picture's upright size in pixels, when known
    PictureProblem problem = PictureProblem::None;
    bool fromExif = false; // taken from the thumbnail a camera stored in the JPEG
};

// A JPEG's own EXIF thumbnail is used when its long side reaches `box` and it has the picture's
// shape (a letterboxed one would show bars); otherwise the picture is decoded at the smallest
// DCT scale that still covers the box. GIFs give their first frame, icons their best entry.
ThumbnailPicture DecodeThumbnail(const QString &path, int box);

// `size` shrunk to fit a `box` x `box` square with its own aspect, never enlarged, never empty.
QSize FitThumbnail(QSize size, int box);

} // namespace picture
