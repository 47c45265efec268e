#include "app/CommandLine.h"
#include "app/Main.h"
#include "app/PlatformChoice.h"
#include "platform/FileSys.h"
#include "platform/SharedForm.h"

#include <QApplication>

#include <cstdio>
#include <filesystem>
#include <system_error>

int main(int argc, char *argv[])
{
    // The whole text is the folder, in its own bytes; only a text that is nothing but an option
    // is one. Options are answered before any window system is asked for, so they work without a
    // display, and a refused one leaves no window and no settings behind.
    const QByteArray text = startup::ArgumentText(argc, argv);
    const startup::OptionAnswer answer = startup::AnswerOption(text, [](const QByteArray &path) {
        std::error_code error;
        return std::filesystem::exists(std::filesystem::path(path.toStdString()), error);
    });
    if (answer.exitStatus >= 0) {
        std::fwrite(answer.out.constData(), 1, size_t(answer.out.size()), stdout);
        std::fwrite(answer.err.constData(), 1, size_t(answer.err.size()), stderr);
        return answer.exitStatus;
    }
    startup::ApplyPlatformChoice(); // X11 under XWayland: windows may place themselves there
    // Qt sees no argument: a folder named like one of its options (-reverse, -style) is a folder.
    static int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.24"));
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvel"));
    // The run ends when no window of the program is loaded any more.
    QApplication::setQuitOnLastWindowClosed(false);
    platform::FormBase::SetEndRunWhenNoWindow(true);
    basSlides::Main(platform::DecodeName(text.constData(), size_t(text.size())));
    return QApplication::exec();
}
