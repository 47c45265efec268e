#pragma once

#include "collection/RandomSource.h"
#include "collection/clsLinkList.h"

#include <QString>
#include <QStringView>

#include <cstdint>

namespace platform {
class FileSys;
}

// Picture files are known by their name's extension alone: .BMP .JPG .JPEG .GIF .ICO .CUR .WMF
// in any letter case (a file named just ".gif" is a picture).
bool IsPictureName(QStringView name);

// Adds the picture files of `folder` (and of every folder below it when asked) to the sorted
// list. A folder that cannot be listed is skipped; a folder reached twice (links) is entered
// once; folders whose names start with "." are not entered.
void AddPictureFiles(const QString &folder, bool includeSubDirs, clsLinkList &pictureList,
                     const platform::FileSys &fileSys);

// Draws `times` entries from `from` into `to` at random: each draw takes the k-th remaining entry,
// k = whole part of (random x remaining), appends it to `to` and removes it from `from`.
void DealRandomOrder(clsLinkList &from, clsLinkList &to, int32_t times, RandomSource &random);

// The scan before a show. Afterwards `pictureList` is empty, `showList` holds every picture in
// show order (name order, or a random deal when showMode is exactly "Random") and the result is
// the number of pictures found.
int32_t ScanPictures(const QString &folder, bool includeSubDirs, const QString &showMode,
                     clsLinkList &pictureList, clsLinkList &showList, RandomSource &random,
                     const platform::FileSys &fileSys);
