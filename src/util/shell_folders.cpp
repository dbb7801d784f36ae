#include "util/shell_folders.h"

#include <windows.h>
#include <shlobj.h>

#include "util/bounded_text.h"
#include "util/path_spelling.h"
#include "util/release.h"
#include "util/text_helpers.h"

const FolderRow FolderTable[kFolderTableRows] = {
    {"Common Administrative Tools", CSIDL_COMMON_ADMINTOOLS},
    {"Common AppData", CSIDL_COMMON_APPDATA},
    {"Common Desktop", CSIDL_COMMON_DESKTOPDIRECTORY},
    {"Common Documents", CSIDL_COMMON_DOCUMENTS},
    {"Common Favorites", CSIDL_COMMON_FAVORITES},
    {"Common Programs", CSIDL_COMMON_PROGRAMS},
    {"Common Start Menu", CSIDL_COMMON_STARTMENU},
    {"Common Startup", CSIDL_COMMON_STARTUP},
    {"Common Templates", CSIDL_COMMON_TEMPLATES},
    {"CommonMusic", CSIDL_COMMON_MUSIC},
    {"CommonPictures", CSIDL_COMMON_PICTURES},
    {"CommonVideo", CSIDL_COMMON_VIDEO},
    {"Personal", CSIDL_PERSONAL},
    {"Administrative Tools", CSIDL_ADMINTOOLS},
    {"AppData", CSIDL_APPDATA},
    {"Cache", CSIDL_INTERNET_CACHE},
    {"CD Burning", CSIDL_CDBURN_AREA},
    {"Cookies", CSIDL_COOKIES},
    {"Desktop", CSIDL_DESKTOP},
    {"Favorites", CSIDL_FAVORITES},
    {"Fonts", CSIDL_FONTS},
    {"History", CSIDL_HISTORY},
    {"Local AppData", CSIDL_LOCAL_APPDATA},
    {"My Music", CSIDL_MYMUSIC},
    {"My Pictures", CSIDL_MYPICTURES},
    {"My Video", CSIDL_MYVIDEO},
    {"NetHood", CSIDL_NETHOOD},
    {"Personal", CSIDL_PERSONAL},
    {"PrintHood", CSIDL_PRINTHOOD},
    {"Programs", CSIDL_PROGRAMS},
    {"Recent", CSIDL_RECENT},
    {"SendTo", CSIDL_SENDTO},
    {"Start Menu", CSIDL_STARTMENU},
    {"Startup", CSIDL_STARTUP},
    {"Templates", CSIDL_TEMPLATES},
    {"CommonFilesDir", CSIDL_PROGRAM_FILES_COMMON},
    {"ProgramFilesDir", CSIDL_PROGRAM_FILES},
};

namespace {

char FoldLetter(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameNameIgnoringLetterCase(const char* left, const char* right) {
  size_t i = 0;
  for (; left[i] != '\0' && right[i] != '\0'; ++i) {
    if (FoldLetter(left[i]) != FoldLetter(right[i])) return false;
  }
  return left[i] == right[i];
}

}  // namespace

int FolderIdFromName(const char* name) {
  char wanted[kNameCapacity] = {};
  CopyText(wanted, kNameCapacity, name);
  TrimText(wanted);
  if (wanted[0] == '\0') return -1;
  for (int row = 0; row < kFolderTableRows; ++row) {
    if (SameNameIgnoringLetterCase(wanted, FolderTable[row].name)) return FolderTable[row].id;
  }
  return -1;
}

bool GetFolderPath(const char* name, char* path) {
  const int id = FolderIdFromName(name);
  if (id == -1) return false;
  PIDLIST_ABSOLUTE location = nullptr;
  SpelledPath folder = {};
  bool found = false;
  // A folder that the shell can locate may still have no file-system path (a virtual
  // folder); that is no path to work from, so it counts as not found and the caller's
  // path stays as it was. So does a path that the code page can name only by its look-alike.
  if (SHGetFolderLocation(nullptr, id, nullptr, 0, &location) == S_OK &&
      SHGetPathFromIDListW(location, folder.path) && folder.path[0] != L'\0') {
    SpellPath(&folder);
    found = folder.spelling != PathSpelling::kRendered;
  }
  if (found) CopyText(path, kPathCapacity, folder.text);
  ReleaseTaskMemory(&location);
  return found;
}

bool GetFolderSubpath(const char* name, const char* suffix, char* path) {
  CopyText(path, kPathCapacity, "");
  if (GetFolderPath(name, path) && !TextFailed(AppendText(path, kPathCapacity, suffix))) return true;
  CopyText(path, kPathCapacity, "");
  return false;
}
