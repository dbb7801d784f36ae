#include "support/test_process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace testsupport {

std::string BuildDirectory() {
  // The suite's prefix links the build tree here (tests/wine/prefix-setup.sh), so that no
  // path a test makes depends on where the repository was cloned.
  return std::getenv("TESSIVANE_BUILD_DIR") == nullptr ? std::string() : "C:\\tessivane-build";
}

std::string CurrentTestName() {
  return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

HANDLE StartProgram(const std::string& commandLine, const char* workingDirectory) {
  // UTF-8, so that a scenario can start a program from a folder the code page cannot name.
  std::vector<wchar_t> line(commandLine.size() + 1);
  std::vector<wchar_t> folder(workingDirectory != nullptr ? std::strlen(workingDirectory) + 1 : 1);
  MultiByteToWideChar(CP_UTF8, 0, commandLine.c_str(), -1, line.data(), static_cast<int>(line.size()));
  if (workingDirectory != nullptr) {
    MultiByteToWideChar(CP_UTF8, 0, workingDirectory, -1, folder.data(), static_cast<int>(folder.size()));
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  // A loaded machine's Wine now and then loses a new process while it starts and answers
  // ERROR_INTERNAL_ERROR (1359) before any of the program has run; that start is the
  // platform's failure, not the program's, so it is made again a few times, and said.
  DWORD refusal = ERROR_SUCCESS;
  bool started = false;
  for (int attempt = 0; attempt < 5 && !started; ++attempt) {
    if (attempt > 0) Sleep(1000);
    started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             workingDirectory != nullptr ? folder.data() : nullptr, &startup, &process) != FALSE;
    if (!started) refusal = GetLastError();
  }
  if (!started) {
    SetLastError(refusal);
    return nullptr;
  }
  if (refusal != ERROR_SUCCESS) {
    std::fprintf(stderr, "note: %s started only when tried again (error %lu)\n", commandLine.c_str(), refusal);
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}

long WaitForExit(HANDLE process, DWORD timeoutMs) {
  long result = -2;
  if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    result = static_cast<long>(code);
  } else {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
  }
  CloseHandle(process);
  return result;
}

long RunAndWait(const std::string& commandLine, DWORD timeoutMs, const char* workingDirectory) {
  HANDLE process = StartProgram(commandLine, workingDirectory);
  return process == nullptr ? -1 : WaitForExit(process, timeoutMs);
}

std::string ReadWholeFile(const std::string& path) {
  std::string contents;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return contents;
  char chunk[4096];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0) contents.append(chunk, got);
  std::fclose(file);
  return contents;
}

bool WriteWholeFile(const std::string& path, const std::string& contents) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool written = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
  return std::fclose(file) == 0 && written;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void RemoveTree(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name != "." && name != "..") RemoveTree(path + "\\" + name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

std::vector<std::string> SplitLines(const std::string& contents) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = contents.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(contents.substr(start, end - start));
  }
  lines.push_back(contents.substr(start));
  return lines;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

ScratchFolder::ScratchFolder(const std::string& name) : path_(kScratchRoot + ("\\" + name)) {
  CreateDirectoryA(kScratchRoot, nullptr);
  RemoveTree(path_);
  if (!CreateDirectoryA(path_.c_str(), nullptr)) ADD_FAILURE() << "could not create " << path_;
}

}  // namespace testsupport
