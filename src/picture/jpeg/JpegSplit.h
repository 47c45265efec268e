#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

namespace picture {

// A large JPEG decoded reduced on two cores. The coded data of a baseline file is one stream
// that cannot be entered in the middle, so one thread decodes the top rows with libjpeg while
// another walks the codes to a later row, learns the decoder's state there, and gives a second
// libjpeg a copy of the file that starts at that row (only the first codes of the row are
// written anew). The result is exactly what one libjpeg decode gives.
class JpegSplit
{
public:
    // The picture reduced by scaleNum/8 as libjpeg decodes it (RGB32), or nullopt when the
    // file is not one this can split (progressive, restart markers, not colour, not reduced so
    // that every component is decoded at its final size, damaged where it would be split...):
    // the caller then decodes it in one piece.
    static std::optional<QImage> decode(const QByteArray &bytes, int scaleNum);

    // Whether splitting pays for a file of this many pixels on this machine.
    static bool worthIt(qint64 pixels);

    // Whether decodes on the calling thread may split (the default). Callers that already keep
    // every core busy with decodes of their own turn it off: there the second pass over the
    // codes is only extra work.
    static void allowOnThisThread(bool allowed);
    static bool allowedOnThisThread();

    // For tests: split at the first possible row at or after `row` (in MCU rows; the result says
    // which row was taken), or nullopt.
    static std::optional<QImage> decodeAt(const QByteArray &bytes, int scaleNum, int row, int *taken);

    // For tests: the next second thread fails to allocate its tables (std::bad_alloc), as it may
    // under memory pressure.
    static void failNextWalkerForTest();
};

} // namespace picture
