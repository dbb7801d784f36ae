// Platform functions that not every supported Windows has. Imported the ordinary way, a
// function that an older system lacks would stop the program before its first line; looked
// up at run time, it is simply absent there and the caller does without it. Only libraries
// that every process already has loaded are asked, so the lookup never loads anything.
#pragma once

#include <windows.h>

// The function name of the loaded library, as the type the caller calls it by, or null.
template <typename Function>
Function FindSystemFunction(const char* library, const char* name) {
  HMODULE module = GetModuleHandleA(library);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
