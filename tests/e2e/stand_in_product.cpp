// The end-to-end suite's hands inside Wine: installs a stand-in for the product that the
// uninstaller removes (a running service whose program lives in the home directory, the
// autostart value, the configuration key tree, the home directory) together with
// neighbours that must survive, reports the state of every piece, runs the uninstaller
// while watching for its status window and its log, holds a file open, and cleans up
// everything the suite may have caused, the run-once value included.
//
// One program with several commands, so that the scenario scripts and the demonstration
// share a single description of the product. Every command prints what it found.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "support/test_process.h"
#include "support/test_service.h"

namespace {

const char kServiceName[] = "KESPWindowsService";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kAutostartValue[] = "KESPNotifications";
const char kRunOnceValue[] = "KESPCleanup";
const char kConfigurationKey[] = "SOFTWARE\\Halvorne\\KESP_SERVICE";
const char kVendorKey[] = "SOFTWARE\\Halvorne";
const char kProgramName[] = "VuzavoRURIvezarov";
const char kWindowCaption[] = "  Tessivane";

// Neighbours: named like the product's pieces where a careless prefix match would reach them.
const char kNeighbourRunValue[] = "E2eNeighbourTray";
const char kNeighbourKey[] = "SOFTWARE\\Halvorne\\E2eNeighbour";
const char kNeighbourPrefixKey[] = "SOFTWARE\\Halvorne\\KESP_SERVICE_Backup";
const char kDownloadsFolder[] = "C:\\E2eDownloads";

struct View {
  const char* name;
  REGSAM flag;
};
const View kViews[] = {{"64", KEY_WOW64_64KEY}, {"32", KEY_WOW64_32KEY}};

std::string CommonAppData() {
  char path[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, path);
  return path;
}

std::string VendorFolder() { return CommonAppData() + "\\Halvorne"; }
std::string HomeDirectory() { return VendorFolder() + "\\KESPWindowsService"; }
std::string NeighbourFolder() { return VendorFolder() + "\\E2eNeighbour"; }
std::string NeighbourPrefixFolder() { return VendorFolder() + "\\KESPWindowsService_Backup"; }
std::string LogFolder() { return VendorFolder() + "\\Logs"; }
std::string LogFile() { return LogFolder() + "\\KESPremoval.log"; }

std::string TempDirectory() {
  char path[MAX_PATH + 1] = {};
  GetTempPathA(sizeof(path), path);
  return path;
}

std::string PlantedMarker() { return TempDirectory() + "e2e_planted_ran.txt"; }
std::string HoldReadyMarker() { return TempDirectory() + "e2e_hold_ready"; }
std::string HoldReleaseMarker() { return TempDirectory() + "e2e_hold_release"; }

bool Fail(const std::string& what) {
  std::printf("error: %s (last error %lu)\n", what.c_str(), GetLastError());
  return false;
}

// ---- registry -------------------------------------------------------------------------

bool SetString(const View& view, const char* keyPath, const char* name, const std::string& text) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_SET_VALUE | view.flag, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return Fail(std::string("create ") + keyPath);
  }
  const LONG result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                     static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  return result == ERROR_SUCCESS || Fail(std::string("set ") + keyPath + "\\" + name);
}

bool SetNumber(const View& view, const char* keyPath, const char* name, DWORD number) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_SET_VALUE | view.flag, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return Fail(std::string("create ") + keyPath);
  }
  const LONG result =
      RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
  RegCloseKey(key);
  return result == ERROR_SUCCESS || Fail(std::string("set ") + keyPath + "\\" + name);
}

bool CreateEmptyKey(const View& view, const char* keyPath) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_READ | view.flag, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return Fail(std::string("create ") + keyPath);
  }
  RegCloseKey(key);
  return true;
}

// The value's text, or "absent".
std::string ReadString(const View& view, const char* keyPath, const char* name) {
  char text[2048] = {};
  DWORD size = sizeof(text) - 1;
  DWORD type = 0;
  HKEY key = nullptr;
  std::string answer = "absent";
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE | view.flag, &key) == ERROR_SUCCESS) {
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS) {
      answer = type == REG_SZ ? std::string(text) : std::string("(not a string)");
    }
    RegCloseKey(key);
  }
  return answer;
}

