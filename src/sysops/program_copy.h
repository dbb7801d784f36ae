// The copy of the program that the first run puts into the temporary directory and starts
// elevated. That directory may be C:\Windows\Temp, where every user can create files, so
// the copy must be a new file of this program's own and must still be this program, byte
// for byte, when it is started.
#pragma once

// Deletes the file at path, so that the copy made there next is a new file and not one
// that someone else created, still owns and could rewrite. A missing file is fine. On
// failure errorText (2048 characters) says why and that nothing was copied.
bool ClearPlaceForCopy(const char* path, char* errorText);

// Starts the copy at copyPath elevated with parameters, as LaunchElevated does, but only
// when it is this program: it is opened denying other writers and deleters, given the owner
// Administrators and a protected DACL (SYSTEM and Administrators full control, Users read
// and execute), and compared byte for byte with ownPath; the copy is held open that way
// until the launch has returned. On failure errorText is "Unable to run the program:
// <copyPath> Error Message: <why>".
bool LaunchCheckedCopy(const char* copyPath, const char* ownPath, const char* parameters, char* errorText);
