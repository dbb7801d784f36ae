// One of several processes that append to the same log at once: waits for the common
// start signal, then writes count lines "writer <tag> line <n> " followed by a long run of
// the tag's own letter, so that a torn or mixed line shows. Every line whose write paused
// for about a second or more, when the log gives a line up, is named in
// "<path>.<tag>.waited", so that the test can tell a line given up after its whole wait
// from a line lost.
// Usage: log_writer <path> <tag letter> <count> <start event name>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "log/removal_log.h"
#include "support/import_swap.h"

namespace {

DWORD g_paused = 0;
decltype(&Sleep) g_realSleep = nullptr;

VOID WINAPI CountedSleep(DWORD pause) {
  g_paused += pause;
  g_realSleep(pause);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  testsupport::ImportSwap pauses("kernel32.dll", "Sleep", reinterpret_cast<void*>(&CountedSleep));
  if (!pauses.Active()) return 4;
  g_realSleep = pauses.Original<decltype(&Sleep)>();
  HANDLE start = OpenEventA(SYNCHRONIZE, FALSE, argv[4]);
  if (start == nullptr) return 3;
  WaitForSingleObject(start, 30000);
  CloseHandle(start);

  const int count = atoi(argv[3]);
  static char message[2048];
  std::string waited;
  for (int n = 0; n < count; ++n) {
    int used = snprintf(message, sizeof(message), "writer %c line %d ", argv[2][0], n);
    memset(message + used, argv[2][0], 1500);
    message[used + 1500] = '\0';
    g_paused = 0;
    WriteLogLine(message, argv[1], true);
    if (g_paused >= 900) waited += std::to_string(n) + "\n";
  }
  FILE* list = fopen((std::string(argv[1]) + "." + argv[2][0] + ".waited").c_str(), "wb");
  if (list == nullptr) return 5;
  fputs(waited.c_str(), list);
  fclose(list);
  return 0;
}
