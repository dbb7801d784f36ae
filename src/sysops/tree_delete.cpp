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
//
// What cannot go now (a file another process holds, the service's program while its
// process still ends) is handed to the next restart, which deletes by path as LocalSystem
// before anyone logs on. A path through a folder that a user could empty before then could
// be made a junction through a handle the user opened earlier, so only an entry the walk
// judged through its own handle is handed over: a file reached where it is listed, no link,
// owned by SYSTEM, Administrators or the account this run runs as, below folders so owned,
// each of which, and the file, gets a protected DACL (SYSTEM and Administrators only)
// through the handle the walk holds before anything below it is handed over. The files are
// scheduled where they are rather than moved into a new folder of the program's: a move is
// a rename, which may wait on a user's oplock as a delete does, and needs a new name that
// someone may have taken.
#include "sysops/tree_delete.h"

#include <windows.h>

#include "sysops/elevated_launch.h"
#include "sysops/files_by_handle.h"
#include "sysops/io_watchdog.h"
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
const char kNotHandedFormat[] = " Not handed to the next restart: %s (%s).";
const char kHandedFormat[] = " Handed to the next restart: %u.";

// Why something that stays was not handed to the next restart.
const char kLinkReason[] = "a link, or reached elsewhere than where it is listed";
const char kOwnerReason[] = "it belongs to another account";
const char kFolderReason[] = "a folder it lies in belongs to another account or could not be protected";

// SYSTEM and Administrators only, not inherited from above: what every folder and file
// handed to the next restart gets, so that no user can empty its folder or replace it.
const char kProtectedSddl[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// A folder is listed, stepped into and deleted, and its owner read and its DACL set should
// something in it be handed to the restart; anything else is only deleted.
const DWORD kFolderAccess = DELETE | FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
const DWORD kEntryAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
const DWORD kSecurityAccess = READ_CONTROL | WRITE_DAC;
// What a file that cannot go now is judged with: no share mode refuses these.
const DWORD kJudgeAccess = FILE_READ_ATTRIBUTES | kSecurityAccess;

// Room for many entries per listing call, and always for one of the longest name.
const ULONG kListingBytes = 4096;
const ULONG kNothingBuffered = 0xFFFFFFFF;

// Whether a folder of the walk may hold what is handed to the restart: not yet asked, owned
// as it must be and protected, or not.
enum class Protection { kUnknown, kProtected, kRefused };

// What became of one entry.
enum class Outcome { kGone, kHanded, kStays };

// One folder of the walk: the tree itself, or a folder below the one above it in the chain.
struct Level {
  Level* parent;
  HANDLE folder;
  size_t pathLength;  // of its path in the walk's path
  ULONG next;         // offset in listing of the next entry not yet taken
  bool keepsSomething;
  bool keepsUnhanded;  // something in it stays that is not handed to the restart
  bool listingFailed;
  Protection protection;
  alignas(8) BYTE listing[kListingBytes];
};

// Places are judged by the volume and the path from its root: a final path with its drive
// would say the same, but Wine gives none longer than about 265 characters.
struct Walk {
  wchar_t* path;          // kWidePathCapacity: the path on the volume of what is looked at
  wchar_t* reached;       // kWidePathCapacity: where the platform reaches it
  wchar_t* restartPath;   // kWidePathCapacity: "\\?\", the tree's final path, then the part below
  size_t restartLength;   // of the tree's part of restartPath; 0 when the tree has no drive path
  DWORD volume;           // the tree's volume's serial number
  const char* treePath;   // the tree's path as the caller named it, for the failure text
  size_t treeLength;      // the length of the tree's own part of path
  Level* top;             // the folder being listed
  PSECURITY_DESCRIPTOR protection;  // kProtectedSddl
  PSID runAccount;        // the account this run runs as
  IoWatchdog watchdog;    // bounds each delete, which may wait on a user's oplock
  unsigned staying;
  unsigned handed;
  char notHanded[kErrorTextCapacity];  // the first thing that stays and was not handed, and why
  char* errorText;
};

// The tree's path as the caller named it, then the part of walk->path below the tree.
void NameOfCurrent(Walk* walk, char* name) {
  char below[kErrorTextCapacity];
  CopyText(name, kErrorTextCapacity, walk->treePath);
  NameText(walk->path + walk->treeLength, below, kErrorTextCapacity);
  AppendText(name, kErrorTextCapacity, below);
}

// Counts one more thing that stays, at walk->path; the first is described in errorText
// with format (the system's text for the last error as its second value).
void NoteStaying(Walk* walk, const char* format) {
  char systemText[kErrorTextCapacity];
  char name[kErrorTextCapacity];
  GetLastErrorText(systemText);
  if (walk->staying++ > 0) return;
  NameOfCurrent(walk, name);
  FormatText(walk->errorText, kErrorTextCapacity, format, name, systemText);
}

// Keeps the first thing, at walk->path, that stays without being handed to the restart.
void NoteNotHanded(Walk* walk, const char* reason) {
  char name[kErrorTextCapacity];
  if (walk->notHanded[0] != '\0') return;
  NameOfCurrent(walk, name);
  FormatText(walk->notHanded, kErrorTextCapacity, kNotHandedFormat, name, reason);
}

// True when the platform reaches the open entry where the walk listed it: on the tree's
// volume, at walk->path. A link opened as itself is reached at its own place; anything
// reached elsewhere is what a link the platform followed points to, or was moved away.
bool IsWhereListed(Walk* walk, HANDLE entry, const BY_HANDLE_FILE_INFORMATION* information) {
  return information->dwVolumeSerialNumber == walk->volume && GetPathOnVolume(entry, walk->reached, kWidePathCapacity) &&
         SameIgnoringCase(walk->reached, -1, walk->path, -1);
}

// True when the open thing belongs to SYSTEM, Administrators or the account this run runs
// as: nobody else could have given users the right to change it.
bool HasTrustedOwner(Walk* walk, HANDLE handle) {
  alignas(8) BYTE descriptor[512] = {};
  DWORD needed = 0;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!GetKernelObjectSecurity(handle, OWNER_SECURITY_INFORMATION, descriptor, sizeof(descriptor), &needed) ||
      !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || owner == nullptr) {
    return false;
  }
  return IsWellKnownSid(owner, WinLocalSystemSid) || IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
         (walk->runAccount != nullptr && EqualSid(owner, walk->runAccount));
}

