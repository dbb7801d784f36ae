// Placing this program's copy and starting it, through handles, the copy held from its
// creation until its start has returned. A path handed
// to someone else is walked again by name, and in a temporary directory every user may write
// to (C:\Windows\Temp) a user could put their own file there in between and keep a handle to
// it that no later check notices. So the folder is held as itself, a file already under the
// copy's name is judged and deleted through its own handle, and the copy is created new
// relative to the held folder with its owner and rights given at creation, written through
// that handle and held against writers and deleters until the shell has started it.
#include "sysops/program_copy.h"

#include <windows.h>
#include <ntsecapi.h>

#include "sysops/elevated_launch.h"
#include "sysops/files_by_handle.h"
#include "sysops/own_program.h"
#include "util/bounded_text.h"
#include "util/path_parts.h"
#include "util/path_spelling.h"
#include "util/paths.h"
#include "util/release.h"

namespace {

// Owner Administrators; a protected DACL, so nothing is inherited from the temporary
// directory: SYSTEM and Administrators full control, Users read and execute (0x1200a9 is
// FILE_GENERIC_READ | FILE_GENERIC_EXECUTE).
const char kCopySecurity[] = "O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";

// The program is read and written in pieces of this size.
const DWORD kCopyChunk = 16384;

const DWORD kFolderAccess = FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;
const DWORD kOldFileAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

const char kNothingCopied[] = "Nothing was copied.";
const char kFreshName[] = "The copy is made under a fresh name.";
const char kNothingStarted[] = "Nothing was started.";

// errorText: what (formatted with path), the system's text for the last error, then
// outcome. Call it right after the failed call.
void ExplainLastError(char* errorText, const char* what, const char* path, const char* outcome) {
  char systemText[kErrorTextCapacity];
  char failure[kErrorTextCapacity];
  GetLastErrorText(systemText);
  FormatText(failure, kErrorTextCapacity, what, path);
  FormatText(errorText, kErrorTextCapacity, "%s: %s %s", failure, systemText, outcome);
}

// copyPath (260) := folder followed by name; false when that does not fit.
bool ComposeCopyPath(const wchar_t* folder, const wchar_t* name, wchar_t* copyPath) {
  const size_t folderLength = wcsnlen(folder, kPathCapacity);
  const size_t nameLength = wcsnlen(name, kPathCapacity);
  if (folderLength + nameLength >= kPathCapacity) return false;
  wmemcpy(copyPath, folder, folderLength);
  wmemcpy(copyPath + folderLength, name, nameLength + 1);
  return true;
}

// A copy's path that does not fit is named in the log as the folder's text followed by the
// name's, cut to the line's path.
void NameOverlongCopy(const wchar_t* folder, const wchar_t* name, char* copyText) {
  SpelledPath place = {};
  char nameText[kPathCapacity] = {};
  CopyPath(place.path, folder);
  SpellPath(&place);
  NameText(name, nameText, kPathCapacity);
  CopyText(copyText, kPathCapacity, place.text);
  AppendText(copyText, kPathCapacity, nameText);
}

// Deletes whatever plain file stands under name in the held folder. A link is left as it is:
// deleting a file link through a handle may delete the file it points to. On failure
// errorText says why, ending with outcome.
bool ClearCopyPlace(HANDLE folder, const wchar_t* name, const SpelledPath* copy, const char* outcome,
                    char* errorText) {
  BY_HANDLE_FILE_INFORMATION information = {};
  HANDLE old = INVALID_HANDLE_VALUE;
  bool cleared = false;

  old = OpenEntryAsItself(folder, name, wcslen(name), kOldFileAccess, kShareAll);
  if (old == INVALID_HANDLE_VALUE) {
    cleared = GetLastError() == ERROR_FILE_NOT_FOUND;
    if (!cleared) ExplainLastError(errorText, "The file already at %s could not be deleted", copy->text, outcome);
  } else if (!IsItselfAt(old, copy->path, &information)) {
    FormatText(errorText, kErrorTextCapacity,
               "The file already at %s is a link, left as it is so that what it points to is not deleted. %s",
               copy->text, outcome);
  } else if (DeleteThroughHandle(old)) {
    cleared = true;
  } else {
    ExplainLastError(errorText, "The file already at %s could not be deleted", copy->text, outcome);
  }

  ReleaseHandle(&old);
  return cleared;
}

// fresh (260) := name with a suffix nobody can guess before this run makes it
// ("VuzavoRURIvezarov-0123456789abcdef.exe"); false when no random number is to be had or it
// does not fit.
bool MakeFreshName(const wchar_t* name, wchar_t* fresh) {
  unsigned char random[8] = {};
  wchar_t suffix[2 * sizeof(random) + 2] = L"-";
  const size_t nameLength = wcsnlen(name, kPathCapacity);
  const wchar_t* dot = wcsrchr(name, L'.');
  const size_t stemLength = dot != nullptr ? static_cast<size_t>(dot - name) : nameLength;
  if (!RtlGenRandom(random, sizeof(random))) return false;
  for (size_t index = 0; index < sizeof(random); ++index) {
    suffix[1 + 2 * index] = L"0123456789abcdef"[random[index] >> 4];
    suffix[2 + 2 * index] = L"0123456789abcdef"[random[index] & 15];
  }
  const size_t suffixLength = wcslen(suffix);
  if (nameLength + suffixLength >= kPathCapacity) return false;
  wmemcpy(fresh, name, stemLength);
  wmemcpy(fresh + stemLength, suffix, suffixLength);
  wmemcpy(fresh + stemLength + suffixLength, name + stemLength, nameLength - stemLength + 1);
  return true;
}

// The copy under a fresh name in the held folder, created new; placed->path names it.
// INVALID_HANDLE_VALUE, with the last error set, on failure.
HANDLE CreateUnderFreshName(PlacedCopy* placed, const wchar_t* tempDirectory, const wchar_t* name,
                            PSECURITY_DESCRIPTOR descriptor) {
  wchar_t fresh[kPathCapacity] = {};
  if (!MakeFreshName(name, fresh) || !ComposeCopyPath(tempDirectory, fresh, placed->path.path)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
  }
  SpellPath(&placed->path);
  return CreateNewEntry(placed->folder, fresh, wcslen(fresh), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                        descriptor);
}

// Reads the whole program from own, from its start, and writes it through copy; false,
// with the last error set, at the first failure.
bool WriteProgram(HANDLE own, HANDLE copy) {
  char chunk[kCopyChunk];
  DWORD got = 0;
  DWORD written = 0;
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(own, start, nullptr, FILE_BEGIN)) return false;
  for (;;) {
    if (!ReadFile(own, chunk, kCopyChunk, &got, nullptr)) return false;
    if (got == 0) return true;
    if (!WriteFile(copy, chunk, got, &written, nullptr)) return false;
    if (written != got) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
  }
}

