#include "util/system_functions.h"

#include <windows.h>

void* FindSystemFunctionAddress(const char* library, const char* name) {
  HMODULE module = GetModuleHandleA(library);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(module, name));
}
