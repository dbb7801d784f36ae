// The process-wide refusal of untrusted junctions, and the log's own folders: real folders,
// made with a DACL that keeps standard users from planting anything in them.
#include "sysops/link_safety.h"

#include <sddl.h>


namespace {

// SYSTEM and Administrators: full control; Users: read and list. Protected, so nothing that
// the all-users folder grants to users is inherited.
const char kProtectedFolderSddl[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";

// The policy and its bit as Windows defines them; looked up at run time, since older systems
// have neither.
const int kRedirectionTrustPolicy = 16;
const DWORD kEnforceRedirectionTrust = 0x1;
typedef BOOL(WINAPI* SetMitigationPolicy)(int policy, PVOID buffer, SIZE_T length);

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
