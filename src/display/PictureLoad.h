#pragma once

#include "picture/PictureLoader.h"

#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <chrono>
#include <future>

namespace display {

// A picture decoded for display: the image (no larger than it will be shown, never below it)
// and its natural size in twips.
struct LoadedPicture
{
    bool ok = false;
    QImage image;
    QSizeF twips;
    QString stamp; // the file's size and time when it was read
    picture::PictureInfo info; // the natural size the decode size was chosen from
    QSize target;               // the size it was decoded for (see DisplayTarget)
    picture::PictureProblem problem = picture::PictureProblem::None; // why not, when not ok
};

// Size and modification time of the file, "" when it is not there.
QString FileStamp(const QString &path);

// The size a picture of natural size `info` is decoded for when shown within `bound` pixels:
// fitted into it, kept sharp, never wasted.
QSize DisplayTarget(const picture::PictureInfo &info, QSize bound, double tppx, double tppy);

// Loads the picture to be shown within `bound` pixels (the screen). `metafiles` false leaves a
// metafile undecoded (not ok): it needs the fonts of a running application.
LoadedPicture LoadForDisplay(const QString &path, QSize bound, double tppx, double tppy, bool metafiles = true);

// The picture given on the command line, decoded on a worker while Qt starts up. Started before
// the application object exists, for a screen of `bound` pixels asked of the window system
// directly; the first viewer takes it when it is what it would decode itself.
void StartLaunchDecode(const QString &path, QSize bound);
// Whether a launch decode for `path` is under way within `bound` (not yet taken).
bool LaunchDecodePending(const QString &path, QSize bound);
// Whether it has finished, waiting at most `wait` for it.
bool LaunchDecodeReady(std::chrono::milliseconds wait);
// The launch decode's result when it holds exactly what LoadForDisplay(path, bound, tppx, tppy)
// would return now (same file, same decode size); else not ok and `found` false. Waits for it.
LoadedPicture TakeLaunchDecode(const QString &path, QSize bound, double tppx, double tppy, bool &found);
// Waits for a launch decode never taken and drops it.
void EndLaunchDecode();

// Decodes one picture ahead on a worker thread, so that the next change of a show finds it ready.
class AheadDecoder
{
public:
    ~AheadDecoder();
    void Start(const QString &path, QSize bound, double tppx, double tppy);
    // The result for `path` if it was started and the file has not changed since (waiting for
    // it if need be); else not ok and `found` false. Either way the decoder is empty afterwards.
    LoadedPicture Take(const QString &path, bool &found);
    QString Pending() const { return m_path; }
    bool Ready() const;

private:
    QString m_path;
    QSize m_bound;
    std::future<LoadedPicture> m_future;
};

} // namespace display
