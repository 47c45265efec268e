#pragma once

#include "collection/RandomSource.h"
#include "collection/clsLinkList.h"

#include <QString>
#include <QStringView>

#include <atomic>
#include <cstdint>
#include <functional>

namespace base {
class FileSys;
}

namespace collection {

// Picture files are known by their name's extension alone: .BMP .JPG .JPEG .GIF .ICO .CUR .WMF
// in any letter case (a file named just ".gif" is a picture).
bool IsPictureName(QStringView name);

// What a scan shares with the thread that waits for it: the number of pictures found so far,
// and a request to stop. A stopped scan adds nothing.
struct ScanProgress
{
    std::atomic<bool> cancel{false};
    std::atomic<int32_t> found{0};
    // Runs on the scanning thread before each folder is read; lets tests slow a scan down.
    std::function<void()> beforeFolder;
};

// Adds the picture files of `folder` (and of every folder below it when asked) to the sorted
// list. A folder that cannot be listed is skipped; a folder reached twice (links) is entered
// once; folders whose names start with "." are not entered.
void AddPictureFiles(const QString &folder, bool includeSubDirs, clsLinkList &pictureList,
                     const base::FileSys &fileSys, ScanProgress *progress = nullptr);

// Draws `times` entries from `from` into `to` at random: each draw takes the k-th remaining entry,
// k = whole part of (random x remaining), appends it to `to` and removes it from `from`.
void DealRandomOrder(clsLinkList &from, clsLinkList &to, int32_t times, RandomSource &random);

// The scan before a show. Afterwards `pictureList` is empty, `showList` holds every picture in
// show order (name order, or a random deal when showMode is exactly "Random") and the result is
// the number of pictures found. A scan stopped through `progress` leaves both lists empty and
// gives 0, as a folder without pictures does, and draws no random numbers.
int32_t BuildShowList(const QString &folder, bool includeSubDirs, const QString &showMode,
                     clsLinkList &pictureList, clsLinkList &showList, RandomSource &random,
                     const base::FileSys &fileSys, ScanProgress *progress = nullptr);

} // namespace collection
