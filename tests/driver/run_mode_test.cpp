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

std::string Choose(const char* temp, const char* source, bool zapFiles) {
  return Name(ChooseRunMode(temp, source, zapFiles));
}

const char* const kTemp = "C:\\users\\admin\\AppData\\Local\\Temp\\";

}  // namespace

TEST(RunMode, OutsideTheTemporaryDirectoryAlwaysRelaunchesEvenWithZapfiles) {
  EXPECT_EQ("Relaunch", Choose(kTemp, "C:\\users\\admin\\Downloads", false));
  EXPECT_EQ("Relaunch", Choose(kTemp, "C:\\users\\admin\\Downloads", true));
  EXPECT_EQ("Relaunch", Choose(kTemp, "D:\\users\\admin\\AppData\\Local\\Temp", false));
}

TEST(RunMode, InsideTheTemporaryDirectoryRemovesOrCleansFilesByZapfiles) {
  EXPECT_EQ("Removal", Choose(kTemp, "C:\\users\\admin\\AppData\\Local\\Temp", false));
  EXPECT_EQ("FileCleanup", Choose(kTemp, "C:\\users\\admin\\AppData\\Local\\Temp", true));
  // The platform may spell the same directory with other letter case.
  EXPECT_EQ("Removal", Choose(kTemp, "c:\\USERS\\Admin\\appdata\\local\\TEMP", false));
}

TEST(RunMode, SourceThatIsOnlyPartOfTheTemporaryPathCountsAsInside) {
  EXPECT_EQ("Removal", Choose(kTemp, "C:", false));
  EXPECT_EQ("FileCleanup", Choose(kTemp, "C:\\users", true));
}

TEST(RunMode, MissingOrOverlongDirectoriesRelaunch) {
  EXPECT_EQ("Relaunch", Choose("", "C:\\users\\admin\\AppData\\Local\\Temp", false));
  EXPECT_EQ("Relaunch", Choose(kTemp, "", true));
  EXPECT_EQ("Relaunch", Choose(kTemp, nullptr, false));
  const std::string longTemp = std::string(4096, 'x') + kTemp;
  EXPECT_EQ("Relaunch", Choose(longTemp.c_str(), "C:\\users", false));
}
