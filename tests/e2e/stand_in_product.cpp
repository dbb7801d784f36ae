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
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "support/test_process.h"
#include "support/test_service.h"

namespace {

const char kServiceName[] = "KESPWindowsService";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kConfigurationKey[] = "SOFTWARE\\Halvorne\\KESP_SERVICE";
const char kAutostartValue[] = "KESPNotifications";
// Neighbours: named like the product's pieces where a careless prefix match would reach them.
const char kNeighbourRunValue[] = "E2eNeighbourTray";
const char kNeighbourKey[] = "SOFTWARE\\Halvorne\\E2eNeighbour";
const char kNeighbourPrefixKey[] = "SOFTWARE\\Halvorne\\KESP_SERVICE_Backup";
const char kProgramPattern[] = "VuzavoRURIvezarov*.exe";
const char kWindowCaption[] = "  Tessivane";

struct View {
  const char* name;
  REGSAM flag;
};
const View kViews[] = {{"64", KEY_WOW64_64KEY}, {"32", KEY_WOW64_32KEY}};

// The registry pieces, in each view: a value (reported as its text) or, without a value
// name, a key tree (reported as its counts).
struct Piece {
  const char* label;
  const char* key;
  const char* value;
};
const Piece kPieces[] = {
    {"autostart", kRunKey, kAutostartValue},
    {"config", kConfigurationKey, nullptr},
    {"runonce", kRunOnceKey, "KESPCleanup"},
    {"neighbour.run", kRunKey, kNeighbourRunValue},
    {"neighbour.key", kNeighbourKey, nullptr},
    {"neighbour.prefixkey", kNeighbourPrefixKey, nullptr},
};

std::string VendorFolder() {
  char path[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, path);
  return std::string(path) + "\\Halvorne";
}
std::string HomeDirectory() { return VendorFolder() + "\\KESPWindowsService"; }
std::string NeighbourFolder() { return VendorFolder() + "\\E2eNeighbour"; }
std::string NeighbourPrefixFolder() { return VendorFolder() + "\\KESPWindowsService_Backup"; }
std::string LogFile() { return VendorFolder() + "\\Logs\\KESPremoval.log"; }

std::string Utf8(const wchar_t* wide) {
  char text[4 * MAX_PATH] = {};
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
  return text;
}

std::wstring Wide(const std::string& utf8) {
  wchar_t wide[2 * MAX_PATH] = {};
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide, 2 * MAX_PATH);
  return wide;
}

// The short form of a path, in the code page: a folder named in letters the code page lacks
// still opens by it with this helper's ANSI calls (Wine's short names are plain ASCII).
std::string ShortAnsiPath(const wchar_t* path) {
  wchar_t shortPath[MAX_PATH] = {};
  char text[MAX_PATH] = {};
  if (GetShortPathNameW(path, shortPath, MAX_PATH) == 0) wcsncpy(shortPath, path, MAX_PATH - 1);
  WideCharToMultiByte(CP_ACP, 0, shortPath, -1, text, sizeof(text), nullptr, nullptr);
  return text;
}

std::wstring WideTempDirectory() {
  wchar_t path[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, path);
  return path;
}
std::string TempDirectory() { return ShortAnsiPath(WideTempDirectory().c_str()); }
std::string PlantedMarker() { return TempDirectory() + "e2e_planted_ran.txt"; }
std::string HoldReadyMarker() { return TempDirectory() + "e2e_hold_ready"; }
std::string HoldReleaseMarker() { return TempDirectory() + "e2e_hold_release"; }

bool Fail(const std::string& what) {
  std::printf("error: %s (last error %lu)\n", what.c_str(), GetLastError());
  return false;
}

// ---- registry -------------------------------------------------------------------------

// One key to create and, when name is given, a value to set in it (REG_SZ or REG_DWORD).
struct Setting {
  std::string key;
  const char* name;
  DWORD type;
  std::string data;
};

