// A bound on the calling thread's synchronous file-system calls. A delete through a handle
// waits, with no limit of its own, for any process that holds the file under an oplock to
// acknowledge the break, and users may take oplocks on files in folders they can create
// files in. The watchdog is a second thread that cancels such a call once it has lasted
// kIoCallBoundMs; the call then fails with ERROR_OPERATION_ABORTED.
#pragma once

#include <windows.h>

// Far longer than any delete takes; only a holder that does not answer reaches it.
const DWORD kIoCallBoundMs = 5000;

struct IoWatchdog {
  HANDLE thread;   // the watchdog's own
  HANDLE watched;  // the thread whose calls it bounds
  HANDLE stop;          // wakes it early when it is to end
  volatile LONG ending;  // ends it, even where the event could not be set
  volatile LONG call;  // the number of the call being made, 0 between calls
  LONG lastCall;
};

// Starts watching the calling thread; false, with calls unbounded, when it cannot. Either
// way StopIoWatchdog releases what it holds.
bool StartIoWatchdog(IoWatchdog* watchdog);

// Around each call to bound: Arm before it, Disarm after it.
void ArmIoWatchdog(IoWatchdog* watchdog);
void DisarmIoWatchdog(IoWatchdog* watchdog);

// Ends the watchdog's thread and releases what it held.
void StopIoWatchdog(IoWatchdog* watchdog);
