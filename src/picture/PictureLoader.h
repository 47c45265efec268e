#pragma once

#include "picture/Budget.h"

#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <functional>
#include <optional>

// Picture loading for the browser and the show: BMP, JPEG, GIF (first frame), ICO and CUR
// through QImageReader, and Windows metafiles (WMF) through our own image-format plugin on
// libwmf, which is built in and registered with QImageReader as format "wmf" whenever this
// library is linked (no plugin path or environment variable involved).
//
// The format is chosen by content, except that a ".wmf" file always goes to the metafile
// reader. A file named as one of the seven kinds (.bmp, .jpg, ...) is read only as one of them
// or as PNG (a PNG saved under another extension still shows); any other format is refused for
// it, so that a damaged file is not taken for one of Qt's loosely recognised formats (TGA, ...)
// and shown as noise. Other files are read in any format the installed Qt image plugins know
// (WebP, TIFF, ...). A few headers Qt turns down although the picture is sound are repaired in
// memory first (see HeaderRepair.h).
//
// Every picture is bounded. Only regular files are read (opened without blocking, never more
// than their size). One decode allocates at most kDecodeBudgetBytes, the decoder's own buffers
// included, and decodes that together would exceed it wait for each other; a header whose
// buffers would exceed it is refused before anything is allocated. The work is bounded in the
// format's own units: JPEG scans and coded blocks (see JpegFrame.h), rows (through the memory
// cap), metafile records and primitives (see WmfRenderer.h).
//
// Every function here may be called from any thread at once (the show decodes the next picture
// ahead on a worker). Metafile rendering is serialised internally because libwmf is not known
// to be thread-safe.
namespace picture {

// Why a picture could not be loaded.
enum class PictureProblem
{
    None,
    Unreadable,   // missing, not allowed, or not a regular file
    NotAPicture,  // no reader knows the content
    Damaged,      // a reader knows it, but the data is broken or claims what it does not hold
    TooLarge,     // over the memory or work a picture may cost
};


struct PictureInfo
{
    // Raster: the upright pixel size, EXIF orientation applied (a photo stored on its side
    // reports its width and height swapped); for icons and cursors the largest entry.
    // Metafile: twips / 15 rounded, i.e. the size at 96 DPI.
    QSize pixels;
    bool isMetafile = false;
    // The natural size in twips (1/1440 inch). Metafiles: from the placeable header, else from
    // the window extent (rules in WmfHeader.h), else as the drawing measures. Raster pictures:
    // pixels * 15 (one pixel per 96-DPI screen pixel; the file's own DPI is not used).
    QSizeF twips;
};

// Reads only what is needed for the natural size (a metafile's records up to the first
// drawing, at worst a measuring pass). Nullopt for a missing, unreadable, unsupported or
// sizeless file.
std::optional<PictureInfo> ReadPictureInfo(const QString &path);

// The size DecodePicture returns for a picture of natural size `info` drawn at `target`:
//  - empty target: the natural size;
//  - metafile: exactly `target`;
//  - raster: the smallest size with the picture's own aspect that covers `target` in both
//    directions, but never larger than natural (enlarging is left to the painter).
// Pass the size the picture will be drawn at (same aspect), not the screen: a screen-shaped
// target makes a picture of another shape decode larger than it is shown.
QSize PictureDecodeSize(const PictureInfo &info, QSize target);

// Decodes the upright picture at PictureDecodeSize(info, target). JPEG uses libjpeg's DCT
// scaling, so a large photo asked for at screen size costs a fraction of a full decode. An
// icon whose largest entry is broken falls back to the next one, at that entry's own size.
// The colours are those of an sRGB display (see LoadPicture). Returns a null image on any failure: missing, unreadable, unsupported, corrupt, or absurd
// (buffers beyond kDecodeBudgetBytes, more pixels than its data can hold, more JPEG scans or
// metafile work than allowed; a metafile canvas beyond WmfRenderer's caps). The image comes in a format the raster paint
// engine draws directly (RGB32, or ARGB32_Premultiplied when it has transparency).
QImage DecodePicture(const QString &path, QSize target = {});

struct LoadedImage
{
    QImage image; // null on failure
    PictureInfo info;
    PictureProblem problem = PictureProblem::None;
    QString colourNote; // why the picture's or the display's colour profile was ignored, if it was
};

// Reads the file once and decodes it at PictureDecodeSize(info, target(info)): for callers that
// pick the size from the natural size. On failure the image is null and `problem` says why.
// When `proceed` is given and returns false for the natural size, nothing is decoded: the image
// is null, `info` is filled and `problem` is None.
// The pixels come in the colours of `displayProfile` (an ICC profile; empty for sRGB), converted
// from the picture's own profile (sRGB when it has none; see Colour.h).
LoadedImage LoadPicture(const QString &path, const std::function<QSize(const PictureInfo &)> &target,
                        const std::function<bool(const PictureInfo &)> &proceed = {},
                        const QByteArray &displayProfile = {});

} // namespace picture
