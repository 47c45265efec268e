#pragma once

#include <QString>

class frmFiles;

namespace basSlides {

// The program's start: shared state, the start folder (the command-line text, else the saved
// folder, else the user's Pictures folder, else home), the browser, and its lists put on that
// folder. The command-line text keeps the bytes of names that are not UTF-8 (DecodeName).
void Main(const QString &commandLine);

// The picture the viewer shows before the browser is built: the command-line text naming a
// picture file, as the viewer is given it; else empty. Needs no application object.
QString PictureShownFirst(const QString &commandLine);

// Puts the browser's drive and folder lists back on CurrentPath (RestoringPath set meanwhile),
// as the start does and as a show does when it hands back to the browser.
void RestoreBrowserPath();

// Shows the browser (loading it when it is not) and puts its lists back on CurrentPath, with the
// wait pointer meanwhile and the default pointer after: the start, and every way back from a
// show. `activate` gives it the keys.
frmFiles &HandBackToBrowser(bool activate = false);

} // namespace basSlides
