// A link is recognised in two ways, because platforms show them differently: a folder link
// (a junction, or a symbolic link to a folder) carries the reparse-point attribute, while a
// file link may look like a plain file and shows itself only in the final path the platform
// reaches through it. Deleting a file link by its name may delete its target, so a name
// found to be a link is reported, never deleted.
#include "sysops/link_safety.h"

#include <sddl.h>

#include "util/bounded_text.h"
#include "util/text_helpers.h"

namespace {

// SYSTEM and Administrators: full control; Users: read and list. Protected, so nothing that
// the all-users folder grants to users is inherited.
const char kProtectedFolderSddl[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";

// The policy and its bit as Windows defines them; looked up at run time, since older systems
// have neither.
const int kRedirectionTrustPolicy = 16;
const DWORD kEnforceRedirectionTrust = 0x1;
typedef BOOL(WINAPI* SetMitigationPolicy)(int policy, PVOID buffer, SIZE_T length);

// Removes the "\\?\" (or "\\?\UNC\") prefix that final paths carry, in place.
void StripFinalPathPrefix(char* path) {
  char rest[kPathCapacity] = {};
  if (FindNoCase(path, "\\\\?\\UNC\\") == 1) {
    CopyText(rest, kPathCapacity, path + 7);
    CopyText(path, kPathCapacity, "\\");
    AppendText(path, kPathCapacity, rest);
  } else if (FindNoCase(path, "\\\\?\\") == 1) {
    CopyText(rest, kPathCapacity, path + 4);
    CopyText(path, kPathCapacity, rest);
  }
}

bool GetFinalPathOfHandle(HANDLE handle, char* path) {
  const DWORD length = GetFinalPathNameByHandleA(handle, path, kPathCapacity, FILE_NAME_NORMALIZED);
  if (length == 0 || length >= kPathCapacity) return false;
  StripFinalPathPrefix(path);
  return true;
}

bool SameTextNoCase(const char* left, const char* right) {
  size_t leftLength = 0;
  size_t rightLength = 0;
  TextLength(left, kPathCapacity, &leftLength);
  TextLength(right, kPathCapacity, &rightLength);
  return leftLength == rightLength && FindNoCase(left, right) == 1;
}

// True when the open file or folder is no link and the platform finally reaches it at
// finalPath (compared ignoring letter case); information receives what the handle shows.
bool ReachedAsItselfAt(HANDLE handle, const char* finalPath, BY_HANDLE_FILE_INFORMATION* information) {
  char reached[kPathCapacity] = {};
  if (!GetFileInformationByHandle(handle, information)) return false;
  if ((information->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;
  return GetFinalPathOfHandle(handle, reached) && SameTextNoCase(reached, finalPath);
}

}  // namespace

void RefuseUntrustedJunctions() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return;
  const SetMitigationPolicy setPolicy =
      reinterpret_cast<SetMitigationPolicy>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessMitigationPolicy")));
  if (setPolicy == nullptr) return;
  DWORD flags = kEnforceRedirectionTrust;
  // A system that knows the function but not this policy refuses it; the run goes on as before.
  setPolicy(kRedirectionTrustPolicy, &flags, sizeof(flags));
}

bool IsRealFolder(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool CreateProtectedFolder(const char* path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  bool created = false;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorA(kProtectedFolderSddl, SDDL_REVISION_1, &descriptor,
                                                           nullptr)) {
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    created = CreateDirectoryA(path, &attributes) != FALSE;
  }
  if (descriptor != nullptr) {
    LocalFree(descriptor);
    descriptor = nullptr;
  }
  return created;
}

namespace {

// The path by which the platform finally reaches an existing folder, every link on the way
// resolved, without the "\\?\" prefix and without a trailing backslash ("C:" for a root).
bool GetFinalFolderPath(const char* folder, char* finalPath) {
  HANDLE handle = CreateFileA(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  bool found = false;
  size_t length = 0;
  if (handle != INVALID_HANDLE_VALUE && GetFinalPathOfHandle(handle, finalPath)) {
    found = !TextFailed(TextLength(finalPath, kPathCapacity, &length));
    if (found && length > 0 && finalPath[length - 1] == '\\') finalPath[length - 1] = '\0';
  }
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }
  return found;
}

}  // namespace

bool FinalPathThrough(const char* path, size_t split, char* finalPath) {
  char folder[kPathCapacity] = {};
  LeftPart(path, folder, static_cast<int>(split));
  if (split == 0 || folder[split - 1] == ':') AppendText(folder, kPathCapacity, "\\");
  return GetFinalFolderPath(folder, finalPath) && !TextFailed(AppendText(finalPath, kPathCapacity, path + split));
}

bool NamesAFileLink(const char* path) {
  char expected[kPathCapacity] = {};
  BY_HANDLE_FILE_INFORMATION information = {};
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool link = false;
  size_t length = 0;
  size_t nameStart = 0;
  if (TextFailed(TextLength(path, kPathCapacity, &length))) return false;
  for (size_t position = length; position > 0 && nameStart == 0; --position) {
    if (path[position - 1] == '\\') nameStart = position;
  }
  // The folder is resolved first, so that a short or otherwise spelled folder name is no link.
  if (nameStart == 0 || !FinalPathThrough(path, nameStart - 1, expected)) return false;
  handle = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    link = !ReachedAsItselfAt(handle, expected, &information);
  }
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }
  return link;
}
