#include "support/test_process.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace testsupport {

std::string BuildDirectory() {
  // CTest hands the Unix path over; Wine maps the root file system to drive Z:.
  const char* unixPath = std::getenv("TESSIVANE_BUILD_DIR");
  if (unixPath == nullptr) return std::string();
  std::string path = std::string("Z:") + unixPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

long RunAndWait(const std::string& commandLine, DWORD timeoutMs, const char* workingDirectory) {
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, workingDirectory,
                      &startup, &process)) {
    return -1;
  }
  long result = -2;
  if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result = static_cast<long>(code);
  } else {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
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

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace testsupport