void DeleteValue(const View& view, const char* keyPath, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_SET_VALUE | view.flag, &key) == ERROR_SUCCESS) {
    RegDeleteValueA(key, name);
    RegCloseKey(key);
  }
}

// Counts the keys (the key itself included) and values of a tree; false when it is absent.
bool CountTree(HKEY parent, const char* name, REGSAM flag, int* keys, int* values) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, name, 0, KEY_READ | flag, &key) != ERROR_SUCCESS) return false;
  DWORD subkeys = 0;
  DWORD valueCount = 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &valueCount, nullptr,
                   nullptr, nullptr, nullptr);
  *keys += 1;
  *values += static_cast<int>(valueCount);
  for (DWORD index = 0; index < subkeys; ++index) {
    char child[256] = {};
    DWORD size = sizeof(child);
    if (RegEnumKeyExA(key, index, child, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      CountTree(key, child, flag, keys, values);
    }
  }
  RegCloseKey(key);
  return true;
}

std::string DescribeTree(const View& view, const char* keyPath) {
  int keys = 0;
  int values = 0;
  if (!CountTree(HKEY_LOCAL_MACHINE, keyPath, view.flag, &keys, &values)) return "absent";
  return "keys=" + std::to_string(keys) + " values=" + std::to_string(values);
}

void DeleteTree(const View& view, const char* keyPath) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ALL_ACCESS | view.flag, &key) == ERROR_SUCCESS) {
    RegDeleteTreeA(key, nullptr);
    RegCloseKey(key);
  }
  RegDeleteKeyExA(HKEY_LOCAL_MACHINE, keyPath, view.flag, 0);
}

// ---- files ----------------------------------------------------------------------------

bool WriteFileText(const std::string& path, const std::string& text) {
  return testsupport::WriteWholeFile(path, text) || Fail("write " + path);
}

bool MakeDirectory(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS ||
         Fail("create directory " + path);
}

void CountFiles(const std::string& directory, int* files, int* directories) {
  WIN32_FIND_DATAA entry = {};
  HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      *directories += 1;
      CountFiles(directory + "\\" + name, files, directories);
    } else {
      *files += 1;
    }
  } while (FindNextFileA(search, &entry));
  FindClose(search);
}

