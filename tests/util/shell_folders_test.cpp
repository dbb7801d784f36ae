// Shell folders by name: the folder each name means, the forgiving lookup, and the shell's
// answer under Wine.
#include <gtest/gtest.h>

#include <string.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "support/import_swap.h"
#include "support/test_process.h"
#include "util/shell_folders.h"

// Every row is found by its name, at the first row that holds the name (a later row never
// wins); rows with different names mean different folders, so no row carries a neighbour's
// identifier; and the folder the program itself asks for is the all-users application data.
TEST(FolderIdFromName, FindsEveryRowAtTheFirstRowWithItsNameAndNoTwoNamesShareAFolder) {
  for (int row = 0; row < kFolderTableRows; ++row) {
    const FolderRow& folder = FolderTable[row];
    int first = 0;
    while (strcmp(FolderTable[first].name, folder.name) != 0) ++first;
    EXPECT_EQ(FolderTable[first].id, FolderIdFromName(folder.name)) << folder.name;
    for (int other = 0; other < row; ++other) {
      if (strcmp(FolderTable[other].name, folder.name) == 0) continue;
      EXPECT_NE(FolderTable[other].id, folder.id) << folder.name << " and " << FolderTable[other].name;
    }
  }
  EXPECT_EQ(CSIDL_COMMON_APPDATA, FolderIdFromName("Common AppData"));
}

TEST(FolderIdFromName, MatchesLettersInAnyCaseAroundBlanks) {
  struct Case {
    const char* name;
    int expected;
  };
  const std::string padded = "Common AppData" + std::string(300, ' ');
  const std::string cutInside = std::string(250, ' ') + "Common AppData";
  const Case cases[] = {
      {"  common appdata \t", 35},
      {"\xA0" "COMMON APPDATA\r\n", 35},
      {"Personal", 5},
      {"desktop", 0},
      {"Common Desktop", 25},
      {padded.c_str(), 35},
      {cutInside.c_str(), -1},
      {"", -1},
      {" \t\r\n ", -1},
      {nullptr, -1},
      {"Common  AppData", -1},
      {"Common_AppData", -1},
      {"Common AppData2", -1},
      {"Common App", -1},
      {"Windows", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, FolderIdFromName(c.name))
        << "name '" << (c.name ? std::string(c.name).substr(0, 40) : "(null)") << "'";
  }
}

TEST(GetFolderPath, ResolvesCommonAppDataToAnExistingDirectory) {
  const char kMarker = '\x7E';
  char path[300];
  memset(path, kMarker, sizeof(path));
  ASSERT_TRUE(GetFolderPath("Common AppData", path));
  EXPECT_GT(strlen(path), 3u) << path;
  EXPECT_TRUE(testsupport::IsDirectory(path)) << path;
  for (size_t i = 260; i < sizeof(path); ++i) ASSERT_EQ(kMarker, path[i]) << "byte " << i;
}

TEST(GetFolderPath, LeavesThePathAloneUnlessAFolderPathComesBack) {
  char path[260] = "previous text";
  EXPECT_FALSE(GetFolderPath("No Such Folder", path));
  EXPECT_STREQ("previous text", path);
  EXPECT_FALSE(GetFolderPath("", path));
  EXPECT_STREQ("previous text", path);

  // Whatever this prefix can or cannot locate, true must mean a path was written.
  for (int row = 0; row < kFolderTableRows; ++row) {
    CopyMemory(path, "previous text", 14);
    const bool found = GetFolderPath(FolderTable[row].name, path);
    if (found) {
      EXPECT_NE(0, strcmp("previous text", path)) << FolderTable[row].name;
      EXPECT_NE('\0', path[0]) << FolderTable[row].name;
    } else {
      EXPECT_STREQ("previous text", path) << FolderTable[row].name;
    }
  }
}

namespace {

// An all-users folder named in Cyrillic, where no short form can stand in for it.
BOOL WINAPI CyrillicFolderPath(PCIDLIST_ABSOLUTE, LPWSTR path) {
  wcscpy(path, L"C:\\\u041e\u0431\u0449\u0438\u0435 \u0434\u0430\u043d\u043d\u044b\u0435");
  return TRUE;
}

}  // namespace

TEST(GetFolderPath, GivesNoPathThatTheCodePageCanOnlyRenderAsQuestionMarks) {
  testsupport::ImportSwap swap("shell32.dll", "SHGetPathFromIDListW", reinterpret_cast<void*>(&CyrillicFolderPath));
  ASSERT_TRUE(swap.Active()) << "the test program does not import SHGetPathFromIDListW";
  char path[260] = "previous text";
  EXPECT_FALSE(GetFolderPath("Common AppData", path)) << "gave " << path;
  EXPECT_STREQ("previous text", path);
}
