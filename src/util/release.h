// Giving back what the platform handed out: each helper releases one kind of thing held in a
// slot and marks the slot empty, so a function frees everything it acquired in one place near
// its end, on every path, and a second release of the same slot does nothing.
#pragma once

#include <windows.h>

// A file, folder or process handle; an empty slot holds INVALID_HANDLE_VALUE (or null).
void ReleaseHandle(HANDLE* handle);

// Each open handle of handles (count of them).
void ReleaseHandles(HANDLE* handles, size_t count);

// A registry key; an empty slot holds null.
void ReleaseKey(HKEY* key);

// A service manager or service handle; an empty slot holds null.
void ReleaseServiceHandle(SC_HANDLE* handle);

// Memory from the process heap, LocalAlloc (the system's allocations for a message or a
// security descriptor) or CoTaskMemAlloc (the shell's item lists); an empty slot holds null.
void ReleaseHeapBlock(void* block);
void ReleaseLocalBlock(void* block);
void ReleaseTaskBlock(void* block);

template <typename T>
void ReleaseHeap(T** slot) {
  ReleaseHeapBlock(*slot);
  *slot = nullptr;
}

template <typename T>
void ReleaseLocal(T** slot) {
  ReleaseLocalBlock(*slot);
  *slot = nullptr;
}

template <typename T>
void ReleaseTaskMemory(T** slot) {
  ReleaseTaskBlock(*slot);
  *slot = nullptr;
}