// Replaces the handle in *held by a new one on the same file that only reads and lets
// others share only what share says. The shell cannot start a file that a handle may write,
// and a new handle must share what the held one does, so the copy passes from its writer
// to a reader that shares writing and on to one that shares reading only, never let go.
bool ReopenForReading(HANDLE* held, DWORD share) {
  HANDLE reader = ReOpenFile(*held, GENERIC_READ, share, 0);
  if (reader == INVALID_HANDLE_VALUE) return false;
  ReleaseHandle(held);
  *held = reader;
  return true;
}

}  // namespace

bool PlaceCopy(const OwnProgram* own, const wchar_t* ownPath, const wchar_t* tempDirectory, PlacedCopy* placed,
               char* copyText, char* noteText, char* errorText) {
  wchar_t expected[kPathCapacity] = {};
  size_t folderLength = 0;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  bool written = false;
  const wchar_t* name = ownPath + FileNameStart(ownPath, wcsnlen(ownPath, kPathCapacity));
  const bool copyPathFits = ComposeCopyPath(tempDirectory, name, placed->path.path);
  CopyText(noteText, kErrorTextCapacity, "");

  if (copyPathFits) {
    SpellPath(&placed->path);
  } else {
    NameOverlongCopy(tempDirectory, name, placed->path.text);
  }
  if (ownPath[0] == L'\0') {
    CopyText(errorText, kErrorTextCapacity,
             "This program's own path is not known (it has 260 or more characters); nothing was copied.");
    goto done;
  }
  // With an empty folder the copy would land in the current directory instead.
  if (tempDirectory[0] == L'\0') {
    CopyText(errorText, kErrorTextCapacity, "The temporary directory could not be found; nothing was copied.");
    goto done;
  }
  if (!copyPathFits) {
    CopyText(errorText, kErrorTextCapacity, "The copy's path would have 260 or more characters; nothing was copied.");
    goto done;
  }

  // Held without letting others delete or rename it, so that every name looked up in it
  // below, and the copy's path the shell is given later, lead into this very folder.
  placed->folder = OpenAsItself(tempDirectory, kFolderAccess, kShareHold);
  if (placed->folder == INVALID_HANDLE_VALUE) {
    ExplainLastError(errorText, "The temporary directory could not be opened", "", kNothingCopied);
    goto done;
  }
  // A final path ends without a backslash, but for a drive's root.
  CopyPath(expected, tempDirectory);
  folderLength = wcsnlen(expected, kPathCapacity);
  if (folderLength > 3 && expected[folderLength - 1] == L'\\') expected[folderLength - 1] = L'\0';
  if (!IsRealFolderAt(placed->folder, expected)) {
    CopyText(errorText, kErrorTextCapacity,
             "The temporary directory is a link or a file, or no longer where it was found; nothing was copied.");
    goto done;
  }
  if (own->file == INVALID_HANDLE_VALUE || (!own->isImage && own->error != 0)) {
    SetLastError(own->error);
    ExplainLastError(errorText, "This program's own file could not be held against changes and checked", "",
                     kNothingCopied);
    goto done;
  }
  if (!own->isImage) {
    CopyText(errorText, kErrorTextCapacity,
             "The file at this program's path is not the program that runs (it was replaced after the start); "
             "nothing was copied.");
    goto done;
  }
  descriptor = BuildSecurityDescriptor(kCopySecurity);
  if (descriptor == nullptr) {
    ExplainLastError(errorText, "The copy could not be created at %s", placed->path.text, kNothingCopied);
    goto done;
  }
  // Created only where no name stands: a name someone made after the deletion is theirs.
  if (ClearCopyPlace(placed->folder, name, &placed->path, kFreshName, noteText)) {
    placed->copy = CreateNewEntry(placed->folder, name, wcslen(name), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                  descriptor);
    if (placed->copy == INVALID_HANDLE_VALUE) {
      ExplainLastError(noteText, "The copy could not be created at %s", placed->path.text, kFreshName);
    }
  }
  // Every user may create files in C:\Windows\Temp and keep them: a usual name someone else
  // holds must not stop the removal. The run-mode choice goes by the folder alone, so the copy
  // under a fresh name does the removal all the same.
  if (placed->copy == INVALID_HANDLE_VALUE) {
    placed->copy = CreateUnderFreshName(placed, tempDirectory, name, descriptor);
  }
  if (placed->copy == INVALID_HANDLE_VALUE) {
    ExplainLastError(errorText, "The copy could not be created at %s", placed->path.text, kNothingCopied);
    goto done;
  }
  // A copy cut short stays, Administrators' own and never started, until the next run
  // deletes it: deleting it through this handle would need the handle to hold the right to
  // delete, which every later handle on the copy would then have to let others have too.
  if (!WriteProgram(own->file, placed->copy)) {
    ExplainLastError(errorText, "This program could not be copied", "", kNothingCopied);
    goto done;
  }
  written = true;
  // Now that the copy has its own short name, the log and the shell get the name it goes by.
  SpellPath(&placed->path);

done:
  CopyText(copyText, kPathCapacity, placed->path.text);
  // Only a whole copy is ever started: a copy cut short is let go at once.
  if (!written) ReleasePlacedCopy(placed);
  ReleaseLocal(&descriptor);
  return written;
}

