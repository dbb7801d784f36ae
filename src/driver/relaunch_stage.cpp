// The first run, started from anywhere but the temporary directory: copies this
// executable into the temporary directory and starts that copy elevated, passing on
// this run's "silent" and "zapfiles" words. The copy does the real work, from a place
// of the user's own that is still there at the next logon, when the start it registers
// for the cleanup comes due, wherever this run was started from.
//
// Only the copy made just now is ever started. A file of some other name, or whatever
// an earlier run or another user left in the writable temporary directory, must never
// be run elevated: a file already at the copy's place is deleted first, and the copy is
// started only while it is held against writers and equals this program byte for byte.
// With no temporary directory a bare file name would resolve to the current directory
// and could start this very program over and over.
#include <windows.h>

#include "driver/log_lines.h"
#include "driver/process_state.h"
#include "driver/stages.h"
#include "sysops/program_copy.h"
#include "sysops/shell_files.h"
#include "util/bounded_text.h"
#include "util/paths.h"

namespace {

// The part of path after its last backslash: a renamed download keeps its own name.
const char* FileNameOf(const char* path) {
  const char* name = path;
  for (const char* at = path; *at != '\0'; ++at) {
    if (*at == '\\') name = at + 1;
  }
  return name;
}

}  // namespace

void Relaunch(DriverBuffers* buffers, bool zapFiles) {
  char copyPath[kPathCapacity] = {};
  bool copied = false;
  bool haveTempDirectory = false;
  bool copyPathFits = false;
  bool launched = false;

  GetTempDirectory(buffers->tempCopyPath);
  GetModulePath(buffers->copySource);
  haveTempDirectory = buffers->tempCopyPath[0] != '\0';
  // The temporary directory ends with a backslash, so this names the copy itself.
  CopyText(copyPath, kPathCapacity, buffers->tempCopyPath);
  // Without its own path the program has no name to copy under, and the shell copy fails.
  copyPathFits = buffers->copySource[0] != '\0' &&
                 !TextFailed(AppendText(copyPath, kPathCapacity, FileNameOf(buffers->copySource)));

  LogAction(buffers, "Copy %s to %s", buffers->copySource, buffers->tempCopyPath);
  // With an empty destination the shell would copy into the current directory instead.
  // A copy whose path does not fit is never started, so its place needs no clearing.
  if (!haveTempDirectory) {
    CopyText(buffers->errorText, kErrorTextCapacity,
             "The temporary directory could not be found; nothing was copied.");
  } else if (!copyPathFits || ClearPlaceForCopy(copyPath, buffers->errorText)) {
    copied = CopyWithShell(buffers->copySource, buffers->tempCopyPath, buffers->errorText,
                           silentMode != 0, true);
  }
  if (copied) {
    LogResult(buffers, "Copy from: %s to: %s success.", buffers->copySource, buffers->tempCopyPath);
  } else {
    LogResult(buffers, "Copy from: %s to: %s failed.  Error: %s", buffers->copySource,
              buffers->tempCopyPath, buffers->errorText);
  }

  if (silentMode != 0) AppendText(buffers->launchArguments, kPathCapacity, "silent ");
  if (zapFiles) AppendText(buffers->launchArguments, kPathCapacity, "zapfiles");

  CopyText(buffers->tempCopyPath, kPathCapacity, copyPath);
  LogAction(buffers, "Run %s %s", buffers->tempCopyPath, buffers->launchArguments);

  if (copied && copyPathFits) {
    launched = LaunchCheckedCopy(buffers->tempCopyPath, buffers->copySource, buffers->launchArguments,
                                 buffers->errorText);
  } else if (copied) {
    FormatText(buffers->errorText, kErrorTextCapacity,
               "Unable to run the program: %s Error Message: The path of the copy is too long; "
               "nothing was started.",
               buffers->tempCopyPath);
  } else {
    FormatText(buffers->errorText, kErrorTextCapacity,
               "Unable to run the program: %s Error Message: No copy was made in the temporary "
               "directory; nothing was started.",
               buffers->tempCopyPath);
  }
  if (launched) {
    LogResult(buffers, "%s Launched OK", buffers->tempCopyPath);
  } else {
    LogResult(buffers, "%s launch failed.  Error: %s", buffers->tempCopyPath, buffers->errorText);
  }
}
