// The run-mode choice. A plain test of whether the source directory occurs within the
// temporary directory, letters in any case: the copy that the first run places in the
// temporary directory always passes it, since both paths are taken in their final form.
#include "driver/run_mode.h"

#include <windows.h>

#include "util/text_helpers.h"
#include "util/wide_text.h"

namespace {

bool OccursWithin(const wchar_t* searched, const wchar_t* sought) {
  if (searched == nullptr || sought == nullptr) return false;
  // Texts as long as the text helpers refuse are not searched either.
  const size_t limit = static_cast<size_t>(kWorkingCapacity);
  const size_t searchedLength = wcsnlen(searched, limit);
  const size_t soughtLength = wcsnlen(sought, limit);
  if (searchedLength == limit || soughtLength == 0 || soughtLength > searchedLength) return false;
  const int compared = static_cast<int>(soughtLength);
  for (size_t start = 0; start + soughtLength <= searchedLength; ++start) {
    if (SameIgnoringCase(searched + start, compared, sought, compared)) return true;
  }
  return false;
}

}  // namespace

RunMode ChooseRunMode(const wchar_t* tempDirectory, const wchar_t* sourceDirectory, bool zapFiles) {
  if (!OccursWithin(tempDirectory, sourceDirectory)) return RunMode::Relaunch;
  return zapFiles ? RunMode::FileCleanup : RunMode::Removal;
}
