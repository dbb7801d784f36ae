#include "util/paths.h"

#include <windows.h>

#include "util/bounded_text.h"
#include "util/path_parts.h"

bool CopyPath(wchar_t* to, const wchar_t* from) {
  const size_t length = wcsnlen(from, kPathCapacity);
  const size_t kept = length < kPathCapacity ? length : kPathCapacity - 1;
  wmemcpy(to, from, kept);
  to[kept] = L'\0';
  return kept == length;
}

bool GetModulePath(wchar_t* path) {
  wchar_t answer[kPathCapacity] = {};
  // A path that does not fit comes back cut, with the buffer's whole length: a cut path
  // names another file, so it is no answer at all.
  const DWORD length = GetModuleFileNameW(nullptr, answer, static_cast<DWORD>(kPathCapacity));
  if (length == 0 || length >= kPathCapacity) return false;
  return CopyPath(path, answer);
}

void GetTempDirectory(wchar_t* path) {
  wchar_t answer[kPathCapacity] = {};
  path[0] = L'\0';
  // A path that does not fit is answered with the size it needs, and nothing is written.
  const DWORD length = GetTempPathW(static_cast<DWORD>(kPathCapacity), answer);
  if (length == 0 || length >= kPathCapacity) return;
  CopyPath(path, answer);
}

void SourceDirectoryOf(wchar_t* path) {
  const size_t length = wcsnlen(path, kPathCapacity);
  if (length == kPathCapacity) return;
  const size_t position = FileNameStart(path, length);
  // position is one past the last backslash, or 0 when there is none.
  path[position > 1 ? position - 1 : 0] = L'\0';
}
