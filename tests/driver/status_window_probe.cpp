// Puts up the status window with the program's own functions on a real display, checks it
// from Win32 against the screen size given on the command line, then keeps it on screen
// until told to go (the file named by the third argument appears) so that a screenshot can
// be taken without racing the process's end. Writes "<ready file>" once the window is up.
// Usage: status_window_probe <screen width> <screen height> <ready file> <done file>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "driver/process_state.h"
#include "driver/status_window.h"
#include "text_extent.h"

namespace {

int failures = 0;

void Check(bool good, const char* what, long got) {
  printf("%s %s (got %ld)\n", good ? "ok:  " : "FAIL:", what, got);
  if (!good) ++failures;
}

void CheckText(HWND window, const char* expected, const char* what) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof(text));
  const bool same = lstrcmpA(text, expected) == 0;
  printf("%s %s: '%s'\n", same ? "ok:  " : "FAIL:", what, text);
  if (!same) ++failures;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (__argc != 5) return 2;
  const long width = atol(__argv[1]);
  const long height = atol(__argv[2]);

  silentMode = 0;
  ShowMainWindow(instance);
  ShowStatusText(instance, "  Removing Halvorne Tessivane, please wait...");

  Check(GetSystemMetrics(SM_CXSCREEN) == width, "screen width", GetSystemMetrics(SM_CXSCREEN));
  Check(GetSystemMetrics(SM_CYSCREEN) == height, "screen height", GetSystemMetrics(SM_CYSCREEN));
  RECT rect = {};
  GetWindowRect(mainWindow, &rect);
  Check(labs(rect.left - (width - rect.right)) <= 1, "centred across", rect.left);
  Check(labs(rect.top - (height - rect.bottom)) <= 1, "centred down", rect.top);
  Check(rect.left >= 0, "left edge on the screen", rect.left);
  Check(rect.top >= 0, "top edge on the screen", rect.top);
  // The message is read whole, on one line, in what the window shows with this display's font.
  RECT visible = {};
  GetClientRect(mainWindow, &visible);
  const SIZE needed = TextExtentOf(statusWindow);
  Check(needed.cx > 0 && needed.cx <= visible.right, "text fits across", needed.cx);
  Check(needed.cy <= visible.bottom, "text fits down", needed.cy);
  const LONG style = GetWindowLongA(mainWindow, GWL_STYLE);
  Check((style & WS_CAPTION) == WS_CAPTION, "caption", style);
  Check((style & WS_VISIBLE) != 0, "visible", style);
  Check(GetWindowLongA(statusWindow, GWL_STYLE) == (WS_CHILD | WS_VISIBLE), "control style",
        GetWindowLongA(statusWindow, GWL_STYLE));
  CheckText(mainWindow, "  Tessivane", "caption text");
  CheckText(statusWindow, "  Removing Halvorne Tessivane, please wait...", "status text");
  fflush(stdout);

  FILE* ready = fopen(__argv[3], "wb");
  if (ready != nullptr) fclose(ready);
  for (int waited = 0; waited < 60000; waited += 100) {
    if (GetFileAttributesA(__argv[4]) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(100);
  }
  return failures == 0 ? 0 : 1;
}
