// The run-mode choice: where the executable runs and the "zapfiles" word decide it.
#include <gtest/gtest.h>

#include <string>

#include "driver/run_mode.h"

namespace {

const char* Name(RunMode mode) {
  switch (mode) {
    case RunMode::Relaunch: return "Relaunch";
    case RunMode::Removal: return "Removal";
    case RunMode::FileCleanup: return "FileCleanup";
  }
  return "?";
}

std::string Choose(const wchar_t* temp, const wchar_t* source, bool zapFiles) {
  return Name(ChooseRunMode(temp, source, zapFiles));
}

const wchar_t* const kTemp = L"C:\\users\\admin\\AppData\\Local\\Temp\\";

}  // namespace

TEST(RunMode, OutsideTheTemporaryDirectoryAlwaysRelaunchesEvenWithZapfiles) {
  EXPECT_EQ("Relaunch", Choose(kTemp, L"C:\\users\\admin\\Downloads", false));
  EXPECT_EQ("Relaunch", Choose(kTemp, L"C:\\users\\admin\\Downloads", true));
  EXPECT_EQ("Relaunch", Choose(kTemp, L"D:\\users\\admin\\AppData\\Local\\Temp", false));
}

TEST(RunMode, InsideTheTemporaryDirectoryRemovesOrCleansFilesByZapfiles) {
  EXPECT_EQ("Removal", Choose(kTemp, L"C:\\users\\admin\\AppData\\Local\\Temp", false));
  EXPECT_EQ("FileCleanup", Choose(kTemp, L"C:\\users\\admin\\AppData\\Local\\Temp", true));
  // The platform may spell the same directory with other letter case.
  EXPECT_EQ("Removal", Choose(kTemp, L"c:\\USERS\\Admin\\appdata\\local\\TEMP", false));
}

// A folder that holds the temporary directory, or that only begins like it, is another
// folder: a start from the drive's root or the profile folder copies and relaunches.
TEST(RunMode, OnlyTheTemporaryDirectoryItselfCountsAsInside) {
  struct Row {
    const wchar_t* temp;
    const wchar_t* source;
    const char* mode;
  };
  const Row rows[] = {
      {kTemp, L"C:", "Relaunch"},
      {kTemp, L"C:\\", "Relaunch"},
      {kTemp, L"C:\\users\\admin", "Relaunch"},
      {kTemp, L"C:\\users\\admin\\AppData\\Local", "Relaunch"},
      {kTemp, L"C:\\users\\admin\\AppData\\Local\\Tem", "Relaunch"},
      {kTemp, L"C:\\users\\admin\\AppData\\Local\\Temp\\sub", "Relaunch"},
      {kTemp, L"C:\\users\\admin\\AppData\\Local\\Temp\\", "Removal"},
      {L"C:\\users\\admin\\AppData\\Local\\Temp", L"C:\\users\\admin\\AppData\\Local\\Temp", "Removal"},
      // A temporary directory at a drive's root holds the program that runs there.
      {L"C:\\", L"C:", "Removal"},
      {L"C:\\", L"C:\\Windows", "Relaunch"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.mode, Choose(row.temp, row.source, false)) << std::wstring(row.source).size() << " characters";
  }
  EXPECT_EQ("Relaunch", Choose(kTemp, L"C:\\users", true));
}

TEST(RunMode, MissingOrOverlongDirectoriesRelaunch) {
  EXPECT_EQ("Relaunch", Choose(L"", L"C:\\users\\admin\\AppData\\Local\\Temp", false));
  EXPECT_EQ("Relaunch", Choose(kTemp, L"", true));
  EXPECT_EQ("Relaunch", Choose(kTemp, nullptr, false));
  const std::wstring longSource = std::wstring(kTemp) + std::wstring(300, L'x');
  EXPECT_EQ("Relaunch", Choose(longSource.c_str(), longSource.c_str(), false));
}

// A folder that the code page spells like the temporary directory is still another folder.
TEST(RunMode, LookAlikeOfTheTemporaryDirectoryRelaunches) {
  const wchar_t* const temp = L"C:\\users\\\u0141ukasz\\Temp\\";
  EXPECT_EQ("Relaunch", Choose(temp, L"C:\\users\\Lukasz\\Temp", false));
  EXPECT_EQ("Removal", Choose(temp, L"c:\\USERS\\\u0142UKASZ\\temp", false));
}
