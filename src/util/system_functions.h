// Platform functions that not every supported Windows has. Imported the ordinary way, a
// function that an older system lacks would stop the program before its first line; looked
// up at run time, it is simply absent there and the caller does without it. Only libraries
// that every process already has loaded are asked, so the lookup never loads anything.
#pragma once

// The address of name in the loaded library, or null.
void* FindSystemFunctionAddress(const char* library, const char* name);

// The same, as the function type the caller calls it by.
template <typename Function>
Function FindSystemFunction(const char* library, const char* name) {
  return reinterpret_cast<Function>(FindSystemFunctionAddress(library, name));
}
