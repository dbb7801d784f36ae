// The library search restriction at the start of every run, as the loader is asked for it.
// Wine always has SetDefaultDllDirectories, so a Windows 7 without its update is made by
// hiding the function through the import swap; the fakes keep this test process's own
// search as it was.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "driver/process_hardening.h"
#include "support/import_swap.h"

namespace {

bool g_haveDefaultDirectories = true;
int g_defaultDirectoriesCalls = 0;
DWORD g_defaultDirectories = 0;
std::string g_dllDirectory = "<not called>";

BOOL WINAPI FakeSetDefaultDllDirectories(DWORD flags) {
  ++g_defaultDirectoriesCalls;
  g_defaultDirectories = flags;
  return TRUE;
}

FARPROC WINAPI FakeGetProcAddress(HMODULE, LPCSTR name) {
  const bool asked = HIWORD(name) != 0 && std::strcmp(name, "SetDefaultDllDirectories") == 0;
  if (!asked || !g_haveDefaultDirectories) return nullptr;
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&FakeSetDefaultDllDirectories));
}

BOOL WINAPI FakeSetDllDirectoryA(LPCSTR path) {
  g_dllDirectory = path != nullptr ? path : "<null>";
  return TRUE;
}

TEST(RestrictLibrarySearch, SystemFolderOnlyAndWithoutTheFunctionAtLeastNotTheCurrentDirectory) {
  testsupport::ImportSwap lookup("kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&FakeGetProcAddress));
  testsupport::ImportSwap directory("kernel32.dll", "SetDllDirectoryA", reinterpret_cast<void*>(&FakeSetDllDirectoryA));
  ASSERT_TRUE(lookup.Active() && directory.Active()) << "the test program does not import both functions";

  RestrictLibrarySearch();
  EXPECT_EQ(1, g_defaultDirectoriesCalls);
  EXPECT_EQ(static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32), g_defaultDirectories);
  EXPECT_EQ("<not called>", g_dllDirectory);

  g_haveDefaultDirectories = false;
  RestrictLibrarySearch();
  EXPECT_EQ(1, g_defaultDirectoriesCalls);
  EXPECT_EQ("", g_dllDirectory);
}

}  // namespace
