// The log shared between processes: a line that finds the file held by another process
// waits for it within a bounded time, and writers running at once never lose or tear a
// line.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "log/removal_log.h"
#include "support/test_process.h"

using testsupport::BuildDirectory;
using testsupport::ReadWholeFile;
using testsupport::ScratchFolder;
using testsupport::StartProgram;
using testsupport::WaitForExit;

namespace {

// Starts log_holder on path for holdMs and returns once it holds the file.
HANDLE HoldLog(const std::string& path, int holdMs, const char* eventName) {
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, eventName);
  HANDLE holder = StartProgram("\"" + BuildDirectory() + "\\tests\\log_holder.exe\" \"" + path +
                               "\" " + std::to_string(holdMs) + " " + eventName);
  const DWORD waited = WaitForSingleObject(ready, 20000);
  CloseHandle(ready);
  if (waited != WAIT_OBJECT_0 && holder != nullptr) {
    TerminateProcess(holder, 1);
    CloseHandle(holder);
    return nullptr;
  }
  return holder;
}

DWORD OpenForWritingError(const std::string& path) {
  HANDLE probe = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD error = probe == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
  return error;
}

}  // namespace

TEST(LogSharing, LineWaitsForAnotherProcessHoldingTheLogBriefly) {
  const ScratchFolder folder("log_held_briefly");
  const std::string path = folder / "held.log";
  WriteLogLine("before", path.c_str(), true);

  HANDLE holder = HoldLog(path, 400, "tessivane_log_held_briefly");
  ASSERT_NE(nullptr, holder) << "holder did not start";
  ASSERT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), OpenForWritingError(path))
      << "the holder does not keep others out; the test would prove nothing";

  const DWORD started = GetTickCount();
  WriteLogLine("while held", path.c_str(), true);
  const DWORD took = GetTickCount() - started;
  EXPECT_EQ(0, WaitForExit(holder, 20000));

  const std::string contents = ReadWholeFile(path);
  EXPECT_NE(std::string::npos, contents.find("] while held\r\n"))
      << "line lost after waiting " << took << " ms; log:\n" << contents;
  EXPECT_NE(std::string::npos, contents.find("] before\r\n")) << contents;
}

TEST(LogSharing, LineHeldOutForLongIsDroppedWithinAboutASecond) {
  const ScratchFolder folder("log_held_long");
  const std::string path = folder / "held.log";

  HANDLE holder = HoldLog(path, 4000, "tessivane_log_held_long");
  ASSERT_NE(nullptr, holder) << "holder did not start";
  const DWORD started = GetTickCount();
  WriteLogLine("given up", path.c_str(), true);
  const DWORD took = GetTickCount() - started;
  EXPECT_EQ(0, WaitForExit(holder, 20000));
  WriteLogLine("next", path.c_str(), true);

  EXPECT_GE(took, 900u) << "gave up too soon";
  EXPECT_LT(took, 2500u) << "waited without bound";
  const std::string contents = ReadWholeFile(path);
  EXPECT_EQ(std::string::npos, contents.find("given up")) << contents;
  EXPECT_NE(std::string::npos, contents.find("] next\r\n")) << contents;
}

TEST(LogSharing, WritersAtOnceLoseNoLineAndTearNone) {
  const ScratchFolder folder("log_many_writers");
  const std::string path = folder / "shared.log";
  const std::string tags = "ABCD";
  const int linesEach = 40;

  HANDLE start = CreateEventA(nullptr, TRUE, FALSE, "tessivane_log_writers_start");
  std::vector<HANDLE> writers;
  for (char tag : tags) {
    writers.push_back(StartProgram("\"" + BuildDirectory() + "\\tests\\log_writer.exe\" \"" + path +
                                   "\" " + tag + " " + std::to_string(linesEach) +
                                   " tessivane_log_writers_start"));
    ASSERT_NE(nullptr, writers.back());
  }
  Sleep(300);
  SetEvent(start);
  for (HANDLE writer : writers) EXPECT_EQ(0, WaitForExit(writer, 60000));
  CloseHandle(start);

  // Each line is "writer <tag> line <n> " and then 1500 copies of the tag.
  std::map<std::string, int> seen;
  int malformed = 0;
  for (const std::string& line : testsupport::SplitLines(ReadWholeFile(path))) {
    if (line.empty()) continue;
    const size_t at = line.find("] writer ");
    const char tag = at == std::string::npos ? '?' : line[at + 9];
    const size_t body = line.find(' ', at + 16);
    const bool whole = at != std::string::npos && body != std::string::npos &&
                       line.size() - body - 1 == 1500 &&
                       line.find_first_not_of(tag, body + 1) == std::string::npos;
    if (!whole) {
      if (++malformed <= 3) ADD_FAILURE() << "torn line: " << line.substr(0, 80) << "...";
      continue;
    }
    ++seen[line.substr(at + 2, body - at - 2)];
  }
  EXPECT_EQ(0, malformed);
  for (char tag : tags) {
    for (int n = 0; n < linesEach; ++n) {
      const std::string key = std::string("writer ") + tag + " line " + std::to_string(n);
      EXPECT_EQ(1, seen[key]) << key;
    }
  }
}
