// SIGTERM, SIGINT and SIGHUP (a shutdown, Ctrl-C, a logout) end the program
// the way closing its window does: the first one is noted and a byte written
// to a pipe that the event loop (or the script runner, between its steps)
// watches, so the samples of a datalog are saved and the program says where;
// a second one ends the program at once.
#pragma once

namespace eb::app {

// Installs the handlers (once). Returns false when they cannot be.
bool CatchStopSignals();
// The first stop signal received, 0 while there was none.
int StopSignal();
// The pipe's read end: readable once a stop signal arrived.
int StopSignalFd();
// Ends the program as the signal would have ended it (after the close).
[[noreturn]] void EndBySignal(int signal);
// "SIGTERM", "SIGINT", "SIGHUP".
const char* StopSignalName(int signal);

}  // namespace eb::app
