// Whole runs of the program under Wine. The built program shows the start lines it writes
// to the real log; a probe build of the same WinMain, whose stages only record what they
// were handed, shows the run mode chosen and the status window as it stands while a stage
// runs. Every run is waited for, together with any copy it started, and what it left in
// the temporary directory and the next-logon key is removed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "program_runs.h"
#include "support/test_process.h"

using drivertest::CleanUpAfterRun;
using drivertest::LogMessages;
using drivertest::LogPath;
using drivertest::ReadRecord;
using drivertest::RemoveLogAndItsDirectories;
using drivertest::TempDirectory;
using testsupport::BuildDirectory;
using testsupport::DirectoryOf;
using testsupport::FileExists;
using testsupport::RunAndWait;

namespace {

const char kBanner[] = "================= KESP Uninstaller Start =================";
const DWORD kRunTimeoutMs = 60000;

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += "  | " + line.substr(0, 120) + "\n";
  return all;
}

// Copies the built program to path (or the probe, with probe set), runs it with arguments
// and answers its exit code.
long RunCopy(const std::string& path, const std::string& arguments, bool probe) {
  const std::string original = probe ? BuildDirectory() + "\\tests\\spine_mode_probe.exe"
                                     : BuildDirectory() + "\\VuzavoRURIvezarov.exe";
  if (!CopyFileA(original.c_str(), path.c_str(), FALSE)) return -100;
  DeleteFileA((path + ".run.txt").c_str());
  return RunAndWait("\"" + path + "\" " + arguments, kRunTimeoutMs);
}

// The five start lines of the program at path, run with commandLine, in order from the
// log's first line; a start line that the program leaves out is passed as empty.
void ExpectStartLines(const std::vector<std::string>& log, const std::string& path,
                      const std::string* commandLine) {
  std::vector<std::string> expected = {kBanner};
  if (commandLine != nullptr) expected.push_back("Command line: " + *commandLine);
  expected.push_back("My path: " + path);
  expected.push_back("Source directory: " + DirectoryOf(path));
  expected.push_back("Temp directory: " + TempDirectory());
  ASSERT_GE(log.size(), expected.size()) << Joined(log);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_TRUE(expected[i] == log[i]) << "line " << i << " of " << log[i].size() << " characters is "
                                       << log[i].substr(0, 120) << "\nexpected " << expected[i].size()
                                       << ": " << expected[i].substr(0, 120);
  }
}

class ProgramRun : public testing::Test {
 protected:
  void SetUp() override { TearDown(); }
  void TearDown() override {
    CleanUp();
    RemoveLogAndItsDirectories();
  }
  // Waits for the runs' copies and removes what they left; the log stays to be read.
  void CleanUp() {
    for (const std::string& name : names_) CleanUpAfterRun(name);
    for (const std::string& path : outside_) DeleteFileA(path.c_str());
  }
  // A path for a copy of the program in the temporary directory, under a name of the test's own.
  std::string InTemp(const std::string& name) {
    names_.push_back(name);
    return TempDirectory() + name;
  }
  std::string Outside(const std::string& name) {
    names_.push_back(name);
    outside_.push_back(outsideFolder_ / name);
    return outside_.back();
  }

 private:
  const testsupport::ScratchFolder outsideFolder_{"program_runs"};
  std::vector<std::string> names_;
  std::vector<std::string> outside_;
};

}  // namespace

TEST_F(ProgramRun, StartLinesInOrderFromOutsideTheTemporaryDirectory) {
  const std::string path = Outside("spine_outside_run.exe");
  EXPECT_EQ(0, RunCopy(path, "", false));
  CleanUp();
  const std::string empty;
  ExpectStartLines(LogMessages(), path, &empty);
}

TEST_F(ProgramRun, StartLinesInOrderFromTheTemporaryDirectoryWithBothWords) {
  const std::string path = InTemp("spine_in_temp_run.exe");
  EXPECT_EQ(0, RunCopy(path, "silent zapfiles", false));
  CleanUp();
  const std::string words = "silent zapfiles";
  ExpectStartLines(LogMessages(), path, &words);
}

