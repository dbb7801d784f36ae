#include "log_test_files.h"

#include <windows.h>

#include "log/removal_log.h"
#include "support/test_process.h"

namespace logtest {

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

std::string FreshFolder(const std::string& name) {
  const std::string folder = testsupport::BuildDirectory() + "\\tests\\" + name;
  RemoveTree(folder);
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

std::vector<std::string> SplitLines(const std::string& contents) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t end = contents.find("\r\n", start);
    if (end == std::string::npos) break;
    lines.push_back(contents.substr(start, end - start));
    start = end + 2;
  }
  lines.push_back(contents.substr(start));
  return lines;
}

size_t CurrentPrefixLength() {
  char line[4096] = {};
  LogTimestamp(line);
  return std::string(line).size();
}

}  // namespace logtest
