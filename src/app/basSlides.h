#pragma once

#include "collection/RandomSource.h"
#include "collection/clsLinkList.h"
#include "base/FileSys.h"

#include <QString>

#include <cstdint>
#include <memory>

// The state that all windows share for the whole run.
namespace basSlides {

// The one file-system object, made on first use.
base::FileSys &FileSys();

extern QString CurrentPath;     // the current folder; ends in the separator after Main
extern bool RestoringPath;      // true while code puts the browser's lists back on CurrentPath
extern clsLinkList PictureList; // the last scan's pictures, in name order (sorted)
extern clsLinkList ShowList;    // the show's pictures, in show order
extern int32_t PictureCount;    // pictures of the current show

// The program's random numbers, seeded once at startup; tests may put in their own.
RandomSource &Random();
void SetRandom(std::unique_ptr<RandomSource> source);

// Seeds the random source and gives both lists their roles (the first steps of Main).
void InitSharedState();

// The scan before a show, over the shared lists; showMode is the show window's Tag.
void ScanPictures(const QString &folder, bool includeSubDirs, const QString &showMode);

} // namespace basSlides
