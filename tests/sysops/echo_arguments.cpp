// A program for the launch tests: after an optional pause, and once the file that
// TESSIVANE_ECHO_HOLD names exists (when it names one; a minute at most), it writes the
// parameters it was started with (its command line without the program's own name) to a
// file, so a test can see that it ran, with what, and when it ended. The file appears
// whole, by a rename, just before the program ends.
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

const char* SkipProgramName(const char* line) {
  if (*line == '"') {
    ++line;
    while (*line != '\0' && *line != '"') ++line;
    if (*line == '"') ++line;
  } else {
    while (*line != '\0' && *line != ' ' && *line != '\t') ++line;
  }
  while (*line == ' ' || *line == '\t') ++line;
  return line;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char output[MAX_PATH] = {};
  char partial[MAX_PATH + 8] = {};
  char delay[32] = {};
  char hold[MAX_PATH] = {};
  if (GetEnvironmentVariableA("TESSIVANE_ECHO_OUT", output, MAX_PATH) == 0) return 2;
  if (GetEnvironmentVariableA("TESSIVANE_ECHO_DELAY_MS", delay, sizeof(delay)) != 0) {
    Sleep(static_cast<DWORD>(std::atoi(delay)));
  }
  if (GetEnvironmentVariableA("TESSIVANE_ECHO_HOLD", hold, MAX_PATH) != 0) {
    for (int waited = 0; waited < 60000 && GetFileAttributesA(hold) == INVALID_FILE_ATTRIBUTES; waited += 20) {
      Sleep(20);
    }
  }
  const char* parameters = SkipProgramName(GetCommandLineA());
  std::strcpy(partial, output);
  std::strcat(partial, ".part");

  HANDLE file = CreateFileA(partial, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  DWORD written = 0;
  const DWORD length = static_cast<DWORD>(std::strlen(parameters));
  const BOOL ok = WriteFile(file, parameters, length, &written, nullptr) && written == length;
  CloseHandle(file);
  if (!ok) return 4;
  return MoveFileExA(partial, output, MOVEFILE_REPLACE_EXISTING) ? 0 : 5;
}
