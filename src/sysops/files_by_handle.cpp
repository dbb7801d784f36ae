// Relative opens go through NtCreateFile with the folder's handle as the root: the platform
// then looks up one name inside the folder object this program holds, whatever has become of
// the folder's path meanwhile, and no path grows past any limit however deep a tree is.
#include "sysops/files_by_handle.h"

#include <winternl.h>
#include <wchar.h>

namespace {

// FileDispositionInfoEx and its flags, as Windows 10 1809 defines them; older systems and
// other file systems refuse the class, and the plain disposition serves there.
const FILE_INFO_BY_HANDLE_CLASS kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
const DWORD kDispositionDelete = 0x1;
const DWORD kDispositionPosixSemantics = 0x2;
const DWORD kDispositionIgnoreReadOnly = 0x10;

const ULONG kAsItselfOptions = FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT;

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
    SetLastError(RtlNtStatusToDosError(result));
    return INVALID_HANDLE_VALUE;
  }
  return entry;
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

bool IsItselfAt(HANDLE handle, const wchar_t* expectedPath, BY_HANDLE_FILE_INFORMATION* information) {
  wchar_t* reached = nullptr;
  bool itself = false;
  if (!GetFileInformationByHandle(handle, information)) return false;
  if ((information->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;
  reached = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, kWidePathCapacity * sizeof(wchar_t)));
  if (reached != nullptr && GetFinalPathOf(handle, reached, kWidePathCapacity)) {
    itself = CompareStringOrdinal(reached, -1, expectedPath, -1, TRUE) == CSTR_EQUAL;
  }
  if (reached != nullptr) {
    HeapFree(GetProcessHeap(), 0, reached);
    reached = nullptr;
  }
  return itself;
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
