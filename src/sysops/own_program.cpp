// One name names one file, and a held file cannot be renamed: when the running image's
// name and the held file's name are the same at one moment, the held file is the image,
// whatever was done to the path before it was held.
#include "sysops/own_program.h"

#include <windows.h>
#include <psapi.h>
#include <wchar.h>

#include "util/release.h"
#include "util/wide_text.h"

namespace {

// Device names are longer than a path: "\Device\HarddiskVolume12" before the path itself.
const DWORD kDeviceNameCapacity = 32768;

// The prefix by which a name in the platform's object namespace goes through a drive
// letter ("\??\C:\..."), as some platforms give the running image's name.
const wchar_t kDosDevices[] = L"\\??\\";
const size_t kDosDevicesLength = 4;

// Rewrites a name of the form "\??\C:\rest" into the device form "\Device\...\rest", in
// place (capacity wide characters); any other name is already in device form. False when
// the drive names no device or the result does not fit.
bool ToDeviceForm(wchar_t* name, size_t capacity) {
  wchar_t drive[3] = {};
  wchar_t device[MAX_PATH] = {};
  if (wcsncmp(name, kDosDevices, kDosDevicesLength) != 0 || name[kDosDevicesLength] == L'\0' ||
      name[kDosDevicesLength + 1] != L':') {
    return true;
  }
  wmemcpy(drive, name + kDosDevicesLength, 2);
  if (QueryDosDeviceW(drive, device, MAX_PATH) == 0) return false;
  const size_t deviceLength = wcsnlen(device, MAX_PATH);
  const wchar_t* rest = name + kDosDevicesLength + 2;
  const size_t restLength = wcslen(rest);
  if (deviceLength + restLength >= capacity) return false;
  wmemmove(name + deviceLength, rest, restLength + 1);
  wmemcpy(name, device, deviceLength);
  return true;
}

// The held file is the image when both names are the same (letter case aside, as the file
// system compares names); false, with own->error set, when a name cannot be read.
bool IsRunningImage(OwnProgram* own, wchar_t* imageName, wchar_t* heldName) {
  const DWORD imageLength =
      GetMappedFileNameW(GetCurrentProcess(), GetModuleHandleW(nullptr), imageName, kDeviceNameCapacity);
  if (imageLength == 0 || imageLength >= kDeviceNameCapacity || !ToDeviceForm(imageName, kDeviceNameCapacity)) {
    own->error = GetLastError();
    return false;
  }
  const DWORD heldLength = GetFinalPathNameByHandleW(own->file, heldName, kDeviceNameCapacity, VOLUME_NAME_NT);
  if (heldLength == 0 || heldLength >= kDeviceNameCapacity) {
    own->error = GetLastError();
    return false;
  }
  return SameIgnoringCase(imageName, -1, heldName, -1);
}

}  // namespace

void HoldOwnProgram(OwnProgram* own) {
  wchar_t* names = nullptr;
  wchar_t path[MAX_PATH] = {};

  const DWORD pathLength = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (pathLength == 0 || pathLength >= MAX_PATH) {
    own->error = pathLength == 0 ? GetLastError() : static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE);
    goto done;
  }
  own->file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                          nullptr);
  if (own->file == INVALID_HANDLE_VALUE) {
    own->error = GetLastError();
    goto done;
  }
  names = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, 2 * kDeviceNameCapacity * sizeof(wchar_t)));
  if (names == nullptr) {
    own->error = ERROR_NOT_ENOUGH_MEMORY;
    goto done;
  }
  own->isImage = IsRunningImage(own, names, names + kDeviceNameCapacity);

done:
  ReleaseHeap(&names);
}

void ReleaseOwnProgram(OwnProgram* own) { ReleaseHandle(&own->file); }
