// The two locations the program starts from, its own executable and the user's temporary
// directory, and the directory part of a path. They are read in UTF-16, as the system keeps
// them: a name the code page cannot spell is still the folder it names. Every path lives in
// a buffer of 260 wide characters.
#pragma once

#include <wchar.h>

// Copies from into to (260 wide characters); false, with to cut and terminated, when from
// does not fit.
bool CopyPath(wchar_t* to, const wchar_t* from);

// The running executable's full path; false (path unchanged) when the platform gives none
// that fits.
bool GetModulePath(wchar_t* path);

// The user's temporary directory with its trailing backslash, or the empty text.
void GetTempDirectory(wchar_t* path);

// Reduces path, in place, to the part before its last backslash; with no backslash, or one
// only at the start, the result is empty. A path without a terminator among its first 260
// characters stays as it is.
void SourceDirectoryOf(wchar_t* path);
