// Registry helpers for the registry tests (see test_keys.h).
#include "sysops/test_keys.h"

#include <vector>

namespace testkeys {

namespace {
const char kTestsParent[] = "SOFTWARE\\TessivaneTests";
}  // namespace

std::string TestKeyPath(const std::string& testName) { return std::string(kTestsParent) + "\\" + testName; }

bool CreateKey(REGSAM view, const std::string& path) { return CreateKey(view, std::wstring(path.begin(), path.end())); }

bool CreateKey(REGSAM view, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_READ | view, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

bool KeyExists(REGSAM view, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool KeyExists(REGSAM view, const std::string& path) { return KeyExists(view, std::wstring(path.begin(), path.end())); }

bool SetText(REGSAM view, const std::string& path, const char* name, const char* text) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LONG result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                     static_cast<DWORD>(strlen(text) + 1));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

LONG ReadValue(REGSAM view, const std::string& path, const char* name, DWORD* type, std::string* bytes) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | view, &key);
  if (result != ERROR_SUCCESS) return result;
  char data[8192];
  DWORD size = sizeof(data);
  result = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data), &size);
  if (result == ERROR_SUCCESS) bytes->assign(data, size);
  RegCloseKey(key);
  return result;
}

bool CreateLink(REGSAM view, const std::string& path, const std::string& target) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                      KEY_ALL_ACCESS | KEY_CREATE_LINK | view, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const std::wstring wideTarget(target.begin(), target.end());
  // The link's target is stored without a terminator.
  const LONG result = RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK,
                                     reinterpret_cast<const BYTE*>(wideTarget.c_str()),
                                     static_cast<DWORD>(wideTarget.size() * sizeof(wchar_t)));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

std::string KernelPath(REGSAM view, const std::string& path) {
  const std::string software = "SOFTWARE\\";
  const std::string rest = path.substr(software.size());
  return "\\Registry\\Machine\\SOFTWARE\\" + std::string(view == kView32 ? "Wow6432Node\\" : "") + rest;
}

namespace {

HKEY OpenLinkOrKey(HKEY parent, const wchar_t* name, REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, name, REG_OPTION_OPEN_LINK, access, &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

HKEY OpenLinkOrKey(HKEY parent, const std::string& name, REGSAM access) {
  return OpenLinkOrKey(parent, std::wstring(name.begin(), name.end()).c_str(), access);
}

// By UTF-16 names, so that keys named in any script are removed too.
void RemoveOpenedTree(HKEY key, REGSAM view) {
  std::vector<std::wstring> children;
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD size = 256;
    if (RegEnumKeyExW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.push_back(name);
  }
  for (const std::wstring& child : children) {
    HKEY childKey = OpenLinkOrKey(key, child.c_str(), KEY_READ | DELETE | view);
    if (childKey == nullptr) continue;
    RemoveOpenedTree(childKey, view);
    RegCloseKey(childKey);
  }
  // Deleting through the handle removes a link key itself rather than its target.
  typedef LONG(WINAPI * DeleteKeyFunction)(HANDLE);
  static const DeleteKeyFunction deleteKey = reinterpret_cast<DeleteKeyFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey")));
  deleteKey(key);
}

}  // namespace

bool LinkOrKeyExists(REGSAM view, const std::string& path) {
  HKEY key = OpenLinkOrKey(HKEY_LOCAL_MACHINE, path, KEY_READ | view);
  if (key == nullptr) return false;
  RegCloseKey(key);
  return true;
}

void RemoveTree(REGSAM view, const std::string& path) {
  HKEY key = OpenLinkOrKey(HKEY_LOCAL_MACHINE, path, KEY_READ | DELETE | view);
  if (key == nullptr) return;
  RemoveOpenedTree(key, view);
  RegCloseKey(key);
}

void RemoveTestKey(const std::string& path) {
  for (REGSAM view : {kView32, kView64}) {
    RemoveTree(view, path);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kTestsParent, view, 0);
  }
}

}  // namespace testkeys
