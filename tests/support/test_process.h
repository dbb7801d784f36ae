// Small Win32 helpers that tests share: running another program, reading and writing
// whole files, and finding the suite's build tree. Test-only; product code never uses it.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

// Where the suite keeps its build (a Windows path, for use inside Wine).
std::string BuildDirectory();

// Starts commandLine in workingDirectory (null: the current one) and waits at most
// timeoutMs. Returns the exit code, or -1 when the program could not be started and
// -2 when it was still running at the deadline (it is then terminated).
long RunAndWait(const std::string& commandLine, DWORD timeoutMs, const char* workingDirectory = nullptr);

std::string ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& contents);
bool FileExists(const std::string& path);

// The directory part of a path, without the trailing backslash.
std::string DirectoryOf(const std::string& path);

}  // namespace testsupport