std::string DescribeFolder(const std::string& directory) {
  const DWORD attributes = GetFileAttributesA(directory.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return "absent";
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return "a file";
  int files = 0;
  int directories = 0;
  CountFiles(directory, &files, &directories);
  return "files=" + std::to_string(files) + " dirs=" + std::to_string(directories);
}

void DeleteFolderTree(const std::string& directory) {
  WIN32_FIND_DATAA entry = {};
  HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = directory + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteFolderTree(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(directory.c_str());
}

// Every file in directory whose name matches pattern, with its full path.
std::vector<std::string> Matching(const std::string& directory, const std::string& pattern) {
  std::vector<std::string> found;
  WIN32_FIND_DATAA entry = {};
  HANDLE search = FindFirstFileA((directory + pattern).c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) found.push_back(directory + entry.cFileName);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return found;
}

// ---- commands -------------------------------------------------------------------------

// install <64|32> [service]: the product's pieces in one registry view, the service only
// when asked (it costs the removal run a full stop schedule), and the neighbours.
int Install(const std::string& viewName, bool withService) {
  const View& view = viewName == "32" ? kViews[1] : kViews[0];
  const std::string home = HomeDirectory();
  bool ok = MakeDirectory(VendorFolder()) && MakeDirectory(home) && MakeDirectory(home + "\\data") &&
            MakeDirectory(home + "\\data\\cache") && MakeDirectory(home + "\\data\\empty") &&
            WriteFileText(home + "\\settings.ini", "[service]\r\nport=8443\r\n") &&
            WriteFileText(home + "\\data\\cache\\entry.bin", std::string(4096, '\x5a')) &&
            WriteFileText(home + "\\data\\service.log", "started\r\n");

  ok = ok && SetString(view, kRunKey, kAutostartValue, "\"" + home + "\\KESPNotify.exe\" /tray");
  ok = ok && SetString(view, kConfigurationKey, "InstallDir", home) &&
       SetString(view, kConfigurationKey, "Version", "4.2.0") &&
       SetNumber(view, "SOFTWARE\\Halvorne\\KESP_SERVICE\\Settings", "Port", 8443) &&
       SetString(view, "SOFTWARE\\Halvorne\\KESP_SERVICE\\Settings\\Network\\Proxy", "Host", "proxy.invalid") &&
       SetString(view, "SOFTWARE\\Halvorne\\KESP_SERVICE\\Components\\Notifications", "", "tray") &&
       CreateEmptyKey(view, "SOFTWARE\\Halvorne\\KESP_SERVICE\\Components\\Updater\\Schedule");

  // Neighbours: other programs' autostart in both views, the vendor's other keys and folders.
  for (const View& each : kViews) {
    ok = ok && SetString(each, kRunKey, kNeighbourRunValue, "C:\\E2eNeighbour\\tray.exe");
  }
  ok = ok && SetString(view, kNeighbourKey, "Keep", "yes") &&
       SetString(view, "SOFTWARE\\Halvorne\\E2eNeighbour\\Inner", "Keep", "yes") &&
       SetString(view, kNeighbourPrefixKey, "Keep", "yes");
  ok = ok && MakeDirectory(NeighbourFolder()) && WriteFileText(NeighbourFolder() + "\\keep.txt", "keep") &&
       MakeDirectory(NeighbourPrefixFolder()) && WriteFileText(NeighbourPrefixFolder() + "\\keep.txt", "keep");

  if (ok && withService) {
    // The service's program lives in the home directory, as the product's does.
    const std::string program = home + "\\KESPWindowsService.exe";
    std::string why;
    ok = (CopyFileA(testsupport::TestServiceProgramPath().c_str(), program.c_str(), FALSE) ||
          Fail("copy the test service program to " + program)) &&
         (testsupport::RegisterTestService(kServiceName, testsupport::TestServiceCommand(program, "accept"), &why) ||
          Fail("register the service: " + why)) &&
         (testsupport::StartTestService(kServiceName, 20000, &why) || Fail("start the service: " + why));
  }
  std::printf("install %s-bit view%s: %s\n", view.name, withService ? " with service" : "", ok ? "done" : "FAILED");
  return ok ? 0 : 1;
}

std::string ServiceState() {
  const DWORD error = testsupport::OpenServiceError(kServiceName);
  if (error == ERROR_SERVICE_DOES_NOT_EXIST) return "absent";
  if (error != 0) return "cannot be opened (error " + std::to_string(error) + ")";
  switch (testsupport::TestServiceState(kServiceName)) {
    case SERVICE_RUNNING: return "running";
    case SERVICE_STOPPED: return "stopped";
    case SERVICE_STOP_PENDING: return "stopping";
    case SERVICE_START_PENDING: return "starting";
    default: return "state " + std::to_string(testsupport::TestServiceState(kServiceName));
  }
}

// One "name=value" line per piece; the scripts compare these lines.
int State() {
  std::printf("service=%s\n", ServiceState().c_str());
  for (const View& view : kViews) {
    std::printf("autostart.%s=%s\n", view.name, ReadString(view, kRunKey, kAutostartValue).c_str());
  }
  for (const View& view : kViews) {
    std::printf("config.%s=%s\n", view.name, DescribeTree(view, kConfigurationKey).c_str());
  }
  std::printf("home=%s\n", DescribeFolder(HomeDirectory()).c_str());
  for (const View& view : kViews) {
    std::printf("runonce.%s=%s\n", view.name, ReadString(view, kRunOnceKey, kRunOnceValue).c_str());
  }
  for (const View& view : kViews) {
    std::printf("neighbour.run.%s=%s\n", view.name, ReadString(view, kRunKey, kNeighbourRunValue).c_str());
  }
  for (const View& view : kViews) {
    std::printf("neighbour.key.%s=%s\n", view.name, DescribeTree(view, kNeighbourKey).c_str());
    std::printf("neighbour.prefixkey.%s=%s\n", view.name, DescribeTree(view, kNeighbourPrefixKey).c_str());
  }
  std::printf("neighbour.folder=%s\n", DescribeFolder(NeighbourFolder()).c_str());
  std::printf("neighbour.prefixfolder=%s\n", DescribeFolder(NeighbourPrefixFolder()).c_str());
  std::printf("planted.ran=%s\n", testsupport::FileExists(PlantedMarker()) ? "yes" : "no");
  std::printf("tempcopies=%d\n", static_cast<int>(Matching(TempDirectory(), std::string(kProgramName) + "*.exe").size()));
  return 0;
}

// Removes everything the suite may have installed or caused, in both views, so that one
// failed scenario cannot poison the next.
int Cleanup() {
  testsupport::RemoveTestService(kServiceName, 20000);
  for (const View& view : kViews) {
    DeleteValue(view, kRunKey, kAutostartValue);
    DeleteValue(view, kRunKey, kNeighbourRunValue);
    DeleteValue(view, kRunOnceKey, kRunOnceValue);
    DeleteTree(view, kConfigurationKey);
    DeleteTree(view, kNeighbourKey);
    DeleteTree(view, kNeighbourPrefixKey);
    // The vendor key goes only when nothing of anybody else's is left in it.
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, view.flag, 0);
  }
  DeleteFolderTree(HomeDirectory());
  DeleteFolderTree(NeighbourFolder());
  DeleteFolderTree(NeighbourPrefixFolder());
  DeleteFolderTree(kDownloadsFolder);
  DeleteFileA(LogFile().c_str());
  RemoveDirectoryA(LogFolder().c_str());
  RemoveDirectoryA(VendorFolder().c_str());
  for (const std::string& copy : Matching(TempDirectory(), std::string(kProgramName) + "*.exe")) {
    DeleteFileA(copy.c_str());
  }
  DeleteFileA(PlantedMarker().c_str());
  DeleteFileA(HoldReadyMarker().c_str());
  DeleteFileA(HoldReleaseMarker().c_str());

  const bool clean = ServiceState() == "absent" && DescribeFolder(HomeDirectory()) == "absent" &&
                     ReadString(kViews[0], kRunOnceKey, kRunOnceValue) == "absent" &&
                     ReadString(kViews[1], kRunOnceKey, kRunOnceValue) == "absent" &&
                     DescribeTree(kViews[0], kConfigurationKey) == "absent" &&
                     DescribeTree(kViews[1], kConfigurationKey) == "absent";
  std::printf("cleanup: %s\n", clean ? "done" : "LEFTOVERS REMAIN");
  if (!clean) State();
  return clean ? 0 : 1;
}

int CountLogLines() {
  const std::string text = testsupport::ReadWholeFile(LogFile());
  int lines = 0;
  for (char c : text) lines += c == '\n' ? 1 : 0;
  return lines;
}

BOOL CALLBACK NoteStatusWindow(HWND window, LPARAM seen) {
  char caption[64] = {};
  GetWindowTextA(window, caption, sizeof(caption));
  if (std::string(caption) == kWindowCaption) {
    reinterpret_cast<std::set<HWND>*>(seen)->insert(window);
  }
  return TRUE;
}

// The environment of this process with TMP and TEMP replaced, as a CreateProcess block.
std::vector<char> EnvironmentWithTemp(const std::string& temp) {
  std::vector<char> block;
  char* strings = GetEnvironmentStringsA();
  for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
    const std::string text = entry;
    if (_strnicmp(entry, "TMP=", 4) == 0 || _strnicmp(entry, "TEMP=", 5) == 0) continue;
    block.insert(block.end(), text.begin(), text.end());
    block.push_back('\0');
  }
  FreeEnvironmentStringsA(strings);
  for (const std::string& variable : {std::string("TMP=") + temp, std::string("TEMP=") + temp}) {
    block.insert(block.end(), variable.begin(), variable.end());
    block.push_back('\0');
  }
  block.push_back('\0');
  return block;
}

