// The next logon's command: at most the 260 characters Windows runs from RunOnce, by the
// copy's short form where the path as the log names it is too long, and not at all when
// even that does not fit. A volume without short names is made by the import swap.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "driver/run_once_command.h"
#include "support/short_names.h"
#include "support/test_process.h"
#include "util/paths.h"

namespace {

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

TEST(BuildRunOnceCommand, FallsBackToTheShortFormAndWritesNothingLongerThan260Characters) {
  const testsupport::ScratchFolder scratch("run_once");
  // 243 characters: quoted and with the two words, one more than Windows runs.
  const std::string deep = scratch / std::string(243 - scratch.path().size() - 23, 'd');
  const std::string program = deep + "\\VuzavoRURIvezarov.exe";
  ASSERT_EQ(243u, program.size());
  ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
  ASSERT_TRUE(testsupport::WriteWholeFile(program, "program"));
  wchar_t shortForm[MAX_PATH] = {};
  ASSERT_NE(0u, GetShortPathNameW(Wide(program).c_str(), shortForm, MAX_PATH));
  const std::string shortProgram(shortForm, shortForm + wcslen(shortForm));
  const std::string shorter = scratch / "VuzavoRURIvezarov.exe";

  struct Row {
    std::string path;
    bool volumeHasShortNames;
    RunOnceCommand made;
    std::string text;
  };
  const Row rows[] = {
      {shorter, true, RunOnceCommand::kWritable, "\"" + shorter + "\" silent zapfiles"},
      {program, true, RunOnceCommand::kWritable, "\"" + shortProgram + "\" silent zapfiles"},
      {program, false, RunOnceCommand::kTooLong, "\"" + program + "\" silent zapfiles"},
      {"", true, RunOnceCommand::kNoPath, "\"\" silent zapfiles"},
  };
  for (const Row& row : rows) {
    const std::unique_ptr<testsupport::ImportSwap> swap = testsupport::SwapAwayShortNames(!row.volumeHasShortNames);
    ASSERT_TRUE(swap == nullptr || swap->Active()) << "the test program does not import GetShortPathNameW";
    SpelledPath own = {};
    CopyPath(own.path, Wide(row.path).c_str());
    SpellPath(&own);
    wchar_t command[4096] = {};
    char text[4096] = {};
    const RunOnceCommand made = BuildRunOnceCommand(&own, command, text);
    SCOPED_TRACE(row.path + (row.volumeHasShortNames ? "" : ", no short names"));
    EXPECT_EQ(static_cast<int>(row.made), static_cast<int>(made));
    EXPECT_EQ(row.text, text);
    EXPECT_TRUE(Wide(row.text) == command) << "the command holds " << wcslen(command) << " characters";
  }
}
