// The copy of the program that the first run puts into the temporary directory and starts
// elevated. That directory may be C:\Windows\Temp, where every user can create files, so
// the copy must be a new file of this program's own from the moment it exists until it has
// been started: nobody else may write it, replace it or change its owner or rights.
#pragma once

enum class CopyOutcome { kNotCopied, kCopiedNotStarted, kStarted };

// Copies the program at ownPath into tempDirectory (its trailing backslash included; both in
// their final form) under its own file name, and starts the copy elevated with parameters.
// A file already under that name is deleted first, unless it is a link. The copy is created
// new, owned by Administrators with a protected DACL (SYSTEM and Administrators full
// control, Users read and execute) from its first instant, written through its own handle,
// and held against writers and deleters until the start has returned. copyText (260
// characters) receives the copy's path as the log names it. On failure errorText (2048
// characters) says why: for kNotCopied why nothing was copied, for kCopiedNotStarted
// "Unable to run the program: <copyText> Error Message: <why>".
CopyOutcome PlaceAndStartCopy(const wchar_t* ownPath, const wchar_t* tempDirectory, const char* parameters,
                              char* copyText, char* errorText);
