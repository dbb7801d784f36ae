// The cleanup's checks for planted links, against trees in a scratch folder. Wine has no
// junctions and no way to make a link from inside, so a folder named "junction" stands in for
// one: the test program's imports of the attribute and search calls report it as a reparse
// point. An empty one is removed by RemoveDirectoryA as Windows removes a junction itself; a
// non-empty one is not, as Wine's RemoveDirectoryA refuses a link.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "support/import_swap.h"
#include "support/test_process.h"
#include "sysops/link_safety.h"

using testsupport::FileExists;
using testsupport::ScratchFolder;
using testsupport::WriteWholeFile;

namespace {

bool NamesJunction(const char* path) { return std::strstr(path, "junction") != nullptr; }

DWORD WINAPI AttributesWithJunctions(LPCSTR path) {
  const DWORD attributes = GetFileAttributesW(std::wstring(path, path + std::strlen(path)).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && NamesJunction(path) ? attributes | FILE_ATTRIBUTE_REPARSE_POINT
                                                                        : attributes;
}
HANDLE WINAPI FindFirstWithJunctions(LPCSTR pattern, LPWIN32_FIND_DATAA entry) {
  WIN32_FIND_DATAW wide = {};
  HANDLE search = FindFirstFileW(std::wstring(pattern, pattern + std::strlen(pattern)).c_str(), &wide);
  entry->dwFileAttributes = wide.dwFileAttributes;
  WideCharToMultiByte(CP_ACP, 0, wide.cFileName, -1, entry->cFileName, MAX_PATH, nullptr, nullptr);
  if (NamesJunction(entry->cFileName)) entry->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  return search;
}
BOOL WINAPI FindNextWithJunctions(HANDLE search, LPWIN32_FIND_DATAA entry) {
  WIN32_FIND_DATAW wide = {};
  const BOOL found = FindNextFileW(search, &wide);
  entry->dwFileAttributes = wide.dwFileAttributes;
  WideCharToMultiByte(CP_ACP, 0, wide.cFileName, -1, entry->cFileName, MAX_PATH, nullptr, nullptr);
  if (NamesJunction(entry->cFileName)) entry->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  return found;
}

}  // namespace

TEST(ClearTreeOfLinks, FollowsNoLinkAndNamesTheFirstThatStays) {
  struct Case {
    const char* what;
    const char* home;      // under <base>\Halvorne
    const char* junction;  // a folder inside home standing in for a junction, or null
    bool junctionHoldsFile;
    const char* refusal;   // the error text's tail after the named path; "" when clear
  };
  const char kStays[] = " is a link that could not be removed without following it; nothing was deleted.";
  const char kNotFolder[] = " is a link or a file, not a folder; nothing was deleted.";
  const Case cases[] = {
      {"a plain tree", "Home", nullptr, false, ""},
      {"a junction Windows removes as a link", "Home", "data\\junction", false, ""},
      {"a junction that stays", "Home", "data\\junction", true, kStays},
      {"the home directory itself a junction", "junction", nullptr, false, kNotFolder},
      {"a missing home directory, left to the deletion", nullptr, nullptr, false, ""},
  };
  testsupport::ImportSwap attributes("kernel32.dll", "GetFileAttributesA", reinterpret_cast<void*>(&AttributesWithJunctions));
  testsupport::ImportSwap first("kernel32.dll", "FindFirstFileA", reinterpret_cast<void*>(&FindFirstWithJunctions));
  testsupport::ImportSwap next("kernel32.dll", "FindNextFileA", reinterpret_cast<void*>(&FindNextWithJunctions));
  ASSERT_TRUE(attributes.Active() && first.Active() && next.Active());
  for (const Case& c : cases) {
    const ScratchFolder base("links_" + std::to_string(&c - cases));
    const std::string home = base / "Halvorne\\" + (c.home != nullptr ? c.home : "Missing");
    CreateDirectoryA((base / "Halvorne").c_str(), nullptr);
    if (c.home != nullptr) {
      CreateDirectoryA(home.c_str(), nullptr);
      CreateDirectoryA((home + "\\data").c_str(), nullptr);
      ASSERT_TRUE(WriteWholeFile(home + "\\data\\file.txt", "f"));
    }
    const std::string junction = c.junction != nullptr ? home + "\\" + c.junction : "";
    if (c.junction != nullptr) CreateDirectoryA(junction.c_str(), nullptr);
    if (c.junctionHoldsFile) {
      ASSERT_TRUE(WriteWholeFile(junction + "\\target.txt", "t"));
    }

    char errorText[2048] = "previous";
    const bool clear = ClearTreeOfLinks(home.c_str(), base.path().size(), errorText);
    const std::string named = c.junction != nullptr ? junction : home;
    EXPECT_EQ(c.refusal[0] == '\0' ? std::string() : named + c.refusal, errorText) << c.what;
    EXPECT_EQ(c.refusal[0] == '\0', clear) << c.what;
    if (c.junction != nullptr) {
      EXPECT_EQ(c.junctionHoldsFile, FileExists(junction)) << c.what << ": the junction removed?";
    }
    if (c.junctionHoldsFile) {
      EXPECT_TRUE(FileExists(junction + "\\target.txt")) << c.what << ": the target's file deleted";
    }
  }
}
