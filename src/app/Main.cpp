#include "app/Main.h"

#include "app/Settings.h"
#include "app/SettingsRules.h"
#include "app/basSlides.h"
#include "browser/frmFiles.h"
#include "platform/Screen.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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
        CurrentPath = settings::Get(settings::kPathName, QCoreApplication::applicationDirPath());
    } else {
        CurrentPath = QDir::isAbsolutePath(commandLine) ? commandLine : QDir::current().absoluteFilePath(commandLine);
        // A file opened from the desktop: its folder, with the file chosen.
        const QFileInfo file(CurrentPath);
        if (file.isFile()) {
            chosenFile = file.fileName();
            CurrentPath = file.absolutePath();
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
