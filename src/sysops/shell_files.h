// Copying a file through the shell's file operation, with a fixed flag set that never asks
// the user anything and never shows an error.
#pragma once

// Copies from (a file or directory) to to; in this program's use, into an existing
// directory written with its trailing backslash. errorText (2048 characters) is emptied
// first and explains a failure.
bool CopyWithShell(const char* from, const char* to, char* errorText, bool silent, bool recursive);
