// The run-mode choice. A plain substring test of the source directory within the
// temporary directory: the copy that the first run places in the temporary directory
// always passes it, however the platform spells the directory's letters.
#include "driver/run_mode.h"

#include "util/text_helpers.h"

RunMode ChooseRunMode(const char* tempDirectory, const char* sourceDirectory, bool zapFiles) {
  if (FindNoCase(tempDirectory, sourceDirectory) == 0) return RunMode::Relaunch;
  return zapFiles ? RunMode::FileCleanup : RunMode::Removal;
}
