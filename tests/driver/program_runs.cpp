#include "program_runs.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <regex>
#include <sstream>

#include "support/test_process.h"

namespace drivertest {

std::string LogPath() {
  char folder[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, folder);
  return std::string(folder) + "\\Halvorne\\Logs\\KESPremoval.log";
}

std::vector<std::string> LogMessages() {
  static const std::regex prefix(R"(^\[\d{4}-\d{1,2}-\d{1,2} \d\d:\d\d:\d\d\] )");
  std::vector<std::string> lines = testsupport::SplitLines(testsupport::ReadWholeFile(LogPath()));
  if (lines.back().empty()) lines.pop_back();
  for (std::string& line : lines) {
    std::smatch match;
    line = std::regex_search(line, match, prefix) ? line.substr(match.length()) : "<no prefix> " + line;
  }
  return lines;
}

std::string TempDirectory() {
  char path[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, path);
  return path;
}

void WaitForProcessesNamed(const std::string& fileName, DWORD timeoutMs) {
  const DWORD deadline = GetTickCount() + timeoutMs;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (lstrcmpiA(entry.szExeFile, fileName.c_str()) != 0) continue;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (process == nullptr) continue;
    const DWORD now = GetTickCount();
    WaitForSingleObject(process, now < deadline ? deadline - now : 0);
    CloseHandle(process);
  }
  CloseHandle(snapshot);
}

void CleanUpAfterRun(const std::string& fileName) {
  WaitForProcessesNamed(fileName, 60000);
  const std::string copy = TempDirectory() + fileName;
  SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(copy.c_str());
  DeleteFileA((copy + ".run.txt").c_str());
  const REGSAM views[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
  for (REGSAM view : views) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                      0, KEY_SET_VALUE | view, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, "KESPCleanup");
      RegCloseKey(key);
    }
  }
}

void RemoveLogAndItsDirectories() {
  const std::string log = LogPath();
  SetFileAttributesA(log.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(log.c_str());
  const std::string logs = testsupport::DirectoryOf(log);
  DWORD attributes = GetFileAttributesA(logs.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    DeleteFileA(logs.c_str());
  }
  RemoveDirectoryA(logs.c_str());
  RemoveDirectoryA(testsupport::DirectoryOf(logs).c_str());
}

std::map<std::string, std::string> ReadRecord(const std::string& path) {
  std::map<std::string, std::string> record;
  std::istringstream lines(testsupport::ReadWholeFile(path));
  for (std::string line; std::getline(lines, line);) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos) record[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return record;
}

}  // namespace drivertest