TEST_F(ProgramRun, LogCreatedFromNothingThenExtendedNeverRewritten) {
  const std::string path = InTemp("spine_extend_run.exe");
  ASSERT_FALSE(FileExists(DirectoryOf(LogPath()))) << "leftover " << DirectoryOf(LogPath());
  EXPECT_EQ(0, RunCopy(path, "silent", false));
  const std::vector<std::string> first = LogMessages();
  ASSERT_FALSE(first.empty()) << "no log at " << LogPath();
  EXPECT_EQ(kBanner, first[0]);

  EXPECT_EQ(0, RunAndWait("\"" + path + "\" silent", kRunTimeoutMs));
  CleanUp();
  const std::vector<std::string> second = LogMessages();
  ASSERT_GT(second.size(), first.size()) << Joined(second);
  for (size_t i = 0; i + 1 < first.size(); ++i) {
    EXPECT_EQ(first[i], second[i]) << "line " << i << " rewritten";
  }
  size_t banners = 0;
  for (const std::string& line : second) banners += line == kBanner ? 1 : 0;
  EXPECT_EQ(2u, banners) << Joined(second);
}

TEST_F(ProgramRun, UnwritableLogLocationLeavesNoLogAndStillExitsZero) {
  const std::string logs = DirectoryOf(LogPath());
  CreateDirectoryA(DirectoryOf(logs).c_str(), nullptr);
  ASSERT_TRUE(testsupport::WriteWholeFile(logs, "a file where the Logs folder belongs"));

  const std::string path = InTemp("spine_no_log_run.exe");
  EXPECT_EQ(0, RunCopy(path, "silent", false));
  EXPECT_EQ(0, RunCopy(Outside("spine_no_log_outside.exe"), "", false));
  CleanUp();

  EXPECT_FALSE(FileExists(LogPath()));
  EXPECT_EQ("a file where the Logs folder belongs", testsupport::ReadWholeFile(logs));
}

TEST_F(ProgramRun, CommandLinesOf4000CharactersAreLoggedLongerOnesLeftOut) {
  const std::string path = InTemp("spine_long_run.exe");
  for (size_t length : {4000u, 4096u, 5000u}) {
    RemoveLogAndItsDirectories();
    const std::string words = std::string(length - 6, 'w') + "silent";
    EXPECT_EQ(0, RunCopy(path, words, false)) << length;
    CleanUp();
    const std::vector<std::string> log = LogMessages();
    SCOPED_TRACE("command line of " + std::to_string(length) + " characters");
    ExpectStartLines(log, path, length == 4000 ? &words : nullptr);
    for (size_t i = 0; length > 4000 && i < log.size(); ++i) {
      EXPECT_NE(0u, log[i].rfind("Command line:", 0)) << log[i].substr(0, 60);
    }
  }
}

TEST_F(ProgramRun, ModeFollowsPlaceAndWordsFoundInAnyCaseAnywhere) {
  struct ProbeCase {
    const char* arguments;
    bool inTemp;
    const char* mode;
    const char* silent;
  };
  const ProbeCase cases[] = {
      {"", false, "Relaunch", "0"},
      {"zapfiles", false, "Relaunch", "0"},
      {"SILENT", false, "Relaunch", "1"},
      {"", true, "Removal", "0"},
      {"silent zapfiles", true, "FileCleanup", "1"},
      {"/Silent ZapFiles2", true, "FileCleanup", "1"},
      {"nonsilent", true, "Removal", "1"},
      {"zapfile silen", true, "Removal", "0"},
  };
  const std::string outside = Outside("spine_probe_outside.exe");
  const std::string inside = InTemp("spine_probe_in_temp.exe");
  for (const ProbeCase& probe : cases) {
    const std::string& path = probe.inTemp ? inside : outside;
    SCOPED_TRACE(std::string("'") + probe.arguments + "' " + (probe.inTemp ? "in temp" : "outside"));
    EXPECT_EQ(0, RunCopy(path, probe.arguments, true));
    std::map<std::string, std::string> record = ReadRecord(path + ".run.txt");
    EXPECT_EQ(probe.mode, record["mode"]);
    EXPECT_EQ(probe.silent, record["silentMode"]);
    EXPECT_EQ(probe.silent[0] == '1' ? "none" : "present", record["mainWindow"]);
    EXPECT_EQ(probe.silent[0] == '1' ? "none" : "present", record["statusWindow"]);
    if (record["mode"] == "Relaunch") {
      EXPECT_EQ(strstr(probe.arguments, "zapfiles") != nullptr ? "1" : "0", record["zapFiles"]);
    }
    EXPECT_EQ(DirectoryOf(path), record["sourceDirectory"]);
    EXPECT_EQ(TempDirectory(), record["tempDirectory"]);
    EXPECT_EQ(LogPath(), record["logPath"]);
    EXPECT_EQ("1", record["stageBuffersZero"]);
    DeleteFileA((path + ".run.txt").c_str());
  }
}

