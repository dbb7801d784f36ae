// The removal log. Every line is opened, appended, committed and closed on its own, so a
// run that dies halfway still leaves every earlier step on disk. Two runs of the program
// overlap in the ordinary flow (the first run and the copy it starts), so the log is opened
// refusing other writers, and a line that finds the file in use waits briefly for it
// instead of being lost.
#include "log/removal_log.h"

#include <share.h>
#include <stdio.h>
#include <stdlib.h>

#include "util/bounded_text.h"
#include "util/text_helpers.h"

namespace {

// A line takes the other run a few milliseconds; about a second in all covers a slow disk
// and still never makes a run wait for long.
const DWORD kInUseRetryBudgetMs = 1000;
const DWORD kFirstInUsePauseMs = 10;

// Appends the decimal digits of value and then the separator.
bool AppendNumber(char* line, int value, const char* separator) {
  char digits[11] = {};
  FormatText(digits, sizeof(digits), "%d", value);
  if (TextFailed(AppendText(line, kMessageCapacity, digits))) return false;
  return !TextFailed(AppendText(line, kMessageCapacity, separator));
}

bool OpenFailedBecauseInUse() {
  return _doserrno == ERROR_SHARING_VIOLATION || GetLastError() == ERROR_SHARING_VIOLATION;
}

// Opens the log for appending with text line ends and committing flushes, refusing a
// second writer. Only a file in use is waited for: any other failure (no directory, no
// access) answers null at once, so a run without a log costs no time.
FILE* OpenLogForAppend(const char* path) {
  DWORD waited = 0;
  DWORD pause = kFirstInUsePauseMs;
  for (;;) {
    _doserrno = 0;
    SetLastError(ERROR_SUCCESS);
    FILE* file = _fsopen(path, "atc", _SH_DENYWR);
    if (file != nullptr) return file;
    if (!OpenFailedBecauseInUse() || waited >= kInUseRetryBudgetMs) return nullptr;
    if (pause > kInUseRetryBudgetMs - waited) pause = kInUseRetryBudgetMs - waited;
    Sleep(pause);
    waited += pause;
    pause *= 2;
  }
}

}  // namespace

void LogTimestampAt(const SYSTEMTIME* localTime, char* line) {
  if (TextFailed(CopyText(line, kMessageCapacity, "["))) return;
  if (!AppendNumber(line, localTime->wYear, "-")) return;
  if (!AppendNumber(line, localTime->wMonth, "-")) return;
  if (!AppendNumber(line, localTime->wDay, " ")) return;
  char clock[9] = {};
  if (TextFailed(FormatText(clock, sizeof(clock), "%02d:%02d:%02d", localTime->wHour,
                            localTime->wMinute, localTime->wSecond))) {
    return;
  }
  if (TextFailed(AppendText(line, kMessageCapacity, clock))) return;
  AppendText(line, kMessageCapacity, "] ");
}

void LogTimestamp(char* line) {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  LogTimestampAt(&now, line);
}

void WriteLogLine(const char* message, const char* path, bool enabled) {
  if (!enabled) return;
  char line[kMessageCapacity] = {};
  FILE* log = nullptr;

  LogTimestamp(line);
  if (!TextFailed(AppendText(line, kMessageCapacity, message))) {
    log = OpenLogForAppend(path);
  }
  if (log != nullptr) {
    fputs(line, log);
    fputs("\n", log);
    fflush(log);
  }

  if (log != nullptr) {
    fclose(log);
    log = nullptr;
  }
}

void CreateDirectoryChain(const char* filePath) {
  size_t length = 0;
  if (TextFailed(TextLength(filePath, kPathCapacity, &length))) return;

  size_t directoryLength = 0;
  for (size_t position = length; position > 0; --position) {
    if (filePath[position - 1] == '\\') {
      directoryLength = position;
      break;
    }
  }

  char directory[kPathCapacity] = {};
  char prefix[kPathCapacity] = {};
  LeftPart(filePath, directory, static_cast<int>(directoryLength));
  for (size_t position = 0; position < directoryLength; ++position) {
    if (directory[position] != '\\') continue;
    LeftPart(directory, prefix, static_cast<int>(position + 1));
    CreateDirectoryA(prefix, nullptr);
  }
}
