#include "app/CommandLine.h"
#include "app/Main.h"
#include "app/PlatformChoice.h"
#include "dialogs/frmScan.h"
#include "picture/Requests.h"
#include "platform/DisplayProfile.h"
#include "platform/Screen.h"
#include "base/FileSys.h"
#include "platform/SharedForm.h"

#include <QApplication>
#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QThread>
#include <QThreadPool>

#include <cstdio>
#include <filesystem>
#include <system_error>

int main(int argc, char *argv[])
{
    // The whole text is the folder, in its own bytes; only a text that is nothing but an option
    // is one. Options are answered before any window system is asked for, so they work without a
    // display, and a refused one leaves no window and no settings behind.
    const QByteArray text = app::ArgumentText(argc, argv);
    const app::OptionAnswer answer = app::AnswerOption(text, [](const QByteArray &path) {
        std::error_code error;
        return std::filesystem::exists(std::filesystem::path(path.toStdString()), error);
    });
    if (answer.exitStatus >= 0) {
        std::fwrite(answer.out.constData(), 1, size_t(answer.out.size()), stdout);
        std::fwrite(answer.err.constData(), 1, size_t(answer.err.size()), stderr);
        return answer.exitStatus;
    }
    app::ApplyPlatformChoice(); // X11 under XWayland: windows may place themselves there
    const QString commandLine = base::DecodeName(text.constData(), size_t(text.size()));
    // A picture to show first decodes on a worker while Qt starts up: it is most of the wait,
    // for a small picture too (decoded later, the window waits for it once built). Qt's
    // per-process set-up that the worker would otherwise be first to touch is made here, on the
    // main thread: the thread Qt takes for the main one, the image plugins' loader (it reads the
    // plugin paths that the application object resets) with the plugin of the picture's kind
    // only (listing the formats would load every plugin) and no read of the file, the pool Qt's
    // image scaling and conversion run on. Metafiles are left alone: they draw with fonts.
    const QString first = basSlides::PictureShownFirst(commandLine);
    const QFileInfo firstInfo(first);
    if (!first.isEmpty() && firstInfo.suffix().compare(QLatin1String("wmf"), Qt::CaseInsensitive) != 0) {
        const QSize screen = platform::XScreenSizeBeforeQt();
        if (!screen.isEmpty()) {
            QThread::currentThread();
            QBuffer none;
            QImageReader kind(&none, firstInfo.suffix().toLatin1());
            kind.setAutoDetectImageFormat(false);
            kind.canRead();
            QThreadPool::globalInstance();
            // Decoded for the screen at 96 DPI; taken only if the viewer asks for just that.
            picture::DecodeAhead({first, screen, 15.0, 15.0, false, platform::DisplayProfileBeforeQt()});
        }
    }
    // Qt sees no argument: a folder named like one of its options (-reverse, -style) is a folder.
    static int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.24"));
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvel"));
    platform::ConnectSessionBusAhead();
    // The run ends when no window of the program is loaded any more.
    QApplication::setQuitOnLastWindowClosed(false);
    platform::FormBase::SetEndRunWhenNoWindow(true);
    basSlides::Main(commandLine);
    const int status = QApplication::exec();
    picture::FinishDecodes();   // no decode outlives Qt
    dialogs::EndScans(status);  // none runs on under the program's static state as it goes
    return status;
}
