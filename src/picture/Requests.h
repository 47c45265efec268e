#pragma once

#include "picture/PictureLoader.h"

#include <QByteArray>
#include <QFuture>
#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringList>

// The windows' one way to a picture: a request names the file and the box it will be shown in,
// and the decoded picture comes back as a future. The viewer's decode, the show's decode-ahead
// and the decode of the picture given at start are all requests; a picture decoded ahead is
// handed to the request that asks for it. Decodes run on threads of this component, never on
// the window thread.
namespace picture {

struct Request
{
    QString path;
    QSize bound;         // the box it is shown within, in pixels (the screen)
    double tppx = 15.0;  // twips per pixel of that screen
    double tppy = 15.0;
    // False leaves a metafile undecoded: drawing one needs the fonts of a running application.
    bool metafiles = true;
    // The ICC profile of the display it is shown on; empty for sRGB.
    QByteArray displayProfile = {};
};

// A picture decoded to be shown: no larger than it will be shown, never smaller.
struct ShownPicture
{
    bool ok = false;
    QImage image;
    QSizeF twips;                          // its natural size
    QString stamp;                         // the file's size and time when it was read
    PictureInfo info;                      // what the decode size was chosen from
    PictureProblem problem = PictureProblem::None; // why not, when not ok
    QString colourNote;                    // why a colour profile was ignored, when one was
};

// Size and modification time of the file, "" when it is not there.
QString FileStamp(const QString &path);

// The size a picture of natural size `info` is decoded at when shown within `bound` pixels of a
// screen of tppx x tppy twips per pixel: stretched to fit, ratio kept, rounded up.
QSize ShownSize(const PictureInfo &info, QSize bound, double tppx, double tppy);

// Decodes on the calling thread.
ShownPicture LoadShown(const Request &request);

// The picture for `request`. One decoded ahead for the same file, box, screen and display
// profile is taken when
// the file has not changed since it was read (and is not a metafile left undecoded); otherwise
// it is decoded now.
QFuture<ShownPicture> Decode(const Request &request);

// Starts decoding `request` for a Decode to come. The latest kKeptAhead are kept; an older one is
// dropped (its result unused).
constexpr int kKeptAhead = 2;
void DecodeAhead(const Request &request);

// The files decoded ahead and not yet asked for, oldest first.
QStringList DecodingAhead();

// How many decodes for requests have run in this process (for tests and measurements).
int DecodesRun();

// Waits until every decode ahead has finished (they stay there to be taken).
void WaitForDecodesAhead();

// Waits for every decode in flight and drops what was decoded ahead. Called before the program
// ends, so that no decode outlives what it uses.
void FinishDecodes();

} // namespace picture
