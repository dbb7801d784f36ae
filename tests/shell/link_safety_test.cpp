// Junctions in the cleanup's tree, which Wine cannot make: the test program's imports of the
// search calls report a folder named "junction" as a reparse point. An empty one is removed
// by RemoveDirectoryA as Windows removes a junction itself; a non-empty one is not, as Wine's
// RemoveDirectoryA refuses a link (planted real links are the end-to-end scenarios' part).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "support/import_swap.h"
#include "support/test_process.h"
#include "sysops/link_safety.h"

namespace {

decltype(&FindFirstFileA) g_findFirst;
decltype(&FindNextFileA) g_findNext;
void MarkJunction(LPWIN32_FIND_DATAA entry) {
  if (std::strcmp(entry->cFileName, "junction") == 0) entry->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
}
HANDLE WINAPI FindFirstMarking(LPCSTR pattern, LPWIN32_FIND_DATAA entry) {
  HANDLE search = g_findFirst(pattern, entry);
  MarkJunction(entry);
  return search;
}
BOOL WINAPI FindNextMarking(HANDLE search, LPWIN32_FIND_DATAA entry) {
  const BOOL found = g_findNext(search, entry);
  MarkJunction(entry);
  return found;
}

}  // namespace

TEST(ClearTreeOfLinks, RemovesAJunctionAsALinkOrNamesTheOneThatStays) {
  testsupport::ImportSwap first("kernel32.dll", "FindFirstFileA", reinterpret_cast<void*>(&FindFirstMarking));
  testsupport::ImportSwap next("kernel32.dll", "FindNextFileA", reinterpret_cast<void*>(&FindNextMarking));
  ASSERT_TRUE(first.Active() && next.Active());
  g_findFirst = first.Original<decltype(&FindFirstFileA)>();
  g_findNext = next.Original<decltype(&FindNextFileA)>();
  const std::string refusal = " is a link that could not be removed without following it; nothing was deleted.";
  for (const bool removable : {true, false}) {
    const testsupport::ScratchFolder home("links_" + std::to_string(removable));
    const std::string junction = home / "data\\junction";
    CreateDirectoryA((home / "data").c_str(), nullptr);
    CreateDirectoryA(junction.c_str(), nullptr);
    ASSERT_TRUE(testsupport::WriteWholeFile(home / "data\\file.txt", "f"));
    ASSERT_TRUE(removable || testsupport::WriteWholeFile(junction + "\\target.txt", "t"));

    char errorText[2048] = "previous";
    EXPECT_EQ(removable, ClearTreeOfLinks(home.path().c_str(), home.path().size(), errorText));
    EXPECT_EQ(removable ? std::string() : junction + refusal, errorText);
    EXPECT_EQ(!removable, testsupport::FileExists(junction)) << "the junction removed?";
    EXPECT_EQ(!removable, testsupport::FileExists(junction + "\\target.txt")) << "its target's file deleted?";
  }
}
