// Relative opens go through NtCreateFile with the folder's handle as the root: the platform
// then looks up one name inside the folder object this program holds, whatever has become of
// the folder's path meanwhile, and no path grows past any limit however deep a tree is.
#include "sysops/files_by_handle.h"

#include <sddl.h>
#include <winternl.h>
#include <wchar.h>

#include "util/bounded_text.h"
#include "util/path_parts.h"
#include "util/release.h"
#include "util/wide_text.h"

namespace {

// FileDispositionInfoEx and its flags, as Windows 10 1809 defines them; older systems and
// other file systems refuse the class, and the plain disposition serves there.
const FILE_INFO_BY_HANDLE_CLASS kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
const DWORD kDispositionDelete = 0x1;
const DWORD kDispositionPosixSemantics = 0x2;
const DWORD kDispositionIgnoreReadOnly = 0x10;

// FILE_COMPLETE_IF_OPLOCKED: an open that breaks another process's oplock answers at once
// instead of waiting, without end, for that process to let go.
const ULONG kAsItselfOptions =
    FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_COMPLETE_IF_OPLOCKED;

// What such an open answers: success, with the break still going on.
const NTSTATUS kOplockBreakInProgress = static_cast<NTSTATUS>(0x00000108L);

// What a folder above the one worked in is opened with: to pass through it and look at it.
const DWORD kPassThroughAccess = FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

// The platform's status for a name that is taken, which it reports as ERROR_ALREADY_EXISTS;
// CreateFileW reports ERROR_FILE_EXISTS for it, and callers here expect that.
const NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035L);

HANDLE OpenEntry(HANDLE folder, const wchar_t* name, size_t nameLength, DWORD access, DWORD share,
                 ULONG disposition, PSECURITY_DESCRIPTOR descriptor) {
  // A name is at most 255 characters; anything longer, or a path, is no entry of folder.
  if (nameLength == 0 || nameLength > 255 || wmemchr(name, L'\\', nameLength) != nullptr) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  UNICODE_STRING entryName;
  entryName.Buffer = const_cast<wchar_t*>(name);
  entryName.Length = static_cast<USHORT>(nameLength * sizeof(wchar_t));
  entryName.MaximumLength = entryName.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &entryName, OBJ_CASE_INSENSITIVE, folder, descriptor);
  IO_STATUS_BLOCK status = {};
  HANDLE entry = nullptr;
  const ULONG options = kAsItselfOptions | (disposition == FILE_CREATE ? FILE_NON_DIRECTORY_FILE : 0);
  const NTSTATUS result = NtCreateFile(&entry, access | SYNCHRONIZE, &attributes, &status, nullptr,
                                       FILE_ATTRIBUTE_NORMAL, share, disposition, options, nullptr, 0);
  if (!NT_SUCCESS(result)) {
    SetLastError(result == kNameCollision ? ERROR_FILE_EXISTS : RtlNtStatusToDosError(result));
    return INVALID_HANDLE_VALUE;
  }
  // Whatever is done through this handle next (a write, a delete) would wait for the holder
  // to acknowledge the break: the entry counts as in use.
  if (result == kOplockBreakInProgress) {
    CloseHandle(entry);
    SetLastError(kErrorOplockBreakInProgress);
    return INVALID_HANDLE_VALUE;
  }
  return entry;
}

// Opens systemFolder as the platform finally reaches it, links on the way followed: it is
// the system's. Its final path goes into finalPath without a trailing backslash ("C:" for a
// drive's root).
HANDLE OpenSystemFolder(const char* systemFolder, wchar_t* finalPath, size_t capacity) {
  char base[kPathCapacity] = {};
  wchar_t wideBase[kPathCapacity] = {};
  size_t length = 0;
  size_t wideLength = 0;
  HANDLE folder = INVALID_HANDLE_VALUE;
  if (TextFailed(CopyText(base, kPathCapacity, systemFolder)) || TextFailed(TextLength(base, kPathCapacity, &length))) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  if (length == 0 || base[length - 1] == ':') AppendText(base, kPathCapacity, "\\");
  if (TextFailed(TextLength(base, kPathCapacity, &length)) || !WidenText(base, length, wideBase, kPathCapacity, &wideLength)) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  folder = CreateFileW(wideBase, kPassThroughAccess, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder != INVALID_HANDLE_VALUE && !GetFinalPathOf(folder, finalPath, capacity)) {
    ReleaseHandle(&folder);
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
  }
  length = folder != INVALID_HANDLE_VALUE ? wcslen(finalPath) : 0;
  if (length > 0 && finalPath[length - 1] == L'\\') finalPath[length - 1] = L'\0';
  return folder;
}

}  // namespace

HANDLE OpenAsItself(const wchar_t* path, DWORD access, DWORD share) {
  return CreateFileW(path, access, share, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

HANDLE OpenEntryAsItself(HANDLE folder, const wchar_t* name, size_t nameLength, DWORD access, DWORD share) {
  return OpenEntry(folder, name, nameLength, access, share, FILE_OPEN, nullptr);
}

HANDLE CreateNewEntry(HANDLE folder, const wchar_t* name, size_t nameLength, DWORD access, DWORD share,
                      PSECURITY_DESCRIPTOR descriptor) {
  return OpenEntry(folder, name, nameLength, access, share, FILE_CREATE, descriptor);
}

PSECURITY_DESCRIPTOR BuildSecurityDescriptor(const char* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr)) return nullptr;
  return descriptor;
}

