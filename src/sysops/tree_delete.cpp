// One walk over the tree: each folder is listed through its own handle, each entry is opened
// relative to that handle, judged through its own handle and deleted through that same
// handle. No name is looked up again by a path between the judgement and the deletion.
//
// Entries are opened relative to their folder's handle rather than by path below folders
// that are merely held without FILE_SHARE_DELETE. A relative open looks up one name inside
// the folder object this program has open, whatever has become of the folder's path, so no
// rename or replacement of it or of any folder above can send the walk elsewhere, while an
// open by path walks every folder on the way again, the system's folders above the tree
// included, which no hold covers. Nor does a relative open need a path that grows with the
// depth. Folders are held without FILE_SHARE_DELETE as well, so that nobody moves one away
// while the walk is inside it; what was moved all the same is found elsewhere than where it
// was listed, and stays.
//
// The walk is a loop over a chain of folder records on the heap rather than a recursion: a
// user can make a tree as deep as the file system allows, and the stack has a fixed size.
#include "sysops/tree_delete.h"

#include <windows.h>

#include "sysops/elevated_launch.h"
#include "sysops/files_by_handle.h"
#include "util/bounded_text.h"
#include "util/path_spelling.h"
#include "util/release.h"
#include "util/text_helpers.h"
#include "util/wide_text.h"

