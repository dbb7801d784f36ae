// Deleting files and directory trees through the shell's file operation, with a fixed flag
// set that never asks the user anything and never shows an error.
#pragma once

// Deletes path (a file or a directory with everything in it), without the Recycle Bin.
// errorText (2048 characters) is emptied first and explains a failure.
bool DeleteWithShell(const char* path, char* errorText, bool silent, bool recursive);
