// The next-logon cleanup where Wine always finds the home path: the shell's lookups of the
// all-users folder are made to fail or to answer a path too long to take the suffix.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <utility>

#include "driver/stages.h"
#include "support/import_swap.h"

using testsupport::ImportSwap;

namespace {

int g_opens = 0;
HANDLE WINAPI CountingCreateFile(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  ++g_opens;
  SetLastError(ERROR_ACCESS_DENIED);
  return INVALID_HANDLE_VALUE;
}
HRESULT WINAPI NoFolderLocation(HWND, int, HANDLE, DWORD, PIDLIST_ABSOLUTE* location) {
  *location = nullptr;
  return E_FAIL;
}
BOOL WINAPI LongFolderPath(PCIDLIST_ABSOLUTE, LPWSTR path) {
  std::wcscpy(path, (L"C:\\" + std::wstring(240, L'x')).c_str());
  return TRUE;
}

}  // namespace

// A failed lookup would leave the suffix alone, a path from the current drive's root, and a
// long all-users folder a cut path: neither may reach the deletion.
TEST(FileCleanup, OpensNothingWhenTheHomePathIsNotKnown) {
  ImportSwap opens("kernel32.dll", "CreateFileW", reinterpret_cast<void*>(&CountingCreateFile));
  ASSERT_TRUE(opens.Active()) << "the test program does not import CreateFileW";
  const std::pair<const char*, void*> lookups[] = {{"SHGetFolderLocation", reinterpret_cast<void*>(&NoFolderLocation)},
                                                   {"SHGetPathFromIDListW", reinterpret_cast<void*>(&LongFolderPath)}};
  for (const auto& lookup : lookups) {
    ImportSwap swap("shell32.dll", lookup.first, lookup.second);
    ASSERT_TRUE(swap.Active()) << lookup.first;
    g_opens = 0;
    DriverBuffers buffers = {};
    FileCleanup(&buffers);
    EXPECT_EQ(0, g_opens) << lookup.first << " failing: the deletion opened a folder";
    EXPECT_STREQ("", buffers.homePath) << lookup.first;
    EXPECT_EQ(0, std::strncmp("The home path is not known", buffers.errorText, 26)) << buffers.errorText;
  }
}
