#pragma once

#include <QSize>

#include <vector>

class QIODevice;

namespace picture {

// The entries of an icon or cursor file, read from its directory and each entry's own image
// header. Qt's icon reader reports a cursor's colour depth from the directory, where cursors
// keep their hotspot instead, and 256-pixel sizes as 0; the image headers know better.
struct IconDirectory
{
    struct Entry
    {
        int index = 0;    // position in the directory, as QImageReader::jumpToImage counts
        QSize size;
        int bitCount = 0; // colour depth; 32 for PNG entries with alpha
    };

    static constexpr int kMaxEntries = 4096;

    // Entries in directory order; empty when the device holds no icon directory.
    static std::vector<Entry> read(QIODevice *device);

    // Largest area first, the deeper colour first among equals, directory order after that.
    static void sortBestFirst(std::vector<Entry> &entries);
};

} // namespace picture
