#include "util/paths.h"

#include <string.h>
#include <windows.h>

#include "util/bounded_text.h"
#include "util/text_helpers.h"

bool GetModulePath(char* path) {
  char answer[kPathCapacity] = {};
  // A path that does not fit comes back cut, with the buffer's whole length: a cut path
  // names another file, so it is no answer at all.
  const DWORD length = GetModuleFileNameA(nullptr, answer, static_cast<DWORD>(kPathCapacity));
  if (length == 0 || length >= kPathCapacity) return false;
  CopyText(path, kPathCapacity, answer);
  return true;
}

void GetTempDirectory(char* path) {
  CopyText(path, kPathCapacity, "");
  char answer[kPathCapacity] = {};
  const DWORD length = GetTempPathA(static_cast<DWORD>(kPathCapacity), answer);
  if (length == 0 || length > kPathCapacity) return;
  CopyText(path, kPathCapacity, answer);
}

void SourceDirectoryOf(char* path) {
  // Measured first: a path without a terminator in its buffer is never read further.
  size_t length = 0;
  if (TextFailed(TextLength(path, kPathCapacity, &length)) || length == 0) return;

  const char separator = FindNoCase(path, "http") == 1 ? '/' : '\\';
  const bool quoted = path[0] == '"';

  char result[kPathCapacity] = {};
  size_t position = length;
  while (position > 0) {
    --position;
    if (path[position] == separator) break;
  }
  if (position > 0 && path[position] == separator) {
    LeftPart(path, result, static_cast<int>(position));
  }
  if (quoted && result[0] == '"') {
    RightPart(result, result, static_cast<int>(strlen(result)) - 1);
  }
  CopyText(path, kPathCapacity, result);
}
