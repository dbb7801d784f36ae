// The watchdog looks a few times a second rather than timing each call exactly: a bounded
// call costs the walk two interlocked writes, and a thousand files no thread switches.
#include "sysops/io_watchdog.h"

#include "util/release.h"

namespace {

const DWORD kLookEveryMs = 250;
const int kEndWaitAttempts = 3;

DWORD WINAPI Watch(void* context) {
  IoWatchdog* watchdog = static_cast<IoWatchdog*>(context);
  LONG seen = 0;
  DWORD lasted = 0;
  while (InterlockedCompareExchange(&watchdog->ending, 0, 0) == 0) {
    // A wait that fails returns at once: the look must still come a quarter second later,
    // or a short call would be taken for a long one and cancelled.
    if (WaitForSingleObject(watchdog->stop, kLookEveryMs) == WAIT_FAILED) Sleep(kLookEveryMs);
    const LONG call = InterlockedCompareExchange(&watchdog->call, 0, 0);
    lasted = call != 0 && call == seen ? lasted + kLookEveryMs : 0;
    seen = call;
    // Again at every look until the call returns: a cancel that came before the call began
    // to wait cancels nothing.
    if (lasted >= kIoCallBoundMs) CancelSynchronousIo(watchdog->watched);
  }
  return 0;
}

}  // namespace

bool StartIoWatchdog(IoWatchdog* watchdog) {
  watchdog->thread = nullptr;
  watchdog->ending = 0;
  watchdog->call = 0;
  watchdog->lastCall = 0;
  watchdog->watched = OpenThread(THREAD_TERMINATE, FALSE, GetCurrentThreadId());
  watchdog->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (watchdog->watched != nullptr && watchdog->stop != nullptr) {
    watchdog->thread = CreateThread(nullptr, 0, Watch, watchdog, 0, nullptr);
  }
  return watchdog->thread != nullptr;
}

void ArmIoWatchdog(IoWatchdog* watchdog) {
  // Numbered, so that two calls in a row are never taken for one long call.
  if (++watchdog->lastCall == 0) watchdog->lastCall = 1;
  InterlockedExchange(&watchdog->call, watchdog->lastCall);
}

void DisarmIoWatchdog(IoWatchdog* watchdog) { InterlockedExchange(&watchdog->call, 0); }

void StopIoWatchdog(IoWatchdog* watchdog) {
  if (watchdog->thread != nullptr && watchdog->thread != INVALID_HANDLE_VALUE) {
    InterlockedExchange(&watchdog->ending, 1);
    SetEvent(watchdog->stop);
    // The thread reads the record, which is the caller's: it must have ended before the
    // record goes, so a wait that failed is made again.
    for (int attempt = 0; attempt < kEndWaitAttempts; ++attempt) {
      if (WaitForSingleObject(watchdog->thread, INFINITE) != WAIT_FAILED) break;
      Sleep(kLookEveryMs);
    }
  }
  ReleaseHandle(&watchdog->thread);
  ReleaseHandle(&watchdog->watched);
  ReleaseHandle(&watchdog->stop);
}
