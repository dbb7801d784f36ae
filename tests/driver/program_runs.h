// Running the program under test and putting the machine back afterwards. A run from
// outside the temporary directory leaves a copy there and starts it; that copy registers a
// next-logon command. Everything here waits for such processes to end instead of racing
// them, then removes what they left.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace drivertest {

// The log file's path, found through the shell as the program finds it.
std::string LogPath();

// The log's messages (the timestamp prefix removed), or nothing when there is no log.
// A line without a well-formed prefix is kept whole, marked "<no prefix> ".
std::vector<std::string> LogMessages();

// The temporary directory with its trailing backslash.
std::string TempDirectory();

// Waits (at most timeoutMs) for every process whose executable is named fileName.
void WaitForProcessesNamed(const std::string& fileName, DWORD timeoutMs);

// Waits for the program's started copies, deletes the temporary-directory copy named
// fileName and the next-logon value in both registry views.
void CleanUpAfterRun(const std::string& fileName);

// Deletes the log and, when empty, the directories the program made for it.
void RemoveLogAndItsDirectories();

// key=value lines of a file, as the recording stand-ins write them.
std::map<std::string, std::string> ReadRecord(const std::string& path);

}  // namespace drivertest
