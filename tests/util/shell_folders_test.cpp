// Shell folders by name: the fixed table, the forgiving lookup, and the shell's answer
// under Wine.
#include <gtest/gtest.h>

#include <string.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "support/import_swap.h"
#include "support/test_process.h"
#include "util/shell_folders.h"

TEST(FolderTable, Holds37RowsInLookupOrder) {
  struct Row {
    const char* name;
    int id;
  };
  // Identifier values written out as numbers, so a wrong SDK constant shows up too.
  const Row expected[] = {
      {"Common Administrative Tools", 47}, {"Common AppData", 35}, {"Common Desktop", 25},
      {"Common Documents", 46}, {"Common Favorites", 31}, {"Common Programs", 23},
      {"Common Start Menu", 22}, {"Common Startup", 24}, {"Common Templates", 45},
      {"CommonMusic", 53}, {"CommonPictures", 54}, {"CommonVideo", 55},
      {"Personal", 5}, {"Administrative Tools", 48}, {"AppData", 26},
      {"Cache", 32}, {"CD Burning", 59}, {"Cookies", 33},
      {"Desktop", 0}, {"Favorites", 6}, {"Fonts", 20},
      {"History", 34}, {"Local AppData", 28}, {"My Music", 13},
      {"My Pictures", 39}, {"My Video", 14}, {"NetHood", 19},
      {"Personal", 5}, {"PrintHood", 27}, {"Programs", 2},
      {"Recent", 8}, {"SendTo", 9}, {"Start Menu", 11},
      {"Startup", 7}, {"Templates", 21}, {"CommonFilesDir", 43},
      {"ProgramFilesDir", 38},
  };
  ASSERT_EQ(37, kFolderTableRows);
  ASSERT_EQ(sizeof(expected) / sizeof(expected[0]), static_cast<size_t>(kFolderTableRows));
  for (int row = 0; row < kFolderTableRows; ++row) {
    EXPECT_STREQ(expected[row].name, FolderTable[row].name) << "row " << row + 1;
    EXPECT_EQ(expected[row].id, FolderTable[row].id) << "row " << row + 1;
  }
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
