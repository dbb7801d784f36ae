// Stand-ins for the three stages, linked into a probe build of the real WinMain in place of
// the product's stages: each records which stage WinMain chose and what it handed over, and
// what the status window looks like at that moment (it is still up: the process has not
// ended), in "<own path>.run.txt". They start, copy and register nothing.
#include <windows.h>

#include <stdio.h>

#include "driver/process_state.h"
#include "driver/stages.h"

namespace {

void RecordWindow(FILE* out, const char* name, HWND window) {
  if (window == nullptr) {
    fprintf(out, "%s=none\n", name);
    return;
  }
  RECT rect = {};
  GetWindowRect(window, &rect);
  char text[512] = {};
  GetWindowTextA(window, text, sizeof(text));
  char className[64] = {};
  GetClassNameA(window, className, sizeof(className));
  fprintf(out, "%s=present\n%s.rect=%ld,%ld,%ld,%ld\n%s.text=%s\n%s.class=%s\n", name, name,
          rect.left, rect.top, rect.right, rect.bottom, name, text, name, className);
  fprintf(out, "%s.style=%08lx\n%s.exstyle=%08lx\n%s.visible=%d\n", name,
          static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)), name,
          static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE)), name,
          IsWindowVisible(window) ? 1 : 0);
  fprintf(out, "%s.parentIsMain=%d\n", name, GetParent(window) == mainWindow ? 1 : 0);
}

void Record(const char* mode, DriverBuffers* buffers, int zapFiles) {
  char own[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, own, MAX_PATH);
  char recordPath[MAX_PATH + 16] = {};
  snprintf(recordPath, sizeof(recordPath), "%s.run.txt", own);
  FILE* out = fopen(recordPath, "wb");
  if (out == nullptr) return;
  fprintf(out, "mode=%s\nzapFiles=%d\nsilentMode=%d\n", mode, zapFiles, silentMode);
  fprintf(out, "sourceDirectory=%s\ntempDirectory=%s\nlogPath=%s\n", buffers->sourceDirectory.text,
          buffers->tempDirectory.text, logPath);
  fprintf(out, "screen=%d,%d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  RecordWindow(out, "mainWindow", mainWindow);
  RecordWindow(out, "statusWindow", statusWindow);
  bool untouched = buffers->homePath[0] == '\0' && buffers->tempCopyPath[0] == '\0' &&
                   buffers->launchArguments[0] == '\0' && buffers->errorText[0] == '\0';
  fprintf(out, "stageBuffersZero=%d\n", untouched ? 1 : 0);
  fclose(out);
}

}  // namespace

void Relaunch(DriverBuffers* buffers, const OwnProgram*, bool zapFiles) { Record("Relaunch", buffers, zapFiles); }
void Removal(DriverBuffers* buffers) { Record("Removal", buffers, -1); }
void FileCleanup(DriverBuffers* buffers) { Record("FileCleanup", buffers, -1); }
