// Files and folders judged and acted on through handles. A path is a question asked again
// each time it is used, and in the folders this elevated program works in, standard users
// can change the answer between two uses (a folder they own emptied and made a junction).
// So each thing is opened as itself, judged through that handle, and created, changed or
// deleted through the same handle, and an entry of a folder is opened relative to the
// folder's own handle, never again by its whole path. Names are UTF-16, so any name and
// any depth work.
#pragma once

#include <windows.h>

// Wide-character capacity of a path built while walking a tree (the platform's limit).
const size_t kWidePathCapacity = 32768;

// What others may do with a thing this program has open: everything, or everything but
// delete it, rename it or replace it (a held folder stays the folder it was).
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
const DWORD kShareHold = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The last error of an entry's open that would have had to wait for another process to give
// up its oplock on the entry (Windows' ERROR_OPLOCK_BREAK_IN_PROGRESS).
const DWORD kErrorOplockBreakInProgress = 742;

// Opens the file or folder at path (a full path) as itself: a link is opened as the link
// where the platform can, a folder with backup semantics; share says what others may do
// meanwhile. INVALID_HANDLE_VALUE on failure, with the last error set.
HANDLE OpenAsItself(const wchar_t* path, DWORD access, DWORD share);

// The same for the entry name (one name, nameLength characters, no backslash) inside the
// open folder; an entry that another process holds under an oplock that this open would
// break is not opened (kErrorOplockBreakInProgress), so that nothing waits for that process.
HANDLE OpenEntryAsItself(HANDLE folder, const wchar_t* name, size_t nameLength, DWORD access, DWORD share);

// Creates the file name (nameLength characters) inside the open folder, only where no name
// of any kind stands yet; descriptor (may be null) is its security from the first instant.
// share is what others may do while the handle is open. INVALID_HANDLE_VALUE on failure,
// with the last error set (ERROR_FILE_EXISTS when the name is taken).
HANDLE CreateNewEntry(HANDLE folder, const wchar_t* name, size_t nameLength, DWORD access, DWORD share,
                      PSECURITY_DESCRIPTOR descriptor);

// The security descriptor that sddl (the platform's descriptor language) describes, for a
// thing to have from the moment it is made; the caller releases it with ReleaseLocal. Null
// when the text does not convert.
PSECURITY_DESCRIPTOR BuildSecurityDescriptor(const char* sddl);

// The path by which the platform finally reaches the open file or folder, every link on
// the way resolved, without the "\\?\" prefix ("\\?\UNC\" becomes "\\"); capacity counts
// wide characters.
bool GetFinalPathOf(HANDLE handle, wchar_t* finalPath, size_t capacity);

// The path of the open file or folder from its volume's root ("\ProgramData\..."), every
// link on the way resolved where the platform resolves links, into path (capacity wide
// characters). With the volume's serial number it says where the thing is, as a final path
// does, but of any length: Wine gives no final path of more than about 265 characters.
bool GetPathOnVolume(HANDLE handle, wchar_t* path, size_t capacity);

// True when the open file or folder is no link (no reparse point) and the platform finally
// reaches it at expectedPath (letter case ignored); information receives what the handle
// shows.
bool IsItselfAt(HANDLE handle, const wchar_t* expectedPath, BY_HANDLE_FILE_INFORMATION* information);

// IsItselfAt for a file that must also have no second name (no hard link elsewhere).
bool IsPlainFileAt(HANDLE file, const wchar_t* expectedPath);

// IsItselfAt for a folder.
bool IsRealFolderAt(HANDLE folder, const wchar_t* expectedPath);

// Appends a backslash and name (nameLength characters) to the path in path (capacity wide
// characters); false, with path as it was, when the whole does not fit.
bool AppendEntryName(wchar_t* path, size_t capacity, const wchar_t* name, size_t nameLength);

// What OpenOwnFolders found.
enum class OwnFolders { kOpened, kMissing, kNotRealFolder };

// The most folders a product's own part of a path may name.
const size_t kMaxOwnFolders = 8;

// Opens, as itself, each folder that ownPart names ("\Halvorne\Logs", each name after a
// backslash) below systemFolder, a folder of the system's taken as the platform finally
// reaches it (the current drive's root when it is empty or only a drive): each relative to
// the handle of the one above, each checked to be a real folder (no link) that the platform
// reaches where it is named, and each held without letting others delete, rename or replace
// it (the last with access and share). held (heldCapacity handles) receives every folder
// opened, heldCount how many, for the caller to close; on kOpened finalPath (capacity wide
// characters) holds the last one's final path, otherwise stoppedAt the length of the part
// of ownPart that names the folder that is missing (the last error says why) or no real
// folder.
OwnFolders OpenOwnFolders(const char* systemFolder, const char* ownPart, DWORD access, DWORD share, HANDLE* held,
                          size_t heldCapacity, size_t* heldCount, wchar_t* finalPath, size_t capacity,
                          size_t* stoppedAt);

// Deletes the open file or empty folder through its handle (opened with DELETE and
// FILE_WRITE_ATTRIBUTES): a read-only attribute is cleared first, and the name goes at once
// where the platform has that (POSIX semantics), otherwise when the last handle closes.
bool DeleteThroughHandle(HANDLE handle);
