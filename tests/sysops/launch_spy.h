// What the product hands the shell to start a program, and the COM calls around that, seen
// through the test program's import table: nothing is started, and the shell answers as a
// test asks (a declined elevation, say). The launch's tests and the copy's, which starts
// what it placed, read the same record.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>

#include "support/import_swap.h"

namespace launchspy {

// What the product handed to ShellExecuteExW, and what the fake shell answers.
struct SeenLaunch {
  int calls = 0;
  SHELLEXECUTEINFOW record = {};
  std::wstring verb, file, parameters, directory;
  // What another process trying to rewrite or delete the file met while the shell was
  // starting it.
  DWORD writeError = 0;
  DWORD deleteError = 0;
};
inline SeenLaunch g_launch;
inline DWORD g_launchError = 0;
// The COM calls around the launch, and the launch, in order; and what CoInitializeEx answers.
inline std::string g_comAndLaunch;
inline HRESULT g_comAnswer = S_OK;

inline HRESULT WINAPI FakeCoInitializeEx(LPVOID, DWORD model) {
  g_comAndLaunch += "init(" + std::to_string(model) + ") ";
  return g_comAnswer;
}

// Shutting COM down may change the last error: the failure text must be read before.
inline void WINAPI FakeCoUninitialize() {
  g_comAndLaunch += "uninit ";
  SetLastError(ERROR_SUCCESS);
}

inline BOOL WINAPI SpyShellExecute(SHELLEXECUTEINFOW* record) {
  g_comAndLaunch += "launch ";
  ++g_launch.calls;
  g_launch.record = *record;
  g_launch.verb = record->lpVerb ? record->lpVerb : L"<null>";
  g_launch.file = record->lpFile ? record->lpFile : L"<null>";
  g_launch.parameters = record->lpParameters ? record->lpParameters : L"<null>";
  g_launch.directory = record->lpDirectory ? record->lpDirectory : L"<null>";
  HANDLE writer = CreateFileW(g_launch.file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  g_launch.writeError = writer == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  HANDLE deleter = CreateFileW(g_launch.file.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  g_launch.deleteError = deleter == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (deleter != INVALID_HANDLE_VALUE) CloseHandle(deleter);
  record->hProcess = nullptr;
  if (g_launchError == 0) return TRUE;
  SetLastError(g_launchError);
  return FALSE;
}

inline std::string Narrow(const std::wstring& wide) { return std::string(wide.begin(), wide.end()); }

class LaunchRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_launch = SeenLaunch();
    g_launchError = 0;
    g_comAndLaunch.clear();
    g_comAnswer = S_OK;
    ASSERT_TRUE(swap_.Active()) << "the test program does not import ShellExecuteExW";
    ASSERT_TRUE(init_.Active() && uninit_.Active()) << "the test program does not import CoInitializeEx and CoUninitialize";
  }
  testsupport::ImportSwap swap_{"shell32.dll", "ShellExecuteExW", reinterpret_cast<void*>(&SpyShellExecute)};
  testsupport::ImportSwap init_{"ole32.dll", "CoInitializeEx", reinterpret_cast<void*>(&FakeCoInitializeEx)};
  testsupport::ImportSwap uninit_{"ole32.dll", "CoUninitialize", reinterpret_cast<void*>(&FakeCoUninitialize)};
  // The shell wants apartment-threaded COM without OLE1 DDE on the launching thread.
  const std::string apartment_ = "init(" + std::to_string(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE) + ") ";
};

}  // namespace launchspy
