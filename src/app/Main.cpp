#include "app/Main.h"

#include "app/CommandLine.h"
#include "app/Settings.h"
#include "app/SettingsRules.h"
#include "app/basSlides.h"
#include "browser/frmFiles.h"
#include "collection/PictureScan.h"
#include "display/frmSlide.h"
#include "forms/ProgramIcon.h"
#include "platform/FrameExtents.h"
#include "platform/Screen.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QStandardPaths>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace basSlides {

namespace {

// Lets the window come on screen and paint before more work holds up the event loop. Bounded,
// so a window manager that never maps the window costs no more than a moment; the user's input
// waits until the program is ready for it.
void WaitUntilOnScreen(QWidget &window)
{
    const QDeadlineTimer deadline(250);
    QTimer wake; // ends the last wait below at the deadline
    wake.start(250);
    while (!deadline.hasExpired() && window.isVisible()
           && !(window.windowHandle() && window.windowHandle()->isExposed()))
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    // The exposed window has painted; this sends the picture to the screen.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

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

frmFiles &HandBackToBrowser(bool activate)
{
    {
        const platform::WaitPointer wait;
        RestoringPath = true;
        frmFiles &browser = platform::SharedForm<frmFiles>::Get();
        browser.show();
        if (activate)
            browser.activateWindow();
        RestoreBrowserPath();
        RestoringPath = false;
    }
    // Whatever was up before (the show's own pointer included) has gone with the show.
    platform::SetScreenPointer(platform::vbDefault);
    return platform::SharedForm<frmFiles>::Get();
}

namespace {

// The start folder and the file chosen in it for a command-line text naming a file.
void SplitChosenFile(const QString &path, QString &folder, QString &file)
{
    const qsizetype cut = path.lastIndexOf(base::kSeparator);
    file = path.mid(cut + 1);
    folder = base::WithSeparator(path.left(std::max<qsizetype>(cut, 1)));
}

} // namespace

QString PictureShownFirst(const QString &commandLine)
{
    if (commandLine.isEmpty())
        return QString();
    const QString path = app::ArgumentPath(commandLine, base::CurrentFolder());
    if (!FileSys().FileExists(path))
        return QString();
    QString folder, file;
    SplitChosenFile(path, folder, file);
    return collection::IsPictureName(file) ? folder + file : QString();
}

void Main(const QString &commandLine)
{
    InitSharedState();
    QString chosenFile;
    if (commandLine.isEmpty()) {
        CurrentPath = app::Get(app::kPathName, QString());
        if (CurrentPath.isEmpty()) {
            CurrentPath = app::DefaultStartFolder(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation),
                                                      QDir::homePath(),
                                                      [](const QString &f) { return FileSys().FolderExists(f); });
        }
    } else {
        CurrentPath = app::ArgumentPath(commandLine, base::CurrentFolder());
        // A file opened from the desktop: its folder, with the file chosen.
        if (FileSys().FileExists(CurrentPath))
            SplitChosenFile(QString(CurrentPath), CurrentPath, chosenFile);
    }
    CurrentPath = base::WithSeparator(CurrentPath);
    // A picture given to open is what the user waits for: the viewer shows it before the browser
    // is built. The browser, once there, chooses it in its list as if clicked, which would read
    // it again; it is already on screen.
    const bool pictureFirst = !chosenFile.isEmpty() && collection::IsPictureName(chosenFile);
    if (pictureFirst) {
        frmSlide &viewer = platform::SharedForm<frmSlide>::Get();
        viewer.ChangePicture(CurrentPath + chosenFile);
        WaitUntilOnScreen(viewer);
    }
    // The program's icon, for every window. The window manager reads a window's icon before it
    // frames the window, so the viewer put up first gets it only now that its picture is there.
    QApplication::setWindowIcon(forms::ProgramIcon());
    if (frmSlide *viewer = platform::SharedForm<frmSlide>::IfLoaded())
        viewer->setWindowIcon(QApplication::windowIcon());
    frmFiles &browser = HandBackToBrowser();
    if (chosenFile.isEmpty())
        return;
    int chosen = -1;
    for (int i = 0; i < browser.lstFiles->ListCount(); ++i) {
        if (browser.lstFiles->List(i) == chosenFile) {
            chosen = i;
            break;
        }
    }
    if (!pictureFirst) {
        if (chosen >= 0)
            browser.lstFiles->SetListIndex(chosen);
        return;
    }
    frmSlide *viewer = platform::SharedForm<frmSlide>::IfLoaded();
    if (chosen < 0 || !viewer || browser.lstFiles->Tag() + chosenFile != viewer->windowTitle()) {
        // Not the picture the list holds after all (an unlisted folder): the list decides.
        platform::SharedForm<frmSlide>::Unload();
        if (chosen >= 0)
            browser.lstFiles->SetListIndex(chosen);
        return;
    }
    const std::function<void()> click = std::exchange(browser.lstFiles->onClick, nullptr);
    browser.lstFiles->SetListIndex(chosen);
    browser.lstFiles->onClick = click;
    // Made before the browser, the viewer is tied to it now: kept above it while it has the keys.
    platform::SetTransientFor(*viewer, browser);
    browser.activateWindow(); // as the viewer leaves it when a picture is chosen
}

} // namespace basSlides
