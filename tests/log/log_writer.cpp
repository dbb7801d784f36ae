// One of several processes that append to the same log at once: waits for the common
// start signal, then writes count lines "writer <tag> line <n> " followed by a long run of
// the tag's own letter, so that a torn or mixed line shows.
// Usage: log_writer <path> <tag letter> <count> <start event name>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "log/removal_log.h"

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  HANDLE start = OpenEventA(SYNCHRONIZE, FALSE, argv[4]);
  if (start == nullptr) return 3;
  WaitForSingleObject(start, 30000);
  CloseHandle(start);

  const int count = atoi(argv[3]);
  static char message[2048];
  for (int n = 0; n < count; ++n) {
    int used = snprintf(message, sizeof(message), "writer %c line %d ", argv[2][0], n);
    memset(message + used, argv[2][0], 1500);
    message[used + 1500] = '\0';
    WriteLogLine(message, argv[1], true);
  }
  return 0;
}
