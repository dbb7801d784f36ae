// Shell folders by name: the folder each name means, the forgiving lookup, and the shell's
// answer under Wine.
#include <gtest/gtest.h>

#include <string.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <utility>

#include "support/import_swap.h"
#include "support/test_process.h"
#include "util/shell_folders.h"

// Each folder name a caller may give, with the shell's identifier of the folder it means: a
// name misspelt in the table, or given the identifier of a neighbouring folder, would send
// the lookup to the wrong place or to none.
TEST(FolderIdFromName, GivesEachKnownNameTheShellsIdentifierOfItsFolder) {
  const std::pair<const char*, int> folders[] = {
      {"Common Administrative Tools", CSIDL_COMMON_ADMINTOOLS},
      {"Common AppData", CSIDL_COMMON_APPDATA},
      {"Common Desktop", CSIDL_COMMON_DESKTOPDIRECTORY},
      {"Common Documents", CSIDL_COMMON_DOCUMENTS},
      {"Common Favorites", CSIDL_COMMON_FAVORITES},
      {"Common Programs", CSIDL_COMMON_PROGRAMS},
      {"Common Start Menu", CSIDL_COMMON_STARTMENU},
      {"Common Startup", CSIDL_COMMON_STARTUP},
      {"Common Templates", CSIDL_COMMON_TEMPLATES},
      {"CommonMusic", CSIDL_COMMON_MUSIC},
      {"CommonPictures", CSIDL_COMMON_PICTURES},
      {"CommonVideo", CSIDL_COMMON_VIDEO},
      {"Personal", CSIDL_PERSONAL},
      {"Administrative Tools", CSIDL_ADMINTOOLS},
      {"AppData", CSIDL_APPDATA},
      {"Cache", CSIDL_INTERNET_CACHE},
      {"CD Burning", CSIDL_CDBURN_AREA},
      {"Cookies", CSIDL_COOKIES},
      {"Desktop", CSIDL_DESKTOP},
      {"Favorites", CSIDL_FAVORITES},
      {"Fonts", CSIDL_FONTS},
      {"History", CSIDL_HISTORY},
      {"Local AppData", CSIDL_LOCAL_APPDATA},
      {"My Music", CSIDL_MYMUSIC},
      {"My Pictures", CSIDL_MYPICTURES},
      {"My Video", CSIDL_MYVIDEO},
      {"NetHood", CSIDL_NETHOOD},
      {"PrintHood", CSIDL_PRINTHOOD},
      {"Programs", CSIDL_PROGRAMS},
      {"Recent", CSIDL_RECENT},
      {"SendTo", CSIDL_SENDTO},
      {"Start Menu", CSIDL_STARTMENU},
      {"Startup", CSIDL_STARTUP},
      {"Templates", CSIDL_TEMPLATES},
      {"CommonFilesDir", CSIDL_PROGRAM_FILES_COMMON},
      {"ProgramFilesDir", CSIDL_PROGRAM_FILES},
  };
  for (const auto& folder : folders) EXPECT_EQ(folder.second, FolderIdFromName(folder.first)) << folder.first;
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