bool Write(REGSAM view, const Setting& setting) {
  HKEY key = nullptr;
  LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, setting.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view,
                                nullptr, &key, nullptr);
  const DWORD number = std::strtoul(setting.data.c_str(), nullptr, 10);
  if (result == ERROR_SUCCESS && setting.name != nullptr) {
    result = setting.type == REG_DWORD
                 ? RegSetValueExA(key, setting.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                  sizeof(number))
                 : RegSetValueExA(key, setting.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(setting.data.c_str()),
                                  static_cast<DWORD>(setting.data.size() + 1));
  }
  if (key != nullptr) RegCloseKey(key);
  return result == ERROR_SUCCESS || Fail("write " + setting.key + " " + (setting.name ? setting.name : ""));
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

// The value's text or the tree's counts; "absent" when it is not there.
std::string Describe(const View& view, const Piece& piece) {
  std::string answer = "absent";
  if (piece.value == nullptr) {
    int keys = 0;
    int values = 0;
    if (CountTree(HKEY_LOCAL_MACHINE, piece.key, view.flag, &keys, &values)) {
      answer = "keys=" + std::to_string(keys) + " values=" + std::to_string(values);
    }
    return answer;
  }
  char text[2048] = {};
  DWORD size = sizeof(text) - 1;
  DWORD type = 0;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, piece.key, 0, KEY_QUERY_VALUE | view.flag, &key) == ERROR_SUCCESS) {
    if (RegQueryValueExA(key, piece.value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS) {
      answer = type == REG_SZ ? std::string(text) : std::string("(not a string)");
    }
    RegCloseKey(key);
  }
  return answer;
}

void Delete(const View& view, const Piece& piece) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, piece.key, 0, KEY_ALL_ACCESS | view.flag, &key) == ERROR_SUCCESS) {
    if (piece.value != nullptr) {
      RegDeleteValueA(key, piece.value);
    } else {
      RegDeleteTreeA(key, nullptr);
    }
    RegCloseKey(key);
  }
  if (piece.value == nullptr) RegDeleteKeyExA(HKEY_LOCAL_MACHINE, piece.key, view.flag, 0);
}

// ---- files ----------------------------------------------------------------------------

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
  if (!testsupport::FileExists(directory)) return "absent";
  if (!testsupport::IsDirectory(directory)) return "a file";
  int files = 0;
  int directories = 0;
  CountFiles(directory, &files, &directories);
  return "files=" + std::to_string(files) + " dirs=" + std::to_string(directories);
}

// The copies of the uninstaller in the temporary directory, with their full paths.
std::vector<std::string> TempCopies() {
  std::vector<std::string> found;
  const std::string directory = TempDirectory();
  WIN32_FIND_DATAA entry = {};
  HANDLE search = FindFirstFileA((directory + kProgramPattern).c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) found.push_back(directory + entry.cFileName);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return found;
}

// ---- commands -------------------------------------------------------------------------

