#include "util/release.h"

#include <objbase.h>

void ReleaseHandle(HANDLE* handle) {
  if (*handle != INVALID_HANDLE_VALUE && *handle != nullptr) CloseHandle(*handle);
  *handle = INVALID_HANDLE_VALUE;
}

void ReleaseHandles(HANDLE* handles, size_t count) {
  for (size_t index = 0; index < count; ++index) ReleaseHandle(&handles[index]);
}

void ReleaseKey(HKEY* key) {
  if (*key != nullptr) RegCloseKey(*key);
  *key = nullptr;
}

void ReleaseServiceHandle(SC_HANDLE* handle) {
  if (*handle != nullptr) CloseServiceHandle(*handle);
  *handle = nullptr;
}

void ReleaseHeapBlock(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

void ReleaseLocalBlock(void* block) {
  if (block != nullptr) LocalFree(block);
}

void ReleaseTaskBlock(void* block) {
  if (block != nullptr) CoTaskMemFree(block);
}
