#pragma once

#include "platform/picture/PictureLoader.h"

#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>

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
    platform::PictureProblem problem = platform::PictureProblem::None; // why not, when not ok
};

// Size and modification time of the file, "" when it is not there.
QString FileStamp(const QString &path);

// Loads the picture to be shown within `bound` pixels (the screen).
LoadedPicture LoadForDisplay(const QString &path, QSize bound, double tppx, double tppy);

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
