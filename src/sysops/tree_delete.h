// Deleting a directory tree in one walk by handle, so that nothing in it or above it can
// send the deletion elsewhere while it runs.
#pragma once

#include <stddef.h>

// Deletes the folder at path (ANSI text in the system's code page) with everything in it.
// The first baseLength characters of path name a folder of the system's, and the tree lies
// two folders below it (the home directory in "Halvorne"); both must be real folders (no
// link), or nothing is deleted.
// Inside, no link is followed: a link the platform shows as one is removed as itself, and
// whatever the platform reaches elsewhere than where it is listed stays, with the folders
// above it. Everything else that can be deleted is. False when anything stays, with
// errorText (2048 characters) naming the first thing and counting the others.
bool DeleteTree(const char* path, size_t baseLength, char* errorText);
