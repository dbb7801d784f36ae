// Shell folders by name: the table that turns a folder name such as "Common AppData"
// into the shell's CSIDL identifier, and the lookup of that folder's path.
#pragma once

struct FolderRow {
  char name[255];
  int id;
};

const int kFolderTableRows = 37;
extern const FolderRow FolderTable[kFolderTableRows];

// The CSIDL identifier of the first row whose name matches (letters in any case, blanks
// around the name ignored), or -1.
int FolderIdFromName(const char* name);

// Writes the folder's file-system path into path (260 characters), exactly or in its short
// form; false, with path unchanged, for an unknown name, a folder the shell cannot locate or
// that has no file-system path, or one that the code page cannot name (see SpellPath).
bool GetFolderPath(const char* name, char* path);

// The folder's path followed by suffix, into path (260 characters). False, with path empty,
// when the folder cannot be found or the whole does not fit: a path cut to fit, or the
// suffix alone, would name some other place.
bool GetFolderSubpath(const char* name, const char* suffix, char* path);
