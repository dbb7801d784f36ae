// Small Win32 helpers that tests share: running another program, reading and writing
// whole files, scratch folders, and finding the suite's build tree. Test-only; product code
// never uses it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// Where the suite keeps its build, as the suite's prefix shows it on drive C: (empty when
// run outside CTest).
std::string BuildDirectory();

// The folder on the prefix's drive C: that holds every test's scratch folder: short and
// the same for every clone, so a test can make the path lengths it needs.
const char kScratchRoot[] = "C:\\tessivane-tests";

// The name of the running test, for naming what the test makes.
std::string CurrentTestName();

// Starts commandLine in workingDirectory (null: the current one), both in UTF-8; the process
// handle, or null when it could not be started, however often it was tried.
HANDLE StartProgram(const std::string& commandLine, const char* workingDirectory = nullptr);

// Waits at most timeoutMs for the process and closes its handle. Returns the exit code, or
// -2 when it was still running at the deadline (it is then terminated).
long WaitForExit(HANDLE process, DWORD timeoutMs);

// StartProgram and WaitForExit in one; -1 when the program could not be started.
long RunAndWait(const std::string& commandLine, DWORD timeoutMs, const char* workingDirectory = nullptr);

std::string ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& contents);
bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);

// Removes a folder with everything in it (or a plain file); missing is fine.
void RemoveTree(const std::string& path);

// The text's lines split at CR LF; the last element is what followed the last CR LF.
std::vector<std::string> SplitLines(const std::string& contents);

// The directory part of a path, without the trailing backslash.
std::string DirectoryOf(const std::string& path);

// A folder of the test's own, C:\tessivane-tests\<name>: emptied when made (the test fails
// when it cannot be), removed with everything in it when the test ends, however it ends.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name);
  ~ScratchFolder() { RemoveTree(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }
  // A path inside the folder.
  std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

 private:
  std::string path_;
};

}  // namespace testsupport
