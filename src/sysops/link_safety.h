// Defences against links planted under the all-users application-data folder. Standard users
// may add folders and files inside the product's folders there and own what they add, and a
// folder a user owns can be made a junction. This elevated program writes and deletes there,
// so it never writes or deletes through such a link.
#pragma once

#include <windows.h>

// Asks the platform, for the whole process, not to follow junctions that non-administrators
// created (Windows 11, updated Windows 10). Where the platform has no such policy, nothing
// happens.
void RefuseUntrustedJunctions();

// True when path names an existing folder that is not a link (no reparse point).
bool IsRealFolder(const char* path);

// Creates the folder with a protected DACL of its own: SYSTEM and Administrators full
// control, Users read. Nobody else can then plant anything in it or replace it by a link.
// An existing folder is left as it is; false then, as for any failure.
bool CreateProtectedFolder(const char* path);
