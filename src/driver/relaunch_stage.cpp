// The first run, started from anywhere but the temporary directory: copies this
// executable into the temporary directory and starts that copy elevated, passing on
// this run's "silent" and "zapfiles" words. The copy does the real work, from a place
// of the user's own that is still there at the next logon, when the start it registers
// for the cleanup comes due, wherever this run was started from.
//
// Only the copy made just now is ever started. A file of some other name, or whatever
// an earlier run or another user left in the writable temporary directory, must never
// be run elevated; and with no temporary directory a bare file name would resolve to
// the current directory and could start this very program over and over.
#include <windows.h>

#include "driver/log_lines.h"
#include "driver/process_state.h"
#include "driver/stages.h"
#include "sysops/elevated_launch.h"
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
  bool copied = false;
  bool haveTempDirectory = false;
  bool copyPathFits = false;
  bool launched = false;

  GetTempDirectory(buffers->tempCopyPath);
  GetModulePath(buffers->copySource);
  haveTempDirectory = buffers->tempCopyPath[0] != '\0';

  LogAction(buffers, "Copy %s to %s", buffers->copySource, buffers->tempCopyPath);
  // With an empty destination the shell would copy into the current directory instead.
  if (haveTempDirectory) {
    copied = CopyWithShell(buffers->copySource, buffers->tempCopyPath, buffers->errorText,
                           silentMode != 0, true);
  } else {
    CopyText(buffers->errorText, kErrorTextCapacity,
             "The temporary directory could not be found; nothing was copied.");
  }
  if (copied) {
    LogResult(buffers, "Copy from: %s to: %s success.", buffers->copySource, buffers->tempCopyPath);
  } else {
    LogResult(buffers, "Copy from: %s to: %s failed.  Error: %s", buffers->copySource,
              buffers->tempCopyPath, buffers->errorText);
  }

  if (silentMode != 0) AppendText(buffers->launchArguments, kPathCapacity, "silent ");
  if (zapFiles) AppendText(buffers->launchArguments, kPathCapacity, "zapfiles");

  // The temporary directory ends with a backslash, so this names the copy itself.
  copyPathFits = !TextFailed(AppendText(buffers->tempCopyPath, kPathCapacity,
                                        FileNameOf(buffers->copySource)));
  LogAction(buffers, "Run %s %s", buffers->tempCopyPath, buffers->launchArguments);

  if (copied && copyPathFits) {
    launched = LaunchElevated(buffers->tempCopyPath, buffers->launchArguments, false, SW_SHOWNORMAL,
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
