// Registry operations on the local machine's keys, reaching both registry views: the
// 32-bit view that the shipped 32-bit program sees by default, then the 64-bit view.
#pragma once

#include <windows.h>

// Stores valueText (at most 4095 wide characters) as a REG_SZ value, creating every missing
// key on the path.
bool SetRegistryString(HKEY root, const char* keyPath, const wchar_t* valueName, const wchar_t* valueText);

// Deletes one value (the default value for an empty name).
bool DeleteRegistryValue(HKEY root, const char* keyPath, const wchar_t* valueName);

// Deletes the key, with all its subkeys when wholeTree is true. A missing key counts as
// deleted when wholeTree is true.
bool DeleteRegistryKey(HKEY root, const char* keyPath, bool wholeTree);

// Depth-first deletion of name under parent; answers the platform's result code, or
// ERROR_INVALID_PARAMETER for a name that is missing or longer than 4095 characters.
LONG DeleteKeyTree(HKEY parent, const char* name);
