// The run-mode choice. The program runs where it is only when its folder is the temporary
// directory itself: a folder that merely contains the temporary directory (C:\, the profile
// folder) is a place like any other, from which the copy is made. Both paths are final
// paths, so the copy that the first run places in the temporary directory finds its folder
// spelled the same way.
#include "driver/run_mode.h"

#include <windows.h>

#include "util/bounded_text.h"
#include "util/wide_text.h"

namespace {

// The length of path without one trailing backslash; 0 for a path that is missing, empty
// or has no terminator within a path's capacity.
int FolderLength(const wchar_t* path) {
  if (path == nullptr) return 0;
  size_t length = wcsnlen(path, kPathCapacity);
  if (length == kPathCapacity) return 0;
  if (length > 0 && path[length - 1] == L'\\') --length;
  return static_cast<int>(length);
}

}  // namespace

RunMode ChooseRunMode(const wchar_t* tempDirectory, const wchar_t* sourceDirectory, bool zapFiles) {
  const int tempLength = FolderLength(tempDirectory);
  const int sourceLength = FolderLength(sourceDirectory);
  if (tempLength == 0 || sourceLength == 0 ||
      !SameIgnoringCase(tempDirectory, tempLength, sourceDirectory, sourceLength)) {
    return RunMode::Relaunch;
  }
  return zapFiles ? RunMode::FileCleanup : RunMode::Removal;
}