// install <64|32> [service|stuck]: the product's pieces in one registry view, the service
// only when asked (one that stops at once, or one that never finishes stopping), and the
// neighbours.
int Install(const View& view, const std::string& serviceMode) {
  const bool withService = serviceMode == "service" || serviceMode == "stuck";
  const std::string home = HomeDirectory();
  const std::string config = kConfigurationKey;
  const std::string folders[] = {VendorFolder(), home, home + "\\data", home + "\\data\\cache", home + "\\data\\empty",
                                 NeighbourFolder(), NeighbourPrefixFolder()};
  const std::pair<std::string, std::string> files[] = {
      {home + "\\settings.ini", "[service]\r\nport=8443\r\n"},
      {home + "\\data\\cache\\entry.bin", std::string(4096, '\x5a')},
      {home + "\\data\\service.log", "started\r\n"},
      {NeighbourFolder() + "\\keep.txt", "keep"},
      {NeighbourPrefixFolder() + "\\keep.txt", "keep"},
  };
  const Setting settings[] = {
      {kRunKey, kAutostartValue, REG_SZ, "\"" + home + "\\KESPNotify.exe\" /tray"},
      {config, "InstallDir", REG_SZ, home},
      {config, "Version", REG_SZ, "4.2.0"},
      {config + "\\Settings", "Port", REG_DWORD, "8443"},
      {config + "\\Settings\\Network\\Proxy", "Host", REG_SZ, "proxy.invalid"},
      {config + "\\Components\\Notifications", "", REG_SZ, "tray"},
      {config + "\\Components\\Updater\\Schedule", nullptr, REG_NONE, ""},
      {kNeighbourKey, "Keep", REG_SZ, "yes"},
      {std::string(kNeighbourKey) + "\\Inner", "Keep", REG_SZ, "yes"},
      {kNeighbourPrefixKey, "Keep", REG_SZ, "yes"},
  };
  bool ok = true;
  for (const std::string& folder : folders) {
    ok = ok && (CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS ||
                Fail("create directory " + folder));
  }
  for (const auto& file : files) {
    ok = ok && (testsupport::WriteWholeFile(file.first, file.second) || Fail("write " + file.first));
  }
  for (const Setting& setting : settings) ok = ok && Write(view.flag, setting);
  // Another program's autostart value sits beside the product's in both views.
  for (const View& each : kViews) {
    ok = ok && Write(each.flag, {kRunKey, kNeighbourRunValue, REG_SZ, "C:\\E2eNeighbour\\tray.exe"});
  }

  if (ok && withService) {
    // The service's program lives in the home directory, as the product's does.
    const std::string program = home + "\\KESPWindowsService.exe";
    std::string why;
    ok = (CopyFileA(testsupport::TestServiceProgramPath().c_str(), program.c_str(), FALSE) ||
          Fail("copy the test service program to " + program)) &&
         (testsupport::RegisterTestService(kServiceName, testsupport::TestServiceCommand(program, serviceMode == "stuck" ? "stuck" : "accept"), &why) ||
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
  const DWORD state = testsupport::TestServiceState(kServiceName);
  if (state == SERVICE_RUNNING) return "running";
  if (state == SERVICE_STOPPED) return "stopped";
  return "state " + std::to_string(state);
}

const wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingValue[] = L"PendingFileRenameOperations";

// The paths that the next restart deletes, in its order, separated by " | "; "none".
std::string PendingDeletions() {
  std::vector<wchar_t> pairs(65536);
  DWORD bytes = static_cast<DWORD>(pairs.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingValue, RRF_RT_REG_MULTI_SZ, nullptr, pairs.data(),
                   &bytes) != ERROR_SUCCESS) {
    return "none";
  }
  std::string listed;
  // Pairs of source and target; an empty target means "delete".
  for (const wchar_t* source = pairs.data(); *source != L'\0';) {
    const wchar_t* target = source + wcslen(source) + 1;
    if (*target == L'\0') {
      std::wstring path = source;
      if (path.compare(0, 4, L"\\??\\") == 0) path = path.substr(4);
      listed += (listed.empty() ? "" : " | ") + Utf8(path.c_str());
    }
    source = target + wcslen(target) + 1;
  }
  return listed.empty() ? "none" : listed;
}

// One "name=value" line per piece; the scripts compare these lines.
int State() {
  std::printf("service=%s\n", ServiceState().c_str());
  for (const View& view : kViews) {
    for (const Piece& piece : kPieces) {
      std::printf("%s.%s=%s\n", piece.label, view.name, Describe(view, piece).c_str());
    }
  }
  std::printf("home=%s\n", DescribeFolder(HomeDirectory()).c_str());
  std::printf("neighbour.folder=%s\n", DescribeFolder(NeighbourFolder()).c_str());
  std::printf("neighbour.prefixfolder=%s\n", DescribeFolder(NeighbourPrefixFolder()).c_str());
  std::printf("planted.ran=%s\n", testsupport::FileExists(PlantedMarker()) ? "yes" : "no");
  std::printf("tempcopies=%d\n", static_cast<int>(TempCopies().size()));
  std::printf("restart=%s\n", PendingDeletions().c_str());
  return 0;
}

// Removes everything the suite may have installed or caused, in both views, so that one
// failed scenario cannot poison the next.
int Cleanup() {
  testsupport::RemoveTestService(kServiceName, 20000);
  bool clean = true;
  for (const View& view : kViews) {
    for (const Piece& piece : kPieces) {
      Delete(view, piece);
      clean = clean && Describe(view, piece) == "absent";
    }
    // The vendor key goes only when nothing of anybody else's is left in it.
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Halvorne", view.flag, 0);
  }
  std::vector<std::string> leftovers = TempCopies();
  leftovers.insert(leftovers.end(), {HomeDirectory(), NeighbourFolder(), NeighbourPrefixFolder(), "C:\\E2eDownloads",
                                     LogFile(), PlantedMarker(), HoldReadyMarker(), HoldReleaseMarker(),
                                     TempDirectory() + "shcore.dll", TempDirectory() + "shcore.dll.loaded"});
  for (const std::string& path : leftovers) testsupport::RemoveTree(path);
  RemoveDirectoryA((VendorFolder() + "\\Logs").c_str());
  RemoveDirectoryA(VendorFolder().c_str());
  // What a run handed to the next restart would otherwise be deleted in a later scenario.
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingValue);

  clean = clean && ServiceState() == "absent" && DescribeFolder(HomeDirectory()) == "absent";
  std::printf("cleanup: %s\n", clean ? "done" : "LEFTOVERS REMAIN");
  if (!clean) State();
  return clean ? 0 : 1;
}

