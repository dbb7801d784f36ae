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

// Windows names the running image in device form ("\Device\HarddiskVolume2\..."), the name
// the file has now. Wine gives instead the path the program was started by, as a name that
// goes through a drive letter ("\??\C:\..."), whose folders may be links; such a name is
// taken in the form the held file's name has, the name of the file it leads to.
const wchar_t kDosDevices[] = L"\\??\\";
const size_t kDosDevicesLength = 4;

// Rewrites a "\??\" name into the device form of the file it finally reaches, in place
// (capacity wide characters); any other name is left as it is. False when it leads nowhere.
bool ToDeviceForm(wchar_t* name, size_t capacity) {
  if (wcsncmp(name, kDosDevices, kDosDevicesLength) != 0) return true;
  name[1] = L'\\';
  HANDLE file = CreateFileW(name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  const DWORD length = file != INVALID_HANDLE_VALUE
                           ? GetFinalPathNameByHandleW(file, name, static_cast<DWORD>(capacity), VOLUME_NAME_NT)
                           : 0;
  ReleaseHandle(&file);
  return length != 0 && length < capacity;
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
