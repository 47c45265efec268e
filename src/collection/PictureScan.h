#pragma once

#include "collection/RandomSource.h"
#include "collection/clsLinkList.h"

#include <QString>
#include <QStringView>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace base {
class FileSys;
}

namespace collection {

// Picture files are known by their name's extension alone: .BMP .JPG .JPEG .GIF .ICO .CUR .WMF
// in any letter case (a file named just ".gif" is a picture).
bool IsPictureName(QStringView name);

// What a scan shares with the thread that waits for it: the number of pictures found so far,
// and a request to stop. A stopped scan adds nothing. The scan looks at `cancel` between the
// entries of a folder, between the steps of its sort and between random draws, so a stop
// reaches it at once unless the file system itself does not answer.
struct ScanProgress
{
    std::atomic<bool> cancel{false};
    std::atomic<int32_t> found{0};
    // Runs on the scanning thread before each folder is read; lets tests slow a scan down.
    std::function<void()> beforeFolder;

    // Asks the scan to stop. True when it had already begun drawing random numbers: it then
    // ends within one draw and must be waited for before the random source is used elsewhere.
    // When false it never draws, so a scan stuck in the file system may be left to itself.
    bool Stop();
    // Taken by the scan before its first draw: false once Stop has been called.
    bool BeginDraws();

private:
    std::mutex m_drawGate;
    bool m_drawing = false;
};

// Adds the picture files of `folder` (and of every folder below it when asked) to the sorted
// list. A folder that cannot be listed is skipped; a folder reached twice (links) is entered
// once; folders whose names start with "." are not entered.
void AddPictureFiles(const QString &folder, bool includeSubDirs, clsLinkList &pictureList,
                     const base::FileSys &fileSys, ScanProgress *progress = nullptr);

// Draws `times` entries from `from` into `to` at random: each draw takes the k-th remaining entry,
// k = whole part of (random x remaining), appends it to `to` and removes it from `from`.
// False when `stop` was set part way; both lists are then incomplete and meant to be dropped.
bool DealRandomOrder(clsLinkList &from, clsLinkList &to, int32_t times, RandomSource &random,
                     const std::atomic<bool> *stop = nullptr);

// The scan before a show. Afterwards `pictureList` is empty, `showList` holds every picture in
// show order (name order, or a random deal when showMode is exactly "Random") and the result is
// the number of pictures found. A scan stopped through `progress` leaves both lists empty and
// gives 0, as a folder without pictures does, and draws no random numbers.
int32_t BuildShowList(const QString &folder, bool includeSubDirs, const QString &showMode,
                     clsLinkList &pictureList, clsLinkList &showList, RandomSource &random,
                     const base::FileSys &fileSys, ScanProgress *progress = nullptr);

} // namespace collection