namespace {

const char kNotAFolderFormat[] = "%s is a link or a file, not a folder; nothing was deleted.";
const char kLinkStaysFormat[] =
    "%s is a link that could not be removed without following it; it was left, with the folders above it.";
const char kNotDeletedFormat[] = "%s could not be deleted: %s";
const char kMoreStayFormat[] = " %u more could not be deleted either.";

// The folders between the system's folder and the tree's own: "Halvorne" and the tree.
const size_t kOwnFolderCount = 2;

// A folder is listed, stepped into and deleted; anything else is only deleted.
const DWORD kFolderAccess = DELETE | FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
const DWORD kEntryAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

// Room for many entries per listing call, and always for one of the longest name.
const ULONG kListingBytes = 4096;
const ULONG kNothingBuffered = 0xFFFFFFFF;

// One folder of the walk: the tree itself, or a folder below the one above it in the chain.
struct Level {
  Level* parent;
  HANDLE folder;
  size_t pathLength;  // of its path in the walk's path
  ULONG next;         // offset in listing of the next entry not yet taken
  bool keepsSomething;
  bool listingFailed;
  alignas(8) BYTE listing[kListingBytes];
};

// Places are judged by the volume and the path from its root: a final path with its drive
// would say the same, but Wine gives none longer than about 265 characters.
struct Walk {
  wchar_t* path;          // kWidePathCapacity: the path on the volume of what is looked at
  wchar_t* reached;       // kWidePathCapacity: where the platform reaches it
  DWORD volume;           // the tree's volume's serial number
  const char* treePath;   // the tree's path as the caller named it, for the failure text
  size_t treeLength;      // the length of the tree's own part of path
  Level* top;             // the folder being listed
  unsigned staying;
  char* errorText;
};

// Counts one more thing that stays, at walk->path; the first is described in errorText
// with format (the system's text for the last error as its second value).
void NoteStaying(Walk* walk, const char* format) {
  char systemText[kErrorTextCapacity];
  char name[kErrorTextCapacity];
  char below[kErrorTextCapacity];
  GetLastErrorText(systemText);
  if (walk->staying++ > 0) return;
  CopyText(name, kErrorTextCapacity, walk->treePath);
  NameText(walk->path + walk->treeLength, below, kErrorTextCapacity);
  AppendText(name, kErrorTextCapacity, below);
  FormatText(walk->errorText, kErrorTextCapacity, format, name, systemText);
}

// True when the platform reaches the open entry where the walk listed it: on the tree's
// volume, at walk->path. A link opened as itself is reached at its own place; anything
// reached elsewhere is what a link the platform followed points to, or was moved away.
bool IsWhereListed(Walk* walk, HANDLE entry, const BY_HANDLE_FILE_INFORMATION* information) {
  return information->dwVolumeSerialNumber == walk->volume && GetPathOnVolume(entry, walk->reached, kWidePathCapacity) &&
         SameIgnoringCase(walk->reached, -1, walk->path, -1);
}

// Makes the open folder the one being listed; false, with the folder still the caller's,
// when there is no memory for it.
bool StepInto(Walk* walk, HANDLE folder) {
  Level* level = static_cast<Level*>(HeapAlloc(GetProcessHeap(), 0, sizeof(Level)));
  if (level == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  level->parent = walk->top;
  level->folder = folder;
  level->pathLength = wcslen(walk->path);
  level->next = kNothingBuffered;
  level->keepsSomething = false;
  level->listingFailed = false;
  walk->top = level;
  return true;
}

// Closes the folder being listed and goes back to the one above.
void StepOut(Walk* walk) {
  Level* level = walk->top;
  walk->top = level->parent;
  ReleaseHandle(&level->folder);
  ReleaseHeap(&level);
}

bool IsDotName(const FILE_FULL_DIR_INFO* entry) {
  const ULONG length = entry->FileNameLength / sizeof(wchar_t);
  return entry->FileName[0] == L'.' && (length == 1 || (length == 2 && entry->FileName[1] == L'.'));
}

// The next entry of the folder being listed, "." and ".." left out; null at the end of the
// listing, or when it failed (listingFailed, with the last error saying why).
const FILE_FULL_DIR_INFO* NextEntry(Level* level) {
  for (;;) {
    if (level->next == kNothingBuffered) {
      if (!GetFileInformationByHandleEx(level->folder, FileFullDirectoryInfo, level->listing, kListingBytes)) {
        level->listingFailed = GetLastError() != ERROR_NO_MORE_FILES;
        return nullptr;
      }
      level->next = 0;
    }
    const FILE_FULL_DIR_INFO* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(level->listing + level->next);
    level->next = entry->NextEntryOffset == 0 ? kNothingBuffered : level->next + entry->NextEntryOffset;
    if (!IsDotName(entry)) return entry;
  }
}

// Opens the listed entry relative to the folder being listed and judges it through its own
// handle: a real folder is stepped into; anything else reached where it is listed is
// deleted through that handle, a link as itself. False when it stays.
bool TakeEntry(Walk* walk, const FILE_FULL_DIR_INFO* listed) {
  const size_t nameLength = listed->FileNameLength / sizeof(wchar_t);
  const bool listedAsFolder = (listed->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  BY_HANDLE_FILE_INFORMATION information = {};
  HANDLE entry = INVALID_HANDLE_VALUE;
  bool gone = false;

  walk->path[walk->top->pathLength] = L'\0';
  if (!AppendEntryName(walk->path, kWidePathCapacity, listed->FileName, nameLength)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    NoteStaying(walk, kNotDeletedFormat);
    goto done;
  }
  entry = OpenEntryAsItself(walk->top->folder, listed->FileName, nameLength, listedAsFolder ? kFolderAccess : kEntryAccess,
                            listedAsFolder ? kShareHold : kShareAll);
  if (entry == INVALID_HANDLE_VALUE) {
    // Deleted by someone else since the listing: nothing of it stays.
    gone = GetLastError() == ERROR_FILE_NOT_FOUND;
    if (!gone) NoteStaying(walk, kNotDeletedFormat);
    goto done;
  }
  if (!GetFileInformationByHandle(entry, &information)) {
    NoteStaying(walk, kNotDeletedFormat);
    goto done;
  }
  if (!IsWhereListed(walk, entry, &information)) {
    NoteStaying(walk, kLinkStaysFormat);
    goto done;
  }
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    gone = StepInto(walk, entry);
    if (gone) entry = INVALID_HANDLE_VALUE;
    if (!gone) NoteStaying(walk, kNotDeletedFormat);
    goto done;
  }
  gone = DeleteThroughHandle(entry);
  if (!gone) NoteStaying(walk, kNotDeletedFormat);

done:
  ReleaseHandle(&entry);
  return gone;
}

// Deletes the folder being listed, once its listing has ended, unless something in it
// stays; then goes back to the one above, which keeps this one when it stays.
void FinishFolder(Walk* walk) {
  Level* level = walk->top;
  bool stays = level->keepsSomething;
  walk->path[level->pathLength] = L'\0';
  if (level->listingFailed || (!stays && !DeleteThroughHandle(level->folder))) {
    NoteStaying(walk, kNotDeletedFormat);
    stays = true;
  }
  StepOut(walk);
  if (stays && walk->top != nullptr) walk->top->keepsSomething = true;
}

}  // namespace

bool DeleteTree(const char* path, size_t baseLength, char* errorText) {
  HANDLE held[kOwnFolderCount] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
  char part[kPathCapacity] = {};
  char more[64] = {};
  Walk walk = {nullptr, nullptr, 0, path, 0, nullptr, 0, errorText};
  BY_HANDLE_FILE_INFORMATION information = {};
  size_t stoppedAt = 0;
  OwnFolders found = OwnFolders::kMissing;
  const FILE_FULL_DIR_INFO* listed = nullptr;

  CopyText(errorText, kErrorTextCapacity, "");
  walk.path = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, kWidePathCapacity * sizeof(wchar_t)));
  walk.reached = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, kWidePathCapacity * sizeof(wchar_t)));
  if (walk.path == nullptr || walk.reached == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } else {
    found = OpenOwnFolders(path, baseLength, kFolderAccess, kShareHold, held, kOwnFolderCount, walk.path,
                           kWidePathCapacity, &stoppedAt);
  }
  if (found == OwnFolders::kNotRealFolder) {
    LeftPart(path, part, static_cast<int>(stoppedAt));
    FormatText(errorText, kErrorTextCapacity, kNotAFolderFormat, part);
    goto done;
  }
  if (found == OwnFolders::kMissing || !GetFileInformationByHandle(held[kOwnFolderCount - 1], &information) ||
      !GetPathOnVolume(held[kOwnFolderCount - 1], walk.path, kWidePathCapacity) ||
      !StepInto(&walk, held[kOwnFolderCount - 1])) {
    char systemText[kErrorTextCapacity];
    GetLastErrorText(systemText);
    FormatText(errorText, kErrorTextCapacity, kNotDeletedFormat, path, systemText);
    walk.staying = 1;
    goto done;
  }
  held[kOwnFolderCount - 1] = INVALID_HANDLE_VALUE;
  walk.volume = information.dwVolumeSerialNumber;
  walk.treeLength = walk.top->pathLength;

  while (walk.top != nullptr) {
    listed = NextEntry(walk.top);
    if (listed == nullptr) {
      FinishFolder(&walk);
    } else if (!TakeEntry(&walk, listed)) {
      walk.top->keepsSomething = true;
    }
  }
  if (walk.staying > 1) {
    FormatText(more, sizeof(more), kMoreStayFormat, walk.staying - 1);
    AppendText(errorText, kErrorTextCapacity, more);
  }

done:
  while (walk.top != nullptr) StepOut(&walk);
  ReleaseHandles(held, kOwnFolderCount);
  ReleaseHeap(&walk.path);
  ReleaseHeap(&walk.reached);
  return found == OwnFolders::kOpened && walk.staying == 0;
}