// run <timeout-s> <log-lines> <workdir> <program> [--temp <dir>] [words...]: starts the
// program, then watches until it has exited and the log holds at least <log-lines> lines
// (the lines of every run it led to), noting every status window that appeared meanwhile.
int Run(int argc, char** argv) {
  if (argc < 6) return Fail("run needs <timeout-s> <log-lines> <workdir> <program>"), 2;
  const DWORD timeoutMs = static_cast<DWORD>(std::atoi(argv[2])) * 1000;
  const int wantedLines = std::atoi(argv[3]);
  const std::string workdir = argv[4];
  std::string commandLine = std::string("\"") + argv[5] + "\"";
  std::string temp;
  for (int index = 6; index < argc; ++index) {
    if (std::string(argv[index]) == "--temp" && index + 1 < argc) {
      temp = argv[++index];
    } else {
      commandLine += std::string(" ") + argv[index];
    }
  }
  std::vector<char> environment;
  if (!temp.empty()) environment = EnvironmentWithTemp(temp);

  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  const ULONGLONG started = GetTickCount64();
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0,
                      environment.empty() ? nullptr : environment.data(), workdir.c_str(), &startup,
                      &process)) {
    return Fail("start " + commandLine), 2;
  }
  std::set<HWND> windows;
  DWORD exitCode = STILL_ACTIVE;
  bool exited = false;
  int lines = 0;
  while (GetTickCount64() - started < timeoutMs) {
    EnumWindows(NoteStatusWindow, reinterpret_cast<LPARAM>(&windows));
    if (!exited && WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
      GetExitCodeProcess(process.hProcess, &exitCode);
      exited = true;
    }
    lines = CountLogLines();
    if (exited && lines >= wantedLines) break;
    Sleep(10);
  }
  if (!exited) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  const double seconds = static_cast<double>(GetTickCount64() - started) / 1000.0;
  std::printf("exit=%s windows=%d loglines=%d seconds=%.1f\n",
              exited ? std::to_string(exitCode).c_str() : "still-running",
              static_cast<int>(windows.size()), lines, seconds);
  return exited && lines >= wantedLines ? 0 : 1;
}

