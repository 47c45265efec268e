#include "app/Main.h"
#include "app/PlatformChoice.h"
#include "forms/ProgramIcon.h"
#include "platform/SharedForm.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char *argv[])
{
    // The whole text is the folder; only a text that is nothing but an option is one. Options
    // are answered before any window system is asked for, so they work without a display.
    std::string text;
    for (int i = 1; i < argc; ++i)
        text += (i > 1 ? " " : "") + std::string(argv[i]);
    if (text == "--help" || text == "-h") {
        std::fputs("Usage: quorvel [FOLDER | PICTURE]\n"
                   "Browse the pictures of FOLDER (default: the folder of the last run) and show them\n"
                   "full screen; a PICTURE opens its folder and shows it. Options: --help, --version.\n",
                   stdout);
        return 0;
    }
    if (text == "--version") {
        std::fputs("Quorvel 1.0.24\n", stdout);
        return 0;
    }
    startup::ApplyPlatformChoice(); // X11 under XWayland: windows may place themselves there
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.24"));
    QApplication::setWindowIcon(forms::ProgramIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvel"));
    QStringList args = QApplication::arguments();
    args.removeFirst();
    // The run ends when no window of the program is loaded any more.
    QApplication::setQuitOnLastWindowClosed(false);
    platform::FormBase::SetEndRunWhenNoWindow(true);
    basSlides::Main(args.join(QLatin1Char(' ')));
    return QApplication::exec();
}
