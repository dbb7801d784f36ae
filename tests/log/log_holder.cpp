// Holds a file open for writing without any sharing, as another program that has the log
// open would, for a given number of milliseconds.
// Usage: log_holder <path> <milliseconds> <ready event name>
#include <windows.h>

#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  HANDLE file = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
  if (ready != nullptr) {
    SetEvent(ready);
    CloseHandle(ready);
  }
  Sleep(static_cast<DWORD>(atoi(argv[2])));
  CloseHandle(file);
  return 0;
}
