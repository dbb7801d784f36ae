// Registry helpers for the registry tests: every test works under a key of its own below
// HKLM\SOFTWARE\TessivaneTests, reads and writes it with an explicit view so that a check
// proves which view a key or value is in, and removes it (link keys that cannot be opened
// included) before and after it runs. Test-only; independent of the code under test.
#pragma once

#include <windows.h>

#include <string>

namespace testkeys {

const REGSAM kView32 = KEY_WOW64_32KEY;
const REGSAM kView64 = KEY_WOW64_64KEY;

// "SOFTWARE\TessivaneTests\<testName>", relative to HKEY_LOCAL_MACHINE.
std::string TestKeyPath(const std::string& testName);

// Creates the key and every missing key above it in view; false if that failed.
bool CreateKey(REGSAM view, const std::string& path);
bool KeyExists(REGSAM view, const std::string& path);
// The same for a path of UTF-16 names.
bool CreateKey(REGSAM view, const std::wstring& path);
bool KeyExists(REGSAM view, const std::wstring& path);
bool SetText(REGSAM view, const std::string& path, const char* name, const char* text);

// Reads a value: the platform's result code, with the type and bytes when it is 0.
LONG ReadValue(REGSAM view, const std::string& path, const char* name, DWORD* type, std::string* bytes);

// Creates a symbolic link key at path in view, pointing at the registry path target
// (for example "\\Registry\\Machine\\SOFTWARE\\..."). A link to a missing key is listed by
// its parent but cannot be opened; a link to itself cannot be opened either.
bool CreateLink(REGSAM view, const std::string& path, const std::string& target);

// The kernel's name for a key below HKEY_LOCAL_MACHINE\SOFTWARE as seen in view.
std::string KernelPath(REGSAM view, const std::string& path);

// True if the key (or link key itself) exists in view.
bool LinkOrKeyExists(REGSAM view, const std::string& path);

// Removes the key with all its subkeys from view, link keys included (not their targets).
void RemoveTree(REGSAM view, const std::string& path);

// Removes a test's key from both views, and the tests' common parent once it is empty.
void RemoveTestKey(const std::string& path);

}  // namespace testkeys
