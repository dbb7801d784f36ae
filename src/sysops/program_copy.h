// The copy of the program that the first run puts into the temporary directory and starts
// elevated. That directory may be C:\Windows\Temp, where every user can create files, so
// the copy must be a new file of this program's own from the moment it exists until it has
// been started: nobody else may write it, replace it or change its owner or rights.
#pragma once

#include <windows.h>

#include "sysops/own_program.h"
#include "util/path_spelling.h"

// The placed copy, held from its creation until the caller releases it: the temporary
// directory (nobody may rename or replace it) and the copy (nobody else may write, delete or
// replace it); once started, its process. Released with ReleasePlacedCopy.
struct PlacedCopy {
  HANDLE folder = INVALID_HANDLE_VALUE;
  HANDLE copy = INVALID_HANDLE_VALUE;
  HANDLE process = NULL;
  SpelledPath path = {};
};

// Copies the held program own, found at ownPath, into tempDirectory (its trailing backslash
// included; both in their final form) under its own file name, reading its bytes through
// own's handle; nothing is copied when own is not the running image. A file already under
// that name is deleted first, unless it is a link; when the name stays taken, the copy gets
// the same name with a random suffix, and noteText (2048 characters, else empty) says why.
// The copy is created new, owned by Administrators with a protected DACL (SYSTEM and
// Administrators full control, Users read and execute) from its first instant, and written
// through its own handle, which placed keeps. copyText (260 characters) receives the copy's
// path as the log names it. False, with errorText (2048 characters) saying why nothing was
// copied, when there is no copy to start; placed then holds nothing.
bool PlaceCopy(const OwnProgram* own, const wchar_t* ownPath, const wchar_t* tempDirectory, PlacedCopy* placed,
               char* copyText, char* noteText, char* errorText);

// Starts the placed copy elevated with parameters, holding it against writers and deleters
// until the start has returned, and keeps its process; a copy that was not placed is not
// started. On failure errorText is "Unable to run the program: <copy> Error Message: <why>".
bool StartPlacedCopy(PlacedCopy* placed, const char* parameters, char* errorText);

// Waits at most timeoutMs for the started copy to end; false when it still runs then. True
// at once when there is no process to wait for.
bool WaitForPlacedCopy(const PlacedCopy* placed, DWORD timeoutMs);

// Lets go of the copy's process, the copy and its folder.
void ReleasePlacedCopy(PlacedCopy* placed);