bool StartPlacedCopy(PlacedCopy* placed, const char* parameters, char* errorText) {
  char reason[kErrorTextCapacity];
  if (placed->copy == INVALID_HANDLE_VALUE) {
    LaunchFailureText(errorText, placed->path.text,
                      "No copy was made in the temporary directory; nothing was started.");
    return false;
  }
  if (!ReopenForReading(&placed->copy, FILE_SHARE_READ | FILE_SHARE_WRITE) ||
      !ReopenForReading(&placed->copy, FILE_SHARE_READ)) {
    ExplainLastError(reason, "The copy could not be opened against other writers", "", kNothingStarted);
    LaunchFailureText(errorText, placed->path.text, reason);
    return false;
  }
  return LaunchElevated(placed->path.spelled, placed->path.text, parameters, &placed->process, SW_SHOWNORMAL,
                        errorText);
}

bool WaitForPlacedCopy(const PlacedCopy* placed, DWORD timeoutMs) {
  if (placed->process == NULL || placed->process == INVALID_HANDLE_VALUE) return true;
  return WaitForSingleObject(placed->process, timeoutMs) != WAIT_TIMEOUT;
}

void ReleasePlacedCopy(PlacedCopy* placed) {
  ReleaseHandle(&placed->process);
  ReleaseHandle(&placed->copy);
  ReleaseHandle(&placed->folder);
}
