// The three run modes' step sequences. Each logs its own lines, the last one included.
#pragma once

#include "sysops/own_program.h"
#include "util/bounded_text.h"
#include "util/path_spelling.h"

// WinMain's working buffers, zero-filled at entry and shared with the stage it runs.
struct DriverBuffers {
  char messageBuffer[kMessageCapacity];
  char errorText[kErrorTextCapacity];
  // The executable, its folder and the temporary directory (with its trailing backslash),
  // each in the final form it had before the policy against untrusted junctions began.
  SpelledPath ownPath;
  SpelledPath sourceDirectory;
  SpelledPath tempDirectory;
  char homePath[kPathCapacity];
  // The copy in the temporary directory, as the log names it.
  char tempCopyPath[kPathCapacity];
  char launchArguments[kPathCapacity];
};

// Copies the executable, held as own since the run began, into the temporary directory and
// starts that copy elevated, passing on the run's "silent" and "zapfiles" words; a silent run
// waits for the copy to end.
void Relaunch(DriverBuffers* buffers, const OwnProgram* own, bool zapFiles);

// Registers the next-logon cleanup, stops and deletes the service, removes the autostart
// value and the configuration key tree, deletes the home directory, and withdraws the
// cleanup once nothing is left for it.
void Removal(DriverBuffers* buffers);

// Deletes the service's home directory with everything in it.
void FileCleanup(DriverBuffers* buffers);
