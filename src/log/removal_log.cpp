// The removal log. Every line is opened, appended, committed and closed on its own, so a
// run that dies halfway still leaves every earlier step on disk. Two runs of the program
// overlap in the ordinary flow (the first run and the copy it starts), so the log is opened
// refusing other writers, and a line that finds the file in use waits briefly for it
// instead of being lost.
//
// The log's folders lie under the all-users application-data folder, where standard users
// may plant folders, files and links, and every run is elevated. So the log's own folders
// must be real folders, those the program makes get a DACL that keeps users out, they are
// held as themselves while the file is opened or created relative to them, and a line is
// written only into a file that is no link, has no second name and is finally reached at
// the log's own path; otherwise the line is dropped.
#include "log/removal_log.h"

#include "sysops/files_by_handle.h"
#include "sysops/link_safety.h"
#include "util/bounded_text.h"
#include "util/path_parts.h"
#include "util/release.h"
#include "util/text_helpers.h"
#include "util/wide_text.h"

namespace {

// A line takes the other run a few milliseconds; about a second in all covers a slow disk
// and still never makes a run wait for long. The pauses stay short rather than growing: a
// file that others keep taking in turn is free only for moments, and a waiter that looks
// seldom misses every one of them.
const DWORD kInUseRetryBudgetMs = 1000;
const DWORD kInUsePauseMs = 10;

// What the log's own folders are opened with: to pass through them and look at them.
const DWORD kFolderAccess = FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

// A line with every line feed written as CR LF, as a text-mode stream would write it.
const size_t kDiskLineCapacity = 2 * kMessageCapacity + 2;

// Appends the decimal digits of value and then the separator.
bool AppendNumber(char* line, int value, const char* separator) {
  char digits[11] = {};
  FormatText(digits, sizeof(digits), "%d", value);
  if (TextFailed(AppendText(line, kMessageCapacity, digits))) return false;
  return !TextFailed(AppendText(line, kMessageCapacity, separator));
}

// The log's own part of its path: its own folders, "Halvorne" and "Logs", and the file
// name. Whatever lies above them is the system's, not ours to judge; a path with fewer
// parts has no own folders to trust.
const size_t kOwnNameCount = 3;

// Opens the file name (nameLength characters) in the held folder logs to append, refusing a
// second writer, without following a link at the file itself: an existing file is opened as
// it is, and a missing one is created only where no name of any kind stands. Only a file in
// use is waited for: any other failure (no access, say) answers at once, so a run without a
// log costs no time.
HANDLE OpenLogForAppend(HANDLE logs, const wchar_t* name, size_t nameLength) {
  const DWORD access = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES;
  DWORD waited = 0;
  bool raced = false;
  for (;;) {
    HANDLE file = OpenEntryAsItself(logs, name, nameLength, access, FILE_SHARE_READ);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
      file = CreateNewEntry(logs, name, nameLength, access, FILE_SHARE_READ, nullptr);
    }
    if (file != INVALID_HANDLE_VALUE) return file;
    // Another run made the file between the two opens: it opens as an existing file now.
    // Only once, because a dangling link answers the same way every time.
    if (GetLastError() == ERROR_FILE_EXISTS && !raced) {
      raced = true;
      continue;
    }
    if (GetLastError() != ERROR_SHARING_VIOLATION || waited >= kInUseRetryBudgetMs) return INVALID_HANDLE_VALUE;
    Sleep(kInUsePauseMs);
    waited += kInUsePauseMs;
  }
}