BOOL CALLBACK NoteStatusWindow(HWND window, LPARAM seen) {
  char caption[64] = {};
  GetWindowTextA(window, caption, sizeof(caption));
  if (std::string(caption) == kWindowCaption) reinterpret_cast<std::set<HWND>*>(seen)->insert(window);
  return TRUE;
}

int LogLines() {
  const std::string log = testsupport::ReadWholeFile(LogFile());
  return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
}

// Waits, until the deadline, until no process runs under a name that begins like the
// uninstaller's (its copies, or a program planted under such a name).
void WaitForUninstallersToEnd(ULONGLONG deadline) {
  for (bool running = true; running && GetTickCount64() < deadline;) {
    running = false;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
      running = running || _strnicmp(entry.szExeFile, "VuzavoRURI", 10) == 0;
    }
    CloseHandle(snapshot);
    if (running) Sleep(50);
  }
}

// run <timeout-s> <log-lines> <workdir> <program> [--temp <dir>] [words...]: starts the
// program (with TMP and TEMP set to <dir> when given), then watches until it has exited and
// the log holds at least <log-lines> lines (the lines of every run it led to), noting every
// status window that appeared meanwhile. The lines are counted again once every run it led
// to has ended, so a run that should not have happened shows in the count; atexit is how
// many the log held when the started program was seen to end.
int Run(const std::vector<std::string>& args) {
  if (args.size() < 6) return Fail("run needs <timeout-s> <log-lines> <workdir> <program>"), 2;
  const DWORD timeoutMs = static_cast<DWORD>(std::atoi(args[2].c_str())) * 1000;
  const int wantedLines = std::atoi(args[3].c_str());
  std::string commandLine = "\"" + args[5] + "\"";
  for (size_t index = 6; index < args.size(); ++index) {
    if (args[index] == "--temp" && index + 1 < args.size()) {
      ++index;
      SetEnvironmentVariableW(L"TMP", Wide(args[index]).c_str());
      SetEnvironmentVariableW(L"TEMP", Wide(args[index]).c_str());
    } else {
      commandLine += " " + args[index];
    }
  }
  // Which view's run-once key the runs wrote to, even when the value is gone again by the end.
  HKEY runOnce[2] = {};
  HANDLE written[2] = {};
  for (int view = 0; view < 2; ++view) {
    written[view] = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, nullptr, 0, KEY_NOTIFY | kViews[view].flag, nullptr,
                        &runOnce[view], nullptr) == ERROR_SUCCESS) {
      RegNotifyChangeKeyValue(runOnce[view], FALSE, REG_NOTIFY_CHANGE_LAST_SET, written[view], TRUE);
    }
  }
  const ULONGLONG started = GetTickCount64();
  HANDLE process = testsupport::StartProgram(commandLine, args[4].c_str());
  if (process == nullptr) return Fail("start " + commandLine), 2;
  std::set<HWND> windows;
  DWORD exitCode = STILL_ACTIVE;
  bool exited = false;
  int lines = 0;
  int linesAtExit = 0;
  while (GetTickCount64() - started < timeoutMs) {
    EnumWindows(NoteStatusWindow, reinterpret_cast<LPARAM>(&windows));
    if (!exited && WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
      GetExitCodeProcess(process, &exitCode);
      exited = true;
      linesAtExit = LogLines();
    }
    lines = LogLines();
    if (exited && lines >= wantedLines) break;
    Sleep(10);
  }
  if (exited) {
    WaitForUninstallersToEnd(started + timeoutMs);
    lines = LogLines();
  } else {
    TerminateProcess(process, 1);
  }
  CloseHandle(process);
  std::string views;
  for (int view = 0; view < 2; ++view) {
    if (WaitForSingleObject(written[view], 0) == WAIT_OBJECT_0) views += std::string(views.empty() ? "" : "+") + kViews[view].name;
    if (runOnce[view] != nullptr) RegCloseKey(runOnce[view]);
    CloseHandle(written[view]);
  }
  const double seconds = static_cast<double>(GetTickCount64() - started) / 1000.0;
  std::printf("exit=%s windows=%d loglines=%d seconds=%.1f atexit=%d runonce-written=%s\n",
              exited ? std::to_string(exitCode).c_str() : "still-running",
              static_cast<int>(windows.size()), lines, seconds, linesAtExit, views.empty() ? "none" : views.c_str());
  return exited && lines >= wantedLines ? 0 : 1;
}

