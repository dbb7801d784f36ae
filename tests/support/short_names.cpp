#include "support/short_names.h"

#include <windows.h>

#include <cwchar>

namespace testsupport {

namespace {

DWORD WINAPI LongNamesOnly(LPCWSTR path, LPWSTR shortPath, DWORD capacity) {
  const DWORD length = static_cast<DWORD>(std::wcslen(path));
  if (length >= capacity) return length + 1;
  std::wmemcpy(shortPath, path, length + 1);
  return length;
}

}  // namespace

std::unique_ptr<ImportSwap> SwapAwayShortNames(bool withoutShortNames) {
  if (!withoutShortNames) return nullptr;
  return std::unique_ptr<ImportSwap>(
      new ImportSwap("kernel32.dll", "GetShortPathNameW", reinterpret_cast<void*>(&LongNamesOnly)));
}

}  // namespace testsupport
