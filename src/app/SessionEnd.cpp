#include "app/SessionEnd.h"

#include "browser/frmFiles.h"
#include "dialogs/frmScan.h"
#include "display/frmSlides.h"
#include "platform/SharedForm.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

#include <cerrno>
#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace app {

namespace {

int g_wake[2] = {-1, -1}; // written by the signal handler, read on the event loop
bool g_ending = false;

void onEndSignal(int sig)
{
    const int saved = errno;
    const char byte = char(sig);
    // Never blocks: when the socket is full, a byte is waiting already, and one is all it takes.
    [[maybe_unused]] const ssize_t n = ::write(g_wake[1], &byte, 1);
    errno = saved;
}

// Lets go of whatever waits on the stack: a modal window closes as its Cancel or OK would close
// it, a scan stops as its Cancel would stop it.
void letGo()
{
    dialogs::CancelScanForShow();
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (auto *dialog = qobject_cast<QDialog *>(w); dialog && dialog->isVisible())
            dialog->reject();
    }
}

void unloadWindows()
{
    // Inside a wait (a modal window closing, a scan ending, a picture decoding, before the event
    // loop runs) or a hand-over from one window to the next, unloading would pull windows from
    // under the code that waits: once more a moment later, when that code has returned.
    if (QThread::currentThread()->loopLevel() != 1 || platform::FormBase::RunHeld()) {
        letGo();
        QTimer::singleShot(10, qApp, unloadWindows);
        return;
    }
    if (platform::SharedForm<frmFiles>::IsLoaded()) {
        platform::SharedForm<frmFiles>::Unload();
    } else if (platform::SharedForm<frmSlides>::IsLoaded()) {
        // A show: it ends as Esc ends it (saving the delay), and the browser Esc would bring back
        // is loaded, unseen, and unloaded as File > Exit unloads it.
        platform::SharedForm<frmSlides>::Unload();
        platform::SharedForm<frmFiles>::Get().Unload();
    }
    platform::FormBase::UnloadAll();
}

} // namespace

void CatchEndSignals()
{
    if (g_wake[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_wake) != 0) {
        g_wake[0] = g_wake[1] = -1;
        return; // the signals keep their default action
    }
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGHUP, SIGINT}) {
        struct sigaction before = {};
        if (sigaction(sig, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        sigaction(sig, &action, nullptr);
    }
}

void WatchEndSignals()
{
    if (g_wake[0] >= 0) {
        auto *notifier = new QSocketNotifier(qintptr(g_wake[0]), QSocketNotifier::Read, qApp);
        QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
            char bytes[64];
            while (::read(g_wake[0], bytes, sizeof bytes) > 0) {
            }
            EndSession();
        });
    }
#ifndef QT_NO_SESSIONMANAGER
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, qApp, [](QSessionManager &manager) {
        // Qt would have the session restart the program with its own options, which the program
        // takes for a folder: restarted, it opens on the saved folder instead.
        manager.setRestartCommand({QCoreApplication::applicationFilePath()});
        EndSession();
    });
#endif
}

void EndSession()
{
    if (g_ending)
        return;
    g_ending = true;
    letGo();
    QTimer::singleShot(0, qApp, unloadWindows);
}

bool SessionEnding()
{
    return g_ending;
}

} // namespace app