// Gives the open thing the protected DACL, set through the handle itself.
bool Protect(Walk* walk, HANDLE handle) {
  return walk->protection != nullptr &&
         SetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                 walk->protection) != FALSE;
}

// Judges and protects, through the handles the walk holds, every folder from the tree down
// to the one being listed that is not judged yet, the highest first; true when all of them
// are owned as they must be and protected.
bool ProtectFolders(Walk* walk) {
  for (;;) {
    Level* highest = nullptr;
    for (Level* level = walk->top; level != nullptr; level = level->parent) {
      if (level->protection == Protection::kRefused) return false;
      if (level->protection == Protection::kUnknown) highest = level;
    }
    if (highest == nullptr) return true;
    const bool protectedNow = HasTrustedOwner(walk, highest->folder) && Protect(walk, highest->folder);
    highest->protection = protectedNow ? Protection::kProtected : Protection::kRefused;
  }
}

// Schedules what stands at walk->path for deletion at the next restart, by its drive path.
bool ScheduleAtRestart(Walk* walk) {
  walk->restartPath[walk->restartLength] = L'\0';
  const wchar_t* below = walk->path + walk->treeLength;
  const size_t belowLength = wcslen(below);
  if (walk->restartLength == 0 || walk->restartLength + belowLength >= kWidePathCapacity) return false;
  wmemcpy(walk->restartPath + walk->restartLength, below, belowLength + 1);
  if (!MoveFileExW(walk->restartPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return false;
  ++walk->handed;
  return true;
}

// Protects the folders from the tree down to the one being listed and, through its own
// handle when it is a file (otherwise null), what stands at walk->path; then schedules it for
// the next restart. False, with the reason kept, when it stays as it is.
bool HandToRestart(Walk* walk, HANDLE file) {
  char systemText[kErrorTextCapacity];
  if (!ProtectFolders(walk)) {
    NoteNotHanded(walk, kFolderReason);
    return false;
  }
  if ((file != nullptr && !Protect(walk, file)) || !ScheduleAtRestart(walk)) {
    GetLastErrorText(systemText);
    NoteNotHanded(walk, systemText);
    return false;
  }
  return true;
}

// Hands the listed file (nameLength characters), which cannot go now, to the next restart:
// it is opened again for its owner and DACL alone, which no share mode refuses, judged
// through that handle, and protected after every folder above it.
Outcome HandFileToRestart(Walk* walk, const wchar_t* name, size_t nameLength) {
  BY_HANDLE_FILE_INFORMATION information = {};
  HANDLE file = OpenEntryAsItself(walk->top->folder, name, nameLength, kJudgeAccess, kShareAll);
  Outcome outcome = Outcome::kStays;
  char systemText[kErrorTextCapacity];
  if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &information)) {
    GetLastErrorText(systemText);
    NoteNotHanded(walk, systemText);
  } else if ((information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
             !IsWhereListed(walk, file, &information)) {
    NoteNotHanded(walk, kLinkReason);
  } else if (!HasTrustedOwner(walk, file)) {
    NoteNotHanded(walk, kOwnerReason);
  } else if (HandToRestart(walk, file)) {
    outcome = Outcome::kHanded;
  }
  ReleaseHandle(&file);
  return outcome;
}

// Deletes the open entry through its handle within the watchdog's bound.
bool DeleteBounded(Walk* walk, HANDLE handle) {
  ArmIoWatchdog(&walk->watchdog);
  const bool deleted = DeleteThroughHandle(handle);
  const DWORD error = GetLastError();
  DisarmIoWatchdog(&walk->watchdog);
  SetLastError(error);
  return deleted;
}

// Opens the listed entry relative to the folder being listed. A folder is opened with the
// rights to judge and protect it, should anything in it be handed to the restart, where the
// platform grants them, else without.
HANDLE OpenListed(Walk* walk, const wchar_t* name, size_t nameLength, bool folder) {
  if (!folder) return OpenEntryAsItself(walk->top->folder, name, nameLength, kEntryAccess, kShareAll);
  HANDLE entry = OpenEntryAsItself(walk->top->folder, name, nameLength, kFolderAccess | kSecurityAccess, kShareHold);
  if (entry == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
    entry = OpenEntryAsItself(walk->top->folder, name, nameLength, kFolderAccess, kShareHold);
  }
  return entry;
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
  level->keepsUnhanded = false;
  level->listingFailed = false;
  level->protection = Protection::kUnknown;
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

// A file that could not be deleted in use (held, a running program's image, or a delete that
// waited on an oplock until the watchdog cancelled it) is handed to the restart; anything
// else that stays is only named.
bool IsInUse(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == kErrorOplockBreakInProgress ||
         error == ERROR_OPERATION_ABORTED;
}

// Opens the listed entry relative to the folder being listed and judges it through its own
// handle: a real folder is stepped into; anything else reached where it is listed is
// deleted through that handle, a link as itself, or, when it is in use, handed to the
// next restart.
Outcome TakeEntry(Walk* walk, const FILE_FULL_DIR_INFO* listed) {
  const size_t nameLength = listed->FileNameLength / sizeof(wchar_t);
  const bool listedAsFolder = (listed->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  BY_HANDLE_FILE_INFORMATION information = {};
  HANDLE entry = INVALID_HANDLE_VALUE;
  Outcome outcome = Outcome::kStays;
  bool inUse = false;

  walk->path[walk->top->pathLength] = L'\0';
  if (!AppendEntryName(walk->path, kWidePathCapacity, listed->FileName, nameLength)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    NoteStaying(walk, kNotDeletedFormat);
    NoteNotHanded(walk, "its path is too long");
    goto done;
  }
  entry = OpenListed(walk, listed->FileName, nameLength, listedAsFolder);
  if (entry == INVALID_HANDLE_VALUE) {
    // Deleted by someone else since the listing: nothing of it stays.
    if (GetLastError() == ERROR_FILE_NOT_FOUND) {
      outcome = Outcome::kGone;
      goto done;
    }
    inUse = IsInUse(GetLastError());
    NoteStaying(walk, kNotDeletedFormat);
    goto done;
  }
  if (!GetFileInformationByHandle(entry, &information)) {
    NoteStaying(walk, kNotDeletedFormat);
    goto done;
  }
  if (!IsWhereListed(walk, entry, &information)) {
    NoteStaying(walk, kLinkStaysFormat);
    NoteNotHanded(walk, kLinkReason);
    goto done;
  }
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    if (StepInto(walk, entry)) {
      entry = INVALID_HANDLE_VALUE;
      outcome = Outcome::kGone;
    } else {
      NoteStaying(walk, kNotDeletedFormat);
    }
    goto done;
  }
  if (DeleteBounded(walk, entry)) {
    outcome = Outcome::kGone;
    goto done;
  }
  inUse = IsInUse(GetLastError()) && (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  NoteStaying(walk, kNotDeletedFormat);

done:
  ReleaseHandle(&entry);
  if (outcome == Outcome::kStays && inUse && !listedAsFolder) return HandFileToRestart(walk, listed->FileName, nameLength);
  if (outcome == Outcome::kStays) NoteNotHanded(walk, "only a file in use is handed over, and only as itself");
  return outcome;
}

// Deletes the folder being listed, once its listing has ended, unless something in it
// stays. A folder that holds only what was handed to the restart, or that was emptied but
// could not be deleted, is handed over too, after everything in it. Then goes back to the
// one above, which keeps this one when it stays.
void FinishFolder(Walk* walk) {
  Level* level = walk->top;
  Outcome outcome = Outcome::kGone;
  walk->path[level->pathLength] = L'\0';
  if (level->listingFailed) {
    NoteStaying(walk, kNotDeletedFormat);
    NoteNotHanded(walk, "it could not be listed");
    outcome = Outcome::kStays;
  } else if (level->keepsUnhanded) {
    outcome = Outcome::kStays;
  } else if (level->keepsSomething || !DeleteBounded(walk, level->folder)) {
    if (!level->keepsSomething) NoteStaying(walk, kNotDeletedFormat);
    outcome = HandToRestart(walk, nullptr) ? Outcome::kHanded : Outcome::kStays;
  }
  StepOut(walk);
  if (walk->top == nullptr || outcome == Outcome::kGone) return;
  walk->top->keepsSomething = true;
  if (outcome == Outcome::kStays) walk->top->keepsUnhanded = true;
}

// The account this run runs as, into account (capacity bytes); null when it is not known.
PSID GetRunAccount(BYTE* account, DWORD capacity) {
  HANDLE token = INVALID_HANDLE_VALUE;
  DWORD size = 0;
  PSID sid = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
      GetTokenInformation(token, TokenUser, account, capacity, &size)) {
    sid = reinterpret_cast<TOKEN_USER*>(account)->User.Sid;
  }
  ReleaseHandle(&token);
  return sid;
}

}  // namespace

TreeDeletion DeleteTree(const char* systemFolder, const char* ownPart, char* errorText) {
  HANDLE held[kMaxOwnFolders] = {};
  size_t heldCount = 0;
  char treePath[kPathCapacity] = {};
  char part[kPathCapacity] = {};
  char more[64] = {};
  alignas(8) BYTE account[256] = {};
  Walk walk = {};
  BY_HANDLE_FILE_INFORMATION information = {};
  size_t stoppedAt = 0;
  OwnFolders found = OwnFolders::kMissing;
  const FILE_FULL_DIR_INFO* listed = nullptr;
  HANDLE tree = INVALID_HANDLE_VALUE;
  bool walked = false;
  bool missing = false;

  CopyText(errorText, kErrorTextCapacity, "");
  CopyText(treePath, kPathCapacity, systemFolder);
  AppendText(treePath, kPathCapacity, ownPart);
  walk.treePath = treePath;
  walk.errorText = errorText;
  walk.runAccount = GetRunAccount(account, sizeof(account));
  walk.protection = BuildSecurityDescriptor(kProtectedSddl);
  StartIoWatchdog(&walk.watchdog);
  walk.path = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, kWidePathCapacity * sizeof(wchar_t)));
  walk.reached = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, kWidePathCapacity * sizeof(wchar_t)));
  walk.restartPath = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, kWidePathCapacity * sizeof(wchar_t)));
  if (walk.path == nullptr || walk.reached == nullptr || walk.restartPath == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } else {
    wmemcpy(walk.restartPath, L"\\\\?\\", 4);
    found = OpenOwnFolders(systemFolder, ownPart, kFolderAccess | kSecurityAccess, kShareHold, held, kMaxOwnFolders,
                           &heldCount, walk.restartPath + 4, kWidePathCapacity - 4, &stoppedAt);
    if (found == OwnFolders::kMissing && GetLastError() == ERROR_ACCESS_DENIED) {
      ReleaseHandles(held, kMaxOwnFolders);
      found = OpenOwnFolders(systemFolder, ownPart, kFolderAccess, kShareHold, held, kMaxOwnFolders, &heldCount,
                             walk.restartPath + 4, kWidePathCapacity - 4, &stoppedAt);
    }
  }
  if (found == OwnFolders::kNotRealFolder) {
    char ownFolders[kPathCapacity] = {};
    LeftPart(ownPart, ownFolders, static_cast<int>(stoppedAt));
    CopyText(part, kPathCapacity, systemFolder);
    AppendText(part, kPathCapacity, ownFolders);
    FormatText(errorText, kErrorTextCapacity, kNotAFolderFormat, part);
    goto done;
  }
  if (found == OwnFolders::kOpened) tree = held[heldCount - 1];
  if (found != OwnFolders::kOpened || !GetFileInformationByHandle(tree, &information) ||
      !GetPathOnVolume(tree, walk.path, kWidePathCapacity) || !StepInto(&walk, tree)) {
    char systemText[kErrorTextCapacity];
    const DWORD error = GetLastError();
    GetLastErrorText(systemText);
    FormatText(errorText, kErrorTextCapacity, kNotDeletedFormat, treePath, systemText);
    missing = found == OwnFolders::kMissing && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
    walk.staying = 1;
    goto done;
  }
  held[heldCount - 1] = INVALID_HANDLE_VALUE;
  walked = true;
  walk.volume = information.dwVolumeSerialNumber;
  walk.treeLength = walk.top->pathLength;
  // Only a tree with a drive path can be named to the restart.
  walk.restartLength = walk.restartPath[5] == L':' ? wcslen(walk.restartPath) : 0;

  while (walk.top != nullptr) {
    listed = NextEntry(walk.top);
    if (listed == nullptr) {
      FinishFolder(&walk);
      continue;
    }
    const Outcome outcome = TakeEntry(&walk, listed);
    if (outcome != Outcome::kGone) walk.top->keepsSomething = true;
    if (outcome == Outcome::kStays) walk.top->keepsUnhanded = true;
  }
  if (walk.staying > 1) {
    FormatText(more, sizeof(more), kMoreStayFormat, walk.staying - 1);
    AppendText(errorText, kErrorTextCapacity, more);
  }
  if (walk.staying > 0) {
    // The count of what was handed over always ends the text, whatever it cuts before it.
    size_t textLength = 0;
    size_t handedLength = 0;
    FormatText(more, sizeof(more), kHandedFormat, walk.handed);
    TextLength(more, sizeof(more), &handedLength);
    TextLength(errorText, kErrorTextCapacity, &textLength);
    if (textLength >= kErrorTextCapacity - handedLength) errorText[kErrorTextCapacity - handedLength - 1] = '\0';
    AppendText(errorText, kErrorTextCapacity - handedLength, walk.notHanded);
    AppendText(errorText, kErrorTextCapacity, more);
  }

done:
  while (walk.top != nullptr) StepOut(&walk);
  ReleaseHandles(held, kMaxOwnFolders);
  ReleaseHeap(&walk.path);
  ReleaseHeap(&walk.reached);
  ReleaseHeap(&walk.restartPath);
  ReleaseLocal(&walk.protection);
  StopIoWatchdog(&walk.watchdog);
  if (missing) return TreeDeletion::kMissing;
  if (!walked || walk.notHanded[0] != '\0') return TreeDeletion::kStays;
  return walk.staying == 0 ? TreeDeletion::kDeleted : TreeDeletion::kHandedToRestart;
}
