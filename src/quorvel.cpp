#include "app/CommandLine.h"
#include "app/Main.h"
#include "app/PlatformChoice.h"
#include "app/Settings.h"
#include "app/SettingsRules.h"
#include "app/SessionEnd.h"
#include "dialogs/frmScan.h"
#include "picture/Requests.h"
#include "platform/DisplayProfile.h"
#include "platform/Screen.h"
#include "base/FileSys.h"
#include "platform/SharedForm.h"
#include "platform/Trace.h"

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
    // Before any thread starts: a signal to end comes to the event loop, also one that comes early.
    app::CatchEndSignals();
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
        std::vector<QRect> monitors;
        size_t primary = 0;
        QSize screen = platform::XScreenSizeBeforeQt(&monitors, &primary);
        if (!monitors.empty()) {
            // The viewer opens on the browser's monitor: the one its stored place is on.
            std::vector<app::MonitorTwips> twips;
            for (const QRect &m : monitors)
                twips.push_back({m.x() * 15.0, m.y() * 15.0, m.width() * 15.0, m.height() * 15.0});
            screen = monitors[app::MonitorOfPlace(app::Get(app::kWindowPosition, QString()), twips, primary)].size();
        }
        if (!screen.isEmpty()) {
            QThread::currentThread();
            QBuffer none;
            QImageReader kind(&none, firstInfo.suffix().toLatin1());
            kind.setAutoDetectImageFormat(false);
            kind.canRead();
            QThreadPool::globalInstance();
            // Decoded for that monitor at 96 DPI, in the first monitor's colours; taken only if
            // the viewer asks for just that.
            picture::DecodeAhead({first, screen, 15.0, 15.0, false, platform::DisplayProfileBeforeQt()});
        }
    }
    // Qt sees no argument: a folder named like one of its options (-reverse, -style) is a folder.
    static int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.24"));
    // Names the desktop file, so Wayland desktops find the program's icon and launcher.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quorvel.Quorvel"));
    platform::ConnectSessionBusAhead();
    platform::WatchStalls();
    app::WatchEndSignals();
    // The run ends when no window of the program is loaded any more.
    QApplication::setQuitOnLastWindowClosed(false);
    platform::FormBase::SetEndRunWhenNoWindow(true);
    basSlides::Main(commandLine);
    const int status = QApplication::exec();
    picture::FinishDecodes();   // no decode outlives Qt
    // None runs on under the program's static state as it goes; the desktop ending the session
    // waits for no scan stuck in the file system.
    dialogs::EndScans(status, app::SessionEnding() ? 100 : 1000);
    return status;
}
