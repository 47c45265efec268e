#pragma once

#include "picture/PictureLoader.h"

#include <QByteArray>
#include <QImage>
#include <QMutex>
#include <QString>

// The desktop's shared thumbnail cache: file managers use the thumbnails made here, and these
// use theirs. A thumbnail is a PNG named after the MD5 of the file's URI, in a folder per size,
// carrying the URI, modification time and size of the file it was made from; it is used only
// while those still match. A file that cannot be made into a thumbnail gets an entry among this
// program's failures and is not tried again until it changes.
namespace picture {

// The cache's sizes: the long side of the thumbnails each folder holds.
enum class ThumbnailFlavour
{
    Normal,  // 128
    Large,   // 256
    XLarge,  // 512
    XXLarge, // 1024
};
int FlavourPixels(ThumbnailFlavour flavour);
QByteArray FlavourFolder(ThumbnailFlavour flavour);
// The smallest flavour whose thumbnails reach `box` (the largest one beyond that).
ThumbnailFlavour FlavourFor(int box);

// "file://" and the absolute path's bytes, each byte other than letters, digits and
// !$&'()*+,-./:=@_~ written as %XX (upper-case hex), as the desktop's file managers write it.
QByteArray ThumbnailUri(const QByteArray &absolutePath);
// The thumbnail's file name for that URI: its MD5 in lower-case hex, and ".png".
QByteArray ThumbnailFileName(const QByteArray &uri);

class ThumbnailCache
{
public:
    // `root` is the cache's "thumbnails" folder; the desktop's by default.
    explicit ThumbnailCache(const QString &root = DefaultRoot());
    ThumbnailCache(const ThumbnailCache &) = delete;
    ThumbnailCache &operator=(const ThumbnailCache &) = delete;

    // $XDG_CACHE_HOME/thumbnails, or ~/.cache/thumbnails when that is unset or not absolute.
    static QString DefaultRoot();
    QString Root() const { return m_root; }

    enum class Source
    {
        Cache,        // a valid thumbnail of the wanted size was there
        Larger,       // made from a valid larger one (and stored at the wanted size)
        Picture,      // decoded from the file (or its EXIF thumbnail)
        KnownFailure, // this program failed on the file before, and it has not changed since
        Failed,       // could not be made now
    };
    struct Thumbnail
    {
        QImage image; // paint-ready, fitting `box` x `box`; null when Source is a failure
        Source source = Source::Failed;
        PictureProblem problem = PictureProblem::None;
    };

    // The thumbnail of `path` fitting a `box` x `box` square: from the cache when a valid one is
    // there, else made and stored. Nothing is stored for a file whose time cannot be read or that
    // lies inside the cache; a cache that cannot be written leaves the thumbnail unstored and
    // says nothing. Does file I/O: call it on a worker. Safe from any number of threads at once.
    Thumbnail Fetch(const QString &path, int box) const;

private:
    QByteArray canonicalRoot() const;

    QString m_root;
    QByteArray m_rootBytes;
    mutable QMutex m_lock;
    mutable QByteArray m_canonicalRoot; // under m_lock, once the folder exists
};

} // namespace picture
