// The status window. Both windows use the system's STATIC class, so the program needs no
// window class or window procedure of its own and nothing that a message loop would serve.
#include "driver/status_window.h"

#include "driver/process_state.h"

namespace {

const int kWindowWidth = 600;
const int kWindowHeight = 80;

}  // namespace

void ShowMainWindow(HINSTANCE instance) {
  // Nothing here answers messages. Windows puts a "(Not Responding)" ghost over a window
  // whose messages wait more than five seconds and offers to close it, which would end the
  // removal half way; a slow service's stop takes longer than that. Turned off for the
  // whole process, before the window exists.
  DisableProcessWindowsGhosting();
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  mainWindow = CreateWindowExA(0, "STATIC", "  Tessivane", WS_OVERLAPPED,
                               screenWidth / 2 - kWindowWidth / 2,
                               screenHeight / 2 - kWindowHeight / 2, kWindowWidth,
                               kWindowHeight, nullptr, nullptr, instance, nullptr);
  ShowWindow(mainWindow, SW_SHOWNORMAL);
  ShowWindow(mainWindow, SW_SHOWNOACTIVATE);
}

void ShowStatusText(HINSTANCE instance, const char* text) {
  if (silentMode != 0 || text == nullptr || text[0] == '\0') return;
  if (statusWindow != nullptr) DestroyWindow(statusWindow);
  statusWindow = CreateWindowExA(0, "STATIC", text, WS_CHILD, 0, 0, kWindowWidth, kWindowHeight,
                                 mainWindow, nullptr, instance, nullptr);
  if (mainWindow != nullptr) {
    ShowWindow(statusWindow, SW_SHOWNORMAL);
    ShowWindow(statusWindow, SW_SHOWNOACTIVATE);
    UpdateWindow(statusWindow);
  }
}
