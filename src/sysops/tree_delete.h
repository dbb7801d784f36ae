// Deleting a directory tree in one walk by handle, so that nothing in it or above it can
// send the deletion elsewhere while it runs, and handing what is in use to the next restart.
#pragma once

// What became of the tree.
enum class TreeDeletion {
  kDeleted,
  // It was not there: no folder of ownPart stood where it is named.
  kMissing,
  // Everything that stays was scheduled for deletion at the next restart.
  kHandedToRestart,
  // Something stays that nothing will delete: a link, someone else's, or not reached.
  kStays,
};

// Deletes the folder that ownPart ("\Halvorne\KESPWindowsService": each name after a
// backslash, ANSI text in the system's code page) names below systemFolder, a folder of the
// system's, with everything in it. Every folder of ownPart must be a real folder (no link),
// or nothing is deleted; none but the last is changed.
// Inside, no link is followed: a link the platform shows as one is removed as itself, and
// whatever the platform reaches elsewhere than where it is listed stays, with the folders
// above it. Everything else that can be deleted is; a file in use, and the folders that
// hold it, are handed to the next restart where that is safe (see tree_delete.cpp). Unless
// the tree is gone, errorText (2048 characters) names the first thing that stays, counts
// the others, names the first that was not handed over, and ends with how many things were.
TreeDeletion DeleteTree(const char* systemFolder, const char* ownPart, char* errorText);
