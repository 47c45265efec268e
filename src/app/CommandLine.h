#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// What the command line asks for and which folder the browser starts on. Pure functions: the
// caller hands in what they need from the file system.
namespace app {

// The arguments after the program's name joined by single spaces, byte for byte: a name that is
// not UTF-8 keeps its bytes.
QByteArray ArgumentText(int argc, const char *const argv[]);

// The answer to a command line that is an option rather than a folder.
struct OptionAnswer
{
    int exitStatus = -1; // -1: not an option, open the browser
    QByteArray out;      // for standard output
    QByteArray err;      // for standard error
};

// --help/-h and --version count only as the whole text. Any other text that starts with "-" and
// names no existing path (relative to the working folder) is a mistyped option: refused with
// exit status 2, so that no folder named after it is opened or saved.
OptionAnswer AnswerOption(const QByteArray &text, const std::function<bool(const QByteArray &)> &pathExists);

// The folder or picture named on the command line: made absolute against the working folder,
// with "." and ".." resolved and doubled separators dropped.
QString ArgumentPath(const QString &text, const QString &workingFolder);

// Where a first run starts: the user's Pictures folder when it exists, else the home folder.
QString DefaultStartFolder(const QString &pictures, const QString &home,
                           const std::function<bool(const QString &)> &folderExists);

} // namespace app
