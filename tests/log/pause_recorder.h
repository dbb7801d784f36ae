// Records the pauses (Sleep calls) that the log code takes while the object lives, through
// the test program's import table; each pause still lasts as long as asked. A test can run
// something of its own at the first pause, when the code has surely found the log in use.
// Counting pauses instead of timing the call keeps the tests right on a loaded machine.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "support/import_swap.h"

namespace logtest {

inline std::vector<DWORD> g_pauses;
inline std::function<void()> g_atFirstPause;
inline decltype(&Sleep) g_realSleep = nullptr;

inline VOID WINAPI RecordedSleep(DWORD pause) {
  g_pauses.push_back(pause);
  if (g_pauses.size() == 1 && g_atFirstPause) g_atFirstPause();
  g_realSleep(pause);
}

class PauseRecorder {
 public:
  explicit PauseRecorder(std::function<void()> atFirstPause = nullptr) {
    g_pauses.clear();
    g_atFirstPause = atFirstPause;
    g_realSleep = swap_.Original<decltype(&Sleep)>();
  }
  ~PauseRecorder() { g_atFirstPause = nullptr; }
  bool Active() const { return swap_.Active(); }
  size_t count() const { return g_pauses.size(); }
  DWORD total() const {
    DWORD sum = 0;
    for (DWORD pause : g_pauses) sum += pause;
    return sum;
  }

 private:
  testsupport::ImportSwap swap_{"kernel32.dll", "Sleep", reinterpret_cast<void*>(&RecordedSleep)};
};

}  // namespace logtest
