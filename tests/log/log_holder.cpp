// Holds a file open for writing without any sharing, as another program that has the log
// open would, until the test sets the release event (or a minute has passed, so that a
// test that failed halfway leaves nothing running).
// Usage: log_holder <path> <ready event name> <release event name>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
  if (release == nullptr) return 3;
  HANDLE file = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 4;
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
  if (ready != nullptr) {
    SetEvent(ready);
    CloseHandle(ready);
  }
  const DWORD waited = WaitForSingleObject(release, 60000);
  CloseHandle(file);
  CloseHandle(release);
  return waited == WAIT_OBJECT_0 ? 0 : 5;
}
