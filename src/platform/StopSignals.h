#pragma once

namespace platform {

// The requests to end the program: SIGINT and SIGTERM (Ctrl+C and Ctrl+Break on a Windows
// console), and with `hangUp` also SIGHUP (the console closed, a logout, a shutdown). The handler
// only records the request; the program asks for it or waits on `stopWaitHandle()`.
bool installStopHandlers(bool hangUp);
// Restores the default handling and forgets a request.
void removeStopHandlers();

bool stopRequested();
// Waits up to `milliseconds` for a request to stop; true if one came (before or during the wait).
bool waitForStop(int milliseconds);
// What an event loop watches to hear of a request at once: a pipe's reading end on POSIX (for a
// socket notifier), an event handle on Windows (for an event notifier). Invalid before install.
#ifdef _WIN32
void *stopWaitHandle();
#else
int stopWaitHandle();
#endif
// Empties what `stopWaitHandle()` holds once a watcher has heard it, so that the watcher wakes again
// only for a new request; the request itself stays recorded.
void clearStopWait();

// A write to a pipe or terminal that nobody reads any more fails with an error instead of ending
// the program (nothing to do on Windows).
void ignoreBrokenPipes();

} // namespace platform
