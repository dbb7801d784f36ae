// The three locations the program works from: its own executable, the directory part of
// a path, and the user's temporary directory. Every path lives in a 260-character buffer.
#pragma once

// The running executable's full path; false (path unchanged) when the platform gives none.
bool GetModulePath(char* path);

// The user's temporary directory with its trailing backslash, or the empty text.
void GetTempDirectory(char* path);

// Reduces path, in place, to the part before its last separator: the backslash, or the
// slash for an http URL. A leading double quote goes too; with no usable separator the
// result is empty.
void SourceDirectoryOf(char* path);
