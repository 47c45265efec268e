#include "app/Main.h"

#include "app/CommandLine.h"
#include "app/Settings.h"
#include "app/SettingsRules.h"
#include "app/basSlides.h"
#include "browser/frmFiles.h"
#include "platform/Screen.h"

#include <QDir>
#include <QStandardPaths>

#include <algorithm>

namespace basSlides {

void RestoreBrowserPath()
{
    frmFiles &browser = platform::SharedForm<frmFiles>::Get();
    if (FileSys().DriveExists(CurrentPath)) {
        browser.drvFiles->SetDrive(CurrentPath);
        if (FileSys().FolderExists(CurrentPath))
            browser.dirFiles->SetPath(CurrentPath);
    }
    // An assignment that changes nothing runs no handler: make sure the file list shows
    // CurrentPath all the same.
    if (browser.lstFiles->Tag() != CurrentPath)
        browser.dirFiles_Change();
}

void Main(const QString &commandLine)
{
    InitSharedState();
    QString chosenFile;
    if (commandLine.isEmpty()) {
        CurrentPath = settings::Get(settings::kPathName, QString());
        if (CurrentPath.isEmpty()) {
            CurrentPath = startup::DefaultStartFolder(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation),
                                                      QDir::homePath(),
                                                      [](const QString &f) { return FileSys().FolderExists(f); });
        }
    } else {
        CurrentPath = startup::ArgumentPath(commandLine, platform::CurrentFolder());
        // A file opened from the desktop: its folder, with the file chosen.
        if (FileSys().FileExists(CurrentPath)) {
            const qsizetype cut = CurrentPath.lastIndexOf(platform::kSeparator);
            chosenFile = CurrentPath.mid(cut + 1);
            CurrentPath = CurrentPath.left(std::max<qsizetype>(cut, 1));
        }
    }
    CurrentPath = platform::WithSeparator(CurrentPath);
    RestoringPath = true;
    platform::SetScreenPointer(platform::vbHourglass);
    frmFiles &browser = platform::SharedForm<frmFiles>::Get();
    browser.show();
    RestoreBrowserPath();
    RestoringPath = false;
    platform::SetScreenPointer(platform::vbDefault);
    if (!chosenFile.isEmpty()) {
        for (int i = 0; i < browser.lstFiles->ListCount(); ++i) {
            if (browser.lstFiles->List(i) == chosenFile) {
                browser.lstFiles->SetListIndex(i);
                break;
            }
        }
    }
}

} // namespace basSlides