// hold <file> <timeout-s>: holds the file open without any sharing, as a program that is
// still running would, until the release marker appears or the time is up.
int Hold(const std::string& file, int timeoutSeconds) {
  HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Fail("hold " + file), 1;
  testsupport::WriteWholeFile(HoldReadyMarker(), "held");
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutSeconds) * 1000;
  while (!testsupport::FileExists(HoldReleaseMarker()) && GetTickCount64() < deadline) Sleep(20);
  CloseHandle(handle);
  DeleteFileA(HoldReleaseMarker().c_str());
  DeleteFileA(HoldReadyMarker().c_str());
  std::printf("released %s\n", file.c_str());
  return 0;
}

int Paths() {
  std::printf("temp=%s\nhome=%s\nlog=%s\n", TempDirectory().c_str(), HomeDirectory().c_str(), LogFile().c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Planted under a name the uninstaller might wrongly start (its usual name, or a cut
  // form of it), this program only records, beside itself, that something started it.
  char self[MAX_PATH * 2] = {};
  GetModuleFileNameA(nullptr, self, sizeof(self));
  const std::string selfPath = self;
  const std::string selfName = selfPath.substr(selfPath.find_last_of('\\') + 1);
  if (_strnicmp(selfName.c_str(), "VuzavoRURI", 10) == 0) {
    testsupport::WriteWholeFile(selfPath.substr(0, selfPath.size() - selfName.size()) + "e2e_planted_ran.txt",
                                selfPath);
    return 0;
  }

  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "install" && argc >= 3) return Install(argv[2], argc >= 4 && std::string(argv[3]) == "service");
  if (command == "state") return State();
  if (command == "cleanup") return Cleanup();
  if (command == "run") return Run(argc, argv);
  if (command == "hold" && argc >= 4) return Hold(argv[2], std::atoi(argv[3]));
  if (command == "paths") return Paths();
  std::printf("usage: stand_in_product install <64|32> [service] | state | cleanup | paths |\n"
              "       run <timeout-s> <log-lines> <workdir> <program> [--temp <dir>] [words...] |\n"
              "       hold <file> <timeout-s>\n");
  return 2;
}
