// Registry operations: the removal stage writes its run-once value, deletes the product's
// autostart value and deletes the product's configuration key tree through these. The
// shipped program is 32-bit, so on a 64-bit Windows its own view of the software keys is
// the 32-bit one, while the product may have left things in the 64-bit view: the deleting
// operations look in the program's default view first and then in the 64-bit view. Every
// key opened here is closed before the operation returns.
#include "sysops/registry.h"

#include "util/bounded_text.h"

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
const REGSAM kTreeDeleteAccess = DELETE | KEY_ENUMERATE_SUB_KEYS;

// Value texts and names are held in message-sized buffers by every caller.
const size_t kTextLimit = kMessageCapacity;

// Room for any subkey name the enumeration can hand back.
const DWORD kChildNameCapacity = static_cast<DWORD>(kMessageCapacity);

void CloseKeySlot(HKEY* key) {
  if (*key != nullptr) {
    RegCloseKey(*key);
    *key = nullptr;
  }
}

LONG DeleteSubtreeInView(HKEY parent, const char* name, REGSAM view);

// Deletes every subkey of key, then the key itself as name under parent. The key is
// deleted in the same view it was opened in: a delete by name from a predefined root would
// otherwise be redirected to the caller's default view and miss a key that lives only in
// the other one.
LONG DeleteOpenedKey(HKEY parent, const char* name, HKEY key, REGSAM view) {
  char childName[kChildNameCapacity];
  LONG result = ERROR_SUCCESS;
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
  LONG result = RegOpenKeyExA(parent, name, 0, kTreeDeleteAccess | view, &key);
  if (result == ERROR_SUCCESS) result = DeleteOpenedKey(parent, name, key, view);
  CloseKeySlot(&key);
  return result;
}

}  // namespace

bool SetRegistryString(HKEY root, const char* keyPath, const char* valueName, const char* valueText) {
  HKEY key = nullptr;
  size_t length = 0;
  bool stored = false;
  // A text without a terminator within the limit is refused rather than stored cut or
  // empty: either would be a wrong value answered as a stored one.
  if (TextFailed(TextLength(valueText, kTextLimit, &length))) return false;

  if (RegCreateKeyExA(root, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, kSetAccess | kDefaultView,
                      nullptr, &key, nullptr) == ERROR_SUCCESS) {
    // REG_SZ is stored with its terminating zero.
    stored = RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(valueText),
                            static_cast<DWORD>(length + 1)) == ERROR_SUCCESS;
  }
  CloseKeySlot(&key);
  return stored;
}

bool DeleteRegistryValue(HKEY root, const char* keyPath, const char* valueName) {
  HKEY defaultViewKey = nullptr;
  HKEY secondViewKey = nullptr;
  bool deleted = false;
  bool trySecondView = true;
  const char* name = valueName;
  if (valueName == nullptr || valueName[0] == '\0') {
    name = nullptr;
  } else if (TextFailed(TextLength(valueName, kTextLimit, nullptr))) {
    // An unmeasurable name must not fall through to the default value.
    return false;
  }

  if (RegOpenKeyExA(root, keyPath, 0, kValueDeleteAccess | kDefaultView, &defaultViewKey) == ERROR_SUCCESS) {
    const LONG result = RegDeleteValueA(defaultViewKey, name);
    deleted = result == ERROR_SUCCESS;
    // The autostart key exists in both views on a 64-bit Windows, so a value missing from
    // the default view's key may still live in the 64-bit one.
    trySecondView = result == ERROR_FILE_NOT_FOUND;
  }
  if (trySecondView &&
      RegOpenKeyExA(root, keyPath, 0, kValueDeleteAccess | kSecondView, &secondViewKey) == ERROR_SUCCESS) {
    deleted = RegDeleteValueA(secondViewKey, name) == ERROR_SUCCESS;
  }
  CloseKeySlot(&defaultViewKey);
  CloseKeySlot(&secondViewKey);
  return deleted;
}

bool DeleteRegistryKey(HKEY root, const char* keyPath, bool wholeTree) {
  if (wholeTree) return DeleteKeyTree(root, keyPath) == ERROR_SUCCESS;
  // An empty path would name the root key itself.
  if (keyPath == nullptr || keyPath[0] == '\0') return false;
  return RegDeleteKeyExA(root, keyPath, kDefaultView, 0) == ERROR_SUCCESS;
}

LONG DeleteKeyTree(HKEY parent, const char* name) {
  HKEY key = nullptr;
  size_t length = 0;
  if (TextFailed(TextLength(name, kTextLimit, &length))) return ERROR_SUCCESS;
  if (length == 0) return ERROR_BADKEY;

  REGSAM view = kDefaultView;
  const LONG defaultViewResult = RegOpenKeyExA(parent, name, 0, kTreeDeleteAccess | kDefaultView, &key);
  LONG openResult = defaultViewResult;
  if (defaultViewResult != ERROR_SUCCESS) {
    view = kSecondView;
    openResult = RegOpenKeyExA(parent, name, 0, kTreeDeleteAccess | kSecondView, &key);
  }

  LONG result = ERROR_SUCCESS;
  if (openResult == ERROR_SUCCESS) {
    result = DeleteOpenedKey(parent, name, key, view);
  } else if (defaultViewResult != ERROR_FILE_NOT_FOUND) {
    // A key that is there but refused is not deleted: its refusal is the answer, the
    // default view's first. Only a key absent from both views counts as already gone.
    result = defaultViewResult;
  } else if (openResult != ERROR_FILE_NOT_FOUND) {
    result = openResult;
  }
  CloseKeySlot(&key);
  return result;
}
