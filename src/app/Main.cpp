#include "app/Main.h"

#include "app/Settings.h"
#include "app/SettingsRules.h"
#include "app/basSlides.h"
#include "browser/frmFiles.h"
#include "platform/Screen.h"

#include <QCoreApplication>
#include <QDir>

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
    if (commandLine.isEmpty())
        CurrentPath = settings::Get(settings::kPathName, QCoreApplication::applicationDirPath());
    else
        CurrentPath = QDir::isAbsolutePath(commandLine) ? commandLine : QDir::current().absoluteFilePath(commandLine);
    CurrentPath = platform::WithSeparator(CurrentPath);
    RestoringPath = true;
    platform::SetScreenPointer(platform::vbHourglass);
    frmFiles &browser = platform::SharedForm<frmFiles>::Get();
    browser.show();
    RestoreBrowserPath();
    RestoringPath = false;
    platform::SetScreenPointer(platform::vbDefault);
}

} // namespace basSlides
