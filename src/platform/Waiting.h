#pragma once

#include <QFuture>

// Waiting on the window thread for work done elsewhere.
namespace platform {

// Returns once `work` has finished, handling paints and timers meanwhile (keys and clicks wait
// their turn: they act on what the work brings), with the wait pointer up once the wait is long
// enough to notice.
void WaitWhilePainting(const QFuture<void> &work);

} // namespace platform
