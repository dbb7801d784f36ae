// The status window functions called in this process, where the windows can be examined
// for as long as the test likes.
#include <gtest/gtest.h>

#include <windows.h>

#include "driver/process_state.h"
#include "driver/status_window.h"
#include "support/import_swap.h"

namespace {

class StatusWindow : public testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    if (mainWindow != nullptr) DestroyWindow(mainWindow);
    mainWindow = nullptr;
    statusWindow = nullptr;
    silentMode = 0;
  }
};

// The calls that make or shape the window, in order, through the test program's imports.
std::string g_windowCalls;
decltype(&CreateWindowExA) g_realCreateWindow = nullptr;

void WINAPI NoteGhostingOff() { g_windowCalls += "ghosting-off "; }

HWND WINAPI NoteCreateWindow(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                             int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID data) {
  g_windowCalls += "create-window ";
  return g_realCreateWindow(exStyle, className, title, style, x, y, width, height, parent, menu, instance, data);
}

std::string TextOf(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof(text));
  return text;
}

}  // namespace

TEST_F(StatusWindow, NewTextReplacesTheOldControlInsideTheMainWindow) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  ShowMainWindow(instance);
  ASSERT_NE(nullptr, mainWindow);
  ShowStatusText(instance, "first");
  HWND first = statusWindow;
  ASSERT_NE(nullptr, first);
  ShowStatusText(instance, "second");
  EXPECT_FALSE(IsWindow(first)) << "the first control was left behind";
  ASSERT_NE(nullptr, statusWindow);
  EXPECT_EQ("second", TextOf(statusWindow));
  EXPECT_EQ(mainWindow, GetParent(statusWindow));

  RECT client = {};
  GetClientRect(statusWindow, &client);
  EXPECT_EQ(600, client.right) << client.right;
  EXPECT_EQ(80, client.bottom) << client.bottom;
  POINT origin = {0, 0};
  ClientToScreen(mainWindow, &origin);
  RECT placed = {};
  GetWindowRect(statusWindow, &placed);
  EXPECT_EQ(origin.x, placed.left);
  EXPECT_EQ(origin.y, placed.top);
}

// The program pumps no messages, so a window that waited on a slow stop would be ghosted
// and offered for closing, unless ghosting is off before the window exists.
TEST_F(StatusWindow, GhostingIsTurnedOffBeforeTheWindowIsMade) {
  g_windowCalls.clear();
  testsupport::ImportSwap ghosting("user32.dll", "DisableProcessWindowsGhosting",
                                   reinterpret_cast<void*>(&NoteGhostingOff));
  testsupport::ImportSwap create("user32.dll", "CreateWindowExA", reinterpret_cast<void*>(&NoteCreateWindow));
  ASSERT_TRUE(ghosting.Active()) << "the test program does not import DisableProcessWindowsGhosting";
  ASSERT_TRUE(create.Active());
  g_realCreateWindow = create.Original<decltype(&CreateWindowExA)>();
  ShowMainWindow(GetModuleHandleA(nullptr));
  EXPECT_EQ("ghosting-off create-window ", g_windowCalls);
  EXPECT_NE(nullptr, mainWindow);
}

TEST_F(StatusWindow, SilentRunOrEmptyTextCreatesNoControl) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  ShowMainWindow(instance);
  ShowStatusText(instance, "");
  EXPECT_EQ(nullptr, statusWindow);
  silentMode = 1;
  ShowStatusText(instance, "quiet");
  EXPECT_EQ(nullptr, statusWindow);
}

TEST_F(StatusWindow, WithoutMainWindowNothingIsShown) {
  ShowStatusText(GetModuleHandleA(nullptr), "orphan");
  EXPECT_TRUE(statusWindow == nullptr || !IsWindowVisible(statusWindow));
}