// hold <file> <timeout-s> [deletable]: holds the file open, as a program that is still
// running would, until the release marker appears or the time is up; without sharing it,
// or, deletable, letting others do anything with it, deleting it included.
int Hold(const std::string& file, int timeoutSeconds, bool deletable) {
  const DWORD share = deletable ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0;
  HANDLE handle = CreateFileW(Wide(file).c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Planted under a name the uninstaller might wrongly start (its usual name, or a cut
  // form of it), this program only records, beside itself, that something started it.
  wchar_t self[MAX_PATH * 2] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
  const wchar_t* selfName = wcsrchr(self, L'\\') != nullptr ? wcsrchr(self, L'\\') + 1 : self;
  if (_wcsnicmp(selfName, L"VuzavoRURI", 10) == 0) {
    const std::string selfPath = ShortAnsiPath(self);
    testsupport::WriteWholeFile(testsupport::DirectoryOf(selfPath) + "\\e2e_planted_ran.txt", selfPath);
    return 0;
  }

  // The arguments in UTF-8: a scenario may name folders that the code page cannot.
  std::vector<std::string> args;
  for (int index = 0; index < argc; ++index) args.push_back(Utf8(argv[index]));
  const std::string command = args.size() > 1 ? args[1] : "";
  if (command == "install" && args.size() >= 3) {
    return Install(args[2] == "32" ? kViews[1] : kViews[0], args.size() >= 4 ? args[3] : "");
  }
  if (command == "state") return State();
  if (command == "cleanup") return Cleanup();
  if (command == "run") return Run(args);
  if (command == "hold" && args.size() >= 4) {
    return Hold(args[2], std::atoi(args[3].c_str()), args.size() >= 5 && args[4] == "deletable");
  }
  if (command == "paths") {
    std::printf("temp=%s\nhome=%s\n", Utf8(WideTempDirectory().c_str()).c_str(), HomeDirectory().c_str());
    return 0;
  }
  if (command == "short" && args.size() >= 3) {
    wchar_t shortPath[MAX_PATH] = {};
    GetShortPathNameW(Wide(args[2]).c_str(), shortPath, MAX_PATH);
    std::printf("%s\n", Utf8(shortPath).c_str());
    return 0;
  }
  std::printf("usage: stand_in_product install <64|32> [service|stuck] | state | cleanup | paths | short <path> |\n"
              "       run <timeout-s> <log-lines> <workdir> <program> [--temp <dir>] [words...] |\n"
              "       hold <file> <timeout-s> [deletable]\n");
  return 2;
}
