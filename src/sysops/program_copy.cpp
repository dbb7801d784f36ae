// Making sure that the elevated start runs this program and nothing planted in its place.
// A user who created a file under the copy's name before the copy was made would keep owning
// it after the shell copied over it, and could rewrite it before the elevated start or before
// the next administrator's logon, when the run-once value starts it. So the place is cleared
// first, the copy is handed to Administrators, and it is started only while this program
// holds it open against writers and has found it equal to itself.
#include "sysops/program_copy.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <string.h>

#include "sysops/elevated_launch.h"
#include "sysops/link_safety.h"
#include "util/bounded_text.h"

namespace {

// Owner Administrators; a protected DACL, so nothing is inherited from the temporary
// directory: SYSTEM and Administrators full control, Users read and execute (0x1200a9 is
// FILE_GENERIC_READ | FILE_GENERIC_EXECUTE).
const char kCopySecurity[] = "O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";

// Read in pieces of this size when the copy is compared with the program.
const DWORD kCompareChunk = 4096;

// The launch's failure sentence for a copy that was not started, with the system's text
// for the last error after why; call it right after the failed call.
void RefuseWithLastError(char* errorText, const char* copyPath, const char* why) {
  char systemText[kErrorTextCapacity];
  GetLastErrorText(systemText);
  FormatText(errorText, kErrorTextCapacity, "Unable to run the program: %s Error Message: %s: %s Nothing was started.",
             copyPath, why, systemText);
}

// Opens path for reading (and, when protect is set, for changing its owner and DACL) so
// that nobody else can write, rename or delete it while the handle is open.
HANDLE OpenDenyingWriters(const char* path, bool protect) {
  const DWORD access = GENERIC_READ | (protect ? (READ_CONTROL | WRITE_DAC | WRITE_OWNER) : 0);
  return CreateFileA(path, access, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
}

// Through the open handle, so that it is the file just checked that gets the rights.
bool ProtectOpenCopy(HANDLE copy, const char* copyPath, char* errorText) {
  PSECURITY_DESCRIPTOR descriptor = NULL;
  PSID owner = NULL;
  PACL dacl = NULL;
  BOOL defaulted = FALSE;
  BOOL present = FALSE;
  DWORD result = ERROR_SUCCESS;
  bool protectedNow = false;

  if (ConvertStringSecurityDescriptorToSecurityDescriptorA(kCopySecurity, SDDL_REVISION_1, &descriptor, NULL) &&
      GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) &&
      GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
    result = SetSecurityInfo(copy, SE_FILE_OBJECT,
                             OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                             owner, NULL, dacl, NULL);
    SetLastError(result);
    protectedNow = result == ERROR_SUCCESS;
  }
  if (!protectedNow) {
    RefuseWithLastError(errorText, copyPath, "The copy's owner and access rights could not be set to Administrators only");
  }

  if (descriptor != NULL) {
    LocalFree(descriptor);
    descriptor = NULL;
  }
  return protectedNow;
}

// Reads up to kCompareChunk bytes; false on a read error.
bool ReadChunk(HANDLE file, char* chunk, DWORD* got) {
  *got = 0;
  return ReadFile(file, chunk, kCompareChunk, got, NULL) != FALSE;
}

// True when both files, read from their start, hold the same bytes.
bool SameBytes(HANDLE copy, HANDLE own, const char* copyPath, char* errorText) {
  char copyChunk[kCompareChunk];
  char ownChunk[kCompareChunk];
  DWORD copyGot = 0;
  DWORD ownGot = 0;
  do {
    if (!ReadChunk(copy, copyChunk, &copyGot) || !ReadChunk(own, ownChunk, &ownGot)) {
      RefuseWithLastError(errorText, copyPath, "The copy could not be compared with this program");
      return false;
    }
    if (copyGot != ownGot || memcmp(copyChunk, ownChunk, copyGot) != 0) {
      FormatText(errorText, kErrorTextCapacity,
                 "Unable to run the program: %s Error Message: The copy's bytes differ from this program's own; "
                 "nothing was started.",
                 copyPath);
      return false;
    }
  } while (copyGot != 0);
  return true;
}

}  // namespace

bool ClearPlaceForCopy(const char* path, char* errorText) {
  // Some platforms delete, or make writable, a link's target when asked to by the link's name.
  if (NamesAFileLink(path)) {
    FormatText(errorText, kErrorTextCapacity,
               "The file already at %s is a link, left as it is so that what it points to is not "
               "deleted. Nothing was copied.",
               path);
    return false;
  }
  // A read-only file would refuse the deletion, where the shell's copy used to replace it.
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  if (DeleteFileA(path)) return true;
  // Nothing there: the shell's copy will report a missing folder itself.
  if (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND) return true;
  char systemText[kErrorTextCapacity];
  GetLastErrorText(systemText);
  FormatText(errorText, kErrorTextCapacity, "The file already at %s could not be deleted: %s Nothing was copied.",
             path, systemText);
  return false;
}

bool LaunchCheckedCopy(const char* copyPath, const char* ownPath, const char* parameters, char* errorText) {
  HANDLE copy = INVALID_HANDLE_VALUE;
  HANDLE own = INVALID_HANDLE_VALUE;
  bool launched = false;

  copy = OpenDenyingWriters(copyPath, true);
  if (copy == INVALID_HANDLE_VALUE) {
    RefuseWithLastError(errorText, copyPath, "The copy could not be opened against other writers");
    goto done;
  }
  if (!ProtectOpenCopy(copy, copyPath, errorText)) goto done;
  own = OpenDenyingWriters(ownPath, false);
  if (own == INVALID_HANDLE_VALUE) {
    RefuseWithLastError(errorText, copyPath, "This program's own file could not be opened for the comparison");
    goto done;
  }
  if (!SameBytes(copy, own, copyPath, errorText)) goto done;
  // The copy stays open against writers until the shell has started it.
  launched = LaunchElevated(copyPath, parameters, false, SW_SHOWNORMAL, errorText);

done:
  if (own != INVALID_HANDLE_VALUE) {
    CloseHandle(own);
    own = INVALID_HANDLE_VALUE;
  }
  if (copy != INVALID_HANDLE_VALUE) {
    CloseHandle(copy);
    copy = INVALID_HANDLE_VALUE;
  }
  return launched;
}
