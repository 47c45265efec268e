#include "platform/Waiting.h"

#include "platform/Screen.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QTimer>

#include <optional>

namespace platform {

namespace {

// A wait shorter than this goes unnoticed; the pointer would only flicker.
constexpr int kPointerAfterMs = 150;

} // namespace

void WaitWhilePainting(const QFuture<void> &work)
{
    if (work.isFinished())
        return;
    QEventLoop loop;
    QFutureWatcher<void> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    std::optional<WaitPointer> pointer;
    QTimer pointerDue;
    pointerDue.setSingleShot(true);
    QObject::connect(&pointerDue, &QTimer::timeout, &loop, [&pointer] { pointer.emplace(); });
    pointerDue.start(kPointerAfterMs);
    watcher.setFuture(work);
    while (!work.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace platform