bool GetFinalPathOf(HANDLE handle, wchar_t* finalPath, size_t capacity) {
  const DWORD length = GetFinalPathNameByHandleW(handle, finalPath, static_cast<DWORD>(capacity), FILE_NAME_NORMALIZED);
  if (length == 0 || length >= capacity) return false;
  if (wcsncmp(finalPath, L"\\\\?\\UNC\\", 8) == 0) {
    wmemmove(finalPath + 1, finalPath + 7, length - 7 + 1);
  } else if (wcsncmp(finalPath, L"\\\\?\\", 4) == 0) {
    wmemmove(finalPath, finalPath + 4, length - 4 + 1);
  }
  return true;
}

bool GetPathOnVolume(HANDLE handle, wchar_t* path, size_t capacity) {
  const size_t bytes = sizeof(FILE_NAME_INFO) + capacity * sizeof(wchar_t);
  FILE_NAME_INFO* name = static_cast<FILE_NAME_INFO*>(HeapAlloc(GetProcessHeap(), 0, bytes));
  bool found = false;
  if (name != nullptr && GetFileInformationByHandleEx(handle, FileNameInfo, name, static_cast<DWORD>(bytes))) {
    const size_t length = name->FileNameLength / sizeof(wchar_t);
    found = length < capacity;
    if (found) wmemcpy(path, name->FileName, length);
    if (found) path[length] = L'\0';
  }
  ReleaseHeap(&name);
  return found;
}

bool IsItselfAt(HANDLE handle, const wchar_t* expectedPath, BY_HANDLE_FILE_INFORMATION* information) {
  wchar_t* reached = nullptr;
  bool itself = false;
  if (!GetFileInformationByHandle(handle, information)) return false;
  if ((information->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;
  reached = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, kWidePathCapacity * sizeof(wchar_t)));
  if (reached != nullptr && GetFinalPathOf(handle, reached, kWidePathCapacity)) {
    itself = SameIgnoringCase(reached, -1, expectedPath, -1);
  }
  ReleaseHeap(&reached);
  return itself;
}

bool IsPlainFileAt(HANDLE file, const wchar_t* expectedPath) {
  BY_HANDLE_FILE_INFORMATION information = {};
  return IsItselfAt(file, expectedPath, &information) && (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         information.nNumberOfLinks == 1;
}

bool IsRealFolderAt(HANDLE folder, const wchar_t* expectedPath) {
  BY_HANDLE_FILE_INFORMATION information = {};
  return IsItselfAt(folder, expectedPath, &information) && (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool AppendEntryName(wchar_t* path, size_t capacity, const wchar_t* name, size_t nameLength) {
  const size_t length = wcslen(path);
  if (length + 1 + nameLength >= capacity) return false;
  path[length] = L'\\';
  wmemcpy(path + length + 1, name, nameLength);
  path[length + 1 + nameLength] = L'\0';
  return true;
}

OwnFolders OpenOwnFolders(const char* systemFolder, const char* ownPart, DWORD access, DWORD share, HANDLE* held,
                          size_t heldCapacity, size_t* heldCount, wchar_t* finalPath, size_t capacity,
                          size_t* stoppedAt) {
  wchar_t name[kNameCapacity + 1] = {};
  size_t length = 0;
  size_t nameLength = 0;
  size_t start = 0;
  size_t end = 0;
  HANDLE base = INVALID_HANDLE_VALUE;
  HANDLE above = INVALID_HANDLE_VALUE;
  OwnFolders found = OwnFolders::kMissing;

  for (size_t index = 0; index < heldCapacity; ++index) held[index] = INVALID_HANDLE_VALUE;
  *heldCount = 0;
  *stoppedAt = 0;
  if (TextFailed(TextLength(ownPart, kPathCapacity, &length)) || length == 0 || ownPart[0] != '\\') {
    SetLastError(ERROR_BAD_PATHNAME);
    goto done;
  }
  base = OpenSystemFolder(systemFolder, finalPath, capacity);
  if (base == INVALID_HANDLE_VALUE) goto done;
  for (above = base; start < length; start = end) {
    end = NameEnd(ownPart, start + 1, length);
    *stoppedAt = end;
    if (*heldCount == heldCapacity || !WidenText(ownPart + start + 1, end - start - 1, name, kNameCapacity + 1, &nameLength)) {
      SetLastError(ERROR_BAD_PATHNAME);
      goto done;
    }
    held[*heldCount] = OpenEntryAsItself(above, name, nameLength, end == length ? access : kPassThroughAccess,
                                         end == length ? share : kShareHold);
    if (held[*heldCount] == INVALID_HANDLE_VALUE) goto done;
    above = held[(*heldCount)++];
    if (!AppendEntryName(finalPath, capacity, name, nameLength)) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      goto done;
    }
    if (!IsRealFolderAt(above, finalPath)) {
      found = OwnFolders::kNotRealFolder;
      goto done;
    }
  }
  found = OwnFolders::kOpened;

done:
  ReleaseHandle(&base);
  return found;
}

bool DeleteThroughHandle(HANDLE handle) {
  FILE_DISPOSITION_INFO_EX posixDelete = {kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly};
  if (SetFileInformationByHandle(handle, kDispositionInfoEx, &posixDelete, sizeof(posixDelete))) return true;
  if (GetLastError() != ERROR_INVALID_PARAMETER && GetLastError() != ERROR_NOT_SUPPORTED) return false;

  FILE_BASIC_INFO basic = {};
  if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic))) return false;
  if ((basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    // Zero times mean "leave as they are"; the attributes may not be zero, hence NORMAL.
    FILE_BASIC_INFO writable = {};
    writable.FileAttributes = basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY;
    if (writable.FileAttributes == 0) writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(handle, FileBasicInfo, &writable, sizeof(writable))) return false;
  }
  FILE_DISPOSITION_INFO plainDelete = {TRUE};
  return SetFileInformationByHandle(handle, FileDispositionInfo, &plainDelete, sizeof(plainDelete)) != FALSE;
}
