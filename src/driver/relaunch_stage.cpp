// The first run, started from anywhere but the temporary directory: copies this
// executable into the temporary directory and starts that copy elevated, passing on
// this run's "silent" and "zapfiles" words. The copy does the real work, from a place
// of the user's own that is still there at the next logon, when the start it registers
// for the cleanup comes due, wherever this run was started from.
//
// Only the copy made just now is ever started: it is held from its creation until its start
// has returned, so that nothing someone else left or put in the writable temporary directory
// can take its place in between, while each step's line is still written before the step.
#include <windows.h>

#include "driver/log_lines.h"
#include "driver/process_state.h"
#include "driver/stages.h"
#include "sysops/program_copy.h"
#include "util/bounded_text.h"

namespace {

// A silent start is an unattended one: whoever started it (a management tool, a script)
// waits for its process and then looks at the machine, so that process ends only once the
// copy's removal has. The bound is several times the longest removal run (two stops that
// follow the service's wait hint, then the home directory's deletion).
const DWORD kCopyWaitSeconds = 600;

}  // namespace

void Relaunch(DriverBuffers* buffers, const OwnProgram* program, bool zapFiles) {
  PlacedCopy placed = {};
  char note[kErrorTextCapacity] = {};
  if (silentMode != 0) AppendText(buffers->launchArguments, kPathCapacity, "silent ");
  if (zapFiles) AppendText(buffers->launchArguments, kPathCapacity, "zapfiles");

  const char* own = buffers->ownPath.text;
  const char* temp = buffers->tempDirectory.text;
  LogAction(buffers, "Copy %s to %s", own, temp);
  const bool copied = PlaceCopy(program, buffers->ownPath.path, buffers->tempDirectory.path, &placed,
                                buffers->tempCopyPath, note, buffers->errorText);
  if (note[0] != '\0') LogResult(buffers, "%s", note);
  if (copied) {
    LogResult(buffers, "Copy from: %s to: %s success.", own, temp);
  } else {
    LogResult(buffers, "Copy from: %s to: %s failed.  Error: %s", own, temp, buffers->errorText);
  }

  LogAction(buffers, "Run %s %s", buffers->tempCopyPath, buffers->launchArguments);
  if (StartPlacedCopy(&placed, buffers->launchArguments, buffers->errorText)) {
    LogResult(buffers, "%s Launched OK", buffers->tempCopyPath);
    if (silentMode != 0 && !WaitForPlacedCopy(&placed, kCopyWaitSeconds * 1000)) {
      LogResult(buffers, "%s was still running after %u seconds; this run ends without waiting for it any longer.",
                buffers->tempCopyPath, static_cast<unsigned>(kCopyWaitSeconds));
    }
  } else {
    LogResult(buffers, "%s launch failed.  Error: %s", buffers->tempCopyPath, buffers->errorText);
  }
  ReleasePlacedCopy(&placed);
}