// Opens the log at path to append. Its own folders are opened as themselves and held, so
// that none can be renamed or replaced by a link meanwhile (folders receives them, for the
// caller to close), and the file is opened or created relative to the held "Logs", never
// through a path that could have changed since the folders were checked. expected
// (kWidePathCapacity wide characters) receives the path at which the file must be reached.
HANDLE OpenLog(const char* path, HANDLE* folders, wchar_t* expected) {
  char systemFolder[kPathCapacity] = {};
  char ownFolders[kPathCapacity] = {};
  wchar_t name[kNameCapacity + 1] = {};
  size_t length = 0;
  size_t ownStart = 0;
  size_t nameLength = 0;
  size_t stoppedAt = 0;
  size_t opened = 0;
  if (TextFailed(TextLength(path, kPathCapacity, &length)) || !LastNamesStart(path, length, kOwnNameCount, &ownStart)) {
    return INVALID_HANDLE_VALUE;
  }
  const size_t nameStart = FileNameStart(path, length);
  LeftPart(path, systemFolder, static_cast<int>(ownStart));
  LeftPart(path + ownStart, ownFolders, static_cast<int>(nameStart - 1 - ownStart));
  if (OpenOwnFolders(systemFolder, ownFolders, kFolderAccess, kShareHold, folders, kMaxOwnFolders, &opened, expected,
                     kWidePathCapacity, &stoppedAt) != OwnFolders::kOpened ||
      !WidenText(path + nameStart, length - nameStart, name, kNameCapacity + 1, &nameLength) ||
      !AppendEntryName(expected, kWidePathCapacity, name, nameLength)) {
    return INVALID_HANDLE_VALUE;
  }
  return OpenLogForAppend(folders[opened - 1], name, nameLength);
}

// Copies line into diskLine (kDiskLineCapacity characters) with its line end, every line
// feed written as CR LF; answers the number of characters.
DWORD WithDiskLineEnds(const char* line, char* diskLine) {
  DWORD size = 0;
  for (const char* at = line; *at != '\0'; ++at) {
    if (*at == '\n') diskLine[size++] = '\r';
    diskLine[size++] = *at;
  }
  diskLine[size++] = '\r';
  diskLine[size++] = '\n';
  return size;
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
  char diskLine[kDiskLineCapacity] = {};
  HANDLE folders[kMaxOwnFolders] = {};
  HANDLE log = INVALID_HANDLE_VALUE;
  wchar_t* expected = nullptr;

  LogTimestamp(line);
  if (!TextFailed(AppendText(line, kMessageCapacity, message))) {
    expected = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, kWidePathCapacity * sizeof(wchar_t)));
  }
  if (expected != nullptr) log = OpenLog(path, folders, expected);
  // Written only into a file that is no link, has no second name and is reached where the
  // held folders say it is.
  if (log != INVALID_HANDLE_VALUE && IsPlainFileAt(log, expected)) {
    DWORD written = 0;
    WriteFile(log, diskLine, WithDiskLineEnds(line, diskLine), &written, nullptr);
    FlushFileBuffers(log);
  }

  ReleaseHandle(&log);
  ReleaseHandles(folders, kMaxOwnFolders);
  ReleaseHeap(&expected);
}

void CreateDirectoryChain(const char* filePath) {
  size_t length = 0;
  if (TextFailed(TextLength(filePath, kPathCapacity, &length))) return;

  const size_t directoryLength = FileNameStart(filePath, length);

  // Above the log's own folders, each directory is only asked for; from the first own
  // folder down, each must be a real folder before anything is made in it, and the walk
  // ends at the first that is not.
  size_t ownStart = length;
  LastNamesStart(filePath, length, kOwnNameCount, &ownStart);
  char directory[kPathCapacity] = {};
  char prefix[kPathCapacity] = {};
  LeftPart(filePath, directory, static_cast<int>(directoryLength));
  for (size_t position = NameEnd(directory, 0, directoryLength); position < directoryLength;
       position = NameEnd(directory, position + 1, directoryLength)) {
    if (position <= ownStart) {
      LeftPart(directory, prefix, static_cast<int>(position + 1));
      CreateDirectoryA(prefix, nullptr);
      continue;
    }
    LeftPart(directory, prefix, static_cast<int>(position));
    CreateProtectedFolder(prefix);
    if (!IsRealFolder(prefix)) return;
  }
}
