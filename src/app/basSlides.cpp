#include "app/basSlides.h"

#include "collection/PictureScan.h"

namespace basSlides {

QString CurrentPath;
bool RestoringPath = false;
clsLinkList PictureList;
clsLinkList ShowList;
int32_t PictureCount = 0;

namespace {
std::unique_ptr<base::FileSys> g_fileSys;
std::unique_ptr<RandomSource> g_random;
} // namespace

base::FileSys &FileSys()
{
    if (!g_fileSys)
        g_fileSys = std::make_unique<base::FileSys>();
    return *g_fileSys;
}

RandomSource &Random()
{
    if (!g_random)
        g_random = std::make_unique<ClockSeededRandom>();
    return *g_random;
}

void SetRandom(std::unique_ptr<RandomSource> source)
{
    g_random = std::move(source);
}

void InitSharedState()
{
    SetRandom(std::make_unique<ClockSeededRandom>());
    PictureList.Clear();
    PictureList.Dims(1);
    PictureList.Sorted(true);
    ShowList.Clear();
    ShowList.Dims(1);
    ShowList.Sorted(false);
    PictureCount = 0;
}

void ScanPictures(const QString &folder, bool includeSubDirs, const QString &showMode)
{
    PictureCount = collection::BuildShowList(folder, includeSubDirs, showMode, PictureList, ShowList, Random(), FileSys());
}

} // namespace basSlides
