// The log shared between processes: a line that finds the file held by another process
// waits for it for a bounded number of pauses, and writers running at once never tear a line
// and give one up only after its whole wait.
#include <gtest/gtest.h>

#include <windows.h>

#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "log/pause_recorder.h"
#include "log/removal_log.h"
#include "support/test_process.h"

using logtest::PauseRecorder;
using testsupport::BuildDirectory;
using testsupport::ReadWholeFile;
using testsupport::ScratchFolder;
using testsupport::StartProgram;
using testsupport::WaitForExit;

namespace {

// Starts log_holder on path and returns once it holds the file; it lets go when the event
// "<eventName>.release" is set (see Release).
HANDLE HoldLog(const std::string& path, const std::string& eventName) {
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, (eventName + ".release").c_str());
  HANDLE holder = StartProgram("\"" + BuildDirectory() + "\\tests\\log_holder.exe\" \"" + path +
                               "\" " + eventName + " " + eventName + ".release");
  const DWORD waited = WaitForSingleObject(ready, 60000);
  CloseHandle(ready);
  if (waited != WAIT_OBJECT_0 && holder != nullptr) {
    TerminateProcess(holder, 1);
    CloseHandle(holder);
    holder = nullptr;
  }
  // The holder keeps its own handle to the release event.
  if (holder == nullptr) CloseHandle(release);
  return holder;
}

// Lets the holder go and answers its exit code once it has ended.
long Release(HANDLE holder, const std::string& eventName) {
  HANDLE release = OpenEventA(EVENT_MODIFY_STATE, FALSE, (eventName + ".release").c_str());
  if (release != nullptr) {
    SetEvent(release);
    CloseHandle(release);
  }
  return WaitForExit(holder, 60000);
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
  const std::string holding = "tessivane_log_held_briefly";
  WriteLogLine("before", path.c_str(), true);

  HANDLE holder = HoldLog(path, holding);
  ASSERT_NE(nullptr, holder) << "holder did not start";
  ASSERT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), OpenForWritingError(path))
      << "the holder does not keep others out; the test would prove nothing";

  // The holder lets go at the line's first pause, so the line must wait exactly once.
  long holderExit = -1;
  size_t pauses = 0;
  {
    PauseRecorder recorder([&] { holderExit = Release(holder, holding); });
    ASSERT_TRUE(recorder.Active()) << "the test program does not import Sleep";
    WriteLogLine("while held", path.c_str(), true);
    pauses = recorder.count();
  }
  if (pauses == 0) Release(holder, holding);
  EXPECT_EQ(0, holderExit);
  EXPECT_EQ(1u, pauses) << "pauses before the line was written";

  const std::string contents = ReadWholeFile(path);
  EXPECT_NE(std::string::npos, contents.find("] while held\r\n")) << "line lost; log:\n" << contents;
  EXPECT_NE(std::string::npos, contents.find("] before\r\n")) << contents;
}

TEST(LogSharing, LineHeldOutForLongIsDroppedAfterAboutASecondOfPauses) {
  const ScratchFolder folder("log_held_long");
  const std::string path = folder / "held.log";
  const std::string holding = "tessivane_log_held_long";

  HANDLE holder = HoldLog(path, holding);
  ASSERT_NE(nullptr, holder) << "holder did not start";
  DWORD paused = 0;
  {
    PauseRecorder recorder;
    ASSERT_TRUE(recorder.Active()) << "the test program does not import Sleep";
    WriteLogLine("given up", path.c_str(), true);
    paused = recorder.total();
  }
  EXPECT_EQ(0, Release(holder, holding));
  WriteLogLine("next", path.c_str(), true);

  EXPECT_GE(paused, 900u) << "gave up too soon";
  EXPECT_LE(paused, 1100u) << "waited longer than about a second";
  const std::string contents = ReadWholeFile(path);
  EXPECT_EQ(std::string::npos, contents.find("given up")) << contents;
  EXPECT_NE(std::string::npos, contents.find("] next\r\n")) << contents;
}

TEST(LogSharing, WritersAtOnceTearNoLineAndGiveOneUpOnlyAfterItsWholeWait) {
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
  // A line is given up only after about a second of waiting, which a slow disk can bring
  // about with four writers; any other missing line is lost.
  int givenUp = 0;
  for (char tag : tags) {
    std::set<int> waited;
    for (const std::string& n : testsupport::SplitLines(ReadWholeFile(path + "." + tag + ".waited"))) {
      if (!n.empty()) waited.insert(std::stoi(n));
    }
    for (int n = 0; n < linesEach; ++n) {
      const std::string key = std::string("writer ") + tag + " line " + std::to_string(n);
      if (seen[key] == 0 && waited.count(n) != 0) {
        ++givenUp;
        continue;
      }
      EXPECT_EQ(1, seen[key]) << key;
    }
  }
  if (givenUp > 0) std::cout << givenUp << " lines were given up after their whole wait\n";
}
