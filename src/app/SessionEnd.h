#pragma once

// The desktop ending the program (SIGTERM, SIGHUP, SIGINT, the session manager's request to save)
// is answered as File > Exit is: the settings are saved as then, every window unloads and the run
// ends with status 0.
namespace app {

// First thing in main(): from here on those signals wait for the event loop (none is acted on
// inside the handler). A signal the program was started with ignored (nohup) stays ignored.
void CatchEndSignals();
// Once the application object is there: the caught signals, the ones already waiting included,
// and the session manager's request to save, end the session.
void WatchEndSignals();

// Ends the session: what waits (a modal window, a scan) is let go first, then, on the program's
// own event loop, the windows unload as File > Exit unloads them. Further calls do nothing.
void EndSession();
bool SessionEnding();

} // namespace app
