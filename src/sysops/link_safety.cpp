// The process-wide refusal of untrusted junctions, and the log's own folders: real folders,
// made with a DACL that keeps standard users from planting anything in them.
#include "sysops/link_safety.h"

#include "sysops/files_by_handle.h"
#include "util/release.h"
#include "util/system_functions.h"

namespace {

// SYSTEM and Administrators: full control; Users: read and list. Protected, so nothing that
// the all-users folder grants to users is inherited.
const char kProtectedFolderSddl[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";

// The policy and its bit as Windows defines them; Windows 7 has neither, nor the function.
const int kRedirectionTrustPolicy = 16;
const DWORD kEnforceRedirectionTrust = 0x1;

}  // namespace

void RefuseUntrustedJunctions() {
  const auto setPolicy =
      FindSystemFunction<BOOL(WINAPI*)(int, PVOID, SIZE_T)>("kernel32.dll", "SetProcessMitigationPolicy");
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
  PSECURITY_DESCRIPTOR descriptor = BuildSecurityDescriptor(kProtectedFolderSddl);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  const bool created = descriptor != nullptr && CreateDirectoryA(path, &attributes) != FALSE;
  ReleaseLocal(&descriptor);
  return created;
}
