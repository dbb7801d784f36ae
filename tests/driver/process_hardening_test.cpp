// The library search restriction at the start of every run, as the loader is asked for it.
// Wine always has SetDefaultDllDirectories; a Windows 7 without its update is made by hiding
// it through the import swap. The fakes leave this test process's own search as it was.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "driver/process_hardening.h"
#include "support/import_swap.h"

namespace {

bool g_haveDefaultDirectories = true;
std::string g_asked;

BOOL WINAPI FakeSetDefaultDllDirectories(DWORD flags) {
  g_asked += "default " + std::to_string(flags) + ";";
  return TRUE;
}

BOOL WINAPI FakeSetDllDirectoryA(LPCSTR path) {
  g_asked += "directory '" + std::string(path) + "';";
  return TRUE;
}

FARPROC WINAPI FakeGetProcAddress(HMODULE, LPCSTR name) {
  if (!g_haveDefaultDirectories || HIWORD(name) == 0 || std::strcmp(name, "SetDefaultDllDirectories") != 0) return nullptr;
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&FakeSetDefaultDllDirectories));
}

TEST(RestrictLibrarySearch, SystemFolderOnlyAndWithoutTheFunctionAtLeastNotTheCurrentDirectory) {
  testsupport::ImportSwap lookup("kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&FakeGetProcAddress));
  testsupport::ImportSwap directory("kernel32.dll", "SetDllDirectoryA", reinterpret_cast<void*>(&FakeSetDllDirectoryA));
  ASSERT_TRUE(lookup.Active() && directory.Active()) << "the test program does not import both functions";
  RestrictLibrarySearch();
  EXPECT_EQ("default 2048;", g_asked) << "LOAD_LIBRARY_SEARCH_SYSTEM32 is 2048";
  g_asked.clear();
  g_haveDefaultDirectories = false;
  RestrictLibrarySearch();
  EXPECT_EQ("directory '';", g_asked);
}

}  // namespace