TEST_F(ProgramRun, WordsInCommandLinesOf4096CharactersOrMoreAreIgnored) {
  const std::string inside = InTemp("spine_probe_long.exe");
  for (size_t length : {4000u, 4095u, 4096u, 5000u}) {
    SCOPED_TRACE("command line of " + std::to_string(length) + " characters");
    const std::string words = "silent zapfiles" + std::string(length - 15, 'q');
    EXPECT_EQ(0, RunCopy(inside, words, true));
    std::map<std::string, std::string> record = ReadRecord(inside + ".run.txt");
    const bool counted = length < 4096;
    EXPECT_EQ(counted ? "FileCleanup" : "Removal", record["mode"]);
    EXPECT_EQ(counted ? "1" : "0", record["silentMode"]);
  }
}

TEST_F(ProgramRun, StatusWindowIsCentredCaptionedAndHoldsTheText) {
  const std::string outside = Outside("spine_probe_window.exe");
  EXPECT_EQ(0, RunCopy(outside, "", true));
  std::map<std::string, std::string> record = ReadRecord(outside + ".run.txt");
  // In the middle of the screen, whatever its size, and wholly on it.
  long screenWidth = 0, screenHeight = 0, left = 0, top = 0, right = 0, bottom = 0;
  ASSERT_EQ(2, sscanf(record["screen"].c_str(), "%ld,%ld", &screenWidth, &screenHeight)) << record["screen"];
  ASSERT_EQ(4, sscanf(record["mainWindow.rect"].c_str(), "%ld,%ld,%ld,%ld", &left, &top, &right, &bottom))
      << record["mainWindow.rect"];
  EXPECT_LE(labs(left - (screenWidth - right)), 1) << record["mainWindow.rect"] << " on " << record["screen"];
  EXPECT_LE(labs(top - (screenHeight - bottom)), 1) << record["mainWindow.rect"] << " on " << record["screen"];
  EXPECT_TRUE(left >= 0 && top >= 0 && left < right && top < bottom) << record["mainWindow.rect"];
  EXPECT_EQ("  Tessivane", record["mainWindow.text"]);
  EXPECT_EQ("Static", record["mainWindow.class"]);
  EXPECT_EQ("1", record["mainWindow.visible"]);
  const unsigned long mainStyle = strtoul(record["mainWindow.style"].c_str(), nullptr, 16);
  EXPECT_EQ(static_cast<unsigned long>(WS_CAPTION), mainStyle & WS_CAPTION) << std::hex << mainStyle;
  EXPECT_EQ(0ul, mainStyle & (WS_CHILD | WS_POPUP | WS_SYSMENU | WS_THICKFRAME)) << std::hex << mainStyle;

  EXPECT_EQ("  Removing Halvorne Tessivane, please wait...", record["statusWindow.text"]);
  EXPECT_EQ("Static", record["statusWindow.class"]);
  EXPECT_EQ("50000000", record["statusWindow.style"]);
  EXPECT_EQ("1", record["statusWindow.parentIsMain"]);
  EXPECT_EQ("1", record["statusWindow.visible"]);
}
