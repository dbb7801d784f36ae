// The status window functions called in this process, where the windows can be examined
// for as long as the test likes.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "driver/process_state.h"
#include "driver/status_window.h"
#include "support/import_swap.h"
#include "text_extent.h"

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

// What mainWindow held when ghosting was turned off: null means the window was not made yet.
HWND g_windowAtGhostingOff = reinterpret_cast<HWND>(1);
void WINAPI NoteGhostingOff() { g_windowAtGhostingOff = mainWindow; }

std::string TextOf(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof(text));
  return text;
}

// What a run that is not silent shows while it works.
const char kRemovalMessage[] = "  Removing Halvorne Tessivane, please wait...";

}  // namespace

TEST_F(StatusWindow, NewTextReplacesTheOldControlInsideTheMainWindow) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  ShowMainWindow(instance);
  ASSERT_NE(nullptr, mainWindow);
  ShowStatusText(instance, "first");
  HWND first = statusWindow;
  ASSERT_NE(nullptr, first);
  ShowStatusText(instance, kRemovalMessage);
  EXPECT_FALSE(IsWindow(first)) << "the first control was left behind";
  ASSERT_NE(nullptr, statusWindow);
  EXPECT_EQ(kRemovalMessage, TextOf(statusWindow));
  EXPECT_EQ(mainWindow, GetParent(statusWindow));

  // What the window shows is the control, and the program's message is read there whole on
  // one line, in the control's own font.
  RECT visible = {};
  GetClientRect(mainWindow, &visible);
  RECT client = {};
  GetClientRect(statusWindow, &client);
  EXPECT_LE(visible.right, client.right) << "part of the window is left blank beside the text";
  EXPECT_LE(visible.bottom, client.bottom) << "part of the window is left blank below the text";
  const SIZE needed = TextExtentOf(statusWindow);
  EXPECT_LT(0, needed.cx);
  EXPECT_LE(needed.cx, visible.right) << "the message is cut at the window's edge";
  EXPECT_LE(needed.cy, visible.bottom) << "the message's line is taller than the window shows";
  POINT origin = {0, 0};
  ClientToScreen(mainWindow, &origin);
  RECT placed = {};
  GetWindowRect(statusWindow, &placed);
  EXPECT_EQ(origin.x, placed.left);
  EXPECT_EQ(origin.y, placed.top);
}

// Nothing pumps messages, so a window left to Windows' ghosting would be offered for closing
// in the middle of a slow removal.
TEST_F(StatusWindow, GhostingIsTurnedOffBeforeTheWindowIsMade) {
  testsupport::ImportSwap swap("user32.dll", "DisableProcessWindowsGhosting", reinterpret_cast<void*>(&NoteGhostingOff));
  ASSERT_TRUE(swap.Active()) << "DisableProcessWindowsGhosting is never called";
  ShowMainWindow(GetModuleHandleA(nullptr));
  EXPECT_NE(nullptr, mainWindow);
  EXPECT_EQ(nullptr, g_windowAtGhostingOff);
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
