// Giving back what the platform handed out: each helper releases one kind of thing held in a
// slot and marks the slot empty, so a function frees everything it acquired in one place near
// its end, on every path, and a second release of the same slot does nothing.
#pragma once

#include <windows.h>
#include <objbase.h>

// A file, folder or process handle; an empty slot holds INVALID_HANDLE_VALUE (or null).
inline void ReleaseHandle(HANDLE* handle) {
  if (*handle != INVALID_HANDLE_VALUE && *handle != nullptr) CloseHandle(*handle);
  *handle = INVALID_HANDLE_VALUE;
}

inline void ReleaseHandles(HANDLE* handles, size_t count) {
  for (size_t index = 0; index < count; ++index) ReleaseHandle(&handles[index]);
}

inline void ReleaseKey(HKEY* key) {
  if (*key != nullptr) RegCloseKey(*key);
  *key = nullptr;
}

inline void ReleaseServiceHandle(SC_HANDLE* handle) {
  if (*handle != nullptr) CloseServiceHandle(*handle);
  *handle = nullptr;
}

// Memory from the process heap, from the system's LocalAlloc (a message, a security
// descriptor) or from the shell's CoTaskMemAlloc (an item list); an empty slot holds null.
template <typename T>
void ReleaseHeap(T** slot) {
  if (*slot != nullptr) HeapFree(GetProcessHeap(), 0, *slot);
  *slot = nullptr;
}

template <typename T>
void ReleaseLocal(T** slot) {
  LocalFree(*slot);
  *slot = nullptr;
}

template <typename T>
void ReleaseTaskMemory(T** slot) {
  CoTaskMemFree(*slot);
  *slot = nullptr;
}
