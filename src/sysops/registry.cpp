// Registry operations: the removal stage writes its run-once value, deletes the product's
// autostart value and deletes the product's configuration key tree through these. The
// shipped program is 32-bit, so on a 64-bit Windows its own view of the software keys is
// the 32-bit one, while the product may have left things in the 64-bit view: the deleting
// operations look in the program's default view first and then in the 64-bit view. Every
// key opened here is closed before the operation returns.
#include "sysops/registry.h"

#include <winternl.h>

#include "util/bounded_text.h"
#include "util/release.h"

extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

namespace {

// The view the shipped 32-bit program reaches without asking for one. A 64-bit build has
// to ask for the 32-bit view explicitly to reach the same keys.
#ifdef _WIN64
const REGSAM kDefaultView = KEY_WOW64_32KEY;
#else
const REGSAM kDefaultView = 0;
#endif
const REGSAM kSecondView = KEY_WOW64_64KEY;

#ifndef _WIN64
static_assert(kDefaultView == 0, "the 32-bit program must use the platform's own view");
#endif

const REGSAM kSetAccess = KEY_CREATE_SUB_KEY | KEY_SET_VALUE;
const REGSAM kValueDeleteAccess = KEY_SET_VALUE;
// Query access as well, to tell a symbolic link key by its link value.
const REGSAM kTreeDeleteAccess = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;

// Value texts and names are held in message-sized buffers by every caller.
const size_t kTextLimit = kMessageCapacity;

// A key name has at most 255 characters. The buffer lives on every level of the tree
// delete, and the registry allows 512 levels, so it must stay that small.
const DWORD kChildNameCapacity = 256;

// The two views in the order the deleting operations visit them.
const REGSAM kViews[] = {kDefaultView, kSecondView};

// Keys in a tree are opened as themselves, never through a symbolic link: a link inside
// the product's key may point anywhere in the registry, and only the link is ours.
LONG OpenForTreeDelete(HKEY parent, const char* name, REGSAM view, HKEY* key) {
  return RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, kTreeDeleteAccess | view, key);
}

bool IsLinkKey(HKEY key) {
  DWORD type = REG_NONE;
  return RegQueryValueExA(key, "SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
         type == REG_LINK;
}

// A link key can only be deleted through a handle opened on the link itself: deleting it
// by name would open, and delete, what it points to. Only ntdll deletes a key by handle.
LONG DeleteLinkKey(HKEY link) { return static_cast<LONG>(RtlNtStatusToDosError(NtDeleteKey(link))); }

LONG DeleteSubtreeInView(HKEY parent, const char* name, REGSAM view);

// Deletes every subkey of key, then the key itself as name under parent. The key is
// deleted in the same view it was opened in: a delete by name from a predefined root would
// otherwise be redirected to the caller's default view and miss a key that lives only in
// the other one.
LONG DeleteOpenedKey(HKEY parent, const char* name, HKEY key, REGSAM view) {
  char childName[kChildNameCapacity];
  LONG result = ERROR_SUCCESS;
  if (IsLinkKey(key)) return DeleteLinkKey(key);
  for (;;) {
    DWORD childNameSize = kChildNameCapacity;
    // Always index 0: each deleted subkey moves the next one up to the front.
    result = RegEnumKeyExA(key, 0, childName, &childNameSize, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) {
      result = RegDeleteKeyExA(parent, name, view, 0);
      break;
    }
    if (result != ERROR_SUCCESS) break;
    result = DeleteSubtreeInView(key, childName, view);
    if (result != ERROR_SUCCESS) break;
  }
  return result;
}

// A subkey the enumeration has just listed must open in its parent's view. When it does
// not, its open failure ends the deletion; counting it as deleted would leave it at index 0
// and the enumeration would hand it back for ever.
LONG DeleteSubtreeInView(HKEY parent, const char* name, REGSAM view) {
  HKEY key = nullptr;
  LONG result = OpenForTreeDelete(parent, name, view, &key);
  if (result == ERROR_SUCCESS) result = DeleteOpenedKey(parent, name, key, view);
  ReleaseKey(&key);
  return result;
}

}  // namespace

bool SetRegistryString(HKEY root, const char* keyPath, const wchar_t* valueName, const wchar_t* valueText) {
  HKEY key = nullptr;
  bool stored = false;
  // A text without a terminator within the limit is refused rather than stored cut or
  // empty: either would be a wrong value answered as a stored one.
  const size_t length = wcsnlen(valueText, kTextLimit);
  if (length == kTextLimit) return false;

  if (RegCreateKeyExA(root, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, kSetAccess | kDefaultView,
                      nullptr, &key, nullptr) == ERROR_SUCCESS) {
    // REG_SZ is stored with its terminating zero; in UTF-16, so that a path the code page
    // cannot spell is stored as the path it is.
    stored = RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(valueText),
                            static_cast<DWORD>((length + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  }
  ReleaseKey(&key);
  return stored;
}

bool DeleteRegistryValue(HKEY root, const char* keyPath, const wchar_t* valueName) {
  const wchar_t* name = valueName;
  if (valueName == nullptr || valueName[0] == L'\0') {
    name = nullptr;
  } else if (wcsnlen(valueName, kTextLimit) == kTextLimit) {
    // An unmeasurable name must not fall through to the default value.
    return false;
  }

  // A 64-bit service beside a 32-bit tray program can leave the value in both views: it is
  // gone only when neither holds it, so a copy that stays makes the answer false even when
  // the other went. A view that does not hold it (no key, no value) is no failure, but a
  // value held by neither view was not deleted.
  bool deletedAny = false;
  bool failedAny = false;
  for (REGSAM view : kViews) {
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(root, keyPath, 0, kValueDeleteAccess | view, &key);
    if (result == ERROR_SUCCESS) result = RegDeleteValueW(key, name);
    if (result == ERROR_SUCCESS) {
      deletedAny = true;
    } else if (result != ERROR_FILE_NOT_FOUND) {
      failedAny = true;
    }
    ReleaseKey(&key);
  }
  return deletedAny && !failedAny;
}

bool DeleteRegistryKey(HKEY root, const char* keyPath, bool wholeTree) {
  if (wholeTree) return DeleteKeyTree(root, keyPath) == ERROR_SUCCESS;
  // An empty path would name the root key itself.
  if (keyPath == nullptr || keyPath[0] == '\0') return false;
  return RegDeleteKeyExA(root, keyPath, kDefaultView, 0) == ERROR_SUCCESS;
}

LONG DeleteKeyTree(HKEY parent, const char* name) {
  size_t length = 0;
  // A name that cannot be measured was never looked up: nothing was deleted, so this must
  // not answer success.
  if (TextFailed(TextLength(name, kTextLimit, &length))) return ERROR_INVALID_PARAMETER;
  if (length == 0) return ERROR_BADKEY;

  // Every view that holds the key loses its copy, the default view's first. A key that is
  // there but refused is not deleted: the first refusal or failure is the answer, even when
  // the other view's copy went. Only a key absent from a view counts as gone from it.
  LONG result = ERROR_SUCCESS;
  for (REGSAM view : kViews) {
    HKEY key = nullptr;
    LONG viewResult = OpenForTreeDelete(parent, name, view, &key);
    if (viewResult == ERROR_SUCCESS) {
      viewResult = DeleteOpenedKey(parent, name, key, view);
    } else if (viewResult == ERROR_FILE_NOT_FOUND) {
      viewResult = ERROR_SUCCESS;
    }
    if (result == ERROR_SUCCESS) result = viewResult;
    ReleaseKey(&key);
  }
  return result;
}
