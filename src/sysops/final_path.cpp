#include "sysops/final_path.h"

#include <windows.h>

#include "sysops/files_by_handle.h"
#include "util/bounded_text.h"
#include "util/paths.h"
#include "util/release.h"

namespace {

// Room for the "\\?\UNC\" that the platform puts before a final path, taken off again.
const size_t kFinalPathCapacity = kPathCapacity + 8;

}  // namespace

bool ResolveFinalPath(wchar_t* path) {
  wchar_t finalPath[kFinalPathCapacity] = {};
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool resolved = false;
  const size_t length = wcsnlen(path, kPathCapacity);
  const bool folder = length > 0 && length < kPathCapacity && path[length - 1] == L'\\';
  if (length == 0 || length == kPathCapacity) return false;

  handle = CreateFileW(path, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                       nullptr);
  if (handle != INVALID_HANDLE_VALUE && GetFinalPathOf(handle, finalPath, kFinalPathCapacity)) {
    size_t finalLength = wcslen(finalPath);
    // A drive's root keeps its backslash; any other folder gets it back.
    if (folder && finalLength > 0 && finalPath[finalLength - 1] != L'\\') {
      finalPath[finalLength++] = L'\\';
      finalPath[finalLength] = L'\0';
    }
    resolved = finalLength < kPathCapacity && CopyPath(path, finalPath);
  }

  ReleaseHandle(&handle);
  return resolved;
}
