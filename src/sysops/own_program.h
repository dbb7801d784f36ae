// This program's own file, held from the run's first steps. The first run copies its own
// bytes into the temporary directory and starts that copy elevated; by then, whoever owns
// the folder it was started from (a standard user's download folder) could have renamed the
// running file and put another in its place. So the file is opened at entry, sharing only
// reading, and checked to be the image that runs; the copy is read through that handle.
#pragma once

#include <windows.h>

// The held file. Released with ReleaseOwnProgram.
struct OwnProgram {
  HANDLE file = INVALID_HANDLE_VALUE;
  // True when the held file is the running image.
  bool isImage = false;
  // The last error when the file could not be held or its names not read; 0 otherwise.
  DWORD error = 0;
};

// Opens the running program's file as itself, sharing only reading (nobody may rename,
// replace or rewrite it while it is held), and checks that it is the image that runs: the
// name the platform gives the running image and the held file's name, both in device form,
// are the same.
void HoldOwnProgram(OwnProgram* own);

// Lets go of the file.
void ReleaseOwnProgram(OwnProgram* own);
